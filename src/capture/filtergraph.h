#pragma once

#include "capture/dshow.h"

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace capture {

// The filter graph: holds the filters, connects pins (inserting the decoder a pin pair
// needs) and starts and stops the capture devices in it.
class FilterGraph : public dshow::IGraphBuilder, public dshow::IMediaControl, public dshow::IVideoWindow
{
public:
    FilterGraph() = default;
    ~FilterGraph() override;

    dshow::HRESULT AddFilter(const std::shared_ptr<dshow::IBaseFilter>& filter, const QString& name) override;
    dshow::HRESULT RemoveFilter(const std::shared_ptr<dshow::IBaseFilter>& filter) override;
    dshow::HRESULT Connect(const std::shared_ptr<dshow::IPin>& out, const std::shared_ptr<dshow::IPin>& in) override;
    dshow::HRESULT Disconnect(const std::shared_ptr<dshow::IPin>& pin) override;

    dshow::HRESULT Run() override;
    dshow::HRESULT Stop() override;
    dshow::HRESULT GetState(long timeoutMs, dshow::FILTER_STATE& state) override;

    // Frames only ever go to sample grabbers; there is no window to own or show.
    dshow::HRESULT put_Owner(void* owner) override;
    dshow::HRESULT put_Visible(bool visible) override;

    bool contains(const std::shared_ptr<dshow::IBaseFilter>& filter) const;

private:
    std::vector<std::shared_ptr<dshow::IBaseFilter>> filtersCopy() const;

    // Recursive: Stop may be called from a frame callback on the streaming thread.
    // Lock order of the capture layer, outermost first: the camera's graph lock, this,
    // DeviceFilter::m_runMutex, the device's start/stop lock (StreamingDevice::m_opMutex
    // for V4L2 and PipeWire, VirtualCamera::m_stopMutex), then the device's own (see
    // StreamingDevice, PipeWireDevice: a PipeWire stream's loop lock comes last). Held
    // while a device stops, which waits for its streaming thread; that thread takes none
    // of these, only SampleGrabber::m_callbackMutex and the camera's leaves (IDShowThread).
    mutable std::recursive_mutex m_mutex;
    std::vector<std::pair<QString, std::shared_ptr<dshow::IBaseFilter>>> m_filters;
    dshow::FILTER_STATE m_state = dshow::FILTER_STATE::State_Stopped;
};

} // namespace capture
