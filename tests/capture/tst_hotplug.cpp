// Device discovery and hot-plug with virtual cameras: the scan's records (order,
// indices, "#n" ordinals, ids, serial), edits of the watched cameras file as plugs and
// unplugs (also when an editor replaces the file), damaged or deleted files while a
// camera streams, the file format's checks and the command-line options.

#include "cameras.h"
#include "frames.h"

#include "camera/platform/capturesystem.h"
#include "camera/platform/virtual/virtualbackend.h"
#include "camera/platform/virtual/virtualcameradescription.h"
#include "device/designatedmodel.h"
#include "device/idevicescanner.h"
#include "device/iwinusbdevice.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace dshow;
using capture::CaptureSystem;

namespace {

const QByteArray kThree = R"({"cameras": [{"name": "Streaming", "path": "virtual:streaming", "formats": [{"width": 160,
  "height": 120}]}, {"name": "Idle", "path": "virtual:idle"}, {"name": "Other", "path": "virtual:other"} ]})";

QStringList virtualPaths()
{
    QStringList paths;
    for (const ICameraInfo& info : IDeviceScanner::scan())
        if (info.strDevicePath.startsWith(QLatin1String("virtual:")))
            paths << info.strDevicePath;
    return paths;
}

// Lets the watcher see an edit and its quiet time pass.
void settle()
{
    QTest::qWait(400);
}

} // namespace

class TestHotplug : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_file = m_cameras.path(); }
    void cleanup();
    void scanRecords();
    void fileEditsArePlugsAndUnplugs_data();
    void fileEditsArePlugsAndUnplugs();
    void damagedFileWhileStreaming_data();
    void damagedFileWhileStreaming();
    void deletedFileWhileStreaming();
    void badFiles_data();
    void badFiles();
    void commandLine();

private:
    // Writes the file in place, or (`rename`) replaces it as many editors save.
    void write(const QByteArray& json, bool rename = false) { QVERIFY(m_cameras.writeRaw(json, rename ? Cameras::Renamed : Cameras::InPlace)); }
    void watch(const QByteArray& json) { QVERIFY(m_cameras.writeRaw(json, Cameras::InPlace, true)); settle(); }
    Cameras m_cameras;
    QString m_file;
};

void TestHotplug::cleanup()
{
    CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(false);
    Cameras::unwatch();
}

void TestHotplug::scanRecords()
{
    watch(R"({ "cameras": [
        { "name": "USB Camera", "path": "virtual:a", "vid": "1a2b", "pid": "3C4D", "serial": "SN-1" },
        { "name": "Other Camera", "path": "virtual:b" },
        { "name": "USB Camera", "path": "virtual:c", "vid": "1209", "pid": "4C56" } ] })");
    CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(true);
    const QList<ICameraInfo> all = IDeviceScanner::scan();
    // Real cameras first, then the built-in virtual one, then the file's in file order.
    QList<ICameraInfo> cams;
    for (int i = 0; i < all.size(); ++i) {
        QCOMPARE(all[i].nIndex, i);
        if (all[i].strDevicePath.startsWith(QLatin1String("virtual:")))
            cams << all[i];
    }
    QCOMPARE(cams.size(), 4);
    QStringList names;
    for (const ICameraInfo& c : cams)
        names << c.strDevicePath + " " + c.strDisplayName;
    // Equal names are numbered in scan order; a name of its own gets #1.
    QCOMPARE(names, QStringList({"virtual:lumivo Lumivo Virtual Camera #1", "virtual:a USB Camera #1",
                                 "virtual:b Other Camera #1", "virtual:c USB Camera #2"}));
    // Ids are upper-case hex; a camera without them has empty ones.
    QCOMPARE(cams[1].strVid + cams[1].strPid + cams[1].strSerial, QStringLiteral("1A2B3C4DSN-1"));
    QVERIFY((cams[2].strVid + cams[2].strPid + cams[2].strSerial).isEmpty());
    QCOMPARE(cams[3].strVid + cams[3].strPid, QString::fromLatin1(kDesignatedModel.vendorId) + kDesignatedModel.productId);
    QCOMPARE(cams[0].strVid + cams[0].strPid, cams[3].strVid + cams[3].strPid);
}

