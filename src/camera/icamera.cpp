#include "camera/icamera.h"

#include "camera/idshowthread.h"
#include "capture/idevicescanner.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace {

// Closes the camera while the application object still exists (its destructor runs
// the post routines), whatever way the program ends.
void closeCameraAtExit()
{
    ICamera::instance()->closeOnExit();
}

} // namespace

ICamera* ICamera::instance()
{
    static ICamera camera;
    return &camera;
}

ICamera::ICamera()
    : QObject(nullptr)
{
    qRegisterMetaType<dshow::ControlEvent>("dshow::ControlEvent");
    watchApplication();
}

ICamera::~ICamera()
{
    // Normally closed before the application object went away; a camera left open
    // (no application ever existed) is still ended here rather than left running.
    closeOnExit();
}

void ICamera::watchApplication()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (m_bWatchingApplication || !app)
        return;
    m_bWatchingApplication = true;
    connect(app, &QCoreApplication::aboutToQuit, this, &ICamera::closeCamera);
    connect(app, &QObject::destroyed, this, [this]() { m_bWatchingApplication = false; });
    qAddPostRoutine(closeCameraAtExit);
}

bool ICamera::openCamera(ICameraInfo info, bool stillCapture)
{
    Q_ASSERT(QThread::currentThread() == thread());
    watchApplication();
    closeCamera();
    setCurrentCameraInfo(info);
    m_pCamera = createCamera(false);
    if (m_pCamera) {
        m_pCamera->setResolution(info.resolution);
        m_pCamera->open(QVariant(info.strDevicePath), stillCapture);
    }
    return true;
}

QImage ICamera::photo()
{
    return m_pCamera ? m_pCamera->photo() : QImage();
}

void ICamera::setPreviewArea(const QSize& area)
{
    m_previewArea = area;
    if (m_pCamera)
        m_pCamera->setPreviewArea(area);
}

IAbstractCamera* ICamera::createCamera(bool bare)
{
    auto* camera = new IDShowThread(nullptr);
    if (m_previewArea.isValid())
        camera->setPreviewArea(m_previewArea);
    if (!bare) {
        connect(camera, &IAbstractCamera::sgResult, this, &ICamera::sgResult);
        connect(camera, &IAbstractCamera::sgStillImage, this, &ICamera::sgStillImage);
        connect(camera, &IAbstractCamera::sgAutoScanner, this, &ICamera::sgAutoScanner);
        connect(camera, &IAbstractCamera::sgCaptureImage, this, &ICamera::sgCaptureImage);
        IStreamState::registerMetaType();
        // Queued to the GUI thread; a state still on its way when the camera closed is dropped.
        const quint64 opened = ++m_nOpened;
        connect(camera, &IAbstractCamera::sgStreamState, this, [this, opened](const IStreamState& state) {
            if (m_pCamera && opened == m_nOpened)
                emit sgStreamState(state);
        });
        // Queued from the device's thread: one that arrives after its camera closed is not the open camera's.
        connect(camera, &IAbstractCamera::sgControlEvent, this, [this, camera](const dshow::ControlEvent& event) {
            if (camera == m_pCamera)
                emit sgControlEvent(event);
        }, Qt::QueuedConnection);
        // Queued from the control worker's thread, like the events.
        // Outcomes of a camera that is closing still count (the pause in closeCamera lets
        // them arrive): what the user set landed on the device and is kept.
        const QString path = currentCameraInfo().strDevicePath;
        connect(camera, &IAbstractCamera::sgControlDone, this, [this, camera, opened, path](capture::ControlOutcome outcome) {
            if (opened != m_nOpened)
                return;
            // A request made while this one was on its way makes it old news for the page.
            outcome.latest = outcome.latest && camera->controlLatest(outcome);
            emit sgControlDone(outcome);
            dshow::DeviceControl c;  // a button press is no setting to keep
            if (outcome.user && dshow::SUCCEEDED(outcome.result)
                && !(camera->control(outcome.id, c) && c.kind == dshow::DeviceControl::Kind::Button))
                emit sgControlSet(outcome.id, outcome.value, path);
        }, Qt::QueuedConnection);
        connect(camera, &IAbstractCamera::sgControlChanged, this, [this, camera](quint32 id) {
            if (camera == m_pCamera)
                emit sgControlChanged(id);
        }, Qt::QueuedConnection);
        // Runs on the camera's worker thread; see offerPreview.
        connect(camera, &IAbstractCamera::sgPreviewImage, this, [this](const QImage& image) { offerPreview(image); },
                Qt::DirectConnection);
    }
    return camera;
}

bool ICamera::closeCamera()
{
    Q_ASSERT(QThread::currentThread() == thread());
    // Taken at once: the pause below processes events, and whatever runs there (a
    // removal notice, another close) finds no camera to close a second time.
    IAbstractCamera* camera = m_pCamera;
    m_pCamera = nullptr;
    if (camera) {
        camera->setPreview(false);
        sleepWithEvents(200);
        emit sgRunCopyImage();
        camera->close();
        delete camera;
        ++m_nOpened;
        // A frame the worker produced after the pause belongs to the closed camera.
        dropPreview();
    }
    const CameraResolution resolution = currentCameraResolution();
    setCurrentCameraInfo(ICameraInfo());
    setCurrentCameraResolution(resolution);
    return true;
}

