// IDShowThread: thread life, reopen and the stream's life. open, close, setResolution
// and setPreviewArea run on the GUI thread; startCapture, the finish handler and the
// stream's states on the worker.
#include "camera/idshowthread.h"

#include "capture/devicefilter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>
#include <QTimer>

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace dshow;

namespace {

void registerPointerType()
{
    static const int id = qRegisterMetaType<dshow::BYTE*>("dshow::BYTE*");
    Q_UNUSED(id)
}

} // namespace

IDShowThread::IDShowThread(QObject* parent)
    : IAbstractCamera(parent)
    , m_stillGrabber(this)
    , m_pHomeThread(QThread::currentThread())
    , m_controls(std::make_unique<capture::ControlWorker>())
{
    registerPointerType();
    // Emitted on the worker's thread; the facade takes them queued.
    capture::ControlWorker* w = m_controls.get();
    connect(w, &capture::ControlWorker::sgDone, this, &IAbstractCamera::sgControlDone, Qt::DirectConnection);
    connect(w, &capture::ControlWorker::sgChanged, this, &IAbstractCamera::sgControlChanged, Qt::DirectConnection);
    connect(w, &capture::ControlWorker::sgEvent, this, &IAbstractCamera::sgControlEvent, Qt::DirectConnection);
}

IDShowThread::~IDShowThread()
{
    // A worker that still runs is ended and the device released before the object goes.
    m_bReopen = false;
    close();
    reapThreads();
    m_controls.reset();  // before the signals it re-emits go
}

bool IDShowThread::open(const QVariant& device, bool stillCapture)
{
    // From the GUI thread, or from the ending worker's finish handler to reopen.
    Q_ASSERT(QThread::currentThread() == m_pHomeThread || QThread::currentThread() == m_pThread);
    m_bStillCapture = stillCapture;
    m_strDevicePath = device.toString();

    QThread* thread = new QThread;
    // The thread object belongs with the camera's owner, whichever thread opens it (the
    // finish handler reopens from the ending worker).
    if (thread->thread() != m_pHomeThread)
        thread->moveToThread(m_pHomeThread);
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        m_pThread = thread;
    }
    moveToThread(thread);
    connect(thread, &QThread::started, this, &IDShowThread::startCapture);
    connect(thread, &QThread::finished, thread, [this, thread]() { onThreadFinished(thread); }, Qt::DirectConnection);
    // Connected before the thread starts so that no frame notice can be lost.
    connect(this, &IDShowThread::sgCallback, this, &IDShowThread::slCallback, Qt::UniqueConnection);
    thread->start(QThread::InheritPriority);
    return true;
}

bool IDShowThread::close()
{
    QThread* thread = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        thread = m_pThread;
    }
    if (!thread)
        return true;
    thread->quit();
    // From the worker itself (device not found) the thread ends once control returns
    // to its event loop.
    if (QThread::currentThread() != thread)
        thread->wait();
    if (QThread::currentThread() == m_pHomeThread)
        reapThreads();
    return true;
}

void IDShowThread::onThreadFinished(QThread* thread)
{
    Q_ASSERT(QThread::currentThread() == thread);
    delete m_pStreamTimer;
    m_pStreamTimer = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        CloseDevice();
    }
    // A frame or notice still waiting belongs to the stream that just ended.
    m_frames.clear();
    m_stillGrabber.clear();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    disconnect(this, &IDShowThread::sgCallback, this, &IDShowThread::slCallback);
    if (m_bStillCapture)
        disconnect(&m_stillGrabber, &IStillCaptureImageGrabber::sgStillImage, this,
                   &IDShowThread::slStillCaptureCallback);
    if (m_bReopen)
        open(m_strDevicePath, m_bStillCapture);
    else
        moveToThread(m_pHomeThread);
    // Last: once the thread is retired the owner may free it, and this camera with it.
    std::lock_guard<std::mutex> lock(m_threadMutex);
    if (m_pThread == thread)
        m_pThread = nullptr;
    m_retiredThreads.append(thread);
}

void IDShowThread::reapThreads()
{
    QList<QThread*> threads;
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        threads.swap(m_retiredThreads);
    }
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
}

