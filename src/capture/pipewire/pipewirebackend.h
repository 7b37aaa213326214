#pragma once

#include "capture/capturedevice.h"
#include "capture/pipewire/pipewireconnection.h"
#include "capture/pipewire/pipewiredaemonwatch.h"

#include <QSet>

#include <functional>
#include <mutex>

namespace capture {

// Cameras offered by a PipeWire daemon. Nodes that stream from a V4L2 device another
// backend lists are not devices of their own: that device opens through open(node, ...)
// instead, sharing the camera with PipeWire's other clients. Nor are libcamera's nodes
// for such a USB camera (the V4L2 road has all its controls and events), or nodes of
// V4L2 devices that only stream as one stage of a media pipeline. Without a daemon it
// lists nothing and costs nothing.
class PipeWireBackend : public CaptureBackend
{
    Q_OBJECT
public:
    // `v4l2Devices()`: the V4L2 devices another backend lists.
    explicit PipeWireBackend(std::function<std::vector<DeviceDescriptor>()> v4l2Devices, QObject* parent = nullptr);
    ~PipeWireBackend() override;

    bool connected() const;

    std::vector<DeviceDescriptor> enumerate() override;
    HRESULT open(const QString& path, std::shared_ptr<CaptureDevice>& device) override;

    // The node streaming from the V4L2 device at `sysPath`; false when there is none.
    bool nodeForV4l2(const QString& sysPath, PipeWireNode& node);
    // Opens `node` with the descriptor and controls of the V4L2 device behind it.
    HRESULT open(const PipeWireNode& node, const std::shared_ptr<CaptureDevice>& v4l2, std::shared_ptr<CaptureDevice>& device);

    // The V4L2 device's sys path for a node's device node ("/dev/video0"); "" when none.
    static QString sysPathOf(const QString& devNode);
    static QString pathOf(const PipeWireNode& node);
    // Whether libcamera's camera id names the USB camera `v4l2` (its port chain and
    // vendor:product, as in "\_SB_.PCI0.XHC_.RHUB.HS02-2.4:1.0-046d:0825").
    static bool sameUsbCamera(const QString& cameraId, const DeviceDescriptor& v4l2);

private:
    void connectToDaemon(bool quiet);
    void onState(int generation, bool up, bool served);
    std::shared_ptr<PipeWireConnection> connection() const;
    void onNode(const PipeWireNode& node, bool arrived);
    bool ownDevice(const PipeWireNode& node) const;
    DeviceDescriptor descriptorOf(const PipeWireNode& node) const;

    std::function<std::vector<DeviceDescriptor>()> m_v4l2Devices;
    mutable std::mutex m_mutex;  // the pointer only: enumerate and open may run on other threads
    std::shared_ptr<PipeWireConnection> m_connection;
    QSet<QString> m_announced;   // paths of our own devices said to have arrived (this thread)
    PipeWireDaemonWatch m_watch;  // a daemon that starts or comes back later
    int m_generation = 0;         // of the connection made last (this thread)
};

} // namespace capture
