#include "mainwindow.h"

#include "appenvironment.h"
#include "camera/icamera.h"
#include "camera/icamerainfo.h"
#include "customui/icamerabutton.h"
#include "customui/page/imainpage.h"
#include "iapplication.h"
#include "mainframe.h"
#include "service/iconfigureservice.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
int g_quitRequests = 0;
}

int MainWindow::run(QObject* test, int argc, char** argv)
{
    IApplication app(QStringLiteral("LumivoUiTest"), argc, argv);
    registerCameraMetaTypes();
    applyScaleFactors(computeScaleFactors(1920, 1080));
    return QTest::qExec(test, argc, argv);
}

MainFrame* MainWindow::create()
{
    IConfigureService::s_strLangId = "1033";
    MainFrame::s_pQuitFunction = [] { ++g_quitRequests; };
    auto* app = qobject_cast<IApplication*>(qApp);
    app->createMainFrame();
    if (!QTest::qWaitForWindowExposed(app->mainFrame()))
        qWarning("main window not shown");
    return app->mainFrame();
}

MainFrame* MainWindow::frame() { return qobject_cast<IApplication*>(qApp)->mainFrame(); }

int MainWindow::open(const QString& path)
{
    QSignalSpy result(ICamera::instance(), &ICamera::sgResult);
    ICameraButton* tile = nullptr;
    for (ICameraButton* b : frame()->mainPage()->cameraButtons())
        if (!tile && b->cameraInfo.strDevicePath == path)
            tile = b;
    if (tile) {
        tile->click();
    } else {
        for (const ICameraInfo& info : ICamera::instance()->cameraList(0))
            if (info.strDevicePath == path)
                frame()->showCameraPage(info);
    }
    if (!result.wait(10000))
        return -1;
    QCoreApplication::processEvents();
    return result.first().first().value<IResult>();
}

QStringList MainWindow::tilePaths()
{
    QStringList paths;
    for (ICameraButton* b : frame()->mainPage()->cameraButtons())
        paths << b->cameraInfo.strDevicePath;
    return paths;
}

QStringList MainWindow::tileNames()
{
    QStringList names;
    for (ICameraButton* b : frame()->mainPage()->cameraButtons())
        names << b->cameraInfo.strDisplayName;
    return names;
}

bool MainWindow::quitsAfter(const std::function<void()>& action, int ms)
{
    const int before = g_quitRequests;
    action();
    return QTest::qWaitFor([&] { return g_quitRequests > before; }, ms);
}
