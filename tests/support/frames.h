#pragma once

// Frames for the capture and camera tests: a collector for sample grabbers, a small
// graph built the way the camera code builds it, and picture helpers.

#include "camera/platform/dshow.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

// Collects every buffer a grabber hands over (copied, since it is only valid during
// the call).
class FrameCollector : public dshow::ISampleGrabberCB
{
public:
    dshow::HRESULT SampleCB(double, void*) override { return 0; }
    dshow::HRESULT BufferCB(double time, dshow::BYTE* buffer, long length) override;

    // Waits until `count` buffers have come in total; false on timeout.
    bool waitFor(int count, int timeoutMs = 5000);
    int count() const;
    QByteArray last() const;
    void clear();

    std::atomic<int> sleepMs{0};
    std::atomic<bool> inCallback{false};

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<QByteArray> m_frames;
    int m_count = 0;
};

// Device filter -> sample grabber (asking `requested`) like the camera's preview graph,
// plus the optional still branch.
struct TestGraph
{
    std::shared_ptr<dshow::IGraphBuilder> graph;
    std::shared_ptr<dshow::IMediaControl> control;
    std::shared_ptr<dshow::ICaptureGraphBuilder2> builder;
    std::shared_ptr<dshow::IBaseFilter> device;
    std::shared_ptr<dshow::IBaseFilter> grabberFilter;
    std::shared_ptr<dshow::ISampleGrabber> grabber;
    std::shared_ptr<dshow::IBaseFilter> stillGrabberFilter;
    std::shared_ptr<dshow::ISampleGrabber> stillGrabber;
    std::shared_ptr<dshow::IPin> stillPin;

    // Finds the device by path and binds it; returns BindToObject's code.
    dshow::HRESULT open(const QString& path);
    dshow::HRESULT setFormat(dshow::Subtype subtype, int width, int height);
    dshow::HRESULT connect(dshow::Subtype requested = dshow::MEDIASUBTYPE_RGB32);
    dshow::HRESULT connectStill();
    ~TestGraph();
};

// The picture a bottom-up RGB32 buffer holds, turned upright.
QImage uprightImage(const QByteArray& buffer, int width, int height);

// Largest difference of the three colour channels.
int colourDistance(QRgb a, QRgb b);
