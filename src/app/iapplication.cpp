#include "app/iapplication.h"

#include "base/appenvironment.h"
#include "base/iservice.h"
#include "app/mainframe.h"

#include <QDebug>
#include <QScreen>

IApplication::IApplication(const QString& id, int& argc, char** argv) : ISingleApplication(id, argc, argv)
{
    IService::s_mainWidgetOf = [](IApplication* app) -> QWidget* { return app->mainFrame(); };
}

IApplication::~IApplication()
{
    delete m_pMainFrame;
    m_pMainFrame = nullptr;
}

MainFrame* IApplication::mainFrame() const { return m_pMainFrame; }

void IApplication::initScaleFactors()
{
    const QSize size = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry().size()
                                                        : QSize(1920, 1080);
    applyScaleFactors(computeScaleFactors(size.width(), size.height()));
    qDebug() << "auto adjsize:" << g_dScaleX << g_dScaleY << g_dScale << size.width() << size.height();
}

void IApplication::createMainFrame()
{
    if (m_pMainFrame)
        return;
    initScaleFactors();
    m_pMainFrame = new MainFrame(this);
    m_pMainFrame->start(startsHidden(arguments()));
}

int IApplication::exec()
{
    createMainFrame();
    return QApplication::exec();
}

bool IApplication::startsHidden(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--hidden"));
}

bool IApplication::notify(QObject* receiver, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: emit sgGMousePressEvent(static_cast<QMouseEvent*>(event)); break;
    case QEvent::MouseButtonRelease: emit sgGMouseReleaseEvent(static_cast<QMouseEvent*>(event)); break;
    case QEvent::MouseMove: emit sgGMouseMoveEvent(static_cast<QMouseEvent*>(event)); break;
    default: break;
    }
    return QApplication::notify(receiver, event);
}

void onInstanceMessage(QString message)
{
    if (message != QLatin1String("raise_window_noop"))
        return;
    auto* app = qobject_cast<IApplication*>(QCoreApplication::instance());
    if (!app || !app->mainFrame())
        return;
    MainFrame* frame = app->mainFrame();
    if (frame->isHidden()) {
        frame->show();  // waiting in the tray
        frame->activateWindow();
    } else if (frame->isMinimized()) {
        frame->showNormal();
    } else {
        frame->activateWindow();
        frame->raise();
    }
}
