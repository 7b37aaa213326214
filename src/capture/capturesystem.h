#pragma once

#include "capture/capturedevice.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace capture {

class VirtualBackend;

// All capture backends of the process, in order: real cameras (V4L2) first, then the
// virtual ones. Enumeration and open may be called from any thread; deviceChanged is
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

    VirtualBackend* virtualBackend() const { return m_virtual; }

signals:
    void deviceChanged(bool arrived, const QString& devicePath);

private:
    CaptureSystem();
    void addBackend(CaptureBackend* backend);

    std::vector<CaptureBackend*> m_backends;  // children of this object
    VirtualBackend* m_virtual = nullptr;
};

} // namespace capture
