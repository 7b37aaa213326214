// The V4L2 backend on a machine that may have no camera: scanning, refusing paths
// that are no capture devices, and reading kernel uevents.

#include "capture/v4l2/ueventmessage.h"
#include "capture/v4l2/v4l2backend.h"
#include "capture/v4l2/v4l2device.h"
#include "capture/v4l2/v4l2hotplugmonitor.h"
#include "capture/v4l2/v4l2stream.h"

#include <QSignalSpy>
#include <QtTest>

#include <linux/videodev2.h>

using namespace capture;

namespace {
QByteArray uevent(const char* header, std::initializer_list<const char*> pairs)
{
    QByteArray msg(header);
    msg.append('\0');
    for (const char* p : pairs) {
        msg.append(p);
        msg.append('\0');
    }
    return msg;
}

const char kVividPath[] = "/devices/platform/vivid.0/video4linux/video0";
} // namespace

class TestV4l2Backend : public QObject
{
    Q_OBJECT
private slots:
    void scanListsOnlyUsableCaptureNodes();
    void openRefusesWhatIsNoCaptureDevice_data();
    void openRefusesWhatIsNoCaptureDevice();
    void deviceOpenRefusesNonVideoNodes();
    void parsesKernelUevents();
    void rejectsMalformedUevents_data();
    void rejectsMalformedUevents();
    void monitorPassesOnlyVideo4linuxEvents();
    void backendReportsOnlyKnownCaptureNodes();
    void pixelFormatsMapToDecodableSubtypes();
    void rangesBecomeCommonSizes();
    void shortRawFramesAreMeasured();
};

void TestV4l2Backend::scanListsOnlyUsableCaptureNodes()
{
    V4l2Backend backend;
    const auto devices = backend.enumerate();
    // Whatever this machine has: every entry must be a described capture node that opens.
    for (const DeviceDescriptor& d : devices) {
        QVERIFY2(d.devicePath.startsWith("/sys/"), qPrintable(d.devicePath));
        QVERIFY(d.devicePath.contains("/video4linux/video"));
        QVERIFY(!d.friendlyName.isEmpty());
        QCOMPARE(d.vendorId, d.vendorId.toUpper());
    }
    QCOMPARE(backend.enumerate().size(), devices.size());  // stable across scans
    QVERIFY(backend.monitor()->source() != V4l2HotplugMonitor::Source::None);
}

void TestV4l2Backend::openRefusesWhatIsNoCaptureDevice_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("empty") << QString();
    QTest::newRow("not under /sys") << QStringLiteral("/dev/video0");
    QTest::newRow("missing") << QStringLiteral("/sys/devices/platform/vivid.9/video4linux/video42");
    QTest::newRow("escapes /sys") << QStringLiteral("/sys/../dev/null");
    QTest::newRow("other subsystem") << QStringLiteral("/sys/devices/virtual/mem/null");
    QTest::newRow("virtual camera path") << QStringLiteral("virtual:desk");
}

void TestV4l2Backend::openRefusesWhatIsNoCaptureDevice()
{
    QFETCH(QString, path);
    V4l2Backend backend;
    std::shared_ptr<CaptureDevice> device;
    const HRESULT h = backend.open(path, device);
    QVERIFY2(dshow::FAILED(h), qPrintable(QString::number(quint32(h), 16)));
    QVERIFY(!device);
}

void TestV4l2Backend::deviceOpenRefusesNonVideoNodes()
{
    std::shared_ptr<CaptureDevice> device;
    DeviceDescriptor d;
    QCOMPARE(V4l2Device::open("/dev/null", d, device), dshow::VFW_E_NOT_FOUND);  // opens, but QUERYCAP fails
    QVERIFY(!device);
    QCOMPARE(V4l2Device::open(QString(), d, device), dshow::VFW_E_NOT_FOUND);
    QCOMPARE(V4l2Device::open("/nonexistent/video0", d, device), dshow::VFW_E_NOT_FOUND);
    QVERIFY(!device);
}

