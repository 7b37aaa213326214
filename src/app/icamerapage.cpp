#include "app/icamerapage.h"

#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "widgets/icamerabutton.h"
#include "widgets/ifilterbutton.h"
#include "widgets/islider.h"
#include "widgets/istylehelper.h"
#include "widgets/iswitchbutton.h"
#include "widgets/itxtbutton.h"
#include "widgets/icamerapreview.h"
#include "capture/cameraproperty.h"
#include "capture/controlwriter.h"
#include "capture/designatedmodel.h"
#include "app/iapplication.h"
#include "app/icamerasettingskeeper.h"
#include "app/idevicecontrolsdialog.h"
#include "app/iphototaker.h"
#include "app/mainframe.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QSignalBlocker>
#include <QScrollArea>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

#include <linux/videodev2.h>

namespace {

// A look is a preset of camera controls, so the camera itself produces it.
struct FilterPreset
{
    int key;
    int brightness;
    int contrast;
    int saturation;
    int sharpness;
    bool autoWhiteBalance;
    int whiteBalance; // sent only when automatic white balance is off
};

constexpr FilterPreset kPresets[] = {
    {11, 32, 32, 32, 32, true, 0},     // Original
    {12, 45, 40, 32, 32, true, 0},     // Bright
    {13, 32, 32, 32, 32, false, 3800}, // Blossom
    {14, 32, 25, 35, 40, false, 3600}, // Forest
    {15, 32, 32, 25, 32, false, 7000}, // Film
    {16, 32, 32, 0, 32, true, 0},      // Mono
};

const QStringList kDesignatedSizes = {"1280x720", "1920x1080", "3840x2160"};

ICamera* camera() { return ICamera::instance(); }

// The resolution an entry holds; an entry without one (the placeholders, or no entry
// at all) stands for "nothing asked for": both sizes 0 x 0 and rate 0.
CameraResolution entryResolution(const QComboBox* box)
{
    const QVariant data = box->currentData();
    if (data.userType() == qMetaTypeId<CameraResolution>())
        return data.value<CameraResolution>();
    CameraResolution none;
    none.size = QSize(0, 0);
    none.captureSize = QSize(0, 0);
    none.rate = 0;
    return none;
}

} // namespace

ICameraPage::ICameraPage(IApplication* application, QWidget* parent) : IBaseWidget(parent)
{
    app = application;
    initUI();
    connect(camera(), &ICamera::sgResult, this, &ICameraPage::slResult);
    connect(camera(), &ICamera::sgPreviewImage, this, &ICameraPage::slPreviewImage);
    connect(camera(), &ICamera::sgStreamState, this, &ICameraPage::slStreamState);
    connect(m_pPreview, &ICameraPreview::sgAreaChanged, camera(), &ICamera::setPreviewArea);
    connect(camera(), &ICamera::sgControlEvent, this, &ICameraPage::slControlEvent);
    connect(camera(), &ICamera::sgRunCopyImage, [this] {
        if (m_pControlsDialog)  // the camera goes, and its controls with it
            m_pControlsDialog->close();
        m_pPreview->setImage(QImage());
        m_pPhotoTaker->placeButton();
    });
    // Watches an open camera for frames (see checkFrames); runs only while one is open.
    m_pFrameWatch = new QTimer(this);
    m_pFrameWatch->setInterval(500);
    connect(m_pFrameWatch, &QTimer::timeout, this, &ICameraPage::checkFrames);
    // No frame is decoded while the preview is not seen (hidden, minimised), so the watch
    // pauses; seen again, the camera gets the whole grace period anew.
    connect(m_pPreview, &ICameraPreview::sgAreaChanged, this, [this](const QSize& area) {
        if (area.isEmpty()) {
            m_pFrameWatch->stop();
        } else if (m_bStreaming && camera()->camera() && !m_pFrameWatch->isActive()) {
            m_lastFrame.start();
            m_pFrameWatch->start();
        }
    });
}

void ICameraPage::checkFrames()
{
    if (!camera()->camera() || !isVisible()) {
        m_pFrameWatch->stop();
        return;
    }
    if (m_bSilenceShown || m_lastFrame.elapsed() < kSilentCameraMs)
        return;
    m_bSilenceShown = true;
    qDebug() << "camera page: no frame for" << m_lastFrame.elapsed() << "ms from" << g_currentCameraInfo.strDevicePath;
    m_pPreview->setMessage(tr("The camera has stopped sending pictures."));
}

