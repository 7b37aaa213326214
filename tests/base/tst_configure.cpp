// The settings file: every key the writer stores, values read back, and damaged files
// set aside without losing the program's start.
#include "appenvironment.h"
#include "camera/icamerainfo.h"
#include "service/iconfigureservice.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

using C = IConfigureService;

namespace {
QString iniPath() { return C::iniFilePath(); }

// Distinctive values, none of them a default.
void setStoredValues()
{
    C::s_strLangId = "1033";
    C::s_strPhotoPath = "/p/photo/";
    C::s_strVideoPath = "/p/video/";
    C::s_strDocumentPath = "/p/document/";
    C::s_strPhotoFormat = "png";
    C::s_strVideoFormat = "avi";
    C::s_nDpiValue = 301;
    C::s_nMjpgCompress = 77;
    CameraResolution r = currentCameraResolution();
    r.size = QSize(1281, 721);
    setCurrentCameraResolution(r);
}

QStringList asideCopies()
{
    return QFileInfo(iniPath()).dir().entryList({"application.ini.corrupt-*"}, QDir::Files);
}
} // namespace

class TestConfigure : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QDir(QFileInfo(iniPath()).absolutePath()).removeRecursively();
        setCurrentCameraInfo(ICameraInfo());
    }

    // The file is deleted before each write, so neither an earlier write nor a default on
    // reading can stand in for a key the writer dropped.
    void writerStoresEveryKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("language") << "lang/langid" << "1033";
        QTest::newRow("photo path") << "path/photo" << "/p/photo/";
        QTest::newRow("video path") << "path/video" << "/p/video/";
        QTest::newRow("document path") << "path/document" << "/p/document/";
        QTest::newRow("photo format") << "format/photo" << "png";
        QTest::newRow("video format") << "format/video" << "avi";
        QTest::newRow("dpi") << "format/dpi_value" << "301";
        QTest::newRow("mjpg quality") << "format/mjpg_compres" << "77";
        QTest::newRow("width") << "cameraresolution/width" << "1281";
        QTest::newRow("height") << "cameraresolution/height" << "721";
    }

    void writerStoresEveryKey()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        setStoredValues();
        QFile::remove(iniPath());
        C::instance()->writeConfigure();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value(key).toString(), value);
    }

    void writtenValuesReadBack()
    {
        setStoredValues();
        C::instance()->writeConfigure();
        C::s_strLangId.clear();
        setCurrentCameraInfo(ICameraInfo());
        loadLanguage(nullptr);
        C::instance()->readConfigure();
        QCOMPARE(C::s_strLangId, QStringLiteral("1033"));
        QCOMPARE(C::s_strPhotoPath + C::s_strVideoPath + C::s_strDocumentPath,
                 QStringLiteral("/p/photo//p/video//p/document/"));
        QCOMPARE(C::s_strPhotoFormat + C::s_strVideoFormat, QStringLiteral("pngavi"));
        QCOMPARE(C::s_nDpiValue, 301);
        QCOMPARE(C::s_nMjpgCompress, 77);
        QCOMPARE(currentCameraResolution().size, QSize(1281, 721));
    }

    // Start-up on the file as it is: usable values; a file that cannot be parsed is
    // copied aside whole before defaults replace it; what is written back reads cleanly.
    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("binary") << QByteArray("\x00\xff[[[lang\n=\n\x01garbage\x00\x00", 22) << QSize(1920, 1080)
                                << "2052" << false;
        // A group never closed: the file cannot be parsed (its width reads as nothing).
        QTest::newRow("unclosed group") << QByteArray("[format]\nphoto=png\n[cameraresolution\nwidth=\"x\n")
                                        << QSize(0, 1080) << "2052" << true;
        QTest::newRow("cut in a group name") << QByteArray("[lang]\nlangid=1033\n[camerareso") << QSize(1920, 1080)
                                             << "1033" << true;
        QTest::newRow("cut in a value") << QByteArray("[cameraresolution]\nwidth=12") << QSize(12, 1080) << "2052"
                                        << false;
        QTest::newRow("byte order mark only") << QByteArray("\xef\xbb\xbf") << QSize(1920, 1080) << "2052" << false;
        QTest::newRow("not numbers") << QByteArray("[cameraresolution]\nwidth=wide\nheight=-7\n") << QSize(0, -7)
                                     << "2052" << false;
        QTest::newRow("megabytes on one line") << (QByteArray("[lang]\nlangid=") + QByteArray(4 << 20, 'L'))
                                               << QSize(1920, 1080) << QString(4 << 20, 'L') << false;
    }

    void damagedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QString, lang);
        QFETCH(bool, setAside);
        QDir().mkpath(QFileInfo(iniPath()).absolutePath());
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        C::s_strLangId.clear();
        loadLanguage(nullptr);
        C::instance()->readConfigure();
        QCOMPARE(C::s_strLangId, lang);
        QCOMPARE(currentCameraResolution().size, size);

        const QStringList aside = asideCopies();
        QCOMPARE(aside.size(), setAside ? 1 : 0);
        if (setAside) {
            QFile copy(QFileInfo(iniPath()).dir().filePath(aside.first()));
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), bytes);
        }
        C::instance()->writeConfigure();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.status(), QSettings::NoError);
        QCOMPARE(ini.value("cameraresolution/width").toInt(), size.width());
        QCOMPARE(ini.value("format/video").toString(), QStringLiteral("mp4"));
    }

    void languageFileFromId()
    {
        QVERIFY(languageFilePath("1033").endsWith("/lang/1033.qm"));
        QVERIFY(languageFilePath("abc").endsWith("/lang/0.qm"));
        QVERIFY(languageFilePath("LG_1033").endsWith("/lang/0.qm"));
    }

    // Without registration no open result crosses threads.
    void recordsCrossThreadsAsMetaTypes()
    {
        registerCameraMetaTypes();
        for (const char* type : {"IResult", "ICameraInfo", "CameraResolution"})
            QVERIFY2(QMetaType::type(type) != QMetaType::UnknownType, type);
        ICameraInfo info;
        info.strDevicePath = "virtual:x";
        info.resolutions = {CameraResolution(640, 480)};
        QCOMPARE(QVariant::fromValue(info).value<ICameraInfo>(), info);
    }
};

QTEST_GUILESS_MAIN(TestConfigure)
#include "tst_configure.moc"
