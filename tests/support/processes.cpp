#include "processes.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace processes {

QString buildDir() { return qEnvironmentVariable("LUMIVO_BUILD_DIR"); }
QString program() { return buildDir() + "/lumivo"; }
QString tmp() { return qEnvironmentVariable("LUMIVO_TEST_TMP", QDir::tempPath()); }
QString dataDir() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/lumivo"; }
QString iniPath() { return dataDir() + "/ini/application.ini"; }

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString logText()
{
    QString all;
    const QDir dir(dataDir() + "/log");
    for (const QString& name : dir.entryList({"log_*.txt"}, QDir::Files, QDir::Name))
        all += QString::fromUtf8(readFile(dir.filePath(name)));
    return all;
}

bool waitForLog(const QString& text, int timeoutMs) { return QTest::qWaitFor([&] { return logText().contains(text); }, timeoutMs); }

void stop(QProcess& p) { p.kill(), p.waitForFinished(5000); }

qint64 rssKb()
{
    const QByteArray status = readFile("/proc/self/status");
    return status.mid(status.indexOf("VmRSS:") + 6).trimmed().split(' ').value(0).toLongLong();
}

} // namespace processes