bool ICameraPage::isDesignatedModel(const ICameraInfo& info)
{
    return info.strVid.compare(QLatin1String(kDesignatedModel.vendorId), Qt::CaseInsensitive) == 0
        && info.strPid.compare(QLatin1String(kDesignatedModel.productId), Qt::CaseInsensitive) == 0;
}

void ICameraPage::initUI()
{
    const double s = g_dScale;

    ICameraInfo placeholder;
    placeholder.strDevicePath = QStringLiteral("Quorvan Camera");
    placeholder.strDisplayName = QStringLiteral("Quorvan Camera");
    ICameraButton* title = createCameraButton(KeyTitle, placeholder, false, this);

    IButton* backButton = createButton(KeyBack, tr("Back"), ":/utils/left.svg", QSize(20, 20));

    auto* topBar = new QHBoxLayout;
    topBar->setSpacing(0);
    topBar->addSpacing(int(10 * s));
    topBar->addWidget(backButton);
    topBar->addWidget(title);

    m_pPreview = new ICameraPreview(this);
    m_pPhotoTaker = new IPhotoTaker(this, m_pPreview);

    ITxtButton* parameterTab = createTxtButton(KeyParameterTab, tr("Parameter"), true, this);
    ITxtButton* filterTab = createTxtButton(KeyFilterTab, tr("Filter"), true, this);
    auto* tabs = new QButtonGroup(this);
    tabs->setExclusive(true);
    tabs->addButton(parameterTab);
    tabs->addButton(filterTab);
    parameterTab->setChecked(true);

    auto* tabBar = new QHBoxLayout;
    tabBar->addWidget(parameterTab);
    tabBar->addSpacing(int(3 * s));
    tabBar->addWidget(filterTab);

    m_pPanelStack = new QStackedLayout;
    m_pPanelStack->setContentsMargins(0, 0, 0, 0);
    m_pPanelStack->insertWidget(0, createParameterPanel());
    m_pPanelStack->insertWidget(1, createFilterPanel());

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, int(10 * s), 0, 0);
    layout->addLayout(topBar);
    layout->addWidget(m_pPreview);
    layout->addLayout(tabBar);
    layout->addLayout(m_pPanelStack);
    adjustSize();

    connect(backButton, &QToolButton::clicked, this, &ICameraPage::back);
    connect(parameterTab, &QToolButton::clicked, this, [this] {
        if (m_pPanelStack->currentIndex() != 0)
            m_pPanelStack->setCurrentIndex(0);
    });
    connect(filterTab, &QToolButton::clicked, this, [this] {
        if (m_pPanelStack->currentIndex() != 1)
            m_pPanelStack->setCurrentIndex(1);
    });
}

