// What a camera node sends about itself: PropInfo, Props, EnumFormat and Format pods as
// the daemon passes them on (each whole, its insides anything), and frames whose stride
// says the node narrowed the size asked for.
#include "fuzzsupport.h"

#include "capture/pipewire/pipewireformat.h"
#include "capture/pipewire/pipewireprops.h"
#include "capture/pixelformat.h"

#include <cstring>
#include <vector>

using namespace capture;
struct spa_pod;

namespace {

// A frame of `subtype` from the header bytes: the size asked for, a stride, a length.
void narrowedFrame(const std::uint8_t* in, std::size_t size)
{
    if (size < 6)
        return;
    const dshow::Subtype subtype = in[0] & 1 ? dshow::MEDIASUBTYPE_RGB24 : dshow::MEDIASUBTYPE_YUY2;
    const int bpp = pixelFormat(subtype)->packedBytesPerPixel;
    const int width = 1 + in[1] % 64, height = 1 + in[2] % 64;
    const int stride = (in[3] << 8 | in[4]) % 256;
    std::vector<std::uint8_t> bytes(std::size_t(stride) * std::size_t(height) + in[5] % 16);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i);
    RawFrame frame;
    frame.subtype = subtype;
    frame.height = height;
    frame.bytesPerLine = stride;
    frame.size = bytes.size() - (in[5] & 0x80 ? bytes.size() / 2 : 0);
    frame.data = fuzzsupport::guardedCopy(bytes.data(), frame.size);
    frame.width = PipeWireFormat::deliveredWidth(subtype, width, height, stride, frame.size);
    fuzzsupport::check(frame.width > 0 && frame.width <= width, "a width out of the one asked for");
    if (frame.width == width)
        return;
    std::vector<std::uint8_t> buffer;
    PipeWireFormat::widen(frame, width, buffer);
    fuzzsupport::check(frame.width == width && frame.size == std::size_t(width * bpp * height)
                           && frame.bytesPerLine == width * bpp && frame.data == buffer.data(),
                       "a narrowed frame not filled out to the size asked for");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size < 1)
        return 0;
    if (input[0] == 'F') {
        narrowedFrame(input + 1, size - 1);
        return 0;
    }
    // One pod after another, each as long as it says (the daemon's protocol sees to that).
    std::vector<std::vector<std::uint8_t>> pods;
    // A pod starts with its body's size and its type, 32 bits each; bodies are padded to 8 bytes.
    for (std::size_t at = 0; at + 8 <= size && pods.size() < 16;) {
        std::uint32_t body;
        std::memcpy(&body, input + at, sizeof body);
        const std::size_t length = 8 + ((std::size_t(body) + 7) & ~std::size_t(7));
        if (length > size - at)
            break;
        pods.emplace_back(input + at, input + at + length);
        at += length;
    }
    const std::vector<PipeWireProps::Entry> entries = PipeWireProps::describe(pods);
    for (const PipeWireProps::Entry& e : entries)
        fuzzsupport::check(e.control != 0 && (e.isBool ? e.min == 0 && e.max == 1 : true), "a property without a control");
    for (const auto& pod : pods) {
        // Each through a copy of its own size, so that a read past its end is caught.
        const auto* copy = reinterpret_cast<const spa_pod*>(fuzzsupport::guardedCopy(pod.data(), pod.size()));
        PipeWireProps::values(entries, copy);
        for (const FormatDescriptor& f : PipeWireFormat::offered(copy))
            fuzzsupport::check(f.width > 0 && f.height > 0 && f.width <= 16384 && f.height <= 16384 && canDecodeToRgb32(f.subtype),
                               "a format that cannot be shown");
        FormatDescriptor got;
        if (PipeWireFormat::negotiated(copy, got))
            fuzzsupport::check(got.width > 0 && got.height > 0 && got.width <= 16384 && got.height <= 16384,
                               "a negotiated format of a size no frame can have");
    }
    return 0;
}
