#include "app/isettingframe.h"

#include "app/iautostart.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"
#include "widgets/iswitchbutton.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"
#include "capture/capturesystem.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

const char* const ISettingFrame::kRestartMarker = "LUMIVO_RESTARTED";

ISettingFrame::ISettingFrame(IApplication* application, QWidget* parent) : IBaseDialog(tr("Settings"), true, parent)
{
    app = application;
    initLanguages();
    initUI();
    setMoveEnable(true);
    setRadius(0);
}

void ISettingFrame::initLanguages()
{
    languages.clear();
    languages.append({QStringLiteral("2052"), QString::fromUtf8("简体中文")});
    languages.append({QStringLiteral("1033"), QStringLiteral("English")});
}

void ISettingFrame::initUI()
{
    const double s = g_dScale;
    const QFont font = createFont(12);
    const QColor heading(153, 153, 153);
    const QColor body(51, 51, 51);

    m_pStack = new QStackedWidget;
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, int(40 * s), 0, 0);
    outer->setSpacing(0);
    outer->addWidget(m_pStack);

    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    box->setSpacing(int(10 * s));
    box->setContentsMargins(int(20 * s), int(20 * s), int(20 * s), int(20 * s));

    auto* aboutRow = new QHBoxLayout;
    aboutRow->addWidget(createLabel(tr("About"), heading, font));
    aboutRow->addStretch();

    auto* nameRow = new QHBoxLayout;
    nameRow->addSpacing(int(20 * s));
    nameRow->addWidget(createLabel(tr("Software name:"), body, font));
    nameRow->addWidget(createLabel(IConfigureService::s_strProductName, body, font));
    nameRow->addStretch();

    auto* versionRow = new QHBoxLayout;
    versionRow->addSpacing(int(20 * s));
    versionRow->addWidget(createLabel(tr("Software version:"), body, font));
    versionRow->addWidget(createLabel(IConfigureService::s_strVersion, body, font));
    versionRow->addStretch();

    auto* languageHeading = new QHBoxLayout;
    languageHeading->addWidget(createLabel(tr("Language settings"), heading, font));
    languageHeading->addStretch();

    m_pLanguageBox = createComboBox(25, 25, createFont(12), createFont(12));
    auto* languageRow = new QHBoxLayout;
    languageRow->addSpacing(int(20 * s));
    languageRow->addWidget(m_pLanguageBox);
    languageRow->addStretch();

    auto* cameraHeading = new QHBoxLayout;
    cameraHeading->addWidget(createLabel(tr("Cameras"), heading, font));
    cameraHeading->addStretch();

    // Stored at once: a camera plugged in a moment later already follows it.
    m_pRememberSwitch = createSwitchButton(QStringLiteral("rememberCameraSettings"), this);
    m_pRememberSwitch->setStatus(IConfigureService::s_bRememberCameraSettings);
    connect(m_pRememberSwitch, &ISwitchButton::statusChanged, this, [](bool on) {
        if (on == IConfigureService::s_bRememberCameraSettings)
            return;
        IConfigureService::s_bRememberCameraSettings = on;
        IConfigureService::instance()->setValue(IConfigureService::kRememberCameraSettingsKey, on);
    });
    auto* rememberRow = new QHBoxLayout;
    rememberRow->addSpacing(int(20 * s));
    rememberRow->addWidget(createLabel(tr("Remember camera settings"), body, font));
    rememberRow->addSpacing(int(20 * s));
    rememberRow->addWidget(m_pRememberSwitch);
    rememberRow->addStretch();

    // Takes effect for the cameras opened from now on; the list follows at once.
    m_pPipeWireSwitch = createSwitchButton(QStringLiteral("usePipeWire"), this);
    m_pPipeWireSwitch->setStatus(IConfigureService::s_bUsePipeWire);
    connect(m_pPipeWireSwitch, &ISwitchButton::statusChanged, this, [](bool on) {
        if (on == IConfigureService::s_bUsePipeWire)
            return;
        IConfigureService::s_bUsePipeWire = on;
        IConfigureService::instance()->setValue(IConfigureService::kUsePipeWireKey, on);
        capture::CaptureSystem::instance()->pipeWireSettingChanged();
    });
    auto* pipeWireRow = new QHBoxLayout;
    pipeWireRow->addSpacing(int(20 * s));
    pipeWireRow->addWidget(createLabel(tr("Use PipeWire when available"), body, font));
    pipeWireRow->addSpacing(int(20 * s));
    pipeWireRow->addWidget(m_pPipeWireSwitch);
    pipeWireRow->addStretch();

    // Whether the guard puts stored values back after another program's opening burst.
    m_pKeepSwitch = createSwitchButton(QStringLiteral("keepCameraSettings"), this);
    m_pKeepSwitch->setStatus(IConfigureService::s_bKeepCameraSettings);
    connect(m_pKeepSwitch, &ISwitchButton::statusChanged, this, [](bool on) {
        if (on == IConfigureService::s_bKeepCameraSettings)
            return;
        IConfigureService::s_bKeepCameraSettings = on;
        IConfigureService::instance()->setValue(IConfigureService::kKeepCameraSettingsKey, on);
    });
    auto* keepLabel = createLabel(tr("Keep my camera settings when other programs change them"), body, font);
    keepLabel->setWordWrap(true);
    keepLabel->setMaximumWidth(int(240 * s));  // two lines rather than a switch pushed off the edge
    auto* keepRow = new QHBoxLayout;
    keepRow->addSpacing(int(20 * s));
    keepRow->addWidget(keepLabel, 1);
    keepRow->addSpacing(int(20 * s));
    keepRow->addWidget(m_pKeepSwitch);
    keepRow->addStretch();

    // The autostart entry is the setting itself: the switch shows whether it is there.
    m_pAutostartSwitch = createSwitchButton(QStringLiteral("startAtLogin"), this);
    m_pAutostartSwitch->setStatus(IAutostart::isEnabled());
    m_pAutostartNote = createLabel(QString(), QColor(231, 20, 26), createFont(10));
    m_pAutostartNote->setWordWrap(true);
    m_pAutostartNote->hide();
    connect(m_pAutostartSwitch, &ISwitchButton::statusChanged, this, [this](bool on) {
        if (on == IAutostart::isEnabled())
            return;
        QString error;
        if (IAutostart::setEnabled(on, QCoreApplication::applicationFilePath(), &error)) {
            m_pAutostartNote->hide();
            return;
        }
        qDebug().noquote() << "autostart:" << error;
        m_pAutostartNote->setText(tr("Lumivo cannot start when you log in: %1").arg(error));
        m_pAutostartNote->show();
        QTimer::singleShot(0, m_pAutostartSwitch, [this, on] { m_pAutostartSwitch->setStatus(!on); });
    });
    auto* autostartRow = new QHBoxLayout;
    autostartRow->addSpacing(int(20 * s));
    autostartRow->addWidget(createLabel(tr("Start Lumivo when I log in"), body, font));
    autostartRow->addSpacing(int(20 * s));
    autostartRow->addWidget(m_pAutostartSwitch);
    autostartRow->addStretch();
    auto* autostartNoteRow = new QHBoxLayout;
    autostartNoteRow->addSpacing(int(20 * s));
    autostartNoteRow->addWidget(m_pAutostartNote, 1);

    box->addLayout(aboutRow);
    box->addLayout(nameRow);
    box->addLayout(versionRow);
    box->addSpacing(int(10 * s));
    box->addLayout(languageHeading);
    box->addLayout(languageRow);
    box->addSpacing(int(10 * s));
    box->addLayout(cameraHeading);
    box->addLayout(rememberRow);
    box->addLayout(pipeWireRow);
    box->addLayout(keepRow);
    box->addLayout(autostartRow);
    box->addLayout(autostartNoteRow);
    box->addSpacing(int(10 * s));
    box->addStretch();

    m_pStack->addWidget(page);
    adjustSize();
}

