#include "capture/v4l2/ueventmessage.h"

#include <QDebug>

namespace capture {

UeventMessage UeventMessage::parse(const QByteArray& datagram)
{
    UeventMessage msg;
    const QList<QByteArray> fields = datagram.split('\0');
    if (fields.isEmpty())
        return msg;
    const QByteArray& header = fields.first();
    const int at = header.indexOf('@');
    // "libudev" datagrams carry a binary header and no '@'; anything else without
    // "action@/path" is not a kernel uevent.
    if (at <= 0 || at + 1 >= header.size() || header.at(at + 1) != '/') {
        qDebug() << "uevent: ignoring a message without an action@devpath header, size" << datagram.size();
        return msg;
    }
    const QString headerAction = QString::fromUtf8(header.left(at));
    const QString headerPath = QString::fromUtf8(header.mid(at + 1));
    for (int i = 1; i < fields.size(); ++i) {
        const QByteArray& field = fields.at(i);
        if (field.isEmpty())
            continue;
        const int eq = field.indexOf('=');
        if (eq <= 0)
            continue;
        msg.m_values.insert(QString::fromUtf8(field.left(eq)), QString::fromUtf8(field.mid(eq + 1)));
    }
    msg.m_action = msg.m_values.value("ACTION", headerAction);
    msg.m_devPath = msg.m_values.value("DEVPATH", headerPath);
    // The header and the body must agree, and the path must stay inside /sys.
    if (msg.m_action != headerAction || msg.m_devPath != headerPath || msg.m_devPath.contains(QLatin1String("/../"))
        || msg.m_devPath.endsWith(QLatin1String("/.."))) {
        qDebug() << "uevent: inconsistent message" << headerAction << headerPath;
        return UeventMessage();
    }
    msg.m_valid = true;
    return msg;
}

} // namespace capture
