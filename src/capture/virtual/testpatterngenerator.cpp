#include "capture/virtual/testpatterngenerator.h"

#include "base/cameraparameters.h"
#include "capture/cameraproperty.h"

#include <QDebug>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <libyuv/convert_from_argb.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace capture {

using namespace dshow;

namespace {
const VirtualControl& control(const VirtualControls& controls, int slot)
{
    return controls[static_cast<std::size_t>(slot)];
}

// Where the control stands relative to its default, as a share of its range (-1..1).
double offsetFromDefault(const VirtualControl& c)
{
    if (!c.present || c.max <= c.min)
        return 0.0;
    return static_cast<double>(c.value - c.defaultValue) / static_cast<double>(c.max - c.min);
}
} // namespace

TestPatternGenerator::TestPatternGenerator() = default;

TestPatternGenerator::~TestPatternGenerator()
{
    if (m_tj)
        tjDestroy(static_cast<tjhandle>(m_tj));
}

QRgb TestPatternGenerator::barColor(int index)
{
    static const QRgb bars[8] = {qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                                 qRgb(191, 0, 191),   qRgb(191, 0, 0),   qRgb(0, 0, 191),   qRgb(0, 0, 0)};
    return bars[qBound(0, index, 7)];
}

QImage TestPatternGenerator::render(const QString& name, const VirtualControls& controls, int frame, int loopLength,
                                    int width, int height) const
{
    QImage image(width, height, QImage::Format_RGB32);
    const int barsHeight = height * 2 / 3;
    for (int i = 0; i < 8; ++i) {
        const int x0 = width * i / 8, x1 = width * (i + 1) / 8;
        const QRgb c = barColor(i);
        for (int y = 0; y < barsHeight; ++y)
            std::fill(reinterpret_cast<QRgb*>(image.scanLine(y)) + x0, reinterpret_cast<QRgb*>(image.scanLine(y)) + x1, c);
    }
    const QRgb band = qRgb(32, 32, 32);
    for (int y = barsHeight; y < height; ++y)
        std::fill(reinterpret_cast<QRgb*>(image.scanLine(y)), reinterpret_cast<QRgb*>(image.scanLine(y)) + width, band);

    QPainter painter(&image);
    const int bandHeight = height - barsHeight;
    const int block = std::max(4, bandHeight / 4);
    const int travel = std::max(1, width - block);
    const int x = loopLength > 0 ? travel * frame / loopLength : 0;
    painter.fillRect(x, barsHeight + bandHeight - block - bandHeight / 16, block, block, Qt::white);

    // Text needs the GUI's font machinery; a core-only process gets the picture without it.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QFont font;
        font.setPixelSize(std::max(8, bandHeight / 8));
        painter.setFont(font);
        painter.setPen(Qt::white);
        auto describe = [&](int p, const char* label) {
            const VirtualControl& c = control(controls, p);
            if (!c.present)
                return QString();
            const char* mode = c.mode == VirtualControl::Mode::Auto ? " (auto)" : "";
            return QStringLiteral("%1 %2%3").arg(QLatin1String(label)).arg(c.value).arg(QLatin1String(mode));
        };
        QStringList values;
        for (const CameraProperty& row : cameraProperties()) {
            const QString text = describe(row.slot, row.name);
            if (!text.isEmpty())
                values << text;
        }
        const int margin = std::max(2, width / 80);
        const int line = font.pixelSize() + font.pixelSize() / 3;
        int y = barsHeight + margin;
        painter.drawText(QRect(margin, y, width - 2 * margin, line), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("%1   %2x%3   frame %4/%5").arg(name).arg(width).arg(height).arg(frame + 1).arg(loopLength));
        y += line;
        const int half = (values.size() + 1) / 2;
        painter.drawText(QRect(margin, y, width - 2 * margin, line), Qt::AlignLeft | Qt::AlignVCenter,
                         values.mid(0, half).join(QStringLiteral("   ")));
        y += line;
        painter.drawText(QRect(margin, y, width - 2 * margin, line), Qt::AlignLeft | Qt::AlignVCenter,
                         values.mid(half).join(QStringLiteral("   ")));
    }
    painter.end();
    applyControls(image, controls);
    return image;
}

