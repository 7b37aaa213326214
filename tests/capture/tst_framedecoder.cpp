// Frame decoding into bottom-up RGB32: every layout gives the right pixels the right
// way up, motion-JPEG without Huffman tables decodes, and corrupt or short frames are
// dropped without reading past the buffer.

#include "support/capturetest.h"

#include "capture/framedecoder.h"

#include <QRandomGenerator>
#include <QtTest>

#include <libyuv/convert_from_argb.h>
#include <turbojpeg.h>

using namespace dshow;
using capture::FrameDecoder;

namespace {

const QRgb kTopLeft = qRgb(220, 30, 30);
const QRgb kTopRight = qRgb(30, 200, 40);
const QRgb kBottomLeft = qRgb(40, 40, 210);
const QRgb kBottomRight = qRgb(230, 230, 230);

// Four flat quadrants, so that orientation and colour order are both visible.
QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, y < height / 2 ? (x < width / 2 ? kTopLeft : kTopRight) : (x < width / 2 ? kBottomLeft : kBottomRight));
    return image;
}

QByteArray encodeJpeg(const QImage& image, int subsamp = TJSAMP_422)
{
    tjhandle tj = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, image.constBits(), image.width(), static_cast<int>(image.bytesPerLine()), image.height(), TJPF_BGRX,
                &buffer, &size, subsamp, 90, 0);
    QByteArray jpeg(reinterpret_cast<const char*>(buffer), static_cast<int>(size));
    tjFree(buffer);
    tjDestroy(tj);
    return jpeg;
}

// The JPEG with its DHT segments cut out, as many UVC cameras send it.
QByteArray withoutHuffmanTables(const QByteArray& jpeg)
{
    QByteArray out = jpeg.left(2);
    int pos = 2;
    while (pos + 4 <= jpeg.size()) {
        const auto marker = static_cast<unsigned char>(jpeg[pos + 1]);
        if (marker == 0xDA) {
            out += jpeg.mid(pos);
            break;
        }
        const int length = (static_cast<unsigned char>(jpeg[pos + 2]) << 8) | static_cast<unsigned char>(jpeg[pos + 3]);
        if (marker != 0xC4)
            out += jpeg.mid(pos, length + 2);
        pos += length + 2;
    }
    return out;
}

QImage decoded(const std::uint8_t* out, int width, int height)
{
    return uprightImage(QByteArray(reinterpret_cast<const char*>(out), width * height * 4), width, height);
}

void checkQuadrants(const QImage& picture, int tolerance)
{
    QVERIFY(!picture.isNull());
    const int w = picture.width(), h = picture.height();
    const struct { int x, y; QRgb expected; } probes[] = {
        {w / 4, h / 4, kTopLeft}, {3 * w / 4, h / 4, kTopRight}, {w / 4, 3 * h / 4, kBottomLeft}, {3 * w / 4, 3 * h / 4, kBottomRight}};
    for (const auto& p : probes) {
        const QRgb got = picture.pixel(p.x, p.y);
        QVERIFY2(colourDistance(got, p.expected) <= tolerance,
                 qPrintable(QStringLiteral("at %1,%2: got %3 expected %4").arg(p.x).arg(p.y).arg(got, 8, 16).arg(p.expected, 8, 16)));
        QCOMPARE(qAlpha(got), 255);
    }
}