QScrollArea* ICameraPage::createParameterPanel()
{
    const double s = g_dScale;

    m_pResolutionBox = new QComboBox(this);
    m_pResolutionBox->setMaxVisibleItems(20);
    m_pResolutionBox->addItem("1920x1080");
    m_pResolutionBox->addItem("1600x1200");
    auto* view = new QListView;
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setFont(createFont(10, 50));
    m_pResolutionBox->setView(view);
    m_pResolutionBox->setFont(createFont(12, 50));
    m_pResolutionBox->setStyleSheet(
        QString("QComboBox {border: none;padding: %1px %2px 0px %2px;  height: %3px; color: #595757; "
                "background-color:transparent; } QComboBox QAbstractItemView {outline:0px;} QComboBox "
                "QAbstractItemView::item {border:none;height: %3px;} QComboBox QAbstractItemView::item:hover "
                "{background:red;} QComboBox QAbstractItemView::item:selected {background:rgb(200,200,200);} "
                "QComboBox::drop-down { width: 0px;  border: none; } QComboBox::down-arrow { image: none; } ")
            .arg(s)
            .arg(2 * s)
            .arg(25 * s));

    m_sliders.fill(nullptr);
    for (const capture::CameraProperty& row : capture::cameraProperties()) {
        if (!row.onPage)
            continue;
        auto* control = new ISlider(Qt::Horizontal);
        control->applyStyle(4, 10, 5, QColor(255, 0, 0), QColor(221, 221, 221), false);
        if (!row.hasAuto)
            control->setFixedWidth(int(220 * s));
        m_sliders[std::size_t(row.slot)] = control;
    }

    auto caption = [](const QString& text, const char* color) {
        return createLabel(text, QColor(color), createFont(10, 50));
    };

    auto* resolutionRow = new QHBoxLayout;
    resolutionRow->addSpacing(int(20 * s));
    resolutionRow->addWidget(caption(QObject::tr("Resolution"), "#595757"));
    resolutionRow->addStretch();
    resolutionRow->addWidget(m_pResolutionBox);
    resolutionRow->addSpacing(int(20 * s));

    // A property the camera may choose itself gets a grid with its Auto switch above
    // the slider; the others a caption and the slider on one row.
    auto controlGrid = [&](const capture::CameraProperty& row) {
        auto* grid = new QGridLayout;
        grid->setSpacing(int(3 * s));
        grid->setContentsMargins(int(20 * s), 0, int(20 * s), 0);
        grid->addWidget(caption(QObject::tr(row.autoCaption), "#595757"), 0, 0);
        grid->addWidget(createSwitchButton(autoSwitchKey(row.slot)), 0, 1);
        grid->addWidget(caption(QObject::tr(row.caption), "#ADADAD"), 1, 0);
        grid->addWidget(slider(row.slot), 2, 0, 1, 2);
        return grid;
    };
    auto valueRow = [&](const capture::CameraProperty& row) {
        auto* line = new QHBoxLayout;
        line->addSpacing(int(20 * s));
        line->addWidget(caption(QObject::tr(row.caption), "#595757"));
        line->addStretch();
        line->addWidget(slider(row.slot));
        line->addSpacing(int(20 * s));
        return line;
    };

    IButton* restore = createColorButton(KeyRestoreDefault, QObject::tr("Restore default"), QSize(100, 30),
                                         QColor(Qt::white), QColor("#E7141A"));
    IButton* more = createColorButton(KeyMoreControls, QObject::tr("More controls"), QSize(100, 30),
                                      QColor("#E7141A"), QColor("#F2F2F2"));
    auto* actions = new QHBoxLayout;
    actions->setSpacing(int(15 * s));
    actions->addStretch();
    actions->addWidget(restore);
    actions->addWidget(more);
    actions->addStretch();

    m_pParameterPanel = new QWidget(this);
    m_pParameterPanel->setObjectName("parameter");
    m_pParameterPanel->setStyleSheet(QString("QWidget#parameter {   background-color:white;   border: %1px solid "
                                             "#ACACAC;   border-radius: %2px;   margin-left: %3px;   margin-right: "
                                             "%3px;   margin-top: %4px;   margin-bottom: %4px;}")
                                         .arg(s)
                                         .arg(15 * s)
                                         .arg(int(20 * s))
                                         .arg(int(10 * s)));

    auto* box = new QVBoxLayout(m_pParameterPanel);
    box->setSpacing(int(15 * s));
    box->setContentsMargins(int(int(20 * s) + 10 * s), int(int(10 * s) + 10 * s), int(int(20 * s) + 10 * s), 0);
    box->addLayout(resolutionRow);
    box->addWidget(createDashedLine(1, QColor("#ACACAC")));
    for (const capture::CameraProperty& row : capture::cameraProperties()) {
        if (!row.onPage)
            continue;
        if (row.hasAuto) {
            box->addLayout(controlGrid(row));
            box->addWidget(createDashedLine(1, QColor("#ACACAC")));
        } else {
            box->addSpacing(int(5 * s));
            box->addLayout(valueRow(row));
        }
    }
    box->addSpacing(int(5 * s));
    box->addLayout(actions);
    box->addSpacing(int(10 * s + int(10 * s)));
    m_pParameterPanel->adjustSize();

    connectPanel();

    QScrollArea* area = createScrollArea();
    area->setWidget(m_pParameterPanel);
    return area;
}

