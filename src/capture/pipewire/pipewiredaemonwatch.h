#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace capture {

// Tells a PipeWire client when to connect again after it lost the daemon or found none,
// without polling: a connection that had served is tried again at once (a socket kept
// by the service manager outlives the daemon behind it, and starts the next one);
// otherwise the socket's folder is watched, and each socket made anew there (a daemon
// started or restarted) is tried once, and once more a second later in case it was
// not yet listening. Nothing is watched while connected. GUI thread only.
class PipeWireDaemonWatch : public QObject
{
    Q_OBJECT
public:
    explicit PipeWireDaemonWatch(QObject* parent = nullptr);

    // The connection is up: nothing to watch.
    void connected();
    // No connection (any more); `served`: it had been up and answered.
    void disconnected(bool served);

signals:
    // Queued: a good moment to connect; the answer is connected() or disconnected().
    // May still come while a connection is being made or is up: then it means nothing.
    void retry();

private:
    void check();
    void unwatch();

    QFileSystemWatcher m_watcher;
    QTimer m_secondTryTimer;
    std::uint64_t m_tried = 0;  // the socket last tried
    bool m_secondTry = false;   // the socket last tried is new and had no second try yet
};

} // namespace capture
