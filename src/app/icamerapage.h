#pragma once

#include "base/icamerainfo.h"
#include "camera/istreamstate.h"
#include "capture/controlworker.h"
#include "capture/dshow.h"
#include "widgets/ibasewidget.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPointer>

class ICamera;
class ICameraSettingsKeeper;
class IDeviceControlsDialog;
class IPhotoTaker;
class ICameraPreview;
class ISlider;
namespace capture {
struct CameraProperty;
}
class QComboBox;
class QLabel;
class QScrollArea;
class QStackedLayout;
class QTimer;
class QWidget;

// Page 1 of the main window: one opened camera. A top bar (back button and the camera's
// name), the live preview, the Parameter and Filter tabs, and below them the parameter
// panel or the filter panel. Every change goes straight to the camera through ICamera.
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
    static constexpr int kSilentCameraMs = 3000;

    ICameraPreview* preview() const { return m_pPreview; }
    QComboBox* resolutionBox() const { return m_pResolutionBox; }
    QStackedLayout* panelStack() const { return m_pPanelStack; }
    // The slider of a parameter slot (CameraParameters::Slot); null for one the page lacks.
    ISlider* slider(int slot) const;
    ISlider* brightnessSlider() const { return slider(CameraParameters::Brightness); }
    ISlider* contrastSlider() const { return slider(CameraParameters::Contrast); }
    ISlider* saturationSlider() const { return slider(CameraParameters::Saturation); }
    ISlider* focusSlider() const { return slider(CameraParameters::Focus); }
    ISlider* exposureSlider() const { return slider(CameraParameters::Exposure); }
    ISlider* whiteBalanceSlider() const { return slider(CameraParameters::WhiteBalance); }
    QWidget* parameterPanel() const { return m_pParameterPanel; }

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
    // What a slider's or switch's request did: the device's value is shown once no newer
    // request follows it (a refused value is replaced by the device's).
    void slControlDone(const capture::ControlOutcome& outcome);

private:
    void initUI();
    QScrollArea* createParameterPanel();
    QScrollArea* createFilterPanel();
    QScrollArea* createScrollArea();
    QLabel* createDashedLine(int width, const QColor& color);
    void connectPanel();
    // The Auto switch of a property was set to `on`.
    void onAutoSwitch(const capture::CameraProperty& property, bool on);
    static int autoSwitchKey(int slot);
    void back();
    // The user's value for a property: a refused one puts the device's value back.
    void send(const capture::CameraProperty& property, int value);
    void sendResolution(const CameraResolution& resolution);
    void checkFrames();
    // The resolution box from g_currentCameraInfo (the first half of refreshParameters).
    void fillResolutionBox();
    // The busy message, with the programs holding the camera when they are known.
    QString busyMessage(const QStringList& holders) const;

    QStackedLayout* m_pPanelStack = nullptr;
    ICameraPreview* m_pPreview = nullptr;
    QComboBox* m_pResolutionBox = nullptr;
    std::array<ISlider*, CameraParameters::Count> m_sliders{};
    QWidget* m_pParameterPanel = nullptr;
    QTimer* m_pFrameWatch = nullptr;
    QElapsedTimer m_lastFrame;
    bool m_bSilenceShown = false;
    bool m_bStreaming = false;  // the last open succeeded
    ICameraSettingsKeeper* m_pKeeper = nullptr;
    IPhotoTaker* m_pPhotoTaker = nullptr;
    QPointer<IDeviceControlsDialog> m_pControlsDialog;
};