void ICameraPage::connectPanel()
{
    for (const capture::CameraProperty& row : capture::cameraProperties()) {
        if (!row.onPage)
            continue;
        const capture::CameraProperty* property = &row;
        ISlider* control = slider(row.slot);
        connect(control, &QSlider::valueChanged, control, [this, property](int v) { send(*property, v); });
        if (!row.hasAuto)
            continue;
        auto* sw = static_cast<ISwitchButton*>(button(autoSwitchKey(row.slot)));
        connect(sw, &ISwitchButton::statusChanged, sw, [this, property](bool on) { onAutoSwitch(*property, on); });
    }

    connect(m_pResolutionBox, &QComboBox::currentTextChanged, m_pResolutionBox, [this](const QString&) {
        sendResolution(entryResolution(m_pResolutionBox));
    });
    connect(button(KeyRestoreDefault), &QToolButton::clicked, this, [this] { restoreDefaults(); });
    connect(button(KeyMoreControls), &QToolButton::clicked, this, &ICameraPage::showControlsDialog);
}

void ICameraPage::onAutoSwitch(const capture::CameraProperty& property, bool on)
{
    CameraParameter& parameter = g_currentCameraInfo.parameters[property.slot];
    ISlider* control = slider(property.slot);
    // Off, the value stays the one the camera chose: the slider takes it, nothing is written.
    if (!camera()->setControlAuto(property.v4l2Control, on)) {
        qDebug() << "camera page:" << property.name << "automatic mode stays" << (on ? "off" : "on");
        const QSignalBlocker quiet(button(autoSwitchKey(property.slot)));
        static_cast<ISwitchButton*>(button(autoSwitchKey(property.slot)))->setStatus(!on);
        return;
    }
    dshow::DeviceControl now;
    if (!on && camera()->control(property.v4l2Control, now)) {
        const QSignalBlocker quiet(control);
        control->setValue(int(now.value));
        parameter.value = int(now.value);
    }
    parameter.isAuto = on;
    control->setEnabled(!on);
}

void ICameraPage::send(const capture::CameraProperty& property, int value)
{
    qint64 landed = value;
    const bool written = camera()->setControl(property.v4l2Control, value, &landed);
    if (!written && landed != value) {
        const QSignalBlocker quiet(slider(property.slot));
        slider(property.slot)->setValue(int(landed));
    }
    g_currentCameraInfo.parameters[property.slot].value = int(landed);
    if (written && property.hasAuto) {  // writing a value switched the automatic mode off
        g_currentCameraInfo.parameters[property.slot].isAuto = false;
        const QSignalBlocker quiet(button(autoSwitchKey(property.slot)));
        static_cast<ISwitchButton*>(button(autoSwitchKey(property.slot)))->setStatus(false);
    }
}

void ICameraPage::slControlEvent(const dshow::ControlEvent& event)
{
    const capture::CameraProperty* row = capture::cameraProperty(event.id);
    if (!row || !row->onPage || !camera()->camera())
        return;
    CameraParameter& parameter = g_currentCameraInfo.parameters[row->slot];
    ISlider* control = slider(row->slot);
    if (event.id == row->v4l2Auto) {
        parameter.isAuto = capture::ControlWriter::isAutoValue(event.id, event.value);
        const QSignalBlocker quiet(button(autoSwitchKey(row->slot)));
        if (auto* sw = qobject_cast<ISwitchButton*>(button(autoSwitchKey(row->slot))); sw && sw->isCheckedState() != parameter.isAuto)
            sw->setStatus(parameter.isAuto);
        control->setEnabled(!parameter.isAuto);
        return;
    }
    if (event.valueChanged) {
        const QSignalBlocker quiet(control);
        control->setValue(int(event.value));
        parameter.value = int(event.value);
    }
    if (event.flagsChanged)
        control->setEnabled(!(event.flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_GRABBED | V4L2_CTRL_FLAG_READ_ONLY))
                            && !(row->hasAuto && parameter.isAuto));
}

IDeviceControlsDialog* ICameraPage::controlsDialog() const
{
    return m_pControlsDialog;
}

