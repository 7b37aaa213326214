// The main window with virtual cameras: the device list following hot-plug, opening
// and unplugging the open camera, closing and quitting with and without a tray, the
// date line and the language setting.
#include "cameras.h"
#include "logcapture.h"
#include "mainwindow.h"

#include "camera/icamera.h"
#include "customui/icamerabutton.h"
#include "customui/isettingframe.h"
#include "customui/ititlewidget.h"
#include "customui/page/imainpage.h"
#include "mainframe.h"
#include "service/iconfigureservice.h"

#include <QComboBox>
#include <QSettings>
#include <QtTest>

namespace {
QJsonObject camera(const QString& name) { return Cameras::camera(name, Cameras::formats({QSize(320, 240)})); }

ICameraInfo record(const QString& path)
{
    ICameraInfo info;
    info.strDevicePath = path;
    info.strDisplayName = path;
    return info;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
    Cameras m_cameras;
    MainFrame* frame = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY(m_cameras.write({}));
        frame = MainWindow::create();
    }

    void cleanup()
    {
        MainFrame::s_nTrayOverride = -1;
        ICamera::instance()->closeCamera();
        frame->setCurrentPage(0);
        frame->show();
    }

    void dateLine_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("expected");
        QTest::newRow("2052") << "2052" << QString::fromUtf8("2026年12月5日 星期六");
        QTest::newRow("1033") << "1033" << "Saturday, December 5, 2026";
        QTest::newRow("1028") << "1028" << QString::fromUtf8("2026年12月5日 Saturday");
    }

    void dateLine()
    {
        QFETCH(QString, lang);
        QFETCH(QString, expected);
        QCOMPARE(IMainPage::dateText(QDate(2026, 12, 5), lang), expected);
    }

    void hotPlugAddsAndRemovesTiles()
    {
        const QStringList base = MainWindow::tilePaths();
        QVERIFY(m_cameras.write({camera("A"), camera("Twin"), camera("C")}));
        QTRY_COMPARE(MainWindow::tilePaths(), base + QStringList({"virtual:A", "virtual:Twin", "virtual:C"}));
        // A removal keeps the order of the rest; an arrival goes last.
        QVERIFY(m_cameras.write({camera("A"), camera("C"), camera("D")}));
        QTRY_COMPARE(MainWindow::tilePaths(), base + QStringList({"virtual:A", "virtual:C", "virtual:D"}));
        // A removal in other letter case works; an arrival the scan does not hold adds nothing.
        frame->onConnectionChanged(false, "VIRTUAL:A");
        frame->onConnectionChanged(true, "virtual:not-there");
        QCOMPARE(MainWindow::tilePaths(), base + QStringList({"virtual:C", "virtual:D"}));
    }

    void duplicateArrivalsAndNoMainWindow()
    {
        IMainPage page(nullptr);
        const int base = page.cameraButtons().size();
        page.addCamera(record("/sys/dup"));
        page.addCamera(record("/sys/dup"));
        page.removeCamera(record("/sys/dup"));
        QCOMPARE(page.cameraButtons().size(), base + 1);
        LogCapture log;
        page.cameraButtons().last()->click(); // no main window to open it in
        QCOMPARE(log.count("no main window"), 1);
    }

    void unplugOfTheOpenCameraReturnsToTheList()
    {
        QVERIFY(m_cameras.write({camera("Keep"), camera("Open")}));
        QTRY_COMPARE(MainWindow::tilePaths().size(), 2);
        QCOMPARE(MainWindow::open("virtual:Open"), int(Success));
        QCOMPARE(frame->currentPage(), 1);
        // Unplugging another camera only removes its tile.
        QVERIFY(m_cameras.write({camera("Open")}));
        QTRY_COMPARE(MainWindow::tilePaths(), QStringList({"virtual:Open"}));
        QCOMPARE(frame->currentPage(), 1);
        QVERIFY(m_cameras.write({}));
        QTRY_COMPARE(frame->currentPage(), 0);
        QVERIFY(!ICamera::instance()->camera());
    }

    // Quit, or a close without a tray to come back from, closes the camera and writes
    // the settings once; with a tray closing only hides.
    void closeAndQuit_data()
    {
        QTest::addColumn<int>("tray");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("quits");
        QTest::addColumn<int>("writes");
        QTest::newRow("quit") << 1 << "quit" << true << 1;
        QTest::newRow("close, tray") << 1 << "close" << false << 1;
        QTest::newRow("title close, tray") << 1 << "title" << false << 0;
        QTest::newRow("close, no tray") << 0 << "close" << true << 1;
        QTest::newRow("title close, no tray") << 0 << "title" << true << 1;
    }

    void closeAndQuit()
    {
        QFETCH(int, tray);
        QFETCH(QString, action);
        QFETCH(bool, quits);
        QFETCH(int, writes);
        QVERIFY(m_cameras.write({camera("Cam")}));
        QTRY_COMPARE(MainWindow::tilePaths().size(), 1);
        QCOMPARE(MainWindow::open("virtual:Cam"), int(Success));
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QFile::remove(IConfigureService::iniFilePath());
        MainFrame::s_nTrayOverride = tray;
        LogCapture log;
        QCOMPARE(MainWindow::quitsAfter(
                     [&] {
                         if (action == "quit")
                             frame->quit();
                         else if (action == "close")
                             frame->close();
                         else
                             frame->titleWidget()->button(2)->click();
                     },
                     quits ? 1000 : 300),
                 quits);
        QVERIFY(frame->isHidden());
        QCOMPARE(log.count("exit app--->"), writes);
        QCOMPARE(!ICamera::instance()->camera(), quits);
        QSettings ini(IConfigureService::iniFilePath(), QSettings::IniFormat);
        QCOMPARE(ini.value("lang/langid").toString(), writes ? QString("1033") : QString());
    }

    // Another language is stored and a restart requested; the same one changes nothing.
    // Last: it leaves the window hidden.
    void languageSetting()
    {
        ISettingFrame* dialog = frame->settingFrame();
        bool stillOpen = false;
        QTimer::singleShot(200, dialog, [&] {
            dialog->languageBox()->setCurrentIndex(dialog->languageBox()->findData("1033"));
            stillOpen = dialog->isVisible();
            dialog->languageBox()->setCurrentIndex(dialog->languageBox()->findData("2052"));
        });
        QVERIFY(MainWindow::quitsAfter([&] { dialog->setVisibleCentered(true); }));
        QVERIFY(stillOpen);
        QCOMPARE(QSettings(IConfigureService::iniFilePath(), QSettings::IniFormat).value("lang/langid").toString(),
                 QString("2052"));
        QVERIFY(frame->isHidden());
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }
};

LUMIVO_UI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
