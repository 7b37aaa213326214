// The V4L2 backend, the scan, the hot-plug watcher and the camera facade against the
// kernel's vivid driver (one webcam node plus a metadata node), run as root inside the
// test VM (scripts/vm/run-vm-tests.sh). Refuses to run elsewhere, since it unbinds the
// driver. In the runner's udev pass (LUMIVO_VM_UDEV=1) only the scan and the hot-plug
// test run again, against the udev monitor.

#include "camera/icamera.h"
#include "camera/platform/v4l2/v4l2backend.h"
#include "camera/platform/v4l2/v4l2hotplugmonitor.h"
#include "device/idevicescanner.h"
#include "device/iwinusbdevice.h"
#include "frames.h"
#include "logcapture.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace capture;

namespace {

const QString kVividPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video0");
const QString kMetaPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video1");

struct FrameCatcher
{
    std::atomic<int> count{0};
    FrameSink sink() { return [this](const RawFrame&) { ++count; }; }
    bool waitFor(int n) { return QTest::qWaitFor([&] { return count >= n; }, 20000); }
};

bool writeSysfs(const char* file, const QByteArray& text)
{
    QFile f(QString::fromLatin1(file));
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// Bypasses the backend on purpose: what the driver holds now.
long readControlDirectly(quint32 id)
{
    const int fd = ::open("/dev/video0", O_RDWR | O_NONBLOCK);
    v4l2_control c{id, 0};
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

} // namespace

class TestVm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { ICamera::instance()->closeCamera(); }
    void scanListsVividOnly();
    void formatsAndRefusals();
    void streamingStopAndBusy();
    void controlsReachTheDriver();
    void driverErrorsAreSurvived();
    void facadeShowsUprightBars();
    void unplugMidStreamAndReplug();

private:
    std::unique_ptr<CaptureBackend> m_backend;
};

void TestVm::initTestCase()
{
    if (qgetenv("LUMIVO_VM") != "1")
        QSKIP("runs only inside the test VM (scripts/vm/run-vm-tests.sh)");
    QVERIFY2(QFile::exists(kVividPath), "vivid is not loaded");
    QVERIFY2(QFile::exists(kMetaPath), "vivid has no metadata capture node (node_types)");
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
    QVERIFY(devices[0].vendorId.isEmpty() && devices[0].serial.isEmpty());  // no USB parent
    std::shared_ptr<CaptureDevice> meta;
    QVERIFY(dshow::FAILED(m_backend->open(kMetaPath, meta)));
    const QList<ICameraInfo> cameras = IDeviceScanner::scan();
    QCOMPARE(cameras.size(), 1);
    QCOMPARE(cameras[0].strDisplayName + " " + cameras[0].strDevicePath, "vivid #1 " + kVividPath);
}

void TestVm::formatsAndRefusals()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    const auto formats = device->formats();
    const auto has = [&](Subtype s, int w, int h) {
        return std::any_of(formats.begin(), formats.end(), [&](const FormatDescriptor& f) {
            return f.subtype == s && f.width == w && f.height == h && f.fps > 0;
        });
    };
    QVERIFY(has(dshow::MEDIASUBTYPE_YUY2, 320, 180) && has(dshow::MEDIASUBTYPE_YUY2, 3840, 2160));
    QVERIFY(has(dshow::MEDIASUBTYPE_NV12, 640, 360) && has(dshow::MEDIASUBTYPE_UYVY, 320, 180));
    QVERIFY(!has(dshow::MEDIASUBTYPE_MJPG, 320, 180));
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    // vivid's webcam has a fixed size list: a size in between would be changed, so it is refused.
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 500, 300)));
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_MJPG, 320, 180)));
    FormatDescriptor cur;
    QCOMPARE(device->currentFormat(cur), dshow::S_OK);  // a refusal leaves the format as it was
    QVERIFY(cur.subtype == dshow::MEDIASUBTYPE_YUY2 && cur.width == 320 && cur.height == 180);
}

