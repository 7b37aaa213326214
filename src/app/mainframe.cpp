#include "app/mainframe.h"

#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "app/isettingframe.h"
#include "widgets/istylehelper.h"
#include "app/ititlewidget.h"
#include "app/icamerapage.h"
#include "app/icameraguard.h"
#include "app/icamerasettingskeeper.h"
#include "app/iresumelistener.h"
#include "widgets/icamerabutton.h"
#include "app/imainpage.h"
#include "capture/iwinusbdevice.h"
#include "app/iapplication.h"
#include "app/iscreenshottour.h"
#include "base/iconfigureservice.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStackedLayout>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

int MainFrame::s_nTrayOverride = -1;
void (*MainFrame::s_pQuitFunction)() = &QCoreApplication::quit;

void MainFrame::quitApplication()
{
    QTimer::singleShot(0, qApp, [] { s_pQuitFunction(); });
}

MainFrame::MainFrame(IApplication* app, QWidget* parent) : QWidget(parent), m_pApp(app)
{
    IConfigureService::instance()->readConfigure();
    setWindowTitle(IConfigureService::s_strProductName);
    initUI();
    initTray();
    // Cameras present now get what was stored for them, whether the window shows or not.
    m_pSettingsKeeper = new ICameraSettingsKeeper(ICameraSettingsStore::defaultFilePath(), this);
    m_pSettingsKeeper->attach(m_pCameraPage);
    m_pCameraPage->setSettingsKeeper(m_pSettingsKeeper);
    m_pSettingsKeeper->applyPresent();
    m_pGuard = new ICameraGuard(m_pSettingsKeeper, this);
    connect(m_pGuard, &ICameraGuard::usageChanged, this, &MainFrame::showUsage);
    // A camera that slept with the machine may wake with its firmware's defaults.
    m_pResume = new IResumeListener(this);
    connect(m_pResume, &IResumeListener::resumed, m_pSettingsKeeper, [this] {
        qDebug() << "camera settings: the system resumed; writing them back";
        m_pSettingsKeeper->applyPresent();
    });
    // However the program ends, a streaming camera is stopped and its device released
    // before the process goes away.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [] { ICamera::instance()->closeCamera(); });
}

MainFrame::~MainFrame() { qDebug() << "delete MainFrame--->"; }

bool MainFrame::hasTray()
{
    if (s_nTrayOverride >= 0)
        return s_nTrayOverride > 0;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void MainFrame::initUI()
{
    setFocusPolicy(Qt::StrongFocus);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint);
    setObjectName("mainframe");
    setStyleSheet("QWidget#mainframe{background-color:#D5E2F5;}");

    m_pMainPage = new IMainPage(m_pApp, this);
    m_pCameraPage = new ICameraPage(m_pApp, this);
    m_pTitleWidget = new ITitleWidget(m_pApp, this);

    m_pStack = new QStackedLayout;
    m_pStack->insertWidget(0, m_pMainPage);
    m_pStack->insertWidget(1, m_pCameraPage);
    m_pStack->setCurrentIndex(0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pTitleWidget);
    layout->addWidget(createRoundLabel(1, QColor("#ACACAC")));
    layout->addLayout(m_pStack);
    adjustSize();
}

void MainFrame::initTray()
{
    auto* tray = m_pTray = new QSystemTrayIcon(QIcon(":/utils/application.ico"), this);
    tray->setToolTip(QObject::tr("Lumivo"));

    auto* menu = new QMenu;
    menu->setFont(createFont(10));
    menu->setStyleSheet(QString("QMenu { background-color: #ffffff; border: 1px solid #cccccc; }"
                                "QMenu::item { height: %1px; padding: %2px; }"
                                "QMenu::item:selected { background-color: rgb(200,200,200); }")
                            .arg(20 * g_dScale, 0, 'g', 6)
                            .arg(10 * g_dScale, 0, 'g', 6));
    QAction* name = menu->addAction(QObject::tr("Lumivo"));
    name->setEnabled(false);
    QAction* version = menu->addAction(tr("Version") + QString::fromUtf8("：%1").arg(IConfigureService::s_strVersion));
    version->setEnabled(false);
    menu->addSeparator();
    QAction* settings = menu->addAction(tr("Settings"));
    QAction* quitAction = menu->addAction(tr("Quit"));

    connect(settings, &QAction::triggered, [this] { settingFrame()->setVisibleCentered(true); });
    connect(quitAction, &QAction::triggered, [this] { quit(); });
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (QGuiApplication::mouseButtons() & Qt::RightButton)
            return;
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            show();
    });
    tray->setContextMenu(menu);
    tray->setVisible(true);
}

