#include "camera/idshowthread.h"

#include "camera/idevicecontrolsdialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>
#include <QTransform>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
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
{
    registerPointerType();
}

IDShowThread::~IDShowThread()
{
    // A worker that still runs is ended and the device released before the object goes.
    m_bReopen = false;
    close();
    reapThreads();
}

// ---- thread ------------------------------------------------------------------

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

// ---- formats and graph -------------------------------------------------------

HRESULT IDShowThread::EnumerateFormats(const std::shared_ptr<IMoniker>& moniker)
{
    if (!moniker)
        return 1;
    std::shared_ptr<IBaseFilter> filter;
    HRESULT hr = moniker->BindToObject(filter);
    if (FAILED(hr) || !filter)
        return FAILED(hr) ? hr : E_FAIL;

    std::vector<std::shared_ptr<IPin>> pins;
    hr = filter->EnumPins(pins);
    if (FAILED(hr))
        return hr;

    auto isVideoInfo = [](const AM_MEDIA_TYPE& mt) {
        return mt.formattype == FormatType::VideoInfo && mt.majortype == MajorType::Video;
    };
    auto outputTypes = [&](const std::shared_ptr<IPin>& pin, std::vector<AM_MEDIA_TYPE>& types) {
        PIN_INFO info;
        if (!pin || FAILED(pin->QueryPinInfo(info)) || info.dir != PINDIR_OUTPUT)
            return false;
        return SUCCEEDED(pin->EnumMediaTypes(types));
    };

    std::vector<Subtype> subtypes;
    for (const auto& pin : pins) {
        std::vector<AM_MEDIA_TYPE> types;
        if (!outputTypes(pin, types))
            continue;
        for (const AM_MEDIA_TYPE& mt : types) {
            if (isVideoInfo(mt) && std::find(subtypes.begin(), subtypes.end(), mt.subtype) == subtypes.end())
                subtypes.push_back(mt.subtype);
        }
    }

    Subtype chosen = MEDIASUBTYPE_None;
    if (std::find(subtypes.begin(), subtypes.end(), MEDIASUBTYPE_MJPG) != subtypes.end())
        chosen = MEDIASUBTYPE_MJPG;
    else if (subtypes.empty())
        return E_FAIL;
    else
        chosen = subtypes.front();

    QList<CameraResolution> list;
    for (const auto& pin : pins) {
        std::vector<AM_MEDIA_TYPE> types;
        if (!outputTypes(pin, types))
            continue;
        for (const AM_MEDIA_TYPE& mt : types) {
            if (!isVideoInfo(mt) || mt.subtype != chosen || mt.cbFormat < kVideoInfoHeaderSize)
                continue;
            const CameraResolution entry(mt.format.bmiHeader.biWidth, mt.format.bmiHeader.biHeight);
            if (!list.contains(entry))
                list.append(entry);
        }
    }
    std::stable_sort(list.begin(), list.end(), [](const CameraResolution& a, const CameraResolution& b) {
        return a.size.width() < b.size.width();
    });
    setResolutionList(list);
    m_subtypes = subtypes;
    return S_OK;
}

HRESULT IDShowThread::OpenDevice(const std::shared_ptr<IMoniker>& moniker)
{
    if (!moniker)
        return -1;
    m_pMoniker = moniker;

    HRESULT hr = InitializeEnv();
    if (FAILED(hr)) {
        qDebug() << "InitializeEnv error.";
        CloseDevice();
        return hr;
    }
    hr = AddCaptureFilter();
    if (FAILED(hr)) {
        CloseDevice();
        return hr;
    }
    hr = AddSampleGrabber();
    if (FAILED(hr)) {
        CloseDevice();
        return hr;
    }
    hr = BuildPreviewGraph();
    if (FAILED(hr)) {
        CloseDevice();
        return hr;
    }
    hr = QueryInterface(m_pDeviceFilter, m_pKsControl);
    if (FAILED(hr)) {
        CloseDevice();
        return hr;
    }
    if (m_bStillCapture) {
        hr = SetupStillCapture();
        if (FAILED(hr)) {
            qDebug() << "device not support still captue imgae.";
            CloseDevice();
            return hr;
        }
    }
    return hr;
}

