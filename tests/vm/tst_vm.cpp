// What only the kernel's vivid driver shows, run as root inside the test VM
// (scripts/vm/run-vm-tests.sh) since it unbinds the driver. The runner's udev pass
// (LUMIVO_VM_UDEV=1) repeats only the scan and the hot-plug test.

#include "camera/icamera.h"
#include "capture/v4l2/v4l2backend.h"
#include "capture/v4l2/v4l2hotplugmonitor.h"
#include "capture/idevicescanner.h"
#include "capture/iwinusbdevice.h"
#include "frames.h"
#include "logcapture.h"

#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace capture;

namespace {

const QString kVividPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video0");
const QString kMetaPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video1");

// Bypasses the backend on purpose: what the driver holds now.
long brightnessAtTheDriver()
{
    const int fd = ::open("/dev/video0", O_RDWR | O_NONBLOCK);
    v4l2_control c{V4L2_CID_BRIGHTNESS, 0};
    const long value = fd >= 0 && ::ioctl(fd, VIDIOC_G_CTRL, &c) == 0 ? c.value : -1000000;
    if (fd >= 0)
        ::close(fd);
    return value;
}

// vivid's 75% colour bars, left to right.
const QRgb kBars[] = {qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                      qRgb(191, 0, 191),   qRgb(191, 0, 0),   qRgb(0, 0, 191),   qRgb(0, 0, 0)};

// Pixels off the bars in the given rows of an upright picture; vivid's text sits at the top.
int offBars(const QImage& picture, int fromRow, int toRow)
{
    const int barWidth = picture.width() / 8;
    int n = 0;
    for (int y = fromRow; y < toRow; ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (x % barWidth >= 4 && x % barWidth < barWidth - 4)  // edges blend through chroma subsampling
                n += colourDistance(picture.pixel(x, y), kBars[x / barWidth]) > 40;
    return n;
}

ICameraInfo vivid(QSize size)
{
    ICameraInfo info;
    info.strDevicePath = kVividPath;
    info.resolution.size = info.resolution.captureSize = size;
    return info;
}

} // namespace

class TestVm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { ICamera::instance()->closeCamera(); }
    void scanListsVividOnly();
    void refusalsAndDriverErrors();
    void facadeShowsUprightBarsAndSetsControls();
    void unplugMidStreamAndReplug();

private:
    std::unique_ptr<CaptureBackend> m_backend;
};

void TestVm::initTestCase()
{
    if (qgetenv("LUMIVO_VM") != "1")
        QSKIP("runs only inside the test VM (scripts/vm/run-vm-tests.sh)");
    QVERIFY2(QFile::exists(kVividPath) && QFile::exists(kMetaPath), "vivid is not loaded with a metadata node (node_types)");
    registerCameraMetaTypes();
    m_backend = createV4l2Backend();
    QVERIFY(m_backend);
}

void TestVm::init()
{
    const QByteArray name = QTest::currentTestFunction();
    if (qgetenv("LUMIVO_VM_UDEV") == "1" && name != "scanListsVividOnly" && name != "unplugMidStreamAndReplug")
        QSKIP("the udev pass repeats only the scan and the hot-plug test");
}

void TestVm::scanListsVividOnly()
{
    const auto devices = m_backend->enumerate();
    QCOMPARE(int(devices.size()), 1);  // the metadata node is no camera
    QCOMPARE(devices[0].devicePath, kVividPath);
    std::shared_ptr<CaptureDevice> meta;
    QVERIFY(dshow::FAILED(m_backend->open(kMetaPath, meta)));
    const QList<ICameraInfo> cameras = IDeviceScanner::scan();
    QCOMPARE(cameras.size(), 1);
    QCOMPARE(cameras[0].strDisplayName + " " + cameras[0].strDevicePath, "vivid #1 " + kVividPath);
}

