#pragma once

#include <QMetaType>
#include <QSize>

// One capture format of a camera, and the format a camera is asked to use.
struct CameraResolution
{
    CameraResolution() = default;
    CameraResolution(int width, int height);

    QSize size;        // asked for; once the format is set, the size in use; (0,0) = device's current
    QSize captureSize; // set on the device when `size` is chosen
    qint32 rate = 0;

    // Two entries are the same resolution when their sizes match; captureSize and rate do not count.
    bool operator==(const CameraResolution& other) const;
    bool operator!=(const CameraResolution& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(CameraResolution)
