#include "capture/pipewire/pipewirenode.h"

#include "capture/pipewire/pipewireformat.h"

#include <pipewire/keys.h>
#include <spa/utils/dict.h>

namespace capture {

namespace {

QString prop(const spa_dict* props, const char* key)
{
    const char* v = props ? spa_dict_lookup(props, key) : nullptr;
    return v ? QString::fromUtf8(v) : QString();
}

} // namespace

bool PipeWireNode::fromProps(const spa_dict* props, const QString& daemonVersion, PipeWireNode& out)
{
    out = PipeWireNode();
    out.api = prop(props, PW_KEY_DEVICE_API);
    // A camera: the role the camera plugins give, or a node of a camera API.
    if (prop(props, PW_KEY_MEDIA_ROLE) != QLatin1String("Camera") && out.api != QLatin1String("v4l2")
        && out.api != QLatin1String("libcamera"))
        return false;
    out.name = prop(props, PW_KEY_NODE_NAME);
    out.description = prop(props, PW_KEY_NODE_DESCRIPTION);
    if (out.description.isEmpty())
        out.description = prop(props, PW_KEY_NODE_NICK);
    if (out.description.isEmpty())
        out.description = out.name;
    out.v4l2Node = prop(props, "api.v4l2.path");
    const QString objectPath = prop(props, PW_KEY_OBJECT_PATH);
    if (out.v4l2Node.isEmpty() && objectPath.startsWith(QLatin1String("v4l2:/dev/")))
        out.v4l2Node = objectPath.mid(5);
    out.cameraId = prop(props, "api.libcamera.path");
    out.rgbSwapped = out.api == QLatin1String("libcamera") && PipeWireFormat::libcameraRgbSwapped(daemonVersion);
    out.vendorId = prop(props, "device.vendor.id").remove(QLatin1String("0x")).toUpper();
    out.productId = prop(props, "device.product.id").remove(QLatin1String("0x")).toUpper();
    out.serial = prop(props, "device.serial");
    return !out.name.isEmpty();
}

} // namespace capture
