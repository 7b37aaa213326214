// IDShowThread: format survey, graph building and teardown, preview. Runs on the
// worker thread under the graph lock; setPreview and triggerStillCapture also come
// from the GUI thread and take the lock themselves.
#include "camera/idshowthread.h"

#include <QDebug>

#include <algorithm>
#include <cstdlib>

using namespace dshow;

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
    // Frames are decoded straight into the hand-over's buffers.
    m_pSampleGrabber->SetFramePool(m_frames.pool());
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
        CameraResolution current = askedFormat(mt);
        const QList<CameraResolution> list = resolutions();
        BITMAPINFOHEADER& header = mt.format.bmiHeader;

        hr = config->SetFormat(mt);
        if (FAILED(hr)) {
            qDebug() << "set format failed not support resolution:" << current.size;
            // Busy: the size asked for stays asked for (the stream starts with it once the
            // holder lets go); the narrowest size would be refused just the same.
            if (hr == E_DEVICE_BUSY) {
                if (current.size.isEmpty())
                    current.size = deviceSize();
            } else if (!list.isEmpty()) {
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

CameraResolution IDShowThread::askedFormat(AM_MEDIA_TYPE& mt)
{
    // The resolution asked for (its capture size), or the device's own when none was;
    // MJPG whenever the device offers it.
    CameraResolution current = currentResolution();
    BITMAPINFOHEADER& header = mt.format.bmiHeader;
    if (current.size.isEmpty()) {
        current.size = QSize(header.biWidth, std::abs(header.biHeight));
    } else {
        const QList<CameraResolution> list = resolutions();
        const int found = list.indexOf(current);
        if (found >= 0)
            current.size = list.at(found).captureSize;
        header.biWidth = current.size.width();
        header.biHeight = current.size.height();
    }
    if (std::find(m_subtypes.begin(), m_subtypes.end(), MEDIASUBTYPE_MJPG) != m_subtypes.end())
        mt.subtype = MEDIASUBTYPE_MJPG;
    return current;
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
    m_bPreviewWanted = on;  // a retry due meanwhile does not start it again
    return SUCCEEDED(on ? StartPreview() : StopPreview());
}

HRESULT IDShowThread::CloseDevice()
{
    m_controls->detach();
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

// ---- stream life -----------------------------------------------------------------

HRESULT IDShowThread::RestartPreview()
{
    if (!m_pGraph || !m_pCapture || !m_pDeviceFilter)
        return E_POINTER;
    // Whoever held the device meanwhile may have set another format: the pins are
    // connected anew at the size asked for, which the decoder then expects.
    DisconnectPreview();
    std::shared_ptr<IAMStreamConfig> config;
    HRESULT hr = m_pCapture->FindInterface(PinCategory::Capture, MajorType::Video, m_pDeviceFilter, config);
    AM_MEDIA_TYPE mt;
    if (SUCCEEDED(hr) && config)
        hr = config->GetFormat(mt);
    if (FAILED(hr) || !config)
        return FAILED(hr) ? hr : E_NOINTERFACE;
    const CameraResolution current = askedFormat(mt);
    hr = config->SetFormat(mt);
    if (FAILED(hr))
        return hr;
    setCurrentResolution(current);
    hr = ConnectFilters();
    if (FAILED(hr))
        return hr;
    if (m_pSampleGrabber && FAILED(hr = m_pSampleGrabber->SetCallback(this, 1)))
        return hr;
    if (!m_pMediaControl)
        return E_POINTER;
    hr = m_pMediaControl->Run();
    if (SUCCEEDED(hr))
        m_bPreviewing = true;
    return hr;
}

void IDShowThread::DisconnectPreview()
{
    if (m_pGraph && m_pGrabberInput)
        m_pGraph->Disconnect(m_pGrabberInput);
    if (m_pGraph && m_pCameraOutput)
        m_pGraph->Disconnect(m_pCameraOutput);
    m_pGrabberInput.reset();
    m_pCameraOutput.reset();
}

QSize IDShowThread::deviceSize()
{
    std::shared_ptr<IAMStreamConfig> config;
    AM_MEDIA_TYPE mt;
    if (!m_pCapture || !m_pDeviceFilter
        || FAILED(m_pCapture->FindInterface(PinCategory::Capture, MajorType::Video, m_pDeviceFilter, config)) || !config
        || FAILED(config->GetFormat(mt)))
        return QSize();
    return QSize(mt.format.bmiHeader.biWidth, std::abs(mt.format.bmiHeader.biHeight));
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
