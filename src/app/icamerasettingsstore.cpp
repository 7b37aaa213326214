#include "app/icamerasettingsstore.h"

#include "base/appenvironment.h"
#include "capture/cameraproperty.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>
#include <linux/videodev2.h>

namespace {
const char kCameras[] = "cameras";
}

ICameraSettingsStore::ICameraSettingsStore(const QString& filePath) : m_path(filePath)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(300);
    QObject::connect(&m_saveTimer, &QTimer::timeout, [this] { flush(); });
    load();
}

ICameraSettingsStore::~ICameraSettingsStore() { flush(); }

void ICameraSettingsStore::flush()
{
    m_saveTimer.stop();
    if (m_bDirty)
        save();
}

QString ICameraSettingsStore::defaultFilePath()
{
    return makeWritableDir(QStringLiteral("ini/")) + QStringLiteral("camerasettings.json");
}

void ICameraSettingsStore::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    QString problem;
    QJsonParseError error{};
    QJsonDocument document;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else {
        document = QJsonDocument::fromJson(file.readAll(), &error);
        file.close();
        if (error.error != QJsonParseError::NoError)
            problem = error.errorString();
        else if (!document.isObject() || !document.object().value(kCameras).isObject())
            problem = QStringLiteral("no \"cameras\" object");
    }
    if (problem.isEmpty()) {
        m_cameras = document.object().value(kCameras).toObject();
        convertOldExposure();
        return;
    }
    // Kept for whoever wants to look at it; the next write starts a fresh file.
    const QString aside = m_path + ".damaged-" + QDateTime::currentDateTime().toString("yyyyMMddhhmmsszzz");
    const bool moved = QFile::rename(m_path, aside);
    qDebug().noquote() << "camera settings file" << m_path << "unreadable (" + problem + "), starting empty;"
                       << (moved ? "set aside as " + aside : QStringLiteral("could not set it aside"));
}

// Virtual cameras once kept exposure as a power of two in seconds (-13..-1, -6 being
// 1/64 s); it is V4L2's absolute exposure now, in 100 us units, which is never negative.
// Such a value is converted to the same time (-6: 156) and the file written again.
void ICameraSettingsStore::convertOldExposure()
{
    const QString named = QLatin1String(capture::cameraProperty(V4L2_CID_EXPOSURE_ABSOLUTE)->key);
    const QString byId = QString::number(V4L2_CID_EXPOSURE_ABSOLUTE, 16);
    for (auto it = m_cameras.begin(); it != m_cameras.end(); ++it) {
        QJsonObject record = it.value().toObject();
        QJsonObject controls = record.value(QLatin1String("controls")).toObject();
        bool changed = false;
        for (QJsonObject* values : {&record, &controls}) {
            const QString key = values == &record ? named : byId;
            const double old = values->value(key).toDouble(0);
            if (!values->value(key).isDouble() || old >= 0)
                continue;
            const double converted = std::max(1.0, std::round(10000 * std::exp2(std::max(old, -30.0))));
            qDebug().noquote() << "camera settings:" << it.key() << "exposure" << old << "(a power of two in seconds) is now" << converted;
            values->insert(key, converted);
            changed = true;
        }
        if (!changed)
            continue;
        if (!controls.isEmpty())
            record.insert(QLatin1String("controls"), controls);
        it.value() = record;
        m_bDirty = true;
    }
    if (m_bDirty)
        m_saveTimer.start();
}

void ICameraSettingsStore::save()
{
    m_bDirty = false;
    QJsonObject root;
    root.insert(kCameras, m_cameras);
    QSaveFile file(m_path);
    const bool ok = file.open(QIODevice::WriteOnly)
        && file.write(QJsonDocument(root).toJson()) >= 0 && file.commit();
    if (ok || m_bWriteFailureLogged)
        return;
    m_bWriteFailureLogged = true;
    qDebug().noquote() << "camera settings not written to" << m_path + ":" << file.errorString()
                       << "(kept in memory; said once)";
}

void ICameraSettingsStore::setValue(const QString& identity, const QString& key, const QJsonValue& value)
{
    if (identity.isEmpty())
        return;
    QJsonObject record = camera(identity);
    if (value.isUndefined())
        record.remove(key);
    else
        record.insert(key, value);
    if (record == camera(identity) && contains(identity))
        return;
    m_cameras.insert(identity, record);
    m_bDirty = true;
    m_saveTimer.start();
}

void ICameraSettingsStore::forget(const QString& identity)
{
    if (!contains(identity))
        return;
    m_cameras.remove(identity);
    save();
}
