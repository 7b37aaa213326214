#include "capture/virtual/virtualcamerastate.h"

#include "capture/deviceholders.h"
#include "capture/cameraproperty.h"
#include "capture/controlwriter.h"

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <thread>
#include <linux/videodev2.h>

namespace capture {

using namespace dshow;

VirtualCameraState::VirtualCameraState(const VirtualCameraDescription& description)
    : m_spec(description), m_file(description), m_extra(description.extraControls), m_controls(description.controls)
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

namespace {

using Kind = DeviceControl::Kind;

DeviceControl modeControl(const CameraProperty& row, const VirtualControl& c)
{
    DeviceControl mode;
    mode.id = row.v4l2Auto;
    mode.flags = V4L2_CTRL_FLAG_UPDATE;
    const bool on = c.mode == VirtualControl::Mode::Auto;
    if (row.v4l2Auto == V4L2_CID_EXPOSURE_AUTO) {
        mode.name = QStringLiteral("Auto Exposure");
        mode.kind = Kind::Menu;
        mode.max = V4L2_EXPOSURE_APERTURE_PRIORITY;
        mode.defaultValue = V4L2_EXPOSURE_APERTURE_PRIORITY;
        mode.menu = {{V4L2_EXPOSURE_MANUAL, QStringLiteral("Manual Mode")},
                     {V4L2_EXPOSURE_APERTURE_PRIORITY, QStringLiteral("Aperture Priority Mode")}};
        mode.value = on ? V4L2_EXPOSURE_APERTURE_PRIORITY : V4L2_EXPOSURE_MANUAL;
    } else {
        mode.name = QLatin1String(row.autoCaption);
        mode.kind = Kind::Boolean;
        mode.max = 1;
        mode.defaultValue = 1;
        mode.value = on ? 1 : 0;
    }
    return mode;
}

DeviceControl valueControl(const CameraProperty& row, const VirtualControl& c)
{
    DeviceControl value;
    value.id = row.v4l2Control;
    value.name = QLatin1String(row.caption ? row.caption : "Sharpness");
    value.min = c.min;
    value.max = c.max;
    value.step = c.step;
    value.defaultValue = c.defaultValue;
    value.value = c.value;
    value.flags = V4L2_CTRL_FLAG_SLIDER | (c.mode == VirtualControl::Mode::Auto ? V4L2_CTRL_FLAG_INACTIVE : 0);
    return value;
}

} // namespace

void VirtualCameraState::describeLocked(quint32 id, DeviceControl& out, bool& found) const
{
    found = false;
    if (const CameraProperty* row = cameraProperty(id)) {
        const VirtualControl& c = m_controls[std::size_t(row->slot)];
        if (!c.present || (id == row->v4l2Auto && c.mode == VirtualControl::Mode::None))
            return;
        out = id == row->v4l2Auto ? modeControl(*row, c) : valueControl(*row, c);
        found = true;
        return;
    }
    for (const VirtualExtraControl& e : m_extra)
        if (e.control.id == id) {
            out = e.control;
            found = true;
        }
}

HRESULT VirtualCameraState::list(std::vector<DeviceControl>& out) const
{
    std::vector<quint32> ids;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const CameraProperty& row : cameraProperties()) {
            ids.push_back(row.v4l2Control);
            if (row.v4l2Auto)
                ids.push_back(row.v4l2Auto);
        }
        for (const VirtualExtraControl& e : m_extra)
            ids.push_back(e.control.id);
    }
    std::sort(ids.begin(), ids.end());  // a driver lists by id
    out.clear();
    for (quint32 id : ids) {
        DeviceControl c;
        if (SUCCEEDED(control(id, c)))
            out.push_back(c);
    }
    return S_OK;
}

std::atomic<quint64> VirtualCameraState::s_nRequests{0};

void VirtualCameraState::answerDelay() const
{
    ++s_nRequests;
    if (m_spec.controlLatencyMs <= 0)
        return;
    std::lock_guard<std::mutex> lock(m_requestMutex);
    std::this_thread::sleep_for(std::chrono::milliseconds(m_spec.controlLatencyMs));
}

HRESULT VirtualCameraState::control(quint32 id, DeviceControl& out) const
{
    answerDelay();
    std::lock_guard<std::mutex> lock(m_mutex);
    bool found = false;
    describeLocked(id, out, found);
    return found ? S_OK : E_PROP_ID_UNSUPPORTED;
}

void VirtualCameraState::eventsFor(int slot, bool valueChanged, bool modeChanged, std::vector<ControlEvent>& events) const
{
    const CameraProperty* row = cameraPropertyForSlot(slot);
    const VirtualControl& c = m_controls[std::size_t(slot)];
    const DeviceControl value = valueControl(*row, c);
    if (valueChanged || modeChanged)
        events.push_back({value.id, value.value, value.flags, valueChanged, modeChanged});
    if (modeChanged) {
        const DeviceControl mode = modeControl(*row, c);
        events.push_back({mode.id, mode.value, mode.flags, true, false});
    }
}

