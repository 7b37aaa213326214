// The real program as a process: start-up on stored
// and faulty data, one copy at a time, stale locks and the language restart;
// and in this process, the settings and the log on a faulty disk.
#include "processes.h"
#include "storagefault.h"

#include "app/isettingframe.h"
#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "base/iconfigureservice.h"
#include "base/isingleapplication.h"
#include "base/outputmessage.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <memory>
#include <utime.h>

using namespace processes;
using C = IConfigureService;
Q_DECLARE_METATYPE(StorageFault::Kind)

namespace {
QString langId() { return QSettings(iniPath(), QSettings::IniFormat).value("lang/langid").toString(); }
// The value after "key=" in a screenshot tour line.
QString field(const QString& line, const QString& key)
{
    return line.split(' ').filter(QRegularExpression("^" + key + "=")).value(0).mid(key.size() + 1);
}
bool alive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }
const QByteArray kStored = "[lang]\nlangid=1033\n\n[format]\nphoto=png\n\n[cameraresolution]\nwidth=1280\nheight=720\n";
} // namespace

class TestProcesses : public QObject
{
    Q_OBJECT
    qint64 m_detached = 0;

private slots:
    void init() { QDir(dataDir()).removeRecursively(); }
    // A restarted copy is detached from this test: never leave one behind.
    void cleanup()
    {
        if (alive(m_detached))
            ::kill(pid_t(m_detached), SIGKILL);
    }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("language");
        QTest::newRow("first run") << QByteArray() << "2052";
        QTest::newRow("prefixed id") << QByteArray("[lang]\nlangid=LG_1033\n") << "1033";
    }

    // The language is stored and its translation loaded from beside the program.
    void startUp()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, language);
        QVERIFY(ini.isEmpty() || writeFile(iniPath(), ini));
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        stop(first);
        QCOMPARE(langId(), language);
        QVERIFY(logText().contains(QStringLiteral("load language: %1 %2/lang/%1.qm true").arg(language, buildDir())));
    }

    // A second copy exits with 1 and writes nothing into the first copy's log; a live
    // copy's lock stays valid however old it is, and a lock left by a killed copy does
    // not block.
    void secondCopy_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("lock an hour old") << false;
        QTest::newRow("holder killed") << true;
    }

    void secondCopy()
    {
        QFETCH(bool, killed);
        QProcess first, second;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        QString before; // once the first copy has been quiet for a second
        for (int quiet = 0, rounds = 0; quiet < 20 && rounds < 300; ++rounds, QTest::qWait(50))
            quiet = std::exchange(before, logText()) == before ? quiet + 1 : 0;
        const time_t old = ::time(nullptr) - 3600;
        const utimbuf times {old, old};
        QCOMPARE(::utime(QFile::encodeName(ISingleApplication::lockPath("Lumivo")).constData(), &times), 0);
        if (killed) {
            ::kill(pid_t(first.processId()), SIGKILL);
            QVERIFY(first.waitForFinished(5000));
        }
        second.start(program(), QStringList());
        if (killed) {
            QTRY_COMPARE_WITH_TIMEOUT(logText().count("auto adjsize:"), 2, 15000);
            QCOMPARE(second.state(), QProcess::Running);
        } else {
            QVERIFY(second.waitForFinished(10000) && second.exitCode() == 1);
            QTest::qWait(200);
            QCOMPARE(logText(), before);
            QCOMPARE(first.state(), QProcess::Running);
        }
        stop(first);
        stop(second);
    }

    // Copies started at the same instant: exactly one runs.
    void copiesStartedTogether()
    {
        for (int round = 0; round < 3; ++round) {
            QProcess copies[4];
            for (QProcess& p : copies)
                p.start(program(), QStringList());
            auto refused = [&] {
                return std::count_if(copies, copies + 4, [](const QProcess& p) {
                    return p.state() == QProcess::NotRunning && p.exitCode() == 1;
                });
            };
            QTRY_COMPARE_WITH_TIMEOUT(refused(), 3L, 10000);
            QTest::qWait(300);
            QCOMPARE(refused(), 3L);
            for (QProcess& p : copies)
                stop(p);
        }
    }

    // The program on a data place that breaks under it: it runs, still answers as the
    // running copy, and loses nothing stored before.
    void faultyDisk_data()
    {
        QTest::addColumn<StorageFault::Kind>("kind");
        QTest::newRow("read-only") << StorageFault::Kind::ReadOnly;
        QTest::newRow("full") << StorageFault::Kind::Full;
    }

    void faultyDisk()
    {
        QFETCH(StorageFault::Kind, kind);
        QVERIFY(writeFile(iniPath(), kStored));
        StorageFault fault(dataDir(), kind);
        if (!fault.isValid())
            QSKIP("this fault cannot be made here");
        QProcess first, second;
        first.start(program(), QStringList{"--virtual-camera"});
        QTest::qWait(2500);
        QCOMPARE(first.state(), QProcess::Running);
        second.start(program(), QStringList());
        QVERIFY(second.waitForFinished(10000) && second.exitCode() == 1);
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        fault.lift();
        QCOMPARE(readFile(iniPath()), kStored);
    }

    // The settings stay in memory and the failure is logged once; nothing stored before
    // is lost or left half-written; once the disk recovers the settings and log carry on.
    void settingsOnAFaultyDisk_data() { faultyDisk_data(); }
    void settingsOnAFaultyDisk()
    {
        QFETCH(StorageFault::Kind, kind);
        const QString ini = C::iniFilePath(), dir = QFileInfo(ini).absolutePath(), data = QFileInfo(dir).absolutePath();
        const auto todaysLog = [] { return QString::fromUtf8(readFile(logFilePath(QDate::currentDate()))); };
        QDir(data).removeRecursively();
        QVERIFY(writeFile(ini, kStored));
        const QtMessageHandler previous = qInstallMessageHandler(outputMessage);
        qDebug() << "before the fault";
        const QString logBefore = todaysLog();
        StorageFault fault(kind == StorageFault::Kind::Full ? data : dir, kind);
        if (!fault.isValid())
            QSKIP("this fault cannot be made here");
        loadLanguage(nullptr);
        C::instance()->readConfigure();
        QCOMPARE(C::s_strLangId + C::s_strPhotoFormat, QStringLiteral("1033png"));
        QCOMPARE(currentCameraResolution().size, QSize(1280, 720));
        for (int i = 0; i < 200; ++i)
            qDebug() << "line" << i << "on a faulty disk" << QByteArray(100, 'y');
        C::instance()->setLanguage("2052");
        setCurrentCameraResolution(CameraResolution(640, 480));
        C::instance()->writeConfigure();
        C::instance()->setValue("format/photo", "bmp");
        C::instance()->writeConfigure();
        QCOMPARE(currentCameraResolution().size, QSize(640, 480));
        QCOMPARE(readFile(ini), kStored);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"application.ini"});
        QVERIFY(todaysLog().startsWith(logBefore));
        // Said once per run, which the read-only row starts; a full disk takes the line.
        QCOMPARE(todaysLog().count("configure file not writable"), int(kind == StorageFault::Kind::ReadOnly));

        fault.lift();
        qDebug() << "after the disk recovered";
        qInstallMessageHandler(previous);
        QVERIFY(todaysLog().contains("after the disk recovered"));
        C::instance()->writeConfigure();
        QSettings after(ini, QSettings::IniFormat);
        QCOMPARE(after.value("lang/langid").toString() + after.value("format/photo").toString(), QStringLiteral("2052png"));
        QCOMPARE(after.value("cameraresolution/width").toInt(), 640);
    }

    // A language change restarts the program with the same arguments, in the new language.
    void languageRestart()
    {
        QVERIFY(writeFile(iniPath(), "[lang]\nlangid=2052\n"));
        const QString tour = tmp() + "/tour";
        QProcess first;
        first.setWorkingDirectory(tmp());
        first.start(program(), {"--virtual-camera", "--screenshot-tour", tour, "--tour-language", "1033"});
        QVERIFY(first.waitForFinished(60000) && first.exitCode() == 0);
        // The restarted copy runs the same tour; its language is current, so it ends.
        QTRY_VERIFY_WITH_TIMEOUT(readFile(tour + "/tour.txt").count("done 0") == 1, 60000);
        const QStringList starts =
            QString::fromUtf8(readFile(tour + "/tour.txt")).split('\n').filter(QRegularExpression("^start "));
        QCOMPARE(starts.size(), 2);
        m_detached = field(starts[1], "pid").toLongLong();
        QCOMPARE(field(starts[0], "heading") + field(starts[1], "heading"), QString::fromUtf8("设备Devices"));
        QTRY_VERIFY_WITH_TIMEOUT(!alive(m_detached), 20000);
        QCOMPARE(langId(), QString("1033"));
    }

    // The restarted copy waits for the old copy's lock instead of giving up.
    void restartedCopyWaitsForTheLock()
    {
        auto holder = std::make_unique<QLockFile>(ISingleApplication::lockPath("Lumivo"));
        QVERIFY(holder->tryLock(0));
        QProcess restarted;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(ISettingFrame::kRestartMarker, "1");
        restarted.setProcessEnvironment(env);
        restarted.start(program(), QStringList());
        QTest::qWait(1000);
        QCOMPARE(restarted.state(), QProcess::Running);
        holder.reset();
        QVERIFY(waitForLog("auto adjsize:"));
        QCOMPARE(restarted.state(), QProcess::Running);
        stop(restarted);
    }
};

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
