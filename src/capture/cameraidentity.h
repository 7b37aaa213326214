#pragma once

#include "capture/capturedevice.h"

#include <QString>

namespace capture {

// A key that finds the same camera again after it was unplugged, the machine restarted
// or it moved to another node: vendor, product and serial when the camera has a serial;
// vendor, product and USB port when it has none; otherwise (virtual cameras) its path.
class CameraIdentity
{
public:
    static QString of(const DeviceDescriptor& device);
    // The identity of the device present at `devicePath`; "" when none is there.
    static QString forPath(const QString& devicePath);
};

} // namespace capture
