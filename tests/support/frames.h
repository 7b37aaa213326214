#pragma once

// Frames for the capture tests: a grabber callback, a preview graph, picture checks.

#include "capture/dshow.h"

#include <QByteArray>
#include <QImage>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// Counts the buffers a grabber hands over and keeps a copy of the latest (a buffer is
// only valid during the call).
class FrameCollector : public dshow::ISampleGrabberCB
{
public:
    dshow::HRESULT SampleCB(double, void*) override { return 0; }
    dshow::HRESULT BufferCB(double time, dshow::BYTE* buffer, long length) override;
    bool waitFor(int count, int timeoutMs = 5000)  // until `count` buffers in total
    { std::unique_lock<std::mutex> lock(m_mutex); return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_count >= count; }); }
    int count() const { std::lock_guard<std::mutex> lock(m_mutex); return m_count; }
    QByteArray last() const { std::lock_guard<std::mutex> lock(m_mutex); return m_last; }

    std::atomic<int> sleepMs{0};
    std::atomic<bool> inCallback{false};

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    QByteArray m_last;
    int m_count = 0;
};

// Device filter -> sample grabber, like the camera's preview graph.
struct TestGraph
{
    std::shared_ptr<dshow::IGraphBuilder> graph;
    std::shared_ptr<dshow::IMediaControl> control;
    std::shared_ptr<dshow::ICaptureGraphBuilder2> builder;
    std::shared_ptr<dshow::IBaseFilter> device;
    std::shared_ptr<dshow::ISampleGrabber> grabber;

    dshow::HRESULT open(const QString& path);  // finds the device by path and binds it
    dshow::HRESULT setFormat(dshow::Subtype subtype, int width, int height);
    dshow::HRESULT stream(FrameCollector* frames);  // connects a grabber asking for RGB32 and runs
    ~TestGraph() { if (control) control->Stop(); }
};

// The picture a bottom-up RGB32 buffer holds, turned upright (null for a wrong size).
QImage uprightImage(const QByteArray& buffer, int width, int height);

int colourDistance(QRgb a, QRgb b);