// Raw layouts made from the test picture the way a camera lays them out.
QByteArray rawFrame(Subtype subtype, const QImage& image)
{
    const int w = image.width(), h = image.height();
    const std::uint8_t* argb = image.constBits();
    const int stride = static_cast<int>(image.bytesPerLine());
    QByteArray out;
    switch (subtype) {
    case MEDIASUBTYPE_YUY2:
        out.resize(w * h * 2);
        libyuv::ARGBToYUY2(argb, stride, reinterpret_cast<std::uint8_t*>(out.data()), w * 2, w, h);
        break;
    case MEDIASUBTYPE_UYVY:
        out.resize(w * h * 2);
        libyuv::ARGBToUYVY(argb, stride, reinterpret_cast<std::uint8_t*>(out.data()), w * 2, w, h);
        break;
    case MEDIASUBTYPE_NV12:
    case MEDIASUBTYPE_NV21: {
        out.resize(w * h * 3 / 2);
        auto* y = reinterpret_cast<std::uint8_t*>(out.data());
        if (subtype == MEDIASUBTYPE_NV12)
            libyuv::ARGBToNV12(argb, stride, y, w, y + w * h, w, w, h);
        else
            libyuv::ARGBToNV21(argb, stride, y, w, y + w * h, w, w, h);
        break;
    }
    case MEDIASUBTYPE_I420:
    case MEDIASUBTYPE_YV12: {
        out.resize(w * h * 3 / 2);
        auto* y = reinterpret_cast<std::uint8_t*>(out.data());
        auto* first = y + w * h;
        auto* second = first + (w / 2) * (h / 2);
        // YV12 stores V before U.
        auto* u = subtype == MEDIASUBTYPE_I420 ? first : second;
        auto* v = subtype == MEDIASUBTYPE_I420 ? second : first;
        libyuv::ARGBToI420(argb, stride, y, w, u, w / 2, v, w / 2, w, h);
        break;
    }
    case MEDIASUBTYPE_RGB24:
    case MEDIASUBTYPE_BGR24:
        out.resize(w * h * 3);
        for (int yy = 0; yy < h; ++yy) {
            for (int x = 0; x < w; ++x) {
                const QRgb c = image.pixel(x, yy);
                auto* p = reinterpret_cast<std::uint8_t*>(out.data()) + (yy * w + x) * 3;
                // RGB24 is red first in memory, BGR24 blue first.
                p[0] = static_cast<std::uint8_t>(subtype == MEDIASUBTYPE_RGB24 ? qRed(c) : qBlue(c));
                p[1] = static_cast<std::uint8_t>(qGreen(c));
                p[2] = static_cast<std::uint8_t>(subtype == MEDIASUBTYPE_RGB24 ? qBlue(c) : qRed(c));
            }
        }
        break;
    default:
        break;
    }
    return out;
}

const std::uint8_t* bytes(const QByteArray& a)
{
    return reinterpret_cast<const std::uint8_t*>(a.constData());
}

} // namespace

// The frame path's decode into a buffer of its own must give the same picture upright.
void checkUprightMatches(FrameDecoder& decoder, const QByteArray& frame, const std::uint8_t* bottomUp)
{
    std::vector<std::uint8_t> upright(decoder.outputSize());
    QVERIFY(decoder.decodeUpright(bytes(frame), static_cast<std::size_t>(frame.size()), 0, upright.data()));
    const std::size_t row = std::size_t(decoder.width()) * 4;
    for (int y = 0; y < decoder.height(); ++y)
        QVERIFY2(std::equal(upright.begin() + std::ptrdiff_t(row * std::size_t(y)),
                            upright.begin() + std::ptrdiff_t(row * std::size_t(y + 1)),
                            bottomUp + row * std::size_t(decoder.height() - 1 - y)),
                 qPrintable(QStringLiteral("row %1").arg(y)));
}

class TestFrameDecoder : public QObject
{
    Q_OBJECT

private slots:
    void mjpgDecodesBottomUp();
    void mjpgWithoutHuffmanTables();
    void mjpgDamagedFramesAreDropped();
    void mjpgRandomDamageNeverCrashes();
    void rawLayouts_data();
    void rawLayouts();
    void rawStrideIsHonoured();
    void shortRawFramesAreDropped_data();
    void shortRawFramesAreDropped();
    void unsupportedConfigurations();
    void outputBufferIsReused();
};

void TestFrameDecoder::mjpgDecodesBottomUp()
{
    for (int subsamp : {TJSAMP_422, TJSAMP_420, TJSAMP_444}) {
        const QImage image = quadrants(320, 240);
        const QByteArray jpeg = encodeJpeg(image, subsamp);
        FrameDecoder decoder;
        QVERIFY(decoder.configure(MEDIASUBTYPE_MJPG, 320, 240));
        const std::uint8_t* out = decoder.decode(bytes(jpeg), static_cast<std::size_t>(jpeg.size()));
        QVERIFY(out);
        QCOMPARE(decoder.outputSize(), std::size_t(320 * 240 * 4));
        // The first buffer row is the bottom of the picture.
        const auto* first = reinterpret_cast<const QRgb*>(out);
        QVERIFY(colourDistance(first[10], kBottomLeft) <= 8);
        checkQuadrants(decoded(out, 320, 240), 8);
        checkUprightMatches(decoder, jpeg, out);
    }
}

