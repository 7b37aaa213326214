// Device discovery and hot-plug with virtual cameras: the scan's records (order,
// indices, "#n" ordinals, ids, serial), the watched cameras file (arrivals, removals,
// editors that replace the file, bad edits), the file format's checks and defaults,
// and the command-line options.

#include "support/capturetest.h"

#include "capture/capturesystem.h"
#include "capture/virtual/virtualbackend.h"
#include "capture/virtual/virtualcameradescription.h"
#include "capture/designatedmodel.h"
#include "capture/idevicescanner.h"
#include "capture/iwinusbdevice.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace dshow;
using capture::CaptureSystem;
using capture::VirtualCameraDescription;

class TestDeviceScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void scanRecords();
    void builtinCameraComesFirstAmongVirtual();
    void fileEditsAreHotPlug();
    void editorReplacingTheFile();
    void badEditKeepsCameras();
    void deletedFileRemovesCameras();
    void badFiles_data();
    void badFiles();
    void defaults();
    void commandLine();

private:
    QList<ICameraInfo> virtualCameras() const;
    QString m_file;
    QTemporaryDir m_dir;
};

void TestDeviceScan::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_file = m_dir.filePath(QStringLiteral("cameras.json"));
}

void TestDeviceScan::cleanup()
{
    CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(false);
    CaptureSystem::instance()->virtualBackend()->watchFile(QString(), nullptr);
}

QList<ICameraInfo> TestDeviceScan::virtualCameras() const
{
    QList<ICameraInfo> result;
    for (const ICameraInfo& info : IDeviceScanner::scan())
        if (info.strDevicePath.startsWith(QLatin1String("virtual:")))
            result.append(info);
    return result;
}

void TestDeviceScan::scanRecords()
{
    writeFile(m_file, R"({ "cameras": [
        { "name": "USB Camera", "path": "virtual:a", "vid": "1a2b", "pid": "3C4D", "serial": "SN-1" },
        { "name": "Other Camera", "path": "virtual:b" },
        { "name": "USB Camera", "path": "virtual:c", "vid": "1209", "pid": "4C56" } ] })");
    QString error;
    QVERIFY2(CaptureSystem::instance()->virtualBackend()->watchFile(m_file, &error), qPrintable(error));
    const QList<ICameraInfo> all = IDeviceScanner::scan();
    const QList<ICameraInfo> cams = virtualCameras();
    QCOMPARE(cams.size(), 3);
    const int realCount = all.size() - cams.size();
    // Real cameras come first; virtual ones follow in file order.
    for (int i = 0; i < all.size(); ++i)
        QCOMPARE(all[i].nIndex, i);
    QCOMPARE(cams[0].nIndex, realCount);
    QCOMPARE(cams[0].strDevicePath, QStringLiteral("virtual:a"));
    QCOMPARE(cams[1].strDevicePath, QStringLiteral("virtual:b"));
    QCOMPARE(cams[2].strDevicePath, QStringLiteral("virtual:c"));
    // Equal names are numbered in scan order; a name of its own gets #1.
    QCOMPARE(cams[0].strDisplayName, QStringLiteral("USB Camera #1"));
    QCOMPARE(cams[1].strDisplayName, QStringLiteral("Other Camera #1"));
    QCOMPARE(cams[2].strDisplayName, QStringLiteral("USB Camera #2"));
    // Ids are upper-case hex; a camera without them has empty ones.
    QCOMPARE(cams[0].strVid, QStringLiteral("1A2B"));
    QCOMPARE(cams[0].strPid, QStringLiteral("3C4D"));
    QCOMPARE(cams[0].strSerial, QStringLiteral("SN-1"));
    QVERIFY(cams[1].strVid.isEmpty());
    QVERIFY(cams[1].strSerial.isEmpty());
    QCOMPARE(cams[2].strVid, QString::fromLatin1(kDesignatedModel.vendorId));
    QCOMPARE(cams[2].strPid, QString::fromLatin1(kDesignatedModel.productId));
    // Identity only: the capture members keep their defaults.
    QCOMPARE(cams[0].resolution.size, QSize(1920, 1080));
    QVERIFY(cams[0].resolutions.isEmpty());
}

