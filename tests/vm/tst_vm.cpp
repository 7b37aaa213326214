// What only the kernel's vivid driver shows, run as root inside the test VM
// (scripts/vm/run-vm-tests.sh): errors it injects on request, a control of every type,
// and its known picture.
// Discovery and hot-plug are the UVC test's, on a real USB camera driver.
#include "camera/icamera.h"
#include "capture/controlwriter.h"
#include "capture/v4l2/v4l2backend.h"
#include "frames.h"
#include "logcapture.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

using namespace capture;

namespace {

const QString kVividPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video0");

// vivid's 75% colour bars, left to right.
const QRgb kBars[] = {qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                      qRgb(191, 0, 191),   qRgb(191, 0, 0),   qRgb(0, 0, 191),   qRgb(0, 0, 0)};

// Pixels off the bars in the given rows of an upright picture; vivid's text sits at the top.
int offBars(const QImage& picture, int fromRow, int toRow)
{
    const int barWidth = picture.width() / 8;
    int n = 0;
    for (int y = fromRow; y < toRow; ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (x % barWidth >= 4 && x % barWidth < barWidth - 4)  // edges blend through chroma subsampling
                n += colourDistance(picture.pixel(x, y), kBars[x / barWidth]) > 40;
    return n;
}

} // namespace

class TestVm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qgetenv("LUMIVO_VM") != "1" || qgetenv("LUMIVO_VM_UDEV") == "1")
            QSKIP("runs inside the test VM, in the pass with raw uevents (nothing here depends on how devices appear)");
        QVERIFY2(QFile::exists(kVividPath), "vivid is not loaded");
        registerCameraMetaTypes();
    }
    void refusalsAndDriverErrors();
    void everyControlType();
    void facadeShowsUprightBars();
    // The program's tour on vivid (in its default language; a second one would not fit a
    // slow VM's time limit), for its controls dialog; the pictures leave through LUMIVO_VM_OUT.
    void tour()
    {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(qEnvironmentVariable("LUMIVO_APP"), {"--screenshot-tour", qEnvironmentVariable("LUMIVO_VM_OUT") + "/vivid-tour"});
        QVERIFY(run.waitForFinished(55000) && run.exitCode() == 0);
    }
};

// vivid has a control of every type: each is listed with a type and a sane range, one
// write of each lands, and another handle's write arrives as an event.
void TestVm::everyControlType()
{
    std::unique_ptr<CaptureBackend> backend = createV4l2Backend();
    std::shared_ptr<CaptureDevice> device, other;
    QCOMPARE(backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(backend->open(kVividPath, other), dshow::S_OK);
    std::vector<dshow::DeviceControl> all;
    QCOMPARE(device->controls(all), dshow::S_OK);
    using K = dshow::DeviceControl::Kind;
    QSet<int> kinds;
    for (const dshow::DeviceControl& c : all) {
        kinds << int(c.kind);
        qInfo().noquote() << QString("0x%1 %2 kind %3 %4..%5 step %6 = %7").arg(c.id, 0, 16).arg(c.name).arg(int(c.kind))
                                 .arg(c.min).arg(c.max).arg(c.step).arg(c.kind == K::String ? c.text : QString::number(c.value));
        QVERIFY2(c.min <= c.max && (c.kind == K::Bitmask || c.kind == K::String || c.kind == K::Class
                                    || (c.defaultValue >= c.min && c.defaultValue <= c.max)), qPrintable(c.name));
    }
    QCOMPARE(kinds.size(), 9);  // every kind the dialog knows
    std::mutex mutex;
    QList<QPair<quint32, qint64>> events;
    device->setControlListener([&](const dshow::ControlEvent& e) { std::lock_guard<std::mutex> lock(mutex); events << qMakePair(e.id, e.value); });
    for (const char* name : {"Integer 32 Bits", "Integer 64 Bits", "Boolean", "Menu", "Integer Menu", "Bitmask", "String", "Button"}) {
        const auto c = *std::find_if(all.begin(), all.end(), [&](const dshow::DeviceControl& d) { return d.name == name; });
        const qint64 value = c.kind == K::Bitmask ? c.value ^ (c.max & -c.max) : c.kind == K::Menu || c.kind == K::IntegerMenu
            ? c.menu.back().first : c.value == c.max ? c.min : c.max;
        if (c.kind == K::String) {
            QCOMPARE(ControlWriter::writeText(*other, c.id, "lu"), dshow::S_OK);
        } else {
            QCOMPARE(ControlWriter::write(*other, c.id, value), dshow::S_OK);
            if (c.kind == K::Button)
                continue;
            const bool heard = QTest::qWaitFor([&] { std::lock_guard<std::mutex> lock(mutex); return events.contains(qMakePair(c.id, value)); }, 2000);
            std::lock_guard<std::mutex> lock(mutex);
            QVERIFY2(heard, qPrintable(QString("%1 = %2; heard %3 events, last %4 = %5").arg(name).arg(value).arg(events.size())
                                           .arg(events.isEmpty() ? 0 : events.last().first, 0, 16).arg(events.isEmpty() ? 0 : events.last().second)));
        }
        dshow::DeviceControl now;
        QCOMPARE(device->control(c.id, now), dshow::S_OK);
        QVERIFY2(c.kind == K::String ? now.text == "lu" : now.value == value, name);
    }
    device->setControlListener(nullptr);
}

void TestVm::refusalsAndDriverErrors()
{
    std::unique_ptr<CaptureBackend> backend = createV4l2Backend();
    std::shared_ptr<CaptureDevice> device;
    QCOMPARE(backend->open(kVividPath, device), dshow::S_OK);
    QCOMPARE(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 320, 180), dshow::S_OK);
    // vivid's webcam has a fixed size list: a size in between would be changed, so it is refused.
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_YUY2, 500, 300)));
    QVERIFY(dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_MJPG, 320, 180)));
    FormatDescriptor cur;
    QCOMPARE(device->currentFormat(cur), dshow::S_OK);  // a refusal leaves the format as it was
    QVERIFY(cur.subtype == dshow::MEDIASUBTYPE_YUY2 && cur.width == 320 && cur.height == 180);
    std::vector<dshow::DeviceControl> all;
    QCOMPARE(device->controls(all), dshow::S_OK);
    const auto idOf = [&](const char* name) {
        const auto it = std::find_if(all.begin(), all.end(), [&](const dshow::DeviceControl& c) { return c.name == name; });
        return it == all.end() ? quint32(0) : it->id;
    };
    const quint32 corrupt = idOf("Inject V4L2_BUF_FLAG_ERROR"), fatal = idOf("Inject Fatal Streaming Error");
    const quint32 reqbufs = idOf("Inject VIDIOC_REQBUFS Error"), streamon = idOf("Inject VIDIOC_STREAMON Error");
    QVERIFY(corrupt && fatal && reqbufs && streamon);
    // A start the driver fails at any step reports failure and leaves the device usable.
    for (quint32 inject : {reqbufs, streamon}) {
        QCOMPARE(device->setControl(inject, 0), dshow::S_OK);
        QVERIFY(dshow::FAILED(device->start([](const RawFrame&) {})));
        QVERIFY(!device->isStreaming());
    }
    // A buffer the driver marks as corrupt is dropped; the stream goes on.
    LogCapture log;
    std::atomic<int> caught{0};
    const auto waitFor = [&](int n) { return QTest::qWaitFor([&] { return caught >= n; }, 20000); };
    QCOMPARE(device->start([&](const RawFrame&) { ++caught; }), dshow::S_OK);
    QVERIFY(waitFor(3));
    QCOMPARE(device->setControl(corrupt, 0), dshow::S_OK);
    QVERIFY(waitFor(caught + 5));
    QVERIFY(log.contains("V4L2: dropping a frame the driver marked corrupt"));
    QVERIFY(device->isStreaming());
    // A fatal queue error ends the stream by itself; a new start works, and a stop from
    // inside the sink does not wait for itself.
    QCOMPARE(device->setControl(fatal, 0), dshow::S_OK);
    QVERIFY2(QTest::qWaitFor([&] { return !device->isStreaming(); }, 10000), "the stream did not end on a fatal error");
    QCOMPARE(device->stop(), dshow::S_OK);
    std::atomic<int> frames{0};
    QCOMPARE(device->start([&](const RawFrame&) { if (++frames == 3) device->stop(); }), dshow::S_OK);
    QVERIFY(QTest::qWaitFor([&] { return !device->isStreaming(); }, 20000));
    QCOMPARE(int(frames), 3);
}