HRESULT IDShowThread::InitializeEnv()
{
    HRESULT hr = CoCreateInstance(CLSID::FilterGraph, m_pGraph);
    if (FAILED(hr))
        return hr;
    hr = CoCreateInstance(CLSID::CaptureGraphBuilder2, m_pCapture);
    if (FAILED(hr))
        return hr;
    hr = QueryInterface(m_pGraph, m_pMediaControl);
    if (FAILED(hr)) {
        qDebug() << "init m_pMediaControl error.";
        return hr;
    }
    hr = QueryInterface(m_pGraph, m_pVideoWindow);
    if (FAILED(hr))
        return hr;
    return m_pCapture->SetFiltergraph(m_pGraph);
}

HRESULT IDShowThread::AddCaptureFilter()
{
    if (!m_pMoniker)
        return -1;
    std::shared_ptr<IPropertyBag> bag;
    HRESULT hr = m_pMoniker->BindToStorage(bag);
    if (FAILED(hr))
        return hr;
    bag.reset();
    hr = m_pMoniker->BindToObject(m_pDeviceFilter);
    if (FAILED(hr))
        return hr;
    if (!m_pDeviceFilter)
        return E_FAIL;
    return m_pGraph->AddFilter(m_pDeviceFilter, QStringLiteral("Video Filter"));
}

HRESULT IDShowThread::AddSampleGrabber()
{
    HRESULT hr = CoCreateInstance(CLSID::SampleGrabber, m_pGrabberFilter);
    if (FAILED(hr))
        return hr;
    hr = QueryInterface(m_pGrabberFilter, m_pSampleGrabber);
    if (FAILED(hr))
        return hr;
    m_pGraph->AddFilter(m_pGrabberFilter, QStringLiteral("SampleGrabber"));
    return m_pSampleGrabber->SetBufferSamples(false);
}

HRESULT IDShowThread::BuildPreviewGraph()
{
    if (!m_pCapture || !m_pDeviceFilter)
        return -1;

    std::shared_ptr<IAMStreamConfig> config;
    HRESULT hr = m_pCapture->FindInterface(PinCategory::Capture, MajorType::Interleaved, m_pDeviceFilter, config);
    if (FAILED(hr))
        hr = m_pCapture->FindInterface(PinCategory::Capture, MajorType::Video, m_pDeviceFilter, config);
    AM_MEDIA_TYPE mt;
    if (SUCCEEDED(hr) && config && SUCCEEDED(config->GetFormat(mt))) {
        CameraResolution current = currentResolution();
        const QList<CameraResolution> list = resolutions();
        BITMAPINFOHEADER& header = mt.format.bmiHeader;
        if (current.size.width() == 0 && current.size.height() == 0) {
            current.size = QSize(header.biWidth, std::abs(header.biHeight));
        } else {
            const int found = list.indexOf(current);
            if (found >= 0)
                current.size = list.at(found).captureSize;
            header.biWidth = current.size.width();
            header.biHeight = current.size.height();
        }
        if (std::find(m_subtypes.begin(), m_subtypes.end(), MEDIASUBTYPE_MJPG) != m_subtypes.end())
            mt.subtype = MEDIASUBTYPE_MJPG;

        hr = config->SetFormat(mt);
        if (FAILED(hr)) {
            qDebug() << "set format failed not support resolution:" << current.size;
            if (!list.isEmpty()) {
                current = list.first();
                header.biWidth = current.size.width();
                header.biHeight = current.size.height();
                hr = config->SetFormat(mt);
                if (FAILED(hr))
                    qDebug() << "set format failed not support resolution2:" << current.size;
            }
        }

        AM_MEDIA_TYPE rgb;
        rgb.majortype = MajorType::Video;
        rgb.subtype = MEDIASUBTYPE_RGB32;
        if (!m_pSampleGrabber || FAILED(m_pSampleGrabber->SetMediaType(rgb)))
            qDebug() << "set media type failed";

        setCurrentResolution(current);
        setCurrentCameraResolution(current);
    }

    hr = ConnectFilters();
    if (FAILED(hr))
        qDebug().noquote() << QStringLiteral("开启回调模式失败：") + ErrorMessage(hr);
    return hr;
}