void ICameraPage::showControlsDialog()
{
    if (!camera()->camera())
        return;
    if (!m_pControlsDialog) {
        m_pControlsDialog = new IDeviceControlsDialog(g_currentCameraInfo.strDisplayName, window());
        m_pControlsDialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pControlsDialog->open();
    m_pControlsDialog->raise();
}

ISlider* ICameraPage::slider(int slot) const
{
    return m_sliders.at(std::size_t(slot));
}

int ICameraPage::autoSwitchKey(int slot)
{
    switch (slot) {
    case CameraParameters::Exposure:
        return KeyAutoExposure;
    case CameraParameters::Focus:
        return KeyAutoFocus;
    default:
        return KeyAutoWhiteBalance;
    }
}

void ICameraPage::sendResolution(const CameraResolution& resolution)
{
    emit sgResolutionChosen(resolution);
    camera()->setResolution(resolution);
}

QLabel* ICameraPage::createDashedLine(int width, const QColor& color)
{
    auto* line = new QLabel;
    // At least one pixel: below the design scale the line would otherwise vanish.
    const double thickness = qMax(1.0, width * g_dScale);
    line->setFixedHeight(int(thickness));
    line->setStyleSheet(QString("border: none; background: none; border-top: %1px dashed rgba(%2, %3, %4, %5);")
                            .arg(thickness)
                            .arg(color.red())
                            .arg(color.green())
                            .arg(color.blue())
                            .arg(color.alpha()));
    return line;
}

QScrollArea* ICameraPage::createScrollArea()
{
    const double s = g_dScale;
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setFrameShape(QFrame::NoFrame);
    area->setObjectName("iscrollArea");
    const QString style = QString("QScrollArea{background: transparent; border: none;}"
                                  "QScrollBar:vertical{background: transparent; width: %1px; margin: 0px;}"
                                  "QScrollBar::handle:vertical{background: rgba(0,0,0,50); border-radius: %2px; "
                                  "min-height: %3px;}"
                                  "QScrollBar::handle:vertical:hover{background: rgba(0,0,0,80);}"
                                  "QScrollBar:vertical:hover{background: rgba(0,0,0,20);}"
                                  "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical{height: 0px;}")
                              .arg(8 * s)
                              .arg(4 * s)
                              .arg(20 * s);
    QTimer::singleShot(0, area, [area, style] { area->setStyleSheet(style); });
    return area;
}

QScrollArea* ICameraPage::createFilterPanel()
{
    const double s = g_dScale;
    struct Entry
    {
        int key;
        QString text;
        QString icon;
    };
    const Entry entries[] = {
        {KeyFilterOriginal, tr("Original"), QString::fromUtf8(":/filter/Original\u200B\u200B.svg")},
        {KeyFilterBright, tr("Bright"), ":/filter/Bright.svg"},
        {KeyFilterBlossom, tr("Blossom"), ":/filter/Blossom.svg"},
        {KeyFilterForest, tr("Forest"), ":/filter/Forest.svg"},
        {KeyFilterFilm, tr("Film"), ":/filter/Film.svg"},
        {KeyFilterMono, tr("Mono"), ":/filter/Mono.svg"},
    };

    auto* content = new QWidget;
    auto* group = new QButtonGroup(content);
    group->setExclusive(true);
    auto* box = new QVBoxLayout(content);
    box->setSpacing(int(10 * s));
    box->setContentsMargins(0, int(10 * s), 0, int(10 * s));
    for (const Entry& entry : entries) {
        IFilterButton* filter = createFilterButton(entry.key, entry.text, entry.icon);
        if (entry.key == KeyFilterOriginal)
            filter->setChecked(true);
        group->addButton(filter);
        box->addWidget(filter);
    }
    box->addStretch();
    content->setMinimumHeight(int((int(60 * s) + 10 * s) * 7 + 20 * s));

    QScrollArea* area = createScrollArea();
    area->setWidget(content);

    connect(this, &IBaseWidget::sgButtonClick, this, [this](bool checked, QVariant key) {
        if (checked)
            applyFilter(key.toInt());
    });
    return area;
}

void ICameraPage::applyFilter(int key)
{
    IButton* filterTab = button(KeyFilterTab);
    if (!filterTab || !filterTab->isVisible())
        return;
    const FilterPreset* preset = nullptr;
    for (const FilterPreset& p : kPresets) {
        if (p.key == key)
            preset = &p;
    }
    if (!preset)
        return;

    slider(CameraParameters::Brightness)->setValue(preset->brightness);
    slider(CameraParameters::Contrast)->setValue(preset->contrast);
    slider(CameraParameters::Saturation)->setValue(preset->saturation);
    // The sliders keep to the camera's ranges; these two values go out directly, and a
    // camera refuses a value outside its range, so a look lands the nearest it accepts.
    const CameraParameters ranges = camera()->parameters();
    const auto within = [&](int slot, int value) {
        const int low = ranges[slot].min.toInt(), high = ranges[slot].max.toInt();
        return low < high ? qBound(low, value, high) : value;
    };
    send(*capture::cameraPropertyForSlot(CameraParameters::Sharpness),
         within(CameraParameters::Sharpness, preset->sharpness));
    if (auto* sw = qobject_cast<ISwitchButton*>(button(KeyAutoWhiteBalance)))
        sw->setStatus(preset->autoWhiteBalance);
    if (!preset->autoWhiteBalance)
        send(*capture::cameraPropertyForSlot(CameraParameters::WhiteBalance),
             within(CameraParameters::WhiteBalance, preset->whiteBalance));
}

void ICameraPage::openCamera(ICameraInfo info)
{
    setCurrentCameraInfo(info);
    setButtonChecked(KeyParameterTab, true);
    // The look stored for the camera is marked, not applied: its controls are on the device already.
    const int look = m_pKeeper ? m_pKeeper->storedLook(info.strDevicePath) : 0;
    setButtonChecked(look >= KeyFilterOriginal && look <= KeyFilterMono ? look : KeyFilterOriginal, true);
    m_pPanelStack->setCurrentIndex(0);
    if (auto* title = qobject_cast<ICameraButton*>(button(KeyTitle)))
        title->setCameraInfo(info);
    // The stored resolution is asked for; without one, whatever the device delivers now.
    const QSize stored = m_pKeeper ? m_pKeeper->storedResolution(info.strDevicePath) : QSize();
    info.resolution.size = stored.isValid() ? stored : QSize(0, 0);
    info.resolution.captureSize = info.resolution.size;
    info.resolution.rate = 0;
    camera()->openCamera(info, false);
    if (IButton* filterTab = button(KeyFilterTab))
        filterTab->setVisible(isDesignatedModel(info));
}

void ICameraPage::slResult(const IResult& result)
{
    m_bStreaming = result == Success;
    if (result == Success) {
        m_lastFrame.start();
        m_bSilenceShown = false;
        m_pFrameWatch->start();
    } else {
        m_pFrameWatch->stop();
    }
    switch (result) {
    case Success:
    case PreviewFailed:
        g_currentCameraInfo.resolutions = camera()->resolutions();
        g_currentCameraInfo.parameters = camera()->parameters();
        refreshParameters();
        if (result == PreviewFailed)
            m_pPreview->setMessage(busyMessage(QStringList()));
        qDebug() << "--->打开设备--->成功";
        break;
    case OpenFailed:
        qDebug() << "--->打开设备--->失败";
        m_pPreview->setMessage(tr("Failed to open the device, please verify the device."));
        break;
    case ParameterError:
        qDebug() << "--->打开设备--->参数错误";
        m_pPreview->setMessage(tr("Failed to set the parameter of the device, please verify the device."));
        break;
    default:
        qDebug() << "camera page: unknown open result" << int(result);
        break;
    }
}

void ICameraPage::slPreviewImage(const QImage& image)
{
    m_lastFrame.start();
    m_bSilenceShown = false;
    m_pPreview->setImage(image);
    m_pPhotoTaker->placeButton();
}

QString ICameraPage::busyMessage(const QStringList& holders) const
{
    QString message = tr("No preview availableWebcam is used by another application.");
    if (!holders.isEmpty())
        message += QStringLiteral("<br>") + tr("In use by: %1").arg(holders.join(QStringLiteral(", ")).toHtmlEscaped());
    return message;
}

void ICameraPage::slStreamState(const IStreamState& state)
{
    switch (state.kind) {
    case IStreamState::Streaming:
        m_bStreaming = true;
        if (!m_pResolutionBox->isEnabled())
            fillResolutionBox();  // was busy: the camera's own sizes again
        // The message stays until the first frame replaces it; the silence watch starts anew.
        m_lastFrame.start();
        m_bSilenceShown = false;
        if (isVisible())
            m_pFrameWatch->start();
        break;
    case IStreamState::Released:
    case IStreamState::Closed:
        m_pFrameWatch->stop();
        break;
    case IStreamState::Busy: {
        m_bStreaming = false;
        m_pFrameWatch->stop();
        m_pPreview->setMessage(busyMessage(state.holders));
        // The size cannot be changed while another program streams: the box shows the
        // size the device has now.
        const QSignalBlocker blocker(m_pResolutionBox);
        m_pResolutionBox->clear();
        if (state.deviceSize.isValid() && !state.deviceSize.isEmpty())
            m_pResolutionBox->addItem(QStringLiteral("%1x%2").arg(state.deviceSize.width()).arg(state.deviceSize.height()));
        m_pResolutionBox->setEnabled(false);
        break;
    }
    case IStreamState::Failed:
        m_bStreaming = false;
        m_pFrameWatch->stop();
        m_bSilenceShown = true;
        m_pPreview->setMessage(tr("The camera has stopped sending pictures."));
        break;
    }
}

void ICameraPage::refreshParameters()
{
    fillResolutionBox();

    // The camera's own values: shown, not sent back.
    for (int slot : {CameraParameters::Brightness, CameraParameters::Contrast, CameraParameters::Saturation,
                     CameraParameters::Focus, CameraParameters::Exposure, CameraParameters::WhiteBalance}) {
        const CameraParameter& p = g_currentCameraInfo.parameters[slot];
        ISlider* control = slider(slot);
        const QSignalBlocker quiet(control);
        control->setRange(p.min.toInt(), p.max.toInt());
        control->setValue(p.value.toInt());
        if (capture::cameraPropertyForSlot(slot)->hasAuto)
            control->setEnabled(!p.isAuto);
    }
    for (int slot : {CameraParameters::Exposure, CameraParameters::Focus, CameraParameters::WhiteBalance}) {
        const QSignalBlocker quiet(button(autoSwitchKey(slot)));
        if (auto* sw = qobject_cast<ISwitchButton*>(button(autoSwitchKey(slot))))
            sw->setStatus(g_currentCameraInfo.parameters[slot].isAuto);
    }
}

void ICameraPage::fillResolutionBox()
{
    const bool restricted = isDesignatedModel(g_currentCameraInfo);
    CameraResolution current = currentCameraResolution();

    m_pResolutionBox->blockSignals(true);
    m_pResolutionBox->clear();
    bool matched = false;
    auto* model = qobject_cast<QStandardItemModel*>(m_pResolutionBox->model());
    for (const CameraResolution& r : g_currentCameraInfo.resolutions) {
        const QString text = QString("%1x%2").arg(r.size.width()).arg(r.size.height());
        if (restricted && !kDesignatedSizes.contains(text))
            continue;
        m_pResolutionBox->addItem(text, QVariant::fromValue(r));
        if (model)
            model->item(m_pResolutionBox->count() - 1)->setForeground(QBrush(QColor(100, 100, 100), Qt::SolidPattern));
        if (r.size == current.size) {
            current = r;
            setCurrentCameraResolution(r);
            m_pResolutionBox->setCurrentText(text);
            matched = true;
        }
    }
    if (!matched) {
        m_pResolutionBox->setCurrentIndex(0);
        setCurrentCameraResolution(entryResolution(m_pResolutionBox));
    }
    m_pResolutionBox->blockSignals(false);
    m_pResolutionBox->setEnabled(true);
}

void ICameraPage::restoreDefaults()
{
    const CameraParameters& p = g_currentCameraInfo.parameters;
    // In this order: the plain values first, then those the device may choose itself
    // (left alone while it does).
    for (int slot : {CameraParameters::Contrast, CameraParameters::Brightness, CameraParameters::Saturation,
                     CameraParameters::Focus, CameraParameters::Exposure, CameraParameters::WhiteBalance}) {
        if (!p[slot].isAuto || !capture::cameraPropertyForSlot(slot)->hasAuto)
            slider(slot)->setValue(p[slot].defaultValue.toInt());
    }
    // And what the user set in the controls dialog.
    const QList<quint32> more = m_pKeeper ? m_pKeeper->storedControls(g_currentCameraInfo.strDevicePath) : QList<quint32>();
    for (quint32 id : more) {
        dshow::DeviceControl c;
        if (!capture::cameraProperty(id) && camera()->control(id, c) && c.kind != dshow::DeviceControl::Kind::String)
            camera()->setControl(id, c.defaultValue);
    }
}

void ICameraPage::back()
{
    if (m_pControlsDialog)
        m_pControlsDialog->close();
    camera()->closeCamera();
    if (app && app->mainFrame())
        app->mainFrame()->setCurrentPage(0);
}