// The whole path the program uses on YUYV: facade, graph, decode, upright copy; opened
// while another program streams, started by itself once it exits; a fatal error the
// driver injects is heard at once and the stream started again.
void TestVm::facadeShowsUprightBars()
{
    ICamera* facade = ICamera::instance();
    QSignalSpy frames(facade, &ICamera::sgPreviewImage), states(facade, &ICamera::sgStreamState);
    const auto lastState = [&] { return states.isEmpty() ? IStreamState() : states.last().at(0).value<IStreamState>(); };
    QProcess holder;
    holder.setStandardOutputFile(QProcess::nullDevice());
    holder.start(qEnvironmentVariable("LUMIVO_V4L2_CTL"), {"-d", "/dev/" + kVividPath.section('/', -1), "--stream-mmap"});
    QTest::qWait(1000);
    ICameraInfo info;
    info.strDevicePath = kVividPath;
    info.resolution.size = info.resolution.captureSize = QSize(640, 360);
    facade->openCamera(info, false);
    QTRY_COMPARE_WITH_TIMEOUT(lastState().holders, QStringList{"v4l2-ctl"}, 20000);
    holder.kill();
    QVERIFY(holder.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 20000);
    const QImage picture = facade->photo();
    QCOMPARE(picture.size(), QSize(640, 360));
    // Upright: the text overlay is in the top rows, the bottom rows are clean bars.
    const int top = offBars(picture, 0, 60), bottom = offBars(picture, 300, 360);
    QVERIFY2(top > 1000 && bottom < 100, qPrintable(QString("off the bars: top %1, bottom %2").arg(top).arg(bottom)));
    std::shared_ptr<CaptureDevice> other;
    std::vector<dshow::DeviceControl> all;
    QVERIFY(createV4l2Backend()->open(kVividPath, other) == dshow::S_OK && other->controls(all) == dshow::S_OK);
    for (const dshow::DeviceControl& c : all)
        if (c.name == "Inject Fatal Streaming Error")
            QCOMPARE(other->setControl(c.id, 0), dshow::S_OK);
    QTRY_COMPARE_WITH_TIMEOUT(lastState().kind, IStreamState::Failed, 5000);
    frames.clear();
    QTRY_VERIFY_WITH_TIMEOUT(lastState().kind == IStreamState::Streaming && frames.count() >= 3, 20000);
    QVERIFY(facade->closeCamera());
}

QTEST_MAIN(TestVm)
#include "tst_vm.moc"