HRESULT IDShowThread::ConnectFilters()
{
    HRESULT hr = GetUnconnectedPin(m_pDeviceFilter, PINDIR_OUTPUT, m_pCameraOutput);
    if (SUCCEEDED(hr))
        hr = GetUnconnectedPin(m_pGrabberFilter, PINDIR_INPUT, m_pGrabberInput);
    if (SUCCEEDED(hr))
        hr = m_pGraph ? m_pGraph->Connect(m_pCameraOutput, m_pGrabberInput) : E_POINTER;
    if (FAILED(hr)) {
        m_pCameraOutput.reset();
        m_pGrabberInput.reset();
    }
    return hr;
}

HRESULT IDShowThread::GetUnconnectedPin(const std::shared_ptr<IBaseFilter>& filter, PIN_DIRECTION direction,
                                        std::shared_ptr<IPin>& pin)
{
    pin.reset();
    if (!filter)
        return E_POINTER;
    std::vector<std::shared_ptr<IPin>> pins;
    const HRESULT hr = filter->EnumPins(pins);
    if (FAILED(hr))
        return hr;
    for (const auto& candidate : pins) {
        PIN_DIRECTION dir = PINDIR_INPUT;
        if (!candidate || FAILED(candidate->QueryDirection(dir)) || dir != direction)
            continue;
        std::shared_ptr<IPin> peer;
        if (FAILED(candidate->ConnectedTo(peer))) {
            pin = candidate;
            return S_OK;
        }
    }
    return E_NOTIMPL;
}

HRESULT IDShowThread::SetupStillCapture()
{
    HRESULT hr = CoCreateInstance(CLSID::SampleGrabber, m_pStillGrabberFilter);
    if (FAILED(hr))
        return hr;
    hr = QueryInterface(m_pStillGrabberFilter, m_pStillSampleGrabber);
    if (FAILED(hr))
        return hr;

    AM_MEDIA_TYPE mjpg;
    mjpg.majortype = MajorType::Video;
    mjpg.subtype = MEDIASUBTYPE_MJPG;
    m_pStillSampleGrabber->SetMediaType(mjpg);

    m_pGraph->AddFilter(m_pStillGrabberFilter, QStringLiteral("Grabber"));
    std::shared_ptr<IBaseFilter> nullRenderer;
    if (SUCCEEDED(CoCreateInstance(CLSID::NullRenderer, nullRenderer)))
        m_pGraph->AddFilter(nullRenderer, QStringLiteral("NullRender"));

    hr = m_pCapture->RenderStream(PinCategory::Still, MajorType::Video, m_pDeviceFilter, m_pStillGrabberFilter,
                                  nullRenderer);
    if (FAILED(hr))
        return hr;

    m_pStillSampleGrabber->SetOneShot(false);
    m_pStillSampleGrabber->SetBufferSamples(false);
    m_pStillSampleGrabber->SetCallback(&m_stillGrabber, 1);

    AM_MEDIA_TYPE connected;
    const HRESULT hrType = m_pStillSampleGrabber->GetConnectedMediaType(connected);
    QueryInterface(m_pDeviceFilter, m_pVideoControl);
    m_pCapture->FindPin(m_pDeviceFilter, PINDIR_OUTPUT, PinCategory::Still, false, 0, m_pStillPin);
    if (FAILED(hrType))
        return hrType;

    connect(&m_stillGrabber, &IStillCaptureImageGrabber::sgStillImage, this, &IDShowThread::slStillCaptureCallback,
            Qt::UniqueConnection);
    return S_OK;
}

