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

namespace {

// A row of the dialog: indented, the label, then (when given) the control after a gap.
QHBoxLayout* indentedRow(QWidget* label, QWidget* control = nullptr, int labelStretch = 0)
{
    const double s = g_dScale;
    auto* row = new QHBoxLayout;
    row->addSpacing(int(20 * s));
    row->addWidget(label, labelStretch);
    if (control) {
        row->addSpacing(int(20 * s));
        row->addWidget(control);
    }
    row->addStretch();
    return row;
}

QHBoxLayout* headingRow(QWidget* label)
{
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addStretch();
    return row;
}

} // namespace

void ISettingFrame::initUI()
{
    const double s = g_dScale;
    m_pStack = new QStackedWidget;
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, int(40 * s), 0, 0);
    outer->setSpacing(0);
    outer->addWidget(m_pStack);

    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    box->setSpacing(int(10 * s));
    box->setContentsMargins(int(20 * s), int(20 * s), int(20 * s), int(20 * s));
    addAboutRows(box);
    box->addSpacing(int(10 * s));
    addCameraRows(box);
    box->addSpacing(int(10 * s));
    box->addStretch();

    m_pStack->addWidget(page);
    adjustSize();
}

void ISettingFrame::addAboutRows(QVBoxLayout* box)
{
    const QFont font = createFont(12);
    const QColor heading(153, 153, 153);
    const QColor body(51, 51, 51);
    box->addLayout(headingRow(createLabel(tr("About"), heading, font)));
    auto* nameRow = indentedRow(createLabel(tr("Software name:"), body, font));
    nameRow->insertWidget(2, createLabel(IConfigureService::s_strProductName, body, font));
    box->addLayout(nameRow);
    auto* versionRow = indentedRow(createLabel(tr("Software version:"), body, font));
    versionRow->insertWidget(2, createLabel(IConfigureService::s_strVersion, body, font));
    box->addLayout(versionRow);
    box->addSpacing(int(10 * g_dScale));
    box->addLayout(headingRow(createLabel(tr("Language settings"), heading, font)));
    m_pLanguageBox = createComboBox(25, 25, createFont(12), createFont(12));
    box->addLayout(indentedRow(m_pLanguageBox));
}

ISwitchButton* ISettingFrame::createStoredSwitch(const QString& name, std::atomic<bool>& setting, const QString& key,
                                                 std::function<void()> changed)
{
    auto* button = createSwitchButton(name, this);
    button->setStatus(setting);
    connect(button, &ISwitchButton::statusChanged, this, [&setting, key, changed](bool on) {
        if (on == setting)
            return;
        setting = on;
        IConfigureService::instance()->setValue(key, on);
        if (changed)
            changed();
    });
    return button;
}

void ISettingFrame::addCameraRows(QVBoxLayout* box)
{
    const QFont font = createFont(12);
    const QColor body(51, 51, 51);
    box->addLayout(headingRow(createLabel(tr("Cameras"), QColor(153, 153, 153), font)));

    // Stored at once: a camera plugged in a moment later already follows it.
    m_pRememberSwitch = createStoredSwitch(QStringLiteral("rememberCameraSettings"),
                                           IConfigureService::s_bRememberCameraSettings,
                                           IConfigureService::kRememberCameraSettingsKey);
    box->addLayout(indentedRow(createLabel(tr("Remember camera settings"), body, font), m_pRememberSwitch));

    // Takes effect for the cameras opened from now on; the list follows at once.
    m_pPipeWireSwitch = createStoredSwitch(QStringLiteral("usePipeWire"), IConfigureService::s_bUsePipeWire,
                                           IConfigureService::kUsePipeWireKey,
                                           [] { capture::CaptureSystem::instance()->pipeWireSettingChanged(); });
    box->addLayout(indentedRow(createLabel(tr("Use PipeWire when available"), body, font), m_pPipeWireSwitch));

    // Whether the guard puts stored values back after another program's opening burst.
    m_pKeepSwitch = createStoredSwitch(QStringLiteral("keepCameraSettings"), IConfigureService::s_bKeepCameraSettings,
                                       IConfigureService::kKeepCameraSettingsKey);
    auto* keepLabel = createLabel(tr("Keep my camera settings when other programs change them"), body, font);
    keepLabel->setWordWrap(true);
    keepLabel->setMaximumWidth(int(240 * g_dScale));  // two lines rather than a switch pushed off the edge
    box->addLayout(indentedRow(keepLabel, m_pKeepSwitch, 1));

    createAutostartSwitch();
    box->addLayout(indentedRow(createLabel(tr("Start Lumivo when I log in"), body, font), m_pAutostartSwitch));
    auto* noteRow = new QHBoxLayout;
    noteRow->addSpacing(int(20 * g_dScale));
    noteRow->addWidget(m_pAutostartNote, 1);
    box->addLayout(noteRow);
}

void ISettingFrame::createAutostartSwitch()
{
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
