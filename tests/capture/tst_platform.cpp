// The capture platform. Frame decoding into bottom-up RGB32: every layout gives the right
// pixels the right way up, motion-JPEG without Huffman tables decodes, and damaged, short
// or other-size frames are dropped without reading past the buffer. The V4L2 backend on a
// machine that may have no camera: refusing paths that are no capture devices, reading
// kernel uevents, and turning driver size ranges into sizes.
#include "frames.h"

#include "capture/framedecoder.h"
#include "capture/v4l2/ueventmessage.h"
#include "capture/v4l2/v4l2backend.h"
#include "capture/v4l2/v4l2device.h"
#include "capture/v4l2/v4l2hotplugmonitor.h"
#include "capture/v4l2/v4l2stream.h"

#include <QtTest>

#include <libyuv/convert_from_argb.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>

using namespace capture;
using namespace dshow;

namespace {
const QRgb kQuadrant[] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(40, 40, 210), qRgb(230, 230, 230)};

// Four flat quadrants, so that orientation and colour order both show.
QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, kQuadrant[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)]);
    return image;
}

QByteArray jpeg(const QImage& image, int subsamp = TJSAMP_422)
{
    tjhandle tj = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, image.constBits(), image.width(), int(image.bytesPerLine()), image.height(), TJPF_BGRX, &buffer, &size,
                subsamp, 90, 0);
    QByteArray out(reinterpret_cast<const char*>(buffer), int(size));
    tjFree(buffer);
    tjDestroy(tj);
    return out;
}

// The JPEG with its DHT segments cut out, as many UVC cameras send it.
QByteArray withoutHuffmanTables(const QByteArray& in)
{
    QByteArray out = in.left(2);
    for (int pos = 2; pos + 4 <= in.size();) {
        const auto marker = quint8(in[pos + 1]);
        const int length = (quint8(in[pos + 2]) << 8) | quint8(in[pos + 3]);
        if (marker == 0xDA)
            return out + in.mid(pos);
        if (marker != 0xC4)
            out += in.mid(pos, length + 2);
        pos += length + 2;
    }
    return out;
}

// The picture laid out as a camera sends it. RGB24 is red first in memory, BGR24 blue
// first; YV12 stores V before U.
QByteArray raw(Subtype subtype, const QImage& image)
{
    const int w = image.width(), h = image.height(), stride = int(image.bytesPerLine());
    const std::uint8_t* argb = image.constBits();
    QByteArray out(subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_UYVY ? w * h * 2
                   : subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_BGR24 ? w * h * 3 : w * h * 3 / 2, '\0');
    auto* y = reinterpret_cast<std::uint8_t*>(out.data());
    auto* first = y + w * h;
    auto* second = first + (w / 2) * (h / 2);
    switch (subtype) {
    case MEDIASUBTYPE_YUY2: libyuv::ARGBToYUY2(argb, stride, y, w * 2, w, h); break;
    case MEDIASUBTYPE_UYVY: libyuv::ARGBToUYVY(argb, stride, y, w * 2, w, h); break;
    case MEDIASUBTYPE_NV12: libyuv::ARGBToNV12(argb, stride, y, w, first, w, w, h); break;
    case MEDIASUBTYPE_NV21: libyuv::ARGBToNV21(argb, stride, y, w, first, w, w, h); break;
    case MEDIASUBTYPE_I420: libyuv::ARGBToI420(argb, stride, y, w, first, w / 2, second, w / 2, w, h); break;
    case MEDIASUBTYPE_YV12: libyuv::ARGBToI420(argb, stride, y, w, second, w / 2, first, w / 2, w, h); break;
    case MEDIASUBTYPE_RGB24: libyuv::ARGBToRAW(argb, stride, y, w * 3, w, h); break;
    case MEDIASUBTYPE_BGR24: libyuv::ARGBToRGB24(argb, stride, y, w * 3, w, h); break;
    default: break;
    }
    return out;
}

const Subtype kRaw[] = {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_UYVY, MEDIASUBTYPE_NV12, MEDIASUBTYPE_NV21,
                        MEDIASUBTYPE_I420, MEDIASUBTYPE_YV12, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_BGR24};

