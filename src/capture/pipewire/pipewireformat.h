#pragma once

#include "capture/capturedevice.h"

#include <cstddef>
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

    // The width of a frame a node sends: libcamera narrows a width it cannot make (vimc's
    // scaler works in steps of three) while Debian 12's plugin still reports the one asked
    // for; a packed frame's stride then tells the truth. `width` when nothing was narrowed.
    static int deliveredWidth(Subtype subtype, int width, int height, int stride, std::size_t size);
    // Such a frame at the `width` the stream negotiated, its rows copied into `buffer` and
    // filled out with their last pixel: the rest of the frame path sees the size it expects.
    static void widen(RawFrame& frame, int width, std::vector<std::uint8_t>& buffer);

    // PipeWire's libcamera plugin named libcamera's RGB888 "RGB" and BGR888 "BGR" before
    // 1.0.6 (and 1.1.81): the bytes are the other way round. Whether a daemon of this
    // version ("0.3.65") is one of those, and the subtype that a named one really is.
    static bool libcameraRgbSwapped(const QString& daemonVersion);
    static Subtype swappedRgb(Subtype subtype);

    // spa_pod_get_values for a pod that may be malformed: null when a choice is too short
    // for its header (its count would wrap) or its items are not of `itemSize` bytes.
    static const spa_pod* podValues(const spa_pod* pod, std::uint32_t itemSize, std::uint32_t& count, std::uint32_t& choice);

    static Subtype subtypeForVideoFormat(std::uint32_t spaFormat);
    static std::uint32_t videoFormatForSubtype(Subtype subtype);
};

} // namespace capture
