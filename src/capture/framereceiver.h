#pragma once

#include "capture/dshow.h"

#include <cstddef>
#include <cstdint>

namespace capture {

// A filter that takes frames at its input pin (sample grabber, null renderer).
class FrameReceiver
{
public:
    virtual ~FrameReceiver() = default;
    // The type the filter wants at its input; subtype None accepts whatever comes.
    virtual dshow::AM_MEDIA_TYPE requestedType() const = 0;
    // Whether a frame would be used now; when not, the sender spares itself decoding it.
    virtual bool wantsFrames() const { return true; }
    // The area decoded frames are shown in (0 x 0 = full size); false when nothing is
    // shown, and then frames are not decoded at all.
    virtual bool previewArea(int& width, int& height)
    {
        width = height = 0;
        return true;
    }
    // A compressed frame about to be decoded; `data` is valid only during the call.
    virtual void receiveCompressed(const std::uint8_t* data, std::size_t size, int width, int height, double sampleTime)
    {
        Q_UNUSED(data) Q_UNUSED(size) Q_UNUSED(width) Q_UNUSED(height) Q_UNUSED(sampleTime)
    }
    // On the streaming thread; `data` is valid only during the call.
    virtual void receive(const std::uint8_t* data, std::size_t size, double sampleTime) = 0;
    // A buffer to decode the next frame into, upright; null when the filter takes
    // bytes through receive() only.
    virtual IFrameBufferPool::Buffer* acquireFrame(std::size_t bytes)
    {
        Q_UNUSED(bytes)
        return nullptr;
    }
    // On the streaming thread: a frame in a buffer from acquireFrame, now the filter's.
    virtual void receiveFrame(IFrameBufferPool::Buffer* frame) { IFrameBufferPool::recycle(frame); }
    // On the streaming thread: the driver ended the stream with `error`.
    virtual void streamFailed(dshow::HRESULT error, const QString& reason) { Q_UNUSED(error) Q_UNUSED(reason) }
};

} // namespace capture