HRESULT VirtualCameraState::setControl(quint32 id, qint64 value, const QString* text, const void* writer)
{
    answerDelay();
    std::vector<ControlEvent> events;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (const CameraProperty* row = cameraProperty(id)) {
            VirtualControl& c = m_controls[std::size_t(row->slot)];
            if (!c.present || (id == row->v4l2Auto && c.mode == VirtualControl::Mode::None))
                return E_PROP_ID_UNSUPPORTED;
            if (id == row->v4l2Control) {
                if (value < c.min || value > c.max)
                    return E_INVALIDARG;
                if (c.mode == VirtualControl::Mode::Auto)
                    return E_ACCESSDENIED;  // the camera chooses it now
                c.value = long(value);
                eventsFor(row->slot, true, false, events);
            } else {
                const bool exposure = id == V4L2_CID_EXPOSURE_AUTO;
                if (exposure ? value != V4L2_EXPOSURE_MANUAL && value != V4L2_EXPOSURE_APERTURE_PRIORITY : value < 0 || value > 1)
                    return E_INVALIDARG;
                const auto mode = ControlWriter::isAutoValue(id, value) ? VirtualControl::Mode::Auto : VirtualControl::Mode::Manual;
                const bool changed = mode != c.mode;
                c.mode = mode;
                eventsFor(row->slot, false, changed, events);
            }
            m_generation.fetch_add(1);
        } else {
            auto it = std::find_if(m_extra.begin(), m_extra.end(), [id](const VirtualExtraControl& e) { return e.control.id == id; });
            if (it == m_extra.end())
                return E_PROP_ID_UNSUPPORTED;
            DeviceControl& c = it->control;
            if (c.readOnly())
                return E_ACCESSDENIED;
            if (c.kind == Kind::String) {
                if (!text)
                    return E_INVALIDARG;
                c.text = *text;
            } else if (c.kind != Kind::Button) {
                const bool outside = c.kind == Kind::Bitmask ? (value & ~c.max) != 0 : value < c.min || value > c.max;
                if (outside || it->refused.contains(value))
                    return E_INVALIDARG;
                c.value = value;
            }
            events.push_back({c.id, c.value, c.flags, true, false});
        }
    }
    notify(events, writer);
    return S_OK;
}

void VirtualCameraState::followFile(const VirtualCameraDescription& file)
{
    std::vector<ControlEvent> events;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::size_t i = 0; i < m_controls.size(); ++i) {
            const VirtualControl &now = file.controls[i], &before = m_file.controls[i];
            VirtualControl& c = m_controls[i];
            const bool valueChanged = now.value != before.value && now.value != c.value;
            const bool modeChanged = now.mode != before.mode && now.mode != c.mode;
            if (valueChanged)
                c.value = now.value;
            if (modeChanged)
                c.mode = now.mode;
            if (valueChanged || modeChanged)
                eventsFor(int(i), valueChanged, modeChanged, events);
        }
        for (std::size_t i = 0; i < m_extra.size(); ++i) {
            const DeviceControl &now = file.extraControls[i].control, &before = m_file.extraControls[i].control;
            DeviceControl& c = m_extra[i].control;
            const bool valueChanged = (now.value != before.value && now.value != c.value) || (now.text != before.text);
            const bool flagsChanged = now.flags != before.flags;
            if (valueChanged) {
                c.value = now.value;
                c.text = now.text;
            }
            if (flagsChanged)
                c.flags = now.flags;
            if (valueChanged || flagsChanged)
                events.push_back({c.id, c.value, c.flags, valueChanged, flagsChanged});
        }
        if (!events.empty())
            m_generation.fetch_add(1);
    }
    m_file = file;
    notify(events, nullptr);
}

void VirtualCameraState::addListener(const void* owner, ControlListener listener)
{
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listeners.emplace_back(owner, std::move(listener));
}

void VirtualCameraState::removeListener(const void* owner)
{
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listeners.erase(std::remove_if(m_listeners.begin(), m_listeners.end(), [owner](const auto& l) { return l.first == owner; }),
                      m_listeners.end());
}

void VirtualCameraState::notify(std::vector<ControlEvent> events, const void* writer)
{
    const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    for (ControlEvent& e : events)
        e.monotonicUs = now;
    // Held while calling, so that a listener removed is never called afterwards.
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    for (const ControlEvent& e : events)
        for (const auto& l : m_listeners)
            if (l.first != writer)
                l.second(e);
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