void TestV4l2Backend::parsesKernelUevents()
{
    const UeventMessage add = UeventMessage::parse(uevent(
        "add@/devices/platform/vivid.0/video4linux/video0",
        {"ACTION=add", "DEVPATH=/devices/platform/vivid.0/video4linux/video0", "SUBSYSTEM=video4linux", "MAJOR=81",
         "MINOR=0", "DEVNAME=video0", "SEQNUM=2113"}));
    QVERIFY(add.isValid());
    QCOMPARE(add.action(), QString("add"));
    QCOMPARE(add.devPath(), QString(kVividPath));
    QCOMPARE(add.sysPath(), QString("/sys") + kVividPath);
    QCOMPARE(add.subsystem(), QString("video4linux"));
    QCOMPARE(add.devName(), QString("video0"));
    QCOMPARE(add.value("SEQNUM"), QString("2113"));

    // A UVC camera's removal: a long USB path, no DEVNAME needed.
    const char* usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/video4linux/video2";
    const QByteArray removeHeader = QByteArray("remove@") + usb;
    const QByteArray devpath = QByteArray("DEVPATH=") + usb;
    const UeventMessage remove = UeventMessage::parse(
        uevent(removeHeader.constData(), {"ACTION=remove", devpath.constData(), "SUBSYSTEM=video4linux", "SEQNUM=7"}));
    QVERIFY(remove.isValid());
    QCOMPARE(remove.action(), QString("remove"));
    QCOMPARE(remove.sysPath(), QString("/sys") + usb);
    QVERIFY(remove.devName().isEmpty());

    // bind events have no SUBSYSTEM of ours but still parse.
    const UeventMessage bind = UeventMessage::parse(
        uevent("bind@/devices/platform/vivid.0", {"ACTION=bind", "DEVPATH=/devices/platform/vivid.0", "SUBSYSTEM=platform",
                                                  "DRIVER=vivid", "MODALIAS=platform:vivid", "SEQNUM=9"}));
    QVERIFY(bind.isValid());
    QCOMPARE(bind.subsystem(), QString("platform"));
    QCOMPARE(bind.value("DRIVER"), QString("vivid"));
}

void TestV4l2Backend::rejectsMalformedUevents_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no header") << uevent("ACTION=add", {"SUBSYSTEM=video4linux"});
    QByteArray libudev("libudev");
    libudev.append('\0');
    libudev.append("\xfe\xed\xca\xfe\x28\x00\x00\x00", 8);
    libudev.append("ACTION=add");
    QTest::newRow("udev rebroadcast") << libudev;
    QTest::newRow("relative path") << uevent("add@devices/x", {"ACTION=add", "DEVPATH=devices/x"});
    QTest::newRow("header and body disagree")
        << uevent("add@/devices/a/video4linux/video0", {"ACTION=remove", "DEVPATH=/devices/a/video4linux/video0"});
    QTest::newRow("paths disagree")
        << uevent("add@/devices/a/video4linux/video0", {"ACTION=add", "DEVPATH=/devices/b/video4linux/video0"});
    QTest::newRow("climbs out of /sys")
        << uevent("add@/devices/../../dev/video0", {"ACTION=add", "DEVPATH=/devices/../../dev/video0"});
    QTest::newRow("empty action") << uevent("@/devices/a", {"DEVPATH=/devices/a"});
}

void TestV4l2Backend::rejectsMalformedUevents()
{
    QFETCH(QByteArray, datagram);
    QVERIFY(!UeventMessage::parse(datagram).isValid());
}

void TestV4l2Backend::monitorPassesOnlyVideo4linuxEvents()
{
    V4l2HotplugMonitor monitor;
    QSignalSpy spy(&monitor, &V4l2HotplugMonitor::deviceEvent);
    monitor.handleKernelMessage(uevent("add@/devices/platform/vivid.0/video4linux/video0",
                                       {"ACTION=add", "DEVPATH=/devices/platform/vivid.0/video4linux/video0",
                                        "SUBSYSTEM=video4linux", "DEVNAME=video0"}));
    monitor.handleKernelMessage(uevent("add@/devices/virtual/block/loop0",
                                       {"ACTION=add", "DEVPATH=/devices/virtual/block/loop0", "SUBSYSTEM=block", "DEVNAME=loop0"}));
    monitor.handleKernelMessage(uevent("add@/devices/x/video4linux/video9",
                                       {"ACTION=add", "DEVPATH=/devices/x/video4linux/video9", "SUBSYSTEM=video4linux",
                                        "DEVNAME=../etc/passwd"}));
    monitor.handleKernelMessage(QByteArray("garbage"));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toString(), QString("add"));
    QCOMPARE(spy.at(0).at(1).toString(), QString("/sys") + kVividPath);
    QCOMPARE(spy.at(0).at(2).toString(), QString("/dev/video0"));
    QCOMPARE(spy.at(1).at(2).toString(), QString());  // a DEVNAME leaving /dev is not used
}

