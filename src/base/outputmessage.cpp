#include "base/outputmessage.h"

#include "base/appenvironment.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>

namespace {
QMutex& logMutex()
{
    static QMutex mutex;
    return mutex;
}

QString levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return QStringLiteral("Debug:");
    case QtCriticalMsg: return QStringLiteral("Critical:");
    case QtFatalMsg: return QStringLiteral("Fatal:");
    default: return QString();
    }
}
} // namespace

QString formatLogLine(QtMsgType type, const QMessageLogContext& context, const QString& message,
                      const QDateTime& now)
{
    if (type == QtWarningMsg)
        return QString();
    const QString site = QStringLiteral("File:(%1) Line:(%2) Function(%3)")
                             .arg(QString::fromUtf8(context.file ? context.file : ""))
                             .arg(context.line)
                             .arg(QString::fromUtf8(context.function ? context.function : ""));
    const QString time = QStringLiteral("(%1)").arg(now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss zzz")));
    // One multi-argument substitution, so a "%1" inside the message stays as it is.
    return QStringLiteral("%1 %2 %3    %4").arg(time, levelWord(type), message, site);
}

QString logFilePath(const QDate& day)
{
    return makeWritableDir(QStringLiteral("log/"))
        + QStringLiteral("/log_%1.txt").arg(day.toString(QStringLiteral("yyyyMMdd")));
}

void outputMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg)
        return;
    QMutexLocker lock(&logMutex());
    const QDateTime now = QDateTime::currentDateTime();
    const QString line = formatLogLine(type, context, message, now);

    // Opened and closed per message: a file deleted or a day changed meanwhile is
    // simply picked up by the next line. A file that cannot be opened loses the line.
    QFile file(logFilePath(now.date()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write((line + QStringLiteral("\r\n")).toUtf8());
    file.close();
}
