#pragma once

#include "camera/iframehandover.h"
#include "camera/istillcaptureimagegrabber.h"
#include "camera/iabstractcamera.h"
#include "camera/istreamstate.h"
#include "capture/dshow.h"

#include <QList>

class QTimer;
#include <mutex>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// The capture camera: opens one video device on a worker thread of its own, builds a
// graph that hands 32-bit RGB frames to a sample grabber, turns each frame into an
// upright QImage and releases the device when the worker ends.
//
// Threads: the GUI thread calls open/close/setResolution/setPreview and the setters
// (which only queue requests for the control worker, see m_controls);
// the worker runs startCapture, the frame slots and the finish handler; the platform's
// streaming threads call BufferCB and FrameCB. The graph's interfaces are guarded by one mutex so
// that the GUI-side calls never meet the worker building or tearing down the graph.
//
// The stream's life (IStreamState) is the worker's: with no preview seen for
// kReleaseGraceMs it stops and frees its buffers, keeping the device open; seen again it
// streams at the same resolution. Hidden kCloseDelayMs longer (released, busy or failed)
// it closes the device too, since uvcvideo keeps a camera powered while any handle is
// open; seen again it is reopened and streams. A busy device is tried every second while the preview
// is seen, a stream the driver ended with an error after 1 s, 2 s, 4 s, then every 10 s.
//
// Lock order: m_graphMutex, then the capture layer's (see FilterGraph) and the control
// worker's (see ControlWorker); m_threadMutex, m_stateMutex and m_imageMutex are leaves.
// The GUI thread's control calls take only the worker's, never m_graphMutex. The
// streaming threads take only the hand-over's lock and m_stateMutex (a leaf, to read
// the current size).
class IDShowThread : public IAbstractCamera, public dshow::ISampleGrabberCB
{
    Q_OBJECT
public:
    explicit IDShowThread(QObject* parent = nullptr);
    ~IDShowThread() override;

    bool open(const QVariant& device, bool stillCapture) override;
    bool close() override;
    bool triggerStillCapture() override;
    QImage image() override;
    QImage photo() override;
    void setPreviewArea(const QSize& area) override;
    bool setPreview(const bool& on) override;
    bool setResolution(const CameraResolution& resolution) override;

    bool videoCaptureFilter(QWidget* owner) override;
    // Requests to the camera's control worker: they wait while the device opens or
    // starts and are written on the worker's thread; reads come from its list.
    capture::ControlResult setControl(quint32 id, qint64 value) override;
    capture::ControlResult setControlAuto(quint32 id, bool on) override;
    capture::ControlResult setControlText(quint32 id, const QString& text) override;
    std::vector<dshow::DeviceControl> controls() override;
    bool control(quint32 id, dshow::DeviceControl& out) override;
    bool controlLatest(const capture::ControlOutcome& outcome) const override { return m_controls->latest(outcome); }
    void afterControls(std::function<void()> done) override
    {
        m_controls->post([done](capture::ControlWorker&) { done(); });
    }
    // The worker itself, for measurements and tests.
    capture::ControlWorker* controlWorker() const { return m_controls.get(); }

    dshow::HRESULT SampleCB(double sampleTime, void* sample) override;
    // A bottom-up frame in the platform's buffer: copied upright into the hand-over.
    dshow::HRESULT BufferCB(double sampleTime, dshow::BYTE* buffer, long bufferLen) override;
    // An upright frame the decoder wrote into the hand-over's pool: handed over as it is.
    dshow::HRESULT FrameCB(IFrameBufferPool::Buffer* frame) override;
    bool PreviewArea(int& width, int& height) override;
    void CompressedCB(double sampleTime, const dshow::BYTE* data, long size, int width, int height) override;
    void StreamFailedCB(dshow::HRESULT error, const QString& reason) override;

    // One request each on the control road (S_OK once queued; 1 without a device).
    long SetCameraControlProperty(dshow::CameraControlProperty property, long value, dshow::CameraControlFlags flags);
    long SetVideoProcAmpProperty(dshow::VideoProcAmpProperty property, long value, dshow::VideoProcAmpFlags flags);

