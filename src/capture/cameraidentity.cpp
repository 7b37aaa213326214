#include "capture/cameraidentity.h"

#include "capture/capturesystem.h"

namespace capture {

QString CameraIdentity::of(const DeviceDescriptor& device)
{
    const QString model = device.vendorId.toUpper() + QLatin1Char(':') + device.productId.toUpper();
    const bool hasModel = !device.vendorId.isEmpty() && !device.productId.isEmpty();
    if (hasModel && !device.serial.isEmpty())
        return QStringLiteral("usb:%1:serial:%2").arg(model, device.serial);
    if (hasModel && !device.portPath.isEmpty())
        return QStringLiteral("usb:%1:port:%2").arg(model, device.portPath);
    return QStringLiteral("path:") + device.devicePath;
}

QString CameraIdentity::forPath(const QString& devicePath)
{
    if (devicePath.isEmpty())
        return QString();
    for (const DeviceDescriptor& device : CaptureSystem::instance()->enumerate()) {
        if (device.devicePath.compare(devicePath, Qt::CaseInsensitive) == 0)
            return of(device);
    }
    return QString();
}

} // namespace capture
