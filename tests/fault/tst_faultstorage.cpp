// The log and the settings when the disk says no: a read-only settings directory, a full
// disk, a data directory that cannot even be created, and settings files that are
// damaged. The program must run on, keep its settings in memory, and lose nothing that
// was stored before.
#include "storagefault.h"

#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "base/iconfigureservice.h"
#include "base/outputmessage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

namespace {
QString dataDir() { return QStandardPaths::writableLocation(QStandardPaths::DataLocation); }
QString iniPath() { return IConfigureService::iniFilePath(); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString todaysLog() { return QString::fromUtf8(readAll(logFilePath(QDate::currentDate()))); }

QSize resolution() { return currentCameraResolution().size; }
void setResolution(const QSize& size)
{
    CameraResolution r = currentCameraResolution();
    r.size = size;
    setCurrentCameraResolution(r);
}

const QByteArray kStoredIni = "[lang]\nlangid=1033\n\n[format]\nphoto=png\n\n[cameraresolution]\nwidth=1280\nheight=720\n";
const char* const kNotWritable = "configure file not writable, settings kept in memory";
} // namespace

class TestFaultStorage : public QObject
{
    Q_OBJECT

    // A real program started on a data directory with the given fault.
    void programRunsOn(StorageFault::Kind kind)
    {
        const QString data = qEnvironmentVariable("LUMIVO_TEST_TMP") + "/program-data";
        QDir(data).removeRecursively();
        QVERIFY(writeAll(data + "/lumivo/ini/application.ini", kStoredIni));
        StorageFault fault(data + "/lumivo", kind);
        if (!fault.isValid())
            QSKIP("this fault cannot be made here");
        qInfo("fault made by: %s", qPrintable(fault.method()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", data);
        QProcess first, second;
        first.setProcessEnvironment(env);
        second.setProcessEnvironment(env);
        const QString program = qEnvironmentVariable("LUMIVO_BUILD_DIR") + "/lumivo";
        first.start(program, QStringList{"--virtual-camera"});
        QVERIFY(first.waitForStarted());
        QTest::qWait(2500);
        QCOMPARE(first.state(), QProcess::Running);
        // It still answers as the running copy.
        second.start(program, QStringList());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        fault.lift();
        QCOMPARE(readAll(data + "/lumivo/ini/application.ini"), kStoredIni);
    }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(outputMessage);
        qInfo("private mounts: %s", StorageFault::canMount() ? "yes" : "no");
    }

    void init()
    {
        QDir(dataDir()).removeRecursively();
        IConfigureService::s_strLangId.clear();
    }

    // Runs first: the failure is said once per run.
    void readOnlySettingsDirectory()
    {
        QVERIFY(writeAll(iniPath(), kStoredIni));
        StorageFault fault(QFileInfo(iniPath()).absolutePath(), StorageFault::Kind::ReadOnly);
        if (!fault.isValid())
            QSKIP("a read-only directory cannot be made here (root without private mounts)");
        qInfo("fault made by: %s", qPrintable(fault.method()));

        loadLanguage(nullptr);
        QCOMPARE(IConfigureService::s_strLangId, QStringLiteral("1033"));
        IConfigureService::instance()->readConfigure();
        QCOMPARE(resolution(), QSize(1280, 720));
        QCOMPARE(IConfigureService::s_strPhotoFormat, QStringLiteral("png"));

        IConfigureService::instance()->setLanguage("2052");
        setResolution(QSize(640, 480));
        IConfigureService::instance()->writeConfigure();
        IConfigureService::instance()->setValue("format/photo", "bmp");
        IConfigureService::instance()->writeConfigure();

        QCOMPARE(IConfigureService::s_strLangId, QStringLiteral("2052"));
        QCOMPARE(resolution(), QSize(640, 480));
        QCOMPARE(readAll(iniPath()), kStoredIni);
        QCOMPARE(todaysLog().count(kNotWritable), 1);

        // Once the directory is writable again the settings in memory are stored.
        fault.lift();
        IConfigureService::instance()->writeConfigure();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("lang/langid").toString(), QStringLiteral("2052"));
        QCOMPARE(ini.value("cameraresolution/width").toInt(), 640);
        QCOMPARE(ini.value("format/photo").toString(), QStringLiteral("png"));
    }

