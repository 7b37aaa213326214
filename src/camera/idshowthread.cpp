// IDShowThread: thread life and reopen. open, close and setResolution run on the GUI
// thread; startCapture and the finish handler on the worker.
#include "camera/idshowthread.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

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
{
    registerPointerType();
}

IDShowThread::~IDShowThread()
{
    {
        std::lock_guard<std::mutex> lock(m_controlSink->mutex);
        m_controlSink->camera = nullptr;
    }
    // A worker that still runs is ended and the device released before the object goes.
    m_bReopen = false;
    close();
    reapThreads();
}

bool IDShowThread::open(const QVariant& device, bool stillCapture)
{
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
    m_bComInitialized = SUCCEEDED(CoInitialize(nullptr));

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
    const HRESULT hrPreview = StartPreview();
    if (FAILED(hrPreview)) {
        emit sgResult(PreviewFailed);
        qDebug().nospace() << "dshow-->StartPreview error: " << hrPreview;
    } else if (!m_bReopen) {
        emit sgResult(Success);
    }
    m_bReopen = false;
}

bool IDShowThread::setResolution(const CameraResolution& resolution)
{
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
