#include "capture/iwinusbdevice.h"

#include "capture/capturesystem.h"

#include <QDebug>
#include <QSocketNotifier>

#include <libudev.h>
#include <unistd.h>

IWinUsbDevice::IWinUsbDevice(QWidget* parent) : QWidget(parent)
{
    connect(capture::CaptureSystem::instance(), &capture::CaptureSystem::deviceChanged, this,
            [this](bool arrived, const QString& path) { emit connectionChanged(arrived, path); });

    m_udev = udev_new();
    if (!m_udev) {
        qDebug() << "hot-plug: udev_new failed; storage devices are not watched";
        return;
    }
    // Without a udev daemon (containers, a bare VM) only the kernel's own events come.
    const bool daemon = access("/run/udev/control", F_OK) == 0;
    m_monitor = udev_monitor_new_from_netlink(m_udev, daemon ? "udev" : "kernel");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", nullptr) < 0
        || udev_monitor_enable_receiving(m_monitor) < 0) {
        qDebug() << "hot-plug: cannot monitor block devices";
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return;
    }
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &IWinUsbDevice::readStorageEvent);
}

IWinUsbDevice::~IWinUsbDevice()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

void IWinUsbDevice::readStorageEvent()
{
    udev_device* device = udev_monitor_receive_device(m_monitor);
    if (!device)
        return;
    const char* action = udev_device_get_action(device);
    const char* subsystem = udev_device_get_subsystem(device);
    const char* node = udev_device_get_devnode(device);
    if (action && node && subsystem && qstrcmp(subsystem, "block") == 0) {
        if (qstrcmp(action, "add") == 0)
            emit connectionChangedUSB(true, QString::fromLocal8Bit(node));
        else if (qstrcmp(action, "remove") == 0)
            emit connectionChangedUSB(false, QString::fromLocal8Bit(node));
    }
    udev_device_unref(device);
}
