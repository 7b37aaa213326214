#pragma once

#include "capture/capturedevice.h"

namespace capture {

struct CameraProperty;

// The one place a control value is checked and written, for the open camera and for
// the settings written back on arrival alike, and the DirectShow-shaped view of the
// property table's controls. Every call works on V4L2 control ids.
class ControlWriter
{
public:
    // Refused (E_INVALIDARG) outside the control's range, rounded to its step inside it.
    // A value the camera chooses itself while its automatic mode is on has that mode
    // switched off first; when the switch fails, the value is not written. `landed`
    // gets what the device holds afterwards (also after a refusal). One log line per failure.
    static HRESULT write(CaptureDevice& device, quint32 id, qint64 value, qint64* landed = nullptr);
    static HRESULT writeText(CaptureDevice& device, quint32 id, const QString& text);
    // The checks of write() on a control as last read, without the device: S_OK with
    // `value` rounded to the step, or why it is refused (one log line).
    static HRESULT check(const dshow::DeviceControl& c, qint64& value);
    static HRESULT checkText(const dshow::DeviceControl& c, const QString& text);
    // The mode control's value that switches the automatic mode on or off; -1 when none.
    static qint64 modeValue(const dshow::DeviceControl& mode, bool on);
    // The automatic mode of a property-table control (`id`: its value's or its mode's
    // control) on, or off with the value left as the device has it.
    static HRESULT writeAuto(CaptureDevice& device, quint32 id, bool on);

    // Range and capability flags (1 auto, 2 manual) of a property-table control.
    static HRESULT range(CaptureDevice& device, quint32 id, PropertyRange& range);
    // Value and mode: 1 auto, 2 manual, 0 when the device has no mode control for a
    // property that could have one.
    static HRESULT read(CaptureDevice& device, quint32 id, long& value, long& flags);

    // Whether a mode control's value means automatic.
    static bool isAutoValue(quint32 modeId, qint64 value);
    // The value that turns a mode control on: the exposure menu's automatic item
    // (full automatic where offered, else aperture priority), 1 for a switch; -1 when none.
    static qint64 autoValue(const dshow::DeviceControl& mode);
};

} // namespace capture