void TestHotplug::fileEditsArePlugsAndUnplugs_data()
{
    QTest::addColumn<bool>("rename");
    QTest::newRow("written in place") << false;
    QTest::newRow("renamed over") << true;  // the watch must survive each replacement
}

void TestHotplug::fileEditsArePlugsAndUnplugs()
{
    QFETCH(bool, rename);
    write(R"({ "cameras": [ { "name": "A" } ] })");
    IWinUsbDevice watcher;
    QSignalSpy spy(&watcher, &IWinUsbDevice::connectionChanged);
    QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_file, nullptr));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({true, QStringLiteral("virtual:A")}));
    write(R"({ "cameras": [ { "name": "A" }, { "name": "B" } ] })", rename);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({true, QStringLiteral("virtual:B")}));
    QCOMPARE(virtualPaths(), QStringList({"virtual:A", "virtual:B"}));
    write(R"({ "cameras": [ { "name": "B" } ] })", rename);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({false, QStringLiteral("virtual:A")}));
    QCOMPARE(virtualPaths(), QStringList({"virtual:B"}));
    // A changed description of a camera that stays is no hot-plug.
    write(R"({ "cameras": [ { "name": "B", "busy": true } ] })", rename);
    settle();
    QCOMPARE(spy.count(), 0);
}

void TestHotplug::damagedFileWhileStreaming_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("cut short") << kThree.left(kThree.size() / 2);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe{\x01\"cameras\"\x00", 14);
    QTest::newRow("wrong types") << QByteArray(R"({"cameras": [{"name": 5}]})");
    QTest::newRow("not a list") << QByteArray(R"({"cameras": {"name": "x"}})");
    QTest::newRow("two megabytes") << QByteArray("{\"cameras\": [], \"pad\": \"") + QByteArray(2 << 20, 'p') + "\"}";
}

// A damaged edit leaves the cameras as they are and the running one streaming; the
// fixed file is followed again.
void TestHotplug::damagedFileWhileStreaming()
{
    QFETCH(QByteArray, bytes);
    watch(kThree);
    QSignalSpy changes(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open("virtual:streaming"), S_OK);
    QCOMPARE(g.stream(&frames), S_OK);
    QVERIFY(frames.waitFor(2));
    write(bytes);
    settle();
    QCOMPARE(virtualPaths(), QStringList({"virtual:streaming", "virtual:idle", "virtual:other"}));
    QCOMPARE(changes.count(), 0);
    QVERIFY(frames.waitFor(frames.count() + 3));
    write(QByteArray(kThree).replace(R"({"name": "Idle", "path": "virtual:idle"},)", ""), true);
    QTRY_COMPARE(changes.count(), 1);
    QCOMPARE(changes.first(), QVariantList({false, QStringLiteral("virtual:idle")}));
    QVERIFY(frames.waitFor(frames.count() + 3));
}

// Deleting the file unplugs its cameras and ends the stream; writing it back plugs
// them in again.
void TestHotplug::deletedFileWhileStreaming()
{
    watch(kThree);
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open("virtual:streaming"), S_OK);
    QCOMPARE(g.stream(&frames), S_OK);
    QVERIFY(frames.waitFor(2));
    QSignalSpy changes(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    QVERIFY(QFile::remove(m_file));
    QTRY_COMPARE(changes.count(), 3);
    QVERIFY(virtualPaths().isEmpty());
    QTest::qWait(300);
    const int after = frames.count();
    QTest::qWait(300);
    QCOMPARE(frames.count(), after);
    write(kThree);
    QTRY_COMPARE(changes.count(), 6);
    QCOMPARE(changes.at(3), QVariantList({true, QStringLiteral("virtual:streaming")}));
}

