// The V4L2 backend against the kernel's vivid driver, run inside the test VM
// (scripts/vm/run-vm-tests.sh) as root: one webcam node plus a metadata node.
// Refuses to run elsewhere, since it unbinds the driver.

#include "capture/capturedevice.h"
#include "capturetest.h"
#include "capture/v4l2/v4l2backend.h"
#include "capture/v4l2/v4l2hotplugmonitor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

using namespace capture;

namespace {

const QString kVividPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video0");
const QString kMetaPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video1");

// Counts frames and keeps a copy of the latest one.
struct FrameCatcher
{
    std::mutex mutex;
    std::atomic<int> count{0};
    QByteArray last;
    RawFrame lastInfo;

    FrameSink sink()
    {
        return [this](const RawFrame& f) {
            std::lock_guard<std::mutex> lock(mutex);
            last = QByteArray(reinterpret_cast<const char*>(f.data), int(f.size));
            lastInfo = f;
            lastInfo.data = nullptr;
            ++count;
        };
    }
};

bool writeSysfs(const QString& file, const QByteArray& text)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(text) == text.size();
}

long readControlDirectly(quint32 id)
{
    const int fd = ::open("/dev/video0", O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return -1000000;
    v4l2_control c;
    std::memset(&c, 0, sizeof c);
    c.id = id;
    const long value = ::ioctl(fd, VIDIOC_G_CTRL, &c) == 0 ? c.value : -1000001;
    ::close(fd);
    return value;
}

// 75% colour bars as BT.601 limited-range Y'CbCr, left to right.
struct Bar
{
    const char* name;
    int r, g, b;
};
const Bar kBars[] = {{"white", 191, 191, 191}, {"yellow", 191, 191, 0}, {"cyan", 0, 191, 191}, {"green", 0, 191, 0},
                     {"magenta", 191, 0, 191}, {"red", 191, 0, 0},      {"blue", 0, 0, 191},  {"black", 0, 0, 0}};

void expectedYuv(const Bar& bar, int& y, int& u, int& v)
{
    y = qRound(16 + (65.481 * bar.r + 128.553 * bar.g + 24.966 * bar.b) / 255.0);
    u = qRound(128 + (-37.797 * bar.r - 74.203 * bar.g + 112.0 * bar.b) / 255.0);
    v = qRound(128 + (112.0 * bar.r - 93.786 * bar.g - 18.214 * bar.b) / 255.0);
}

// Log lines from any thread (QTest::ignoreMessage is not safe for messages that come
// from the streaming thread).
QMutex g_logMutex;
QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        QMutexLocker lock(&g_logMutex);
        g_log << text;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

bool logged(const QString& text)
{
    QMutexLocker lock(&g_logMutex);
    return g_log.contains(text);
}

} // namespace

class TestVmV4l2 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scanListsVividOnly();
    void surveysFormats();
    void setFormatRefusesChangedSizes();
    void streamsYuyvColourBars();
    void stopFromInsideTheSink();
    void busyDeviceFailsLikeACameraInUse();
    void controls();
    void driverErrorsAreSurvived();
    void graphDeliversUprightColourBars();
    void unplugMidStreamAndReplug();

private:
    std::unique_ptr<CaptureBackend> m_backend;
};

void TestVmV4l2::initTestCase()
{
    if (qgetenv("LUMIVO_VM") != "1")
        QSKIP("runs only inside the test VM (scripts/vm/run-vm-tests.sh)");
    QVERIFY2(QFile::exists(kVividPath), "vivid is not loaded");
    // The metadata node must exist for the scan test to mean anything.
    QVERIFY2(QFile::exists(kMetaPath), "vivid has no metadata capture node (node_types)");
    m_backend = createV4l2Backend();
    QVERIFY(m_backend);
    g_previousHandler = qInstallMessageHandler(recordMessage);
}

