#pragma once

#include "capture/capturedevice.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace capture {

class PipeWireBackend;
class VirtualBackend;

// All capture backends of the process, in order: real cameras (V4L2, then the cameras
// only PipeWire offers), then the virtual ones. A V4L2 camera that a PipeWire daemon
// also offers is one device: listed by V4L2, streamed through PipeWire when the
// setting allows (so that other programs can share it). Enumeration and open may be called from any thread; deviceChanged is
// emitted on the GUI thread for every backend's arrivals and removals.
class CaptureSystem : public QObject
{
    Q_OBJECT
public:
    static CaptureSystem* instance();

    std::vector<DeviceDescriptor> enumerate();
    // Opens a device by its path; a backend's failure code is returned as it is.
    HRESULT open(const QString& path, std::shared_ptr<CaptureDevice>& device);

    // Applies "--virtual-cameras FILE" (also "--virtual-cameras=FILE") and
    // "--virtual-camera"; other arguments are ignored. False with a message when the
    // file is missing or bad (its later fixes are still picked up).
    bool configureFromArguments(const QStringList& arguments, QString* error);

    // The file another program opens to use the device: a V4L2 camera's node, a virtual
    // camera's "busy" file; empty when there is none (PipeWire's own cameras).
    QString nodeFile(const QString& devicePath) const;

    VirtualBackend* virtualBackend() const { return m_virtual; }
    PipeWireBackend* pipeWireBackend() const { return m_pipewire; }

    // "Use PipeWire when available" changed: the cameras only PipeWire offers come or go.
    void pipeWireSettingChanged();

signals:
    void deviceChanged(bool arrived, const QString& devicePath);

private:
    CaptureSystem();
    void addBackend(CaptureBackend* backend);
    bool listedByV4l2(const QString& sysPath);
    HRESULT openShared(const QString& path, std::shared_ptr<CaptureDevice>& device);

    std::vector<CaptureBackend*> m_backends;  // children of this object
    CaptureBackend* m_v4l2 = nullptr;
    PipeWireBackend* m_pipewire = nullptr;
    VirtualBackend* m_virtual = nullptr;
};

} // namespace capture