QComboBox* ISettingFrame::createComboBox(int boxHeight, int itemHeight, const QFont& boxFont, const QFont& itemFont)
{
    const double s = g_dScale;
    auto* combo = new QComboBox;
    auto* view = new QListView;
    view->setFont(itemFont);
    combo->setView(view);
    combo->setFont(boxFont);
    combo->setStyleSheet(
        QString("QComboBox {   border: %1px solid rgb(204,204,204);   border-radius: %3px;   padding: %1px %2px %1px "
                "%2px;   height: %5px;   color: rgb(100,100,100);} QComboBox QAbstractItemView::item {   height: "
                "%6px;} QComboBox::drop-down {   subcontrol-origin: padding;   subcontrol-position: top right;   "
                "width: %4px;   color: rgb(100,100,100);   border-left-width: %1px;   border-left-color: "
                "rgb(204,204,204);   border-left-style: solid;   border-top-right-radius: %3px;   "
                "border-bottom-right-radius: %3px;} QComboBox::down-arrow {   width: %7px;   height: %7px;   image: "
                "url(:/utils/downArrow.svg);} QScrollBar:vertical {   border: none;   background: rgba(0,0,0,0);   "
                "width: %8px;   margin: 0px 0px 0px 0px;}QScrollBar::handle:vertical {   background: rgba(0, 0, 0, "
                "30%);   border-radius: %9px;   min-height: 20px;}QScrollBar::handle:vertical:hover {   background: "
                "rgba(0, 0, 0, 50%);}QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical {   background: "
                "rgba(0, 0, 0, 0);   border: none;   height: 0px;}QScrollBar::up-arrow:vertical, "
                "QScrollBar::down-arrow:vertical {   background: rgba(0, 0, 0, 0);   border: none;   width: 0px;   "
                "height: 0px;}QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {   background: rgba(0, 0, "
                "0, 0);}")
            .arg(s)
            .arg(2 * s)
            .arg(3 * s)
            .arg(30 * s)
            .arg(boxHeight * s)
            .arg(itemHeight * s)
            .arg(20 * s)
            .arg(8 * s)
            .arg(4 * s));
    combo->setMinimumWidth(int(150 * s));
    auto* model = qobject_cast<QStandardItemModel*>(combo->model());
    for (const auto& language : languages) {
        combo->addItem(language.second, language.first);
        if (model)
            model->item(combo->count() - 1)->setForeground(QColor(100, 100, 100));
        if (language.first == IConfigureService::s_strLangId)
            combo->setCurrentIndex(combo->count() - 1);
    }
    // Connected only now, so that filling the list never counts as a change.
    connect(combo, SIGNAL(currentIndexChanged(int)), this, SLOT(slCurrentIndexChanged(int)));
    return combo;
}

