#pragma once

#include "capture/virtual/virtualcameradescription.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace capture {

// What a virtual camera keeps between opens, as a real one keeps its settings: the
// current format and the control values. Shared by every open instance of it.
class VirtualCameraState
{
public:
    explicit VirtualCameraState(const VirtualCameraDescription& description);

    const VirtualCameraDescription& description() const { return m_spec; }

    FormatDescriptor currentFormat() const;
    dshow::HRESULT setFormat(Subtype subtype, int width, int height);

    VirtualControls controls() const;
    // Controls by V4L2 id, as a driver lists them: the seven with their mode controls
    // (a switch; exposure's a menu of manual and aperture priority), then the extras.
    dshow::HRESULT list(std::vector<dshow::DeviceControl>& out) const;
    dshow::HRESULT control(quint32 id, dshow::DeviceControl& out) const;
    // A write by the open instance `writer`; every other listener hears of it.
    dshow::HRESULT setControl(quint32 id, qint64 value, const QString* text, const void* writer);
    void addListener(const void* owner, dshow::ControlListener listener);
    void removeListener(const void* owner);
    // The file changed a control of the camera: its new value or mode lands and every
    // listener hears of it. Values set meanwhile and not changed in the file stay.
    void followFile(const VirtualCameraDescription& description);
    // Bumped by every change that alters the picture.
    std::uint64_t generation() const { return m_generation.load(); }

    // One stream at a time, as with a real device; a "busy" camera never streams.
    dshow::HRESULT acquireStream();
    void releaseStream();
    // Who holds a camera that is busy by its file; empty otherwise.
    QStringList holders() const;

    // The camera left the file: running streams end as on an unplugged device.
    void unplug() { m_present.store(false); }
    bool present() const { return m_present.load(); }

    // Control requests (reads and writes) all virtual cameras answered, for measurements.
    static quint64 requestCount() { return s_nRequests.load(); }

private:
    static std::atomic<quint64> s_nRequests;
    // Waits as the device would take to answer one control request; requests queue one
    // after another, as on a camera's single control pipe.
    void answerDelay() const;
    void describeLocked(quint32 id, dshow::DeviceControl& out, bool& found) const;
    void notify(std::vector<dshow::ControlEvent> events, const void* writer);
    // The events a change of the seven's slot makes: its value, its mode, the value's flags.
    void eventsFor(int slot, bool valueChanged, bool modeChanged, std::vector<dshow::ControlEvent>& events) const;

    const VirtualCameraDescription m_spec;
    VirtualCameraDescription m_file;  // as the file last gave it (GUI thread only)
    std::vector<VirtualExtraControl> m_extra;
    // Lock order: m_requestMutex (held across the answer delay only), then m_mutex, then
    // m_listenerMutex (never held with m_mutex: notify() runs after m_mutex is released).
    mutable std::mutex m_requestMutex;
    std::mutex m_listenerMutex;
    std::vector<std::pair<const void*, dshow::ControlListener>> m_listeners;
    mutable std::mutex m_mutex;
    FormatDescriptor m_current;
    VirtualControls m_controls;
    bool m_streaming = false;
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<bool> m_present{true};
};

} // namespace capture