void TestVm::streamingStopAndBusy()
{
    std::shared_ptr<CaptureDevice> device, second;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(m_backend->open(kVividPath, second), dshow::S_OK);  // opening alone is allowed
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    std::atomic<int> frames{0};
    CaptureDevice* raw = device.get();
    QCOMPARE(device->start([&](const RawFrame& f) {
        if (f.bytesPerLine == 640 && f.size >= 640 * 180 && ++frames == 3)
            raw->stop();  // must not wait for itself
    }), dshow::S_OK);
    QCOMPARE(second->start([](const RawFrame&) {}), dshow::E_DEVICE_BUSY);
    QCOMPARE(second->setFormat(dshow::MEDIASUBTYPE_YUY2, 640, 360), dshow::E_DEVICE_BUSY);
    QVERIFY(QTest::qWaitFor([&] { return !device->isStreaming(); }, 20000));
    QCOMPARE(int(frames), 3);  // no callback once stopped
    QCOMPARE(device->stop(), dshow::S_OK);
    // Once the first has let go, the second may stream.
    FrameCatcher other;
    QCOMPARE(second->start(other.sink()), dshow::S_OK);
    QVERIFY(other.waitFor(2));
    QCOMPARE(second->stop(), dshow::S_OK);
}

void TestVm::controlsReachTheDriver()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    PropertyRange range;
    for (Property missing : {Property::Exposure, Property::Focus, Property::WhiteBalance, Property::Sharpness})
        QCOMPARE(device->getRange(missing, range), dshow::E_PROP_ID_UNSUPPORTED);
    QCOMPARE(device->getRange(Property::Brightness, range), dshow::S_OK);
    QCOMPARE(range.capsFlags, 2L);  // manual only
    const long target = range.min + (range.max - range.min) * 3 / 4;
    QCOMPARE(device->set(Property::Brightness, target, 2), dshow::S_OK);
    QCOMPARE(readControlDirectly(V4L2_CID_BRIGHTNESS), target);
    QVERIFY(dshow::FAILED(device->set(Property::Brightness, 0, 1)));  // no automatic brightness
    QVERIFY(dshow::FAILED(device->set(Property::Brightness, range.max + 1000, 2)));
    QCOMPARE(readControlDirectly(V4L2_CID_BRIGHTNESS), target);
    QCOMPARE(device->set(Property::Brightness, range.defaultValue, 2), dshow::S_OK);
    QCOMPARE(device->getRange(Property::Contrast, range), dshow::S_OK);
    QCOMPARE(device->setControl(V4L2_CID_CONTRAST, range.min + 1), dshow::S_OK);  // the controls dialog's path
    QCOMPARE(readControlDirectly(V4L2_CID_CONTRAST), range.min + 1);
    QCOMPARE(device->setControl(V4L2_CID_CONTRAST, range.defaultValue), dshow::S_OK);
}

void TestVm::driverErrorsAreSurvived()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
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
    FrameCatcher catcher;
    QCOMPARE(device->start(catcher.sink()), dshow::S_OK);
    QVERIFY(catcher.waitFor(3));
    QCOMPARE(device->setControl(corrupt, 0), dshow::S_OK);
    QVERIFY(catcher.waitFor(catcher.count + 5));
    QVERIFY(log.contains("V4L2: dropping a frame the driver marked corrupt"));
    QVERIFY(device->isStreaming());
    // A fatal queue error ends the stream by itself; a new start works.
    QCOMPARE(device->setControl(fatal, 0), dshow::S_OK);
    QVERIFY2(QTest::qWaitFor([&] { return !device->isStreaming(); }, 10000), "the stream did not end on a fatal error");
    QCOMPARE(device->stop(), dshow::S_OK);
    FrameCatcher again;
    QCOMPARE(device->start(again.sink()), dshow::S_OK);
    QVERIFY(again.waitFor(3));
    QCOMPARE(device->stop(), dshow::S_OK);
}

