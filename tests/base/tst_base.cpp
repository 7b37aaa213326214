// The base services. The settings file: every key the writer stores and reads back, and
// damaged files set aside without losing the program's start. The log's lines and files,
// and the scale factors the window takes from the screen.
#include "processes.h"

#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "base/iconfigureservice.h"
#include "base/outputmessage.h"

#include <QDir>
#include <QSettings>
#include <QtTest>

using C = IConfigureService;

namespace {
QString iniPath() { return C::iniFilePath(); }

// Everything the writer stores, as one text.
QString stored()
{
    return QStringList({C::s_strLangId, C::s_strPhotoPath, C::s_strVideoPath, C::s_strDocumentPath,
                        C::s_strPhotoFormat, C::s_strVideoFormat, QString::number(C::s_nDpiValue),
                        QString::number(C::s_nMjpgCompress), QString::number(currentCameraResolution().size.width()),
                        QString::number(currentCameraResolution().size.height())})
        .join(' ');
}

QStringList readLog()
{
    return QString::fromUtf8(processes::readFile(logFilePath(QDate::currentDate()))).split("\r\n", Qt::SkipEmptyParts);
}
} // namespace

class TestBase : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QDir(QFileInfo(iniPath()).absolutePath()).removeRecursively();
        QDir(makeWritableDir("log/")).removeRecursively();
        setCurrentCameraInfo(ICameraInfo());
    }

    // Distinctive values, none a default. The file is deleted before the write, so neither
    // an earlier write nor a default on reading can stand in for a dropped key.
    void writerStoresEveryKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QStringList keys{"lang/langid", "path/photo", "path/video", "path/document", "format/photo",
                               "format/video", "format/dpi_value", "format/mjpg_compres", "cameraresolution/width",
                               "cameraresolution/height"};
        const QStringList values = QString("1033 /p/photo/ /p/video/ /p/doc/ png avi 301 77 1281 721").split(' ');
        for (int i = 0; i < keys.size(); ++i)
            QTest::newRow(qPrintable(keys[i])) << keys[i] << values[i];
    }

    void writerStoresEveryKey()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        C::s_strLangId = "1033", C::s_strPhotoPath = "/p/photo/", C::s_strVideoPath = "/p/video/";
        C::s_strDocumentPath = "/p/doc/", C::s_strPhotoFormat = "png", C::s_strVideoFormat = "avi";
        C::s_nDpiValue = 301, C::s_nMjpgCompress = 77;
        setCurrentCameraResolution(CameraResolution(1281, 721));
        const QString all = stored();
        C::instance()->writeConfigure();
        QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value(key).toString(), value);
        C::s_strLangId.clear();
        setCurrentCameraInfo(ICameraInfo());
        loadLanguage(nullptr);
        C::instance()->readConfigure();
        QCOMPARE(stored(), all);
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
        QTest::newRow("not numbers") << QByteArray("[cameraresolution]\nwidth=wide\nheight=-7\n") << QSize(0, -7)
                                     << "2052" << false;
        QTest::newRow("megabytes on one line") << (QByteArray("[lang]\nlangid=") + QByteArray(4 << 20, 'L'))
                                               << QSize(1920, 1080) << QString(4 << 20, 'L') << false;
    }

    void damagedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(bool, setAside);
        QVERIFY(processes::writeFile(iniPath(), bytes));
        C::s_strLangId.clear();
        loadLanguage(nullptr);
        C::instance()->readConfigure();
        QTEST(C::s_strLangId, "lang");
        QCOMPARE(currentCameraResolution().size, size);
        const QDir dir = QFileInfo(iniPath()).dir();
        const QStringList aside = dir.entryList({"application.ini.corrupt-*"});
        QCOMPARE(aside.size(), int(setAside));
        QVERIFY(!setAside || processes::readFile(dir.filePath(aside[0])) == bytes);
        C::instance()->writeConfigure();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.status(), QSettings::NoError);
        QCOMPARE(ini.value("cameraresolution/width").toInt(), size.width());
    }

    // The layout readers of the log rely on; %-sequences in a message stay as they are.
    void lineLayout()
    {
        QMessageLogContext context("src/mainframe.cpp", 177, "void MainFrame::closeEvent(QCloseEvent*)", "default");
        const QDateTime when(QDate(2019, 4, 22), QTime(9, 15, 3, 417));
        QCOMPARE(formatLogLine(QtDebugMsg, context, "exit %1 and %% app--->", when),
                 QStringLiteral("(2019-04-22 09:15:03 417) Debug: exit %1 and %% app--->    File:(src/mainframe.cpp) "
                                "Line:(177) Function(void MainFrame::closeEvent(QCloseEvent*))"));
        QVERIFY(formatLogLine(QtDebugMsg, QMessageLogContext(), "m", when).endsWith("File:() Line:(0) Function()"));
        QCOMPARE(QFileInfo(logFilePath(QDate(2019, 4, 22))).fileName(), QStringLiteral("log_20190422.txt"));
    }

    // Warnings stay out; UTF-8 arrives whole; a deleted log folder is made again.
    void writesLines()
    {
        QMessageLogContext context("a.cpp", 12, "void f()", "default");
        outputMessage(QtDebugMsg, context, "first");
        outputMessage(QtWarningMsg, context, "never written");
        QVERIFY(QDir(makeWritableDir("log/")).removeRecursively());
        outputMessage(QtDebugMsg, context, QString::fromUtf8("开启回调模式失败：中文"));
        const QStringList lines = readLog();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].contains(QString::fromUtf8("Debug: 开启回调模式失败：中文    File:(a.cpp)")));
        outputMessage(QtDebugMsg, context, "first");
        outputMessage(QtWarningMsg, context, "never written");
        QCOMPARE(readLog().size(), 2);
    }

    void workedValues_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<double>("sx");
        QTest::addColumn<double>("sy");
        QTest::addColumn<double>("s");
        QTest::newRow("1920x1080") << 1920 << 1080 << 1.0 << 1.0 << 1.0;
        // 1366/768 is 1.7786 in single precision: not narrower than 16:9, so the height wins.
        QTest::newRow("1366x768") << 1366 << 768 << 1366 / 1920.0 << 768 / 1080.0 << 768 / 1080.0;
        QTest::newRow("1024x768 narrow") << 1024 << 768 << 1024 / 1200.0 << 1024 / 1200.0 << 1024 / 1200.0;
        QTest::newRow("1199x900 jump") << 1199 << 900 << 1199 / 1200.0 << 1199 / 1200.0 << 1199 / 1200.0;
        QTest::newRow("1200x900 no jump") << 1200 << 900 << 0.625 << 900 / 1080.0 << 0.625;
    }

    void workedValues()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        const ScaleFactors f = computeScaleFactors(w, h);
        QTEST(f.scaleX, "sx");
        QTEST(f.scaleY, "sy");
        QTEST(f.scale, "s");
    }
};

QTEST_GUILESS_MAIN(TestBase)
#include "tst_base.moc"