void TestDeviceScan::builtinCameraComesFirstAmongVirtual()
{
    writeFile(m_file, R"({ "cameras": [ { "name": "Lumivo Virtual Camera", "path": "virtual:mine" } ] })");
    QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_file, nullptr));
    QSignalSpy spy(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    CaptureSystem::instance()->virtualBackend()->setBuiltinCamera(true);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    const QList<ICameraInfo> cams = virtualCameras();
    QCOMPARE(cams.size(), 2);
    QCOMPARE(cams[0].strDevicePath, QStringLiteral("virtual:lumivo"));
    QCOMPARE(cams[0].strDisplayName, QStringLiteral("Lumivo Virtual Camera #1"));
    QCOMPARE(cams[1].strDisplayName, QStringLiteral("Lumivo Virtual Camera #2"));
    QCOMPARE(cams[0].strVid, QStringLiteral("1209"));
    QCOMPARE(cams[0].strPid, QStringLiteral("4C56"));

    // The built-in camera is the designated model with every control and five formats.
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:lumivo")), S_OK);
    std::vector<std::shared_ptr<IPin>> pins;
    g.device->EnumPins(pins);
    std::vector<AM_MEDIA_TYPE> types;
    pins.front()->EnumMediaTypes(types);
    QCOMPARE(types.size(), std::size_t(5));
    QCOMPARE(types[3].format.bmiHeader.biWidth, 3840);
    QCOMPARE(types[4].subtype, MEDIASUBTYPE_YUY2);
    std::shared_ptr<IAMCameraControl> camera;
    std::shared_ptr<IAMVideoProcAmp> proc;
    QueryInterface(g.device, camera);
    QueryInterface(g.device, proc);
    long a, b, c, d, e;
    for (long p : {CameraControl_Exposure, CameraControl_Focus})
        QCOMPARE(camera->GetRange(p, a, b, c, d, e), S_OK);
    for (long p : {VideoProcAmp_Brightness, VideoProcAmp_Contrast, VideoProcAmp_Saturation, VideoProcAmp_Sharpness,
                   VideoProcAmp_WhiteBalance})
        QCOMPARE(proc->GetRange(p, a, b, c, d, e), S_OK);
}

void TestDeviceScan::fileEditsAreHotPlug()
{
    writeFile(m_file, R"({ "cameras": [ { "name": "A" } ] })");
    IWinUsbDevice watcher;
    QSignalSpy capture(&watcher, &IWinUsbDevice::connectionChanged);
    QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_file, nullptr));
    QTRY_COMPARE(capture.count(), 1);
    QCOMPARE(capture.takeFirst(), QVariantList({true, QStringLiteral("virtual:A")}));

    writeFile(m_file, R"({ "cameras": [ { "name": "A" }, { "name": "B" } ] })");
    QTRY_COMPARE(capture.count(), 1);
    QCOMPARE(capture.takeFirst(), QVariantList({true, QStringLiteral("virtual:B")}));
    QCOMPARE(virtualCameras().size(), 2);

    writeFile(m_file, R"({ "cameras": [ { "name": "B" } ] })");
    QTRY_COMPARE(capture.count(), 1);
    QCOMPARE(capture.takeFirst(), QVariantList({false, QStringLiteral("virtual:A")}));
    const QList<ICameraInfo> cams = virtualCameras();
    QCOMPARE(cams.size(), 1);
    QCOMPARE(cams[0].strDevicePath, QStringLiteral("virtual:B"));

    // A changed description of a camera that stays is no hot-plug.
    writeFile(m_file, R"({ "cameras": [ { "name": "B", "busy": true } ] })");
    QTest::qWait(400);
    QCOMPARE(capture.count(), 0);
}

void TestDeviceScan::editorReplacingTheFile()
{
    writeFile(m_file, R"({ "cameras": [ { "name": "A" } ] })");
    QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_file, nullptr));
    QSignalSpy spy(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    // Save by writing a new file and renaming it over the old one, twice: the watch
    // must survive the first replacement.
    writeFile(m_file, R"({ "cameras": [ { "name": "A" }, { "name": "B" } ] })", true);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({true, QStringLiteral("virtual:B")}));
    writeFile(m_file, R"({ "cameras": [ { "name": "B" } ] })", true);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({false, QStringLiteral("virtual:A")}));
}

void TestDeviceScan::badEditKeepsCameras()
{
    writeFile(m_file, R"({ "cameras": [ { "name": "A" } ] })");
    QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_file, nullptr));
    QSignalSpy spy(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    writeFile(m_file, R"({ "cameras": [ { "name": "A" }, )");
    QTest::qWait(400);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(virtualCameras().size(), 1);
    // Once fixed, the edit takes effect.
    writeFile(m_file, R"({ "cameras": [ { "name": "A" }, { "name": "C" } ] })");
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst(), QVariantList({true, QStringLiteral("virtual:C")}));
}