void TestVm::refusalsAndDriverErrors()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    // vivid's webcam has a fixed size list: a size in between would be changed, so it is refused.
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 500, 300)));
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_MJPG, 320, 180)));
    FormatDescriptor cur;
    QCOMPARE(device->currentFormat(cur), dshow::S_OK);  // a refusal leaves the format as it was
    QVERIFY(cur.subtype == dshow::MEDIASUBTYPE_YUY2 && cur.width == 320 && cur.height == 180);
    std::vector<dshow::DeviceControl> all;
    QCOMPARE(device->controls(all), dshow::S_OK);
    const auto idOf = [&](const char* name) {
        const auto it = std::find_if(all.begin(), all.end(), [&](const dshow::DeviceControl& c) { return c.name == name; });
        return it == all.end() ? quint32(0) : it->id;
    };
    const quint32 corrupt = idOf("Inject V4L2_BUF_FLAG_ERROR"), fatal = idOf("Inject Fatal Streaming Error");
    const quint32 reqbufs = idOf("Inject VIDIOC_REQBUFS Error"), streamon = idOf("Inject VIDIOC_STREAMON Error");
    QVERIFY(corrupt && fatal && reqbufs && streamon);
    // A start the driver fails at any step reports failure and leaves the device usable.
    for (quint32 inject : {reqbufs, streamon}) {
        QCOMPARE(device->setControl(inject, 0), dshow::S_OK);
        QVERIFY(dshow::FAILED(device->start([](const RawFrame&) {})));
        QVERIFY(!device->isStreaming());
    }
    // A buffer the driver marks as corrupt is dropped; the stream goes on.
    LogCapture log;
    std::atomic<int> caught{0};
    const auto waitFor = [&](int n) { return QTest::qWaitFor([&] { return caught >= n; }, 20000); };
    QCOMPARE(device->start([&](const RawFrame&) { ++caught; }), dshow::S_OK);
    QVERIFY(waitFor(3));
    QCOMPARE(device->setControl(corrupt, 0), dshow::S_OK);
    QVERIFY(waitFor(caught + 5));
    QVERIFY(log.contains("V4L2: dropping a frame the driver marked corrupt"));
    QVERIFY(device->isStreaming());
    // A fatal queue error ends the stream by itself; a new start works, and a stop from
    // inside the sink does not wait for itself.
    QCOMPARE(device->setControl(fatal, 0), dshow::S_OK);
    QVERIFY2(QTest::qWaitFor([&] { return !device->isStreaming(); }, 10000), "the stream did not end on a fatal error");
    QCOMPARE(device->stop(), dshow::S_OK);
    std::atomic<int> frames{0};
    QCOMPARE(device->start([&](const RawFrame&) { if (++frames == 3) device->stop(); }), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return !device->isStreaming(); }, 20000));
    QCOMPARE(int(frames), 3);
}

// The whole path the program uses on YUYV: facade, graph, decode, upright copy; and
// controls that reach the driver or are refused by it.
void TestVm::facadeShowsUprightBarsAndSetsControls()
{
    ICamera* facade = ICamera::instance();
    QSignalSpy results(facade, &ICamera::sgResult);
    QSignalSpy frames(facade, &ICamera::sgPreviewImage);
    facade->openCamera(vivid(QSize(640, 360)), false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 20000);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 20000);
    const QImage picture = frames.last().at(0).value<QImage>();
    QCOMPARE(picture.size(), QSize(640, 360));
    // Upright: the text overlay is in the top rows, the bottom rows are clean bars.
    const int top = offBars(picture, 0, 60), bottom = offBars(picture, 300, 360);
    QVERIFY2(top > 1000 && bottom < 100, qPrintable(QString("off the bars: top %1, bottom %2").arg(top).arg(bottom)));
    QVERIFY(facade->setBrightness(200));
    QCOMPARE(brightnessAtTheDriver(), 200L);
    QVERIFY(!facade->setBrightness(100000));  // out of range
    QCOMPARE(brightnessAtTheDriver(), 200L);
    QVERIFY(!facade->setFocus(10));  // vivid has no focus
}

// Unplugged while streaming and plugged in again: monitor and watcher each report the
// webcam node once, the stream ends, closing is prompt, and the camera opens again.
void TestVm::unplugMidStreamAndReplug()
{
    const bool udev = qgetenv("LUMIVO_VM_UDEV") == "1";
    QCOMPARE(static_cast<V4l2Backend*>(m_backend.get())->monitor()->source(),
             udev ? V4l2HotplugMonitor::Source::Udev : V4l2HotplugMonitor::Source::Kernel);
    IWinUsbDevice watcher;
    QSignalSpy watched(&watcher, &IWinUsbDevice::connectionChanged);
    QSignalSpy backend(m_backend.get(), &CaptureBackend::deviceChanged);
    ICamera* facade = ICamera::instance();
    QSignalSpy results(facade, &ICamera::sgResult);
    QSignalSpy frames(facade, &ICamera::sgPreviewImage);
    facade->openCamera(vivid(QSize(320, 180)), false);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 2, 20000);
    // Unbinds or binds the driver; both event sources report exactly the webcam node.
    const auto plug = [&](bool in) {
        watched.clear();
        backend.clear();
        QFile f(in ? "/sys/bus/platform/drivers/vivid/bind" : "/sys/bus/platform/drivers/vivid/unbind");
        return f.open(QIODevice::WriteOnly) && f.write("vivid.0") == 7 && f.flush()
            && QTest::qWaitFor([&] { return watched.count() >= 1 && backend.count() >= 1; }, 10000)
            && (QTest::qWait(500), watched == QList<QVariantList>({{in, kVividPath}}) && backend == watched);
    };
    QVERIFY(plug(false));
    const int after = frames.count();
    QTest::qWait(300);
    QCOMPARE(frames.count(), after);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(facade->closeCamera());
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(IDeviceScanner::scan().isEmpty());
    QVERIFY(plug(true));
    QCOMPARE(IDeviceScanner::scan().size(), 1);
    facade->openCamera(vivid(QSize(320, 180)), false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 2, 20000);
    QCOMPARE(results.at(1).at(0).value<IResult>(), Success);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() > after, 20000);
}

QTEST_MAIN(TestVm)
#include "tst_vm.moc"
