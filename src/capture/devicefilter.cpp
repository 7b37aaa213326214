#include "capture/devicefilter.h"

#include "capture/cameraproperty.h"
#include "capture/devicepin.h"

#include <QDebug>

namespace capture {

using namespace dshow;

namespace {
bool propertyOf(PropertyInterface interface, long id, Property& out)
{
    const CameraProperty* row = cameraProperty(interface, id);
    if (row)
        out = row->property;
    return row != nullptr;
}
bool cameraControlProperty(long id, Property& out)
{
    return propertyOf(PropertyInterface::CameraControl, id, out);
}
bool videoProcAmpProperty(long id, Property& out)
{
    return propertyOf(PropertyInterface::VideoProcAmp, id, out);
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

HRESULT DeviceFilter::SetControl(quint32 id, long value)
{
    return m_device->setControl(id, value);
}

HRESULT DeviceFilter::getRange(bool known, Property property, long& min, long& max, long& step, long& defaultValue,
                               long& capsFlags)
{
    if (!known)
        return E_PROP_ID_UNSUPPORTED;
    PropertyRange range;
    const HRESULT h = m_device->getRange(property, range);
    if (FAILED(h))
        return h;
    min = range.min;
    max = range.max;
    step = range.step;
    defaultValue = range.defaultValue;
    capsFlags = range.capsFlags;
    return S_OK;
}

HRESULT DeviceFilter::get(bool known, Property property, long& value, long& flags)
{
    if (!known)
        return E_PROP_ID_UNSUPPORTED;
    return m_device->get(property, value, flags);
}

HRESULT DeviceFilter::set(bool known, Property property, long value, long flags)
{
    if (!known)
        return E_PROP_ID_UNSUPPORTED;
    if (flags != CameraControl_Flags_Auto && flags != CameraControl_Flags_Manual)
        return E_INVALIDARG;
    return m_device->set(property, value, flags);
}

HRESULT DeviceFilter::cameraControlGetRange(long property, long& min, long& max, long& step, long& defaultValue, long& capsFlags)
{
    Property p = Property::Exposure;
    const bool known = cameraControlProperty(property, p);
    return getRange(known, p, min, max, step, defaultValue, capsFlags);
}

HRESULT DeviceFilter::cameraControlGet(long property, long& value, long& flags)
{
    Property p = Property::Exposure;
    const bool known = cameraControlProperty(property, p);
    return get(known, p, value, flags);
}

HRESULT DeviceFilter::cameraControlSet(long property, long value, long flags)
{
    Property p = Property::Exposure;
    const bool known = cameraControlProperty(property, p);
    return set(known, p, value, flags);
}

HRESULT DeviceFilter::videoProcAmpGetRange(long property, long& min, long& max, long& step, long& defaultValue, long& capsFlags)
{
    Property p = Property::Brightness;
    const bool known = videoProcAmpProperty(property, p);
    return getRange(known, p, min, max, step, defaultValue, capsFlags);
}

HRESULT DeviceFilter::videoProcAmpGet(long property, long& value, long& flags)
{
    Property p = Property::Brightness;
    const bool known = videoProcAmpProperty(property, p);
    return get(known, p, value, flags);
}

HRESULT DeviceFilter::videoProcAmpSet(long property, long value, long flags)
{
    Property p = Property::Brightness;
    const bool known = videoProcAmpProperty(property, p);
    return set(known, p, value, flags);
}

} // namespace capture