void TestVmV4l2::scanListsVividOnly()
{
    const QStringList nodes = QDir("/sys/class/video4linux").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    qDebug() << "video4linux nodes:" << nodes;
    QVERIFY(nodes.size() >= 2);

    const auto devices = m_backend->enumerate();
    for (const DeviceDescriptor& d : devices)
        qDebug() << "scan:" << d.friendlyName << d.devicePath << "vid" << d.vendorId << "pid" << d.productId << "serial" << d.serial;
    QCOMPARE(int(devices.size()), 1);  // the metadata node is no camera
    QCOMPARE(devices[0].devicePath, kVividPath);
    QVERIFY(devices[0].friendlyName.startsWith("vivid"));
    QVERIFY(devices[0].vendorId.isEmpty());  // a platform device has no USB parent
    QVERIFY(devices[0].serial.isEmpty());

    std::shared_ptr<CaptureDevice> meta;
    QVERIFY(dshow::FAILED(m_backend->open(kMetaPath, meta)));
    QVERIFY(!meta);
}

void TestVmV4l2::surveysFormats()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->descriptor().devicePath, kVividPath);
    const auto formats = device->formats();
    QMap<QString, QStringList> bySubtype;
    for (const FormatDescriptor& f : formats) {
        const QByteArray cc(reinterpret_cast<const char*>(&f.subtype), 4);
        bySubtype[QString::fromLatin1(cc)] << QString("%1x%2@%3").arg(f.width).arg(f.height).arg(f.fps);
        QVERIFY(f.width > 0 && f.height > 0);
        QVERIFY2(f.fps > 0, "every vivid size lists frame intervals");
        QVERIFY(f.pin == dshow::PinCategory::Capture);
    }
    for (auto it = bySubtype.cbegin(); it != bySubtype.cend(); ++it)
        qDebug() << "format" << it.key() << it.value().join(' ');
    auto has = [&](Subtype s, int w, int h) {
        return std::any_of(formats.begin(), formats.end(),
                           [&](const FormatDescriptor& f) { return f.subtype == s && f.width == w && f.height == h; });
    };
    QVERIFY(has(dshow::MEDIASUBTYPE_YUY2, 320, 180));
    QVERIFY(has(dshow::MEDIASUBTYPE_YUY2, 640, 360));
    QVERIFY(has(dshow::MEDIASUBTYPE_YUY2, 3840, 2160));
    QVERIFY(has(dshow::MEDIASUBTYPE_NV12, 640, 360));
    QVERIFY(has(dshow::MEDIASUBTYPE_UYVY, 320, 180));
    QVERIFY(!std::any_of(formats.begin(), formats.end(),
                         [](const FormatDescriptor& f) { return f.subtype == dshow::MEDIASUBTYPE_MJPG || f.subtype == 0; }));
    QVERIFY(!device->hasStillPin());
}

void TestVmV4l2::setFormatRefusesChangedSizes()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    FormatDescriptor cur;
    QCOMPARE(device->currentFormat(cur), dshow::S_OK);
    QCOMPARE(cur.subtype, dshow::MEDIASUBTYPE_YUY2);
    QCOMPARE(cur.width, 320);
    QCOMPARE(cur.height, 180);
    qDebug() << "current format after S_FMT: 320x180 at" << cur.fps << "fps";

    // vivid's webcam has a fixed size list: a size in between is changed, so refused.
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 500, 300)));
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_MJPG, 320, 180)));
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 0, 180)));
    QCOMPARE(device->currentFormat(cur), dshow::S_OK);  // a refusal leaves the format as it was
    QCOMPARE(cur.width, 320);
    QCOMPARE(cur.height, 180);

    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_NV12, 640, 360), dshow::S_OK);
    QCOMPARE(device->currentFormat(cur), dshow::S_OK);
    QCOMPARE(cur.subtype, dshow::MEDIASUBTYPE_NV12);
    QCOMPARE(cur.width, 640);
}

