#pragma once

#include <QVariant>
#include <array>

// One camera property: range, default and current value in the device's own units.
struct CameraParameter
{
    QVariant min = QVariant(0.0);
    QVariant max = QVariant(0.0);
    QVariant defaultValue = QVariant(0.0);
    QVariant value = QVariant(0.0);
    bool isAuto = false;

    bool operator==(const CameraParameter& other) const;
    bool operator!=(const CameraParameter& other) const { return !(*this == other); }
};

// The seven properties in the fixed slot order the pages read them by.
struct CameraParameters
{
    enum Slot { Contrast = 0, Saturation, Brightness, Exposure, Focus, WhiteBalance, Sharpness, Count };

    std::array<CameraParameter, Count> items;

    CameraParameter& operator[](int slot) { return items.at(static_cast<size_t>(slot)); }
    const CameraParameter& operator[](int slot) const { return items.at(static_cast<size_t>(slot)); }
    static constexpr int size() { return Count; }

    bool operator==(const CameraParameters& other) const { return items == other.items; }
    bool operator!=(const CameraParameters& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(CameraParameters)
