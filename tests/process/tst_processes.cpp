// The real program and the single-instance probe as processes: start-up on stored,
// damaged and faulty data, one copy at a time, stale locks and the language restart.
#include "processes.h"
#include "storagefault.h"

#include "customui/isettingframe.h"
#include "isingleapplication.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <memory>
#include <utime.h>

using namespace processes;

namespace {
QString singleProbe() { return probe("singleinstance_probe"); }

bool writeIni(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The value after "key=" in a screenshot tour line.
QString field(const QString& line, const QString& key)
{
    for (const QString& part : line.split(' '))
        if (part.startsWith(key + "="))
            return part.mid(key.size() + 1);
    return QString();
}

bool alive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }
} // namespace

class TestProcesses : public QObject
{
    Q_OBJECT
    qint64 m_detached = 0;

private slots:
    void init() { QDir(dataDir()).removeRecursively(); }

    void cleanup()
    {
        // A restarted copy is detached from this test: never leave one behind.
        if (alive(m_detached))
            ::kill(pid_t(m_detached), SIGKILL);
        m_detached = 0;
    }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("setAside");
        QTest::newRow("first run") << QByteArray() << "2052" << 0;
        QTest::newRow("prefixed id") << QByteArray("[lang]\nlangid=LG_1033\n") << "1033" << 0;
        QTest::newRow("damaged file") << QByteArray("[lang]\nlangid=1033\n[camerareso") << "1033" << 1;
    }

    // The language is stored and its translation loaded from beside the program; a
    // damaged file is kept aside before it is replaced.
    void startUp()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, language);
        QFETCH(int, setAside);
        if (!ini.isEmpty())
            QVERIFY(writeIni(iniPath(), ini));
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        QCOMPARE(first.state(), QProcess::Running);
        stop(first);
        QSettings stored(iniPath(), QSettings::IniFormat);
        QCOMPARE(stored.value("lang/langid").toString(), language);
        QVERIFY(logText().contains(QStringLiteral("load language: %1 %2/lang/%1.qm true").arg(language, buildDir())));
        const QStringList aside = QDir(dataDir() + "/ini").entryList({"application.ini.corrupt-*"});
        QCOMPARE(aside.size(), setAside);
        if (setAside)
            QCOMPARE(readAll(dataDir() + "/ini/" + aside.first()), ini);
    }

    void secondCopyExitsWithOneAndLogsNothing()
    {
        QProcess first;
        first.start(program(), QStringList());
        QVERIFY(waitForLog("auto adjsize:"));
        // Compare against the log once the first copy has been quiet for a second.
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
        QCOMPARE(first.state(), QProcess::Running);
        stop(first);
    }

    // A lock left by a killed copy does not block; a live copy's lock stays valid
    // however old it is.
    void staleLock_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("holder killed") << true;
        QTest::newRow("live holder, lock an hour old") << false;
    }

    void staleLock()
    {
        QFETCH(bool, killed);
        QProcess first, second;
        first.start(singleProbe(), QStringList());
        QVERIFY(waitForLine(first, "ready"));
        const QByteArray lock = QFile::encodeName(ISingleApplication::lockPath("LumivoProbe"));
        if (killed) {
            ::kill(pid_t(first.processId()), SIGKILL);
            QVERIFY(first.waitForFinished(5000));
        } else {
            const time_t old = ::time(nullptr) - 3600;
            const utimbuf times {old, old};
            QCOMPARE(::utime(lock.constData(), &times), 0);
        }
        const QString text = QString::fromUtf8("Raise_Window_Noop 中"); // arrives whole
        second.start(singleProbe(), QStringList{text});
        if (killed) {
            QVERIFY(waitForLine(second, "ready"));
        } else {
            QVERIFY(second.waitForFinished(10000));
            QCOMPARE(second.exitCode(), 1);
            QVERIFY(waitForLine(first, "message:" + text.toUtf8()));
        }
        stop(first);
        stop(second);
    }

    // Copies started at the same instant: exactly one runs.
    void copiesStartedTogether_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("rounds");
        QTest::newRow("probe") << singleProbe() << 5;
        QTest::newRow("lumivo") << program() << 3;
    }

    void copiesStartedTogether()
    {
        QFETCH(QString, program);
        QFETCH(int, rounds);
        for (int round = 0; round < rounds; ++round) {
            std::vector<std::unique_ptr<QProcess>> copies;
            for (int i = 0; i < 4; ++i) {
                copies.push_back(std::make_unique<QProcess>());
                copies.back()->start(program, QStringList{"again"});
            }
            auto finished = [&] {
                return int(std::count_if(copies.begin(), copies.end(),
                                         [](const auto& p) { return p->state() == QProcess::NotRunning; }));
            };
            QTRY_COMPARE_WITH_TIMEOUT(finished(), 3, 10000);
            QTest::qWait(300);
            int refused = 0;
            for (auto& p : copies) {
                refused += p->state() == QProcess::NotRunning && p->exitCode() == 1;
                stop(*p);
            }
            QCOMPARE(refused, 3);
        }
    }

    // The program on a data place that breaks under it: it runs, still answers as the
    // running copy, and loses nothing stored before.
    void faultyDisk_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("read-only") << int(StorageFault::Kind::ReadOnly);
        QTest::newRow("full") << int(StorageFault::Kind::Full);
    }

    void faultyDisk()
    {
        QFETCH(int, kind);
        const QByteArray stored = "[lang]\nlangid=1033\n\n[cameraresolution]\nwidth=1280\nheight=720\n";
        QVERIFY(writeIni(iniPath(), stored));
        StorageFault fault(dataDir(), StorageFault::Kind(kind));
        if (!fault.isValid())
            QSKIP("this fault cannot be made here");
        QProcess first, second;
        first.start(program(), QStringList{"--virtual-camera"});
        QVERIFY(first.waitForStarted());
        QTest::qWait(2500);
        QCOMPARE(first.state(), QProcess::Running);
        second.start(program(), QStringList());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        fault.lift();
        QCOMPARE(readAll(iniPath()), stored);
    }

    // A language change restarts the program with the same arguments, in the new language.
    void languageRestart()
    {
        QVERIFY(writeIni(iniPath(), "[lang]\nlangid=2052\n"));
        const QString tour = tmp() + "/tour";
        QProcess first;
        first.setWorkingDirectory(tmp());
        first.start(program(), {"--virtual-camera", "--screenshot-tour", tour, "--tour-language", "1033"});
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        // The restarted copy runs the same tour; its language is current, so it ends.
        QTRY_VERIFY_WITH_TIMEOUT(readAll(tour + "/tour.txt").count("done 0") == 1, 60000);
        const QStringList starts = QString::fromUtf8(readAll(tour + "/tour.txt")).split('\n').filter(QRegularExpression("^start "));
        QCOMPARE(starts.size(), 2);
        m_detached = field(starts[1], "pid").toLongLong();
        QCOMPARE(field(starts[0], "heading"), QString::fromUtf8("设备"));
        QCOMPARE(field(starts[1], "heading"), QString("Devices"));
        QTRY_VERIFY_WITH_TIMEOUT(!alive(m_detached), 20000);
        QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value("lang/langid").toString(), QString("1033"));
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
        QVERIFY(restarted.waitForStarted());
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
