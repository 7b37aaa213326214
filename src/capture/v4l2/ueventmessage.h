#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace capture {

// One kernel uevent as it arrives on the NETLINK_KOBJECT_UEVENT socket:
// "ACTION@DEVPATH" followed by NUL-separated KEY=VALUE pairs. Messages that udev
// re-broadcasts ("libudev" header) and malformed ones are rejected.
class UeventMessage
{
public:
    static UeventMessage parse(const QByteArray& datagram);

    bool isValid() const { return m_valid; }
    QString action() const { return m_action; }
    QString devPath() const { return m_devPath; }       // "/devices/..."
    QString sysPath() const { return QStringLiteral("/sys") + m_devPath; }  // what udev calls the device's syspath
    QString subsystem() const { return value("SUBSYSTEM"); }
    QString devName() const { return value("DEVNAME"); }  // relative to /dev, may be empty
    QString value(const QString& key) const { return m_values.value(key); }

private:
    bool m_valid = false;
    QString m_action;
    QString m_devPath;
    QHash<QString, QString> m_values;
};

} // namespace capture