void TestFrameDecoder::mjpgWithoutHuffmanTables()
{
    const QImage image = quadrants(640, 480);
    const QByteArray jpeg = encodeJpeg(image);
    const QByteArray stripped = withoutHuffmanTables(jpeg);
    QVERIFY(stripped.size() < jpeg.size());
    QVERIFY(!stripped.contains("\xFF\xC4"));

    std::vector<std::uint8_t> scratch;
    std::size_t size = 0;
    // With tables the frame is used as it is; without, the standard tables go in.
    QCOMPARE(FrameDecoder::withHuffmanTables(bytes(jpeg), static_cast<std::size_t>(jpeg.size()), scratch, size), bytes(jpeg));
    const std::uint8_t* fixed = FrameDecoder::withHuffmanTables(bytes(stripped), static_cast<std::size_t>(stripped.size()), scratch, size);
    QCOMPARE(fixed, scratch.data());
    QCOMPARE(size, std::size_t(stripped.size()) + 420);

    // The standard tables are the ones the encoder used, so both decode identically.
    FrameDecoder a, b;
    QVERIFY(a.configure(MEDIASUBTYPE_MJPG, 640, 480));
    QVERIFY(b.configure(MEDIASUBTYPE_MJPG, 640, 480));
    const std::uint8_t* withTables = a.decode(bytes(jpeg), static_cast<std::size_t>(jpeg.size()));
    const std::uint8_t* withoutTables = b.decode(bytes(stripped), static_cast<std::size_t>(stripped.size()));
    QVERIFY(withTables);
    QVERIFY(withoutTables);
    QVERIFY(std::equal(withTables, withTables + a.outputSize(), withoutTables));
    checkQuadrants(decoded(withoutTables, 640, 480), 8);
}

void TestFrameDecoder::mjpgDamagedFramesAreDropped()
{
    const QByteArray jpeg = encodeJpeg(quadrants(320, 240));
    FrameDecoder decoder;
    QVERIFY(decoder.configure(MEDIASUBTYPE_MJPG, 320, 240));
    // Cut short in the middle of the scan, as a camera does when a USB packet is lost.
    QVERIFY(!decoder.decode(bytes(jpeg), static_cast<std::size_t>(jpeg.size() / 2)));
    // Only the header.
    QVERIFY(!decoder.decode(bytes(jpeg), 40));
    // Not a JPEG at all.
    const QByteArray noise(4000, '\x5A');
    QVERIFY(!decoder.decode(bytes(noise), static_cast<std::size_t>(noise.size())));
    // A marker length pointing past the end.
    QByteArray lying = jpeg.left(2) + QByteArray("\xFF\xE0\xFF\xF0", 4);
    QVERIFY(!decoder.decode(bytes(lying), static_cast<std::size_t>(lying.size())));
    // A JPEG of another size than the negotiated one.
    const QByteArray other = encodeJpeg(quadrants(160, 120));
    QVERIFY(!decoder.decode(bytes(other), static_cast<std::size_t>(other.size())));
    QVERIFY(!decoder.decode(nullptr, 0));
    QCOMPARE(decoder.droppedFrames(), std::uint64_t(6));
    // A good frame still decodes afterwards.
    QVERIFY(decoder.decode(bytes(jpeg), static_cast<std::size_t>(jpeg.size())));
}

void TestFrameDecoder::mjpgRandomDamageNeverCrashes()
{
    // Run under the address sanitizer this also proves no read goes past the frame.
    const QByteArray jpeg = withoutHuffmanTables(encodeJpeg(quadrants(160, 120)));
    FrameDecoder decoder;
    QVERIFY(decoder.configure(MEDIASUBTYPE_MJPG, 160, 120));
    QRandomGenerator random(1234);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = jpeg;
        const int flips = 1 + random.bounded(8);
        for (int i = 0; i < flips; ++i)
            damaged[random.bounded(damaged.size())] = static_cast<char>(random.bounded(256));
        damaged.truncate(random.bounded(damaged.size()) + 1);
        // A heap copy of exactly that size, so that any overread hits the sanitizer.
        std::vector<std::uint8_t> exact(damaged.begin(), damaged.end());
        decoder.decode(exact.data(), exact.size());
    }
    QVERIFY(decoder.droppedFrames() > 0);
}

