#include "camera/istillcaptureimagegrabber.h"

#include <cstring>

IStillCaptureImageGrabber::IStillCaptureImageGrabber(QObject* parent)
    : QObject(parent)
{
}

dshow::HRESULT IStillCaptureImageGrabber::SampleCB(double sampleTime, void* sample)
{
    Q_UNUSED(sampleTime)
    Q_UNUSED(sample)
    return dshow::S_OK;
}

dshow::HRESULT IStillCaptureImageGrabber::BufferCB(double sampleTime, dshow::BYTE* buffer, long bufferLen)
{
    if (!buffer || bufferLen <= 0)
        return dshow::S_OK;
    // The platform's buffer is only valid during this call.
    IFrameBufferPool::Buffer* copy = m_stills.pool()->acquire(static_cast<std::size_t>(bufferLen));
    if (!copy)
        return dshow::S_OK;
    std::memcpy(copy->data, buffer, static_cast<std::size_t>(bufferLen));
    copy->sampleTime = sampleTime;
    if (m_stills.put(copy))
        emit sgStillImage(nullptr, bufferLen);
    return dshow::S_OK;
}
