#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A virtual cameras file for the camera tests: written into the test's temporary
// folder and watched by the capture system, so its cameras appear and disappear like
// plugged and unplugged devices.
class VirtualCameraFile
{
public:
    VirtualCameraFile();

    // Writes the cameras and waits until the device list shows exactly their paths.
    bool write(const QJsonArray& cameras, int timeoutMs = 5000);
    QString path() const { return m_strPath; }

    // One format entry, e.g. format("MJPG", 1280, 720).
    static QJsonObject format(const QString& subtype, int width, int height, int fps = 30);
    // A camera named `name` at "virtual:<name>" with the given formats (the first is current).
    static QJsonObject camera(const QString& name, const QJsonArray& formats);
    // The seven controls with the ranges the tests expect (focus 0..250, value 30, manual;
    // exposure auto; white balance auto; the rest without a mode).
    static QJsonObject fullControls();

    // The device paths the capture system lists now.
    static QStringList devicePaths();

private:
    QTemporaryDir m_dir;
    QString m_strPath;
    bool m_bWatching = false;
};
