#include "camera/iframehandover.h"
#include "camera/idshowthread.h"
#include "support/logcapture.h"

#include <QBuffer>
#include <QtTest>

#include <atomic>
#include <cstring>
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
    void largeFrames();
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

void TestFramePipeline::largeFrames()
{
    // Frames of several megabytes take the streaming copy; odd widths the plain one.
    for (const QSize size : {QSize(1280, 1024), QSize(1283, 1001)}) {
        const QImage upright = pattern(size.width(), size.height());
        QByteArray frame = bottomUp(upright);
        IDShowThread camera;
        camera.setResolution(CameraResolution(size.width(), size.height()));
        QSignalSpy spy(&camera, &IAbstractCamera::sgPreviewImage);
        camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size());
        QCOMPARE(spy.count(), 1);
        const QImage emitted = spy.at(0).at(0).value<QImage>();
        QCOMPARE(emitted.size(), size);
        for (int y = 0; y < size.height(); ++y)
            QVERIFY2(std::memcmp(emitted.constScanLine(y), upright.constScanLine(y), size_t(size.width()) * 4) == 0,
                     qPrintable(QString("row %1 of %2x%3").arg(y).arg(size.width()).arg(size.height())));
        // A second frame reuses the pool and is right too.
        camera.setFlipMode(3);
        camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), frame.size());
        QVERIFY(samePixels(spy.at(1).at(0).value<QImage>(), upright.mirrored(true, false)));
    }
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

namespace {

IFrameBufferPool::Buffer* filled(const std::shared_ptr<IFrameBufferPool>& pool, std::size_t bytes, int value)
{
    IFrameBufferPool::Buffer* buffer = pool->acquire(bytes);
    std::memset(buffer->data, value, bytes);
    buffer->sampleTime = value;
    return buffer;
}

} // namespace

void TestFramePipeline::handOverKeepsNewest()
{
    auto pool = IFrameBufferPool::create();
    IFrameHandOver handOver;
    QVERIFY(!handOver.take());

    QVERIFY(handOver.put(filled(pool, 16, 1)));   // first frame: notify
    QVERIFY(!handOver.put(filled(pool, 16, 2)));  // the notice is already out
    QVERIFY(!handOver.put(filled(pool, 16, 3)));
    QCOMPARE(handOver.dropped(), quint64(2));
    // The replaced frames went back to the pool, and the third frame reused the first's.
    QCOMPARE(pool->allocatedCount(), 2);
    QCOMPARE(pool->freeCount(), 1);

    IFrameBufferPool::Buffer* frame = handOver.take();
    QVERIFY(frame);
    QCOMPARE(frame->sampleTime, 3.0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(frame->data), int(frame->size)), QByteArray(16, '\3'));
    QVERIFY(!handOver.take());  // one frame waits at most
    QVERIFY(handOver.put(filled(pool, 16, 4)));  // taken: the next frame notifies again
    IFrameBufferPool::recycle(frame);

    handOver.clear();
    QVERIFY(!handOver.take());
    QVERIFY(handOver.put(filled(pool, 16, 5)));
    QVERIFY(!handOver.put(nullptr));
    QCOMPARE(pool->allocatedCount(), 2);
}

void TestFramePipeline::handOverReusesStorage()
{
    auto pool = IFrameBufferPool::create(4);
    const std::size_t frameBytes = 64 * 48 * 4;
    std::set<const std::uint8_t*> seen;
    for (int i = 0; i < 100; ++i) {
        IFrameBufferPool::Buffer* buffer = filled(pool, frameBytes, i);
        buffer->width = 64;
        buffer->height = 48;
        seen.insert(buffer->data);
        const QImage image = IFrameBufferPool::wrap(buffer);
        QCOMPARE(image.size(), QSize(64, 48));
        QCOMPARE(image.pixel(5, 5), qRgba(i, i, i, i) | 0xff000000);
    }
    QCOMPARE(int(seen.size()), 1);  // each image gave its buffer back when it went
    QCOMPARE(pool->allocatedCount(), 1);

    // Images held elsewhere keep their buffers; only the pool's spare count is kept.
    QList<QImage> held;
    for (int i = 0; i < 10; ++i) {
        IFrameBufferPool::Buffer* buffer = filled(pool, frameBytes, i);
        buffer->width = 64;
        buffer->height = 48;
        held.append(IFrameBufferPool::wrap(buffer));
    }
    QCOMPARE(pool->allocatedCount(), 10);
    held.clear();
    QCOMPARE(pool->freeCount(), 4);
    QCOMPARE(pool->allocatedCount(), 4);

    // A new frame size retires the spare buffers of the old one.
    IFrameBufferPool::recycle(pool->acquire(frameBytes * 4));
    QCOMPARE(pool->allocatedCount(), 1);

    // An image that outlives its pool frees its buffer itself (ASan watches this).
    IFrameBufferPool::Buffer* last = filled(pool, frameBytes, 9);
    last->width = 64;
    last->height = 48;
    QImage orphan = IFrameBufferPool::wrap(last);
    pool.reset();
    QCOMPARE(orphan.pixel(0, 0) & 0xffffff, 0x090909u);
}

void TestFramePipeline::handOverAcrossThreads()
{
    auto pool = IFrameBufferPool::create();
    IFrameHandOver handOver;
    constexpr int kFrames = 2000;
    constexpr std::size_t kSize = 64 * 1024;
    std::atomic<bool> done{false};
    std::thread producer([&]() {
        for (int i = 1; i <= kFrames; ++i)
            handOver.put(filled(pool, kSize, i));
        done = true;
    });
    int last = 0, taken = 0;
    bool intact = true;
    for (;;) {
        IFrameBufferPool::Buffer* frame = handOver.take();
        if (!frame) {
            if (!done) {
                std::this_thread::yield();
                continue;
            }
            frame = handOver.take();  // the producer's last frame may have landed meanwhile
            if (!frame)
                break;
        }
        const int number = int(frame->sampleTime);
        const std::uint8_t byte = std::uint8_t(number);
        intact = intact && number > last && frame->size == kSize
            && std::all_of(frame->data, frame->data + kSize, [&](std::uint8_t v) { return v == byte; });
        last = number;
        ++taken;
        IFrameBufferPool::recycle(frame);
    }
    producer.join();
    QVERIFY(intact);
    QCOMPARE(last, kFrames);  // the newest frame always arrives
    QCOMPARE(quint64(taken) + handOver.dropped(), quint64(kFrames));
    QVERIFY(pool->allocatedCount() <= 4);
}

QTEST_MAIN(TestFramePipeline)
#include "tst_framepipeline.moc"
