#pragma once

#include "app/icamerasettingsstore.h"

#include <QHash>
#include <QJsonValue>
#include <QMap>
#include <QObject>
#include <QSize>
#include <QStringList>

#include <functional>

class ICameraPage;
namespace capture {
class ControlWorker;
}

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
    // Writes the stored controls of the camera at `devicePath` on a control worker of
    // their own (see writeBack), opened on the worker's thread: returns at once, false
    // when nothing is stored. A device that does not open is logged.
    bool apply(const QString& devicePath);
    // The same write-back on the guard's worker (it waits while that worker opens): with
    // `onlyChanged` a control that holds its stored value is left alone. `done` gets the
    // names of the controls written, on the thread of `context` (dropped with it).
    void restore(capture::ControlWorker& worker, const QString& devicePath, bool onlyChanged, QObject* context,
                 std::function<void(const QStringList&)> done);
    // Whether the camera at `devicePath` has stored controls to write back.
    bool hasStoredControls(const QString& devicePath);

    // Records what the user sets (the facade's sgControlSet), the resolution and the
    // look the user picks, and forgets the camera on "Restore default".
    void attach(ICameraPage* page);

    // The stored controls of a camera that the page has no slider for (set in the
    // controls dialog).
    QList<quint32> storedControls(const QString& devicePath);

    // What the page uses on open: an invalid size or 0 when nothing is stored.
    QSize storedResolution(const QString& devicePath);
    int storedLook(const QString& devicePath);

    QString identityOf(const QString& devicePath);
    ICameraSettingsStore& store() { return m_store; }

private:
    void onDeviceChanged(bool arrived, const QString& devicePath);
    // With `retry`, a usb: camera that does not open is tried once more a second later.
    bool writeBackTo(const QString& devicePath, bool retry);
    // On the worker's thread: switches and menus first (automatic modes, and menus that
    // gate other controls), then the values, each under ControlWriter's rules; a value
    // its automatic mode now chooses, and a control the camera no longer has, are
    // skipped, as is one the camera refuses (with a log line). Returns the names written.
    static QStringList writeBack(capture::ControlWorker& worker, const QMap<quint32, QJsonValue>& stored,
                                 const QString& devicePath, bool onlyChanged);
    void record(quint32 id, qint64 value, const QString& devicePath);
    // The stored controls by V4L2 id, older records' named keys included.
    static QMap<quint32, QJsonValue> storedControlValues(const QJsonObject& record);
    void forgetCurrent();

    ICameraSettingsStore m_store;
    QHash<QString, QString> m_identities; // device path -> identity, for present devices
};
