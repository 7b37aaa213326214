#include "capture/devicenodewatcher.h"

#include "capture/deviceholders.h"

#include <QDebug>
#include <QFile>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace capture {

int DeviceNodeWatcher::s_nWatchLimit = -1;

void DeviceNodeWatcher::setWatchLimit(int limit) { s_nWatchLimit = limit; }

DeviceNodeWatcher::DeviceNodeWatcher(QObject* parent) : QObject(parent)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        qDebug() << "camera guard: no inotify:" << std::strerror(errno) << "; cameras are not watched";
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceNodeWatcher::readEvents);
}

DeviceNodeWatcher::~DeviceNodeWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DeviceNodeWatcher::watch(const QString& key, const QString& file)
{
    if (m_files.value(key) == file && m_watches.contains(key))
        return true;
    unwatch(key);
    if (m_fd < 0 || file.isEmpty())
        return false;
    int wd = -1;
    int error = ENOSPC;
    if (s_nWatchLimit < 0 || m_watches.size() < s_nWatchLimit) {
        wd = ::inotify_add_watch(m_fd, QFile::encodeName(file).constData(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
        error = errno;
    }
    if (wd < 0) {
        qDebug().noquote() << QStringLiteral("camera guard: cannot watch %1 (%2); that camera is not guarded")
                                  .arg(file, error == ENOSPC ? QStringLiteral("no inotify watches left") : QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    m_files.insert(key, file);
    m_watches.insert(key, wd);
    refresh(key);
    return true;
}

void DeviceNodeWatcher::unwatch(const QString& key)
{
    const int wd = m_watches.take(key);
    m_files.remove(key);
    // Two keys on one file share the kernel's watch.
    if (wd > 0 && !m_watches.values().contains(wd))
        ::inotify_rm_watch(m_fd, wd);
    if (!m_holders.take(key).isEmpty())
        emit holdersChanged(key, {});
}

void DeviceNodeWatcher::readEvents()
{
    QSet<int> touched;
    QSet<int> gone;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            (event->mask & IN_IGNORED ? gone : touched).insert(event->wd);
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    // One reading of /proc per node, however many events a burst brought.
    const QStringList keys = m_watches.keys();
    for (const QString& key : keys) {
        const int wd = m_watches.value(key);
        if (gone.contains(wd)) {
            m_watches.remove(key);  // the node went; the kernel dropped the watch
            m_files.remove(key);
            if (!m_holders.take(key).isEmpty())
                emit holdersChanged(key, {});
        } else if (touched.contains(wd)) {
            refresh(key);
            // A program started with the node already open (a shell's redirection) opened it
            // under its starter's name: read once more after it has become itself.
            QTimer::singleShot(kRenameGraceMs, this, [this, key] {
                if (m_watches.contains(key))
                    refresh(key);
            });
        }
    }
}

void DeviceNodeWatcher::refresh(const QString& key)
{
    const QStringList now = DeviceHolders::ofPath(m_files.value(key));
    if (now == m_holders.value(key))
        return;
    if (now.isEmpty())
        m_holders.remove(key);
    else
        m_holders.insert(key, now);
    emit holdersChanged(key, now);
}

} // namespace capture
