#pragma once

#include <QJsonObject>
#include <QString>
#include <QTimer>

// What the user set for each camera, by camera identity, in a JSON file of its own
// beside application.ini. Changes are written atomically a moment after the last one
// (a slider drag is one write, not hundreds) and when the store goes away. A damaged file is set aside and the
// store starts empty; a write that fails is logged once and the values stay in memory.
class ICameraSettingsStore
{
public:
    explicit ICameraSettingsStore(const QString& filePath = defaultFilePath());
    ~ICameraSettingsStore();
    ICameraSettingsStore(const ICameraSettingsStore&) = delete;
    ICameraSettingsStore& operator=(const ICameraSettingsStore&) = delete;

    // makeWritableDir("ini/") + "camerasettings.json".
    static QString defaultFilePath();

    QString filePath() const { return m_path; }
    bool contains(const QString& identity) const { return m_cameras.contains(identity); }
    QJsonObject camera(const QString& identity) const { return m_cameras.value(identity).toObject(); }
    // Sets `key` of the camera's record; an undefined value removes the key.
    void setValue(const QString& identity, const QString& key, const QJsonValue& value);
    void forget(const QString& identity);
    // Writes pending changes now.
    void flush();

private:
    void load();
    void convertOldExposure();
    void save();

    QString m_path;
    QJsonObject m_cameras;
    bool m_bWriteFailureLogged = false;
    bool m_bDirty = false;
    QTimer m_saveTimer;
};
