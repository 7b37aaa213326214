// The capture layer's contract, run against virtual cameras, which every camera and
// UI test stands on: bottom-up RGB32 frames of the right pixels, compact encoded
// frames, and stopping or clearing the callback while frames flow. Refusals, busy
// devices and properties are checked through the camera facade (tst_icamera).

#include "cameras.h"
#include "frames.h"

#include "camera/platform/virtual/testpatterngenerator.h"

#include <QtTest>

#include <thread>

using namespace dshow;
using capture::TestPatternGenerator;

static const char kCameras[] = R"({ "cameras": [
  { "name": "Desk", "path": "virtual:desk",
    "formats": [ {"subtype": "MJPG", "width": 1280, "height": 720}, {"subtype": "YUY2", "width": 320, "height": 240} ] } ] })";

class TestVirtualCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void framesAreBottomUpRgb32_data();
    void framesAreBottomUpRgb32();
    void encodedJpegKeepsOnlyItsOwnBytes();
    void stopFromAnotherThreadWaitsForCallback();
    void clearingTheCallbackWhileStreaming();

private:
    Cameras m_cameras;
};

void TestVirtualCamera::initTestCase()
{
    QVERIFY(m_cameras.writeRaw(kCameras, Cameras::InPlace, true));
}

void TestVirtualCamera::framesAreBottomUpRgb32_data()
{
    QTest::addColumn<Subtype>("subtype");
    QTest::addColumn<QSize>("size");
    QTest::newRow("MJPG") << MEDIASUBTYPE_MJPG << QSize(1280, 720);
    QTest::newRow("YUY2") << MEDIASUBTYPE_YUY2 << QSize(320, 240);
}

void TestVirtualCamera::framesAreBottomUpRgb32()
{
    QFETCH(Subtype, subtype);
    QFETCH(QSize, size);
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.setFormat(subtype, size.width(), size.height()), S_OK);
    QCOMPARE(g.connect(), S_OK);
    AM_MEDIA_TYPE connected;
    QCOMPARE(g.grabber->GetConnectedMediaType(connected), S_OK);
    QCOMPARE(connected.subtype, MEDIASUBTYPE_RGB32);
    QCOMPARE(g.stream(&frames), S_OK);
    QVERIFY(frames.waitFor(2));
    QCOMPARE(g.control->Stop(), S_OK);
    const QImage picture = uprightImage(frames.last(), size.width(), size.height());
    QVERIFY(!picture.isNull());
    for (int i = 0; i < 8; ++i) {
        const QRgb got = picture.pixel((2 * i + 1) * size.width() / 16, size.height() / 3);
        QVERIFY2(colourDistance(got, TestPatternGenerator::barColor(i)) <= 16, qPrintable(QString("bar %1: %2").arg(i).arg(got, 8, 16)));
        QCOMPARE(qAlpha(got), 255);
    }
    // The dark band is at the bottom of the picture (the first rows of the buffer).
    const QRgb band = picture.pixel(size.width() - 2, size.height() * 2 / 3 + 2);
    QVERIFY2(colourDistance(band, qRgb(32, 32, 32)) <= 16, qPrintable(QString::number(band, 16)));
}

// A camera replays a loop of encoded frames; each must hold its JPEG, not the encoder's
// worst-case buffer (at 4K that is 16 MB per frame of the loop).
void TestVirtualCamera::encodedJpegKeepsOnlyItsOwnBytes()
{
    TestPatternGenerator generator;
    const QImage picture = generator.render(QStringLiteral("cam"), capture::VirtualControls(), 0, 30, 1280, 720);
    std::vector<std::uint8_t> jpeg;
    QVERIFY(generator.encode(picture, MEDIASUBTYPE_MJPG, jpeg));
    QVERIFY2(jpeg.capacity() < std::size_t(1280) * 720 / 4, qPrintable(QString::number(jpeg.capacity())));
    QCOMPARE(QImage::fromData(jpeg.data(), int(jpeg.size()), "JPG").size(), QSize(1280, 720));
}

void TestVirtualCamera::stopFromAnotherThreadWaitsForCallback()
{
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    frames.sleepMs = 30;  // callbacks take long, so Stop meets one in progress
    QCOMPARE(g.stream(&frames), S_OK);
    QVERIFY(frames.waitFor(2));
    bool callbackRanAfterStop = true;
    int countAtStop = 0;
    std::thread stopper([&] {
        g.control->Stop();
        callbackRanAfterStop = frames.inCallback;
        countAtStop = frames.count();
    });
    stopper.join();
    QVERIFY(!callbackRanAfterStop);
    QTest::qWait(150);
    QCOMPARE(frames.count(), countAtStop);
    QCOMPARE(g.control->Run(), S_OK);  // and it runs again afterwards
    QVERIFY(frames.waitFor(countAtStop + 1));
}

void TestVirtualCamera::clearingTheCallbackWhileStreaming()
{
    FrameCollector more;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    auto frames = std::make_unique<FrameCollector>();
    frames->sleepMs = 10;
    QCOMPARE(g.stream(frames.get()), S_OK);
    QVERIFY(frames->waitFor(2));
    QCOMPARE(g.grabber->SetCallback(nullptr, 1), S_OK);
    QVERIFY(!frames->inCallback);
    frames.reset();  // the object is gone; the stream goes on without it
    QTest::qWait(100);
    g.grabber->SetCallback(&more, 1);
    QVERIFY(more.waitFor(1));
}

QTEST_MAIN(TestVirtualCamera)
#include "tst_virtualcamera.moc"
