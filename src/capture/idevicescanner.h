#pragma once

#include "base/icamerainfo.h"

#include <QList>

// Finds the video capture devices that are present, in enumeration order (real
// cameras first, then virtual ones).
class IDeviceScanner
{
public:
    // One record per device: nIndex counts every enumerated device, also one whose
    // properties cannot be read (it is left out); the display name is the friendly
    // name plus " #n", n counting devices of that name in this scan from 1.
    static QList<ICameraInfo> scan();
};