void IDShowThread::startCapture()
{
    assertWorker();
    m_bComInitialized = SUCCEEDED(CoInitialize(nullptr));
    IStreamState::registerMetaType();
    m_streamState = IStreamState();
    m_streamKind = IStreamState::Streaming;
    m_nFailedTries = 0;
    if (!m_pStreamTimer) {
        m_pStreamTimer = new QTimer;
        m_pStreamTimer->setSingleShot(true);
        m_pStreamTimer->setTimerType(Qt::PreciseTimer);  // the grace period is a promise to the user
        connect(m_pStreamTimer, &QTimer::timeout, this, &IDShowThread::onStreamTimer);
    }

    std::shared_ptr<IMoniker> moniker;
    {
        std::shared_ptr<ICreateDevEnum> devEnum;
        if (CoCreateInstance(CLSID::SystemDeviceEnum, devEnum) != S_OK || !devEnum) {
            emit sgResult(OpenFailed);
            m_bReopen = false;
            return;
        }
        std::shared_ptr<IEnumMoniker> enumMoniker;
        if (devEnum->CreateClassEnumerator(DeviceCategory::VideoInputDevice, enumMoniker) != S_OK || !enumMoniker) {
            emit sgResult(OpenFailed);
            m_bReopen = false;
            return;
        }
        enumMoniker->Reset();
        std::shared_ptr<IMoniker> candidate;
        while (enumMoniker->Next(candidate) == S_OK && candidate) {
            std::shared_ptr<IPropertyBag> bag;
            if (FAILED(candidate->BindToStorage(bag)) || !bag)
                continue;
            QString path;
            if (bag->Read(QStringLiteral("DevicePath"), path) != S_OK)
                continue;
            if (path == m_strDevicePath) {
                qDebug().noquote() << QStringLiteral("dshow open camera: ") + path;
                moniker = candidate;
                break;
            }
        }
    }
    if (!moniker) {
        emit sgResult(OpenFailed);
        qDebug().noquote() << QStringLiteral("not find device: ") + m_strDevicePath;
        close();
        m_bReopen = false;
        return;
    }

    HRESULT hrPreview = S_OK;
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        EnumerateFormats(moniker);
        const HRESULT hrOpen = OpenDevice(moniker);
        if (FAILED(hrOpen)) {
            emit sgResult(hrOpen == -2 ? ParameterError : OpenFailed);
            m_bReopen = false;
            qInfo() << "OpenDevice failed";
            return;
        }
        InitData();
        m_bFrameSinceStart = false;
        hrPreview = StartPreview();
        if (FAILED(hrPreview)) {
            emit sgResult(PreviewFailed);
            qDebug().nospace() << "dshow-->StartPreview error: " << hrPreview;
        } else if (!m_bReopen) {
            emit sgResult(Success);
        }
        m_bReopen = false;
    }
    enterStartResult(hrPreview);
    // Opened while nothing shows it (a page opened hidden): the grace period runs already.
    if (SUCCEEDED(hrPreview) && !m_bSeen)
        m_pStreamTimer->start(releaseGraceMs());
}

bool IDShowThread::setResolution(const CameraResolution& resolution)
{
    Q_ASSERT(QThread::currentThread() == m_pHomeThread);
    bool open = false;
    {
        // Under the graph lock, so a worker building the graph does not write its
        // resolution over this one.
        std::lock_guard<std::mutex> lock(m_graphMutex);
        setCurrentResolution(resolution);
        open = m_pDeviceFilter != nullptr;
    }
    if (open) {
        m_bReopen = true;
        close();
    }
    return true;
}

// ---- stream life -----------------------------------------------------------------

void IDShowThread::assertWorker() const
{
    Q_ASSERT(QThread::currentThread() == thread() && QThread::currentThread() != m_pHomeThread);
}

std::atomic<int> IDShowThread::s_nReleaseGraceMs{IDShowThread::kReleaseGraceMs};
std::atomic<int> IDShowThread::s_nCloseDelayMs{IDShowThread::kCloseDelayMs};

int IDShowThread::failedRetryMs(int attempt)
{
    static const int kSteps[] = {1000, 2000, 4000};
    return attempt >= 0 && attempt < 3 ? kSteps[attempt] : 10000;
}