void TestVmV4l2::streamsYuyvColourBars()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    FrameCatcher catcher;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(device->start(catcher.sink()), dshow::S_OK);
    QVERIFY(device->isStreaming());
    QVERIFY(QTest::qWaitFor([&] { return catcher.count >= 10; }, 20000));
    const qint64 ms = timer.elapsed();
    QCOMPARE(device->stop(), dshow::S_OK);
    QVERIFY(!device->isStreaming());
    const int afterStop = catcher.count;
    QTest::qWait(300);
    QCOMPARE(int(catcher.count), afterStop);  // no callback once stop() has returned
    qDebug() << "YUYV 320x180:" << afterStop << "frames in" << ms << "ms";

    std::lock_guard<std::mutex> lock(catcher.mutex);
    QCOMPARE(catcher.lastInfo.subtype, dshow::MEDIASUBTYPE_YUY2);
    QCOMPARE(catcher.lastInfo.width, 320);
    QCOMPARE(catcher.lastInfo.height, 180);
    QCOMPARE(catcher.lastInfo.bytesPerLine, 640);
    QVERIFY(catcher.last.size() >= 640 * 180);
    QVERIFY(catcher.lastInfo.sampleTime >= 0.0);

    // The bottom rows are clear of vivid's text: eight bars of 40 pixels.
    const int row = 170;
    const auto* p = reinterpret_cast<const quint8*>(catcher.last.constData()) + row * 640;
    for (int i = 0; i < 8; ++i) {
        const int x = i * 40 + 20;  // even: Y0 U Y1 V
        const int y = p[x * 2], u = p[x * 2 + 1], v = p[x * 2 + 3];
        int ey, eu, ev;
        expectedYuv(kBars[i], ey, eu, ev);
        qDebug() << "bar" << kBars[i].name << "Y U V" << y << u << v << "expected" << ey << eu << ev;
        QVERIFY2(qAbs(y - ey) <= 6 && qAbs(u - eu) <= 6 && qAbs(v - ev) <= 6, kBars[i].name);
    }
}

void TestVmV4l2::stopFromInsideTheSink()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    std::atomic<int> frames{0};
    CaptureDevice* raw = device.get();
    QCOMPARE(device->start([&](const RawFrame&) {
        if (++frames == 3)
            raw->stop();  // must not wait for itself
    }), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return !device->isStreaming(); }, 20000));
    QCOMPARE(int(frames), 3);
    // The ended session is cleaned up by the next start.
    FrameCatcher catcher;
    QCOMPARE(device->start(catcher.sink()), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return catcher.count >= 2; }, 20000));
    QCOMPARE(device->stop(), dshow::S_OK);
    QCOMPARE(device->stop(), dshow::S_OK);  // idempotent
}

void TestVmV4l2::busyDeviceFailsLikeACameraInUse()
{
    std::shared_ptr<CaptureDevice> first, second;
    QCOMPARE(m_backend->open(kVividPath, first), dshow::S_OK);
    QCOMPARE(m_backend->open(kVividPath, second), dshow::S_OK);  // opening alone is allowed
    QCOMPARE(first->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    FrameCatcher catcher;
    QCOMPARE(first->start(catcher.sink()), dshow::S_OK);
    QCOMPARE(second->start([](const RawFrame&) {}), dshow::E_DEVICE_BUSY);
    QCOMPARE(second->setFormat(dshow::MEDIASUBTYPE_YUY2, 640, 360), dshow::E_DEVICE_BUSY);
    QVERIFY(!second->isStreaming());
    QVERIFY(QTest::qWaitFor([&] { return catcher.count >= 2; }, 20000));
    QCOMPARE(first->stop(), dshow::S_OK);
    // Once the first has let go, the second may stream.
    FrameCatcher other;
    QCOMPARE(second->start(other.sink()), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return other.count >= 2; }, 20000));
    QCOMPARE(second->stop(), dshow::S_OK);
}

