#include "capture/devicefilter.h"

#include "capture/cameraproperty.h"
#include "capture/controlwriter.h"
#include "capture/devicepin.h"

#include <QDebug>

namespace capture {

using namespace dshow;

namespace {
// The V4L2 control behind an interface's property id; 0 when the table has none.
quint32 controlOf(PropertyInterface interface, long id)
{
    const CameraProperty* row = cameraProperty(interface, id);
    return row ? row->v4l2Control : 0;
}
} // namespace

DeviceFilter::DeviceFilter(std::shared_ptr<CaptureDevice> device)
    : m_device(std::move(device)), m_name(m_device->descriptor().friendlyName)
{
}

std::shared_ptr<DeviceFilter> DeviceFilter::create(std::shared_ptr<CaptureDevice> device)
{
    if (!device)
        return nullptr;
    std::shared_ptr<DeviceFilter> filter(new DeviceFilter(device));
    std::vector<FormatDescriptor> capture, still;
    for (const FormatDescriptor& format : device->formats())
        (format.pin == PinCategory::Still ? still : capture).push_back(format);
    const std::weak_ptr<IBaseFilter> self = std::static_pointer_cast<IBaseFilter>(filter);
    filter->m_capturePin = std::make_shared<DevicePin>(self, device, PinCategory::Capture, capture);
    if (device->hasStillPin())
        filter->m_stillPin = std::make_shared<DevicePin>(self, device, PinCategory::Still, still);
    return filter;
}

DeviceFilter::~DeviceFilter()
{
    stop();
}

HRESULT DeviceFilter::EnumPins(std::vector<std::shared_ptr<IPin>>& pins)
{
    pins.clear();
    pins.push_back(m_capturePin);
    if (m_stillPin)
        pins.push_back(m_stillPin);
    return S_OK;
}

HRESULT DeviceFilter::run()
{
    std::lock_guard<std::mutex> lock(m_runMutex);
    if (m_running)
        return S_OK;
    const bool stillConnected = m_stillPin && m_stillPin->isConnected();
    if (!m_capturePin->isConnected() && !stillConnected)
        return S_OK;  // nothing downstream: the device stays idle
    if (stillConnected) {
        DevicePin* still = m_stillPin.get();
        m_device->setStillSink([still](const RawFrame& frame) { still->deliver(frame); });
    }
    DevicePin* capture = m_capturePin.get();
    const HRESULT h = m_device->start([capture](const RawFrame& frame) { capture->deliver(frame); });
    if (FAILED(h)) {
        m_device->setStillSink(nullptr);
        qDebug() << "capture: device" << m_name << "did not start:" << ErrorMessage(h);
        return h;
    }
    m_running = true;
    return S_OK;
}

HRESULT DeviceFilter::stop()
{
    std::lock_guard<std::mutex> lock(m_runMutex);
    if (!m_running)
        return S_OK;
    const HRESULT h = m_device->stop();
    m_device->setStillSink(nullptr);
    m_running = false;
    return h;
}

HRESULT DeviceFilter::SetMode(const std::shared_ptr<IPin>& pin, long mode)
{
    if (!pin)
        return E_POINTER;
    if (!(mode & VideoControlFlag_Trigger))
        return mode == 0 ? S_OK : E_NOTIMPL;
    if (!m_stillPin || pin != std::static_pointer_cast<IPin>(m_stillPin))
        return E_INVALIDARG;
    return m_device->triggerStill();
}

HRESULT DeviceFilter::GetControls(std::vector<DeviceControl>& controls)
{
    return m_device->controls(controls);
}

HRESULT DeviceFilter::GetControl(quint32 id, DeviceControl& control)
{
    return m_device->control(id, control);
}

HRESULT DeviceFilter::SetControl(quint32 id, qint64 value, qint64* landed)
{
    return ControlWriter::write(*m_device, id, value, landed);
}

HRESULT DeviceFilter::SetControlAuto(quint32 id, bool on)
{
    return ControlWriter::writeAuto(*m_device, id, on);
}

HRESULT DeviceFilter::SetControlText(quint32 id, const QString& text)
{
    return ControlWriter::writeText(*m_device, id, text);
}

void DeviceFilter::SetControlListener(ControlListener listener)
{
    m_device->setControlListener(std::move(listener));
}

HRESULT DeviceFilter::getRange(quint32 id, long& min, long& max, long& step, long& defaultValue, long& capsFlags)
{
    if (!id)
        return E_PROP_ID_UNSUPPORTED;
    PropertyRange range;
    const HRESULT h = ControlWriter::range(*m_device, id, range);
    if (FAILED(h))
        return h;
    min = range.min;
    max = range.max;
    step = range.step;
    defaultValue = range.defaultValue;
    capsFlags = range.capsFlags;
    return S_OK;
}

HRESULT DeviceFilter::get(quint32 id, long& value, long& flags)
{
    return id ? ControlWriter::read(*m_device, id, value, flags) : E_PROP_ID_UNSUPPORTED;
}

HRESULT DeviceFilter::set(quint32 id, long value, long flags)
{
    if (!id)
        return E_PROP_ID_UNSUPPORTED;
    if (flags == CameraControl_Flags_Auto)
        return ControlWriter::writeAuto(*m_device, id, true);
    if (flags != CameraControl_Flags_Manual)
        return E_INVALIDARG;
    return ControlWriter::write(*m_device, id, value);
}

HRESULT DeviceFilter::propertyGetRange(PropertyInterface which, long property, long& min, long& max, long& step, long& defaultValue,
                                       long& capsFlags)
{
    return getRange(controlOf(which, property), min, max, step, defaultValue, capsFlags);
}

HRESULT DeviceFilter::propertyGet(PropertyInterface which, long property, long& value, long& flags)
{
    return get(controlOf(which, property), value, flags);
}

HRESULT DeviceFilter::propertySet(PropertyInterface which, long property, long value, long flags)
{
    return set(controlOf(which, property), value, flags);
}

} // namespace capture