    // Frames the hand-over to the worker replaced before the worker took them.
    quint64 droppedFrames() const { return m_frames.dropped(); }
    // The copy a frame given as bytes (BufferCB) makes on its way to the worker: the
    // rows of a bottom-up frame into `target` in reverse, i.e. upright. Frames the
    // decoder writes into the pool (FrameCB) are not copied.
    static void copyRowsReversed(std::uint8_t* target, const std::uint8_t* source, int rowBytes, int rows);

    // ---- stream life ----
    static constexpr int kReleaseGraceMs = 3000;
    // The grace period in use: kReleaseGraceMs, shorter only where tests cycle quickly.
    static int releaseGraceMs() { return s_nReleaseGraceMs.load(); }
    static void setReleaseGraceMs(int ms) { s_nReleaseGraceMs = ms; }
    static constexpr int kCloseDelayMs = 1000;
    static int closeDelayMs() { return s_nCloseDelayMs.load(); }
    static void setCloseDelayMs(int ms) { s_nCloseDelayMs = ms; }
    static constexpr int kBusyRetryMs = 1000;
    // The wait before try number `attempt` (from 0) after the driver ended the stream.
    static int failedRetryMs(int attempt);
    IStreamState::Kind streamKind() const { return m_streamKind.load(); }
    // Buffers the hand-over's pool holds, in use or kept (for tests and measurements).
    int pooledFrames() const { return m_frames.pool()->allocatedCount(); }

signals:
    // A frame waits in the hand-over (pBuffer is null); one notice at a time.
    void sgCallback(double dblSampleTime, dshow::BYTE* pBuffer, long lBufferSize);

public slots:
    void startCapture();
    // With a buffer: runs the frame steps on it. With null: takes the waiting frame.
    void slCallback(double dblSampleTime, dshow::BYTE* pBuffer, long lBufferSize);
    // With a buffer: loads it as a picture. With null: takes the waiting still.
    void slStillCaptureCallback(dshow::BYTE* pBuffer, long lBufferSize);

private:
    dshow::HRESULT EnumerateFormats(const std::shared_ptr<dshow::IMoniker>& moniker);
    dshow::HRESULT OpenDevice(const std::shared_ptr<dshow::IMoniker>& moniker);
    dshow::HRESULT InitializeEnv();
    dshow::HRESULT AddCaptureFilter();
    dshow::HRESULT AddSampleGrabber();
    dshow::HRESULT BuildPreviewGraph();
    dshow::HRESULT SetupStillCapture();
    dshow::HRESULT StartPreview();
    dshow::HRESULT StopPreview();
    dshow::HRESULT CloseDevice();
    dshow::HRESULT ConnectFilters();
    // Fills `mt` with the size and subtype to ask the device for; returns that resolution.
    CameraResolution askedFormat(dshow::AM_MEDIA_TYPE& mt);
    dshow::HRESULT GetUnconnectedPin(const std::shared_ptr<dshow::IBaseFilter>& filter, dshow::PIN_DIRECTION direction,
                                     std::shared_ptr<dshow::IPin>& pin);
    void TearDownGraph();
    void RemoveDownstream(const std::shared_ptr<dshow::IBaseFilter>& filter,
                          const std::shared_ptr<dshow::IGraphBuilder>& graph);
    long InitData();

    // Copies a bottom-up frame of the current size into a pooled buffer, upright.
    IFrameBufferPool::Buffer* copyUpright(double sampleTime, const dshow::BYTE* pBuffer, long lBufferSize);
    void processFrame(IFrameBufferPool::Buffer* upright);
    QImage rotated(const QImage& image) const;
    // Whether a decoded frame has the current resolution at the scale it was decoded at.
    bool expectedSize(const IFrameBufferPool::Buffer* frame) const;
    // The cv::flip code that turns an upright frame into the flip mode's; 2 = none.
    int flipCode();
    void onThreadFinished(QThread* thread);
    void reapThreads();

