#include "capture/virtual/virtualbackend.h"

#include "capture/virtual/virtualcamera.h"
#include "capture/virtual/virtualcamerastate.h"

#include <QDebug>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <chrono>
#include <thread>

namespace capture {

using namespace dshow;

namespace {
constexpr qint64 kMaxFileSize = 1024 * 1024;

bool readSpecFile(const QString& path, QList<VirtualCameraDescription>* cameras, QString* error)
{
    QFile file(path);
    if (!file.exists()) {
        *error = QStringLiteral("the file does not exist");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the file: %1").arg(file.errorString());
        return false;
    }
    if (file.size() > kMaxFileSize) {
        *error = QStringLiteral("the file is larger than %1 bytes").arg(kMaxFileSize);
        return false;
    }
    return VirtualCameraDescription::parse(file.readAll(), cameras, error);
}
} // namespace

VirtualBackend::VirtualBackend(QObject* parent) : CaptureBackend(parent)
{
    m_watcher = new QFileSystemWatcher(this);
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    // Editors write in steps (truncate, write; or write a copy and rename it): read once
    // the file has been quiet for a moment.
    m_reloadTimer->setInterval(150);
    connect(m_reloadTimer, &QTimer::timeout, this, &VirtualBackend::reload);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &VirtualBackend::scheduleReload);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &VirtualBackend::scheduleReload);
}

VirtualBackend::~VirtualBackend()
{
    QMutexLocker lock(&m_mutex);
    for (const auto& state : qAsConst(m_states))
        state->unplug();
}

std::vector<DeviceDescriptor> VirtualBackend::enumerate()
{
    QMutexLocker lock(&m_mutex);
    std::vector<DeviceDescriptor> devices;
    for (const VirtualCameraDescription& description : qAsConst(m_cameras))
        devices.push_back(description.descriptor());
    return devices;
}

HRESULT VirtualBackend::open(const QString& path, std::shared_ptr<CaptureDevice>& device)
{
    device.reset();
    std::shared_ptr<VirtualCameraState> state;
    {
        QMutexLocker lock(&m_mutex);
        state = m_states.value(path);
    }
    if (!state)
        return VFW_E_NOT_FOUND;
    // Slept outside the lock: listing the cameras never waits for an open.
    if (state->description().openLatencyMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(state->description().openLatencyMs));
    if (state->description().openError != 0) {
        qDebug() << "virtual camera:" << state->description().name << "fails to open with" << state->description().openError;
        return state->description().openError;
    }
    device = std::make_shared<VirtualCamera>(state);
    return S_OK;
}

QString VirtualBackend::busyFile(const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    const auto state = m_states.value(path);
    return state ? state->description().busyFile : QString();
}

void VirtualBackend::setBuiltinCamera(bool enabled)
{
    apply(enabled, m_fileCameras);
}

bool VirtualBackend::watchFile(const QString& path, QString* error)
{
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_reloadTimer->stop();
    m_path = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (m_path.isEmpty()) {
        apply(m_builtin, {});
        return true;
    }
    rewatch();
    QList<VirtualCameraDescription> cameras;
    QString why;
    if (!readSpecFile(m_path, &cameras, &why)) {
        qDebug() << "virtual camera: file" << m_path << "rejected:" << why;
        if (error)
            *error = why;
        apply(m_builtin, {});
        return false;
    }
    apply(m_builtin, cameras);
    return true;
}

void VirtualBackend::rewatch()
{
    // The directory is watched too, because an editor that saves by renaming a new
    // file over the old one ends the watch on the old file.
    const QFileInfo info(m_path);
    if (info.absoluteDir().exists() && !m_watcher->directories().contains(info.absolutePath()))
        m_watcher->addPath(info.absolutePath());
    if (info.exists() && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
}

void VirtualBackend::scheduleReload()
{
    if (!m_path.isEmpty())
        m_reloadTimer->start();
}

void VirtualBackend::reload()
{
    if (m_path.isEmpty())
        return;
    rewatch();
    if (!QFileInfo::exists(m_path)) {
        if (!m_fileCameras.isEmpty())
            qDebug() << "virtual camera: file" << m_path << "is gone; its cameras are removed";
        apply(m_builtin, {});
        return;
    }
    QList<VirtualCameraDescription> cameras;
    QString why;
    if (!readSpecFile(m_path, &cameras, &why)) {
        // A half-saved or mistyped file keeps the cameras as they were.
        qDebug() << "virtual camera: file" << m_path << "rejected:" << why;
        return;
    }
    apply(m_builtin, cameras);
}

void VirtualBackend::apply(bool builtin, const QList<VirtualCameraDescription>& fileCameras)
{
    QList<VirtualCameraDescription> cameras;
    if (builtin)
        cameras.append(VirtualCameraDescription::builtin());
    for (const VirtualCameraDescription& description : fileCameras) {
        // One path, one device: a file camera cannot stand in for the built-in one.
        if (builtin && description.path == cameras.front().path) {
            qDebug() << "virtual camera:" << description.name << "skipped: the built-in camera has the path" << description.path;
            continue;
        }
        cameras.append(description);
    }

    QStringList removed, arrived;
    QList<QPair<std::shared_ptr<VirtualCameraState>, VirtualCameraDescription>> followed;
    {
        QMutexLocker lock(&m_mutex);
        QHash<QString, std::shared_ptr<VirtualCameraState>> states;
        for (const VirtualCameraDescription& description : qAsConst(cameras)) {
            auto old = m_states.value(description.path);
            if (!old)
                arrived << description.path;
            // A camera whose description changed keeps running streams on its old state;
            // the next open sees the new description. One whose controls alone changed
            // stays, and follows them as a camera changed by another program.
            if (old && old->description().sameCamera(description))
                followed << qMakePair(old, description);
            states.insert(description.path, old && old->description().sameCamera(description) ? old : std::make_shared<VirtualCameraState>(description));
        }
        for (const VirtualCameraDescription& description : qAsConst(m_cameras)) {
            if (!states.contains(description.path)) {
                removed << description.path;
                if (const auto gone = m_states.value(description.path))
                    gone->unplug();
            }
        }
        m_cameras = cameras;
        m_states = states;
        m_builtin = builtin;
        m_fileCameras = fileCameras;
    }
    for (const auto& f : qAsConst(followed))
        f.first->followFile(f.second);
    for (const QString& path : qAsConst(removed)) {
        qDebug() << "virtual camera: removed" << path;
        emit deviceChanged(false, path);
    }
    for (const QString& path : qAsConst(arrived)) {
        qDebug() << "virtual camera: arrived" << path;
        emit deviceChanged(true, path);
    }
}

} // namespace capture