void IDShowThread::setPreviewArea(const QSize& area)
{
    const qint64 packed = area.isEmpty() ? -1 : (qint64(area.width()) << 32 | area.height());
    if (m_nPreviewArea.exchange(packed) != packed)
        qDebug() << "camera: preview area" << area;
    const bool seen = !area.isEmpty();
    // The worker decides; a camera not open yet reads m_bSeen when it starts.
    if (m_bSeen.exchange(seen) != seen)
        QMetaObject::invokeMethod(this, [this, seen] { onPreviewSeen(seen); }, Qt::QueuedConnection);
}

void IDShowThread::StreamFailedCB(HRESULT error, const QString& reason)
{
    // Streaming thread: the worker takes it from here.
    QMetaObject::invokeMethod(this, [this, error, reason] { onStreamFailed(error, reason); }, Qt::QueuedConnection);
}

void IDShowThread::onPreviewSeen(bool seen)
{
    if (!m_pStreamTimer || QThread::currentThread() != m_pStreamTimer->thread())
        return;  // not open (or the worker is ending): nothing streams
    assertWorker();
    switch (m_streamState.kind) {
    case IStreamState::Streaming:
        // A quick hide and show keeps the stream as it was.
        if (seen)
            m_pStreamTimer->stop();
        else
            m_pStreamTimer->start(releaseGraceMs());
        break;
    case IStreamState::Released:
    case IStreamState::Busy:
    case IStreamState::Failed:
        // Retries wait while nothing is seen; seen again, the stream is tried at once.
        m_pStreamTimer->stop();
        if (seen)
            restartStream();
        else
            m_pStreamTimer->start(closeDelayMs());
        break;
    case IStreamState::Closed:
        if (seen)
            reopenHandle();
        break;
    }
}

void IDShowThread::onStreamTimer()
{
    assertWorker();
    if (m_streamState.kind == IStreamState::Streaming) {
        if (!m_bSeen)
            releaseStream();
    } else if (m_streamState.kind == IStreamState::Closed) {
        if (m_bSeen)
            reopenHandle();  // a reopen that failed, tried again
    } else if (!m_bSeen) {
        closeHandle();
    } else if (m_streamState.kind != IStreamState::Released) {
        restartStream();
    }
}

void IDShowThread::onStreamFailed(HRESULT error, const QString& reason)
{
    if (!m_pStreamTimer || QThread::currentThread() != m_pStreamTimer->thread())
        return;
    assertWorker();
    if (m_streamState.kind != IStreamState::Streaming)
        return;  // a stream already stopped on purpose
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        StopPreview();
    }
    // A stream that delivered frames failed anew; one that failed at once goes on backing off.
    if (m_bFrameSinceStart)
        m_nFailedTries = 0;
    const int wait = failedRetryMs(m_nFailedTries++);
    qDebug().noquote() << QStringLiteral("camera: the driver ended the stream (%1, 0x%2); trying again in %3 s")
                              .arg(reason)
                              .arg(quint32(error), 8, 16, QLatin1Char('0'))
                              .arg(wait / 1000);
    IStreamState state;
    state.kind = IStreamState::Failed;
    state.reason = reason;
    enterState(state);
    m_pStreamTimer->start(m_bSeen ? wait : closeDelayMs());
}

void IDShowThread::releaseStream()
{
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        if (!m_pDeviceFilter)
            return;
        StopPreview();
        DisconnectPreview();  // the decoder and its buffers go with the connection
    }
    freeFrameMemory();
    qDebug() << "camera: no preview seen for" << releaseGraceMs() << "ms; streaming stopped, buffers freed, device kept open";
    IStreamState state;
    state.kind = IStreamState::Released;
    enterState(state);
    m_pStreamTimer->start(closeDelayMs());
}

void IDShowThread::closeHandle()
{
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        if (!m_pDeviceFilter)
            return;
        const std::shared_ptr<IMoniker> moniker = m_pMoniker;
        m_closedControls = m_controls->controls();
        CloseDevice();
        m_pClosedMoniker = moniker;
    }
    freeFrameMemory();
    qDebug() << "camera: still not seen; device closed until the preview is seen again";
    IStreamState state;
    state.kind = IStreamState::Closed;
    enterState(state);
}