void TestVmV4l2::controls()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    PropertyRange range;
    for (Property missing : {Property::Exposure, Property::Focus, Property::WhiteBalance, Property::Sharpness}) {
        QCOMPARE(device->getRange(missing, range), dshow::E_PROP_ID_UNSUPPORTED);
        QCOMPARE(device->set(missing, 1, 2), dshow::E_PROP_ID_UNSUPPORTED);
    }
    for (Property present : {Property::Brightness, Property::Contrast, Property::Saturation}) {
        QCOMPARE(device->getRange(present, range), dshow::S_OK);
        QVERIFY(range.max > range.min);
        QCOMPARE(range.capsFlags, 2L);  // manual only: vivid has no automatic mode for these
    }
    QCOMPARE(device->getRange(Property::Brightness, range), dshow::S_OK);
    qDebug() << "brightness range" << range.min << range.max << "step" << range.step << "default" << range.defaultValue;

    const long target = range.min + (range.max - range.min) * 3 / 4;
    QCOMPARE(device->set(Property::Brightness, target, 2), dshow::S_OK);
    QCOMPARE(readControlDirectly(V4L2_CID_BRIGHTNESS), target);  // reached the driver
    long value = 0, flags = 0;
    QCOMPARE(device->get(Property::Brightness, value, flags), dshow::S_OK);
    QCOMPARE(value, target);
    QCOMPARE(flags, 2L);
    QVERIFY(dshow::FAILED(device->set(Property::Brightness, 0, 1)));  // no automatic brightness
    QVERIFY(dshow::FAILED(device->set(Property::Brightness, range.max + 1000, 2)));
    QCOMPARE(readControlDirectly(V4L2_CID_BRIGHTNESS), target);

    std::vector<dshow::DeviceControl> all;
    QCOMPARE(device->controls(all), dshow::S_OK);
    QStringList names;
    for (const auto& c : all)
        names << c.name;
    qDebug() << "controls:" << names.join(", ");
    auto find = [&](quint32 id) { return std::find_if(all.begin(), all.end(), [&](const dshow::DeviceControl& c) { return c.id == id; }); };
    QVERIFY(find(V4L2_CID_BRIGHTNESS) != all.end());
    QCOMPARE(find(V4L2_CID_BRIGHTNESS)->value, target);
    QVERIFY(find(V4L2_CID_HUE) != all.end());
    QVERIFY(find(V4L2_CID_AUTOGAIN) != all.end());
    QCOMPARE(find(V4L2_CID_AUTOGAIN)->kind, dshow::DeviceControl::Kind::Boolean);
    const auto menu = std::find_if(all.begin(), all.end(), [](const dshow::DeviceControl& c) {
        return c.kind == dshow::DeviceControl::Kind::Menu && !c.menu.empty();
    });
    QVERIFY2(menu != all.end(), "vivid offers menu controls (test pattern)");
    qDebug() << "menu" << menu->name << "has" << menu->menu.size() << "items, first" << menu->menu.front().second;

    const auto contrast = find(V4L2_CID_CONTRAST);
    QVERIFY(contrast != all.end());
    const long c = contrast->min + 1;
    QCOMPARE(device->setControl(V4L2_CID_CONTRAST, c), dshow::S_OK);
    QCOMPARE(readControlDirectly(V4L2_CID_CONTRAST), c);
    QCOMPARE(device->setControl(V4L2_CID_CONTRAST, contrast->defaultValue), dshow::S_OK);
    QCOMPARE(device->set(Property::Brightness, range.defaultValue, 2), dshow::S_OK);
}

