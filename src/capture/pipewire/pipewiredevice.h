#pragma once

#include "capture/capturedevice.h"
#include "capture/pipewire/pipewireconnection.h"

#include <mutex>

namespace capture {

class PipeWireStream;
class PipeWireProps;

// A camera node streamed through PipeWire, shared with the daemon's other clients.
// Its controls are those of the V4L2 device behind it when it has one, else the
// node's own properties.
class PipeWireDevice : public CaptureDevice
{
public:
    static HRESULT open(const std::shared_ptr<PipeWireConnection>& connection, const PipeWireNode& node,
                        const DeviceDescriptor& descriptor, std::shared_ptr<CaptureDevice> v4l2, std::shared_ptr<CaptureDevice>& out);
    ~PipeWireDevice() override;

    DeviceDescriptor descriptor() const override { return m_descriptor; }
    std::vector<FormatDescriptor> formats() const override { return m_formats; }
    HRESULT currentFormat(FormatDescriptor& format) const override;
    HRESULT setFormat(Subtype subtype, int width, int height) override;

    HRESULT start(FrameSink sink) override;
    HRESULT stop() override;
    bool isStreaming() const override;

    bool hasStillPin() const override { return false; }
    HRESULT setStillSink(FrameSink) override { return dshow::E_NOTIMPL; }
    HRESULT triggerStill() override { return dshow::E_NOTIMPL; }

    HRESULT controls(std::vector<dshow::DeviceControl>& out) override;
    HRESULT control(quint32 id, dshow::DeviceControl& out) override;
    HRESULT readValue(dshow::DeviceControl& c) override;
    HRESULT setControl(quint32 id, qint64 value) override;
    HRESULT setControlText(quint32 id, const QString& text) override;
    void setControlListener(dshow::ControlListener listener) override;
    QStringList holders() const override;

private:
    PipeWireDevice() = default;
    bool calledFromSink() const;
    std::shared_ptr<PipeWireStream> stream() const;

    std::shared_ptr<PipeWireConnection> m_connection;
    PipeWireNode m_node;
    DeviceDescriptor m_descriptor;
    std::vector<FormatDescriptor> m_formats;
    std::shared_ptr<CaptureDevice> m_v4l2;   // controls of a V4L2-backed node
    std::unique_ptr<PipeWireProps> m_props;  // controls of any other node

    // Lock order: m_opMutex before m_streamMutex; only m_opMutex is held while a stream starts or closes.
    std::mutex m_opMutex;
    mutable std::mutex m_streamMutex;
    FormatDescriptor m_current;
    std::shared_ptr<PipeWireStream> m_stream;
};

} // namespace capture
