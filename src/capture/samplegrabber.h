#pragma once

#include "capture/dshow.h"
#include "capture/framereceiver.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace capture {

class FilterPin;

// The sample grabber: an input pin that asks for a media type (RGB32 makes the graph
// insert a decoder in front of it), an output pin for a renderer, and a callback that
// sees every frame on the streaming thread.
class SampleGrabber : public dshow::IBaseFilter, public dshow::ISampleGrabber, public FrameReceiver,
                      public std::enable_shared_from_this<SampleGrabber>
{
public:
    static std::shared_ptr<SampleGrabber> create();

    dshow::HRESULT EnumPins(std::vector<std::shared_ptr<dshow::IPin>>& pins) override;
    QString Name() const override { return QStringLiteral("SampleGrabber"); }

    dshow::HRESULT SetMediaType(const dshow::AM_MEDIA_TYPE& mt) override;
    dshow::HRESULT GetConnectedMediaType(dshow::AM_MEDIA_TYPE& mt) override;
    dshow::HRESULT SetBufferSamples(bool buffer) override;
    dshow::HRESULT SetOneShot(bool oneShot) override;
    dshow::HRESULT SetCallback(dshow::ISampleGrabberCB* callback, long whichMethod) override;
    dshow::HRESULT SetFramePool(std::shared_ptr<IFrameBufferPool> pool) override;

    dshow::AM_MEDIA_TYPE requestedType() const override;
    bool wantsFrames() const override { return m_hasCallback.load(); }
    bool previewArea(int& width, int& height) override;
    void receiveCompressed(const std::uint8_t* data, std::size_t size, int width, int height, double sampleTime) override;
    void receive(const std::uint8_t* data, std::size_t size, double sampleTime) override;
    IFrameBufferPool::Buffer* acquireFrame(std::size_t bytes) override;
    void receiveFrame(IFrameBufferPool::Buffer* frame) override;
    void streamFailed(dshow::HRESULT error, const QString& reason) override;

private:
    SampleGrabber() = default;

    std::shared_ptr<FilterPin> m_input;
    std::shared_ptr<FilterPin> m_output;
    mutable std::mutex m_typeMutex;
    dshow::AM_MEDIA_TYPE m_requested;
    // Lock order: m_callbackMutex, then m_typeMutex or the pool's; never the other way.
    // Held across the callback (which only hands the frame on and returns) so that
    // SetCallback(null) returns only when the old callback is no longer running; the
    // decode happens before, without it. Recursive: a callback may reset the callback
    // from inside BufferCB.
    std::recursive_mutex m_callbackMutex;
    dshow::ISampleGrabberCB* m_callback = nullptr;
    std::shared_ptr<IFrameBufferPool> m_framePool;  // guarded by m_callbackMutex
    std::atomic<bool> m_hasCallback{false};
    long m_whichMethod = 1;
    bool m_oneShot = false;
    bool m_shotTaken = false;
};

} // namespace capture
