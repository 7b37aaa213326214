#include "camera/directshow/iframehandover.h"
#include "camera/directshow/idshowthread.h"
#include "support/logcapture.h"

#include <QBuffer>
#include <QtTest>

#include <atomic>
#include <set>
#include <thread>

namespace {

// An upright test picture whose every pixel is different.
QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 37 % 256, y * 53 % 256, (x + y * width) % 256));
    return image;
}

// The picture as the grabber delivers it: bottom-up 32-bit rows.
QByteArray bottomUp(const QImage& image)
{
    QByteArray bytes;
    for (int y = image.height() - 1; y >= 0; --y)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4);
    return bytes;
}

bool samePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff))
                return false;
    return true;
}

} // namespace

class TestFramePipeline : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void flipModes_data();
    void flipModes();
    void rotation();
    void wrongSizeDroppedSilently();
    void stillPictures();
    void baseCamera();
    void handOverKeepsNewest();
    void handOverReusesStorage();
    void handOverAcrossThreads();
};

void TestFramePipeline::initTestCase()
{
    registerCameraMetaTypes();
}

void TestFramePipeline::flipModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("mirrorX");
    QTest::addColumn<bool>("mirrorY");
    QTest::newRow("1 upright") << 1 << false << false;
    QTest::newRow("2 as delivered") << 2 << false << true;
    QTest::newRow("3 mirrored") << 3 << true << false;
    QTest::newRow("4 half turn") << 4 << true << true;
}

void TestFramePipeline::flipModes()
{
    QFETCH(int, mode);
    QFETCH(bool, mirrorX);
    QFETCH(bool, mirrorY);

    const QImage upright = pattern(7, 5);
    QByteArray frame = bottomUp(upright);

    IDShowThread camera;
    camera.setResolution(CameraResolution(7, 5));  // not open: only stored
    camera.setFlipMode(mode);
    QSignalSpy spy(&camera, &IAbstractCamera::sgPreviewImage);
    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size());
    QCOMPARE(spy.count(), 1);

    const QImage emitted = spy.at(0).at(0).value<QImage>();
    QCOMPARE(emitted.format(), QImage::Format_RGB32);
    QVERIFY(samePixels(emitted, upright.mirrored(mirrorX, mirrorY)));
    // The latest image is a copy: the frame bytes can go.
    frame.fill('\0');
    QVERIFY(samePixels(camera.image(), upright.mirrored(mirrorX, mirrorY)));
}

void TestFramePipeline::rotation()
{
    const QImage upright = pattern(6, 4);
    QByteArray frame = bottomUp(upright);

    IDShowThread camera;
    camera.setResolution(CameraResolution(6, 4));
    QSignalSpy spy(&camera, &IAbstractCamera::sgPreviewImage);

    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size());
    QCOMPARE(spy.last().at(0).value<QImage>().size(), QSize(6, 4));

    QCOMPARE(camera.rotate(90), 90.0);
    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size());
    const QImage turned = spy.last().at(0).value<QImage>();
    QCOMPARE(turned.size(), QSize(4, 6));
    // A quarter turn clockwise: (x, y) goes to (height - 1 - y, x).
    for (int y = 0; y < upright.height(); ++y)
        for (int x = 0; x < upright.width(); ++x)
            QCOMPARE(turned.pixel(upright.height() - 1 - y, x) & 0xffffff, upright.pixel(x, y) & 0xffffff);
    // The latest image is kept unrotated; image() rotates it.
    QCOMPARE(camera.image().size(), QSize(4, 6));

    camera.rotate(90);
    camera.rotate(90);
    QCOMPARE(camera.rotate(90), 0.0);
    QCOMPARE(camera.image().size(), QSize(6, 4));
}

void TestFramePipeline::wrongSizeDroppedSilently()
{
    const QImage upright = pattern(8, 6);
    QByteArray frame = bottomUp(upright);

    IDShowThread camera;
    camera.setResolution(CameraResolution(8, 6));
    QSignalSpy spy(&camera, &IAbstractCamera::sgPreviewImage);
    LogCapture log;
    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size() - 4);
    QByteArray larger = frame + QByteArray(32, '\0');
    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(larger.data()), larger.size());
    camera.setResolution(CameraResolution(6, 8));  // only the byte count is checked
    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QImage>().size(), QSize(6, 8));
    camera.setResolution(CameraResolution(9, 9));
    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size());
    QCOMPARE(spy.count(), 1);
    QVERIFY(log.lines().isEmpty());
    QVERIFY(camera.image().size() == QSize(6, 8));
}

