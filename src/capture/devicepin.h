#pragma once

#include "capture/capturedevice.h"
#include "capture/filterpin.h"
#include "capture/framedecoder.h"

#include <memory>
#include <vector>

namespace capture {

class FrameReceiver;

// An output pin of a capture device (capture or still). It offers the device's formats,
// is its stream configuration, and carries frames from the device's streaming thread
// through the decoder the connection needs to the filter downstream.
class DevicePin : public FilterPin, public dshow::IAMStreamConfig
{
public:
    DevicePin(std::weak_ptr<dshow::IBaseFilter> owner, std::shared_ptr<CaptureDevice> device,
              dshow::PinCategory category, std::vector<FormatDescriptor> formats);

    dshow::HRESULT EnumMediaTypes(std::vector<dshow::AM_MEDIA_TYPE>& types) override;
    dshow::PinCategory Category() const override { return m_category; }

    dshow::HRESULT GetFormat(dshow::AM_MEDIA_TYPE& mt) override;
    dshow::HRESULT SetFormat(const dshow::AM_MEDIA_TYPE& mt) override;

    dshow::HRESULT offeredMediaType(dshow::AM_MEDIA_TYPE& mt) override;
    dshow::HRESULT connect(const std::shared_ptr<FilterPin>& peer, const dshow::AM_MEDIA_TYPE& offered,
                           const dshow::AM_MEDIA_TYPE& connection, bool decode) override;
    dshow::HRESULT disconnect() override;

    // Streaming thread: one frame from the device.
    void deliver(const RawFrame& frame);

    static dshow::AM_MEDIA_TYPE mediaType(const FormatDescriptor& format);

private:
    std::shared_ptr<CaptureDevice> m_device;
    dshow::PinCategory m_category;
    std::vector<FormatDescriptor> m_formats;
    FormatDescriptor m_stillFormat;
    // Set while connected; guarded by m_mutex (FilterPin's). Delivery takes its own
    // references under the lock and decodes without it, so that a disconnect or
    // isConnected never waits for a decode; the decoder itself is only ever used by
    // the one streaming thread of the pin.
    std::shared_ptr<FrameReceiver> m_receiver;
    std::shared_ptr<FrameDecoder> m_decoder;
    std::vector<std::uint8_t> m_copy;  // streaming thread only
};

} // namespace capture
