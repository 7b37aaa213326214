#include "frames.h"


#include <chrono>
#include <cstdlib>
#include <thread>

using namespace dshow;

HRESULT FrameCollector::BufferCB(double, BYTE* buffer, long length)
{
    inCallback = true;
    if (sleepMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs.load()));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frames.emplace_back(reinterpret_cast<const char*>(buffer), static_cast<int>(length));
        if (m_frames.size() > 4)
            m_frames.erase(m_frames.begin());
        ++m_count;
    }
    m_cv.notify_all();
    inCallback = false;
    return 0;
}

bool FrameCollector::waitFor(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_count >= count; });
}

int FrameCollector::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

QByteArray FrameCollector::last() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.empty() ? QByteArray() : m_frames.back();
}

void FrameCollector::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.clear();
    m_count = 0;
}

HRESULT TestGraph::open(const QString& path)
{
    std::shared_ptr<ICreateDevEnum> devEnum;
    HRESULT h = CoCreateInstance(CLSID::SystemDeviceEnum, devEnum);
    if (FAILED(h))
        return h;
    std::shared_ptr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(DeviceCategory::VideoInputDevice, monikers) != S_OK)
        return E_FAIL;
    std::shared_ptr<IMoniker> moniker;
    while (monikers->Next(moniker) == S_OK) {
        std::shared_ptr<IPropertyBag> bag;
        QString devicePath;
        if (SUCCEEDED(moniker->BindToStorage(bag)) && SUCCEEDED(bag->Read(QStringLiteral("DevicePath"), devicePath))
            && devicePath == path) {
            h = moniker->BindToObject(device);
            if (FAILED(h))
                return h;
            if (FAILED(h = CoCreateInstance(CLSID::FilterGraph, graph)) || FAILED(h = QueryInterface(graph, control))
                || FAILED(h = CoCreateInstance(CLSID::CaptureGraphBuilder2, builder)) || FAILED(h = builder->SetFiltergraph(graph)))
                return h;
            graph->AddFilter(device, QStringLiteral("Video Filter"));
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT TestGraph::setFormat(Subtype subtype, int width, int height)
{
    std::shared_ptr<IAMStreamConfig> config;
    HRESULT h = builder->FindInterface(PinCategory::Capture, MajorType::Video, device, config);
    if (FAILED(h))
        return h;
    AM_MEDIA_TYPE mt;
    if (FAILED(h = config->GetFormat(mt)))
        return h;
    mt.subtype = subtype;
    mt.format.bmiHeader.biWidth = width;
    mt.format.bmiHeader.biHeight = height;
    return config->SetFormat(mt);
}

HRESULT TestGraph::connect(Subtype requested)
{
    HRESULT h = CoCreateInstance(CLSID::SampleGrabber, grabberFilter);
    if (FAILED(h) || FAILED(h = QueryInterface(grabberFilter, grabber)))
        return h;
    graph->AddFilter(grabberFilter, QStringLiteral("SampleGrabber"));
    AM_MEDIA_TYPE mt;
    mt.majortype = MajorType::Video;
    mt.subtype = requested;
    grabber->SetMediaType(mt);
    std::shared_ptr<IPin> out;
    if (FAILED(h = builder->FindPin(device, PINDIR_OUTPUT, PinCategory::Capture, true, 0, out)))
        return h;
    std::vector<std::shared_ptr<IPin>> pins;
    grabberFilter->EnumPins(pins);
    return graph->Connect(out, pins.front());
}

HRESULT TestGraph::connectStill()
{
    HRESULT h = CoCreateInstance(CLSID::SampleGrabber, stillGrabberFilter);
    if (FAILED(h) || FAILED(h = QueryInterface(stillGrabberFilter, stillGrabber)))
        return h;
    AM_MEDIA_TYPE mt;
    mt.majortype = MajorType::Video;
    mt.subtype = MEDIASUBTYPE_MJPG;
    stillGrabber->SetMediaType(mt);
    graph->AddFilter(stillGrabberFilter, QStringLiteral("Grabber"));
    std::shared_ptr<IBaseFilter> nullRenderer;
    CoCreateInstance(CLSID::NullRenderer, nullRenderer);
    graph->AddFilter(nullRenderer, QStringLiteral("NullRender"));
    if (FAILED(h = builder->RenderStream(PinCategory::Still, MajorType::Video, device, stillGrabberFilter, nullRenderer)))
        return h;
    return builder->FindPin(device, PINDIR_OUTPUT, PinCategory::Still, false, 0, stillPin);
}

TestGraph::~TestGraph()
{
    if (control)
        control->Stop();
}

QImage uprightImage(const QByteArray& buffer, int width, int height)
{
    if (buffer.size() != width * height * 4)
        return QImage();
    QImage image(reinterpret_cast<const uchar*>(buffer.constData()), width, height, width * 4, QImage::Format_RGB32);
    return image.mirrored(false, true);
}

int colourDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}
