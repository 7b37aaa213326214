#include "app/iresumelistener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDebug>

namespace {
const char kService[] = "org.freedesktop.login1";
}

IResumeListener::IResumeListener(QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qDebug() << "resume: no system bus; camera settings are not written back after a suspend";
        return;
    }
    if (!bus.interface() || !bus.interface()->isServiceRegistered(QLatin1String(kService)).value()) {
        qDebug() << "resume: logind is not on the system bus; camera settings are not written back after a suspend";
        return;
    }
    bus.connect(QLatin1String(kService), QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
                QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
}

void IResumeListener::onPrepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit resumed();
}
