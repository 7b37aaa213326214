#pragma once

#include "capture/dshow.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace capture {

// How a format's bytes lie in a frame: fixes its minimum size and how it is decoded.
enum class PixelLayout { Compressed, Packed, SemiPlanar, Planar, Rgb32 };

// libyuv's converters to 32-bit B,G,R,X, one signature per layout; a negative height
// writes the picture bottom-up.
using PackedToArgb = int (*)(const std::uint8_t*, int, std::uint8_t*, int, int, int);
using SemiPlanarToArgb = int (*)(const std::uint8_t*, int, const std::uint8_t*, int, std::uint8_t*, int, int, int);
using PlanarToArgb = int (*)(const std::uint8_t*, int, const std::uint8_t*, int, const std::uint8_t*, int,
                             std::uint8_t*, int, int, int);

// One pixel format, everything the capture layer knows about it. The rows are in
// pixelformat.cpp; every question about a format is a lookup there.
struct PixelFormat
{
    dshow::Subtype subtype;
    std::uint32_t v4l2Codes[2];  // V4L2 pixel formats that deliver it; 0 = none
    const char* name;            // "MJPG", "YUY2", ...
    std::uint16_t bitsPerPixel;  // the media type's biBitCount
    PixelLayout layout;
    int packedBytesPerPixel;     // Packed: bytes per pixel of a row
    bool virtualSource;          // the virtual camera can produce it
    bool vuOrder;                // chroma planes (or pairs) in V,U order
    PackedToArgb packed;
    SemiPlanarToArgb semiPlanar;
    PlanarToArgb planar;
};

// The row of a subtype or of a V4L2 pixel format; null for unknown ones.
const PixelFormat* pixelFormat(dshow::Subtype subtype);
const PixelFormat* pixelFormatForV4l2(std::uint32_t v4l2Code);
// The row named `name` (any case) that the virtual camera can produce; null when none.
const PixelFormat* virtualPixelFormat(const QString& name);
// The names the virtual camera accepts, "MJPG, YUY2, ..." (for error messages).
QString virtualPixelFormatNames();
// The smallest frame a raw format can be at that stride and height; 0 for compressed
// and unknown formats, and for a stride or height that is not positive.
std::size_t minimumFrameBytes(const PixelFormat* format, int bytesPerLine, int height);
// Whether frames of the format can be turned into 32-bit RGB.
bool canDecodeToRgb32(dshow::Subtype subtype);

} // namespace capture