void TestVmV4l2::driverErrorsAreSurvived()
{
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    std::vector<dshow::DeviceControl> all;
    QCOMPARE(device->controls(all), dshow::S_OK);
    auto idOf = [&](const QString& name) {
        for (const auto& c : all)
            if (c.name == name)
                return c.id;
        return quint32(0);
    };
    const quint32 corrupt = idOf("Inject V4L2_BUF_FLAG_ERROR");
    const quint32 fatal = idOf("Inject Fatal Streaming Error");
    const quint32 reqbufs = idOf("Inject VIDIOC_REQBUFS Error");
    const quint32 streamon = idOf("Inject VIDIOC_STREAMON Error");
    QVERIFY(corrupt && fatal && reqbufs && streamon);

    // A start the driver fails at any step reports failure and leaves the device usable.
    for (quint32 inject : {reqbufs, streamon}) {
        QCOMPARE(device->setControl(inject, 0), dshow::S_OK);
        QVERIFY(dshow::FAILED(device->start([](const RawFrame&) {})));
        QVERIFY(!device->isStreaming());
    }

    // A buffer the driver marks as corrupt is dropped; the stream goes on.
    FrameCatcher catcher;
    QCOMPARE(device->start(catcher.sink()), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return catcher.count >= 3; }, 20000));
    QCOMPARE(device->setControl(corrupt, 0), dshow::S_OK);
    const int before = catcher.count;
    QVERIFY(QTest::qWaitFor([&] { return catcher.count >= before + 5; }, 20000));
    QVERIFY(logged("V4L2: dropping a frame the driver marked corrupt"));
    QVERIFY(device->isStreaming());

    // A fatal queue error ends the stream by itself; a new start works.
    QCOMPARE(device->setControl(fatal, 0), dshow::S_OK);
    QVERIFY2(QTest::qWaitFor([&] { return !device->isStreaming(); }, 10000), "the stream did not end on a fatal error");
    QCOMPARE(device->stop(), dshow::S_OK);
    FrameCatcher again;
    QCOMPARE(device->start(again.sink()), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return again.count >= 3; }, 20000));
    QCOMPARE(device->stop(), dshow::S_OK);
}

// The way the camera code reaches vivid: enumerator, property bag, graph with a
// grabber asking for RGB32, properties through the platform interfaces.
void TestVmV4l2::graphDeliversUprightColourBars()
{
    using namespace dshow;
    std::shared_ptr<ICreateDevEnum> devEnum;
    QCOMPARE(CoCreateInstance(CLSID::SystemDeviceEnum, devEnum), S_OK);
    std::shared_ptr<IEnumMoniker> monikers;
    QCOMPARE(devEnum->CreateClassEnumerator(DeviceCategory::VideoInputDevice, monikers), S_OK);
    QStringList seen;
    std::shared_ptr<IMoniker> moniker;
    while (monikers->Next(moniker) == S_OK) {
        std::shared_ptr<IPropertyBag> bag;
        QCOMPARE(moniker->BindToStorage(bag), S_OK);
        QString name, path;
        QCOMPARE(bag->Read("FriendlyName", name), S_OK);
        QCOMPARE(bag->Read("DevicePath", path), S_OK);
        seen << name + " " + path;
    }
    qDebug() << "enumerator:" << seen;
    QCOMPARE(seen, QStringList{"vivid " + kVividPath});

    TestGraph g;
    QCOMPARE(g.open(kVividPath), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_YUY2, 320, 180), S_OK);
    QCOMPARE(g.connect(MEDIASUBTYPE_RGB32), S_OK);
    FrameCollector frames;
    QCOMPARE(g.grabber->SetCallback(&frames, 1), S_OK);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(5, 20000));
    QCOMPARE(g.control->Stop(), S_OK);
    const QByteArray last = frames.last();
    QCOMPARE(last.size(), 320 * 180 * 4);
    const QImage picture = uprightImage(last, 320, 180);
    for (int i = 0; i < 8; ++i) {
        const QRgb got = picture.pixel(i * 40 + 20, 170);  // near the bottom, clear of the text
        const QRgb want = qRgb(kBars[i].r, kBars[i].g, kBars[i].b);
        qDebug() << "RGB32 bar" << kBars[i].name << qRed(got) << qGreen(got) << qBlue(got);
        QVERIFY2(colourDistance(got, want) <= 8, kBars[i].name);
    }
    // Upright means vivid's text overlay sits at the top: count pixels off the bars.
    auto offBars = [&](int fromRow, int toRow) {
        int n = 0;
        for (int y = fromRow; y < toRow; ++y)
            for (int x = 0; x < 320; ++x) {
                if (x % 40 < 4 || x % 40 >= 36)
                    continue;  // bar edges blend through the chroma subsampling
                const Bar& bar = kBars[x / 40];
                n += colourDistance(picture.pixel(x, y), qRgb(bar.r, bar.g, bar.b)) > 40;
            }
        return n;
    };
    // The text reaches down to about row 144 at this size.
    const int top = offBars(0, 30), bottom = offBars(150, 180);
    qDebug() << "pixels off the bars: top 30 rows" << top << "bottom 30 rows" << bottom;
    QVERIFY(top > 500);
    QVERIFY(bottom < 50);

    std::shared_ptr<IAMVideoProcAmp> procAmp;
    QCOMPARE(QueryInterface(g.device, procAmp), S_OK);
    long min, max, step, def, caps;
    QCOMPARE(procAmp->GetRange(VideoProcAmp_Brightness, min, max, step, def, caps), S_OK);
    QCOMPARE(procAmp->Set(VideoProcAmp_Brightness, min + 10, VideoProcAmp_Flags_Manual), S_OK);
    QCOMPARE(readControlDirectly(V4L2_CID_BRIGHTNESS), min + 10);
    QCOMPARE(procAmp->Set(VideoProcAmp_Brightness, def, VideoProcAmp_Flags_Manual), S_OK);
    QVERIFY(FAILED(procAmp->GetRange(VideoProcAmp_WhiteBalance, min, max, step, def, caps)));
    std::shared_ptr<IAMCameraControl> cameraControl;
    if (SUCCEEDED(QueryInterface(g.device, cameraControl))) {
        QVERIFY(FAILED(cameraControl->GetRange(CameraControl_Exposure, min, max, step, def, caps)));
        QVERIFY(FAILED(cameraControl->GetRange(CameraControl_Focus, min, max, step, def, caps)));
    }
}

