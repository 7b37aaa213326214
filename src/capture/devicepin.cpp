#include "capture/devicepin.h"

#include "capture/framereceiver.h"
#include "capture/pixelformat.h"

#include <QDebug>

#include <cstdlib>
#include <cstring>

namespace capture {

using namespace dshow;

namespace {
std::uint16_t bitCount(Subtype subtype)
{
    const PixelFormat* format = pixelFormat(subtype);
    return format ? format->bitsPerPixel : 24;
}
} // namespace

DevicePin::DevicePin(std::weak_ptr<IBaseFilter> owner, std::shared_ptr<CaptureDevice> device, PinCategory category,
                     std::vector<FormatDescriptor> formats)
    : FilterPin(std::move(owner), PINDIR_OUTPUT, category == PinCategory::Still ? QStringLiteral("Still") : QStringLiteral("Capture")),
      m_device(std::move(device)), m_category(category), m_formats(std::move(formats))
{
    if (!m_formats.empty())
        m_stillFormat = m_formats.front();
}

AM_MEDIA_TYPE DevicePin::mediaType(const FormatDescriptor& format)
{
    AM_MEDIA_TYPE mt;
    mt.majortype = MajorType::Video;
    mt.subtype = format.subtype;
    mt.formattype = FormatType::VideoInfo;
    mt.cbFormat = kVideoInfoHeaderSize;
    mt.format.AvgTimePerFrame = format.fps > 0 ? static_cast<std::int64_t>(10000000.0 / format.fps + 0.5) : 0;
    mt.format.bmiHeader.biWidth = format.width;
    mt.format.bmiHeader.biHeight = format.height;
    mt.format.bmiHeader.biBitCount = bitCount(format.subtype);
    mt.format.bmiHeader.biCompression = format.subtype;
    mt.format.bmiHeader.biSizeImage =
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(format.width) * static_cast<std::uint64_t>(format.height)
                                   * mt.format.bmiHeader.biBitCount / 8);
    return mt;
}

HRESULT DevicePin::EnumMediaTypes(std::vector<AM_MEDIA_TYPE>& types)
{
    types.clear();
    for (const FormatDescriptor& format : m_formats)
        types.push_back(mediaType(format));
    return S_OK;
}

HRESULT DevicePin::GetFormat(AM_MEDIA_TYPE& mt)
{
    if (m_category == PinCategory::Still) {
        if (m_stillFormat.subtype == MEDIASUBTYPE_None)
            return E_FAIL;
        mt = mediaType(m_stillFormat);
        return S_OK;
    }
    FormatDescriptor format;
    const HRESULT h = m_device->currentFormat(format);
    if (FAILED(h))
        return h;
    mt = mediaType(format);
    return S_OK;
}

HRESULT DevicePin::SetFormat(const AM_MEDIA_TYPE& mt)
{
    const int width = mt.format.bmiHeader.biWidth;
    const int height = std::abs(mt.format.bmiHeader.biHeight);
    if (mt.majortype != MajorType::Video || mt.subtype == MEDIASUBTYPE_None || width <= 0 || height <= 0)
        return E_INVALIDARG;
    if (isConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (m_category == PinCategory::Still) {
        for (const FormatDescriptor& format : m_formats) {
            if (format.subtype == mt.subtype && format.width == width && format.height == height) {
                m_stillFormat = format;
                return S_OK;
            }
        }
        return VFW_E_INVALIDMEDIATYPE;
    }
    if (m_device->isStreaming())
        return VFW_E_NOT_STOPPED;
    return m_device->setFormat(mt.subtype, width, height);
}

HRESULT DevicePin::offeredMediaType(AM_MEDIA_TYPE& mt)
{
    return GetFormat(mt);
}

HRESULT DevicePin::connect(const std::shared_ptr<FilterPin>& peer, const AM_MEDIA_TYPE& offered,
                           const AM_MEDIA_TYPE& connection, bool decode)
{
    auto receiver = std::dynamic_pointer_cast<FrameReceiver>(peer ? peer->owner() : nullptr);
    if (!receiver)
        return VFW_E_CANNOT_CONNECT;
    std::shared_ptr<FrameDecoder> decoder;
    if (decode) {
        decoder = std::make_shared<FrameDecoder>();
        if (!decoder->configure(offered.subtype, offered.format.bmiHeader.biWidth, std::abs(offered.format.bmiHeader.biHeight)))
            return VFW_E_CANNOT_CONNECT;
    }
    if (m_device->isStreaming())
        return VFW_E_NOT_STOPPED;
    const HRESULT h = FilterPin::connect(peer, offered, connection, decode);
    if (FAILED(h))
        return h;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_receiver = std::move(receiver);
    m_decoder = std::move(decoder);
    return S_OK;
}

HRESULT DevicePin::disconnect()
{
    if (m_device->isStreaming() && isConnected())
        return VFW_E_NOT_STOPPED;
    const HRESULT h = FilterPin::disconnect();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_receiver.reset();
    m_decoder.reset();
    return h;
}

void DevicePin::deliver(const RawFrame& frame)
{
    std::shared_ptr<FrameReceiver> receiver;
    std::shared_ptr<FrameDecoder> decoder;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        receiver = m_receiver;
        decoder = m_decoder;
    }
    if (!receiver)
        return;
    if (FAILED(frame.error)) {
        receiver->streamFailed(frame.error, frame.reason);
        return;
    }
    int areaWidth = 0, areaHeight = 0;
    if (!receiver->wantsFrames() || !receiver->previewArea(areaWidth, areaHeight))
        return;  // nothing would show it: not even decoded
    if (decoder) {
        if (frame.subtype != decoder->subtype() || frame.width != decoder->width() || frame.height != decoder->height()) {
            // A still picture follows the capture size; a capture frame of a size other
            // than the negotiated one is not passed on.
            if (m_category != PinCategory::Still || !decoder->configure(frame.subtype, frame.width, frame.height))
                return;
        }
        if (m_category == PinCategory::Capture) {
            decoder->setPreviewArea(areaWidth, areaHeight);
            // A frame decoded smaller than the camera sends stays available for a
            // full-size picture.
            if (decoder->outputWidth() != decoder->width())
                receiver->receiveCompressed(frame.data, frame.size, frame.width, frame.height, frame.sampleTime);
        }
        // Straight into the receiver's buffer when it has one: the frame is not copied again.
        if (IFrameBufferPool::Buffer* target = receiver->acquireFrame(decoder->outputSize())) {
            if (!decoder->decodeUpright(frame.data, frame.size, frame.bytesPerLine, target->data)) {
                IFrameBufferPool::recycle(target);
                return;
            }
            target->width = decoder->outputWidth();
            target->height = decoder->outputHeight();
            target->scaleNum = decoder->scaleNum();
            target->scaleDenom = decoder->scaleDenom();
            target->sampleTime = frame.sampleTime;
            receiver->receiveFrame(target);
            return;
        }
        const std::uint8_t* out = decoder->decode(frame.data, frame.size, frame.bytesPerLine);
        if (out)
            receiver->receive(out, decoder->outputSize(), frame.sampleTime);
        return;
    }
    if (!frame.data || frame.size == 0)
        return;
    // Downstream gets a writable buffer of its own: the device's bytes may be shared.
    m_copy.resize(frame.size);
    std::memcpy(m_copy.data(), frame.data, frame.size);
    receiver->receive(m_copy.data(), m_copy.size(), frame.sampleTime);
}

} // namespace capture