void TestDeviceScan::deletedFileRemovesCameras()
{
    writeFile(m_file, R"({ "cameras": [ { "name": "A" }, { "name": "B" } ] })");
    QVERIFY(CaptureSystem::instance()->virtualBackend()->watchFile(m_file, nullptr));

    // A stream of a camera that goes away ends, as with an unplugged device.
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:A")), S_OK);
    QCOMPARE(g.connect(), S_OK);
    g.grabber->SetCallback(&frames, 1);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(1));

    QSignalSpy spy(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    QVERIFY(QFile::remove(m_file));
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0), QVariantList({false, QStringLiteral("virtual:A")}));
    QCOMPARE(spy.at(1), QVariantList({false, QStringLiteral("virtual:B")}));
    QVERIFY(virtualCameras().isEmpty());
    QTest::qWait(100);
    const int count = frames.count();
    QTest::qWait(200);
    QCOMPARE(frames.count(), count);

    // Recreated, the cameras arrive again.
    writeFile(m_file, R"({ "cameras": [ { "name": "A" } ] })");
    QTRY_COMPARE(spy.count(), 3);
    QCOMPARE(spy.at(2), QVariantList({true, QStringLiteral("virtual:A")}));
}

void TestDeviceScan::badFiles_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("not json") << QByteArray("cameras: [A]") << "not JSON";
    QTest::newRow("no list") << QByteArray(R"({"cameras": {"name": "A"}})") << "\"cameras\" list";
    QTest::newRow("top is a list") << QByteArray(R"([{"name": "A"}])") << "\"cameras\" list";
    QTest::newRow("no name") << QByteArray(R"({"cameras": [{"path": "virtual:x"}]})") << "\"name\"";
    QTest::newRow("name not text") << QByteArray(R"({"cameras": [{"name": 5}]})") << "\"name\"";
    QTest::newRow("width as text") << QByteArray(R"({"cameras": [{"name": "A", "formats": [{"width": "640", "height": 480}]}]})") << "\"width\"";
    QTest::newRow("absurd width") << QByteArray(R"({"cameras": [{"name": "A", "formats": [{"width": 100000, "height": 480}]}]})") << "\"width\"";
    QTest::newRow("zero height") << QByteArray(R"({"cameras": [{"name": "A", "formats": [{"width": 640, "height": 0}]}]})") << "\"height\"";
    QTest::newRow("fractional width") << QByteArray(R"({"cameras": [{"name": "A", "formats": [{"width": 640.5, "height": 480}]}]})") << "\"width\"";
    QTest::newRow("odd YUY2") << QByteArray(R"({"cameras": [{"name": "A", "formats": [{"subtype": "YUY2", "width": 641, "height": 480}]}]})") << "even";
    QTest::newRow("unknown subtype") << QByteArray(R"({"cameras": [{"name": "A", "formats": [{"subtype": "H264", "width": 640, "height": 480}]}]})") << "\"subtype\"";
    QTest::newRow("empty formats") << QByteArray(R"({"cameras": [{"name": "A", "formats": []}]})") << "\"formats\"";
    QTest::newRow("absurd fps") << QByteArray(R"({"cameras": [{"name": "A", "formats": [{"width": 640, "height": 480, "fps": 100000}]}]})") << "\"fps\"";
    QTest::newRow("current not offered") << QByteArray(R"({"cameras": [{"name": "A", "current": {"width": 800, "height": 600}}]})") << "\"current\"";
    QTest::newRow("bad refuse") << QByteArray(R"({"cameras": [{"name": "A", "refuse": ["big"]}]})") << "\"refuse\"";
    QTest::newRow("unknown control") << QByteArray(R"({"cameras": [{"name": "A", "controls": {"zoom": {}}}]})") << "\"zoom\"";
    QTest::newRow("min above max") << QByteArray(R"({"cameras": [{"name": "A", "controls": {"focus": {"min": 10, "max": 0}}}]})") << "\"min\"";
    QTest::newRow("value outside") << QByteArray(R"({"cameras": [{"name": "A", "controls": {"focus": {"value": 999}}}]})") << "\"value\"";
    QTest::newRow("auto not bool") << QByteArray(R"({"cameras": [{"name": "A", "controls": {"focus": {"auto": "yes"}}}]})") << "\"auto\"";
    QTest::newRow("zero step") << QByteArray(R"({"cameras": [{"name": "A", "controls": {"focus": {"step": 0}}}]})") << "\"step\"";
    QTest::newRow("still not bool") << QByteArray(R"({"cameras": [{"name": "A", "still": 1}]})") << "\"still\"";
    QTest::newRow("positive openError") << QByteArray(R"({"cameras": [{"name": "A", "openError": 5}]})") << "\"openError\"";
    QTest::newRow("bad vid") << QByteArray(R"({"cameras": [{"name": "A", "vid": "12345"}]})") << "\"vid\"";
    QTest::newRow("same path twice") << QByteArray(R"({"cameras": [{"name": "A"}, {"name": "B", "path": "virtual:A"}]})") << "twice";
}