void TestVmV4l2::unplugMidStreamAndReplug()
{
    auto* backend = static_cast<V4l2Backend*>(m_backend.get());
    // Raw kernel uevents without a udev daemon; the udev monitor when the runner started one.
    const bool udev = qgetenv("LUMIVO_VM_UDEV") == "1";
    QCOMPARE(backend->monitor()->source(), udev ? V4l2HotplugMonitor::Source::Udev : V4l2HotplugMonitor::Source::Kernel);
    QSignalSpy spy(m_backend.get(), &CaptureBackend::deviceChanged);

    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    FrameCatcher catcher;
    QCOMPARE(device->start(catcher.sink()), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return catcher.count >= 3; }, 20000));

    QElapsedTimer timer;
    timer.start();
    QVERIFY(writeSysfs("/sys/bus/platform/drivers/vivid/unbind", "vivid.0"));
    QVERIFY2(QTest::qWaitFor([&] { return !device->isStreaming(); }, 10000), "the stream did not end after the unplug");
    qDebug() << "stream ended" << timer.elapsed() << "ms after the unplug, after" << int(catcher.count) << "frames";
    QVERIFY(QTest::qWaitFor([&] { return spy.count() >= 1; }, 10000));
    QTest::qWait(500);  // the metadata node's removal arrives too, and must not be reported
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
    QCOMPARE(spy.at(0).at(1).toString(), kVividPath);

    timer.restart();
    QCOMPARE(device->stop(), dshow::S_OK);
    QVERIFY(dshow::FAILED(device->start([](const RawFrame&) {})));
    PropertyRange range;
    QVERIFY(dshow::FAILED(device->getRange(Property::Brightness, range)));
    device.reset();
    qDebug() << "stop and close of the vanished device took" << timer.elapsed() << "ms";
    QVERIFY(m_backend->enumerate().empty());
    std::shared_ptr<CaptureDevice> gone;
    QVERIFY(dshow::FAILED(m_backend->open(kVividPath, gone)));

    spy.clear();
    QVERIFY(writeSysfs("/sys/bus/platform/drivers/vivid/bind", "vivid.0"));
    QVERIFY(QTest::qWaitFor([&] { return spy.count() >= 1; }, 10000));
    QTest::qWait(500);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(spy.at(0).at(1).toString(), kVividPath);
    QCOMPARE(int(m_backend->enumerate().size()), 1);

    QCOMPARE(m_backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    FrameCatcher again;
    QCOMPARE(device->start(again.sink()), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return again.count >= 3; }, 20000));
    QCOMPARE(device->stop(), dshow::S_OK);
}

QTEST_GUILESS_MAIN(TestVmV4l2)
#include "tst_vm_v4l2.moc"
