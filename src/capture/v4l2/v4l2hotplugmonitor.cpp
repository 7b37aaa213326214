#include "capture/v4l2/v4l2hotplugmonitor.h"

#include "capture/v4l2/ueventmessage.h"

#include <QDebug>
#include <QSocketNotifier>

#include <libudev.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace capture {

namespace {
const char kSubsystem[] = "video4linux";
}

V4l2HotplugMonitor::V4l2HotplugMonitor(QObject* parent)
    : QObject(parent)
{
    if (udevDaemonRunning() && startUdev())
        m_source = Source::Udev;
    else if (startKernel())
        m_source = Source::Kernel;
    else
        qDebug() << "V4L2 hot-plug: no device events available";
}

V4l2HotplugMonitor::~V4l2HotplugMonitor()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
    if (m_netlinkFd >= 0)
        ::close(m_netlinkFd);
}

bool V4l2HotplugMonitor::udevDaemonRunning()
{
    return ::access("/run/udev/control", F_OK) == 0;
}

bool V4l2HotplugMonitor::startUdev()
{
    m_udev = udev_new();
    if (!m_udev)
        return false;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, kSubsystem, nullptr) < 0
        || udev_monitor_enable_receiving(m_monitor) < 0) {
        qDebug() << "V4L2 hot-plug: udev monitor failed";
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        udev_unref(m_udev);
        m_monitor = nullptr;
        m_udev = nullptr;
        return false;
    }
    const int fd = udev_monitor_get_fd(m_monitor);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &V4l2HotplugMonitor::readUdev);
    return true;
}

bool V4l2HotplugMonitor::startKernel()
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) {
        qDebug() << "V4L2 hot-plug: uevent socket failed:" << std::strerror(errno);
        return false;
    }
    sockaddr_nl addr;
    std::memset(&addr, 0, sizeof addr);
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = 1;  // the kernel's own broadcasts
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        qDebug() << "V4L2 hot-plug: uevent bind failed:" << std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_netlinkFd = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &V4l2HotplugMonitor::readKernel);
    return true;
}

void V4l2HotplugMonitor::readUdev()
{
    while (udev_device* dev = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(dev);
        const char* syspath = udev_device_get_syspath(dev);
        const char* devnode = udev_device_get_devnode(dev);
        if (action && syspath)
            emit deviceEvent(QString::fromUtf8(action), QString::fromUtf8(syspath), QString::fromUtf8(devnode ? devnode : ""));
        udev_device_unref(dev);
    }
}

void V4l2HotplugMonitor::readKernel()
{
    char buf[16384];
    for (;;) {
        sockaddr_nl from;
        socklen_t fromLen = sizeof from;
        std::memset(&from, 0, sizeof from);
        const ssize_t n = ::recvfrom(m_netlinkFd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                qDebug() << "V4L2 hot-plug: uevent receive failed:" << std::strerror(errno);
            return;
        }
        // Only the kernel (port 0) speaks on this group; anything else is not trusted.
        if (from.nl_pid != 0) {
            qDebug() << "V4L2 hot-plug: ignoring a uevent from port" << from.nl_pid;
            continue;
        }
        handleKernelMessage(QByteArray(buf, int(n)));
    }
}

void V4l2HotplugMonitor::handleKernelMessage(const QByteArray& datagram)
{
    const UeventMessage msg = UeventMessage::parse(datagram);
    if (!msg.isValid() || msg.subsystem() != QLatin1String(kSubsystem))
        return;
    QString devName = msg.devName();
    if (devName.contains(QLatin1String("..")))
        devName.clear();
    emit deviceEvent(msg.action(), msg.sysPath(), devName.isEmpty() ? QString() : QStringLiteral("/dev/") + devName);
}

} // namespace capture
