#include "cameras.h"

#include "camera/platform/capturesystem.h"
#include "camera/platform/virtual/virtualbackend.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTest>

using capture::CaptureSystem;

Cameras::Cameras()
    : m_dir(qEnvironmentVariable("LUMIVO_TEST_TMP", QDir::tempPath()) + "/cameras-XXXXXX")
{
    m_strPath = m_dir.filePath(QStringLiteral("cameras.json"));
}

bool Cameras::writeRaw(const QByteArray& bytes, Write how, bool watch)
{
    if (how == Renamed) {
        QSaveFile file(m_strPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return false;
    } else {
        QFile file(m_strPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return false;
    }
    if (!watch)
        return true;
    QString error;
    const bool ok = CaptureSystem::instance()->virtualBackend()->watchFile(m_strPath, &error);
    if (!ok)
        qWarning() << "virtual cameras file refused:" << error;
    return ok;
}

bool Cameras::write(const QJsonArray& cameras, Write how, int timeoutMs)
{
    if (!writeRaw(QJsonDocument(QJsonObject{{"cameras", cameras}}).toJson(), how, true))
        return false;
    QStringList expected;
    for (const QJsonValue& camera : cameras) {
        const QJsonObject o = camera.toObject();
        expected << o.value("path").toString(QStringLiteral("virtual:") + o.value("name").toString());
    }
    return waitListed(expected, timeoutMs);
}

void Cameras::unwatch()
{
    CaptureSystem::instance()->virtualBackend()->watchFile(QString(), nullptr);
}

QJsonObject Cameras::format(const QString& subtype, int width, int height, int fps)
{
    return QJsonObject{{"subtype", subtype}, {"width", width}, {"height", height}, {"fps", fps}};
}

QJsonArray Cameras::formats(const QList<QSize>& sizes, const QString& subtype)
{
    QJsonArray list;
    for (const QSize& s : sizes)
        list.append(format(subtype, s.width(), s.height()));
    return list;
}

QJsonObject Cameras::camera(const QString& name, const QJsonArray& formats, const QString& path)
{
    return QJsonObject{
        {"name", name}, {"path", path.isEmpty() ? QStringLiteral("virtual:") + name : path}, {"formats", formats}};
}

void Cameras::setControl(QJsonObject& camera, const QString& key, long min, long max, long defaultValue, long value,
                         Mode mode, long step)
{
    QJsonObject controls = camera.value("controls").toObject();
    QJsonObject control{{"min", int(min)},
                        {"max", int(max)},
                        {"step", int(step)},
                        {"default", int(defaultValue)},
                        {"value", int(value)}};
    if (mode != NoMode)
        control["auto"] = mode == Auto;
    controls[key] = control;
    camera["controls"] = controls;
}

QJsonObject Cameras::fullControls()
{
    QJsonObject c;
    setControl(c, "brightness", 0, 64, 32, 40);
    setControl(c, "contrast", 0, 100, 50, 50);
    setControl(c, "saturation", 0, 100, 60, 70);
    setControl(c, "sharpness", 0, 7, 3, 3);
    setControl(c, "whiteBalance", 2800, 6500, 4600, 4600, Auto, 10);
    setControl(c, "exposure", -13, -1, -6, -6, Auto);
    setControl(c, "focus", 0, 250, 0, 30, Manual, 5);
    return c.value("controls").toObject();
}

QStringList Cameras::devicePaths()
{
    QStringList paths;
    for (const capture::DeviceDescriptor& d : CaptureSystem::instance()->enumerate()) {
        if (d.devicePath.startsWith(QLatin1String("virtual:")))
            paths << d.devicePath;
    }
    return paths;
}

bool Cameras::waitListed(const QStringList& paths, int timeoutMs)
{
    return QTest::qWaitFor([&]() { return devicePaths() == paths; }, timeoutMs);
}

Cameras::Value Cameras::deviceValue(const QString& path, capture::Property property)
{
    Value out;
    std::shared_ptr<capture::CaptureDevice> device;
    if (dshow::FAILED(CaptureSystem::instance()->open(path, device)) || !device)
        return out;
    long value = 0, flags = 0;
    out.ok = !dshow::FAILED(device->get(property, value, flags));
    if (out.ok) {
        out.value = value;
        out.flags = flags;
    }
    return out;
}

QSize Cameras::deviceFormat(const QString& path)
{
    std::shared_ptr<capture::CaptureDevice> device;
    if (dshow::FAILED(CaptureSystem::instance()->open(path, device)) || !device)
        return QSize();
    capture::FormatDescriptor format;
    if (dshow::FAILED(device->currentFormat(format)))
        return QSize();
    return QSize(format.width, format.height);
}