// The whole path the program uses: facade, graph, YUYV decode, upright copy.
void TestVm::facadeShowsUprightBars()
{
    ICamera* facade = ICamera::instance();
    QSignalSpy results(facade, &ICamera::sgResult);
    QSignalSpy frames(facade, &ICamera::sgPreviewImage);
    ICameraInfo info;
    info.strDevicePath = kVividPath;
    info.resolution.size = info.resolution.captureSize = QSize(640, 360);
    facade->openCamera(info, false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 20000);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);
    QVERIFY(facade->resolutions().size() > 3);  // no MJPG on vivid: the YUYV sizes
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 20000);
    const QImage picture = frames.last().at(0).value<QImage>();
    QCOMPARE(picture.size(), QSize(640, 360));
    // Upright: the text overlay is in the top rows, the bottom rows are clean bars.
    const int top = offBars(picture, 0, 60), bottom = offBars(picture, 300, 360);
    QVERIFY2(top > 1000 && bottom < 100, qPrintable(QString("off the bars: top %1, bottom %2").arg(top).arg(bottom)));
    for (int i = 0; i < 8; ++i)
        QVERIFY2(colourDistance(picture.pixel(i * 80 + 40, 340), kBars[i]) <= 8,
                 qPrintable(QString("bar %1: %2").arg(i).arg(picture.pixel(i * 80 + 40, 340), 8, 16)));
    QVERIFY(facade->setBrightness(200));
    QCOMPARE(readControlDirectly(V4L2_CID_BRIGHTNESS), 200L);
    QVERIFY(!facade->setFocus(10));  // vivid has no focus
    // A resolution change reopens the device without a result.
    QVERIFY(facade->setResolution(CameraResolution(1280, 720)));
    QTRY_VERIFY_WITH_TIMEOUT(frames.last().at(0).value<QImage>().size() == QSize(1280, 720), 20000);
    QCOMPARE(results.count(), 1);
}

// Pulled out while streaming and plugged in again: the backend's monitor and the
// program's watcher each report it once (not the metadata node), the stream ends,
// closing is prompt, and the camera opens again.
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
    ICameraInfo info;
    info.strDevicePath = kVividPath;
    info.resolution.size = info.resolution.captureSize = QSize(320, 180);
    facade->openCamera(info, false);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 2, 20000);

    QVERIFY(writeSysfs("/sys/bus/platform/drivers/vivid/unbind", "vivid.0"));
    QTRY_VERIFY_WITH_TIMEOUT(watched.count() >= 1 && backend.count() >= 1, 10000);
    QTest::qWait(500);  // the metadata node's removal arrives too, and must not be reported
    QCOMPARE(watched, QList<QVariantList>({{false, kVividPath}}));
    QCOMPARE(backend, QList<QVariantList>({{false, kVividPath}}));
    const int after = frames.count();
    QTest::qWait(300);
    QCOMPARE(frames.count(), after);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(facade->closeCamera());
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(IDeviceScanner::scan().isEmpty());

    watched.clear();
    backend.clear();
    QVERIFY(writeSysfs("/sys/bus/platform/drivers/vivid/bind", "vivid.0"));
    QTRY_VERIFY_WITH_TIMEOUT(watched.count() >= 1 && backend.count() >= 1, 10000);
    QTest::qWait(500);
    QCOMPARE(watched, QList<QVariantList>({{true, kVividPath}}));
    QCOMPARE(backend, QList<QVariantList>({{true, kVividPath}}));
    QCOMPARE(IDeviceScanner::scan().size(), 1);
    facade->openCamera(info, false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 2, 20000);
    QCOMPARE(results.at(1).at(0).value<IResult>(), Success);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() > after, 20000);
}

QTEST_MAIN(TestVm)
#include "tst_vm.moc"
