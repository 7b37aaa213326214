// Virtual cameras: scan records, file edits as hot-plugs, the file's checks, bottom-up RGB32 frames.

#include "cameras.h"
#include "frames.h"

#include "capture/capturesystem.h"
#include "capture/virtual/testpatterngenerator.h"
#include "capture/virtual/virtualbackend.h"
#include "capture/designatedmodel.h"
#include "capture/idevicescanner.h"
#include "capture/iwinusbdevice.h"

#include <QtTest>

#include <thread>

using namespace dshow;
using capture::CaptureSystem;

namespace {

const QByteArray kThree = R"({"cameras": [{"name": "Streaming", "path": "virtual:streaming", "formats": [{"width": 160,
  "height": 120}]}, {"name": "Idle", "path": "virtual:idle"}, {"name": "Other", "path": "virtual:other"} ]})";
const QByteArray kDesk = R"({ "cameras": [ { "name": "Desk", "path": "virtual:desk",
  "formats": [ {"subtype": "MJPG", "width": 1280, "height": 720}, {"subtype": "YUY2", "width": 320, "height": 240} ] } ] })";

} // namespace

class TestVirtualCamera : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(false); Cameras::unwatch(); }
    void scanRecords()
    {
        watch(R"({ "cameras": [
            { "name": "USB Camera", "path": "virtual:a", "vid": "1a2b", "pid": "3C4D", "serial": "SN-1" },
            { "name": "Other Camera", "path": "virtual:b" },
            { "name": "USB Camera", "path": "virtual:c", "vid": "1209", "pid": "4C56" } ] })");
        CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(true);
        const QList<ICameraInfo> all = IDeviceScanner::scan();
        QStringList records;
        for (int i = 0; i < all.size(); ++i) {
            QCOMPARE(all[i].nIndex, i);
            if (all[i].strDevicePath.startsWith(QLatin1String("virtual:")))
                records << all[i].strDevicePath + "|" + all[i].strDisplayName + "|" + all[i].strVid + all[i].strPid + all[i].strSerial;
        }
        // Real cameras first, then the built-in virtual one, then the file's in file order.
        // Equal names are numbered in scan order, a name of its own gets #1; ids are
        // upper-case hex, empty when the camera has none.
        const QString designated = QString::fromLatin1(kDesignatedModel.vendorId) + kDesignatedModel.productId;
        QCOMPARE(records, QStringList({"virtual:lumivo|Lumivo Virtual Camera #1|" + designated + "LV0000", "virtual:a|USB Camera #1|1A2B3C4DSN-1",
                                       "virtual:b|Other Camera #1|", "virtual:c|USB Camera #2|" + designated}));
    }

    void fileEditsArePlugsAndUnplugs_data()
    {
        QTest::addColumn<bool>("rename");
        QTest::newRow("written in place") << false;
        QTest::newRow("renamed over") << true;  // the watch must survive each replacement
    }

    void fileEditsArePlugsAndUnplugs()
    {
        QFETCH(bool, rename);
        write(R"({ "cameras": [ { "name": "A" } ] })");
        IWinUsbDevice watcher;
        QSignalSpy spy(&watcher, &IWinUsbDevice::connectionChanged);
        const auto reported = [&](bool plugged, const char* path) {
            return QTest::qWaitFor([&] { return spy.count() == 1; }) && spy.takeFirst() == QVariantList({plugged, QString(path)});
        };
        QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_cameras.path(), nullptr));
        QVERIFY(reported(true, "virtual:A"));
        write(R"({ "cameras": [ { "name": "A" }, { "name": "B" } ] })", rename);
        QVERIFY(reported(true, "virtual:B"));
        QCOMPARE(Cameras::devicePaths(), QStringList({"virtual:A", "virtual:B"}));
        write(R"({ "cameras": [ { "name": "B" } ] })", rename);
        QVERIFY(reported(false, "virtual:A"));
        // A changed description of a camera that stays is no hot-plug.
        write(R"({ "cameras": [ { "name": "B", "busy": true } ] })", rename);
        QTest::qWait(400);
        QCOMPARE(spy.count(), 0);
    }

    void damagedFileWhileStreaming_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cut short") << kThree.left(kThree.size() / 2);
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("two megabytes") << QByteArray("{\"cameras\": [], \"pad\": \"") + QByteArray(2 << 20, 'p') + "\"}";
        QTest::newRow("deleted") << QByteArray();
    }

    // A damaged edit leaves the cameras and the stream as they are; a deleted file unplugs
    // them. Either way the next good file is followed again.
    void damagedFileWhileStreaming()
    {
        QFETCH(QByteArray, bytes);
        watch(kThree);
        QSignalSpy changes(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
        FrameCollector frames;
        TestGraph g;
        QCOMPARE(g.open("virtual:streaming"), S_OK);
        QCOMPARE(g.stream(&frames), S_OK);
        QVERIFY(frames.waitFor(2));
        if (bytes.isNull()) {
            QVERIFY(QFile::remove(m_cameras.path()));
            QTRY_COMPARE(changes.count(), 3);
            QVERIFY(Cameras::devicePaths().isEmpty());
            write(kThree);
            QTRY_COMPARE(changes.count(), 6);
            QCOMPARE(changes.at(3), QVariantList({true, QStringLiteral("virtual:streaming")}));
            return;
        }
        write(bytes);
        QTest::qWait(400);
        QCOMPARE(Cameras::devicePaths(), QStringList({"virtual:streaming", "virtual:idle", "virtual:other"}));
        QCOMPARE(changes.count(), 0);
        QVERIFY(frames.waitFor(frames.count() + 3));
        write(QByteArray(kThree).replace(R"({"name": "Idle", "path": "virtual:idle"},)", ""), true);
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(changes.first(), QVariantList({false, QStringLiteral("virtual:idle")}));
        QVERIFY(frames.waitFor(frames.count() + 3));
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("complaint");
        const auto row = [](const char* name, const char* camera, const char* complaint) {
            QTest::newRow(name) << QByteArray(R"({"cameras": [{"name": "A", )") + camera + "}]}" << complaint;
        };
        QTest::newRow("not json") << QByteArray("cameras: [A]") << "not JSON";
        QTest::newRow("no list") << QByteArray(R"({"cameras": {"name": "A"}})") << "\"cameras\" list";
        QTest::newRow("no name") << QByteArray(R"({"cameras": [{"path": "virtual:x"}]})") << "\"name\"";
        QTest::newRow("same path twice") << QByteArray(R"({"cameras": [{"name": "A"}, {"name": "B", "path": "virtual:A"}]})") << "twice";
        row("absurd width", R"("formats": [{"width": 100000, "height": 480}])", "\"width\"");
        row("odd YUY2", R"("formats": [{"subtype": "YUY2", "width": 641, "height": 480}])", "even");
        row("unknown subtype", R"("formats": [{"subtype": "H264", "width": 640, "height": 480}])", "\"subtype\"");
        row("current not offered", R"("current": {"width": 800, "height": 600})", "\"current\"");
        row("bad refuse", R"("refuse": ["big"])", "\"refuse\"");
        row("unknown control", R"("controls": {"zoom": {}})", "\"zoom\"");
        row("min above max", R"("controls": {"focus": {"min": 10, "max": 0}})", "\"min\"");
        row("zero step", R"("controls": {"focus": {"step": 0}})", "\"step\"");
        row("positive openError", R"("openError": 5)", "\"openError\"");
        row("bad vid", R"("vid": "12345")", "\"vid\"");
    }

    // Refused with a message naming the fault, and loaded as the watched file it adds no camera.
    void badFiles()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, complaint);
        write(json);
        QString error;
        QVERIFY(!CaptureSystem::instance()->virtualBackend()->watchFile(m_cameras.path(), &error));
        QVERIFY2(error.contains(complaint), qPrintable(error));
        QVERIFY(Cameras::devicePaths().isEmpty());
    }

    void framesAreBottomUpRgb32_data()
    {
        QTest::addColumn<Subtype>("subtype");
        QTest::addColumn<QSize>("size");
        QTest::newRow("MJPG") << MEDIASUBTYPE_MJPG << QSize(1280, 720);
        QTest::newRow("YUY2") << MEDIASUBTYPE_YUY2 << QSize(320, 240);
    }

    void framesAreBottomUpRgb32()
    {
        QFETCH(Subtype, subtype);
        QFETCH(QSize, size);
        watch(kDesk);
        FrameCollector frames;
        TestGraph g;
        QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
        QCOMPARE(g.setFormat(subtype, size.width(), size.height()), S_OK);
        QCOMPARE(g.stream(&frames), S_OK);
        QVERIFY(frames.waitFor(2));
        QCOMPARE(g.control->Stop(), S_OK);
        const QImage picture = uprightImage(frames.last(), size.width(), size.height());
        QVERIFY(!picture.isNull());
        for (int i = 0; i < 8; ++i) {
            const QRgb got = picture.pixel((2 * i + 1) * size.width() / 16, size.height() / 3);
            QVERIFY2(colourDistance(got, capture::TestPatternGenerator::barColor(i)) <= 16 && qAlpha(got) == 255, qPrintable(QString::number(got, 16)));
        }
        // The dark band is at the bottom of the picture (the first rows of the buffer).
        QVERIFY(colourDistance(picture.pixel(size.width() - 2, size.height() * 2 / 3 + 2), qRgb(32, 32, 32)) <= 16);
    }

    // A camera replays a loop of encoded frames; each must hold its JPEG, not the encoder's
    // worst-case buffer (at 4K that is 16 MB per frame of the loop).
    void encodedJpegKeepsOnlyItsOwnBytes()
    {
        capture::TestPatternGenerator generator;
        const QImage picture = generator.render(QStringLiteral("cam"), capture::VirtualControls(), 0, 30, 1280, 720);
        std::vector<std::uint8_t> jpeg;
        QVERIFY(generator.encode(picture, MEDIASUBTYPE_MJPG, jpeg));
        QVERIFY2(jpeg.capacity() < std::size_t(1280) * 720 / 4, qPrintable(QString::number(jpeg.capacity())));
        QCOMPARE(QImage::fromData(jpeg.data(), int(jpeg.size()), "JPG").size(), QSize(1280, 720));
    }

    // Stop from another thread waits for a callback in flight and no callback follows it;
    // a cleared callback is never called again, so its object may go.
    void stopAndClearWaitForTheCallback()
    {
        watch(kDesk);
        FrameCollector more;
        TestGraph g;
        QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
        auto frames = std::make_unique<FrameCollector>();
        frames->sleepMs = 30;  // callbacks take long, so Stop and SetCallback meet one in progress
        QCOMPARE(g.stream(frames.get()), S_OK);
        QVERIFY(frames->waitFor(2));
        bool inCallbackAfterStop = true;
        int countAtStop = 0;
        std::thread([&] {
            g.control->Stop();
            inCallbackAfterStop = frames->inCallback;
            countAtStop = frames->count();
        }).join();
        QVERIFY(!inCallbackAfterStop);
        QTest::qWait(150);
        QCOMPARE(frames->count(), countAtStop);
        QCOMPARE(g.control->Run(), S_OK);
        QVERIFY(frames->waitFor(countAtStop + 2));
        QCOMPARE(g.grabber->SetCallback(nullptr, 1), S_OK);
        QVERIFY(!frames->inCallback);
        frames.reset();  // the stream goes on without it
        QTest::qWait(100);
        g.grabber->SetCallback(&more, 1);
        QVERIFY(more.waitFor(1));
    }

private:
    void write(const QByteArray& json, bool rename = false) { QVERIFY(m_cameras.writeRaw(json, rename ? Cameras::Renamed : Cameras::InPlace)); }
    void watch(const QByteArray& json) { QVERIFY(m_cameras.writeRaw(json, Cameras::InPlace, true)); QTest::qWait(400); }
    Cameras m_cameras;
};

QTEST_MAIN(TestVirtualCamera)
#include "tst_virtualcamera.moc"
