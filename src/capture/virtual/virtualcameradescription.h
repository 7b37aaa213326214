#pragma once

#include "capture/capturedevice.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <array>
#include <vector>

namespace capture {

// One property of a virtual camera: its range, value and mode.
struct VirtualControl
{
    enum class Mode { None, Auto, Manual };  // None: the device reports neither
    bool present = false;
    long min = 0, max = 0, step = 1, defaultValue = 0, value = 0;
    Mode mode = Mode::None;

    bool operator==(const VirtualControl& o) const
    {
        return present == o.present && min == o.min && max == o.max && step == o.step && defaultValue == o.defaultValue
            && value == o.value && mode == o.mode;
    }
};

constexpr int kPropertyCount = 7;
using VirtualControls = std::array<VirtualControl, kPropertyCount>;  // indexed by parameter slot

// A control beyond the seven, of any type, as a driver describes it; `refused` values
// are refused when written, as some drivers refuse what they list.
struct VirtualExtraControl
{
    dshow::DeviceControl control;
    QList<qint64> refused;
};

// A software camera as the virtual cameras file describes it.
struct VirtualCameraDescription
{
    // What the file may ask for.
    static constexpr int kMaxCameras = 32;
    static constexpr int kMaxFormats = 64;
    static constexpr int kMinSide = 16;
    static constexpr int kMaxWidth = 7680;
    static constexpr int kMaxHeight = 4320;
    static constexpr int kMinFps = 1;
    static constexpr int kMaxFps = 1000;  // the frame-path benchmarks run that fast

    QString name;
    QString path;
    QString vendorId;
    QString productId;
    QString serial;
    std::vector<FormatDescriptor> formats;  // capture pin
    QSize current;
    QList<QSize> refused;
    VirtualControls controls;
    std::vector<VirtualExtraControl> extraControls;
    bool still = false;
    bool busy = false;
    dshow::HRESULT openError = 0;
    // Frames sent after each start of the picture before the camera falls silent while
    // staying plugged in, as a hung device does; -1: never.
    int stallAfter = -1;
    // ---- stream life ----
    // "busy" given as a file: busy while another program has that file open, which then
    // names the holder as a device node's would.
    QString busyFile;
    // Frames sent after each start of the picture before the stream ends with a driver
    // error (the device stays plugged in); -1: never.
    int failAfter = -1;
    // Each control request (a read, a write, a control listed) waits this long, one at a
    // time, as a USB camera answers its control transfers.
    int controlLatencyMs = 0;
    static constexpr int kMaxControlLatencyMs = 5000;
    // Each open takes this long, as a USB camera powering up does.
    int openLatencyMs = 0;

    bool operator==(const VirtualCameraDescription& o) const;
    bool operator!=(const VirtualCameraDescription& o) const { return !(*this == o); }

    DeviceDescriptor descriptor() const;

    // Equal but for the controls' values and flags, which a camera follows while it stays.
    bool sameCamera(const VirtualCameraDescription& o) const;
    // The range a control of a parameter slot given as {} gets.
    static VirtualControl defaultControl(int slot);
    // The built-in camera of the designated model.
    static VirtualCameraDescription builtin();
    // Parses a virtual cameras file; on failure returns false and says why in `error`.
    static bool parse(const QByteArray& json, QList<VirtualCameraDescription>* cameras, QString* error);
};

} // namespace capture
