#pragma once

#include <QString>
#include <QWidget>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Watches for devices being plugged in and pulled out, for the whole run of the
// program. Never shown. Capture devices (real and virtual) are reported with the same
// path the scan gives them; storage (block) devices with their device node.
class IWinUsbDevice : public QWidget
{
    Q_OBJECT
public:
    explicit IWinUsbDevice(QWidget* parent = nullptr);
    ~IWinUsbDevice() override;

    // Whether block devices are being watched (a udev or kernel uevent monitor is open).
    bool watchesStorage() const { return m_monitor != nullptr; }

signals:
    void connectionChanged(bool bConnected, QString strName);
    void connectionChangedUSB(bool bConnected, QString strName);  // published interface; nothing in the program connects to it

private:
    void readStorageEvent();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};
