#include "virtualcameras.h"

#include "capture/capturesystem.h"
#include "capture/virtual/virtualbackend.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace uitest {

QJsonObject virtualCamera(const QString& name, const QString& path, const QString& vid, const QString& pid,
                          const QList<QSize>& formats, const QSize& current)
{
    QJsonObject camera{{"name", name}, {"path", path}};
    if (!vid.isEmpty())
        camera["vid"] = vid;
    if (!pid.isEmpty())
        camera["pid"] = pid;
    QJsonArray list;
    for (const QSize& s : formats)
        list.append(QJsonObject{{"width", s.width()}, {"height", s.height()}, {"fps", 10}});
    camera["formats"] = list;
    camera["current"] = QJsonObject{{"width", current.width()}, {"height", current.height()}};
    return camera;
}

void setControl(QJsonObject& camera, const QString& key, const Control& c)
{
    QJsonObject controls = camera.value("controls").toObject();
    controls[key] = QJsonObject{{"min", int(c.min)},
                                {"max", int(c.max)},
                                {"default", int(c.defaultValue)},
                                {"value", int(c.value)},
                                {"auto", c.automatic}};
    camera["controls"] = controls;
}

void setStandardControls(QJsonObject& camera)
{
    setControl(camera, "brightness", {0, 64, 32, 40});
    setControl(camera, "contrast", {0, 64, 32, 20});
    setControl(camera, "saturation", {0, 64, 32, 50});
    setControl(camera, "sharpness", {0, 64, 32, 10});
    setControl(camera, "exposure", {1, 1000, 100, 200, true});
    setControl(camera, "focus", {0, 250, 50, 80});
    setControl(camera, "whiteBalance", {2800, 7500, 4600, 5000});
}

bool setVirtualCameras(const QJsonArray& cameras, QString* error)
{
    const QString dir = qEnvironmentVariable("LUMIVO_TEST_TMP", QDir::tempPath());
    const QString path = dir + "/virtual-cameras.json";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(QJsonObject{{"cameras", cameras}}).toJson());
    file.close();
    QString why;
    const bool ok = capture::CaptureSystem::instance()->virtualBackend()->watchFile(path, &why);
    if (error)
        *error = why;
    return ok;
}

DeviceValue deviceValue(const QString& path, capture::Property property)
{
    DeviceValue out;
    std::shared_ptr<capture::CaptureDevice> device;
    if (capture::CaptureSystem::instance()->open(path, device) < 0 || !device)
        return out;
    out.ok = device->get(property, out.value, out.flags) >= 0;
    return out;
}

QSize deviceFormat(const QString& path)
{
    std::shared_ptr<capture::CaptureDevice> device;
    if (capture::CaptureSystem::instance()->open(path, device) < 0 || !device)
        return QSize();
    capture::FormatDescriptor format;
    if (device->currentFormat(format) < 0)
        return QSize();
    return QSize(format.width, format.height);
}

} // namespace uitest