bool IDShowThread::triggerStillCapture()
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    if (!m_pVideoControl || !m_pStillPin)
        return false;
    return SUCCEEDED(m_pVideoControl->SetMode(m_pStillPin, VideoControlFlag_Trigger));
}

// ---- preview -----------------------------------------------------------------

HRESULT IDShowThread::StartPreview()
{
    HRESULT hr = S_OK;
    if (m_pSampleGrabber) {
        hr = m_pSampleGrabber->SetCallback(this, 1);
        if (FAILED(hr)) {
            qDebug() << "dshow-->SetCallback--error";
            return hr;
        }
    }
    if (!m_pMediaControl)
        return -1;
    hr = m_pMediaControl->Run();
    FILTER_STATE state = FILTER_STATE::State_Stopped;
    m_pMediaControl->GetState(100, state);
    if (FAILED(hr)) {
        qDebug() << "m_pMediaControl->Run() error.";
        return hr;
    }
    m_bPreviewing = true;
    qDebug() << "preview success.";
    return hr;
}

HRESULT IDShowThread::StopPreview()
{
    HRESULT hr = -1;
    if (m_pSampleGrabber) {
        hr = m_pSampleGrabber->SetCallback(nullptr, 1);
        if (FAILED(hr)) {
            qDebug() << "dshow stop preview SetCallback error";
            return hr;
        }
    }
    if (!m_pMediaControl)
        return hr;
    hr = m_pMediaControl->Stop();
    if (SUCCEEDED(hr))
        m_bPreviewing = false;
    else
        qDebug() << "dshow stop preview Stop error";
    return hr;
}

bool IDShowThread::setPreview(const bool& on)
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    return SUCCEEDED(on ? StartPreview() : StopPreview());
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

// ---- teardown ----------------------------------------------------------------

HRESULT IDShowThread::CloseDevice()
{
    StopPreview();
    TearDownGraph();

    m_pKsControl.reset();
    m_pMediaControl.reset();
    m_pDeviceFilter.reset();
    m_pVideoWindow.reset();
    m_pMoniker.reset();
    m_pCapture.reset();
    m_pGraph.reset();
    m_pSampleGrabber.reset();
    m_pGrabberFilter.reset();
    m_pCameraOutput.reset();
    m_pGrabberInput.reset();
    m_pStillPin.reset();
    m_pVideoControl.reset();
    if (m_pStillSampleGrabber)
        m_pStillSampleGrabber->SetCallback(nullptr, 1);
    m_pStillGrabberFilter.reset();
    m_pStillSampleGrabber.reset();

    // A failed open already released everything once; the apartment is left only once.
    if (m_bComInitialized) {
        CoUninitialize();
        m_bComInitialized = false;
    }
    qDebug() << "exit direct show thread.";
    return S_OK;
}

void IDShowThread::TearDownGraph()
{
    if (m_pVideoWindow) {
        m_pVideoWindow->put_Owner(nullptr);
        m_pVideoWindow->put_Visible(false);
        m_pVideoWindow.reset();
    }
    if (m_pGraph && m_pGrabberFilter && m_pGrabberInput) {
        m_pGraph->Disconnect(m_pGrabberInput);
        m_pGrabberInput.reset();
    }
    if (m_pGraph && m_pDeviceFilter) {
        if (m_pCameraOutput) {
            m_pGraph->Disconnect(m_pCameraOutput);
            m_pCameraOutput.reset();
        } else {
            RemoveDownstream(m_pDeviceFilter, m_pGraph);
        }
    }
}

