#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "base/iconfigureservice.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QString iniPath() { return IConfigureService::iniFilePath(); }
} // namespace

class TestConfigure : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QFile::remove(iniPath());
        setCurrentCameraInfo(ICameraInfo());
    }

    void firstRunDefaultsAreWrittenOnClose()
    {
        IConfigureService* service = IConfigureService::instance();
        service->setLanguage("2052");
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            QCOMPARE(ini.allKeys(), QStringList{"lang/langid"});
        }
        service->readConfigure();
        QCOMPARE(currentCameraResolution().size, QSize(1920, 1080));
        service->writeConfigure();

        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("lang/langid").toString(), QStringLiteral("2052"));
        QCOMPARE(ini.value("format/photo").toString(), QStringLiteral("jpg"));
        QCOMPARE(ini.value("format/video").toString(), QStringLiteral("mp4"));
        QCOMPARE(ini.value("format/dpi_value").toInt(), 275);
        QCOMPARE(ini.value("format/mjpg_compres").toInt(), 100);
        QCOMPARE(ini.value("cameraresolution/width").toInt(), 1920);
        QCOMPARE(ini.value("cameraresolution/height").toInt(), 1080);
        QCOMPARE(ini.value("path/photo").toString(), makeWritableDir("photo/"));
        QCOMPARE(ini.value("path/video").toString(), makeWritableDir("video/"));
        QCOMPARE(ini.value("path/document").toString(), makeWritableDir("document/"));
        QCOMPARE(ini.value("camera/remember_settings").toBool(), true);
        QCOMPARE(ini.allKeys().size(), 11);
        QVERIFY(QDir(makeWritableDir("photo/")).exists());
    }

    void storedValuesRoundTrip()
    {
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            ini.setValue("cameraresolution/width", 1280);
            ini.setValue("cameraresolution/height", 720);
            ini.setValue("path/photo", "/somewhere/else");
            ini.setValue("format/dpi_value", "not a number");
        }
        IConfigureService::instance()->readConfigure();
        QCOMPARE(currentCameraResolution().size, QSize(1280, 720));
        QCOMPARE(IConfigureService::s_strPhotoPath, QStringLiteral("/somewhere/else"));
        QCOMPARE(IConfigureService::s_nDpiValue, 0);
        // The default directories are made whatever the file names.
        QVERIFY(QDir(makeWritableDir("photo/")).exists());
    }

    void versionFromBuildStamp()
    {
        QCOMPARE(IConfigureService::versionText("2026/03/04 16:21:51", 80234), QStringLiteral("V1.0.80234_2026.03.04"));
        IConfigureService::instance()->loadDefaults();
        QCOMPARE(IConfigureService::s_strVersion, QStringLiteral("V1.0.8041_2019.04.22"));
        QCOMPARE(IConfigureService::s_strProductName, QStringLiteral("Lumivo"));
        QCOMPARE(currentCameraResolution().size, QSize(1600, 1200));
        IConfigureService::instance()->readConfigure();
        QVERIFY(IConfigureService::s_strVersion.startsWith("V1.0."));
    }

    void languageFileFromId()
    {
        QVERIFY(languageFilePath("1033").endsWith("/lang/1033.qm"));
        QVERIFY(languageFilePath("abc").endsWith("/lang/0.qm"));
        QVERIFY(languageFilePath("LG_1033").endsWith("/lang/0.qm"));
    }

    void corruptFileIsSetAsideNotLost()
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[format]\nphoto=png\n[cameraresolution\nwidth=\"unterminated\n");
        f.close();
        IConfigureService::instance()->readConfigure();
        IConfigureService::instance()->writeConfigure();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.status(), QSettings::NoError);
        QVERIFY(ini.contains("cameraresolution/width"));
    }

    void readOnlyDirectoryKeepsSettingsInMemory()
    {
        const QString dir = makeWritableDir("ini/");
        QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0500) == 0);
        IConfigureService::instance()->readConfigure();
        CameraResolution r = currentCameraResolution();
        r.size = QSize(640, 480);
        setCurrentCameraResolution(r);
        IConfigureService::instance()->setLanguage("1033");
        IConfigureService::instance()->writeConfigure();
        QCOMPARE(IConfigureService::s_strLangId, QStringLiteral("1033"));
        QCOMPARE(currentCameraResolution().size, QSize(640, 480));
        ::chmod(QFile::encodeName(dir).constData(), 0700);
        // Root ignores the mode bits; there the file is simply written.
        if (::geteuid() != 0)
            QVERIFY(!QFile::exists(iniPath()));
    }

    void recordDefaults()
    {
        const ICameraInfo info;
        QCOMPARE(info.nIndex, -1);
        QVERIFY(info.strDevicePath.isEmpty() && info.strDisplayName.isEmpty() && info.strSerial.isEmpty());
        QCOMPARE(info.resolution.size, QSize(1920, 1080));
        QCOMPARE(info.resolution.captureSize, QSize(0, 0));
        QCOMPARE(info.resolution.rate, 30);
        QVERIFY(info.resolutions.isEmpty());
        for (int i = 0; i < CameraParameters::size(); ++i) {
            QCOMPARE(info.parameters[i].value.userType(), int(QMetaType::Double));
            QCOMPARE(info.parameters[i].min.toInt(), 0);
            QVERIFY(!info.parameters[i].isAuto);
        }
        CameraResolution a(1280, 720), b(1280, 720);
        b.captureSize = QSize(1, 1);
        b.rate = 60;
        QVERIFY(a == b);
        QVERIFY(a != CameraResolution(1280, 960));
    }

    void recordsCrossThreadsAsMetaTypes()
    {
        registerCameraMetaTypes();
        QVERIFY(QMetaType::type("IResult") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("ICameraInfo") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("CameraResolution") != QMetaType::UnknownType);
        ICameraInfo info;
        info.strDevicePath = "virtual:x";
        info.resolutions = {CameraResolution(640, 480)};
        const QVariant v = QVariant::fromValue(info);
        QCOMPARE(v.value<ICameraInfo>(), info);
    }
};

QTEST_GUILESS_MAIN(TestConfigure)
#include "tst_configure.moc"
