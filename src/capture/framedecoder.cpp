#include "capture/framedecoder.h"

#include "capture/pixelformat.h"

#include <QDebug>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace capture {

using namespace dshow;

namespace {

// The Huffman tables of ITU T.81 annex K.3 as one DHT segment; motion-JPEG streams
// leave them out and rely on the decoder knowing them.
const std::uint8_t kStandardDht[] = {
    0xFF, 0xC4, 0x01, 0xA2,
    // DC luminance
    0x00, 0x00, 0x01, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
    // DC chrominance
    0x01, 0x00, 0x03, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
    // AC luminance
    0x10, 0x00, 0x02, 0x01, 0x03, 0x03, 0x02, 0x04, 0x03, 0x05, 0x05, 0x04, 0x04, 0x00, 0x00, 0x01, 0x7D,
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
    0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0,
    0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
    0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5,
    0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
    0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA,
    // AC chrominance
    0x11, 0x00, 0x02, 0x01, 0x02, 0x04, 0x04, 0x03, 0x04, 0x07, 0x05, 0x04, 0x04, 0x00, 0x01, 0x02, 0x77,
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
    0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0,
    0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26,
    0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
    0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
    0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
    0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5,
    0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3,
    0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA,
    0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA,
};
static_assert(sizeof(kStandardDht) == 2 + 0x01A2, "DHT segment length field must match its size");
static_assert(sizeof(kStandardDht) == FrameDecoder::kStandardTablesSize, "inserted size as published");

} // namespace

FrameDecoder::FrameDecoder() = default;

FrameDecoder::~FrameDecoder()
{
    if (m_tj)
        tjDestroy(static_cast<tjhandle>(m_tj));
}

bool FrameDecoder::canDecode(Subtype subtype)
{
    return canDecodeToRgb32(subtype);
}

bool FrameDecoder::configure(Subtype subtype, int width, int height)
{
    if (!canDecode(subtype) || width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
        qDebug() << "decoder: cannot decode" << subtypeName(subtype) << width << "x" << height;
        return false;
    }
    if (subtype == MEDIASUBTYPE_MJPG && !m_tj) {
        m_tj = tjInitDecompress();
        if (!m_tj) {
            qDebug() << "decoder: tjInitDecompress failed:" << tjGetErrorStr2(nullptr);
            return false;
        }
    }
    m_subtype = subtype;
    m_width = width;
    m_height = height;
    chooseScale();
    // The own buffer only for bottom-up decodes: the frame path decodes into its pool.
    m_output.clear();
    m_output.shrink_to_fit();
    return true;
}

void FrameDecoder::setPreviewArea(int width, int height)
{
    if (width == m_areaWidth && height == m_areaHeight)
        return;
    m_areaWidth = width;
    m_areaHeight = height;
    chooseScale();
}

void FrameDecoder::chooseScale()
{
    m_scaleNum = m_scaleDenom = 1;
    if (m_subtype == MEDIASUBTYPE_MJPG && m_width > 0 && m_height > 0 && m_areaWidth > 0 && m_areaHeight > 0) {
        // The size the preview paints the frame at (fitted, aspect kept).
        const double k = std::min(double(m_areaWidth) / m_width, double(m_areaHeight) / m_height);
        const double needW = std::min<double>(m_width, std::ceil(m_width * k));
        const double needH = std::min<double>(m_height, std::ceil(m_height * k));
        int count = 0;
        const tjscalingfactor* factors = tjGetScalingFactors(&count);
        for (int i = 0; factors && i < count; ++i) {
            const tjscalingfactor f = factors[i];
            if (f.num > f.denom || f.num * m_scaleDenom >= m_scaleNum * f.denom)
                continue;  // enlarging, or not smaller than the best so far
            if (scaledLength(m_width, f.num, f.denom) >= needW && scaledLength(m_height, f.num, f.denom) >= needH) {
                m_scaleNum = f.num;
                m_scaleDenom = f.denom;
            }
        }
    }
    m_outWidth = scaledLength(m_width, m_scaleNum, m_scaleDenom);
    m_outHeight = scaledLength(m_height, m_scaleNum, m_scaleDenom);
}

void FrameDecoder::drop(const char* reason)
{
    // A broken camera can send nothing but bad frames; log the first and then rarely.
    if (m_dropped % 300 == 0)
        qDebug() << "decoder: frame dropped:" << reason << subtypeName(m_subtype) << m_width << "x" << m_height
                 << "dropped so far:" << m_dropped + 1;
    ++m_dropped;
}

const std::uint8_t* FrameDecoder::decode(const std::uint8_t* data, std::size_t size, int bytesPerLine)
{
    if (m_width > 0 && m_output.size() != outputSize())
        m_output.resize(outputSize());
    return decodeInto(data, size, bytesPerLine, m_output.data(), true) ? m_output.data() : nullptr;
}

bool FrameDecoder::decodeUpright(const std::uint8_t* data, std::size_t size, int bytesPerLine, std::uint8_t* target)
{
    return decodeInto(data, size, bytesPerLine, target, false);
}

bool FrameDecoder::decodeInto(const std::uint8_t* data, std::size_t size, int bytesPerLine, std::uint8_t* target,
                              bool bottomUp)
{
    if (m_width <= 0 || !target) {
        drop("decoder not configured");
        return false;
    }
    if (!data || size == 0) {
        drop("empty frame");
        return false;
    }
    return m_subtype == MEDIASUBTYPE_MJPG ? decodeJpeg(data, size, target, bottomUp)
                                          : decodeRaw(data, size, bytesPerLine, target, bottomUp);
}