void IDShowThread::RemoveDownstream(const std::shared_ptr<IBaseFilter>& filter,
                                    const std::shared_ptr<IGraphBuilder>& graph)
{
    if (!filter || !graph)
        return;
    std::vector<std::shared_ptr<IPin>> pins;
    if (FAILED(filter->EnumPins(pins)))
        return;
    for (const auto& pin : pins) {
        std::shared_ptr<IPin> peer;
        if (!pin || FAILED(pin->ConnectedTo(peer)) || !peer)
            continue;
        PIN_INFO info;
        if (SUCCEEDED(peer->QueryPinInfo(info)) && info.dir == PINDIR_INPUT) {
            // A graph that loops back would recurse for ever; a filter is visited once
            // per path, which the platform's graphs (no cycles) satisfy.
            if (auto downstream = info.filter.lock(); downstream && downstream != filter)
                RemoveDownstream(downstream, graph);
            graph->Disconnect(peer);
            graph->Disconnect(pin);
        }
    }
}

// ---- properties --------------------------------------------------------------

namespace {

struct PropertyText
{
    const char* rangeError;
    const char* currentError;  // null: no message
    const char* modeAuto;      // null: the mode is stored silently (or not read)
    const char* modeManual;
    const char* label;
};

template <class Interface>
void readProperty(Interface& control, long property, CameraParameter& slot, const PropertyText& text, bool readMode)
{
    long min = 0, max = 0, step = 0, defaultValue = 0, flags = 0;
    if (FAILED(control.GetRange(property, min, max, step, defaultValue, flags))) {
        qDebug() << text.rangeError;
        return;
    }
    long current = 0;
    long mode = flags;
    if (FAILED(control.Get(property, current, mode))) {
        // The device gave no current value; its default stands in for it, and the
        // capability flags of the range read stand in for the mode.
        current = defaultValue;
        mode = flags;
        if (text.currentError)
            qDebug() << text.currentError;
    }
    flags = mode;
    if (readMode) {
        if (flags & 1) {
            slot.isAuto = true;
            if (text.modeAuto)
                qDebug() << text.modeAuto;
        } else if (flags & 2) {
            slot.isAuto = false;
            if (text.modeManual)
                qDebug() << text.modeManual;
        }
    }
    slot.min = QVariant(static_cast<int>(min));
    slot.max = QVariant(static_cast<int>(max));
    slot.defaultValue = QVariant(static_cast<int>(defaultValue));
    slot.value = QVariant(static_cast<int>(current));
    qDebug().noquote() << text.label << "Min:" << min << "Max:" << max << "Default:" << defaultValue << "Cur:"
                       << current;
}

} // namespace

long IDShowThread::InitData()
{
    if (!m_pDeviceFilter)
        return 1;
    CameraParameters parameters = this->parameters();

    std::shared_ptr<IAMCameraControl> cameraControl;
    if (FAILED(QueryInterface(m_pDeviceFilter, cameraControl)) || !cameraControl) {
        qDebug() << "The device does not support IAMCameraControl";
    } else {
        readProperty(*cameraControl, CameraControl_Focus, parameters[CameraParameters::Focus],
                     {"Get Focus Parameter Error.", "Get Focus Cur value error.", "Focus Mode: Auto",
                      "Focus Mode: Manual", "Focus--->"},
                     true);
        readProperty(*cameraControl, CameraControl_Exposure, parameters[CameraParameters::Exposure],
                     {"Get Exposure Parameter Error.", "Get Exposure Cur value error.", "Exposure Mode: Auto",
                      "Exposure Mode: Manual", "Exposure--->"},
                     true);
    }

    std::shared_ptr<IAMVideoProcAmp> procAmp;
    if (SUCCEEDED(QueryInterface(m_pDeviceFilter, procAmp)) && procAmp) {
        readProperty(*procAmp, VideoProcAmp_Brightness, parameters[CameraParameters::Brightness],
                     {"Get Brightness Parameter Error.", "Get Brightness Cur value error.", nullptr, nullptr,
                      "Brightness--->"},
                     false);
        readProperty(*procAmp, VideoProcAmp_Contrast, parameters[CameraParameters::Contrast],
                     {"Get Contrast Parameter Error.", "Get Contrast Cur value error.", nullptr, nullptr,
                      "Contrast--->"},
                     false);
        readProperty(*procAmp, VideoProcAmp_Saturation, parameters[CameraParameters::Saturation],
                     {"Get Saturation Parameter Error.", "Get Saturation Cur value error.", nullptr, nullptr,
                      "Saturation--->"},
                     false);
        readProperty(*procAmp, VideoProcAmp_Sharpness, parameters[CameraParameters::Sharpness],
                     {"Get Sharpness Parameter Error.", nullptr, nullptr, nullptr, "Sharpness--->"}, false);
        readProperty(*procAmp, VideoProcAmp_WhiteBalance, parameters[CameraParameters::WhiteBalance],
                     {"Get whiteBalance Parameter Error.", nullptr, nullptr, nullptr, "whiteBalance--->"}, true);
    }
    setParameterRecord(parameters);
    return 0;
}

