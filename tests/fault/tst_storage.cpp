// The log and the settings when the disk says no: a read-only settings directory and a
// full disk. The program keeps its settings in memory and loses nothing stored before.
#include "processes.h"
#include "storagefault.h"

#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "base/iconfigureservice.h"
#include "base/outputmessage.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

namespace {
QString dataDir() { return QStandardPaths::writableLocation(QStandardPaths::DataLocation); }
QString iniPath() { return IConfigureService::iniFilePath(); }
QString todaysLog() { return QString::fromUtf8(processes::readFile(logFilePath(QDate::currentDate()))); }
QSize resolution() { return currentCameraResolution().size; }

const QByteArray kStoredIni =
    "[lang]\nlangid=1033\n\n[format]\nphoto=png\n\n[cameraresolution]\nwidth=1280\nheight=720\n";
} // namespace

class TestStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(outputMessage); }

    void init()
    {
        QDir(dataDir()).removeRecursively();
        IConfigureService::s_strLangId.clear();
    }

    // Runs first: the failure is said once per run.
    void readOnlySettingsDirectory()
    {
        QVERIFY(processes::writeFile(iniPath(), kStoredIni));
        StorageFault fault(QFileInfo(iniPath()).absolutePath(), StorageFault::Kind::ReadOnly);
        if (!fault.isValid())
            QSKIP("a read-only directory cannot be made here (root without private mounts)");

        loadLanguage(nullptr);
        IConfigureService::instance()->readConfigure();
        QCOMPARE(IConfigureService::s_strLangId + IConfigureService::s_strPhotoFormat, QStringLiteral("1033png"));
        QCOMPARE(resolution(), QSize(1280, 720));

        IConfigureService::instance()->setLanguage("2052");
        setCurrentCameraResolution(CameraResolution(640, 480));
        IConfigureService::instance()->writeConfigure();
        IConfigureService::instance()->setValue("format/photo", "bmp");
        IConfigureService::instance()->writeConfigure();

        QCOMPARE(resolution(), QSize(640, 480));
        QCOMPARE(processes::readFile(iniPath()), kStoredIni);
        QCOMPARE(todaysLog().count("configure file not writable, settings kept in memory"), 1);

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
        QVERIFY(processes::writeFile(iniPath(), kStoredIni));
        qDebug() << "before the disk filled up";
        IConfigureService::instance()->readConfigure();
        const QString logBefore = todaysLog();
        QVERIFY(logBefore.contains("before the disk filled up"));
        StorageFault fault(dataDir(), StorageFault::Kind::Full);
        QVERIFY(fault.isValid());
        for (int i = 0; i < 200; ++i)
            qDebug() << "line" << i << "on a full disk" << QByteArray(100, 'y');
        setCurrentCameraResolution(CameraResolution(800, 600));
        IConfigureService::instance()->writeConfigure();
        IConfigureService::instance()->setLanguage("1033");

        // What was stored is still there, whole; no half-written copies lie about.
        QCOMPARE(processes::readFile(iniPath()), kStoredIni);
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
};

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
