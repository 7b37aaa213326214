#pragma once

#include "capture/capturedevice.h"
#include "capture/devicestream.h"

#include <memory>
#include <mutex>

namespace capture {

// A device whose frames come from a DeviceStream: start, stop and the calls a sink makes
// from inside its own callback, the same for every backend that streams on a thread.
class StreamingDevice : public CaptureDevice
{
public:
    // Calls from the sink cannot start a stream (VFW_E_NOT_STOPPED).
    HRESULT start(FrameSink sink) override;
    // From the sink this only asks the stream to end: the streaming thread cannot wait
    // for itself, and m_opMutex may be held by a stop() on another thread that waits for it.
    HRESULT stop() override;
    bool isStreaming() const override;

protected:
    // The backend's part of start(): a session delivering to `sink`, whose streaming
    // thread runs under an OwnerScope of this device. Called with m_opMutex held.
    virtual HRESULT openStream(FrameSink sink, std::shared_ptr<DeviceStream>& out) = 0;

    bool calledFromSink() const { return DeviceStream::currentOwner() == this; }
    // A session that ended by itself or was stopped from its sink is finished and
    // dropped, on a thread that may wait for it; true while one still delivers.
    // Called with m_opMutex held.
    bool reapStream();
    // For the destructor of a backend: the session is asked to end and, unless this is
    // its own streaming thread (which ends once the sink returns), waited for.
    void endStream();

    // Lock order: m_opMutex (start, stop and format changes; held while a stream starts
    // or is waited for), then m_streamMutex (the pointer only, never held while waiting).
    // The streaming thread takes neither.
    std::mutex m_opMutex;

private:
    std::shared_ptr<DeviceStream> stream() const;
    void setStream(std::shared_ptr<DeviceStream> stream);

    mutable std::mutex m_streamMutex;
    std::shared_ptr<DeviceStream> m_stream;
};

} // namespace capture