void TestV4l2Backend::backendReportsOnlyKnownCaptureNodes()
{
    V4l2Backend backend;
    QSignalSpy spy(&backend, &CaptureBackend::deviceChanged);
    // A node that is not there (or a metadata node) is no camera arriving; the removal
    // of a node never known as a capture node is not reported either.
    backend.monitor()->handleKernelMessage(uevent("add@/devices/platform/vivid.7/video4linux/video77",
                                                  {"ACTION=add", "DEVPATH=/devices/platform/vivid.7/video4linux/video77",
                                                   "SUBSYSTEM=video4linux", "DEVNAME=video77"}));
    backend.monitor()->handleKernelMessage(uevent("remove@/devices/platform/vivid.7/video4linux/video77",
                                                  {"ACTION=remove", "DEVPATH=/devices/platform/vivid.7/video4linux/video77",
                                                   "SUBSYSTEM=video4linux", "DEVNAME=video77"}));
    QCOMPARE(spy.count(), 0);
}

void TestV4l2Backend::pixelFormatsMapToDecodableSubtypes()
{
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_MJPEG), dshow::MEDIASUBTYPE_MJPG);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_JPEG), dshow::MEDIASUBTYPE_MJPG);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_YUYV), dshow::MEDIASUBTYPE_YUY2);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_UYVY), dshow::MEDIASUBTYPE_UYVY);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_NV12), dshow::MEDIASUBTYPE_NV12);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_NV21), dshow::MEDIASUBTYPE_NV21);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_YUV420), dshow::MEDIASUBTYPE_I420);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_YVU420), dshow::MEDIASUBTYPE_YV12);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_RGB24), dshow::MEDIASUBTYPE_RGB24);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_BGR24), dshow::MEDIASUBTYPE_BGR24);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_H264), dshow::MEDIASUBTYPE_None);
    QCOMPARE(V4l2Device::subtypeForPixelFormat(V4L2_PIX_FMT_YUV422P), dshow::MEDIASUBTYPE_None);
}

void TestV4l2Backend::rangesBecomeCommonSizes()
{
    // A continuous range: every common size inside, none outside.
    auto sizes = V4l2Device::sizesInRange(320, 1920, 1, 180, 1080, 1);
    QVERIFY(std::count(sizes.begin(), sizes.end(), std::make_pair(640, 480)) == 1);
    QVERIFY(std::count(sizes.begin(), sizes.end(), std::make_pair(1920, 1080)) == 1);
    for (const auto& s : sizes) {
        QVERIFY(s.first >= 320 && s.first <= 1920);
        QVERIFY(s.second >= 180 && s.second <= 1080);
    }
    QVERIFY(std::count(sizes.begin(), sizes.end(), std::make_pair(3840, 2160)) == 0);

    // Steps: only sizes the driver can reach (width step 64 from 256: 352 is not one).
    sizes = V4l2Device::sizesInRange(256, 1280, 64, 144, 720, 8);
    QVERIFY(std::count(sizes.begin(), sizes.end(), std::make_pair(352, 288)) == 0);
    QVERIFY(std::count(sizes.begin(), sizes.end(), std::make_pair(640, 480)) == 1);
    for (const auto& s : sizes) {
        QCOMPARE((s.first - 256) % 64, 0);
        QCOMPARE((s.second - 144) % 8, 0);
    }

    // A range that holds no common size still offers its ends.
    sizes = V4l2Device::sizesInRange(100, 110, 10, 50, 60, 10);
    QCOMPARE(sizes, (std::vector<std::pair<int, int>>{{100, 50}, {110, 60}}));
    QVERIFY(V4l2Device::sizesInRange(0, 0, 0, 0, 0, 0).empty());
    QVERIFY(V4l2Device::sizesInRange(640, 320, 1, 480, 240, 1).empty());
}

void TestV4l2Backend::shortRawFramesAreMeasured()
{
    QCOMPARE(V4l2Stream::minimumFrameBytes(V4L2_PIX_FMT_YUYV, 640, 180), std::size_t(640 * 180));
    QCOMPARE(V4l2Stream::minimumFrameBytes(V4L2_PIX_FMT_NV12, 320, 180), std::size_t(320 * 180 * 3 / 2));
    QCOMPARE(V4l2Stream::minimumFrameBytes(V4L2_PIX_FMT_YUV420, 320, 181), std::size_t(320 * 181 + 2 * 160 * 91));
    QCOMPARE(V4l2Stream::minimumFrameBytes(V4L2_PIX_FMT_MJPEG, 0, 720), std::size_t(0));
    QCOMPARE(V4l2Stream::minimumFrameBytes(V4L2_PIX_FMT_YUYV, -4, 720), std::size_t(0));
}

QTEST_GUILESS_MAIN(TestV4l2Backend)
#include "tst_v4l2backend.moc"
