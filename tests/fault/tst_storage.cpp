// The log and the settings when the disk says no: a read-only settings directory, a full
// disk, a data directory that cannot even be created. The program keeps its settings
// in memory and loses nothing that was stored before.
#include "storagefault.h"

#include "appenvironment.h"
#include "camera/icamerainfo.h"
#include "service/iconfigureservice.h"
#include "service/outputmessage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

class TestStorage : public QObject
{
    Q_OBJECT

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
};

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