void IDShowThread::reopenHandle()
{
    HRESULT hr = E_POINTER;
    bool opened = false;
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        if (!m_pClosedMoniker || !m_bPreviewWanted)
            return;
        m_bComInitialized = SUCCEEDED(CoInitialize(nullptr));
        hr = OpenDevice(m_pClosedMoniker);
        opened = SUCCEEDED(hr);
        if (opened) {
            m_pClosedMoniker.reset();
            InitData();
            m_bFrameSinceStart = false;
            hr = StartPreview();
        }
    }
    if (!opened) {
        // Not open again (gone, or refused for now): still closed, tried again while seen.
        qDebug() << "camera: reopening the device failed, code" << hr;
        if (m_bSeen)
            m_pStreamTimer->start(failedRetryMs(m_nFailedTries++));
        return;
    }
    m_nFailedTries = 0;
    qDebug() << "camera: device reopened";
    reportChangedWhileClosed();
    enterStartResult(hr);
}

void IDShowThread::reportChangedWhileClosed()
{
    // While closed no control event could come: what another program changed meanwhile is
    // told now as the events it would have been, so that the page and dialog show the camera.
    const std::vector<DeviceControl> now = m_controls->controls();
    for (const DeviceControl& before : m_closedControls) {
        const auto after = std::find_if(now.begin(), now.end(), [&](const DeviceControl& c) { return c.id == before.id; });
        if (after == now.end() || (after->value == before.value && after->flags == before.flags))
            continue;
        ControlEvent event;
        event.id = after->id;
        event.value = after->value;
        event.flags = after->flags;
        event.valueChanged = after->value != before.value;
        event.flagsChanged = after->flags != before.flags;
        emit sgControlEvent(event);
        emit sgControlChanged(after->id);
    }
    m_closedControls.clear();
}

void IDShowThread::restartStream()
{
    HRESULT hr = E_POINTER;
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        if (!m_pDeviceFilter || !m_bPreviewWanted)
            return;  // closing: the facade stopped the preview
        m_bFrameSinceStart = false;
        hr = RestartPreview();
    }
    if (SUCCEEDED(hr) && m_streamState.kind != IStreamState::Streaming)
        qDebug() << "camera: streaming again at" << currentResolution().size;
    enterStartResult(hr);
}

void IDShowThread::enterStartResult(HRESULT hr)
{
    IStreamState state;
    if (SUCCEEDED(hr)) {
        m_frames.pool()->setKeepFree(kPoolKeepFree);
        state.kind = IStreamState::Streaming;
        enterState(state);
        return;
    }
    if (hr == E_DEVICE_BUSY) {
        state.kind = IStreamState::Busy;
        state.holders = deviceHolders();
        state.deviceSize = deviceSize();
        if (m_streamState.kind != IStreamState::Busy || m_streamState.holders != state.holders)
            qDebug().noquote() << "camera: the device is busy; held by"
                               << (state.holders.isEmpty() ? QStringLiteral("a program not seen") : state.holders.join(", "));
        enterState(state);
        m_pStreamTimer->start(m_bSeen ? kBusyRetryMs : closeDelayMs());
        return;
    }
    const int wait = failedRetryMs(m_nFailedTries++);
    state.kind = IStreamState::Failed;
    state.reason = ErrorMessage(hr);
    if (m_streamState.kind != IStreamState::Failed)
        qDebug().noquote() << "camera: the stream did not start:" << state.reason;
    enterState(state);
    m_pStreamTimer->start(m_bSeen ? wait : closeDelayMs());
}

void IDShowThread::enterState(const IStreamState& state)
{
    const bool changed = state != m_streamState;
    m_streamState = state;
    m_streamKind = state.kind;
    if (changed || state.kind == IStreamState::Streaming)
        emit sgStreamState(state);
}

void IDShowThread::freeFrameMemory()
{
    m_frames.clear();
    // Also the frames still shown or on their way to the GUI thread, once they go.
    m_frames.pool()->setKeepFree(0);
    m_stillGrabber.clear();
    {
        std::lock_guard<std::mutex> lock(m_imageMutex);
        m_image = QImage();
    }
#if defined(__GLIBC__)
    // Frame-sized blocks freed in the middle of the heap are given back to the system.
    malloc_trim(0);
#endif
}

QStringList IDShowThread::deviceHolders()
{
    const auto filter = std::dynamic_pointer_cast<capture::DeviceFilter>(m_pDeviceFilter);
    return filter && filter->device() ? filter->device()->holders() : QStringList();
}
