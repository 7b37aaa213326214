#pragma once

#include "camera/iframehandover.h"
#include "capture/dshow.h"

#include <QObject>

// The still pin's grabber callback. Like the frame path it keeps a copy of the newest
// still picture and sends one notice at a time; the receiver takes the picture with
// takeStill().
class IStillCaptureImageGrabber : public QObject, public dshow::ISampleGrabberCB
{
    Q_OBJECT
public:
    explicit IStillCaptureImageGrabber(QObject* parent = nullptr);

    dshow::HRESULT SampleCB(double sampleTime, void* sample) override;
    dshow::HRESULT BufferCB(double sampleTime, dshow::BYTE* buffer, long bufferLen) override;

    // The newest still picture (its bytes in buffer->size), owned by the caller; null when none.
    IFrameBufferPool::Buffer* takeStill() { return m_stills.take(); }
    void clear() { m_stills.clear(); }

signals:
    // pBuffer is null: the picture waits in stills() (the platform's buffer is gone by
    // the time the receiver runs).
    void sgStillImage(dshow::BYTE* pBuffer, long lBufferSize);

private:
    IFrameHandOver m_stills{1};
};
