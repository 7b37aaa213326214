#pragma once

#include "base/cameraparameters.h"
#include "base/cameraresolution.h"
#include "base/icamerainfo.h"
#include "camera/istreamstate.h"
#include "capture/cameraproperty.h"
#include "capture/controlworker.h"
#include "capture/dshow.h"

#include <QImage>
#include <QList>
#include <functional>
#include <mutex>
#include <QObject>
#include <QVariant>

class IAbstractCamera;

// The one way the pages reach a camera: owns at most one open camera, forwards the
// setters to it and re-emits its results and frames on the GUI thread.
class ICamera : public QObject, public capture::PropertySetters
{
    Q_OBJECT
public:
    static ICamera* instance();
    ~ICamera() override;

    bool openCamera(ICameraInfo info, bool stillCapture);
    bool closeCamera();
    QList<ICameraInfo> cameraList(int);

    CameraParameters parameters();
    QList<CameraResolution> resolutions();
    bool setResolution(const CameraResolution& resolution);
    // The named setters of the property table's rows: forwards to the open camera.
    bool setFocus(const QVariant& value) override;
    bool setExposure(const QVariant& value) override;
    bool setContrast(const QVariant& value) override;
    bool setSharpness(const QVariant& value) override;
    bool setSaturation(const QVariant& value) override;
    bool setBrightness(const QVariant& value) override;
    bool setWhiteBalance(const QVariant& value) override;
    bool setFocusAuto() override;
    bool setExposureAuto() override;
    bool setWhiteBalanceAuto() override;

    // The one road of a control, by V4L2 id, for the page, the controls dialog and the
    // rest: queued for the open camera's control worker, never written on this thread.
    // Queued requests come back as sgControlDone (and, what the user set, sgControlSet).
    capture::ControlResult setControl(quint32 id, qint64 value);
    capture::ControlResult setControlAuto(quint32 id, bool on);
    capture::ControlResult setControlText(quint32 id, const QString& text);
    // Runs `then` on `context`'s thread once the open camera's requests made so far are
    // through and their outcomes delivered (at once when no camera is open).
    void afterControls(QObject* context, std::function<void()> then);
    // The open camera's controls as its worker last read them: no device call.
    std::vector<dshow::DeviceControl> controls();
    bool control(quint32 id, dshow::DeviceControl& out);

    // The newest frame at the camera's resolution, oriented as shown; null when none.
    QImage photo();
    // The preview's size in device pixels, empty while no preview is visible; kept for
    // cameras opened later.
    void setPreviewArea(const QSize& area);

    // Ends the camera without processing events: for the application object's
    // destruction and the facade's own.
    void closeOnExit();

    // Preview frames replaced before the GUI thread took them (a busy GUI thread).
    quint64 droppedPreviews() const;

    // The open camera, null when none (for tests and tools; the pages use the facade).
    IAbstractCamera* camera() const { return m_pCamera; }

signals:
    void sgAutoScanner();
    void sgResult(IResult result);
    void sgStillImage(QImage image);
    void sgCaptureImage(QImage image);
    void sgPreviewImage(QImage image);
    void sgRunCopyImage();
    // The open camera's stream changed state (streaming, released, busy, failed); on the
    // GUI thread, never from a camera closed meanwhile.
    void sgStreamState(IStreamState state);
    // The user set this control of the camera at `devicePath` to this value (what the
    // device holds now): for the settings keeper. Never emitted for what the device
    // reports by itself; also for a camera that closed while the request was on its way.
    void sgControlSet(quint32 id, qint64 value, const QString& devicePath);
    // A change the device reports: another program, the camera in an automatic mode.
    void sgControlEvent(dshow::ControlEvent event);
    // What a request on the control road did: the value the device holds afterwards,
    // refused or not. Never from a camera closed meanwhile.
    void sgControlDone(capture::ControlOutcome outcome);
    // The open camera's list entry for this control changed (see control()).
    void sgControlChanged(quint32 id);

private:
    ICamera();
    IAbstractCamera* createCamera(bool bare);
    // Preview frames cross to the GUI thread through one slot: a newer frame replaces
    // one the GUI thread has not taken yet, and one delivery at a time is queued.
    void offerPreview(const QImage& image);
    Q_INVOKABLE void deliverPreview();
    void dropPreview();
    void watchApplication();

    IAbstractCamera* m_pCamera = nullptr;
    mutable std::mutex m_previewMutex;
    QImage m_pendingPreview;
    bool m_bDeliveryQueued = false;
    quint64 m_nDroppedPreviews = 0;
    bool m_bWatchingApplication = false;
    QSize m_previewArea;  // invalid until a preview reports one: full-size frames
    quint64 m_nOpened = 0;  // counts opens, so that a closed camera's late news is dropped
};

// Keeps the calling thread's event loop running for the given time.
void sleepWithEvents(const int& milliseconds);