QString name(Subtype s) { return QString::fromLatin1(reinterpret_cast<const char*>(&s), 4); }

// A kernel uevent for `path`, with DEVNAME when `devName` is set.
QByteArray uevent(const QByteArray& action, const QByteArray& path, const QByteArray& subsystem = "video4linux",
                  const QByteArray& devName = QByteArray())
{
    QByteArray msg = action + '@' + path + '\0' + "ACTION=" + action + '\0' + "DEVPATH=" + path + '\0' + "SUBSYSTEM=" + subsystem + '\0';
    return devName.isNull() ? msg : msg + "DEVNAME=" + devName + '\0';
}

const QByteArray kVivid = "/devices/platform/vivid.0/video4linux/video0";
const QByteArray kUsb = "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/video4linux/video2";
} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void layouts_data()
    {
        QTest::addColumn<Subtype>("subtype");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("stride");
        QTest::addColumn<QSize>("area");     // the preview's; empty = full size
        QTest::addColumn<QSize>("decoded");
        const QImage small = quadrants(64, 48), large = quadrants(320, 240);
        const QSize full(320, 240), none;
        QTest::newRow("MJPG 4:2:2") << MEDIASUBTYPE_MJPG << jpeg(large) << 0 << none << full;
        QTest::newRow("MJPG 4:2:0") << MEDIASUBTYPE_MJPG << jpeg(large, TJSAMP_420) << 0 << none << full;
        QTest::newRow("MJPG without DHT") << MEDIASUBTYPE_MJPG << withoutHuffmanTables(jpeg(large)) << 0 << none << full;
        // The smallest scale still covering the frame as fitted into the preview; never enlarged.
        QTest::newRow("MJPG for 80x60") << MEDIASUBTYPE_MJPG << jpeg(large) << 0 << QSize(80, 60) << QSize(80, 60);
        QTest::newRow("MJPG for 81x300") << MEDIASUBTYPE_MJPG << jpeg(large, TJSAMP_420) << 0 << QSize(81, 300) << QSize(120, 90);
        QTest::newRow("MJPG for 900x700") << MEDIASUBTYPE_MJPG << jpeg(large) << 0 << QSize(900, 700) << full;
        for (Subtype s : kRaw)
            QTest::newRow(qPrintable(name(s))) << s << raw(s, small) << 0 << QSize(16, 12) << QSize(64, 48);
        // Drivers may pad each line; the padding must not shear the picture.
        const QByteArray packed = raw(MEDIASUBTYPE_YUY2, small);
        QByteArray padded;
        for (int y = 0; y < 48; ++y)
            padded += packed.mid(y * 128, 128) + QByteArray(32, '\x10');
        QTest::newRow("YUY2 padded lines") << MEDIASUBTYPE_YUY2 << padded << 160 << none << QSize(64, 48);
    }

    void layouts()
    {
        QFETCH(Subtype, subtype);
        QFETCH(QByteArray, frame);
        QFETCH(int, stride);
        QFETCH(QSize, area);
        const bool rgb = subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_BGR24;
        const int tolerance = subtype == MEDIASUBTYPE_MJPG ? 8 : rgb ? 0 : 12;
        QFETCH(QSize, decoded);
        FrameDecoder decoder;
        QVERIFY(decoder.configure(subtype, subtype == MEDIASUBTYPE_MJPG ? 320 : 64, subtype == MEDIASUBTYPE_MJPG ? 240 : 48));
        decoder.setPreviewArea(area.width(), area.height());
        const int w = decoded.width(), h = decoded.height();
        QCOMPARE(QSize(decoder.outputWidth(), decoder.outputHeight()), decoded);
        const std::uint8_t* out = decoder.decode(reinterpret_cast<const std::uint8_t*>(frame.constData()), std::size_t(frame.size()), stride);
        QVERIFY(out);
        QCOMPARE(decoder.outputSize(), std::size_t(w * h * 4));
        const QImage picture = uprightImage(QByteArray(reinterpret_cast<const char*>(out), w * h * 4), w, h);
        for (int q = 0; q < 4; ++q) {
            const QRgb got = picture.pixel((q % 2 * 2 + 1) * w / 4, (q / 2 * 2 + 1) * h / 4);
            QVERIFY2(colourDistance(got, kQuadrant[q]) <= tolerance, qPrintable(QStringLiteral("quadrant %1: %2").arg(q).arg(got, 8, 16)));
            QCOMPARE(qAlpha(got), 255);
        }
        // The frame path decodes straight into a pooled buffer, upright: the same picture.
        QImage upright(w, h, QImage::Format_RGB32);
        QVERIFY(decoder.decodeUpright(reinterpret_cast<const std::uint8_t*>(frame.constData()), std::size_t(frame.size()),
                                      stride, upright.bits()));
        QCOMPARE(upright, picture.convertToFormat(QImage::Format_RGB32));
    }

    void damagedFramesAreDropped_data()
    {
        QTest::addColumn<Subtype>("subtype");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("stride");
        const QImage small = quadrants(64, 48);
        for (Subtype s : kRaw)
            QTest::newRow(qPrintable(name(s) + " one byte short")) << s << raw(s, small).chopped(1) << 0;
        QTest::newRow("YUY2 stride narrower than a line") << MEDIASUBTYPE_YUY2 << raw(MEDIASUBTYPE_YUY2, small) << 100;
        const QByteArray good = jpeg(small);
        // Cut short in the scan, as when a USB packet is lost.
        QTest::newRow("MJPG cut short") << MEDIASUBTYPE_MJPG << good.left(good.size() / 2) << 0;
        QTest::newRow("MJPG marker past the end") << MEDIASUBTYPE_MJPG << good.left(2) + QByteArray("\xFF\xE0\xFF\xF0", 4) << 0;
        QTest::newRow("MJPG other size") << MEDIASUBTYPE_MJPG << jpeg(quadrants(32, 24)) << 0;
        QTest::newRow("empty") << MEDIASUBTYPE_MJPG << QByteArray() << 0;
    }

    void damagedFramesAreDropped()
    {
        QFETCH(Subtype, subtype);
        QFETCH(QByteArray, frame);
        QFETCH(int, stride);
        const QByteArray good = subtype == MEDIASUBTYPE_MJPG ? jpeg(quadrants(64, 48)) : raw(subtype, quadrants(64, 48));
        FrameDecoder decoder;
        QVERIFY(decoder.configure(subtype, 64, 48));
        // An exactly sized heap copy: the address sanitizer sees any read past it.
        const std::vector<std::uint8_t> exact(frame.begin(), frame.end());
        QVERIFY(!decoder.decode(exact.empty() ? nullptr : exact.data(), exact.size(), stride));
        QCOMPARE(decoder.droppedFrames(), std::uint64_t(1));
        // The decoder is not stuck: a good frame still decodes.
        QVERIFY(decoder.decode(reinterpret_cast<const std::uint8_t*>(good.constData()), std::size_t(good.size())));
    }

    void openRefusesWhatIsNoCaptureDevice_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("not under /sys") << QStringLiteral("/dev/video0");
        QTest::newRow("missing") << QStringLiteral("/sys/devices/platform/vivid.9/video4linux/video42");
        QTest::newRow("escapes /sys") << QStringLiteral("/sys/../dev/null");
        QTest::newRow("other subsystem") << QStringLiteral("/sys/devices/virtual/mem/null");
    }

    void openRefusesWhatIsNoCaptureDevice()
    {
        QFETCH(QString, path);
        std::shared_ptr<CaptureDevice> device;
        QVERIFY(dshow::FAILED(V4l2Backend().open(path, device)));
        QVERIFY(!device);
    }

    void uevents_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("parsed");  // action, /sys path, device name; empty when refused
        QTest::newRow("vivid added") << uevent("add", kVivid, "video4linux", "video0") << QString("add /sys" + kVivid + " video0");
        QTest::newRow("UVC removed") << uevent("remove", kUsb) << QString("remove /sys" + kUsb + " ");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("udev rebroadcast") << QByteArray("libudev\0\xfe\xed\xca\xfe\x28\0\0\0ACTION=add", 26) << QString();
        QTest::newRow("relative path") << uevent("add", "devices/x") << QString();
        QTest::newRow("header and body disagree") << uevent("add", kVivid).replace("ACTION=add", "ACTION=remove") << QString();
        QTest::newRow("paths disagree") << uevent("add", kVivid).replace("DEVPATH=/devices/platform", "DEVPATH=/devices/other") << QString();
        QTest::newRow("climbs out of /sys") << uevent("add", "/devices/../../dev/video0") << QString();
        QTest::newRow("empty action") << uevent("", "/devices/a") << QString();
    }

    void uevents()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, parsed);
        const UeventMessage m = UeventMessage::parse(datagram);
        QCOMPARE(m.isValid() ? m.action() + " " + m.sysPath() + " " + m.devName() : QString(), parsed);
    }

    void monitorPassesOnlyVideo4linuxEvents()
    {
        V4l2HotplugMonitor monitor;
        QSignalSpy spy(&monitor, &V4l2HotplugMonitor::deviceEvent);
        monitor.handleKernelMessage(uevent("add", kVivid, "video4linux", "video0"));
        monitor.handleKernelMessage(uevent("add", "/devices/virtual/block/loop0", "block", "loop0"));
        monitor.handleKernelMessage(uevent("add", "/devices/x/video4linux/video9", "video4linux", "../etc/passwd"));
        monitor.handleKernelMessage(QByteArray("garbage"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0), QVariantList({"add", "/sys" + kVivid, "/dev/video0"}));
        QCOMPARE(spy.at(1).at(2).toString(), QString());  // a DEVNAME leaving /dev is not used
        // A node that is not there (or a metadata node) is no camera arriving, and the
        // removal of a node never known as a capture node is not reported either.
        V4l2Backend backend;
        QSignalSpy changes(&backend, &CaptureBackend::deviceChanged);
        backend.monitor()->handleKernelMessage(uevent("add", "/devices/platform/vivid.7/video4linux/video77", "video4linux", "video77"));
        backend.monitor()->handleKernelMessage(uevent("remove", "/devices/platform/vivid.7/video4linux/video77", "video4linux", "video77"));
        QCOMPARE(changes.count(), 0);
    }

    void sizes()
    {
        using Sizes = std::vector<std::pair<int, int>>;
        const auto has = [](const Sizes& s, int w, int h) { return std::count(s.begin(), s.end(), std::make_pair(w, h)) == 1; };
        // A continuous range: the common sizes inside, none outside.
        Sizes sizes = V4l2Device::sizesInRange(320, 1920, 1, 180, 1080, 1);
        QVERIFY(has(sizes, 640, 480) && has(sizes, 1920, 1080) && !has(sizes, 3840, 2160));
        // Steps: only sizes the driver can reach (width step 64 from 256: 352 is not one).
        sizes = V4l2Device::sizesInRange(256, 1280, 64, 144, 720, 8);
        QVERIFY(has(sizes, 640, 480) && !has(sizes, 352, 288));
        for (const auto& s : sizes)
            QVERIFY((s.first - 256) % 64 == 0 && (s.second - 144) % 8 == 0 && s.first <= 1280 && s.second <= 720);
        // A range that holds no common size still offers its ends; an empty one nothing.
        QCOMPARE(V4l2Device::sizesInRange(100, 110, 10, 50, 60, 10), (Sizes{{100, 50}, {110, 60}}));
        QVERIFY(V4l2Device::sizesInRange(640, 320, 1, 480, 240, 1).empty());
        // Frames shorter than their layout needs are dropped before decoding.
        QCOMPARE(V4l2Stream::minimumFrameBytes(V4L2_PIX_FMT_YUV420, 320, 181), std::size_t(320 * 181 + 2 * 160 * 91));
        QCOMPARE(V4l2Stream::minimumFrameBytes(V4L2_PIX_FMT_YUYV, -4, 720), std::size_t(0));
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
