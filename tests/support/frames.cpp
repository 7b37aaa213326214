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

HRESULT TestGraph::open(const QString& path)
{
    std::shared_ptr<ICreateDevEnum> devEnum;
    std::shared_ptr<IEnumMoniker> monikers;
    std::shared_ptr<IMoniker> moniker;
    if (FAILED(CoCreateInstance(CLSID::SystemDeviceEnum, devEnum))
        || devEnum->CreateClassEnumerator(DeviceCategory::VideoInputDevice, monikers) != S_OK)
        return E_FAIL;
    for (QString devicePath; devicePath != path;) {
        std::shared_ptr<IPropertyBag> bag;
        if (monikers->Next(moniker) != S_OK)
            return VFW_E_NOT_FOUND;
        if (FAILED(moniker->BindToStorage(bag)) || FAILED(bag->Read(QStringLiteral("DevicePath"), devicePath)))
            devicePath.clear();
    }
    HRESULT h;
    if (FAILED(h = moniker->BindToObject(device)) || FAILED(h = CoCreateInstance(CLSID::FilterGraph, graph))
        || FAILED(h = QueryInterface(graph, control)) || FAILED(h = CoCreateInstance(CLSID::CaptureGraphBuilder2, builder))
        || FAILED(h = builder->SetFiltergraph(graph)))
        return h;
    return graph->AddFilter(device, QStringLiteral("Video Filter"));
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

HRESULT TestGraph::stream(FrameCollector* frames)
{
    std::shared_ptr<IBaseFilter> grabberFilter;
    std::shared_ptr<IPin> out;
    std::vector<std::shared_ptr<IPin>> pins;
    AM_MEDIA_TYPE mt;
    mt.majortype = MajorType::Video;
    mt.subtype = MEDIASUBTYPE_RGB32;
    HRESULT h = CoCreateInstance(CLSID::SampleGrabber, grabberFilter);
    if (FAILED(h) || FAILED(h = QueryInterface(grabberFilter, grabber)) || FAILED(h = grabber->SetMediaType(mt))
        || FAILED(h = graph->AddFilter(grabberFilter, QStringLiteral("SampleGrabber")))
        || FAILED(h = builder->FindPin(device, PINDIR_OUTPUT, PinCategory::Capture, true, 0, out))
        || FAILED(h = grabberFilter->EnumPins(pins)) || FAILED(h = graph->Connect(out, pins.front()))
        || FAILED(h = grabber->SetCallback(frames, 1)))
        return h;
    return control->Run();
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
