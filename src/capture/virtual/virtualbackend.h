#pragma once

#include "capture/capturedevice.h"
#include "capture/virtual/virtualcameradescription.h"

#include <QHash>
#include <QList>
#include <QMutex>

#include <memory>

class QFileSystemWatcher;
class QTimer;

namespace capture {

class VirtualCameraState;

// Software cameras: the built-in camera of the designated model and the cameras of a
// JSON file. The file is watched; a camera that appears in it arrives and one that
// disappears is removed, each reported by deviceChanged like a hot-plug.
class VirtualBackend : public CaptureBackend
{
    Q_OBJECT
public:
    explicit VirtualBackend(QObject* parent = nullptr);
    ~VirtualBackend() override;

    std::vector<DeviceDescriptor> enumerate() override;
    HRESULT open(const QString& path, std::shared_ptr<CaptureDevice>& device) override;

    // The file that makes the camera at `path` busy while another program has it open.
    QString busyFile(const QString& path) const;

    void setBuiltinCamera(bool enabled);
    // Loads the file and follows its changes from now on (also when this first load
    // fails, so that a fixed file is picked up). An empty path stops watching and
    // removes the file's cameras.
    bool watchFile(const QString& path, QString* error);
    QString watchedFile() const { return m_path; }

private:
    void scheduleReload();
    void reload();
    void rewatch();
    // Replaces the cameras, emitting removals and then arrivals.
    void apply(bool builtin, const QList<VirtualCameraDescription>& fileCameras);

    mutable QMutex m_mutex;
    QList<VirtualCameraDescription> m_cameras;  // built-in first, then the file's in file order
    QHash<QString, std::shared_ptr<VirtualCameraState>> m_states;
    bool m_builtin = false;
    QList<VirtualCameraDescription> m_fileCameras;
    QString m_path;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_reloadTimer = nullptr;
};

} // namespace capture