void TestHotplug::badFiles_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("complaint");
    const auto row = [](const char* name, const char* camera, const char* complaint) {
        QTest::newRow(name) << QByteArray(R"({"cameras": [{"name": "A", )") + camera + "}]}" << complaint;
    };
    QTest::newRow("not json") << QByteArray("cameras: [A]") << "not JSON";
    QTest::newRow("no list") << QByteArray(R"({"cameras": {"name": "A"}})") << "\"cameras\" list";
    QTest::newRow("top is a list") << QByteArray(R"([{"name": "A"}])") << "\"cameras\" list";
    QTest::newRow("no name") << QByteArray(R"({"cameras": [{"path": "virtual:x"}]})") << "\"name\"";
    QTest::newRow("name not text") << QByteArray(R"({"cameras": [{"name": 5}]})") << "\"name\"";
    QTest::newRow("same path twice") << QByteArray(R"({"cameras": [{"name": "A"}, {"name": "B", "path": "virtual:A"}]})") << "twice";
    row("width as text", R"("formats": [{"width": "640", "height": 480}])", "\"width\"");
    row("absurd width", R"("formats": [{"width": 100000, "height": 480}])", "\"width\"");
    row("zero height", R"("formats": [{"width": 640, "height": 0}])", "\"height\"");
    row("fractional width", R"("formats": [{"width": 640.5, "height": 480}])", "\"width\"");
    row("odd YUY2", R"("formats": [{"subtype": "YUY2", "width": 641, "height": 480}])", "even");
    row("unknown subtype", R"("formats": [{"subtype": "H264", "width": 640, "height": 480}])", "\"subtype\"");
    row("empty formats", R"("formats": [])", "\"formats\"");
    row("absurd fps", R"("formats": [{"width": 640, "height": 480, "fps": 100000}])", "\"fps\"");
    row("current not offered", R"("current": {"width": 800, "height": 600})", "\"current\"");
    row("bad refuse", R"("refuse": ["big"])", "\"refuse\"");
    row("unknown control", R"("controls": {"zoom": {}})", "\"zoom\"");
    row("min above max", R"("controls": {"focus": {"min": 10, "max": 0}})", "\"min\"");
    row("value outside", R"("controls": {"focus": {"value": 999}})", "\"value\"");
    row("auto not bool", R"("controls": {"focus": {"auto": "yes"}})", "\"auto\"");
    row("zero step", R"("controls": {"focus": {"step": 0}})", "\"step\"");
    row("still not bool", R"("still": 1)", "\"still\"");
    row("positive openError", R"("openError": 5)", "\"openError\"");
    row("bad vid", R"("vid": "12345")", "\"vid\"");
}

void TestHotplug::badFiles()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, complaint);
    QList<capture::VirtualCameraDescription> cameras;
    QString error;
    QVERIFY(!capture::VirtualCameraDescription::parse(json, &cameras, &error));
    QVERIFY2(error.contains(complaint), qPrintable(error));
    // Loaded as the watched file, it adds no camera.
    write(json);
    QSignalSpy spy(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    QVERIFY(!CaptureSystem::instance()->virtualBackend()->watchFile(m_file, &error));
    QVERIFY(error.contains(complaint));
    QCOMPARE(spy.count(), 0);
    QVERIFY(virtualPaths().isEmpty());
}

void TestHotplug::commandLine()
{
    write(R"({ "cameras": [ { "name": "A" } ] })");
    QString error;
    auto configure = [&](const QStringList& args) { return CaptureSystem::instance()->configureFromArguments(QStringList("lumivo") + args, &error); };
    QVERIFY(configure({"--virtual-cameras", m_file, "--virtual-camera", "--unrelated"}));
    QCOMPARE(virtualPaths(), QStringList({"virtual:lumivo", "virtual:A"}));
    QVERIFY(configure({"--virtual-cameras=" + m_file}));
    QCOMPARE(virtualPaths(), QStringList({"virtual:A"}));
    QVERIFY(!configure({"--virtual-cameras"}));
    QVERIFY(error.contains("needs a file"));
    QVERIFY(!configure({"--virtual-cameras", m_file + ".missing"}));
    QVERIFY(error.contains("does not exist"));
    write("{");
    QVERIFY(!configure({"--virtual-cameras", m_file}));
    QVERIFY(error.contains(m_file) && error.contains("not JSON"));
}

QTEST_MAIN(TestHotplug)
#include "tst_hotplug.moc"
