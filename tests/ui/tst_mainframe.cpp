// The main window with virtual cameras: hot-plug, opening from the list, unplugging the
// open camera, closing with and without a tray, and Quit.
#include "support/uitest.h"
#include "support/virtualcameras.h"

#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "widgets/icamerabutton.h"
#include "app/ititlewidget.h"
#include "app/icamerapage.h"
#include "app/imainpage.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

namespace {

QStringList tilePaths(IMainPage* page)
{
    QStringList paths;
    for (ICameraButton* b : page->cameraButtons())
        paths << b->cameraInfo.strDevicePath;
    return paths;
}

QStringList tileNames(IMainPage* page)
{
    QStringList names;
    for (ICameraButton* b : page->cameraButtons())
        names << b->cameraInfo.strDisplayName;
    return names;
}

QJsonObject camera(const QString& name, const QString& path)
{
    return uitest::virtualCamera(name, path, "046D", "0825", {QSize(320, 240)}, QSize(320, 240));
}

int g_quitRequests = 0;
void countQuit() { ++g_quitRequests; }

// Runs `action` and reports whether the program was told to quit within `ms`.
bool quitsAfter(const std::function<void()>& action, int ms = 1000)
{
    const int before = g_quitRequests;
    action();
    QElapsedTimer timer;
    timer.start();
    while (g_quitRequests == before && timer.elapsed() < ms)
        QTest::qWait(20);
    return g_quitRequests > before;
}

} // namespace

class TestMainFrame : public QObject
{
    Q_OBJECT

    MainFrame* frame = nullptr;

    int openFromList(int index)
    {
        QSignalSpy result(ICamera::instance(), &ICamera::sgResult);
        frame->mainPage()->cameraButtons().at(index)->click();
        if (!result.wait(10000))
            return -1;
        return result.first().first().value<IResult>();
    }

private slots:
    void initTestCase()
    {
        IConfigureService::s_strLangId = "1033";
        MainFrame::s_pQuitFunction = &countQuit;
        QVERIFY(uitest::setVirtualCameras(QJsonArray{}));
        auto* app = qobject_cast<IApplication*>(qApp);
        app->createMainFrame();
        frame = app->mainFrame();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QCOMPARE(frame->currentPage(), 0);
    }

    void cleanup()
    {
        MainFrame::s_nTrayOverride = -1;
        ICamera::instance()->closeCamera();
        frame->setCurrentPage(0);
        frame->show();
    }

    void windowSizeFollowsTheScale()
    {
        QCOMPARE(frame->size(), QSize(int(400 * g_dScale), int(760 * g_dScale)));
        QVERIFY(frame->windowFlags() & Qt::FramelessWindowHint);
    }

    void hotPlugAddsAndRemovesTiles()
    {
        const QStringList base = tilePaths(frame->mainPage());
        // Two of the same model, arriving one after the other: each adds only itself.
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Twin", "virtual:twin-a")}));
        QTRY_COMPARE(tilePaths(frame->mainPage()), base + QStringList({"virtual:twin-a"}));
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Twin", "virtual:twin-a"), camera("Twin", "virtual:twin-b")}));
        QTRY_COMPARE(tilePaths(frame->mainPage()), base + QStringList({"virtual:twin-a", "virtual:twin-b"}));
        QCOMPARE(tileNames(frame->mainPage()).mid(base.size()), (QStringList{"Twin #1", "Twin #2"}));

        // Unplugging the first leaves the second; a removal in other letter case works too.
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Twin", "virtual:twin-b")}));
        QTRY_COMPARE(tilePaths(frame->mainPage()), base + QStringList({"virtual:twin-b"}));
        frame->onConnectionChanged(false, "VIRTUAL:TWIN-B");
        QCOMPARE(tilePaths(frame->mainPage()), base);

        // An arrival whose path the scan does not hold adds nothing.
        frame->onConnectionChanged(true, "virtual:not-there");
        QCOMPARE(tilePaths(frame->mainPage()), base);
    }

    void clickOpensAndUnplugReturnsToTheList()
    {
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Keep", "virtual:keep"), camera("Open", "virtual:open")}));
        QTRY_COMPARE(frame->mainPage()->cameraButtons().size(), 2);
        QCOMPARE(openFromList(1), int(Success));
        QCOMPARE(frame->currentPage(), 1);
        QCOMPARE(currentCameraInfo().strDevicePath, QString("virtual:open"));

        // Unplugging another camera only removes its tile.
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Open", "virtual:open")}));
        QTRY_COMPARE(tilePaths(frame->mainPage()), QStringList({"virtual:open"}));
        QCOMPARE(frame->currentPage(), 1);
        QVERIFY(ICamera::instance()->camera());

        // Unplugging the open one closes it and brings the list back.
        QVERIFY(uitest::setVirtualCameras(QJsonArray{}));
        QTRY_COMPARE(frame->currentPage(), 0);
        QVERIFY(!ICamera::instance()->camera());
        QVERIFY(frame->mainPage()->cameraButtons().isEmpty());
    }

    void quitClosesTheCameraAndWritesTheConfigurationOnce()
    {
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Cam", "virtual:quit")}));
        QTRY_COMPARE(frame->mainPage()->cameraButtons().size(), 1);
        QCOMPARE(openFromList(0), int(Success));
        QFile::remove(IConfigureService::iniFilePath());
        uitest::startLog();
        MainFrame::s_nTrayOverride = 1;
        QVERIFY(quitsAfter([this] { frame->quit(); }));
        qInstallMessageHandler(nullptr);
        QCOMPARE(uitest::logCount("exit app--->"), 1);
        QVERIFY(!ICamera::instance()->camera());
        QVERIFY(frame->isHidden());
        QSettings ini(IConfigureService::iniFilePath(), QSettings::IniFormat);
        QCOMPARE(ini.value("lang/langid").toString(), QString("1033"));
        QVERIFY(ini.contains("cameraresolution/width"));
    }

    void closeWithATrayOnlyHides()
    {
        MainFrame::s_nTrayOverride = 1;
        uitest::startLog();
        QVERIFY(!quitsAfter([this] { frame->close(); }, 300));
        qInstallMessageHandler(nullptr);
        QVERIFY(frame->isHidden());
        QCOMPARE(uitest::logCount("exit app--->"), 1);

        // The title bar's close button hides without writing anything.
        frame->show();
        uitest::startLog();
        QVERIFY(!quitsAfter([this] { frame->titleWidget()->button(2)->click(); }, 300));
        qInstallMessageHandler(nullptr);
        QVERIFY(frame->isHidden());
        QCOMPARE(uitest::logCount("exit app--->"), 0);
    }

    void withoutATrayClosingQuits()
    {
        MainFrame::s_nTrayOverride = 0;
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Cam", "virtual:notray")}));
        QTRY_COMPARE(frame->mainPage()->cameraButtons().size(), 1);
        QCOMPARE(openFromList(0), int(Success));
        uitest::startLog();
        QVERIFY(quitsAfter([this] { frame->close(); }));
        qInstallMessageHandler(nullptr);
        QCOMPARE(uitest::logCount("exit app--->"), 1);
        QVERIFY(!ICamera::instance()->camera());

        // The title bar's close button would strand the program: it quits as well,
        // writing the configuration once.
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        uitest::startLog();
        QVERIFY(quitsAfter([this] { frame->titleWidget()->button(2)->click(); }));
        qInstallMessageHandler(nullptr);
        QCOMPARE(uitest::logCount("exit app--->"), 1);
    }
};

LUMIVO_UI_TEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
