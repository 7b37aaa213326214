#include "base/isingleapplication.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

namespace {
QString buildDir() { return qEnvironmentVariable("LUMIVO_BUILD_DIR"); }
QString program() { return buildDir() + "/lumivo"; }
QString probe() { return buildDir() + "/tests/singleinstance_probe"; }

// The program's data location: it derives from the executable's name.
QString dataDir() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/lumivo"; }
QString iniPath() { return dataDir() + "/ini/application.ini"; }

QString logText()
{
    QString all;
    const QDir dir(dataDir() + "/log");
    for (const QString& name : dir.entryList({"log_*.txt"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all += QString::fromUtf8(f.readAll());
    }
    return all;
}

bool waitForLog(const QString& text, int count = 1, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (logText().count(text) >= count)
            return true;
        QTest::qWait(50);
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

bool waitForLine(QProcess& p, const QByteArray& line, int timeoutMs = 10000)
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
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QDir(dataDir()).removeRecursively();
    }

    void firstRunWritesOnlyTheLanguage()
    {
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        stop(first);
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.allKeys(), QStringList{"lang/langid"});
        QCOMPARE(ini.value("lang/langid").toString(), QStringLiteral("2052"));
    }

    void prefixedLanguageIdIsRewritten()
    {
        {
            QDir().mkpath(dataDir() + "/ini");
            QSettings ini(iniPath(), QSettings::IniFormat);
            ini.setValue("lang/langid", "LG_1033");
        }
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        stop(first);
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("lang/langid").toString(), QStringLiteral("1033"));
        QVERIFY2(logText().contains("load language: 1033 " + buildDir() + "/lang/1033.qm true"), qPrintable(logText()));
    }

    void nonNumericLanguageLooksForZero()
    {
        {
            QDir().mkpath(dataDir() + "/ini");
            QSettings ini(iniPath(), QSettings::IniFormat);
            ini.setValue("lang/langid", "abc");
        }
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        stop(first);
        QVERIFY(logText().contains("load language: abc " + buildDir() + "/lang/0.qm false"));
    }

    void corruptIniStartsWithDefaults()
    {
        QDir().mkpath(dataDir() + "/ini");
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x00\xff[[[lang\n=\n\x01garbage", 20));
        f.close();
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        QVERIFY(first.state() == QProcess::Running);
        stop(first);
    }

    void secondCopyExitsWithOneAndLogsNothing()
    {
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        // The first copy goes on logging its start-up for a moment; compare against the
        // log once it has been quiet.
        QString before = logText();
        for (int quiet = 0, rounds = 0; quiet < 20 && rounds < 300; ++rounds) {
            QTest::qWait(50);
            const QString now = logText();
            quiet = now == before ? quiet + 1 : 0;
            before = now;
        }

        QProcess second;
        second.start(program(), QStringList());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
        QTest::qWait(200);
        QCOMPARE(logText(), before);
        QVERIFY(first.state() == QProcess::Running);
        stop(first);
    }

    void staleLockDoesNotBlock()
    {
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        ::kill(pid_t(first.processId()), SIGKILL);
        first.waitForFinished(5000);
        QVERIFY(QFile::exists(ISingleApplication::lockPath("Lumivo")));

        QProcess again;
        again.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:", 2));
        QVERIFY(again.state() == QProcess::Running);
        stop(again);
    }

    void messagesReachTheFirstCopy()
    {
        QProcess first;
        first.setProcessChannelMode(QProcess::SeparateChannels);
        first.start(probe(), QStringList());
        QVERIFY(waitForLine(first, "ready"));

        QProcess second;
        second.start(probe(), QStringList{"raise_window_noop"});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardOutput().contains("sent 1"));
        QVERIFY(waitForLine(first, "message:raise_window_noop"));

        QProcess third;
        third.start(probe(), QStringList{QString::fromUtf8("Raise_Window_Noop 中")});
        QVERIFY(third.waitForFinished(10000));
        QVERIFY(waitForLine(first, QString::fromUtf8("message:Raise_Window_Noop 中").toUtf8()));

        QProcess quit;
        quit.start(probe(), QStringList{"quit"});
        QVERIFY(quit.waitForFinished(10000));
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitCode(), 0);
    }

    void lockLivesInAPrivateDirectory()
    {
        const QString dir = ISingleApplication::runtimeDirectory();
        QVERIFY(!dir.isEmpty());
        QFileInfo info(dir);
        QVERIFY(info.isDir());
        QCOMPARE(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                       | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
        QVERIFY(ISingleApplication::lockPath("Lumivo").startsWith(dir + "/"));
        QVERIFY(ISingleApplication::socketPath("Lumivo").startsWith(dir + "/"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
