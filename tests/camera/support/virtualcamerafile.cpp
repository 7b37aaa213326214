#include "virtualcamerafile.h"

#include "capture/capturesystem.h"
#include "capture/virtual/virtualbackend.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

VirtualCameraFile::VirtualCameraFile()
    : m_dir(qEnvironmentVariableIsSet("LUMIVO_TEST_TMP") ? qEnvironmentVariable("LUMIVO_TEST_TMP") + "/cameras-XXXXXX"
                                                         : QDir::tempPath() + "/lumivo-cameras-XXXXXX")
{
    m_strPath = m_dir.filePath(QStringLiteral("cameras.json"));
}

bool VirtualCameraFile::write(const QJsonArray& cameras, int timeoutMs)
{
    QFile file(m_strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QJsonDocument(QJsonObject{{"cameras", cameras}}).toJson());
    file.close();

    if (!m_bWatching) {
        QString error;
        if (!capture::CaptureSystem::instance()->virtualBackend()->watchFile(m_strPath, &error)) {
            qDebug() << "virtual cameras file refused:" << error;
            return false;
        }
        m_bWatching = true;
    }
    QStringList expected;
    for (const QJsonValue& camera : cameras) {
        const QJsonObject o = camera.toObject();
        expected << o.value("path").toString(QStringLiteral("virtual:") + o.value("name").toString());
    }
    return QTest::qWaitFor([&]() { return devicePaths() == expected; }, timeoutMs);
}

QJsonObject VirtualCameraFile::format(const QString& subtype, int width, int height, int fps)
{
    return QJsonObject{{"subtype", subtype}, {"width", width}, {"height", height}, {"fps", fps}};
}

QJsonObject VirtualCameraFile::camera(const QString& name, const QJsonArray& formats)
{
    return QJsonObject{{"name", name}, {"path", QStringLiteral("virtual:") + name}, {"formats", formats}};
}

QJsonObject VirtualCameraFile::fullControls()
{
    return QJsonObject{
        {"brightness", QJsonObject{{"min", 0}, {"max", 64}, {"step", 1}, {"default", 32}, {"value", 40}}},
        {"contrast", QJsonObject{{"min", 0}, {"max", 100}, {"step", 1}, {"default", 50}, {"value", 50}}},
        {"saturation", QJsonObject{{"min", 0}, {"max", 100}, {"step", 1}, {"default", 60}, {"value", 70}}},
        {"sharpness", QJsonObject{{"min", 0}, {"max", 7}, {"step", 1}, {"default", 3}, {"value", 3}}},
        {"whiteBalance",
         QJsonObject{{"min", 2800}, {"max", 6500}, {"step", 10}, {"default", 4600}, {"value", 4600}, {"auto", true}}},
        {"exposure", QJsonObject{{"min", -13}, {"max", -1}, {"step", 1}, {"default", -6}, {"value", -6}, {"auto", true}}},
        {"focus", QJsonObject{{"min", 0}, {"max", 250}, {"step", 5}, {"default", 0}, {"value", 30}, {"auto", false}}},
    };
}

QStringList VirtualCameraFile::devicePaths()
{
    QStringList paths;
    for (const capture::DeviceDescriptor& d : capture::CaptureSystem::instance()->enumerate()) {
        if (d.devicePath.startsWith(QLatin1String("virtual:")))
            paths << d.devicePath;
    }
    return paths;
}
