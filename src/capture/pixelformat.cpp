#include "capture/pixelformat.h"

#include <libyuv/convert_argb.h>
#include <linux/videodev2.h>

namespace capture {

using namespace dshow;

namespace {

// clang-format off
constexpr PixelFormat kPixelFormats[] = {
    // subtype           V4L2 codes                                   name     bpp layout                   packed virtual vu    converters
    {MEDIASUBTYPE_MJPG,  {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_JPEG},    "MJPG",  24, PixelLayout::Compressed, 0, true,  false, nullptr, nullptr, nullptr},
    {MEDIASUBTYPE_YUY2,  {V4L2_PIX_FMT_YUYV, 0},                     "YUY2",  16, PixelLayout::Packed,     2, true,  false, libyuv::YUY2ToARGB, nullptr, nullptr},
    {MEDIASUBTYPE_UYVY,  {V4L2_PIX_FMT_UYVY, 0},                     "UYVY",  16, PixelLayout::Packed,     2, true,  false, libyuv::UYVYToARGB, nullptr, nullptr},
    {MEDIASUBTYPE_NV12,  {V4L2_PIX_FMT_NV12, 0},                     "NV12",  12, PixelLayout::SemiPlanar, 0, true,  false, nullptr, libyuv::NV12ToARGB, nullptr},
    {MEDIASUBTYPE_NV21,  {V4L2_PIX_FMT_NV21, 0},                     "NV21",  12, PixelLayout::SemiPlanar, 0, false, true,  nullptr, libyuv::NV21ToARGB, nullptr},
    {MEDIASUBTYPE_I420,  {V4L2_PIX_FMT_YUV420, 0},                   "I420",  12, PixelLayout::Planar,     0, true,  false, nullptr, nullptr, libyuv::I420ToARGB},
    {MEDIASUBTYPE_YV12,  {V4L2_PIX_FMT_YVU420, 0},                   "YV12",  12, PixelLayout::Planar,     0, false, true,  nullptr, nullptr, libyuv::I420ToARGB},
    // libyuv names layouts by word order: its RAW is R,G,B in memory, its RGB24 B,G,R.
    {MEDIASUBTYPE_RGB24, {V4L2_PIX_FMT_RGB24, 0},                    "RGB24", 24, PixelLayout::Packed,     3, false, false, libyuv::RAWToARGB, nullptr, nullptr},
    {MEDIASUBTYPE_BGR24, {V4L2_PIX_FMT_BGR24, 0},                    "BGR24", 24, PixelLayout::Packed,     3, false, false, libyuv::RGB24ToARGB, nullptr, nullptr},
    {MEDIASUBTYPE_RGB32, {0, 0},                                     "RGB32", 32, PixelLayout::Rgb32,      4, false, false, nullptr, nullptr, nullptr},
};
// clang-format on

static_assert(MEDIASUBTYPE_MJPG == V4L2_PIX_FMT_MJPEG && MEDIASUBTYPE_YUY2 == V4L2_PIX_FMT_YUYV
                  && MEDIASUBTYPE_I420 == V4L2_PIX_FMT_YUV420,
              "subtypes are the V4L2 codes where one exists");

} // namespace

const PixelFormat* pixelFormat(Subtype subtype)
{
    for (const PixelFormat& format : kPixelFormats)
        if (format.subtype == subtype)
            return &format;
    return nullptr;
}

const PixelFormat* pixelFormatForV4l2(std::uint32_t v4l2Code)
{
    if (v4l2Code == 0)
        return nullptr;
    for (const PixelFormat& format : kPixelFormats)
        for (std::uint32_t code : format.v4l2Codes)
            if (code == v4l2Code)
                return &format;
    return nullptr;
}

const PixelFormat* virtualPixelFormat(const QString& name)
{
    for (const PixelFormat& format : kPixelFormats)
        if (format.virtualSource && name.compare(QLatin1String(format.name), Qt::CaseInsensitive) == 0)
            return &format;
    return nullptr;
}

QString virtualPixelFormatNames()
{
    QStringList names;
    for (const PixelFormat& format : kPixelFormats)
        if (format.virtualSource)
            names << QLatin1String(format.name);
    return names.join(QStringLiteral(", "));
}

std::size_t minimumFrameBytes(const PixelFormat* format, int bytesPerLine, int height)
{
    if (!format || bytesPerLine <= 0 || height <= 0)
        return 0;
    const std::size_t bpl = std::size_t(bytesPerLine);
    const std::size_t h = std::size_t(height);
    switch (format->layout) {
    case PixelLayout::Packed:
    case PixelLayout::Rgb32:
        return bpl * h;
    case PixelLayout::SemiPlanar:
        return bpl * h + bpl * ((h + 1) / 2);
    case PixelLayout::Planar:
        return bpl * h + 2 * ((bpl + 1) / 2) * ((h + 1) / 2);
    case PixelLayout::Compressed:
        break;
    }
    return 0;
}

bool canDecodeToRgb32(Subtype subtype)
{
    const PixelFormat* format = pixelFormat(subtype);
    return format && format->layout != PixelLayout::Rgb32;
}

} // namespace capture