void ICamera::closeOnExit()
{
    IAbstractCamera* camera = m_pCamera;
    m_pCamera = nullptr;
    if (!camera)
        return;
    camera->setPreview(false);
    camera->close();
    delete camera;
    dropPreview();
}

void ICamera::offerPreview(const QImage& image)
{
    bool queue = false;
    {
        std::lock_guard<std::mutex> lock(m_previewMutex);
        if (!m_pendingPreview.isNull())
            ++m_nDroppedPreviews;
        m_pendingPreview = image;
        queue = !m_bDeliveryQueued;
        m_bDeliveryQueued = true;
    }
    if (queue)
        QMetaObject::invokeMethod(this, "deliverPreview", Qt::QueuedConnection);
}

void ICamera::deliverPreview()
{
    QImage image;
    {
        std::lock_guard<std::mutex> lock(m_previewMutex);
        image.swap(m_pendingPreview);
        m_bDeliveryQueued = false;
    }
    if (!image.isNull())
        emit sgPreviewImage(image);
}

void ICamera::dropPreview()
{
    std::lock_guard<std::mutex> lock(m_previewMutex);
    m_pendingPreview = QImage();
}

QList<ICameraInfo> ICamera::cameraList(int)
{
    return IDeviceScanner::scan();
}

quint64 ICamera::droppedPreviews() const
{
    std::lock_guard<std::mutex> lock(m_previewMutex);
    return m_nDroppedPreviews;
}

CameraParameters ICamera::parameters()
{
    return m_pCamera ? m_pCamera->parameters() : CameraParameters();
}

QList<CameraResolution> ICamera::resolutions()
{
    return m_pCamera ? m_pCamera->resolutions() : QList<CameraResolution>();
}

bool ICamera::setResolution(const CameraResolution& resolution)
{
    return m_pCamera ? m_pCamera->setResolution(resolution) : false;
}

bool ICamera::setFocus(const QVariant& value)
{
    return m_pCamera ? m_pCamera->setFocus(value) : false;
}

bool ICamera::setExposure(const QVariant& value)
{
    return m_pCamera ? m_pCamera->setExposure(value) : false;
}

bool ICamera::setContrast(const QVariant& value)
{
    return m_pCamera ? m_pCamera->setContrast(value) : false;
}

bool ICamera::setSharpness(const QVariant& value)
{
    return m_pCamera ? m_pCamera->setSharpness(value) : false;
}

bool ICamera::setSaturation(const QVariant& value)
{
    return m_pCamera ? m_pCamera->setSaturation(value) : false;
}

bool ICamera::setBrightness(const QVariant& value)
{
    return m_pCamera ? m_pCamera->setBrightness(value) : false;
}

bool ICamera::setWhiteBalance(const QVariant& value)
{
    return m_pCamera ? m_pCamera->setWhiteBalance(value) : false;
}

bool ICamera::setFocusAuto()
{
    return m_pCamera ? m_pCamera->setFocusAuto() : false;
}

bool ICamera::setExposureAuto()
{
    return m_pCamera ? m_pCamera->setExposureAuto() : false;
}

bool ICamera::setWhiteBalanceAuto()
{
    return m_pCamera ? m_pCamera->setWhiteBalanceAuto() : false;
}

capture::ControlResult ICamera::setControl(quint32 id, qint64 value)
{
    return m_pCamera ? m_pCamera->setControl(id, value) : capture::ControlResult::NoCamera;
}

capture::ControlResult ICamera::setControlAuto(quint32 id, bool on)
{
    return m_pCamera ? m_pCamera->setControlAuto(id, on) : capture::ControlResult::NoCamera;
}

capture::ControlResult ICamera::setControlText(quint32 id, const QString& text)
{
    return m_pCamera ? m_pCamera->setControlText(id, text) : capture::ControlResult::NoCamera;
}

void ICamera::afterControls(QObject* context, std::function<void()> then)
{
    if (!m_pCamera) {
        then();
        return;
    }
    // Queued after the outcomes the worker emitted before it: they arrive first.
    const QPointer<QObject> target = context;
    m_pCamera->afterControls([target, then] {
        if (target)
            QMetaObject::invokeMethod(target, then, Qt::QueuedConnection);
    });
}

std::vector<dshow::DeviceControl> ICamera::controls()
{
    return m_pCamera ? m_pCamera->controls() : std::vector<dshow::DeviceControl>();
}

bool ICamera::control(quint32 id, dshow::DeviceControl& out)
{
    return m_pCamera && m_pCamera->control(id, out);
}

void sleepWithEvents(const int& milliseconds)
{
    if (!QCoreApplication::instance()) {
        QThread::msleep(static_cast<unsigned long>(qMax(0, milliseconds)));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    qint64 left = milliseconds;
    while (left > 0) {
        // Waits for events instead of spinning, at most 100 ms per round.
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(qMin<qint64>(left, 100)), &loop, &QEventLoop::quit);
        if (loop.exec(QEventLoop::AllEvents) != 0) {
            // The thread is quitting and refuses new loops: process what is there.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
            QThread::msleep(5);
        }
        left = milliseconds - timer.elapsed();
    }
}