void TestPatternGenerator::applyControls(QImage& image, const VirtualControls& controls)
{
    const double brightness = offsetFromDefault(control(controls, CameraParameters::Brightness)) * 200.0;
    const double contrast = std::pow(4.0, offsetFromDefault(control(controls, CameraParameters::Contrast)));
    const double saturation = std::max(0.0, 1.0 + 2.0 * offsetFromDefault(control(controls, CameraParameters::Saturation)));
    const VirtualControl& wb = control(controls, CameraParameters::WhiteBalance);
    // A higher colour temperature setting warms the picture, a lower one cools it; in
    // automatic mode the camera keeps it neutral.
    const double warmth = wb.mode == VirtualControl::Mode::Auto ? 0.0 : offsetFromDefault(wb);
    const double gain[3] = {std::clamp(1.0 + 0.8 * warmth, 0.2, 2.0), 1.0, std::clamp(1.0 - 0.8 * warmth, 0.2, 2.0)};
    if (brightness == 0.0 && contrast == 1.0 && saturation == 1.0 && warmth == 0.0)
        return;

    std::uint8_t lut[3][256];
    for (int ch = 0; ch < 3; ++ch)
        for (int v = 0; v < 256; ++v)
            lut[ch][v] = static_cast<std::uint8_t>(std::clamp(((v * gain[ch]) - 128.0) * contrast + 128.0 + brightness, 0.0, 255.0));
    const int sat = static_cast<int>(saturation * 256.0);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            int r = lut[0][qRed(row[x])], g = lut[1][qGreen(row[x])], b = lut[2][qBlue(row[x])];
            if (sat != 256) {
                const int grey = (r * 77 + g * 150 + b * 29) >> 8;
                r = std::clamp(grey + (((r - grey) * sat) >> 8), 0, 255);
                g = std::clamp(grey + (((g - grey) * sat) >> 8), 0, 255);
                b = std::clamp(grey + (((b - grey) * sat) >> 8), 0, 255);
            }
            row[x] = qRgb(r, g, b);
        }
    }
}

bool TestPatternGenerator::encode(const QImage& image, Subtype subtype, std::vector<std::uint8_t>& out)
{
    const int w = image.width(), h = image.height();
    const std::uint8_t* argb = image.constBits();
    const int stride = static_cast<int>(image.bytesPerLine());
    switch (subtype) {
    case MEDIASUBTYPE_MJPG: {
        if (!m_tj)
            m_tj = tjInitCompress();
        if (!m_tj)
            return false;
        const unsigned long bound = tjBufSize(w, h, TJSAMP_422);
        m_jpegScratch.resize(bound);
        unsigned char* dst = m_jpegScratch.data();
        unsigned long size = bound;
        if (tjCompress2(static_cast<tjhandle>(m_tj), argb, w, stride, h, TJPF_BGRX, &dst, &size, TJSAMP_422, 85,
                        TJFLAG_NOREALLOC) != 0) {
            qDebug() << "virtual camera: JPEG encoding failed:" << tjGetErrorStr2(static_cast<tjhandle>(m_tj));
            return false;
        }
        out.assign(m_jpegScratch.begin(), m_jpegScratch.begin() + static_cast<std::ptrdiff_t>(size));
        return true;
    }
    case MEDIASUBTYPE_YUY2:
        out.resize(static_cast<std::size_t>(w) * h * 2);
        return libyuv::ARGBToYUY2(argb, stride, out.data(), w * 2, w, h) == 0;
    case MEDIASUBTYPE_UYVY:
        out.resize(static_cast<std::size_t>(w) * h * 2);
        return libyuv::ARGBToUYVY(argb, stride, out.data(), w * 2, w, h) == 0;
    case MEDIASUBTYPE_NV12: {
        out.resize(static_cast<std::size_t>(w) * h * 3 / 2);
        std::uint8_t* y = out.data();
        return libyuv::ARGBToNV12(argb, stride, y, w, y + static_cast<std::size_t>(w) * h, w, w, h) == 0;
    }
    case MEDIASUBTYPE_I420: {
        out.resize(static_cast<std::size_t>(w) * h * 3 / 2);
        std::uint8_t* y = out.data();
        std::uint8_t* u = y + static_cast<std::size_t>(w) * h;
        std::uint8_t* v = u + static_cast<std::size_t>(w / 2) * (h / 2);
        return libyuv::ARGBToI420(argb, stride, y, w, u, w / 2, v, w / 2, w, h) == 0;
    }
    default:
        return false;
    }
}

} // namespace capture
