// The camera facade and capture thread against the kernel's vivid driver, run inside
// the test VM (scripts/vm/run-vm-tests.sh) as root. Refuses to run elsewhere, since it
// unbinds the driver.
#include "camera/icamera.h"
#include "capture/capturesystem.h"
#include "support/logcapture.h"

#include <QFile>
#include <QtTest>

namespace {

const QString kVividPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video0");

bool writeSys(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

ICameraInfo vividInfo(QSize size)
{
    ICameraInfo info;
    info.strDevicePath = kVividPath;
    info.resolution.size = size;
    info.resolution.captureSize = size;
    return info;
}

long driverBrightness()
{
    std::shared_ptr<capture::CaptureDevice> device;
    if (dshow::FAILED(capture::CaptureSystem::instance()->open(kVividPath, device)) || !device)
        return -1;
    long value = 0, flags = 0;
    return dshow::FAILED(device->get(capture::Property::Brightness, value, flags)) ? -1 : value;
}

} // namespace

class TestVmCamera : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void openStreamSetClose();
    void unplugMidStream();
};

void TestVmCamera::initTestCase()
{
    if (qEnvironmentVariable("LUMIVO_VM") != "1")
        QSKIP("runs only inside the test VM");
    registerCameraMetaTypes();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/dev/video0")), 10000);
}

void TestVmCamera::cleanup()
{
    ICamera::instance()->closeCamera();
}

void TestVmCamera::openStreamSetClose()
{
    ICamera* facade = ICamera::instance();
    LogCapture log;
    QSignalSpy results(facade, &ICamera::sgResult);
    QSignalSpy frames(facade, &ICamera::sgPreviewImage);

    bool listed = false;
    for (const ICameraInfo& info : facade->cameraList(0))
        listed = listed || info.strDevicePath == kVividPath;
    QVERIFY(listed);

    facade->openCamera(vividInfo(QSize(640, 480)), false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 20000);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);
    QVERIFY(log.contains("dshow open camera: " + kVividPath));

    // No MJPG on vivid: the first subtype (YUYV) is surveyed, sorted by width.
    const QList<CameraResolution> list = facade->resolutions();
    QVERIFY(list.size() > 3);
    for (int i = 1; i < list.size(); ++i)
        QVERIFY(list.at(i - 1).size.width() <= list.at(i).size.width());
    QCOMPARE(currentCameraResolution().size, QSize(640, 480));

    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 20000);
    QImage frame = frames.last().at(0).value<QImage>();
    QCOMPARE(frame.size(), QSize(640, 480));
    // vivid's colour bars: white-ish on the left, black on the right, at mid height.
    const QColor left = frame.pixelColor(5, 240), right = frame.pixelColor(634, 240);
    QVERIFY2(left.red() > 150 && left.green() > 150 && left.blue() > 150, qPrintable(left.name()));
    QVERIFY2(right.red() < 40 && right.green() < 40 && right.blue() < 40, qPrintable(right.name()));

    // vivid lacks exposure, focus, white balance and sharpness; brightness is there.
    QVERIFY(log.contains("Get Focus Parameter Error."));
    QVERIFY(log.contains("Get Sharpness Parameter Error."));
    QVERIFY(log.contains("Brightness---> Min: 0 Max: 255"));
    QVERIFY(facade->setBrightness(200));
    QCOMPARE(driverBrightness(), 200L);
    QVERIFY(facade->setBrightness(128));
    QVERIFY(!facade->setFocus(10));  // no focus control: a failed write, logged
    QVERIFY(log.contains("set CameraControlProperty error"));

    // A resolution change reopens the device without a result.
    QVERIFY(facade->setResolution(CameraResolution(1280, 720)));
    QTRY_VERIFY_WITH_TIMEOUT(frames.last().at(0).value<QImage>().size() == QSize(1280, 720), 20000);
    QCOMPARE(currentCameraResolution().size, QSize(1280, 720));
    QCOMPARE(results.count(), 1);

    QVERIFY(facade->closeCamera());
    QVERIFY(log.contains("exit direct show thread."));
    const int atClose = frames.count();
    QTest::qWait(300);
    QCOMPARE(frames.count(), atClose);

    // Opened again at the device's current size.
    facade->openCamera(vividInfo(QSize(0, 0)), false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 2, 20000);
    QCOMPARE(results.at(1).at(0).value<IResult>(), Success);
    QCOMPARE(currentCameraResolution().size, QSize(1280, 720));
}

void TestVmCamera::unplugMidStream()
{
    ICamera* facade = ICamera::instance();
    QSignalSpy results(facade, &ICamera::sgResult);
    QSignalSpy frames(facade, &ICamera::sgPreviewImage);
    facade->openCamera(vividInfo(QSize(640, 480)), false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 2, 20000);

    QVERIFY(writeSys("/sys/bus/platform/drivers/vivid/unbind", "vivid.0"));
    QTest::qWait(500);
    const int after = frames.count();
    QTest::qWait(300);
    QCOMPARE(frames.count(), after);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(facade->closeCamera());
    QVERIFY(timer.elapsed() < 5000);

    QVERIFY(writeSys("/sys/bus/platform/drivers/vivid/bind", "vivid.0"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/dev/video0")), 10000);
    facade->openCamera(vividInfo(QSize(640, 480)), false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 2, 20000);
    QCOMPARE(results.at(1).at(0).value<IResult>(), Success);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() > after, 20000);
}

QTEST_MAIN(TestVmCamera)
#include "tst_vm_camera.moc"
