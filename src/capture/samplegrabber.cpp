#include "capture/samplegrabber.h"

#include "capture/filterpin.h"

namespace capture {

using namespace dshow;

std::shared_ptr<SampleGrabber> SampleGrabber::create()
{
    std::shared_ptr<SampleGrabber> grabber(new SampleGrabber);
    const std::weak_ptr<IBaseFilter> self = std::static_pointer_cast<IBaseFilter>(grabber);
    grabber->m_input = std::make_shared<FilterPin>(self, PINDIR_INPUT, QStringLiteral("Input"));
    grabber->m_output = std::make_shared<FilterPin>(self, PINDIR_OUTPUT, QStringLiteral("Output"));
    // What leaves the grabber is what reached it.
    const std::weak_ptr<FilterPin> input = grabber->m_input;
    grabber->m_output->setTypeSource([input](AM_MEDIA_TYPE& mt) {
        const auto pin = input.lock();
        return pin ? pin->ConnectionMediaType(mt) : VFW_E_NOT_CONNECTED;
    });
    return grabber;
}

HRESULT SampleGrabber::EnumPins(std::vector<std::shared_ptr<IPin>>& pins)
{
    pins = {m_input, m_output};
    return S_OK;
}

HRESULT SampleGrabber::SetMediaType(const AM_MEDIA_TYPE& mt)
{
    std::lock_guard<std::mutex> lock(m_typeMutex);
    m_requested = mt;
    return S_OK;
}

HRESULT SampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE& mt)
{
    return m_input->ConnectionMediaType(mt);
}

HRESULT SampleGrabber::SetBufferSamples(bool buffer)
{
    // Frames only ever go to the callback; a copy kept for GetCurrentBuffer is never asked for.
    Q_UNUSED(buffer)
    return S_OK;
}

HRESULT SampleGrabber::SetOneShot(bool oneShot)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    m_oneShot = oneShot;
    m_shotTaken = false;
    return S_OK;
}

HRESULT SampleGrabber::SetCallback(ISampleGrabberCB* callback, long whichMethod)
{
    if (whichMethod != 0 && whichMethod != 1)
        return E_INVALIDARG;
    // Taking the lock waits for a callback in progress on another thread, so that
    // when this returns the old callback object is no longer in use.
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    m_callback = callback;
    m_hasCallback = callback != nullptr;
    m_whichMethod = whichMethod;
    return S_OK;
}

HRESULT SampleGrabber::SetFramePool(std::shared_ptr<IFrameBufferPool> pool)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    m_framePool = std::move(pool);
    return S_OK;
}

AM_MEDIA_TYPE SampleGrabber::requestedType() const
{
    std::lock_guard<std::mutex> lock(m_typeMutex);
    return m_requested;
}

bool SampleGrabber::previewArea(int& width, int& height)
{
    width = height = 0;
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    return !m_callback || m_callback->PreviewArea(width, height);
}

void SampleGrabber::receiveCompressed(const std::uint8_t* data, std::size_t size, int width, int height, double sampleTime)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    if (m_callback && !(m_oneShot && m_shotTaken))
        m_callback->CompressedCB(sampleTime, data, static_cast<long>(size), width, height);
}

void SampleGrabber::receive(const std::uint8_t* data, std::size_t size, double sampleTime)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    if (!m_callback || (m_oneShot && m_shotTaken))
        return;
    m_shotTaken = true;
    // The platform's callback takes a writable pointer; the bytes are the layer's own
    // per-connection buffer, valid for this call only.
    auto* bytes = const_cast<BYTE*>(data);
    if (m_whichMethod == 1)
        m_callback->BufferCB(sampleTime, bytes, static_cast<long>(size));
    else
        m_callback->SampleCB(sampleTime, bytes);
}

IFrameBufferPool::Buffer* SampleGrabber::acquireFrame(std::size_t bytes)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    if (!m_framePool || !m_callback || m_whichMethod != 1 || (m_oneShot && m_shotTaken))
        return nullptr;
    return m_framePool->acquire(bytes);
}

void SampleGrabber::streamFailed(HRESULT error, const QString& reason)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    if (m_callback)
        m_callback->StreamFailedCB(error, reason);
}

void SampleGrabber::receiveFrame(IFrameBufferPool::Buffer* frame)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    // The callback may have gone between acquireFrame and now.
    if (!m_callback || m_whichMethod != 1 || (m_oneShot && m_shotTaken)) {
        IFrameBufferPool::recycle(frame);
        return;
    }
    m_shotTaken = true;
    m_callback->FrameCB(frame);
}

} // namespace capture