long IDShowThread::SetCameraControlProperty(CameraControlProperty property, long value, CameraControlFlags flags)
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    if (!m_pDeviceFilter)
        return 1;
    std::shared_ptr<IAMCameraControl> control;
    HRESULT hr = QueryInterface(m_pDeviceFilter, control);
    if (SUCCEEDED(hr) && control)
        hr = control->Set(property, value, flags);
    if (FAILED(hr))
        qDebug().nospace() << "set CameraControlProperty error, property: " << property << " value: " << value
                           << " flags: " << flags;
    return hr;
}

long IDShowThread::SetVideoProcAmpProperty(VideoProcAmpProperty property, long value, VideoProcAmpFlags flags)
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    if (!m_pDeviceFilter)
        return 1;
    std::shared_ptr<IAMVideoProcAmp> procAmp;
    HRESULT hr = QueryInterface(m_pDeviceFilter, procAmp);
    if (SUCCEEDED(hr) && procAmp)
        hr = procAmp->Set(property, value, flags);
    if (FAILED(hr))
        qDebug().nospace() << "set VideoProcAmpProperty error, property: " << property << " value: " << value
                           << " flags: " << flags;
    return hr;
}

bool IDShowThread::setFocus(const QVariant& value)
{
    return SetCameraControlProperty(CameraControl_Focus, value.toInt(), CameraControl_Flags_Manual) == S_OK;
}

bool IDShowThread::setFocusAuto()
{
    return SetCameraControlProperty(CameraControl_Focus, 0, CameraControl_Flags_Auto) == S_OK;
}

bool IDShowThread::setExposure(const QVariant& value)
{
    return SetCameraControlProperty(CameraControl_Exposure, value.toInt(), CameraControl_Flags_Manual) == S_OK;
}

bool IDShowThread::setExposureAuto()
{
    return SetCameraControlProperty(CameraControl_Exposure, 0, CameraControl_Flags_Auto) == S_OK;
}

bool IDShowThread::setBrightness(const QVariant& value)
{
    return SetVideoProcAmpProperty(VideoProcAmp_Brightness, value.toInt(), VideoProcAmp_Flags_Manual) == S_OK;
}

bool IDShowThread::setBrightnessAuto()
{
    return SetVideoProcAmpProperty(VideoProcAmp_Brightness, 0, VideoProcAmp_Flags_Auto) == S_OK;
}

bool IDShowThread::setContrast(const QVariant& value)
{
    return SetVideoProcAmpProperty(VideoProcAmp_Contrast, value.toInt(), VideoProcAmp_Flags_Manual) == S_OK;
}

bool IDShowThread::setContrastAuto()
{
    return SetVideoProcAmpProperty(VideoProcAmp_Contrast, 0, VideoProcAmp_Flags_Auto) == S_OK;
}

