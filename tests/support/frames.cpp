#include "frames.h"

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace dshow;

HRESULT FrameCollector::BufferCB(double, BYTE* buffer, long length)
{
    inCallback = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs.load()));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_last = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<int>(length));
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
    return m_last;
}

HRESULT TestGraph::open(const QString& path)
{
    std::shared_ptr<ICreateDevEnum> devEnum;
    std::shared_ptr<IEnumMoniker> monikers;
    HRESULT h = CoCreateInstance(CLSID::SystemDeviceEnum, devEnum);
    if (FAILED(h) || devEnum->CreateClassEnumerator(DeviceCategory::VideoInputDevice, monikers) != S_OK)
        return E_FAIL;
    std::shared_ptr<IMoniker> moniker;
    while (monikers->Next(moniker) == S_OK) {
        std::shared_ptr<IPropertyBag> bag;
        QString devicePath;
        if (FAILED(moniker->BindToStorage(bag)) || FAILED(bag->Read(QStringLiteral("DevicePath"), devicePath)) || devicePath != path)
            continue;
        if (FAILED(h = moniker->BindToObject(device)) || FAILED(h = CoCreateInstance(CLSID::FilterGraph, graph))
            || FAILED(h = QueryInterface(graph, control)) || FAILED(h = CoCreateInstance(CLSID::CaptureGraphBuilder2, builder))
            || FAILED(h = builder->SetFiltergraph(graph)))
            return h;
        return graph->AddFilter(device, QStringLiteral("Video Filter"));
    }
    return VFW_E_NOT_FOUND;
}

HRESULT TestGraph::setFormat(Subtype subtype, int width, int height)
{
    std::shared_ptr<IAMStreamConfig> config;
    AM_MEDIA_TYPE mt;
    HRESULT h = builder->FindInterface(PinCategory::Capture, MajorType::Video, device, config);
    if (FAILED(h) || FAILED(h = config->GetFormat(mt)))
        return h;
    mt.subtype = subtype;
    mt.format.bmiHeader.biWidth = width;
    mt.format.bmiHeader.biHeight = height;
    return config->SetFormat(mt);
}

HRESULT TestGraph::connect(Subtype requested)
{
    std::shared_ptr<IBaseFilter> grabberFilter;
    std::shared_ptr<IPin> out;
    HRESULT h = CoCreateInstance(CLSID::SampleGrabber, grabberFilter);
    if (FAILED(h) || FAILED(h = QueryInterface(grabberFilter, grabber)))
        return h;
    graph->AddFilter(grabberFilter, QStringLiteral("SampleGrabber"));
    AM_MEDIA_TYPE mt;
    mt.majortype = MajorType::Video;
    mt.subtype = requested;
    grabber->SetMediaType(mt);
    if (FAILED(h = builder->FindPin(device, PINDIR_OUTPUT, PinCategory::Capture, true, 0, out)))
        return h;
    std::vector<std::shared_ptr<IPin>> pins;
    grabberFilter->EnumPins(pins);
    return graph->Connect(out, pins.front());
}

HRESULT TestGraph::stream(FrameCollector* frames)
{
    HRESULT h = grabber ? S_OK : connect();
    if (FAILED(h) || FAILED(h = grabber->SetCallback(frames, 1)))
        return h;
    return control->Run();
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
    return QImage(reinterpret_cast<const uchar*>(buffer.constData()), width, height, width * 4, QImage::Format_RGB32)
        .mirrored(false, true);
}

int colourDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}
