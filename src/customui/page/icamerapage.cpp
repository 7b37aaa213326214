#include "customui/page/icamerapage.h"

#include "appenvironment.h"
#include "camera/icamera.h"
#include "customui/icamerabutton.h"
#include "customui/ifilterbutton.h"
#include "customui/islider.h"
#include "customui/istylehelper.h"
#include "customui/iswitchbutton.h"
#include "customui/itxtbutton.h"
#include "customui/page/icamerapreview.h"
#include "device/designatedmodel.h"
#include "iapplication.h"
#include "mainframe.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QScrollArea>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

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
    connect(camera(), &ICamera::sgRunCopyImage, [this] { m_pPreview->setImage(QImage()); });
    // Watches an open camera for frames (see checkFrames); runs only while one is open.
    m_pFrameWatch = new QTimer(this);
    m_pFrameWatch->setInterval(500);
    connect(m_pFrameWatch, &QTimer::timeout, this, &ICameraPage::checkFrames);
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
    qDebug() << "ICameraPage--> no frame for" << m_lastFrame.elapsed() << "ms from" << g_currentCameraInfo.strDevicePath;
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

    ISwitchButton* autoExposure = createSwitchButton(KeyAutoExposure);
    ISwitchButton* autoFocus = createSwitchButton(KeyAutoFocus);
    ISwitchButton* autoWhiteBalance = createSwitchButton(KeyAutoWhiteBalance);

    auto makeSlider = [] {
        auto* slider = new ISlider(Qt::Horizontal);
        slider->applyStyle(4, 10, 5, QColor(255, 0, 0), QColor(221, 221, 221), false);
        return slider;
    };
    m_pFocusSlider = makeSlider();
    m_pExposureSlider = makeSlider();
    m_pWhiteBalanceSlider = makeSlider();
    m_pBrightnessSlider = makeSlider();
    m_pContrastSlider = makeSlider();
    m_pSaturationSlider = makeSlider();
    for (ISlider* slider : {m_pBrightnessSlider, m_pContrastSlider, m_pSaturationSlider})
        slider->setFixedWidth(int(220 * s));

    auto caption = [](const QString& text, const char* color) {
        return createLabel(text, QColor(color), createFont(10, 50));
    };

    auto* resolutionRow = new QHBoxLayout;
    resolutionRow->addSpacing(int(20 * s));
    resolutionRow->addWidget(caption(QObject::tr("Resolution"), "#595757"));
    resolutionRow->addStretch();
    resolutionRow->addWidget(m_pResolutionBox);
    resolutionRow->addSpacing(int(20 * s));

    auto controlGrid = [&](const QString& autoText, ISwitchButton* sw, const QString& text, ISlider* slider) {
        auto* grid = new QGridLayout;
        grid->setSpacing(int(3 * s));
        grid->setContentsMargins(int(20 * s), 0, int(20 * s), 0);
        grid->addWidget(caption(autoText, "#595757"), 0, 0);
        grid->addWidget(sw, 0, 1);
        grid->addWidget(caption(text, "#ADADAD"), 1, 0);
        grid->addWidget(slider, 2, 0, 1, 2);
        return grid;
    };
    QGridLayout* focusGrid = controlGrid(QObject::tr("Auto focus"), autoFocus, QObject::tr("Focus"), m_pFocusSlider);
    QGridLayout* exposureGrid =
        controlGrid(QObject::tr("Auto exposure"), autoExposure, QObject::tr("Exposure"), m_pExposureSlider);
    QGridLayout* whiteBalanceGrid = controlGrid(QObject::tr("Auto white balance"), autoWhiteBalance,
                                                QObject::tr("White balance"), m_pWhiteBalanceSlider);

    auto valueRow = [&](const QString& text, ISlider* slider) {
        auto* row = new QHBoxLayout;
        row->addSpacing(int(20 * s));
        row->addWidget(caption(text, "#595757"));
        row->addStretch();
        row->addWidget(slider);
        row->addSpacing(int(20 * s));
        return row;
    };
    QHBoxLayout* brightnessRow = valueRow(QObject::tr("Brightness"), m_pBrightnessSlider);
    QHBoxLayout* contrastRow = valueRow(QObject::tr("Contrast"), m_pContrastSlider);
    QHBoxLayout* saturationRow = valueRow(QObject::tr("Saturation"), m_pSaturationSlider);

    IButton* restore = createColorButton(KeyRestoreDefault, QObject::tr("Restore default"), QSize(100, 30),
                                         QColor(Qt::white), QColor("#E7141A"));

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
    box->addLayout(focusGrid);
    box->addWidget(createDashedLine(1, QColor("#ACACAC")));
    box->addLayout(exposureGrid);
    box->addWidget(createDashedLine(1, QColor("#ACACAC")));
    box->addLayout(whiteBalanceGrid);
    box->addWidget(createDashedLine(1, QColor("#ACACAC")));
    box->addSpacing(int(5 * s));
    box->addLayout(brightnessRow);
    box->addSpacing(int(5 * s));
    box->addLayout(contrastRow);
    box->addSpacing(int(5 * s));
    box->addLayout(saturationRow);
    box->addSpacing(int(5 * s));
    box->addWidget(restore, 0, Qt::AlignCenter);
    box->addSpacing(int(10 * s + int(10 * s)));
    m_pParameterPanel->adjustSize();

    connectPanel();

    QScrollArea* area = createScrollArea();
    area->setWidget(m_pParameterPanel);
    return area;
}

