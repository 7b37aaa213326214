#pragma once

#include "capture/virtual/virtualcameradescription.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace capture {

// Draws the virtual cameras' moving test pattern and encodes it as a device would send
// it. The top two thirds are eight 75% colour bars (white, yellow, cyan, green,
// magenta, red, blue, black); the bottom third is a dark band with a moving white block,
// the device name, the frame number and the control values. Brightness, contrast,
// saturation and white balance alter the picture the way the camera's own processing
// would.
class TestPatternGenerator
{
public:
    TestPatternGenerator();
    ~TestPatternGenerator();
    TestPatternGenerator(const TestPatternGenerator&) = delete;
    TestPatternGenerator& operator=(const TestPatternGenerator&) = delete;

    // The colour of bar `index` (0..7) before any control is applied.
    static QRgb barColor(int index);

    QImage render(const QString& name, const VirtualControls& controls, int frame, int loopLength, int width, int height) const;
    // Encodes a Format_RGB32 image; false for a subtype it cannot produce.
    bool encode(const QImage& image, Subtype subtype, std::vector<std::uint8_t>& out);

private:
    static void applyControls(QImage& image, const VirtualControls& controls);
    void* m_tj = nullptr;
    // JPEGs are written here at their worst-case size, then copied out at their real
    // size: a replayed loop would otherwise keep the worst case for every frame.
    std::vector<std::uint8_t> m_jpegScratch;
};

} // namespace capture
