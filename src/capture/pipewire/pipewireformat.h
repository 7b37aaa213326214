#pragma once

#include "capture/capturedevice.h"

#include <cstdint>
#include <vector>

struct spa_pod;
struct spa_pod_builder;

namespace capture {

// Between PipeWire's video formats and the capture layer's: what a node offers, what
// a stream asks for and what it got.
class PipeWireFormat
{
public:
    // The formats one EnumFormat parameter offers that the frame decoder knows;
    // size ranges become the common sizes inside them.
    static std::vector<FormatDescriptor> offered(const spa_pod* param);
    // The EnumFormat a stream connects with: exactly this subtype and size, any rate
    // up to the requested one.
    static const spa_pod* request(spa_pod_builder* builder, const FormatDescriptor& format);
    // The subtype and size a negotiated Format parameter fixes; false for one we cannot decode.
    static bool negotiated(const spa_pod* param, FormatDescriptor& format);

    static Subtype subtypeForVideoFormat(std::uint32_t spaFormat);
    static std::uint32_t videoFormatForSubtype(Subtype subtype);
};

} // namespace capture