    void fullDisk()
    {
        QVERIFY(writeAll(iniPath(), kStoredIni));
        qDebug() << "before the disk filled up";
        IConfigureService::instance()->readConfigure();
        const QString logBefore = todaysLog();
        QVERIFY(logBefore.contains("before the disk filled up"));
        {
            StorageFault fault(dataDir(), StorageFault::Kind::Full);
            QVERIFY(fault.isValid());
            qInfo("fault made by: %s", qPrintable(fault.method()));
            for (int i = 0; i < 200; ++i)
                qDebug() << "line" << i << "on a full disk" << QByteArray(100, 'y');
            setResolution(QSize(800, 600));
            IConfigureService::instance()->writeConfigure();
            IConfigureService::instance()->setLanguage("1033");

            // What was stored is still there, whole; no half-written copies lie about.
            QCOMPARE(readAll(iniPath()), kStoredIni);
            QCOMPARE(QDir(QFileInfo(iniPath()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
                     QStringList{"application.ini"});
            QVERIFY(todaysLog().startsWith(logBefore));
            QCOMPARE(resolution(), QSize(800, 600));

            // Space comes back: the log and the settings carry on.
            fault.lift();
            qDebug() << "after the disk was freed";
            QVERIFY(todaysLog().contains("after the disk was freed"));
            IConfigureService::instance()->writeConfigure();
            QSettings ini(iniPath(), QSettings::IniFormat);
            QCOMPARE(ini.value("cameraresolution/width").toInt(), 800);
            QCOMPARE(ini.value("lang/langid").toString(), QStringLiteral("1033"));
        }
    }

    // Nothing can be created at all: the data directory itself is read-only.
    void dataDirectoryReadOnlyFromTheStart()
    {
        StorageFault fault(dataDir(), StorageFault::Kind::ReadOnly);
        if (!fault.isValid())
            QSKIP("a read-only directory cannot be made here (root without private mounts)");
        qDebug() << "a line nobody can write";
        loadLanguage(nullptr);
        IConfigureService::instance()->readConfigure();
        QCOMPARE(IConfigureService::s_strLangId, QStringLiteral("2052"));
        QCOMPARE(resolution(), QSize(1920, 1080));
        QCOMPARE(IConfigureService::s_strPhotoFormat, QStringLiteral("jpg"));
        QVERIFY(IConfigureService::s_strPhotoPath.endsWith("/photo/"));
        setResolution(QSize(320, 240));
        IConfigureService::instance()->writeConfigure();
        QCOMPARE(resolution(), QSize(320, 240));
        QCOMPARE(QDir(dataDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void damagedSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("lang");
        QTest::newRow("binary") << QByteArray("\x00\xff[[[lang\n=\n\x01garbage\x00\x00", 22) << QSize(1920, 1080) << "2052";
        QTest::newRow("cut in a group name") << QByteArray("[lang]\nlangid=1033\n[camerareso") << QSize(1920, 1080) << "1033";
        QTest::newRow("cut in a value") << QByteArray("[cameraresolution]\nwidth=12") << QSize(12, 1080) << "2052";
        QTest::newRow("byte order mark only") << QByteArray("\xef\xbb\xbf") << QSize(1920, 1080) << "2052";
        QTest::newRow("not numbers") << QByteArray("[cameraresolution]\nwidth=wide\nheight=-7\n") << QSize(0, -7) << "2052";
        // Converted as the framework converts text to numbers, however odd the result.
        QTest::newRow("huge numbers") << QByteArray("[cameraresolution]\nwidth=99999999999\nheight=1e9\n")
                                      << QSize(QVariant(QStringLiteral("99999999999")).toInt(), QVariant(QStringLiteral("1e9")).toInt())
                                      << "2052";
        QTest::newRow("typed values") << QByteArray("[lang]\nlangid=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x4QPoint)\n")
                                      << QSize(1920, 1080) << "";
        QTest::newRow("megabytes on one line") << (QByteArray("[lang]\nlangid=") + QByteArray(4 << 20, 'L'))
                                               << QSize(1920, 1080) << QString(4 << 20, 'L');
    }

    // Start-up with the file as it is: usable values, nothing thrown, and the file the
    // program writes back reads cleanly.
    void damagedSettingsFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QString, lang);
        QVERIFY(writeAll(iniPath(), bytes));
        loadLanguage(nullptr);
        IConfigureService::instance()->readConfigure();
        QCOMPARE(IConfigureService::s_strLangId, lang);
        QCOMPARE(resolution(), size);
        IConfigureService::instance()->writeConfigure();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.status(), QSettings::NoError);
        QCOMPARE(ini.value("cameraresolution/width").toInt(), size.width());
        QCOMPARE(ini.value("format/video").toString(), QStringLiteral("mp4"));
    }

    void programOnReadOnlyData() { programRunsOn(StorageFault::Kind::ReadOnly); }
    void programOnFullDisk() { programRunsOn(StorageFault::Kind::Full); }
};

QTEST_GUILESS_MAIN(TestFaultStorage)
#include "tst_faultstorage.moc"
