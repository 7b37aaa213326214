#include "capture/pipewire/pipewireformat.h"

#include "capture/framedecoder.h"
#include "capture/pixelformat.h"
#include "capture/v4l2/v4l2device.h"

#include <QStringList>

#include <spa/param/format-utils.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>

// For the de-duplication of choice values; the types are PipeWire's, found by lookup here.
static bool operator==(const spa_rectangle& a, const spa_rectangle& b) { return a.width == b.width && a.height == b.height; }
static bool operator==(const spa_fraction& a, const spa_fraction& b) { return a.num == b.num && a.denom == b.denom; }

namespace capture {

namespace {

// PipeWire names raw layouts its own way; the pixel-format table speaks V4L2.
const struct
{
    std::uint32_t spa;
    std::uint32_t v4l2;
} kRawFormats[] = {
    {SPA_VIDEO_FORMAT_YUY2, V4L2_PIX_FMT_YUYV},  {SPA_VIDEO_FORMAT_UYVY, V4L2_PIX_FMT_UYVY},
    {SPA_VIDEO_FORMAT_NV12, V4L2_PIX_FMT_NV12},  {SPA_VIDEO_FORMAT_NV21, V4L2_PIX_FMT_NV21},
    {SPA_VIDEO_FORMAT_I420, V4L2_PIX_FMT_YUV420}, {SPA_VIDEO_FORMAT_YV12, V4L2_PIX_FMT_YVU420},
    {SPA_VIDEO_FORMAT_RGB, V4L2_PIX_FMT_RGB24},  {SPA_VIDEO_FORMAT_BGR, V4L2_PIX_FMT_BGR24},
};

// The values a property offers: a fixed value, or the alternatives of a choice
// (without its default), with the choice's kind.
template <typename T>
std::vector<T> values(const spa_pod_prop* prop, std::uint32_t podType, std::uint32_t& choice)
{
    std::vector<T> out;
    choice = SPA_CHOICE_None;
    if (!prop)
        return out;
    std::uint32_t count = 0;
    const spa_pod* value = PipeWireFormat::podValues(&prop->value, sizeof(T), count, choice);
    if (!value || value->type != podType || count == 0)
        return out;
    const T* items = static_cast<const T*>(SPA_POD_BODY_CONST(value));
    const std::uint32_t first = (choice == SPA_CHOICE_None) ? 0 : 1;
    if (choice == SPA_CHOICE_None || choice == SPA_CHOICE_Range || choice == SPA_CHOICE_Step) {
        // Ranges keep the default in front: default, min, max[, step].
        out.assign(items, items + count);
        return out;
    }
    for (std::uint32_t i = first; i < count; ++i) {
        if (std::find(out.begin(), out.end(), items[i]) == out.end())
            out.push_back(items[i]);
    }
    return out;
}

double rate(const spa_fraction& f) { return f.denom ? double(f.num) / f.denom : 0.0; }

// A node may fix any size; one the decoder cannot take is no format to stream.
bool decodableSize(const FormatDescriptor& f)
{
    return f.width > 0 && f.height > 0 && f.width <= FrameDecoder::kMaxDimension && f.height <= FrameDecoder::kMaxDimension;
}

} // namespace

const spa_pod* PipeWireFormat::podValues(const spa_pod* pod, std::uint32_t itemSize, std::uint32_t& count, std::uint32_t& choice)
{
    count = 0;
    choice = SPA_CHOICE_None;
    if (pod->type == SPA_TYPE_Choice && SPA_POD_BODY_SIZE(pod) < sizeof(spa_pod_choice_body))
        return nullptr;
    const spa_pod* value = spa_pod_get_values(pod, &count, &choice);
    // The count comes from the item size: any other than the type's own reads past the pod.
    return value->size == itemSize ? value : nullptr;
}

int PipeWireFormat::deliveredWidth(Subtype subtype, int width, int height, int stride, std::size_t size)
{
    const PixelFormat* pf = pixelFormat(subtype);
    if (!pf || pf->layout != PixelLayout::Packed || pf->packedBytesPerPixel <= 0 || stride <= 0 || height <= 0)
        return width;
    const int bpp = pf->packedBytesPerPixel;
    const bool narrowed = stride < width * bpp && stride % bpp == 0 && size >= std::size_t(stride) * std::size_t(height);
    return narrowed ? stride / bpp : width;
}

void PipeWireFormat::widen(RawFrame& frame, int width, std::vector<std::uint8_t>& buffer)
{
    const PixelFormat* pf = pixelFormat(frame.subtype);
    const int bpp = pf ? pf->packedBytesPerPixel : 0;
    if (bpp <= 0 || frame.width <= 0 || frame.width >= width || frame.height <= 0
        || std::size_t(frame.bytesPerLine) * std::size_t(frame.height - 1) + std::size_t(frame.width * bpp) > frame.size)
        return;
    const std::size_t line = std::size_t(width) * std::size_t(bpp);
    buffer.resize(line * std::size_t(frame.height));
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = frame.data + std::size_t(y) * std::size_t(frame.bytesPerLine);
        std::uint8_t* out = buffer.data() + std::size_t(y) * line;
        std::memcpy(out, in, std::size_t(frame.width * bpp));
        for (int x = frame.width; x < width; ++x)
            std::memcpy(out + x * bpp, in + (frame.width - 1) * bpp, std::size_t(bpp));
    }
    frame.data = buffer.data();
    frame.size = buffer.size();
    frame.width = width;
    frame.bytesPerLine = int(line);
}