void ISettingFrame::setVisibleCentered(const bool& visible)
{
    if (!visible) {
        accept();
        return;
    }
    if (QWidget* p = parentWidget())
        move(p->x() + (p->width() - width()) / 2, p->y() + (p->height() - height()) / 2);
    exec();
}

void ISettingFrame::slCurrentIndexChanged(int)
{
    auto* combo = qobject_cast<QComboBox*>(sender());
    if (!combo)
        return;
    const QString id = combo->currentData(Qt::UserRole).toString();
    if (id == IConfigureService::s_strLangId)
        return;
    IConfigureService::instance()->setLanguage(id);
    accept();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ISettingFrame::restart, Qt::UniqueConnection);
    if (app && app->mainFrame())
        app->mainFrame()->close();
    // Closing the last window quits; a window that was already hidden is no longer
    // counted, so quit explicitly as well.
    MainFrame::quitApplication();
}

void ISettingFrame::restart()
{
    // Give up the single-instance lock and socket first: the new copy must find the
    // place free, not take this quitting copy for a running one and exit.
    if (app)
        app->releaseInstance();
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments(arguments);
    process.setWorkingDirectory(QDir::currentPath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kRestartMarker, "1");
    process.setProcessEnvironment(env);
    if (!process.startDetached())
        qDebug() << "ISettingFrame::restart--> could not start" << process.program();
}
