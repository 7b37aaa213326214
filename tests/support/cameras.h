#pragma once

#include "camera/platform/capturedevice.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A virtual cameras file in the test's temporary folder, watched by the capture
// system, so that its cameras appear and disappear like plugged devices; and the
// builders for its JSON.
class Cameras
{
public:
    enum Write { InPlace, Renamed }; // Renamed replaces the file atomically, as editors save

    Cameras();
    QString path() const { return m_strPath; }

    // Writes the cameras, watches the file and waits until the device list shows exactly
    // their paths (in order).
    bool write(const QJsonArray& cameras, Write how = InPlace, int timeoutMs = 5000);
    // Writes bytes as they stand; `watch` also hands the file to the capture system
    // (false if it refuses it).
    bool writeRaw(const QByteArray& bytes, Write how = InPlace, bool watch = false);
    // Stops watching any file.
    static void unwatch();

    // One format entry, e.g. format("MJPG", 1280, 720).
    static QJsonObject format(const QString& subtype, int width, int height, int fps = 30);
    // The same subtype at each size.
    static QJsonArray formats(const QList<QSize>& sizes, const QString& subtype = QStringLiteral("MJPG"));
    // A camera named `name` at `path` ("virtual:<name>" when empty); the first format is current.
    static QJsonObject camera(const QString& name, const QJsonArray& formats, const QString& path = QString());
    // Sets one control (JSON names: brightness, whiteBalance ...).
    enum Mode { NoMode, Manual, Auto };
    static void setControl(QJsonObject& camera, const QString& key, long min, long max, long defaultValue, long value,
                           Mode mode = NoMode, long step = 1);
    // The seven controls with the ranges the tests expect (focus 0..250 step 5, value 30,
    // manual; exposure and white balance automatic; the rest without a mode).
    static QJsonObject fullControls();

    // The virtual device paths the capture system lists now.
    static QStringList devicePaths();
    static bool waitListed(const QStringList& paths, int timeoutMs = 5000);

    // What the device itself now holds, read through a second handle on it.
    struct Value
    {
        long value = -9999;
        long flags = -1; // 1 auto, 2 manual
        bool ok = false;
    };
    static Value deviceValue(const QString& path, capture::Property property);
    static QSize deviceFormat(const QString& path);

private:
    QTemporaryDir m_dir;
    QString m_strPath;
};
