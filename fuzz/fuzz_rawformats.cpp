// Raw frames in every layout the decoder converts, at odd sizes, with odd strides and
// buffers of any length, read up to the very end of an accessible page.
#include "fuzzsupport.h"

#include "capture/framedecoder.h"

#include <vector>

using capture::FrameDecoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    // Header: layout, width and height (1..512 each), stride (0: packed, else a
    // signed offset from the packed row); the rest is the frame.
    if (size < 6)
        return 0;
    static const dshow::Subtype layouts[] = {
        dshow::MEDIASUBTYPE_YUY2, dshow::MEDIASUBTYPE_UYVY, dshow::MEDIASUBTYPE_NV12, dshow::MEDIASUBTYPE_NV21,
        dshow::MEDIASUBTYPE_I420, dshow::MEDIASUBTYPE_YV12, dshow::MEDIASUBTYPE_RGB24, dshow::MEDIASUBTYPE_BGR24};
    const dshow::Subtype subtype = layouts[input[0] % 8];
    const int width = 1 + ((input[1] << 1 | input[2] >> 7) & 0x1ff);
    const int height = 1 + ((input[2] << 2 | input[3] >> 6) & 0x1ff);
    const int strideCode = static_cast<std::int8_t>(input[4]);
    const bool packed = input[5] & 1;
    const int bytesPerPixel = input[0] % 8 >= 6 ? 3 : input[0] % 8 < 2 ? 2 : 1;  // by the order of `layouts`
    const int bytesPerLine = packed ? 0 : width * bytesPerPixel + strideCode;

    // The rest of the input, repeated to a length the input picks: frames short and long enough.
    const std::uint8_t* body = input + 6;
    const std::size_t bodySize = size - 6;
    const std::size_t full = std::size_t(std::max(width * bytesPerPixel, std::abs(bytesPerLine) + 1)) * std::size_t(height) * 2;
    const std::size_t length = bodySize == 0 ? 0 : full - (input[5] >> 1) * full / 128;
    std::vector<std::uint8_t> frame(length);
    for (std::size_t i = 0; i < length; ++i)
        frame[i] = body[i % bodySize];

    FrameDecoder decoder;
    fuzzsupport::check(decoder.configure(subtype, width, height), "a size within limits refused");
    const std::uint8_t* out = decoder.decode(fuzzsupport::guardedCopy(frame.data(), frame.size()), frame.size(), bytesPerLine);
    fuzzsupport::check(decoder.outputSize() == std::size_t(width) * std::size_t(height) * 4, "output of a wrong size");
    if (out && length > 0) {
        // Longer frames of the same layout convert just as well.
        frame.push_back(0);
        fuzzsupport::check(decoder.decode(fuzzsupport::guardedCopy(frame.data(), frame.size()), frame.size(), bytesPerLine)
                               != nullptr,
                           "a longer frame refused");
    }
    return 0;
}
