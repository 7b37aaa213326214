#pragma once

// The one camera model that the camera page offers its looks (filter presets) for, and
// that the built-in virtual camera imitates. A test vendor/product id pair.
struct UsbModelId
{
    const char* vendorId;
    const char* productId;
};

constexpr UsbModelId kDesignatedModel{"1209", "4C56"};
