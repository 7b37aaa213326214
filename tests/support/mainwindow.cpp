#include "mainwindow.h"

#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "widgets/icamerabutton.h"
#include "app/imainpage.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
int g_quitRequests = 0;
MainFrame* frame() { return qobject_cast<IApplication*>(qApp)->mainFrame(); }
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
    qobject_cast<IApplication*>(qApp)->createMainFrame();
    if (!QTest::qWaitForWindowExposed(frame()))
        qWarning("main window not shown");
    return frame();
}

int MainWindow::open(const QString& path)
{
    QSignalSpy result(ICamera::instance(), &ICamera::sgResult);
    const int tile = tilePaths().indexOf(path);
    if (tile >= 0)
        frame()->mainPage()->cameraButtons().at(tile)->click();
    for (const ICameraInfo& info : ICamera::instance()->cameraList(0))
        if (tile < 0 && info.strDevicePath == path)
            frame()->showCameraPage(info);
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

bool MainWindow::quitsAfter(const std::function<void()>& action, int ms)
{
    const int before = g_quitRequests;
    action();
    return QTest::qWaitFor([&] { return g_quitRequests > before; }, ms);
}
