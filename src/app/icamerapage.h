#pragma once

#include "base/icamerainfo.h"
#include "camera/istreamstate.h"
#include "capture/dshow.h"
#include "app/streamstatemessages.h"
#include "widgets/ibasewidget.h"

#include <QImage>
#include <QPointer>

class ICamera;
class ICameraSettingsKeeper;
class IDeviceControlsDialog;
class IPhotoTaker;
class ICameraPreview;
class ISlider;
class LooksPanel;
class ParameterPanel;
class QComboBox;
class QStackedLayout;
class QWidget;

// Page 1 of the main window: one opened camera. A top bar (back button and the camera's
// name), the live preview with its stream-state messages, the Parameter and Filter tabs,
// and below them the parameter panel or the looks panel. It owns the registry of all their
// buttons. Every change goes straight to the camera through ICamera.
class ICameraPage : public IBaseWidget
{
    Q_OBJECT
public:
    // Registry keys of the page's buttons.
    enum Key {
        KeyTitle = 0,
        KeyBack = 1,
        KeyParameterTab = 2,
        KeyFilterTab = 3,
        KeyAutoExposure = 4,
        KeyAutoFocus = 5,
        KeyAutoWhiteBalance = 6,
        KeyRestoreDefault = 7,
        KeyMoreControls = 8,
        KeyFilterOriginal = 11,
        KeyFilterBright = 12,
        KeyFilterBlossom = 13,
        KeyFilterForest = 14,
        KeyFilterFilm = 15,
        KeyFilterMono = 16,
    };

    explicit ICameraPage(IApplication* application, QWidget* parent = nullptr);

    void openCamera(ICameraInfo info);
    // Fills the resolution box and brings sliders and switches in line with g_currentCameraInfo.
    void refreshParameters();
    void restoreDefaults();
    // Applies the preset of filter `key` (11 to 16); nothing while the Filter tab is hidden.
    void applyFilter(int key);

    // Where the page finds what was stored for a camera (its look and resolution on open).
    void setSettingsKeeper(ICameraSettingsKeeper* keeper) { m_pKeeper = keeper; }
    // The controls dialog while it is open, else null.
    IDeviceControlsDialog* controlsDialog() const;
    void showControlsDialog();
    IPhotoTaker* photoTaker() const { return m_pPhotoTaker; }

    // The model that gets the Filter tab and a fixed set of resolutions.
    static bool isDesignatedModel(const ICameraInfo& info);

    // A camera that opened but sends no frame for this long gets a message instead of
    // its last picture standing still.
    static constexpr int kSilentCameraMs = StreamStateMessages::kSilentCameraMs;

    ICameraPreview* preview() const { return m_pPreview; }
    QComboBox* resolutionBox() const;
    QStackedLayout* panelStack() const { return m_pPanelStack; }
    // The slider of a parameter slot (CameraParameters::Slot); null for one the page lacks.
    ISlider* slider(int slot) const;
    ISlider* brightnessSlider() const { return slider(CameraParameters::Brightness); }
    ISlider* contrastSlider() const { return slider(CameraParameters::Contrast); }
    ISlider* saturationSlider() const { return slider(CameraParameters::Saturation); }
    ISlider* focusSlider() const { return slider(CameraParameters::Focus); }
    ISlider* exposureSlider() const { return slider(CameraParameters::Exposure); }
    ISlider* whiteBalanceSlider() const { return slider(CameraParameters::WhiteBalance); }
    // The parameter panel's card.
    QWidget* parameterPanel() const;

signals:
    // The user picked a resolution (the camera then reopens with it).
    void sgResolutionChosen(const CameraResolution& resolution);

public slots:
    void slResult(const IResult& result);
    void slPreviewImage(const QImage& image);
    // ---- stream life ----
    // The open camera's stream: busy names its holders under the busy message and shows
    // the device's own size, disabled; failed says so at once; streaming again restores
    // the resolution box.
    void slStreamState(const IStreamState& state);
    // A control changed by someone else: its slider or switch follows, nothing is sent.
    void slControlEvent(const dshow::ControlEvent& event);

private:
    void initUI();
    void back();
    void sendResolution(const CameraResolution& resolution);
    // The resolution box from g_currentCameraInfo (the first half of refreshParameters).
    void fillResolutionBox();

    QStackedLayout* m_pPanelStack = nullptr;
    ICameraPreview* m_pPreview = nullptr;
    ParameterPanel* m_pParameters = nullptr;
    LooksPanel* m_pLooks = nullptr;
    StreamStateMessages* m_pMessages = nullptr;
    ICameraSettingsKeeper* m_pKeeper = nullptr;
    IPhotoTaker* m_pPhotoTaker = nullptr;
    QPointer<IDeviceControlsDialog> m_pControlsDialog;
};
