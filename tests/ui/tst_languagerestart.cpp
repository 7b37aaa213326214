// A language change restarts the real program, which must come up in the new language
// every time, also while the old copy still holds the single-instance lock.
#include "app/isettingframe.h"
#include "base/isingleapplication.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/types.h>

namespace {
QString buildDir() { return qEnvironmentVariable("LUMIVO_BUILD_DIR"); }
QString program() { return buildDir() + "/lumivo"; }
QString dataDir() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/lumivo"; }
QString iniPath() { return dataDir() + "/ini/application.ini"; }
QString tmp() { return qEnvironmentVariable("LUMIVO_TEST_TMP", QDir::tempPath()); }

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString logText()
{
    QString all;
    const QDir dir(dataDir() + "/log");
    for (const QString& name : dir.entryList({"log_*.txt"}, QDir::Files, QDir::Name))
        all += readAll(dir.filePath(name));
    return all;
}

bool processAlive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }

// The value after "key=" in a tour line.
QString field(const QString& line, const QString& key)
{
    for (const QString& part : line.split(' '))
        if (part.startsWith(key + "="))
            return part.mid(key.size() + 1);
    return QString();
}

void setLanguage(const QString& id)
{
    QDir().mkpath(dataDir() + "/ini");
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setValue("lang/langid", id);
}
} // namespace

class TestLanguageRestart : public QObject
{
    Q_OBJECT

    qint64 restartedPid = 0;

private slots:
    void init() { QDir(dataDir()).removeRecursively(); }

    void cleanup()
    {
        // A restarted copy is detached from this test: never leave one behind.
        if (processAlive(restartedPid))
            ::kill(pid_t(restartedPid), SIGKILL);
        restartedPid = 0;
    }

    void changeRestartsInTheNewLanguageWithTheSameArguments()
    {
        setLanguage("2052");
        const QString tourDir = tmp() + "/tour";
        QDir(tourDir).removeRecursively();
        const QStringList arguments{"--virtual-camera", "--screenshot-tour", tourDir, "--tour-language", "1033"};

        QProcess first;
        first.setWorkingDirectory(tmp());
        first.start(program(), arguments);
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);

        // The restarted copy runs the same tour; the language is already current, so it
        // ends normally after its screenshots.
        QTRY_VERIFY_WITH_TIMEOUT(readAll(tourDir + "/tour.txt").count("done 0") == 1, 60000);
        const QStringList starts = readAll(tourDir + "/tour.txt").split('\n').filter(QRegularExpression("^start "));
        QCOMPARE(starts.size(), 2);
        restartedPid = field(starts[1], "pid").toLongLong();
        QCOMPARE(field(starts[0], "lang"), QString("2052"));
        QCOMPARE(field(starts[1], "lang"), QString("1033"));
        QVERIFY(field(starts[0], "pid") != field(starts[1], "pid"));
        QCOMPARE(field(starts[0], "heading"), QString::fromUtf8("设备"));
        QCOMPARE(field(starts[1], "heading"), QString("Devices"));

        QTRY_VERIFY_WITH_TIMEOUT(!processAlive(restartedPid), 20000);

        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("lang/langid").toString(), QString("1033"));
        QVERIFY(logText().contains("load language: 1033 " + buildDir() + "/lang/1033.qm true"));
        QVERIFY(!logText().contains("raise_window_noop"));

        // Both copies left their screenshots (the second overwrote the first's).
        for (const char* name : {"devices.png", "camera.png", "filter.png", "settings.png"}) {
            QImage shot(tourDir + "/" + name);
            QVERIFY2(!shot.isNull(), name);
            QVERIFY(shot.width() > 100 && shot.height() > 100);
        }
    }

    void restartedCopyWaitsForTheOldCopysLock()
    {
        // This test holds the program's lock, as a slow old copy would.
        auto holder = std::make_unique<QLockFile>(ISingleApplication::lockPath("Lumivo"));
        QVERIFY(holder->tryLock(0));

        QProcess restarted;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(ISettingFrame::kRestartMarker, "1");
        restarted.setProcessEnvironment(env);
        restarted.start(program(), QStringList());
        QVERIFY(restarted.waitForStarted());
        QTest::qWait(1000);
        QCOMPARE(restarted.state(), QProcess::Running); // waiting, not given up

        holder.reset(); // released
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("auto adjsize:"), 15000);
        QCOMPARE(restarted.state(), QProcess::Running);
        restarted.kill();
        restarted.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(TestLanguageRestart)
#include "tst_languagerestart.moc"