bool PipeWireFormat::libcameraRgbSwapped(const QString& daemonVersion)
{
    const QStringList parts = daemonVersion.split(QLatin1Char('.'));
    if (parts.size() < 3)
        return false;  // nothing known: as the node says
    const int major = parts[0].toInt(), minor = parts[1].toInt(), micro = parts[2].toInt();
    return major == 0 || (major == 1 && minor == 0 && micro < 6) || (major == 1 && minor == 1 && micro < 81);
}

Subtype PipeWireFormat::swappedRgb(Subtype subtype)
{
    if (subtype == dshow::MEDIASUBTYPE_RGB24)
        return dshow::MEDIASUBTYPE_BGR24;
    return subtype == dshow::MEDIASUBTYPE_BGR24 ? dshow::MEDIASUBTYPE_RGB24 : subtype;
}

Subtype PipeWireFormat::subtypeForVideoFormat(std::uint32_t spaFormat)
{
    for (const auto& f : kRawFormats) {
        if (f.spa == spaFormat)
            return V4l2Device::subtypeForPixelFormat(f.v4l2);
    }
    return dshow::MEDIASUBTYPE_None;
}

std::uint32_t PipeWireFormat::videoFormatForSubtype(Subtype subtype)
{
    for (const auto& f : kRawFormats) {
        if (V4l2Device::subtypeForPixelFormat(f.v4l2) == subtype)
            return f.spa;
    }
    return SPA_VIDEO_FORMAT_UNKNOWN;
}

