// Open/close cycles and resolution changes on a streaming virtual camera. The default
// counts keep the run short; LUMIVO_CAMERA_CYCLES and LUMIVO_CAMERA_RESOLUTION_CHANGES
// set the full counts (200 and 100 for the sanitizer runs).
#include "camera/icamera.h"
#include "support/logcapture.h"
#include "support/virtualcamerafile.h"

#include <QDir>
#include <QtTest>

#include <memory>

namespace {

int envCount(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

ICameraInfo deskInfo(QSize size)
{
    ICameraInfo info;
    info.strDevicePath = QStringLiteral("virtual:cycles");
    info.resolution.size = size;
    info.resolution.captureSize = size;
    return info;
}

} // namespace

class TestCameraCycles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void openCloseCycles();
    void resolutionChanges();

private:
    VirtualCameraFile m_file;
};

void TestCameraCycles::initTestCase()
{
    registerCameraMetaTypes();
    QJsonObject camera = VirtualCameraFile::camera(
        "cycles", {VirtualCameraFile::format("MJPG", 320, 240, 60), VirtualCameraFile::format("MJPG", 640, 480, 60),
                   VirtualCameraFile::format("YUY2", 160, 120, 60), VirtualCameraFile::format("MJPG", 480, 270, 60)});
    camera["controls"] = VirtualCameraFile::fullControls();
    QVERIFY(m_file.write({camera}));
}

void TestCameraCycles::openCloseCycles()
{
    const int cycles = envCount("LUMIVO_CAMERA_CYCLES", 15);
    ICamera* facade = ICamera::instance();
    QSignalSpy results(facade, &ICamera::sgResult);
    QSignalSpy frames(facade, &ICamera::sgPreviewImage);
    const int threadsBefore = threadCount();
    auto log = std::make_unique<LogCapture>();

    for (int i = 0; i < cycles; ++i) {
        facade->openCamera(deskInfo(i % 2 ? QSize(640, 480) : QSize(0, 0)), false);
        QTRY_COMPARE_WITH_TIMEOUT(results.count(), i + 1, 10000);
        QCOMPARE(results.last().at(0).value<IResult>(), Success);
        // Every other cycle closes before the first frame, the rest while frames flow.
        if (i % 2 == 0) {
            const int seen = frames.count();
            QTRY_VERIFY_WITH_TIMEOUT(frames.count() > seen, 10000);
        }
        QVERIFY(facade->closeCamera());
    }
    // Workers and streams are gone, not parked.
    QTRY_VERIFY(threadCount() <= threadsBefore);
    QCOMPARE(log->matching("dshow open camera: ").size(), cycles);
    QCOMPARE(log->matching("exit direct show thread.").size(), cycles);
    QVERIFY(log->matching("error").isEmpty());
    log.reset();
    qDebug() << cycles << "open/close cycles," << frames.count() << "frames";
}

void TestCameraCycles::resolutionChanges()
{
    const int changes = envCount("LUMIVO_CAMERA_RESOLUTION_CHANGES", 8);
    ICamera* facade = ICamera::instance();
    QSignalSpy results(facade, &ICamera::sgResult);
    QSignalSpy frames(facade, &ICamera::sgPreviewImage);
    auto log = std::make_unique<LogCapture>();
    facade->openCamera(deskInfo(QSize(320, 240)), false);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 10000);

    const QList<QSize> sizes{{640, 480}, {480, 270}, {320, 240}};
    for (int i = 0; i < changes; ++i) {
        const QSize size = sizes.at(i % sizes.size());
        QVERIFY(facade->setResolution(CameraResolution(size.width(), size.height())));
        // Some changes follow each other at once, the rest wait for a frame of the new size.
        if (i % 3 != 2)
            QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty() && frames.last().at(0).value<QImage>().size() == size, 10000);
    }
    const QSize last = sizes.at((changes - 1) % sizes.size());
    QTRY_VERIFY_WITH_TIMEOUT(frames.last().at(0).value<QImage>().size() == last, 10000);
    QCOMPARE(currentCameraResolution().size, last);
    QCOMPARE(results.count(), 1);  // reopens report nothing
    QVERIFY(facade->closeCamera());
    // A change that lands before the reopened worker holds the device only updates
    // the size that worker is about to use, so there can be fewer opens than changes.
    const int opens = log->matching("dshow open camera: ").size();
    QVERIFY(log->matching("error").isEmpty());
    QVERIFY(log->matching("failed").isEmpty());
    log.reset();
    qDebug() << changes << "resolution changes," << opens << "opens," << frames.count() << "frames";
}

QTEST_MAIN(TestCameraCycles)
#include "tst_cameracycles.moc"