void TestDeviceScan::badFiles()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, complaint);
    QList<VirtualCameraDescription> cameras;
    QString error;
    QVERIFY(!VirtualCameraDescription::parse(json, &cameras, &error));
    QVERIFY2(error.contains(complaint), qPrintable(error));
    // Loaded as the watched file, it adds no camera.
    writeFile(m_file, json);
    QSignalSpy spy(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    QVERIFY(!CaptureSystem::instance()->virtualBackend()->watchFile(m_file, &error));
    QVERIFY(error.contains(complaint));
    QCOMPARE(spy.count(), 0);
    QVERIFY(virtualCameras().isEmpty());
}

void TestDeviceScan::defaults()
{
    QList<VirtualCameraDescription> cameras;
    QString error;
    QVERIFY2(VirtualCameraDescription::parse(R"({"cameras": [{"name": "Plain", "controls": {"focus": {"min": 10, "max": 20}}}]})",
                                      &cameras, &error), qPrintable(error));
    const VirtualCameraDescription& description = cameras.first();
    QCOMPARE(description.path, QStringLiteral("virtual:Plain"));
    QCOMPARE(description.formats.size(), std::size_t(3));
    QCOMPARE(description.formats[2].width, 1920);
    QCOMPARE(description.formats[0].subtype, MEDIASUBTYPE_MJPG);
    QCOMPARE(description.current, QSize(640, 480));
    QVERIFY(!description.still);
    QVERIFY(!description.busy);
    QCOMPARE(description.openError, 0);
    const auto& focus = description.controls[static_cast<std::size_t>(capture::Property::Focus)];
    QVERIFY(focus.present);
    QCOMPARE(focus.defaultValue, 10L);  // the built-in default, brought into the given range
    QCOMPARE(focus.value, 10L);
    QCOMPARE(focus.mode, capture::VirtualControl::Mode::None);
    QVERIFY(!description.controls[static_cast<std::size_t>(capture::Property::Brightness)].present);
}

void TestDeviceScan::commandLine()
{
    QSignalSpy spy(CaptureSystem::instance(), &CaptureSystem::deviceChanged);
    writeFile(m_file, R"({ "cameras": [ { "name": "A" } ] })");
    QString error;
    QVERIFY(CaptureSystem::instance()->configureFromArguments({"lumivo", "--virtual-cameras", m_file, "--virtual-camera"}, &error));
    QCOMPARE(virtualCameras().size(), 2);
    QVERIFY(CaptureSystem::instance()->configureFromArguments({"lumivo", "--virtual-cameras=" + m_file}, &error));
    QCOMPARE(virtualCameras().size(), 1);
    QVERIFY(CaptureSystem::instance()->configureFromArguments({"lumivo", "--unrelated"}, &error));

    QVERIFY(!CaptureSystem::instance()->configureFromArguments({"lumivo", "--virtual-cameras"}, &error));
    QVERIFY(error.contains("needs a file"));
    QVERIFY(!CaptureSystem::instance()->configureFromArguments({"lumivo", "--virtual-cameras", m_dir.filePath("missing.json")}, &error));
    QVERIFY(error.contains("does not exist"));
    writeFile(m_file, "{");
    QVERIFY(!CaptureSystem::instance()->configureFromArguments({"lumivo", "--virtual-cameras", m_file}, &error));
    QVERIFY(error.contains(m_file));
    QVERIFY(error.contains("not JSON"));
}

QTEST_MAIN(TestDeviceScan)
#include "tst_devicescan.moc"
