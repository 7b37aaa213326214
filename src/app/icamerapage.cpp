#include "app/icamerapage.h"

#include "app/iapplication.h"
#include "app/icamerasettingskeeper.h"
#include "app/idevicecontrolsdialog.h"
#include "app/iphototaker.h"
#include "app/lookspanel.h"
#include "app/mainframe.h"
#include "app/parameterpanel.h"
#include "app/resolutionbox.h"
#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "capture/cameraproperty.h"
#include "capture/designatedmodel.h"
#include "widgets/icamerabutton.h"
#include "widgets/icamerapreview.h"
#include "widgets/islider.h"
#include "widgets/itxtbutton.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

ICamera* camera() { return ICamera::instance(); }

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
    connect(camera(), &ICamera::sgControlDone, m_pParameters, &ParameterPanel::showOutcome);
    connect(camera(), &ICamera::sgRunCopyImage, [this] {
        if (m_pControlsDialog)  // the camera goes, and its controls with it
            m_pControlsDialog->close();
        m_pPreview->setImage(QImage());
        m_pPhotoTaker->placeButton();
    });
    connect(m_pPreview, &ICameraPreview::sgAreaChanged, m_pMessages, &StreamStateMessages::previewAreaChanged);
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
    m_pMessages = new StreamStateMessages(m_pPreview, this);

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

    m_pParameters = new ParameterPanel(*this, this);
    m_pLooks = new LooksPanel(*this, *m_pParameters, this);
    m_pPanelStack = new QStackedLayout;
    m_pPanelStack->setContentsMargins(0, 0, 0, 0);
    m_pPanelStack->insertWidget(0, m_pParameters);
    m_pPanelStack->insertWidget(1, m_pLooks);

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
    connect(m_pParameters->resolutionBox(), &ResolutionBox::sgChosen, this, &ICameraPage::sendResolution);
    connect(button(KeyRestoreDefault), &QToolButton::clicked, this, [this] { restoreDefaults(); });
    connect(button(KeyMoreControls), &QToolButton::clicked, this, &ICameraPage::showControlsDialog);
    connect(this, &IBaseWidget::sgButtonClick, this, [this](bool checked, QVariant key) {
        if (checked)
            applyFilter(key.toInt());
    });
}

void ICameraPage::slControlEvent(const dshow::ControlEvent& event)
{
    m_pParameters->showControlEvent(event);
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

QComboBox* ICameraPage::resolutionBox() const
{
    return m_pParameters->resolutionBox();
}

QWidget* ICameraPage::parameterPanel() const
{
    return m_pParameters->card();
}

ISlider* ICameraPage::slider(int slot) const
{
    return m_pParameters->slider(slot);
}

void ICameraPage::sendResolution(const CameraResolution& resolution)
{
    emit sgResolutionChosen(resolution);
    camera()->setResolution(resolution);
}

void ICameraPage::applyFilter(int key)
{
    IButton* filterTab = button(KeyFilterTab);
    if (filterTab && filterTab->isVisible())
        m_pLooks->apply(key);
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
    if (result == Success || result == PreviewFailed) {
        g_currentCameraInfo.resolutions = camera()->resolutions();
        g_currentCameraInfo.parameters = camera()->parameters();
        refreshParameters();
    }
    m_pMessages->opened(result);
}

void ICameraPage::slPreviewImage(const QImage& image)
{
    m_pMessages->frameShown();
    m_pPreview->setImage(image);
    m_pPhotoTaker->placeButton();
}

void ICameraPage::slStreamState(const IStreamState& state)
{
    // The size cannot be changed while another program streams: the box shows the size
    // the device has then; streaming again, the camera's own sizes come back.
    if (state.kind == IStreamState::Busy)
        m_pParameters->resolutionBox()->showBusy(state.deviceSize);
    else if (state.kind == IStreamState::Streaming && !resolutionBox()->isEnabled())
        fillResolutionBox();
    m_pMessages->streamStateChanged(state);
}

void ICameraPage::refreshParameters()
{
    fillResolutionBox();
    // The camera's own values: shown, not sent back.
    m_pParameters->showCameraValues();
}

void ICameraPage::fillResolutionBox()
{
    m_pParameters->resolutionBox()->fill(isDesignatedModel(g_currentCameraInfo));
}

void ICameraPage::restoreDefaults()
{
    m_pParameters->restoreDefaults();
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
