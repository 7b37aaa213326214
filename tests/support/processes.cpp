#include "processes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace processes {

QString buildDir() { return qEnvironmentVariable("LUMIVO_BUILD_DIR"); }
QString program() { return buildDir() + "/lumivo"; }
QString probe(const QString& name) { return buildDir() + "/tests/" + name; }
QString tmp() { return qEnvironmentVariable("LUMIVO_TEST_TMP", QDir::tempPath()); }
QString dataDir() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/lumivo"; }
QString iniPath() { return dataDir() + "/ini/application.ini"; }

QString logText(const QString& dataDir)
{
    QString all;
    const QDir dir(dataDir + "/log");
    for (const QString& name : dir.entryList({"log_*.txt"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all += QString::fromUtf8(f.readAll());
    }
    return all;
}

bool waitForLog(const QString& text, int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return logText().count(text) >= count; }, timeoutMs);
}

bool waitForLine(QProcess& p, const QByteArray& line, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray seen;
    while (timer.elapsed() < timeoutMs) {
        p.waitForReadyRead(100);
        seen += p.readAllStandardOutput();
        if (seen.contains(line))
            return true;
    }
    return false;
}

void stop(QProcess& p)
{
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
    }
}

qint64 statusKb(const QByteArray& key, qint64 pid)
{
    QFile f(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace processes
