#pragma once

#include "capture/capturedevice.h"

#include <QMutex>
#include <QSet>

namespace capture {

class V4l2HotplugMonitor;

// Real cameras: video capture nodes found through udev, opened as V4l2Device.
class V4l2Backend : public CaptureBackend
{
    Q_OBJECT
public:
    explicit V4l2Backend(QObject* parent = nullptr);
    ~V4l2Backend() override;

    std::vector<DeviceDescriptor> enumerate() override;
    HRESULT open(const QString& path, std::shared_ptr<CaptureDevice>& device) override;

    // Where hot-plug events come from (for diagnostics and tests).
    V4l2HotplugMonitor* monitor() const { return m_monitor; }

private:
    void onDeviceEvent(const QString& action, const QString& sysPath, const QString& devNode);

    V4l2HotplugMonitor* m_monitor = nullptr;
    // Syspaths known to be capture nodes: on removal the node is gone and can no
    // longer be asked, so this is how a removal is told apart from a metadata node's.
    // Scans may run on a camera's worker thread while events arrive on this one.
    QSet<QString> m_captureNodes;
    QMutex m_captureNodesMutex;
};

} // namespace capture
