#pragma once

#include "capture/capturedevice.h"
#include "capture/propertyadapter.h"

#include <memory>
#include <mutex>

namespace capture {

class DevicePin;

// The filter of an open capture device: a capture pin, a still pin when the device has
// one, stream configuration on the pins, and the device's properties and controls.
class DeviceFilter : public dshow::IBaseFilter, public CameraControlAdapter, public VideoProcAmpAdapter,
                     public dshow::IAMVideoControl, public dshow::IKsControl, public dshow::ISpecifyPropertyPages,
                     public std::enable_shared_from_this<DeviceFilter>
{
public:
    static std::shared_ptr<DeviceFilter> create(std::shared_ptr<CaptureDevice> device);
    ~DeviceFilter() override;

    dshow::HRESULT EnumPins(std::vector<std::shared_ptr<dshow::IPin>>& pins) override;
    QString Name() const override { return m_name; }

    dshow::HRESULT SetMode(const std::shared_ptr<dshow::IPin>& pin, long mode) override;

    dshow::HRESULT GetControls(std::vector<dshow::DeviceControl>& controls) override;
    dshow::HRESULT GetControl(quint32 id, dshow::DeviceControl& control) override;
    dshow::HRESULT SetControl(quint32 id, qint64 value, qint64* landed = nullptr) override;
    dshow::HRESULT SetControlAuto(quint32 id, bool on) override;
    dshow::HRESULT SetControlText(quint32 id, const QString& text) override;
    void SetControlListener(dshow::ControlListener listener) override;

    // ---- used by the graph ----
    dshow::HRESULT run();
    dshow::HRESULT stop();
    std::shared_ptr<DevicePin> capturePin() const { return m_capturePin; }
    std::shared_ptr<DevicePin> stillPin() const { return m_stillPin; }
    const std::shared_ptr<CaptureDevice>& device() const { return m_device; }

protected:
    dshow::HRESULT propertyGetRange(PropertyInterface which, long property, long& min, long& max, long& step, long& defaultValue,
                                    long& capsFlags) override;
    dshow::HRESULT propertyGet(PropertyInterface which, long property, long& value, long& flags) override;
    dshow::HRESULT propertySet(PropertyInterface which, long property, long value, long flags) override;

private:
    explicit DeviceFilter(std::shared_ptr<CaptureDevice> device);
    // The property interfaces' calls, on the V4L2 control of the property (0: none).
    dshow::HRESULT getRange(quint32 id, long& min, long& max, long& step, long& defaultValue, long& capsFlags);
    dshow::HRESULT get(quint32 id, long& value, long& flags);
    dshow::HRESULT set(quint32 id, long value, long flags);

    std::shared_ptr<CaptureDevice> m_device;
    QString m_name;
    std::shared_ptr<DevicePin> m_capturePin;
    std::shared_ptr<DevicePin> m_stillPin;
    std::mutex m_runMutex;
    bool m_running = false;
};

} // namespace capture