    // ---- stream life (worker thread) ----
    void onPreviewSeen(bool seen);
    void onStreamFailed(dshow::HRESULT error, const QString& reason);
    void onStreamTimer();
    void releaseStream();
    void restartStream();
    void closeHandle();
    void reopenHandle();
    // Takes the state after a start: streaming, busy or failed with `hr`.
    void enterStartResult(dshow::HRESULT hr);
    void enterState(const IStreamState& state);
    void freeFrameMemory();
    // Connects the capture pin anew at the resolution asked for and runs the graph,
    // quietly: a busy device is tried every second. Under the graph lock.
    dshow::HRESULT RestartPreview();
    void DisconnectPreview();
    QSize deviceSize();
    QStringList deviceHolders();
    void assertWorker() const;

    std::shared_ptr<dshow::IGraphBuilder> m_pGraph;
    std::shared_ptr<dshow::ICaptureGraphBuilder2> m_pCapture;
    std::shared_ptr<dshow::IMediaControl> m_pMediaControl;
    std::shared_ptr<dshow::IVideoWindow> m_pVideoWindow;
    std::shared_ptr<dshow::IBaseFilter> m_pDeviceFilter;
    std::shared_ptr<dshow::IKsControl> m_pKsControl;
    std::shared_ptr<dshow::IMoniker> m_pMoniker;
    std::shared_ptr<dshow::IBaseFilter> m_pGrabberFilter;
    std::shared_ptr<dshow::ISampleGrabber> m_pSampleGrabber;
    std::shared_ptr<dshow::IPin> m_pCameraOutput;
    std::shared_ptr<dshow::IPin> m_pGrabberInput;
    std::shared_ptr<dshow::IPin> m_pStillPin;
    std::shared_ptr<dshow::IAMVideoControl> m_pVideoControl;
    IStillCaptureImageGrabber m_stillGrabber;
    std::shared_ptr<dshow::IBaseFilter> m_pStillGrabberFilter;
    std::shared_ptr<dshow::ISampleGrabber> m_pStillSampleGrabber;
    std::atomic<bool> m_bReopen{false};
    void* m_hOwner = nullptr;  // no video window: the graph always runs in callback mode
    std::vector<dshow::Subtype> m_subtypes;

    std::mutex m_graphMutex;        // guards the interfaces above against GUI-side calls
    bool m_bComInitialized = false;
    // The newest frame, waiting for the worker. Its pool keeps enough free buffers for
    // every frame in flight (decoding, waiting, on the worker, latest image, on its way
    // to and held by the GUI), so steady streaming allocates nothing.
    static constexpr int kPoolKeepFree = 4;
    IFrameHandOver m_frames{kPoolKeepFree};
    // The preview's size in device pixels (width << 32 | height); -1 while none is visible.
    std::atomic<qint64> m_nPreviewArea{0};
    QThread* m_pHomeThread = nullptr;  // where the camera returns when its worker ends
    // Control writes and reads; attached to the device between OpenDevice and CloseDevice.
    std::unique_ptr<capture::ControlWorker> m_controls;
    void attachControls();
    long propertyRequest(capture::PropertyInterface interface, long property, long value, long flags);

    std::mutex m_threadMutex;       // guards m_pThread and m_retiredThreads
    QList<QThread*> m_retiredThreads;  // ended workers, freed by the GUI side

    // ---- stream life ----
    QTimer* m_pStreamTimer = nullptr;  // the worker's: grace period and retries
    IStreamState m_streamState;        // worker thread
    std::atomic<IStreamState::Kind> m_streamKind{IStreamState::Streaming};
    int m_nFailedTries = 0;            // worker thread
    std::atomic<bool> m_bSeen{true};
    std::atomic<bool> m_bFrameSinceStart{false};
    std::atomic<bool> m_bPreviewWanted{true};  // false once the facade stopped the preview to close
    static std::atomic<int> s_nReleaseGraceMs;
    static std::atomic<int> s_nCloseDelayMs;
    std::shared_ptr<dshow::IMoniker> m_pClosedMoniker;  // worker: the device to reopen while Closed
    std::vector<dshow::DeviceControl> m_closedControls;  // worker: the controls as they were at the close
    void reportChangedWhileClosed();
};