void TestFramePipeline::stillPictures()
{
    IDShowThread camera;
    QSignalSpy spy(&camera, &IAbstractCamera::sgStillImage);

    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(pattern(32, 24).save(&buffer, "JPG"));
    camera.slStillCaptureCallback(reinterpret_cast<dshow::BYTE*>(jpeg.data()), jpeg.size());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QImage>().size(), QSize(32, 24));

    QByteArray garbage("this is not a picture");
    camera.slStillCaptureCallback(reinterpret_cast<dshow::BYTE*>(garbage.data()), garbage.size());
    QCOMPARE(spy.count(), 2);
    QVERIFY(spy.at(1).at(0).value<QImage>().isNull());
}

void TestFramePipeline::baseCamera()
{
    IDShowThread camera;
    QCOMPARE(camera.flipMode(), 1);
    QCOMPARE(camera.setFlipMode(4), 4);
    QCOMPARE(camera.setFlipMode(0), 1);
    QCOMPARE(camera.setFlipMode(0), 2);
    QCOMPARE(camera.setFlipMode(7), 7);  // stored as given
    QCOMPARE(camera.angle(), 0.0);
    QCOMPARE(camera.currentResolution().size, QSize(0, 0));
    QVERIFY(camera.resolutions().isEmpty());
    QVERIFY(camera.image().isNull());

    // Nothing open: the setters write nothing and say so, without touching the record.
    LogCapture log;
    QVERIFY(!camera.setFocus(30));
    QVERIFY(!camera.setWhiteBalanceAuto());
    QVERIFY(!camera.setPreview(false));
    QVERIFY(!camera.videoCaptureFilter(nullptr));
    QVERIFY(!camera.triggerStillCapture());
    QCOMPARE(camera.parameters(), CameraParameters());
    QVERIFY(log.matching("error").isEmpty());
    QVERIFY(camera.close());
}

void TestFramePipeline::handOverKeepsNewest()
{
    IFrameHandOver handOver;
    IFrameHandOver::Frame frame;
    QVERIFY(!handOver.take(frame));

    const std::uint8_t a[] = {1, 1, 1}, b[] = {2, 2}, c[] = {3, 3, 3, 3};
    QVERIFY(handOver.put(1.0, a, 3));   // first frame: notify
    QVERIFY(!handOver.put(2.0, b, 2));  // notice already out
    QVERIFY(!handOver.put(3.0, c, 4));
    QCOMPARE(handOver.dropped(), quint64(2));

    QVERIFY(handOver.take(frame));
    QCOMPARE(frame.sampleTime, 3.0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(frame.data), int(frame.size)), QByteArray(4, '\3'));
    QVERIFY(!handOver.take(frame));  // one frame waits at most
    QVERIFY(handOver.put(4.0, a, 3));  // taken: the next frame notifies again
    handOver.release();

    handOver.clear();
    QVERIFY(!handOver.take(frame));
    QVERIFY(handOver.put(5.0, b, 2));
    QVERIFY(!handOver.put(6.0, nullptr, 2));  // nothing to copy
}

void TestFramePipeline::handOverReusesStorage()
{
    IFrameHandOver handOver;
    std::vector<std::uint8_t> bytes(4096, 9);
    std::set<const std::uint8_t*> seen;
    for (int i = 0; i < 50; ++i) {
        handOver.put(i, bytes.data(), long(bytes.size() - (i % 7)));
        handOver.put(i, bytes.data(), long(bytes.size()));
        IFrameHandOver::Frame frame;
        QVERIFY(handOver.take(frame));
        seen.insert(frame.data);
        handOver.release();
    }
    QVERIFY(seen.size() <= 3);
}

void TestFramePipeline::handOverAcrossThreads()
{
    IFrameHandOver handOver;
    constexpr int kFrames = 2000;
    constexpr int kSize = 64 * 1024;
    std::atomic<bool> done{false};
    std::thread producer([&]() {
        std::vector<std::uint8_t> bytes(kSize);
        for (int i = 1; i <= kFrames; ++i) {
            std::fill(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(i));
            handOver.put(i, bytes.data(), kSize);
        }
        done = true;
    });
    int last = 0, taken = 0;
    bool intact = true;
    for (;;) {
        IFrameHandOver::Frame frame;
        if (!handOver.take(frame)) {
            if (!done) {
                std::this_thread::yield();
                continue;
            }
            if (!handOver.take(frame))  // the producer's last frame may have landed meanwhile
                break;
        }
        const int number = int(frame.sampleTime);
        intact = intact && number > last && frame.size == kSize
            && std::all_of(frame.data, frame.data + kSize, [&](std::uint8_t v) { return v == std::uint8_t(number); });
        last = number;
        ++taken;
        handOver.release();
    }
    producer.join();
    QVERIFY(intact);
    QCOMPARE(last, kFrames);  // the newest frame always arrives
    QCOMPARE(quint64(taken) + handOver.dropped(), quint64(kFrames));
}

QTEST_MAIN(TestFramePipeline)
#include "tst_framepipeline.moc"
