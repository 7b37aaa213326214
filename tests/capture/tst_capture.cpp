// The capture layer. Frame decoding into bottom-up RGB32: every layout gives the right
// pixels the right way up, motion-JPEG without Huffman tables decodes, and damaged, short
// or other-size frames are dropped without reading past the buffer. The V4L2 backend on a
// machine that may have no camera: refusing paths that are no capture devices, reading
// kernel uevents, and turning driver size ranges into sizes. Virtual cameras: scan
// records, file edits as hot-plugs, the file's checks, bottom-up RGB32 frames, slow controls.
#include "cameras.h"
#include "frames.h"

#include "capture/capturesystem.h"
#include "capture/designatedmodel.h"
#include "capture/framedecoder.h"
#include "capture/idevicescanner.h"
#include "capture/iwinusbdevice.h"
#include "capture/virtual/testpatterngenerator.h"
#include "capture/virtual/virtualbackend.h"
#include "capture/v4l2/ueventmessage.h"
#include "capture/v4l2/v4l2backend.h"
#include "capture/v4l2/v4l2device.h"
#include "capture/v4l2/v4l2hotplugmonitor.h"
#include "capture/v4l2/v4l2stream.h"

#include <QtTest>

#include <thread>

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
const QByteArray kThree = R"({"cameras": [{"name": "Streaming", "path": "virtual:streaming", "formats": [{"width": 160,
  "height": 120}]}, {"name": "Idle", "path": "virtual:idle"}, {"name": "Other", "path": "virtual:other"} ]})";
