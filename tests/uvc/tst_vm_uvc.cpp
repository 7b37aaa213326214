// The whole program against emulated USB cameras (uvc_emulator) on the kernel's own
// uvcvideo driver, inside the test VM. Control values are read back from the emulator,
// that is from the "hardware", not from our own records. With udevd (LUMIVO_VM_UDEV=1)
// only discovery and hot-plug run again: the rest does not depend on how devices appear.
#include "logcapture.h"
#include "mainwindow.h"

#include "camera/icamera.h"
#include "widgets/icamerabutton.h"
#include "widgets/islider.h"
#include "widgets/iswitchbutton.h"
#include "app/icamerapage.h"
#include "widgets/icamerapreview.h"
#include "app/imainpage.h"
#include "capture/iwinusbdevice.h"
#include "app/mainframe.h"

#include <QComboBox>
#include <QLocalSocket>
#include <QProcess>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

void vivid(const char* action)
{
    QFile file(QString("/sys/bus/platform/drivers/vivid/") + action);
    if (file.open(QIODevice::WriteOnly))
        file.write("vivid.0");
}
bool udevPass() { return qEnvironmentVariable("LUMIVO_VM_UDEV") == "1"; }
#define SKIP_UNDER_UDEV()                                                                                              \
    if (udevPass())                                                                                                    \
    QSKIP("checked in the pass with raw uevents")

// One emulated camera, plugged in while the object lives.
struct Emulator
{
    QString control;
    QProcess process;
    bool attached = false;

    Emulator(const QString& model, const QString& name) : control(QDir::tempPath() + "/uvc-" + name)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("LUMIVO_UVC_EMULATOR"), {model, control});
        attached = QTest::qWaitFor([&] { return process.canReadLine(); }, 30000) && process.readLine().startsWith("attached");
    }
    ~Emulator() { ask("unplug"), process.kill(), process.waitForFinished(); }
    QByteArray ask(const QByteArray& command) const
    {
        QLocalSocket socket;
        socket.connectToServer(control);
        if (socket.waitForConnected(3000) && socket.write(command + "\n") > 0)
            while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
            }
        return socket.readLine().trimmed();
    }
    // What the camera holds: a control value, "format" or "size".
    QString value(const QString& key) const
    {
        return QString::fromUtf8(ask("values")).split(' ').filter(QRegularExpression('^' + key + '=')).value(0).section('=', 1);
    }
};

QList<ICameraInfo> camerasOf(const QString& vid)
{
    QList<ICameraInfo> found;
    for (const ICameraInfo& info : ICamera::instance()->cameraList(0))
        if (info.strVid == vid)
            found << info;
    return found;
}

} // namespace

class TestVmUvc;
using Action = std::function<void(TestVmUvc*)>;
Q_DECLARE_METATYPE(Action)

class TestVmUvc : public QObject
{
    Q_OBJECT

    MainFrame* frame = nullptr;
    ICameraPage* page = nullptr;
    std::unique_ptr<Emulator> designated;
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<QSignalSpy> plugs;