const std::uint8_t* FrameDecoder::withHuffmanTables(const std::uint8_t* data, std::size_t size,
                                                    std::vector<std::uint8_t>& scratch, std::size_t& outSize)
{
    outSize = size;
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return nullptr;
    std::size_t pos = 2;
    for (;;) {
        if (pos + 1 >= size || data[pos] != 0xFF)
            return nullptr;
        while (pos + 1 < size && data[pos + 1] == 0xFF)  // fill bytes
            ++pos;
        if (pos + 1 >= size)
            return nullptr;
        const std::uint8_t marker = data[pos + 1];
        if (marker == 0xDA)
            break;  // start of scan and no tables seen
        if (marker == 0xC4)
            return data;
        if (marker == 0xD9)
            return nullptr;  // end of image before any scan
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;  // markers without a length
            continue;
        }
        if (pos + 3 >= size)
            return nullptr;
        const std::size_t length = (static_cast<std::size_t>(data[pos + 2]) << 8) | data[pos + 3];
        if (length < 2)
            return nullptr;
        pos += 2 + length;
    }
    scratch.resize(size + sizeof(kStandardDht));
    std::memcpy(scratch.data(), data, pos);
    std::memcpy(scratch.data() + pos, kStandardDht, sizeof(kStandardDht));
    std::memcpy(scratch.data() + pos + sizeof(kStandardDht), data + pos, size - pos);
    outSize = scratch.size();
    return scratch.data();
}

bool FrameDecoder::decodeJpeg(const std::uint8_t* data, std::size_t size, std::uint8_t* target, bool bottomUp)
{
    std::size_t jpegSize = 0;
    const std::uint8_t* jpeg = withHuffmanTables(data, size, m_jpegScratch, jpegSize);
    if (!jpeg) {
        drop("broken JPEG markers");
        return false;
    }
    auto handle = static_cast<tjhandle>(m_tj);
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(handle, jpeg, static_cast<unsigned long>(jpegSize), &width, &height, &subsamp, &colorspace) != 0) {
        // A header cut short leaves libjpeg mid-read, so the next good frame would fail
        // as well: it starts with a fresh handle.
        if (tjhandle fresh = tjInitDecompress()) {
            tjDestroy(handle);
            m_tj = fresh;
        }
        drop("unreadable JPEG header");
        return false;
    }
    if (width != m_width || height != m_height) {
        drop("JPEG of another size");
        return false;
    }
    // Warnings (a truncated scan, for instance) count as failures: such a frame is
    // partly grey and is better dropped than shown.
    if (tjDecompress2(handle, jpeg, static_cast<unsigned long>(jpegSize), target, m_outWidth, m_outWidth * 4, m_outHeight, TJPF_BGRX,
                      bottomUp ? TJFLAG_BOTTOMUP : 0) != 0) {
        drop("corrupt JPEG data");
        return false;
    }
    return true;
}

bool FrameDecoder::decodeRaw(const std::uint8_t* data, std::size_t size, int bytesPerLine, std::uint8_t* target,
                             bool bottomUp)
{
    const std::size_t w = static_cast<std::size_t>(m_width);
    const std::size_t h = static_cast<std::size_t>(m_height);
    const std::size_t chromaRows = (h + 1) / 2;
    std::uint8_t* dst = target;
    const int dstStride = m_width * 4;
    const int dstHeight = bottomUp ? -m_height : m_height;  // libyuv writes bottom-up for a negative height

    auto needs = [&](std::size_t minStride, std::size_t stride, std::size_t total) {
        if (bytesPerLine < 0 || stride < minStride) {
            drop("bad stride");
            return false;
        }
        if (size < total) {
            drop("short frame");
            return false;
        }
        return true;
    };

    const PixelFormat* format = pixelFormat(m_subtype);
    switch (format ? format->layout : PixelLayout::Compressed) {
    case PixelLayout::Packed: {
        const std::size_t row = format->packedBytesPerPixel == 2 ? (w + 1) / 2 * 4 : w * std::size_t(format->packedBytesPerPixel);
        const std::size_t stride = bytesPerLine > 0 ? static_cast<std::size_t>(bytesPerLine) : row;
        if (!needs(row, stride, stride * (h - 1) + row))
            return false;
        const int r = format->packed(data, static_cast<int>(stride), dst, dstStride, m_width, dstHeight);
        return r == 0 || (drop("conversion failed"), false);
    }
    case PixelLayout::SemiPlanar: {
        const std::size_t stride = bytesPerLine > 0 ? static_cast<std::size_t>(bytesPerLine) : w;
        if (!needs(w + (w & 1), stride, stride * h + stride * chromaRows))
            return false;
        const int s = static_cast<int>(stride);
        const int r = format->semiPlanar(data, s, data + stride * h, s, dst, dstStride, m_width, dstHeight);
        return r == 0 || (drop("conversion failed"), false);
    }
    case PixelLayout::Planar: {
        const std::size_t stride = bytesPerLine > 0 ? static_cast<std::size_t>(bytesPerLine) : w;
        const std::size_t cstride = (stride + 1) / 2;
        if (!needs(w, stride, stride * h + 2 * cstride * chromaRows))
            return false;
        const std::uint8_t* p1 = data + stride * h;
        const std::uint8_t* p2 = p1 + cstride * chromaRows;
        const int r = format->planar(data, static_cast<int>(stride), format->vuOrder ? p2 : p1, static_cast<int>(cstride),
                                     format->vuOrder ? p1 : p2, static_cast<int>(cstride), dst, dstStride, m_width,
                                     dstHeight);
        return r == 0 || (drop("conversion failed"), false);
    }
    case PixelLayout::Compressed:
    case PixelLayout::Rgb32:
        break;
    }
    drop("unsupported layout");
    return false;
}

} // namespace capture
