// What a camera node sends about itself: PropInfo, Props, EnumFormat and Format pods as
// the daemon passes them on (each whole, its insides anything).
#include "fuzzsupport.h"

#include "capture/pipewire/pipewireformat.h"
#include "capture/pipewire/pipewireprops.h"
#include "capture/pixelformat.h"

#include <cstring>
#include <vector>

using namespace capture;
struct spa_pod;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
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
