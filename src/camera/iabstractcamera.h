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
#include <mutex>
#include <QObject>
#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>
#include <vector>

class QThread;
class QWidget;

// A capture camera as the facade sees it. The one implementation runs a capture
// graph on a worker thread of its own; the GUI thread calls the setters and
// setPreview while frames flow, so every field that both sides touch is guarded.
class IAbstractCamera : public QObject, public capture::PropertySetters
{
    Q_OBJECT
public:
    ~IAbstractCamera() override;

    virtual bool open(const QVariant& device, bool stillCapture) = 0;
    virtual bool close() = 0;
    virtual bool triggerStillCapture() = 0;
    virtual QImage image() = 0;
    // The newest frame at the camera's resolution, oriented as shown: image() unless
    // the preview gets frames decoded smaller.
    virtual QImage photo() { return image(); }
    // The preview's size in device pixels, empty while no preview is visible: frames
    // are decoded no larger than needed for it, or not at all.
    virtual void setPreviewArea(const QSize& area) { Q_UNUSED(area) }
    virtual bool setPreview(const bool& on) = 0;
    virtual bool setResolution(const CameraResolution& resolution) = 0;
    virtual QList<CameraResolution> resolutions();

    virtual double rotate(const double& delta);
    virtual double angle();
    // 0 means "next" (1 -> 2 -> 3 -> 4 -> 1); other values are stored as given.
    virtual int setFlipMode(int mode);
    virtual int flipMode();

    // The named setters: each logs its name and the value, and is one request on the
    // road below (a value always switches its automatic mode off).
    bool setFocusAuto() override;
    bool setExposureAuto() override;
    bool setContrastAuto();
    bool setSaturationAuto();
    bool setBrightnessAuto();
    bool setWhiteBalanceAuto() override;
    bool setFocus(const QVariant& value) override;
    bool setExposure(const QVariant& value) override;
    bool setContrast(const QVariant& value) override;
    bool setSharpness(const QVariant& value) override;
    bool setSaturation(const QVariant& value) override;
    bool setBrightness(const QVariant& value) override;
    bool setWhiteBalance(const QVariant& value) override;
    virtual bool videoCaptureFilter(QWidget* owner);
    virtual CameraParameters parameters();

    // The one road of a control, by V4L2 id: a request to the camera's control worker,
    // answered at once with what became of it; the outcome of a queued one follows as
    // sgControlDone. Reads give the worker's list, never a device call. Here: logged only.
    virtual capture::ControlResult setControl(quint32 id, qint64 value);
    virtual capture::ControlResult setControlAuto(quint32 id, bool on);
    virtual capture::ControlResult setControlText(quint32 id, const QString& text);
    virtual std::vector<dshow::DeviceControl> controls();
    virtual bool control(quint32 id, dshow::DeviceControl& out);
    // Calls `done` on the control worker's thread once the requests made so far are
    // through (here at once: nothing is queued).
    virtual void afterControls(std::function<void()> done) { done(); }
    // Whether no newer request for the outcome's control was made since.
    virtual bool controlLatest(const capture::ControlOutcome& outcome) const { Q_UNUSED(outcome) return true; }

    // The resolution asked for, or in use once the format is set.
    CameraResolution currentResolution() const;

signals:
    void sgAutoScanner();  // published interface; nothing in the program connects to it (only the facade relays it)
    void sgResult(IResult result);
    void sgStillImage(QImage image);
    void sgCaptureImage(QImage image);  // published interface; nothing in the program connects to it (only the facade relays it)
    void sgPreviewImage(QImage image);
    // ---- stream life ----
    // The stream changed state (on the worker thread; the facade relays it queued).
    void sgStreamState(IStreamState state);
    // A change the device reports (another program, the camera itself); emitted on a
    // thread of the device's.
    void sgControlEvent(dshow::ControlEvent event);
    // What a control request did (on the control worker's thread).
    void sgControlDone(capture::ControlOutcome outcome);
    // The control list's entry for this control changed (on the control worker's thread).
    void sgControlChanged(quint32 id);

protected:
    explicit IAbstractCamera(QObject* parent = nullptr);

    void setCurrentResolution(const CameraResolution& resolution);
    void setResolutionList(const QList<CameraResolution>& list);
    void setParameterRecord(const CameraParameters& parameters);

    std::mutex m_imageMutex;  // guards m_image
    QImage m_image;       // latest converted frame, before rotation
    std::atomic<double> m_dAngle{0.0};
    std::atomic<int> m_nFlipMode{1};

    // Resolution, resolution list and parameter record are written on the worker
    // and read on the GUI thread; they share one guard.
    mutable std::mutex m_stateMutex;
    CameraResolution m_resolution;
    QList<CameraResolution> m_resolutions;
    CameraParameters m_parameters;

    std::atomic<bool> m_bPreviewing{false};
    bool m_bStillCapture = false;
    QString m_strDevicePath;
    QThread* m_pThread = nullptr;

private:
    bool setNamed(int slot, const QVariant& value);
    bool setNamedAuto(int slot);
};
