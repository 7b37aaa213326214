#pragma once

#include <QObject>
#include <QString>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace capture {

class UeventMessage;

// Watches video4linux devices coming and going. Uses a udev monitor when a udev
// daemon runs; otherwise (containers, minimal systems) the kernel's own uevents on
// a NETLINK_KOBJECT_UEVENT socket, which carry the same device paths.
class V4l2HotplugMonitor : public QObject
{
    Q_OBJECT
public:
    enum class Source { None, Udev, Kernel };

    explicit V4l2HotplugMonitor(QObject* parent = nullptr);
    ~V4l2HotplugMonitor() override;

    Source source() const { return m_source; }
    // True when a udev daemon is running (it owns /run/udev/control).
    static bool udevDaemonRunning();

    // Handles one kernel uevent datagram; public so the filtering can be exercised
    // without a netlink socket.
    void handleKernelMessage(const QByteArray& datagram);

signals:
    // action is "add" or "remove" (others pass through as the kernel names them);
    // sysPath is the node's syspath, devNode its /dev path (may be empty on remove).
    void deviceEvent(const QString& action, const QString& sysPath, const QString& devNode);

private:
    bool startUdev();
    bool startKernel();
    void readUdev();
    void readKernel();

    Source m_source = Source::None;
    struct udev* m_udev = nullptr;
    struct udev_monitor* m_monitor = nullptr;
    int m_netlinkFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace capture
