#pragma once

#include "capture/capturedevice.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>

// Software cameras for the UI tests, described as the virtual cameras file does.
namespace uitest {

struct Control
{
    long min, max, defaultValue, value;
    bool automatic = false;
};

// One camera of the file. `vid`/`pid` empty leave them out.
QJsonObject virtualCamera(const QString& name, const QString& path, const QString& vid, const QString& pid,
                          const QList<QSize>& formats, const QSize& current);
// The camera with the given control ranges (JSON names: brightness, whiteBalance ...).
void setControl(QJsonObject& camera, const QString& key, const Control& control);
// The control set most tests use: every control manual except exposure.
void setStandardControls(QJsonObject& camera);

// Makes `cameras` the process's virtual cameras, as a hot-plug would (removals and
// arrivals are reported through the device watcher). False with a message on failure.
bool setVirtualCameras(const QJsonArray& cameras, QString* error = nullptr);

// What the device itself now holds for a property (through a second handle on it).
struct DeviceValue
{
    long value = -1;
    long flags = -1; // 1 auto, 2 manual
    bool ok = false;
};
DeviceValue deviceValue(const QString& path, capture::Property property);
// The format the device is set to.
QSize deviceFormat(const QString& path);

} // namespace uitest
