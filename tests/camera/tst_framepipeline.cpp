// The camera thread's frame path without a device: bottom-up frames become upright
// (or mirrored) images at streaming sizes, frames of the wrong size are dropped, and
// the hand-over to the GUI thread keeps the newest frame.

#include "camera/iframehandover.h"
#include "camera/idshowthread.h"
#include "logcapture.h"

#include <QtTest>

#include <cstring>

namespace {

// An upright test picture whose every pixel differs from its neighbours.
QImage pattern(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 37 % 256, y * 53 % 256, (x + y * size.width()) % 256));
    return image;
}

// The picture as the grabber delivers it: bottom-up 32-bit rows.
QByteArray bottomUp(const QImage& image)
{
    const QImage flipped = image.mirrored(false, true);
    return QByteArray(reinterpret_cast<const char*>(flipped.constBits()), int(flipped.sizeInBytes()));
}

IFrameBufferPool::Buffer* filled(const std::shared_ptr<IFrameBufferPool>& pool, std::size_t bytes, int value)
{
    IFrameBufferPool::Buffer* buffer = pool->acquire(bytes);
    std::memset(buffer->data, value, bytes);
    buffer->sampleTime = value;
    return buffer;
}

void deliver(IDShowThread& camera, QByteArray& frame, int bytes)
{
    camera.slCallback(0.0, reinterpret_cast<dshow::BYTE*>(frame.data()), bytes);
}

} // namespace

class TestFramePipeline : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerCameraMetaTypes(); }
    void orientation_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("mode");
        // Widths that are a multiple of 4 pixels take the streaming copy, odd ones the plain one.
        QTest::newRow("1280x1024 upright") << QSize(1280, 1024) << 1;
        QTest::newRow("1283x1001 upright") << QSize(1283, 1001) << 1;
        QTest::newRow("1280x1024 mirrored") << QSize(1280, 1024) << 3;
    }

    void orientation()
    {
        QFETCH(QSize, size);
        QFETCH(int, mode);
        const QImage upright = pattern(size);
        const QImage expected = upright.mirrored(mode == 3, false);
        QByteArray frame = bottomUp(upright);
        IDShowThread camera;
        camera.setResolution(CameraResolution(size.width(), size.height()));  // not open: only stored
        camera.setFlipMode(mode);
        QSignalSpy spy(&camera, &IAbstractCamera::sgPreviewImage);
        for (int i = 0; i < 2; ++i)  // the second frame reuses the first one's pooled buffers
            deliver(camera, frame, frame.size());
        QCOMPARE(spy.count(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(spy.at(i).at(0).value<QImage>(), expected);  // RGB32 compares without alpha
        frame.fill('\0');  // the latest image is a copy: the frame bytes can go
        QCOMPARE(camera.image(), expected);
    }

    void wrongSizeDroppedSilently()
    {
        QByteArray frame = bottomUp(pattern(QSize(8, 6)));
        QByteArray larger = frame + QByteArray(32, '\0');
        IDShowThread camera;
        camera.setResolution(CameraResolution(8, 6));
        QSignalSpy spy(&camera, &IAbstractCamera::sgPreviewImage);
        LogCapture log;
        deliver(camera, frame, frame.size() - 4);
        deliver(camera, larger, larger.size());
        camera.setResolution(CameraResolution(9, 9));
        deliver(camera, frame, frame.size());
        QCOMPARE(spy.count(), 0);
        QVERIFY(camera.image().isNull());
        QVERIFY(log.lines().isEmpty());
    }

    void handOverKeepsNewest()
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
        IFrameBufferPool::Buffer* frame = handOver.take();
        QVERIFY(frame);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(frame->data), int(frame->size)), QByteArray(16, '\3'));
        QVERIFY(!handOver.take());  // one frame waits at most
        QVERIFY(handOver.put(filled(pool, 16, 4)));  // taken: the next frame notifies again
        IFrameBufferPool::recycle(frame);
        handOver.clear();
        QVERIFY(!handOver.take());
    }
};

QTEST_MAIN(TestFramePipeline)
#include "tst_framepipeline.moc"
