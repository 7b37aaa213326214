#include "capture/pipewire/pipewiredaemonwatch.h"

#include "capture/pipewire/pipewireconnection.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

namespace capture {

namespace {
constexpr int kSecondTryMs = 1000;
}

PipeWireDaemonWatch::PipeWireDaemonWatch(QObject* parent) : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PipeWireDaemonWatch::check);
    m_secondTryTimer.setSingleShot(true);
    m_secondTryTimer.setInterval(kSecondTryMs);
    connect(&m_secondTryTimer, &QTimer::timeout, this, &PipeWireDaemonWatch::retry);
}

void PipeWireDaemonWatch::connected()
{
    m_secondTry = false;
    m_secondTryTimer.stop();
    unwatch();
}

void PipeWireDaemonWatch::disconnected(bool served)
{
    if (served) {
        m_tried = PipeWireConnection::socketIdentity();
        m_secondTry = true;
        QMetaObject::invokeMethod(this, &PipeWireDaemonWatch::retry, Qt::QueuedConnection);
        return;
    }
    if (m_secondTry) {
        // A daemon binds its socket a moment before it listens on it.
        m_secondTry = false;
        m_secondTryTimer.start();
    }
    const QString socket = QString::fromLocal8Bit(PipeWireConnection::socketPath());
    const QString folder = socket.isEmpty() ? QString() : QFileInfo(socket).absolutePath();
    if (!folder.isEmpty() && QDir(folder).exists() && !m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
    check();  // made before the watch began
}

void PipeWireDaemonWatch::check()
{
    if (m_watcher.directories().isEmpty())
        return;
    const std::uint64_t socket = PipeWireConnection::socketIdentity();
    if (!socket || socket == m_tried)
        return;
    m_tried = socket;
    m_secondTry = true;
    unwatch();
    QMetaObject::invokeMethod(this, &PipeWireDaemonWatch::retry, Qt::QueuedConnection);
}

void PipeWireDaemonWatch::unwatch()
{
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
}

} // namespace capture
