#include "cameras.h"

#include "capture/capturesystem.h"
#include "capture/controlwriter.h"
#include "capture/virtual/virtualbackend.h"

#include <QJsonDocument>
#include <QSaveFile>
#include <QTest>

using capture::CaptureSystem;

bool Cameras::writeRaw(const QByteArray& bytes, Write how, bool watch)
{
    QSaveFile saved(path());
    QFile inPlace(path());
    QFileDevice& file = how == Renamed ? static_cast<QFileDevice&>(saved) : inPlace;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        (how == Renamed && !saved.commit()))
        return false;
    inPlace.close();
    return !watch || CaptureSystem::instance()->virtualBackend()->watchFile(path(), nullptr);
}

bool Cameras::write(const QJsonArray& cameras, int timeoutMs)
{
    if (!writeRaw(QJsonDocument(QJsonObject{{"cameras", cameras}}).toJson(), InPlace, true))
        return false;
    QStringList expected;
    for (const QJsonValue& c : cameras)
        expected << c.toObject().value("path").toString("virtual:" + c.toObject().value("name").toString());
    return QTest::qWaitFor([&] { return devicePaths() == expected; }, timeoutMs);
}

void Cameras::unwatch() { CaptureSystem::instance()->virtualBackend()->watchFile(QString(), nullptr); }

QJsonArray Cameras::formats(const QList<QSize>& sizes, const QString& subtype)
{
    QJsonArray list;
    for (const QSize& s : sizes)
        list.append(QJsonObject{{"subtype", subtype}, {"width", s.width()}, {"height", s.height()}});
    return list;
}

QJsonObject Cameras::camera(const QString& name, const QJsonArray& formats, const QString& path)
{
    return {{"name", name}, {"path", path.isEmpty() ? "virtual:" + name : path}, {"formats", formats}};
}

void Cameras::setControl(QJsonObject& camera, const QString& key, long min, long max, long defaultValue, long value,
                         Mode mode, long step)
{
    QJsonObject controls = camera.value("controls").toObject();
    QJsonObject c{{"min", int(min)}, {"max", int(max)}, {"step", int(step)}, {"default", int(defaultValue)},
                  {"value", int(value)}};
    if (mode != NoMode)
        c["auto"] = mode == Auto;
    controls[key] = c;
    camera["controls"] = controls;
}

namespace {
std::shared_ptr<capture::CaptureDevice> openDevice(const QString& path)
{
    std::shared_ptr<capture::CaptureDevice> device;
    return dshow::FAILED(CaptureSystem::instance()->open(path, device)) ? nullptr : device;
}
} // namespace

Cameras::Value Cameras::deviceValue(const QString& path, quint32 id)
{
    const auto device = openDevice(path);
    long value = 0, flags = 0;
    return device && !dshow::FAILED(capture::ControlWriter::read(*device, id, value, flags)) ? Value{value, flags} : Value();
}

QSize Cameras::deviceFormat(const QString& path)
{
    const auto device = openDevice(path);
    capture::FormatDescriptor f;
    return device && !dshow::FAILED(device->currentFormat(f)) ? QSize(f.width, f.height) : QSize();
}

bool Cameras::otherCanStream(const QString& path)
{
    const auto device = openDevice(path);
    const bool started = device && dshow::SUCCEEDED(device->start([](const capture::RawFrame&) {}));
    if (device)
        device->stop();
    return started;
}

QStringList Cameras::devicePaths()
{
    QStringList paths;
    for (const capture::DeviceDescriptor& d : CaptureSystem::instance()->enumerate())
        if (d.devicePath.startsWith(QLatin1String("virtual:")))
            paths << d.devicePath;
    return paths;
}

void Cameras::setStandardControls(QJsonObject& c)
{
    setControl(c, "brightness", 0, 64, 32, 40);
    setControl(c, "contrast", 0, 64, 32, 20);
    setControl(c, "saturation", 0, 64, 32, 50);
    setControl(c, "sharpness", 0, 64, 32, 10);
    setControl(c, "exposure", 1, 1000, 100, 200, Auto);
    setControl(c, "focus", 0, 250, 50, 80, Manual);
    setControl(c, "whiteBalance", 2800, 7500, 4600, 5000, Manual);
}