void ICameraPage::connectPanel()
{
    auto* autoExposure = static_cast<ISwitchButton*>(button(KeyAutoExposure));
    auto* autoFocus = static_cast<ISwitchButton*>(button(KeyAutoFocus));
    auto* autoWhiteBalance = static_cast<ISwitchButton*>(button(KeyAutoWhiteBalance));
    connect(autoExposure, &ISwitchButton::statusChanged, autoExposure,
            [this](bool on) { onAutoSwitch(CameraParameters::Exposure, on); });
    connect(autoFocus, &ISwitchButton::statusChanged, autoFocus,
            [this](bool on) { onAutoSwitch(CameraParameters::Focus, on); });
    connect(autoWhiteBalance, &ISwitchButton::statusChanged, autoWhiteBalance,
            [this](bool on) { onAutoSwitch(CameraParameters::WhiteBalance, on); });

    connect(m_pFocusSlider, &QSlider::valueChanged, m_pFocusSlider, [this](int v) {
        send(&ICamera::setFocus, "setFocus", v);
        g_currentCameraInfo.parameters[CameraParameters::Focus].value = v;
    });
    connect(m_pExposureSlider, &QSlider::valueChanged, m_pExposureSlider, [this](int v) {
        send(&ICamera::setExposure, "setExposure", v);
        g_currentCameraInfo.parameters[CameraParameters::Exposure].value = v;
    });
    connect(m_pWhiteBalanceSlider, &QSlider::valueChanged, m_pWhiteBalanceSlider, [this](int v) {
        send(&ICamera::setWhiteBalance, "setWhiteBalance", v);
        g_currentCameraInfo.parameters[CameraParameters::WhiteBalance].value = v;
    });
    connect(m_pBrightnessSlider, &QSlider::valueChanged, m_pBrightnessSlider,
            [this](int v) { send(&ICamera::setBrightness, "setBrightness", v); });
    connect(m_pContrastSlider, &QSlider::valueChanged, m_pContrastSlider,
            [this](int v) { send(&ICamera::setContrast, "setContrast", v); });
    connect(m_pSaturationSlider, &QSlider::valueChanged, m_pSaturationSlider,
            [this](int v) { send(&ICamera::setSaturation, "setSaturation", v); });

    connect(m_pResolutionBox, &QComboBox::currentTextChanged, m_pResolutionBox, [this](const QString&) {
        sendResolution(entryResolution(m_pResolutionBox));
    });
    connect(button(KeyRestoreDefault), &QToolButton::clicked, this, [this] { restoreDefaults(); });
}

void ICameraPage::onAutoSwitch(int slot, bool on)
{
    CameraParameter& parameter = g_currentCameraInfo.parameters[slot];
    const int value = parameter.value.toInt();
    ISlider* slider = nullptr;
    switch (slot) {
    case CameraParameters::Exposure:
        if (on)
            sendAuto(&ICamera::setExposureAuto, "setExposureAuto");
        else
            send(&ICamera::setExposure, "setExposure", value);
        slider = m_pExposureSlider;
        break;
    case CameraParameters::Focus:
        if (on)
            sendAuto(&ICamera::setFocusAuto, "setFocusAuto");
        else
            send(&ICamera::setFocus, "setFocus", value);
        slider = m_pFocusSlider;
        break;
    case CameraParameters::WhiteBalance:
        if (on)
            sendAuto(&ICamera::setWhiteBalanceAuto, "setWhiteBalanceAuto");
        else
            send(&ICamera::setWhiteBalance, "setWhiteBalance", value);
        slider = m_pWhiteBalanceSlider;
        break;
    default:
        return;
    }
    parameter.isAuto = on;
    slider->setEnabled(!on);
}

void ICameraPage::send(bool (ICamera::*setter)(const QVariant&), const char* operation, int value)
{
    emit sgCameraCall(QLatin1String(operation), value);
    (camera()->*setter)(value);
}

void ICameraPage::sendAuto(bool (ICamera::*toggle)(), const char* operation)
{
    emit sgCameraCall(QLatin1String(operation), QVariant());
    (camera()->*toggle)();
}

