#include "camera/directshow/istillcaptureimagegrabber.h"

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
    if (m_stills.put(sampleTime, buffer, bufferLen))
        emit sgStillImage(nullptr, bufferLen);
    return dshow::S_OK;
}
