#pragma once

#include "capture/virtual/virtualcameradescription.h"

#include <atomic>
#include <mutex>

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
    dshow::HRESULT getRange(Property property, PropertyRange& range) const;
    dshow::HRESULT get(Property property, long& value, long& flags) const;
    dshow::HRESULT set(Property property, long value, long flags);
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

private:
    const VirtualCameraDescription m_spec;
    mutable std::mutex m_mutex;
    FormatDescriptor m_current;
    VirtualControls m_controls;
    bool m_streaming = false;
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<bool> m_present{true};
};

} // namespace capture
