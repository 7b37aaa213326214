#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

namespace capture {

// Other programs opening and closing device nodes, heard through inotify (open and
// close events only): nothing is polled, so a watcher of idle nodes never wakes. After
// each open or close the node's holders are read from /proc; this process is never one
// of them, so its own opens and closes change nothing.
class DeviceNodeWatcher : public QObject
{
    Q_OBJECT
public:
    explicit DeviceNodeWatcher(QObject* parent = nullptr);
    ~DeviceNodeWatcher() override;

    // Watches `file` for the device `key` (one file per key). False, with one log line,
    // when it cannot be watched (gone, or the user's inotify watches are used up).
    bool watch(const QString& key, const QString& file);
    void unwatch(const QString& key);
    bool isWatching(const QString& key) const { return m_files.contains(key); }
    // The other programs holding the key's file when it last opened or closed.
    QStringList holders(const QString& key) const { return m_holders.value(key); }

    // At most this many files are watched (as if the user's inotify watches ran out
    // there); -1 leaves it to the system.
    static void setWatchLimit(int limit);
    static constexpr int kRenameGraceMs = 250;

signals:
    void holdersChanged(const QString& key, const QStringList& holders);

private:
    void readEvents();
    void refresh(const QString& key);

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QHash<QString, QString> m_files;     // key -> file
    QHash<QString, int> m_watches;       // key -> watch descriptor
    QHash<QString, QStringList> m_holders;
    static int s_nWatchLimit;
};

} // namespace capture
