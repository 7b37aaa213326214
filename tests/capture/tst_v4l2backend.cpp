// The V4L2 backend on a machine that may have no camera: refusing paths that are no
// capture devices, reading kernel uevents, and turning driver size ranges into sizes.

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

class TestV4l2Backend : public QObject
{
    Q_OBJECT
private slots:
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
        QCOMPARE(m.isValid(), !parsed.isEmpty());
        if (m.isValid())
            QCOMPARE(m.action() + " " + m.sysPath() + " " + m.devName(), parsed);
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

QTEST_GUILESS_MAIN(TestV4l2Backend)
#include "tst_v4l2backend.moc"