void ICameraPage::sendResolution(const CameraResolution& resolution)
{
    emit sgCameraCall(QStringLiteral("setResolution"), QVariant::fromValue(resolution));
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

    m_pBrightnessSlider->setValue(preset->brightness);
    m_pContrastSlider->setValue(preset->contrast);
    m_pSaturationSlider->setValue(preset->saturation);
    // The sliders keep to the camera's ranges; these two values go out directly, and a
    // camera refuses a value outside its range, so a look lands the nearest it accepts.
    const CameraParameters ranges = camera()->parameters();
    const auto within = [&](int slot, int value) {
        const int low = ranges[slot].min.toInt(), high = ranges[slot].max.toInt();
        return low < high ? qBound(low, value, high) : value;
    };
    send(&ICamera::setSharpness, "setSharpness", within(CameraParameters::Sharpness, preset->sharpness));
    if (auto* sw = qobject_cast<ISwitchButton*>(button(KeyAutoWhiteBalance)))
        sw->setStatus(preset->autoWhiteBalance);
    if (!preset->autoWhiteBalance)
        send(&ICamera::setWhiteBalance, "setWhiteBalance", within(CameraParameters::WhiteBalance, preset->whiteBalance));
}

void ICameraPage::openCamera(ICameraInfo info)
{
    setCurrentCameraInfo(info);
    setButtonChecked(KeyParameterTab, true);
    setButtonChecked(KeyFilterOriginal, true);
    m_pPanelStack->setCurrentIndex(0);
    if (auto* title = qobject_cast<ICameraButton*>(button(KeyTitle)))
        title->setCameraInfo(info);
    info.resolution.size = QSize(0, 0);
    info.resolution.captureSize = QSize(0, 0);
    info.resolution.rate = 0;
    camera()->openCamera(info, false);
    if (IButton* filterTab = button(KeyFilterTab))
        filterTab->setVisible(isDesignatedModel(info));
}

void ICameraPage::slResult(const IResult& result)
{
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
            m_pPreview->setMessage(tr("No preview availableWebcam is used by another application."));
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
        qDebug() << "ICameraPage--> unknown open result" << int(result);
        break;
    }
}

void ICameraPage::slPreviewImage(const QImage& image)
{
    m_lastFrame.start();
    m_bSilenceShown = false;
    m_pPreview->setImage(image);
}

void ICameraPage::refreshParameters()
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

    const struct
    {
        ISlider* slider;
        int slot;
    } sliders[] = {
        {m_pBrightnessSlider, CameraParameters::Brightness},
        {m_pContrastSlider, CameraParameters::Contrast},
        {m_pSaturationSlider, CameraParameters::Saturation},
        {m_pFocusSlider, CameraParameters::Focus},
        {m_pExposureSlider, CameraParameters::Exposure},
        {m_pWhiteBalanceSlider, CameraParameters::WhiteBalance},
    };
    for (const auto& entry : sliders) {
        const CameraParameter& p = g_currentCameraInfo.parameters[entry.slot];
        entry.slider->blockSignals(true);
        entry.slider->setMinimum(p.min.toInt());
        entry.slider->setMaximum(p.max.toInt());
        entry.slider->blockSignals(false);
        entry.slider->setValue(g_currentCameraInfo.parameters[entry.slot].value.toInt());
        if (entry.slot == CameraParameters::Focus || entry.slot == CameraParameters::Exposure
            || entry.slot == CameraParameters::WhiteBalance)
            entry.slider->setEnabled(!g_currentCameraInfo.parameters[entry.slot].isAuto);
    }

    const struct
    {
        int key;
        int slot;
    } switches[] = {
        {KeyAutoExposure, CameraParameters::Exposure},
        {KeyAutoFocus, CameraParameters::Focus},
        {KeyAutoWhiteBalance, CameraParameters::WhiteBalance},
    };
    for (const auto& entry : switches) {
        if (auto* sw = qobject_cast<ISwitchButton*>(button(entry.key)))
            sw->setStatus(g_currentCameraInfo.parameters[entry.slot].isAuto);
    }
}

void ICameraPage::restoreDefaults()
{
    const CameraParameters& p = g_currentCameraInfo.parameters;
    m_pContrastSlider->setValue(p[CameraParameters::Contrast].defaultValue.toInt());
    m_pBrightnessSlider->setValue(p[CameraParameters::Brightness].defaultValue.toInt());
    m_pSaturationSlider->setValue(p[CameraParameters::Saturation].defaultValue.toInt());
    if (!p[CameraParameters::Focus].isAuto)
        m_pFocusSlider->setValue(p[CameraParameters::Focus].defaultValue.toInt());
    if (!p[CameraParameters::Exposure].isAuto)
        m_pExposureSlider->setValue(p[CameraParameters::Exposure].defaultValue.toInt());
    if (!p[CameraParameters::WhiteBalance].isAuto)
        m_pWhiteBalanceSlider->setValue(p[CameraParameters::WhiteBalance].defaultValue.toInt());
}

void ICameraPage::back()
{
    camera()->closeCamera();
    if (app && app->mainFrame())
        app->mainFrame()->setCurrentPage(0);
}