bool IDShowThread::setSaturation(const QVariant& value)
{
    return SetVideoProcAmpProperty(VideoProcAmp_Saturation, value.toInt(), VideoProcAmp_Flags_Manual) == S_OK;
}

bool IDShowThread::setSaturationAuto()
{
    return SetVideoProcAmpProperty(VideoProcAmp_Saturation, 0, VideoProcAmp_Flags_Auto) == S_OK;
}

bool IDShowThread::setSharpness(const QVariant& value)
{
    return SetVideoProcAmpProperty(VideoProcAmp_Sharpness, value.toInt(), VideoProcAmp_Flags_Manual) == S_OK;
}

bool IDShowThread::setWhiteBalance(const QVariant& value)
{
    return SetVideoProcAmpProperty(VideoProcAmp_WhiteBalance, value.toInt(), VideoProcAmp_Flags_Manual) == S_OK;
}

bool IDShowThread::setWhiteBalanceAuto()
{
    return SetVideoProcAmpProperty(VideoProcAmp_WhiteBalance, 0, VideoProcAmp_Flags_Auto) == S_OK;
}

bool IDShowThread::videoCaptureFilter(QWidget* owner)
{
    std::shared_ptr<ISpecifyPropertyPages> pages;
    {
        std::lock_guard<std::mutex> lock(m_graphMutex);
        if (!m_pDeviceFilter)
            return false;
        if (FAILED(QueryInterface(m_pDeviceFilter, pages)) || !pages)
            return true;
    }
    IDeviceControlsDialog dialog(pages, owner);
    dialog.exec();
    return true;
}

// ---- frames ------------------------------------------------------------------

HRESULT IDShowThread::SampleCB(double sampleTime, void* sample)
{
    Q_UNUSED(sampleTime)
    Q_UNUSED(sample)
    return S_OK;
}

HRESULT IDShowThread::BufferCB(double sampleTime, BYTE* buffer, long bufferLen)
{
    // A frame of the wrong size would be dropped by the worker; it is not even copied.
    if (IFrameBufferPool::Buffer* copy = copyUpright(sampleTime, buffer, bufferLen)) {
        if (m_frames.put(copy))
            emit sgCallback(sampleTime, nullptr, bufferLen);
    }
    return S_OK;
}

void IDShowThread::slCallback(double dblSampleTime, BYTE* pBuffer, long lBufferSize)
{
    if (pBuffer)
        processFrame(copyUpright(dblSampleTime, pBuffer, lBufferSize));
    else
        processFrame(m_frames.take());
}

// Streaming stores: the copy does not first read the destination into the cache (a
// third of the memory traffic) nor push the decoder's buffer out of it, which would
// slow the next decode; the copy is only read again when the picture is painted.
// The source is read from its start: the decoder wrote those rows last, so at HD sizes
// many of them are still in the cache.
void IDShowThread::copyRowsReversed(std::uint8_t* target, const std::uint8_t* source, int rowBytes, int rows)
{
#if defined(__SSE2__)
    if (rowBytes % 16 == 0 && reinterpret_cast<std::uintptr_t>(target) % 16 == 0) {
        const int blocks = rowBytes / 16;
        for (int row = rows - 1; row >= 0; --row) {
            const auto* from = reinterpret_cast<const __m128i*>(source + std::size_t(rows - 1 - row) * rowBytes);
            auto* to = reinterpret_cast<__m128i*>(target + std::size_t(row) * rowBytes);
            int i = 0;
            for (; i + 4 <= blocks; i += 4) {
                const __m128i a = _mm_loadu_si128(from + i), b = _mm_loadu_si128(from + i + 1);
                const __m128i c = _mm_loadu_si128(from + i + 2), d = _mm_loadu_si128(from + i + 3);
                _mm_stream_si128(to + i, a);
                _mm_stream_si128(to + i + 1, b);
                _mm_stream_si128(to + i + 2, c);
                _mm_stream_si128(to + i + 3, d);
            }
            for (; i < blocks; ++i)
                _mm_stream_si128(to + i, _mm_loadu_si128(from + i));
        }
        _mm_sfence();  // the stores are visible before the frame is handed over
        return;
    }
#endif
    const cv::Mat frame(rows, rowBytes / 4, CV_8UC4, const_cast<std::uint8_t*>(source));
    cv::Mat upright(rows, rowBytes / 4, CV_8UC4, target);
    cv::flip(frame, upright, 0);
}