    ICameraButton* tileOf(const QString& vid) const
    {
        for (ICameraButton* tile : frame->mainPage()->cameraButtons())
            if (tile->cameraInfo.strVid == vid)
                return tile;
        return nullptr;
    }
    // Opens a camera with a click on its tile, and waits for pictures.
    void open(const QString& vid)
    {
        QTRY_VERIFY_WITH_TIMEOUT(tileOf(vid), 20000);
        QSignalSpy frames(ICamera::instance(), &ICamera::sgPreviewImage);
        tileOf(vid)->click();
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, 30000);
    }
    QSize lastFrameSize()
    {
        QSignalSpy frames(ICamera::instance(), &ICamera::sgPreviewImage);
        return frames.wait(10000) ? ICamera::instance()->photo().size() : QSize();  // the preview is scaled
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("LUMIVO_VM") != "1")
            QSKIP("runs only inside the test VM");
        // Only emulated cameras, so that the program's first camera is one of ours.
        vivid("unbind");
        designated = std::make_unique<Emulator>("designated", "designated");
        QVERIFY(designated->attached);
        log = std::make_unique<LogCapture>();
        frame = MainWindow::create();
        page = frame->cameraPage();
        for (QWidget* w : QApplication::allWidgets())
            if (auto* watcher = qobject_cast<IWinUsbDevice*>(w))
                plugs = std::make_unique<QSignalSpy>(watcher, &IWinUsbDevice::connectionChanged);
        QVERIFY(plugs);
    }
    void cleanup()
    {
        if (QTest::currentTestFailed())  // what the program said, to see why
            std::fprintf(stderr, "%s\n", qPrintable(log->lines().mid(log->lines().size() - 60).join('\n')));
    }
    void cleanupTestCase()
    {
        ICamera::instance()->closeCamera();
        designated.reset();
        vivid("bind");
    }

    void discoveryReadsTheUsbParent()
    {
        // One capture node per camera: the metadata node beside it is no camera.
        QTRY_COMPARE_WITH_TIMEOUT(camerasOf("1209").size(), 1, 20000);
        const ICameraInfo info = camerasOf("1209").first();
        QCOMPARE(QStringList({info.strPid, info.strSerial, info.strDisplayName}),
                 QStringList({"4C56", "LV0042", "Lumivo Cam #1"}));
        QTRY_VERIFY_WITH_TIMEOUT(tileOf("1209"), 20000);
        if (udevPass()) {
            const QString link = "/dev/v4l/by-id/usb-Lumivo_Lumivo_Cam_LV0042-video-index0";
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), 10000);
            QCOMPARE(QFileInfo(link).canonicalFilePath(), "/dev/" + info.strDevicePath.section('/', -1));
            return;
        }
        // Two of one name: the " #n" ordinal tells them apart; no serial there.
        Emulator first("ordinary", "ordinary1"), second("ordinary", "ordinary2");
        QVERIFY(first.attached && second.attached);
        QTRY_COMPARE_WITH_TIMEOUT(camerasOf("0BDA").size(), 2, 20000);
        QStringList names;
        for (const ICameraInfo& info : camerasOf("0BDA"))
            names << info.strDisplayName + "/" + info.strSerial;
        QCOMPARE(names, QStringList({"Integrated Camera: Integrated C #1/", "Integrated Camera: Integrated C #2/"}));
        // An ordinary camera gets neither the Filter tab nor a restricted resolution list;
        // a resolution change (small sizes here, to be quick) reopens it at the new size.
        open("0BDA");
        QCOMPARE(page->resolutionBox()->count(), 4);
        QVERIFY(!page->button(ICameraPage::KeyFilterTab)->isVisible());
        page->resolutionBox()->setCurrentText("640x480");
        QTRY_COMPARE_WITH_TIMEOUT(lastFrameSize(), QSize(640, 480), 30000);
        QStringList held{first.value("size"), second.value("size")};  // the other one never streamed
        held.sort();
        QCOMPARE(held, QStringList({"1280x720", "640x480"}));
        page->button(ICameraPage::KeyBack)->click();
    }

    void openChoosesMjpg()
    {
        SKIP_UNDER_UDEV();
        open("1209");
        QVERIFY(page->button(ICameraPage::KeyFilterTab)->isVisible());
        QStringList texts, sizes;
        for (int i = 0; i < page->resolutionBox()->count(); ++i)
            texts << page->resolutionBox()->itemText(i);
        QCOMPARE(texts, QStringList({"1280x720", "1920x1080"}));
        // MJPG over YUY2 (160x120 is YUY2 only), sorted although the camera lists them unsorted.
        for (const CameraResolution& r : ICamera::instance()->resolutions())
            sizes << QString("%1x%2").arg(r.size.width()).arg(r.size.height());
        QCOMPARE(sizes, QStringList({"320x240", "640x480", "1280x720", "1920x1080"}));
        QCOMPARE(designated->value("format"), QString("MJPG"));
        QCOMPARE(lastFrameSize(), QSize(1280, 720));
    }

    void controlsAreReadFromTheCamera_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QList<int>>("range");  // min, max, default (the value at power-on)
        QTest::addColumn<bool>("automatic");
        QTest::newRow("brightness") << int(CameraParameters::Brightness) << QList<int>{-64, 64, 0} << false;
        QTest::newRow("contrast") << int(CameraParameters::Contrast) << QList<int>{0, 100, 50} << false;
        QTest::newRow("saturation") << int(CameraParameters::Saturation) << QList<int>{0, 100, 64} << false;
        QTest::newRow("sharpness") << int(CameraParameters::Sharpness) << QList<int>{0, 7, 3} << false;
        QTest::newRow("exposure") << int(CameraParameters::Exposure) << QList<int>{3, 2047, 157} << true;
        QTest::newRow("focus") << int(CameraParameters::Focus) << QList<int>{0, 250, 0} << true;
        QTest::newRow("white balance") << int(CameraParameters::WhiteBalance) << QList<int>{2800, 6500, 4600} << true;
    }
    void controlsAreReadFromTheCamera()
    {
        SKIP_UNDER_UDEV();
        QFETCH(int, slot);
        QFETCH(QList<int>, range);
        QFETCH(bool, automatic);
        const CameraParameter p = ICamera::instance()->parameters()[slot];
        QCOMPARE(QList<int>({p.min.toInt(), p.max.toInt(), p.defaultValue.toInt(), p.value.toInt()}), range << range[2]);
        QCOMPARE(p.isAuto, automatic);
    }

    void writesLandInTheCamera_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("expected");  // name=value pairs the camera must then hold
        using A = Action;
        using P = ICameraPage;
        auto slider = [](ISlider* (P::*which)() const, int v) { return A([=](TestVmUvc* t) { (t->page->*which)()->setValue(v); }); };
        auto toggle = [](int key, bool on) {
            return A([=](TestVmUvc* t) { qobject_cast<ISwitchButton*>(t->page->button(key))->setStatus(on); });
        };
        auto look = [](int key) { return A([=](TestVmUvc* t) { t->page->applyFilter(key); }); };
        QTest::newRow("exposure manual") << toggle(P::KeyAutoExposure, false) << "auto_exposure=1";
        QTest::newRow("exposure slider") << slider(&P::exposureSlider, 500) << "exposure=500";
        QTest::newRow("exposure auto") << toggle(P::KeyAutoExposure, true) << "auto_exposure=8";
        QTest::newRow("focus manual") << toggle(P::KeyAutoFocus, false) << "focus_auto=0";
        QTest::newRow("focus slider") << slider(&P::focusSlider, 120) << "focus=120";
        QTest::newRow("white balance manual") << toggle(P::KeyAutoWhiteBalance, false) << "white_balance_auto=0";
        QTest::newRow("white balance slider") << slider(&P::whiteBalanceSlider, 3200) << "white_balance=3200";
        QTest::newRow("brightness") << slider(&P::brightnessSlider, -20) << "brightness=-20";
        QTest::newRow("contrast") << slider(&P::contrastSlider, 70) << "contrast=70";
        QTest::newRow("saturation") << slider(&P::saturationSlider, 90) << "saturation=90";
        QTest::newRow("restore default") << A([](TestVmUvc* t) { t->page->button(P::KeyRestoreDefault)->click(); })
                                         << "brightness=0 contrast=50 saturation=64 focus=0 white_balance=4600";
        // The looks' sharpness (32, 40) and Film's 7000 K lie beyond this camera: the nearest lands.
        QTest::newRow("Original") << look(P::KeyFilterOriginal) << "brightness=32 contrast=32 saturation=32 sharpness=7 white_balance_auto=1";
        QTest::newRow("Bright") << look(P::KeyFilterBright) << "brightness=45 contrast=40 saturation=32 white_balance_auto=1";
        QTest::newRow("Blossom") << look(P::KeyFilterBlossom) << "brightness=32 contrast=32 white_balance_auto=0 white_balance=3800";
        QTest::newRow("Forest") << look(P::KeyFilterForest) << "contrast=25 saturation=35 white_balance_auto=0 white_balance=3600";
        QTest::newRow("Film") << look(P::KeyFilterFilm) << "contrast=32 saturation=25 sharpness=7 white_balance=6500";
        QTest::newRow("Mono") << look(P::KeyFilterMono) << "saturation=0 sharpness=7 white_balance_auto=1";
    }
    void writesLandInTheCamera()
    {
        SKIP_UNDER_UDEV();
        QFETCH(Action, action);
        QFETCH(QString, expected);
        action(this);
        for (const QString& pair : expected.split(' '))
            QTRY_COMPARE_WITH_TIMEOUT(pair.section('=', 0, 0) + "=" + designated->value(pair.section('=', 0, 0)), pair, 5000);
    }

    void stalledControlRequest()
    {
        SKIP_UNDER_UDEV();
        const int before = log->count("V4L2: setting control");
        QCOMPARE(designated->ask("stall"), QByteArray("ok"));
        page->brightnessSlider()->setValue(10);
        QTRY_COMPARE_WITH_TIMEOUT(log->count("V4L2: setting control"), before + 1, 5000);
        QCOMPARE(designated->value("brightness"), QString("32"));
        page->brightnessSlider()->setValue(11);
        QTRY_COMPARE_WITH_TIMEOUT(designated->value("brightness"), QString("11"), 5000);
        QVERIFY(lastFrameSize().isValid());
    }

    void silentAndDamagedPictures()
    {
        SKIP_UNDER_UDEV();
        const int dropped = log->count("frame dropped");
        QCOMPARE(designated->ask("damage"), QByteArray("ok"));
        // Broken frames for a while: one log line for them all, and pictures come back.
        QTRY_COMPARE_WITH_TIMEOUT(log->count("frame dropped: corrupt JPEG data"), 1, 10000);
        QTest::qWait(1000);
        QCOMPARE(designated->ask("start"), QByteArray("ok"));
        QVERIFY(lastFrameSize().isValid());
        QCOMPARE(log->count("frame dropped"), dropped + 1);

        QCOMPARE(designated->ask("stop"), QByteArray("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(page->preview()->message().contains("stopped sending pictures"), 10000);
        QCOMPARE(designated->ask("start"), QByteArray("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(page->preview()->message().isEmpty(), 10000);
    }

    void unplugMidStreamAndReplug()
    {
        if (udevPass())
            open("1209");
        plugs->clear();
        QCOMPARE(designated->ask("unplug"), QByteArray("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(frame->currentPage(), 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!tileOf("1209"), 10000);
        QTest::qWait(500);
        QCOMPARE(plugs->count(), 1);
        QCOMPARE(plugs->first().at(0).toBool(), false);

        plugs->clear();
        QCOMPARE(designated->ask("plug"), QByteArray("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(tileOf("1209"), 20000);
        QTest::qWait(500);
        QCOMPARE(plugs->count(), 1);
        QCOMPARE(frame->mainPage()->cameraButtons().size(), 1);
        open("1209");
        QCOMPARE(lastFrameSize(), QSize(1280, 720));
        page->button(ICameraPage::KeyBack)->click();
    }

    // The real program's screenshot tour; the pictures leave the VM through LUMIVO_VM_OUT.
    void screenshotTour()
    {
        SKIP_UNDER_UDEV();
        const QString dir = qEnvironmentVariable("LUMIVO_VM_OUT") + "/tour";
        QProcess tour;
        tour.setProcessChannelMode(QProcess::ForwardedChannels);
        tour.start(qEnvironmentVariable("LUMIVO_APP"), {"--screenshot-tour", dir});
        QVERIFY(tour.waitForFinished(55000));
        QCOMPARE(tour.exitCode(), 0);
        for (const char* name : {"devices.png", "camera.png", "parameters.png", "filter.png"})
            QVERIFY2(!QImage(dir + "/" + name).isNull(), name);
    }
};

LUMIVO_UI_TEST_MAIN(TestVmUvc)
#include "tst_vm_uvc.moc"
