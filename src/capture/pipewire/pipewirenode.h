#pragma once

#include <QString>

#include <cstdint>

struct spa_dict;

namespace capture {

// What the registry says about one camera node.
struct PipeWireNode
{
    std::uint32_t id = 0;
    QString name;         // node.name: stays the same across restarts of the daemon
    QString description;
    QString v4l2Node;     // the V4L2 device node it streams from ("/dev/video0"), "" for others
    QString api;          // device.api: v4l2, libcamera, ...
    QString cameraId;     // api.libcamera.path: libcamera's id of the camera, "" for others
    bool rgbSwapped = false;  // a libcamera node whose "RGB" is B,G,R in memory (older plugins)
    QString vendorId, productId, serial;

    // The camera a node's properties describe; false for a node that is no camera (or
    // has no name). `daemonVersion` tells how its plugin names RGB.
    static bool fromProps(const spa_dict* props, const QString& daemonVersion, PipeWireNode& out);
};

} // namespace capture
