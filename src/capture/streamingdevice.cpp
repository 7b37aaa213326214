#include "capture/streamingdevice.h"

namespace capture {

std::shared_ptr<DeviceStream> StreamingDevice::stream() const
{
    std::lock_guard<std::mutex> lock(m_streamMutex);
    return m_stream;
}

void StreamingDevice::setStream(std::shared_ptr<DeviceStream> stream)
{
    std::lock_guard<std::mutex> lock(m_streamMutex);
    m_stream = std::move(stream);
}

bool StreamingDevice::reapStream()
{
    std::shared_ptr<DeviceStream> s = stream();
    if (s && s->running())
        return true;
    if (s) {
        s->finish();
        setStream(nullptr);
    }
    return false;
}

HRESULT StreamingDevice::start(FrameSink sink)
{
    if (calledFromSink())
        return dshow::VFW_E_NOT_STOPPED;
    std::lock_guard<std::mutex> op(m_opMutex);
    if (reapStream())
        return dshow::S_FALSE;  // already delivering
    std::shared_ptr<DeviceStream> s;
    const HRESULT h = openStream(std::move(sink), s);
    if (dshow::SUCCEEDED(h))
        setStream(std::move(s));
    return h;
}

HRESULT StreamingDevice::stop()
{
    if (calledFromSink()) {
        if (std::shared_ptr<DeviceStream> s = stream())
            s->requestStop();
        return dshow::S_OK;
    }
    std::lock_guard<std::mutex> op(m_opMutex);
    if (std::shared_ptr<DeviceStream> s = stream()) {
        s->requestStop();
        s->finish();
        setStream(nullptr);  // the buffers go unless a sink still holds the session
    }
    return dshow::S_OK;
}

bool StreamingDevice::isStreaming() const
{
    const std::shared_ptr<DeviceStream> s = stream();
    return s && s->running();
}

void StreamingDevice::endStream()
{
    std::shared_ptr<DeviceStream> s = stream();
    if (!s)
        return;
    s->requestStop();
    if (!calledFromSink())
        s->finish();
    setStream(nullptr);
}

} // namespace capture