void TestFrameDecoder::rawLayouts_data()
{
    QTest::addColumn<Subtype>("subtype");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("YUY2") << MEDIASUBTYPE_YUY2 << 12;
    QTest::newRow("UYVY") << MEDIASUBTYPE_UYVY << 12;
    QTest::newRow("NV12") << MEDIASUBTYPE_NV12 << 12;
    QTest::newRow("NV21") << MEDIASUBTYPE_NV21 << 12;
    QTest::newRow("I420") << MEDIASUBTYPE_I420 << 12;
    QTest::newRow("YV12") << MEDIASUBTYPE_YV12 << 12;
    QTest::newRow("RGB24") << MEDIASUBTYPE_RGB24 << 0;
    QTest::newRow("BGR24") << MEDIASUBTYPE_BGR24 << 0;
}

void TestFrameDecoder::rawLayouts()
{
    QFETCH(Subtype, subtype);
    QFETCH(int, tolerance);
    const QImage image = quadrants(64, 48);
    const QByteArray raw = rawFrame(subtype, image);
    FrameDecoder decoder;
    QVERIFY(decoder.configure(subtype, 64, 48));
    const std::uint8_t* out = decoder.decode(bytes(raw), static_cast<std::size_t>(raw.size()));
    QVERIFY(out);
    checkQuadrants(decoded(out, 64, 48), tolerance);
    checkUprightMatches(decoder, raw, out);
}

void TestFrameDecoder::rawStrideIsHonoured()
{
    // Drivers may pad each line; the padding must not shear the picture.
    const QImage image = quadrants(64, 48);
    const QByteArray packed = rawFrame(MEDIASUBTYPE_YUY2, image);
    const int stride = 64 * 2 + 32;
    QByteArray padded;
    for (int y = 0; y < 48; ++y)
        padded += packed.mid(y * 128, 128) + QByteArray(32, '\x10');
    FrameDecoder decoder;
    QVERIFY(decoder.configure(MEDIASUBTYPE_YUY2, 64, 48));
    const std::uint8_t* out = decoder.decode(bytes(padded), static_cast<std::size_t>(padded.size()), stride);
    QVERIFY(out);
    checkQuadrants(decoded(out, 64, 48), 12);
    // A stride narrower than a line is refused.
    QVERIFY(!decoder.decode(bytes(padded), static_cast<std::size_t>(padded.size()), 100));
}

void TestFrameDecoder::shortRawFramesAreDropped_data()
{
    rawLayouts_data();
}

void TestFrameDecoder::shortRawFramesAreDropped()
{
    QFETCH(Subtype, subtype);
    const QByteArray raw = rawFrame(subtype, quadrants(64, 48));
    FrameDecoder decoder;
    QVERIFY(decoder.configure(subtype, 64, 48));
    // Exactly sized heap copies one byte short: the sanitizer sees any overread.
    std::vector<std::uint8_t> shortFrame(raw.begin(), raw.end() - 1);
    QVERIFY(!decoder.decode(shortFrame.data(), shortFrame.size()));
    std::vector<std::uint8_t> half(raw.begin(), raw.begin() + raw.size() / 2);
    QVERIFY(!decoder.decode(half.data(), half.size()));
    QCOMPARE(decoder.droppedFrames(), std::uint64_t(2));
}

void TestFrameDecoder::unsupportedConfigurations()
{
    FrameDecoder decoder;
    QVERIFY(!decoder.configure(MEDIASUBTYPE_RGB32, 64, 48));
    QVERIFY(!decoder.configure(fourcc('H', '2', '6', '4'), 64, 48));
    QVERIFY(!decoder.configure(MEDIASUBTYPE_YUY2, 0, 48));
    QVERIFY(!decoder.configure(MEDIASUBTYPE_YUY2, 64, -48));
    QVERIFY(!decoder.configure(MEDIASUBTYPE_MJPG, 100000, 100000));
    // Unconfigured: every frame is dropped.
    const QByteArray raw(64 * 48 * 2, '\0');
    QVERIFY(!decoder.decode(bytes(raw), static_cast<std::size_t>(raw.size())));
}

void TestFrameDecoder::outputBufferIsReused()
{
    const QByteArray jpeg = encodeJpeg(quadrants(320, 240));
    FrameDecoder decoder;
    QVERIFY(decoder.configure(MEDIASUBTYPE_MJPG, 320, 240));
    const std::uint8_t* first = decoder.decode(bytes(jpeg), static_cast<std::size_t>(jpeg.size()));
    const std::uint8_t* second = decoder.decode(bytes(jpeg), static_cast<std::size_t>(jpeg.size()));
    QVERIFY(first);
    QCOMPARE(second, first);
}

QTEST_MAIN(TestFrameDecoder)
#include "tst_framedecoder.moc"
