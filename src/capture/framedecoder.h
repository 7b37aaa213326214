#pragma once

#include "capture/dshow.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace capture {

// Turns one device frame (MJPG or a raw YUV/RGB layout) into 32-bit RGB (B,G,R,X in
// memory) of exactly width * height * 4 bytes: either bottom-up into a buffer of its
// own, reused from frame to frame (the platform's bitmap convention), or upright into
// a buffer the caller gives (the frame path, which then needs no copy). Frames that are
// corrupt or too short for the configured size are dropped. One decoder serves one
// stream; it is not thread-safe.
class FrameDecoder
{
public:
    FrameDecoder();
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    static bool canDecode(dshow::Subtype subtype);

    // Fixes input layout and size; false for an unsupported subtype or a bad size.
    bool configure(dshow::Subtype subtype, int width, int height);

    // Decodes one frame. `bytesPerLine` is the stride of the first plane for raw
    // layouts (0 = tightly packed). Returns the output (valid until the next call) or
    // nullptr when the frame was dropped.
    const std::uint8_t* decode(const std::uint8_t* data, std::size_t size, int bytesPerLine = 0);
    // Decodes one frame upright into `target` (outputSize() bytes); false when dropped.
    bool decodeUpright(const std::uint8_t* data, std::size_t size, int bytesPerLine, std::uint8_t* target);

    // MJPG is decoded at the smallest libjpeg-turbo scale at which the frame, fitted into
    // an area of `width` x `height` (device pixels of the preview), is still not enlarged:
    // a smaller decode is cheaper, and the last step is left to smooth painting. 0 x 0
    // decodes at full size; raw layouts always are (they are small).
    void setPreviewArea(int width, int height);

    std::size_t outputSize() const { return std::size_t(m_outWidth) * std::size_t(m_outHeight) * 4; }
    // The frame's size in the stream (what a JPEG header must say).
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The decoded picture's size: width() and height() at the chosen scale.
    int outputWidth() const { return m_outWidth; }
    int outputHeight() const { return m_outHeight; }
    int scaleNum() const { return m_scaleNum; }
    int scaleDenom() const { return m_scaleDenom; }
    // A length at scale num/denom, rounded up as libjpeg-turbo does.
    static int scaledLength(int length, int num, int denom) { return int((std::int64_t(length) * num + denom - 1) / denom); }
    dshow::Subtype subtype() const { return m_subtype; }
    std::uint64_t droppedFrames() const { return m_dropped; }

    // Largest width or height configure() takes.
    static constexpr int kMaxDimension = 16384;
    // Bytes withHuffmanTables() inserts: one DHT segment with the four standard tables.
    static constexpr std::size_t kStandardTablesSize = 420;

    // The JPEG with the standard Huffman tables inserted before its scan when it has
    // none (as many UVC cameras send them). Returns `data` itself when nothing is
    // missing, `scratch`'s bytes when tables were inserted, nullptr when the marker
    // structure is broken.
    static const std::uint8_t* withHuffmanTables(const std::uint8_t* data, std::size_t size,
                                                 std::vector<std::uint8_t>& scratch, std::size_t& outSize);

private:
    bool decodeInto(const std::uint8_t* data, std::size_t size, int bytesPerLine, std::uint8_t* target, bool bottomUp);
    bool decodeJpeg(const std::uint8_t* data, std::size_t size, std::uint8_t* target, bool bottomUp);
    bool decodeRaw(const std::uint8_t* data, std::size_t size, int bytesPerLine, std::uint8_t* target, bool bottomUp);
    void drop(const char* reason);
    void chooseScale();

    void* m_tj = nullptr;
    dshow::Subtype m_subtype = dshow::MEDIASUBTYPE_None;
    int m_width = 0;
    int m_height = 0;
    int m_areaWidth = 0;
    int m_areaHeight = 0;
    int m_scaleNum = 1;
    int m_scaleDenom = 1;
    int m_outWidth = 0;
    int m_outHeight = 0;
    std::vector<std::uint8_t> m_output;
    std::vector<std::uint8_t> m_jpegScratch;
    std::uint64_t m_dropped = 0;
};

} // namespace capture
