#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>


class ICameraSettingsKeeper;
class QTimer;
namespace capture {
class ControlWorker;
class DeviceNodeWatcher;
class PipeWireNodeUsage;
}

// Watches every listed camera without holding it (inotify on its node, PipeWire's links
// to its node), and says which other programs hold one. When another program opens a camera that has stored settings, the guard opens
// it too for as long as that program holds it, and once its opening burst of control
// changes has settled (kSettleMs without a change, within kWindowMs of the opening)
// puts back the stored values it changed. Once per opening: later changes are left
// as the other program made them, and no longer listened for.
class ICameraGuard : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSettleMs = 300;
    static constexpr int kWindowMs = 5000;

    explicit ICameraGuard(ICameraSettingsKeeper* keeper, QObject* parent = nullptr);
    ~ICameraGuard() override;

    struct Use
    {
        QString devicePath;
        QString name;
        QStringList programs;
    };
    // The cameras other programs hold now, in the order they were listed.
    QList<Use> inUse() const;
    QStringList holdersOf(const QString& devicePath) const { return m_holders.value(devicePath); }
    // Whether the guard holds the camera now, or is opening it (another program holds it).
    bool isGuarding(const QString& devicePath) const { return m_guarded.contains(devicePath); }
    capture::DeviceNodeWatcher* watcher() const { return m_pWatcher; }

    static bool enabled();

signals:
    void usageChanged();
    // Stored values were put back on the camera after `programs` changed them.
    void sgRestored(const QString& devicePath, const QStringList& controls, const QStringList& programs);

private:
    struct Guarded
    {
        capture::ControlWorker* worker = nullptr;  // holds the device: the road every write-back takes
        QTimer* settle = nullptr;
        QElapsedTimer since;
        bool armed = true;
        bool restoring = false;  // a write-back is on its way
        QStringList programs;
    };

    void listAll();
    void onDeviceChanged(bool arrived, const QString& devicePath);
    void onNodeHolders(const QString& devicePath, const QStringList& holders);
    // Takes what the node's holders and PipeWire's links say together.
    void update(const QString& devicePath);
    void startGuarding(const QString& devicePath, const QStringList& programs);
    void stopGuarding(const QString& devicePath);
    void onControlChanged(const QString& devicePath, quint64 generation);
    void settled(const QString& devicePath);
    void restored(const QString& devicePath, quint64 generation, const QStringList& controls);
    // The opening's one chance has passed: changes are no longer listened for.
    void disarm(const QString& devicePath);

    ICameraSettingsKeeper* m_pKeeper;
    capture::DeviceNodeWatcher* m_pWatcher;
    capture::PipeWireNodeUsage* m_pPipeWire;
    QStringList m_order;                       // listed cameras, in list order
    QSet<QString> m_unwatched;                 // listed cameras without a watch (no node, or none left)
    QHash<QString, QString> m_names;           // device path -> friendly name
    QHash<QString, QStringList> m_nodeHolders; // device path -> processes holding its node
    QHash<QString, QStringList> m_holders;     // device path -> other programs using it
    QHash<QString, Guarded*> m_guarded;
    QHash<QString, quint64> m_generations;     // device path -> opening count, for late events
};
