#pragma once

#include "capture/capturedevice.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <linux/videodev2.h>

// A virtual cameras file in the test's temporary folder, watched by the capture system,
// so that its cameras appear and disappear like plugged devices; and its JSON builders.
class Cameras
{
public:
    enum Write { InPlace, Renamed }; // Renamed replaces the file atomically, as editors save
    enum Mode { NoMode, Manual, Auto };
    // The page's controls by their V4L2 ids.
    enum Control : quint32 { Exposure = V4L2_CID_EXPOSURE_ABSOLUTE, Focus = V4L2_CID_FOCUS_ABSOLUTE,
                             Brightness = V4L2_CID_BRIGHTNESS, Contrast = V4L2_CID_CONTRAST, Saturation = V4L2_CID_SATURATION,
                             Sharpness = V4L2_CID_SHARPNESS, WhiteBalance = V4L2_CID_WHITE_BALANCE_TEMPERATURE };

    Cameras() : m_dir(qEnvironmentVariable("LUMIVO_TEST_TMP", QDir::tempPath()) + "/cameras-XXXXXX") {}
    // Writes and watches the cameras, then waits until exactly their paths are listed.
    bool write(const QJsonArray& cameras, int timeoutMs = 5000);
    // Writes bytes as they stand; `watch` also hands the file to the capture system.
    bool writeRaw(const QByteArray& bytes, Write how = InPlace, bool watch = false);
    static void unwatch();

    static QJsonArray formats(const QList<QSize>& sizes, const QString& subtype = QStringLiteral("MJPG"));
    // A camera at `path` ("virtual:<name>" when empty); the first format is current.
    static QJsonObject camera(const QString& name, const QJsonArray& formats, const QString& path = QString());
    static void setControl(QJsonObject& camera, const QString& key, long min, long max, long defaultValue, long value,
                           Mode mode = NoMode, long step = 1);
    // All seven controls, exposure automatic, focus and white balance manual; brightness 40.
    static void setStandardControls(QJsonObject& camera);

    // What the device itself holds, read through a second handle on it.
    struct Value
    {
        long value = -9999, flags = -1; // flags 1 auto, 2 manual
    };
    static Value deviceValue(const QString& path, quint32 id);
    static QSize deviceFormat(const QString& path);
    // Whether a second handle on the device (another program, as it were) may stream it now.
    static bool otherCanStream(const QString& path);
    static QStringList devicePaths(); // listed now, in scan order
    QString path() const { return m_dir.filePath(QStringLiteral("cameras.json")); }

private:
    QTemporaryDir m_dir;
};
