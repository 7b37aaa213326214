#include "mainframe.h"

#include "appenvironment.h"
#include "service/iconfigureservice.h"

#include <QCloseEvent>
#include <QDebug>

MainFrame::MainFrame(IApplication* app, QWidget* parent) : QWidget(parent), m_pApp(app)
{
    IConfigureService::instance()->readConfigure();
    setWindowTitle(IConfigureService::s_strProductName);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
}

MainFrame::~MainFrame() = default;

void MainFrame::start()
{
    setFixedSize(int(400 * g_dScale), int(760 * g_dScale));
    show();
}

void MainFrame::closeEvent(QCloseEvent* event)
{
    IConfigureService::instance()->writeConfigure();
    qDebug() << "exit app--->";
    QWidget::closeEvent(event);
}