IFrameBufferPool::Buffer* IDShowThread::copyUpright(double sampleTime, const BYTE* pBuffer, long lBufferSize)
{
    const QSize size = currentResolution().size;
    const qint64 rowBytes = qint64(size.width()) * 4;
    if (!pBuffer || size.width() <= 0 || size.height() <= 0 || lBufferSize != rowBytes * size.height())
        return nullptr;
    IFrameBufferPool::Buffer* copy = m_pPool->acquire(static_cast<std::size_t>(lBufferSize));
    if (!copy)
        return nullptr;
    // The copy the hand-over needs anyway reverses the bottom-up rows on the way, so
    // the upright picture (flip mode 1, the usual one) costs no second pass.
    copyRowsReversed(copy->data, pBuffer, int(rowBytes), size.height());
    copy->width = size.width();
    copy->height = size.height();
    copy->sampleTime = sampleTime;
    return copy;
}

void IDShowThread::processFrame(IFrameBufferPool::Buffer* upright)
{
    if (!upright)
        return;
    // The size may have changed since the frame was copied.
    if (QSize(upright->width, upright->height) != currentResolution().size) {
        IFrameBufferPool::recycle(upright);
        return;
    }

    // Flip codes relative to the upright copy: mode 2 is the frame as delivered (upside
    // down), 3 upright and mirrored, 4 upside down and mirrored.
    int code = 2;  // none
    switch (flipMode()) {
    case 1:
        break;
    case 3:
        code = 1;
        break;
    case 4:
        code = -1;
        break;
    default:
        code = 0;
        break;
    }
    IFrameBufferPool::Buffer* oriented = upright;
    if (code != 2) {
        oriented = m_pPool->acquire(upright->size);
        if (!oriented) {
            IFrameBufferPool::recycle(upright);
            return;
        }
        const cv::Mat source(upright->height, upright->width, CV_8UC4, upright->data);
        cv::Mat target(upright->height, upright->width, CV_8UC4, oriented->data);
        cv::flip(source, target, code);
        oriented->width = upright->width;
        oriented->height = upright->height;
        IFrameBufferPool::recycle(upright);
    }

    // The image owns its buffer: nothing else writes to it, so it is the deep copy the
    // latest image must be.
    const QImage image = IFrameBufferPool::wrap(oriented);
    if (image.isNull())
        return;
    {
        std::lock_guard<std::mutex> lock(m_imageMutex);
        m_image = image;
    }
    emit sgPreviewImage(rotated(image));
}

QImage IDShowThread::rotated(const QImage& image) const
{
    const double angle = m_dAngle.load();
    if (angle == 0.0)
        return image;
    return image.transformed(QTransform().rotate(angle, Qt::ZAxis), Qt::FastTransformation);
}

void IDShowThread::slStillCaptureCallback(BYTE* pBuffer, long lBufferSize)
{
    if (pBuffer) {
        emit sgStillImage(QImage::fromData(pBuffer, static_cast<int>(lBufferSize)));
        return;
    }
    if (IFrameBufferPool::Buffer* still = m_stillGrabber.takeStill()) {
        const QImage picture = QImage::fromData(still->data, static_cast<int>(still->size));
        IFrameBufferPool::recycle(still);
        emit sgStillImage(picture);
    }
}

QImage IDShowThread::image()
{
    QImage copy;
    {
        std::lock_guard<std::mutex> lock(m_imageMutex);
        copy = m_image;
    }
    return rotated(copy);
}
