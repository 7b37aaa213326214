#pragma once

#include "app/icamerasettingsstore.h"

#include <QHash>
#include <QObject>
#include <QSize>

class ICameraPage;

// Remembers what the user sets for each camera and gives it back: when a known camera
// arrives (or is there at start) its stored controls are written straight to the device
// through the capture layer, without a stream and whether or not a window is shown.
// Off (the configuration's "remember" switch) nothing is written back or stored.
class ICameraSettingsKeeper : public QObject
{
    Q_OBJECT
public:
    explicit ICameraSettingsKeeper(const QString& storePath = ICameraSettingsStore::defaultFilePath(),
                                   QObject* parent = nullptr);
    ~ICameraSettingsKeeper() override;

    static bool enabled();

    // Writes every present camera's stored controls back to it.
    void applyPresent();
    // Writes the stored controls of the camera at `devicePath`: automatic modes first,
    // then manual values that lie within the device's present range. False when
    // nothing was written.
    bool apply(const QString& devicePath);

    // Records what the page sends to its camera, the look the user picks, and forgets
    // the camera on "Restore default".
    void attach(ICameraPage* page);

    // What the page uses on open: an invalid size or 0 when nothing is stored.
    QSize storedResolution(const QString& devicePath);
    int storedLook(const QString& devicePath);

    QString identityOf(const QString& devicePath);
    ICameraSettingsStore& store() { return m_store; }

private:
    void onDeviceChanged(bool arrived, const QString& devicePath);
    void record(const QString& operation, const QVariant& value);
    void forgetCurrent();

    ICameraSettingsStore m_store;
    QHash<QString, QString> m_identities; // device path -> identity, for present devices
};
