// Motion-JPEG frames as a camera (or a broken one) sends them: with or without Huffman
// tables, cut short, of another size than the stream was set to.
#include "fuzzsupport.h"

#include "capture/framedecoder.h"

#include <turbojpeg.h>

#include <vector>

using capture::FrameDecoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    const std::uint8_t* data = fuzzsupport::guardedCopy(input, size);

    // Table insertion keeps every byte of the frame and only adds the standard tables.
    std::vector<std::uint8_t> scratch;
    std::size_t fixedSize = 0;
    const std::uint8_t* fixed = FrameDecoder::withHuffmanTables(data, size, scratch, fixedSize);
    if (fixed)
        fuzzsupport::check(fixed == data ? fixedSize == size
                                         : fixedSize == size + FrameDecoder::kStandardTablesSize && scratch.size() == fixedSize,
                           "tables inserted of a wrong size, or the size changed without them");

    // The stream's size: the frame's own where its header reads (up to 4096x4096, for the
    // run's memory), else a small odd one (the frame is then dropped).
    int width = 17, height = 9;
    if (fixed) {
        tjhandle tj = tjInitDecompress();
        int w = 0, h = 0, sub = 0, cs = 0;
        if (tjDecompressHeader3(tj, fixed, static_cast<unsigned long>(fixedSize), &w, &h, &sub, &cs) == 0 && w > 0 && h > 0
            && std::size_t(w) * std::size_t(h) <= 4096 * 4096) {
            width = w;
            height = h;
        }
        tjDestroy(tj);
    }
    FrameDecoder decoder;
    if (!decoder.configure(dshow::MEDIASUBTYPE_MJPG, width, height))
        return 0;
    const std::uint8_t* out = decoder.decode(data, size);
    fuzzsupport::check(decoder.outputSize() == std::size_t(width) * std::size_t(height) * 4, "output of a wrong size");
    // A decoder is reused frame after frame: the same frame decodes the same way again.
    std::vector<std::uint8_t> first;
    if (out)
        first.assign(out, out + decoder.outputSize());
    const std::uint8_t* again = decoder.decode(data, size);
    fuzzsupport::check((out != nullptr) == (again != nullptr), "same frame, other outcome");
    if (again)
        fuzzsupport::check(std::equal(first.begin(), first.end(), again), "same frame, other picture");
    // One byte short: never read past the end.
    if (size > 1)
        decoder.decode(fuzzsupport::guardedCopy(input, size - 1), size - 1);
    return 0;
}
