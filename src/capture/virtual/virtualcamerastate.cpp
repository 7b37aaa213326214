#include "capture/virtual/virtualcamerastate.h"

#include "capture/deviceholders.h"

#include <QDebug>

namespace capture {

using namespace dshow;

VirtualCameraState::VirtualCameraState(const VirtualCameraDescription& description) : m_spec(description), m_controls(description.controls)
{
    m_current = description.formats.front();
    for (const FormatDescriptor& f : description.formats) {
        if (f.width == description.current.width() && f.height == description.current.height()) {
            m_current = f;
            break;
        }
    }
}

FormatDescriptor VirtualCameraState::currentFormat() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current;
}

HRESULT VirtualCameraState::setFormat(Subtype subtype, int width, int height)
{
    // As a V4L2 driver does while another program streams.
    if (m_spec.busy || !holders().isEmpty())
        return E_DEVICE_BUSY;
    if (m_spec.refused.contains(QSize(width, height))) {
        qDebug() << "virtual camera:" << m_spec.name << "refuses" << width << "x" << height;
        return VFW_E_INVALIDMEDIATYPE;
    }
    for (const FormatDescriptor& f : m_spec.formats) {
        if (f.subtype == subtype && f.width == width && f.height == height) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_current = f;
            m_generation.fetch_add(1);
            return S_OK;
        }
    }
    return VFW_E_INVALIDMEDIATYPE;
}

VirtualControls VirtualCameraState::controls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_controls;
}

HRESULT VirtualCameraState::getRange(Property property, PropertyRange& range) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const VirtualControl& c = m_controls[static_cast<std::size_t>(property)];
    if (!c.present)
        return E_PROP_ID_UNSUPPORTED;
    range.min = c.min;
    range.max = c.max;
    range.step = c.step;
    range.defaultValue = c.defaultValue;
    range.capsFlags = c.mode == VirtualControl::Mode::None ? 2 : 3;
    return S_OK;
}

HRESULT VirtualCameraState::get(Property property, long& value, long& flags) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const VirtualControl& c = m_controls[static_cast<std::size_t>(property)];
    if (!c.present)
        return E_PROP_ID_UNSUPPORTED;
    value = c.value;
    flags = c.mode == VirtualControl::Mode::Auto ? 1 : c.mode == VirtualControl::Mode::Manual ? 2 : 0;
    return S_OK;
}

HRESULT VirtualCameraState::set(Property property, long value, long flags)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    VirtualControl& c = m_controls[static_cast<std::size_t>(property)];
    if (!c.present)
        return E_PROP_ID_UNSUPPORTED;
    if (flags == 1) {
        if (c.mode == VirtualControl::Mode::None)
            return E_INVALIDARG;  // no automatic mode on this control
        c.mode = VirtualControl::Mode::Auto;
    } else if (flags == 2) {
        if (value < c.min || value > c.max)
            return E_INVALIDARG;
        c.value = value;
        if (c.mode != VirtualControl::Mode::None)
            c.mode = VirtualControl::Mode::Manual;
    } else {
        return E_INVALIDARG;
    }
    m_generation.fetch_add(1);
    return S_OK;
}

HRESULT VirtualCameraState::acquireStream()
{
    // Not logged: a busy camera is retried every second while its page is shown.
    if (m_spec.busy || !holders().isEmpty())
        return E_DEVICE_BUSY;
    if (!present())
        return E_DEVICE_NOT_CONNECTED;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_streaming)
        return E_DEVICE_BUSY;
    m_streaming = true;
    return S_OK;
}

QStringList VirtualCameraState::holders() const
{
    return m_spec.busyFile.isEmpty() ? QStringList() : DeviceHolders::ofPath(m_spec.busyFile);
}

void VirtualCameraState::releaseStream()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_streaming = false;
}

} // namespace capture