const QByteArray kDesk = R"({ "cameras": [ { "name": "Desk", "path": "virtual:desk",
  "formats": [ {"subtype": "MJPG", "width": 1280, "height": 720}, {"subtype": "YUY2", "width": 320, "height": 240} ] } ] })";
} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(false);
        Cameras::unwatch();
    }

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
        QCOMPARE(spy.at(0), QVariantList({"add", QString("/sys" + kVivid), "/dev/video0"}));
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

    void scanRecords()
    {
        watch(R"({ "cameras": [
            { "name": "USB Camera", "path": "virtual:a", "vid": "1a2b", "pid": "3C4D", "serial": "SN-1" },
            { "name": "Other Camera", "path": "virtual:b" },
            { "name": "USB Camera", "path": "virtual:c", "vid": "1209", "pid": "4C56" } ] })");
        CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(true);
        const QList<ICameraInfo> all = IDeviceScanner::scan();
        QStringList records;
        for (int i = 0; i < all.size(); ++i) {
            QCOMPARE(all[i].nIndex, i);
            if (all[i].strDevicePath.startsWith(QLatin1String("virtual:")))
                records << all[i].strDevicePath + "|" + all[i].strDisplayName + "|" + all[i].strVid + all[i].strPid + all[i].strSerial;
        }
        // Real cameras first, then the built-in virtual one, then the file's in file order.
        // Equal names are numbered in scan order, a name of its own gets #1; ids are
        // upper-case hex, empty when the camera has none.
        const QString designated = QString::fromLatin1(kDesignatedModel.vendorId) + kDesignatedModel.productId;
        QCOMPARE(records, QStringList({"virtual:lumivo|Lumivo Virtual Camera #1|" + designated + "LV0000", "virtual:a|USB Camera #1|1A2B3C4DSN-1",
                                       "virtual:b|Other Camera #1|", "virtual:c|USB Camera #2|" + designated}));
    }

    void fileEditsArePlugsAndUnplugs_data()
    {
        QTest::addColumn<bool>("rename");
        QTest::newRow("written in place") << false;
        QTest::newRow("renamed over") << true;  // the watch must survive each replacement
    }

    void fileEditsArePlugsAndUnplugs()
    {
        QFETCH(bool, rename);
        write(R"({ "cameras": [ { "name": "A" } ] })");
        IWinUsbDevice watcher;
        QSignalSpy spy(&watcher, &IWinUsbDevice::connectionChanged);
        const auto reported = [&](bool plugged, const char* path) {
            return QTest::qWaitFor([&] { return spy.count() == 1; }) && spy.takeFirst() == QVariantList({plugged, QString(path)});
        };
        QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_cameras.path(), nullptr));
        QVERIFY(reported(true, "virtual:A"));
        write(R"({ "cameras": [ { "name": "A" }, { "name": "B" } ] })", rename);
        QVERIFY(reported(true, "virtual:B"));
        QCOMPARE(Cameras::devicePaths(), QStringList({"virtual:A", "virtual:B"}));
        write(R"({ "cameras": [ { "name": "B" } ] })", rename);
        QVERIFY(reported(false, "virtual:A"));
        // A changed description of a camera that stays is no hot-plug.
        write(R"({ "cameras": [ { "name": "B", "busy": true } ] })", rename);
        QTest::qWait(400);
        QCOMPARE(spy.count(), 0);
    }

    void damagedFileWhileStreaming_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cut short") << kThree.left(kThree.size() / 2);
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("two megabytes") << QByteArray("{\"cameras\": [], \"pad\": \"") + QByteArray(2 << 20, 'p') + "\"}";
        QTest::newRow("deleted") << QByteArray();
    }

    // A damaged edit leaves the cameras and the stream as they are; a deleted file unplugs
    // them. Either way the next good file is followed again.
    void damagedFileWhileStreaming()
    {
        QFETCH(QByteArray, bytes);
        watch(kThree);
        QSignalSpy changes(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
        FrameCollector frames;
        TestGraph g;
        QCOMPARE(g.open("virtual:streaming"), S_OK);
        QCOMPARE(g.stream(&frames), S_OK);
        QVERIFY(frames.waitFor(2));
        if (bytes.isNull()) {
            QVERIFY(QFile::remove(m_cameras.path()));
            QTRY_COMPARE(changes.count(), 3);
            QVERIFY(Cameras::devicePaths().isEmpty());
            write(kThree);
            QTRY_COMPARE(changes.count(), 6);
            QCOMPARE(changes.at(3), QVariantList({true, QStringLiteral("virtual:streaming")}));
            return;
        }
        write(bytes);
        QTest::qWait(400);
        QCOMPARE(Cameras::devicePaths(), QStringList({"virtual:streaming", "virtual:idle", "virtual:other"}));
        QCOMPARE(changes.count(), 0);
        QVERIFY(frames.waitFor(frames.count() + 3));
        write(QByteArray(kThree).replace(R"({"name": "Idle", "path": "virtual:idle"},)", ""), true);
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(changes.first(), QVariantList({false, QStringLiteral("virtual:idle")}));
        QVERIFY(frames.waitFor(frames.count() + 3));
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("complaint");
        const auto row = [](const char* name, const char* camera, const char* complaint) {
            QTest::newRow(name) << QByteArray(R"({"cameras": [{"name": "A", )") + camera + "}]}" << complaint;
        };
        QTest::newRow("not json") << QByteArray("cameras: [A]") << "not JSON";
        QTest::newRow("no list") << QByteArray(R"({"cameras": {"name": "A"}})") << "\"cameras\" list";
        QTest::newRow("no name") << QByteArray(R"({"cameras": [{"path": "virtual:x"}]})") << "\"name\"";
        QTest::newRow("same path twice") << QByteArray(R"({"cameras": [{"name": "A"}, {"name": "B", "path": "virtual:A"}]})") << "twice";
        row("absurd width", R"("formats": [{"width": 100000, "height": 480}])", "\"width\"");
        row("odd YUY2", R"("formats": [{"subtype": "YUY2", "width": 641, "height": 480}])", "even");
        row("unknown subtype", R"("formats": [{"subtype": "H264", "width": 640, "height": 480}])", "\"subtype\"");
        row("current not offered", R"("current": {"width": 800, "height": 600})", "\"current\"");
        row("bad refuse", R"("refuse": ["big"])", "\"refuse\"");
        row("unknown control", R"("controls": {"zoom": {}})", "\"zoom\"");
        row("min above max", R"("controls": {"focus": {"min": 10, "max": 0}})", "\"min\"");
        row("zero step", R"("controls": {"focus": {"step": 0}})", "\"step\"");
        row("positive openError", R"("openError": 5)", "\"openError\"");
        row("bad vid", R"("vid": "12345")", "\"vid\"");
        row("extra control of the seven", R"("extraControls": [{"id": 9963776, "name": "B"}])", "not one of the seven");
        row("extra control of no type", R"("extraControls": [{"id": 1, "name": "X", "type": "float"}])", "\"type\"");
        row("menu without items", R"("extraControls": [{"id": 1, "name": "M", "type": "menu"}])", "\"items\"");
        row("extra value outside", R"("extraControls": [{"id": 1, "name": "I", "max": 5, "value": 6}])", "min..max");
        row("extra id twice", R"("extraControls": [{"id": 1, "name": "I"}, {"id": 1, "name": "J"}])", "twice");
        row("negative latency", R"("controlLatencyMs": -1)", "\"controlLatencyMs\"");
    }

    // Refused with a message naming the fault, and loaded as the watched file it adds no camera.
    void badFiles()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, complaint);
        write(json);
        QString error;
        QVERIFY(!CaptureSystem::instance()->virtualBackend()->watchFile(m_cameras.path(), &error));
        QVERIFY2(error.contains(complaint), qPrintable(error));
        QVERIFY(Cameras::devicePaths().isEmpty());
    }

    void framesAreBottomUpRgb32_data()
    {
        QTest::addColumn<Subtype>("subtype");
        QTest::addColumn<QSize>("size");
        QTest::newRow("MJPG") << MEDIASUBTYPE_MJPG << QSize(1280, 720);
        QTest::newRow("YUY2") << MEDIASUBTYPE_YUY2 << QSize(320, 240);
    }

    void framesAreBottomUpRgb32()
    {
        QFETCH(Subtype, subtype);
        QFETCH(QSize, size);
        watch(kDesk);
        FrameCollector frames;
        TestGraph g;
        QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
        QCOMPARE(g.setFormat(subtype, size.width(), size.height()), S_OK);
        QCOMPARE(g.stream(&frames), S_OK);
        QVERIFY(frames.waitFor(2));
        QCOMPARE(g.control->Stop(), S_OK);
        const QImage picture = uprightImage(frames.last(), size.width(), size.height());
        QVERIFY(!picture.isNull());
        for (int i = 0; i < 8; ++i) {
            const QRgb got = picture.pixel((2 * i + 1) * size.width() / 16, size.height() / 3);
            QVERIFY2(colourDistance(got, capture::TestPatternGenerator::barColor(i)) <= 16 && qAlpha(got) == 255, qPrintable(QString::number(got, 16)));
        }
        // The dark band is at the bottom of the picture (the first rows of the buffer).
        QVERIFY(colourDistance(picture.pixel(size.width() - 2, size.height() * 2 / 3 + 2), qRgb(32, 32, 32)) <= 16);
    }

    // A camera replays a loop of encoded frames; each must hold its JPEG, not the encoder's
    // worst-case buffer (at 4K that is 16 MB per frame of the loop).
    void encodedJpegKeepsOnlyItsOwnBytes()
    {
        capture::TestPatternGenerator generator;
        const QImage picture = generator.render(QStringLiteral("cam"), capture::VirtualControls(), 0, 30, 1280, 720);
        std::vector<std::uint8_t> jpeg;
        QVERIFY(generator.encode(picture, MEDIASUBTYPE_MJPG, jpeg));
        QVERIFY2(jpeg.capacity() < std::size_t(1280) * 720 / 4, qPrintable(QString::number(jpeg.capacity())));
        QCOMPARE(QImage::fromData(jpeg.data(), int(jpeg.size()), "JPG").size(), QSize(1280, 720));
    }

    // Stop from another thread waits for a callback in flight and no callback follows it;
    // a cleared callback is never called again, so its object may go.
    void stopAndClearWaitForTheCallback()
    {
        watch(kDesk);
        FrameCollector more;
        TestGraph g;
        QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
        auto frames = std::make_unique<FrameCollector>();
        frames->sleepMs = 30;  // callbacks take long, so Stop and SetCallback meet one in progress
        QCOMPARE(g.stream(frames.get()), S_OK);
        QVERIFY(frames->waitFor(2));
        bool inCallbackAfterStop = true;
        int countAtStop = 0;
        std::thread([&] {
            g.control->Stop();
            inCallbackAfterStop = frames->inCallback;
            countAtStop = frames->count();
        }).join();
        QVERIFY(!inCallbackAfterStop);
        QTest::qWait(150);
        QCOMPARE(frames->count(), countAtStop);
        QCOMPARE(g.control->Run(), S_OK);
        QVERIFY(frames->waitFor(countAtStop + 2));
        QCOMPARE(g.grabber->SetCallback(nullptr, 1), S_OK);
        QVERIFY(!frames->inCallback);
        frames.reset();  // the stream goes on without it
        QTest::qWait(100);
        g.grabber->SetCallback(&more, 1);
        QVERIFY(more.waitFor(1));
    }

    // A slow camera answers each control read and write after its latency, one request at a time.
    void controlLatencyIsHonoured()
    {
        watch(R"({"cameras": [{"name": "Slow", "path": "virtual:slow", "controlLatencyMs": 40, "controls": {"brightness": {}}}]})");
        std::shared_ptr<CaptureDevice> device;
        QCOMPARE(CaptureSystem::instance()->open(QStringLiteral("virtual:slow"), device), S_OK);
        QElapsedTimer clock;
        clock.start();
        DeviceControl c;
        std::thread other([&] { device->setControl(V4L2_CID_BRIGHTNESS, 5); });
        QCOMPARE(device->control(V4L2_CID_BRIGHTNESS, c), S_OK);
        other.join();
        QVERIFY2(clock.elapsed() >= 80, "two requests answered at once");
        QCOMPARE(device->control(V4L2_CID_BRIGHTNESS, c), S_OK);
        QVERIFY2(clock.elapsed() >= 120 && c.value == 5, "a read answered early");
    }

private:
    void write(const QByteArray& json, bool rename = false) { QVERIFY(m_cameras.writeRaw(json, rename ? Cameras::Renamed : Cameras::InPlace)); }
    void watch(const QByteArray& json)
    {
        QVERIFY(m_cameras.writeRaw(json, Cameras::InPlace, true));
        QTest::qWait(400);
    }
    Cameras m_cameras;
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