std::vector<FormatDescriptor> PipeWireFormat::offered(const spa_pod* param)
{
    std::vector<FormatDescriptor> out;
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    if (!param || !spa_pod_is_object(param) || spa_format_parse(param, &mediaType, &mediaSubtype) < 0
        || mediaType != SPA_MEDIA_TYPE_video)
        return out;
    const auto* object = reinterpret_cast<const spa_pod_object*>(param);

    std::vector<Subtype> subtypes;
    std::uint32_t choice;
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
        subtypes.push_back(dshow::MEDIASUBTYPE_MJPG);
    } else if (mediaSubtype == SPA_MEDIA_SUBTYPE_raw) {
        const auto formats = values<std::uint32_t>(spa_pod_object_find_prop(object, nullptr, SPA_FORMAT_VIDEO_format), SPA_TYPE_Id, choice);
        for (std::uint32_t f : formats) {
            const Subtype s = subtypeForVideoFormat(f);
            if (s != dshow::MEDIASUBTYPE_None && std::find(subtypes.begin(), subtypes.end(), s) == subtypes.end())
                subtypes.push_back(s);
        }
    }
    if (subtypes.empty())
        return out;

    std::vector<std::pair<int, int>> sizes;
    const auto rects = values<spa_rectangle>(spa_pod_object_find_prop(object, nullptr, SPA_FORMAT_VIDEO_size), SPA_TYPE_Rectangle, choice);
    if ((choice == SPA_CHOICE_Range || choice == SPA_CHOICE_Step) && rects.size() >= 3) {
        const spa_rectangle step = (choice == SPA_CHOICE_Step && rects.size() >= 4) ? rects[3] : spa_rectangle{1, 1};
        // Sizes beyond what a camera sends are of no use to offer.
        sizes = V4l2Device::sizesInRange(int(rects[1].width), int(std::min<std::uint32_t>(rects[2].width, 7680)), int(step.width),
                                         int(rects[1].height), int(std::min<std::uint32_t>(rects[2].height, 4320)), int(step.height));
    } else {
        for (const spa_rectangle& r : rects)
            sizes.emplace_back(int(r.width), int(r.height));
    }

    double fps = 0.0;
    const auto rates = values<spa_fraction>(spa_pod_object_find_prop(object, nullptr, SPA_FORMAT_VIDEO_framerate), SPA_TYPE_Fraction, choice);
    if ((choice == SPA_CHOICE_Range || choice == SPA_CHOICE_Step) && !rates.empty()) {
        fps = rate(rates[0]);  // the default: a range's upper end is rarely meant
    } else {
        for (const spa_fraction& f : rates)
            fps = std::max(fps, rate(f));
    }

    for (Subtype s : subtypes) {
        for (const auto& size : sizes) {
            if (!decodableSize({s, size.first, size.second, fps}))
                continue;
            const PixelFormat* pf = pixelFormat(s);
            // Planar and packed YUV need even sizes.
            if (pf && pf->layout != PixelLayout::Compressed && s != dshow::MEDIASUBTYPE_RGB24 && s != dshow::MEDIASUBTYPE_BGR24
                && ((size.first | size.second) & 1))
                continue;
            FormatDescriptor d;
            d.subtype = s;
            d.width = size.first;
            d.height = size.second;
            d.fps = fps;
            out.push_back(d);
        }
    }
    return out;
}

const spa_pod* PipeWireFormat::request(spa_pod_builder* b, const FormatDescriptor& format)
{
    spa_pod_frame f;
    spa_pod_builder_push_object(b, &f, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(b, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), 0);
    if (format.subtype == dshow::MEDIASUBTYPE_MJPG) {
        spa_pod_builder_add(b, SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_mjpg), 0);
    } else {
        spa_pod_builder_add(b, SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
                            SPA_POD_Id(videoFormatForSubtype(format.subtype)), 0);
    }
    const spa_rectangle size{std::uint32_t(format.width), std::uint32_t(format.height)};
    const std::uint32_t fps = format.fps > 0 ? std::uint32_t(format.fps + 0.5) : 30;
    const spa_fraction want{fps, 1}, least{0, 1}, most{std::max<std::uint32_t>(fps, 1), 1};
    spa_pod_builder_add(b, SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
                        SPA_POD_CHOICE_RANGE_Fraction(&want, &least, &most), 0);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(b, &f));
}

bool PipeWireFormat::negotiated(const spa_pod* param, FormatDescriptor& format)
{
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    if (!param || spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video)
        return false;
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
        spa_video_info_mjpg info{};
        if (spa_format_video_mjpg_parse(param, &info) < 0)
            return false;
        format.subtype = dshow::MEDIASUBTYPE_MJPG;
        format.width = int(info.size.width);
        format.height = int(info.size.height);
        format.fps = rate(info.framerate);
        return decodableSize(format);
    }
    if (mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return false;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return false;
    format.subtype = subtypeForVideoFormat(info.format);
    format.width = int(info.size.width);
    format.height = int(info.size.height);
    format.fps = rate(info.framerate);
    return format.subtype != dshow::MEDIASUBTYPE_None && decodableSize(format);
}

} // namespace capture