void MainFrame::showUsage()
{
    const QList<ICameraGuard::Use> uses = m_pGuard ? m_pGuard->inUse() : QList<ICameraGuard::Use>();
    for (ICameraButton* tile : m_pMainPage->cameraButtons())
        tile->setHolders(m_pGuard ? m_pGuard->holdersOf(tile->cameraInfo.strDevicePath) : QStringList());
    if (!m_pTray)
        return;
    QStringList lines;
    for (const ICameraGuard::Use& use : uses)
        lines << tr("%1: in use by %2").arg(use.name, use.programs.join(QStringLiteral(", ")));
    m_pTray->setToolTip(lines.isEmpty() ? QObject::tr("Lumivo") : lines.join(QLatin1Char('\n')));
    static const QIcon plain(":/utils/application.ico");
    static const QIcon inUse = [] {
        // The program's icon with an amber dot: a camera is in use by another program.
        QPixmap pixmap = QIcon(":/utils/application.ico").pixmap(64, 64);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 4));
        painter.setBrush(QColor("#E67E00"));
        painter.drawEllipse(QRectF(34, 34, 28, 28));
        return QIcon(pixmap);
    }();
    m_pTray->setIcon(lines.isEmpty() ? plain : inUse);
}

void MainFrame::start(bool hidden)
{
    setFixedSize(int(400 * g_dScale), int(760 * g_dScale));
    auto* watcher = new IWinUsbDevice(nullptr);
    connect(watcher, &IWinUsbDevice::connectionChanged, this, &MainFrame::onConnectionChanged);
    showUsage();
    // Started hidden, the window waits in the tray; without one it could never be reached.
    if (hidden && hasTray())
        qDebug() << "started hidden in the tray";
    else
        show();
    IScreenshotTour::fromArguments(this, QCoreApplication::arguments());
}

void MainFrame::showCameraPage(ICameraInfo info)
{
    setCurrentPage(1);
    m_pCameraPage->openCamera(info);
}

void MainFrame::setCurrentPage(int index) { m_pStack->setCurrentIndex(index); }

int MainFrame::currentPage() const { return m_pStack->currentIndex(); }

ISettingFrame* MainFrame::settingFrame()
{
    if (!m_pSettingFrame)
        m_pSettingFrame = new ISettingFrame(m_pApp, this);
    return m_pSettingFrame;
}

void MainFrame::onConnectionChanged(bool bConnected, QString strName)
{
    if (bConnected) {
        const QList<ICameraInfo> cameras = ICamera::instance()->cameraList(0);
        for (const ICameraInfo& info : cameras) {
            if (info.strDevicePath.compare(strName, Qt::CaseInsensitive) == 0)
                m_pMainPage->addCamera(info);
        }
        showUsage();
        return;
    }
    ICameraInfo removed;
    removed.strDevicePath = strName;
    m_pMainPage->removeCamera(removed);
    if (strName.compare(currentCameraInfo().strDevicePath, Qt::CaseInsensitive) == 0) {
        ICamera::instance()->closeCamera();
        setCurrentPage(0);
    }
}

void MainFrame::quit()
{
    m_bQuitting = true;
    ICamera::instance()->closeCamera();
    close();
    quitApplication();
}

void MainFrame::closeEvent(QCloseEvent* event)
{
    // Without a tray a closed window could never be reached again: closing is quitting.
    const bool quitNow = !m_bQuitting && !hasTray();
    if (quitNow) {
        m_bQuitting = true;
        ICamera::instance()->closeCamera();
    }
    IConfigureService::instance()->writeConfigure();
    qDebug() << "exit app--->";
    QWidget::closeEvent(event);
    if (quitNow)
        quitApplication();
}

void MainFrame::showEvent(QShowEvent* event)
{
    setAttribute(Qt::WA_Mapped, true);
    m_bQuitting = false; // shown again: whatever closed it did not end the program
    QWidget::showEvent(event);
}

void MainFrame::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // The title bar's close button only hides the window; without a tray that would
    // strand the program, so it quits instead. A spontaneous hide is a minimise.
    if (!event->spontaneous() && !m_bQuitting && !hasTray())
        QTimer::singleShot(0, this, [this] {
            if (!m_bQuitting && isHidden())
                close();
        });
}
