// The whole program in the test VM (with udevd) on vimc, a camera only libcamera drives,
// under PipeWire and WirePlumber as Debian configures them, with the libcamera plugin:
// one tile for it and none for vimc's V4L2 nodes; its picture in every format the node
// offers, in vimc's colours; its controls landing in the sensor; the tile going and
// coming back with the device, the values written back.
#include "frames.h"
#include "mainwindow.h"
#include "pipewireclient.h"

#include "app/icamerapage.h"
#include "app/idevicecontrolsdialog.h"
#include "app/mainframe.h"
#include "camera/icamera.h"
#include "capture/capturesystem.h"
#include "capture/pixelformat.h"
#include "widgets/ibutton.h"
#include "widgets/islider.h"

#include <QtTest>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace capture;

namespace {

const char kPath[] = "pipewire:libcamera_input.platform_vimc.0_Sensor_B";

// vimc's sensor draws 75% colour bars, left to right.
const QRgb kBars[] = {qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                      qRgb(191, 0, 191),   qRgb(191, 0, 0),   qRgb(0, 0, 191),   qRgb(0, 0, 0)};

// A control's value in the sensor libcamera drives ("Sensor B"); negative when unreadable.
int sensorControl(quint32 id)
{
    for (const QFileInfo& dev : QDir(QStringLiteral("/sys/class/video4linux")).entryInfoList({QStringLiteral("v4l-subdev*")})) {
        QFile name(dev.filePath() + QStringLiteral("/name"));
        const int fd = name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "Sensor B"
            ? ::open(("/dev/" + dev.fileName()).toLocal8Bit().constData(), O_RDWR) : -1;
        v4l2_control c{id, -1};
        if (fd >= 0 && (::ioctl(fd, VIDIOC_G_CTRL, &c) < 0 || ::close(fd) < 0))
            c.value = -1;
        if (fd >= 0)
            return c.value;
    }
    return -1;
}

} // namespace

class TestVmVimc : public QObject
{
    Q_OBJECT
    QProcess m_daemon, m_session;
    MainFrame* m_frame = nullptr;

    void startSession()
    {
        m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_daemon.start(QStringLiteral("/usr/bin/pipewire"), QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/pipewire-0"), 20000);
        m_session.start(QStringLiteral("/usr/bin/wireplumber"), QStringList());
    }
    void endSession()
    {
        for (QProcess* p : {&m_session, &m_daemon}) {
            p->terminate();
            QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(10000));
        }
    }
    void openTile()
    {
        QCOMPARE(MainWindow::open(QLatin1String(kPath)), 0);
        QSignalSpy frames(ICamera::instance(), &ICamera::sgPreviewImage);
        QVERIFY(frames.wait(30000));
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("LUMIVO_VM_UDEV") != "1")
            QSKIP("runs in the VM's pass with udevd, as on a desktop");
        if (!QFile::exists(QStringLiteral("/sys/bus/platform/drivers/vimc/vimc.0")))
            QSKIP("vimc is not loaded (scripts/vm/build-vimc.sh needs linux-source-6.1 and the kernel's headers)");
        // vimc alone (the VM runner binds vivid again afterwards).
        QCOMPARE(QProcess::execute("sh", {"-c", "echo vivid.0 > /sys/bus/platform/drivers/vivid/unbind"}), 0);
        startSession();
        m_frame = MainWindow::create();
        QTRY_VERIFY_WITH_TIMEOUT(MainWindow::tilePaths().contains(QLatin1String(kPath)), 60000);
    }

    void cleanupTestCase()
    {
        endSession();
    }

    // One tile, named from the node, and none for vimc's V4L2 nodes, which V4L2 cannot stream.
    void oneTile()
    {
        QTest::qWait(2000);  // WirePlumber's V4L2 nodes for vimc have come by now
        QCOMPARE(MainWindow::tilePaths(), QStringList({QLatin1String(kPath)}));
        QCOMPARE(CaptureSystem::instance()->enumerate().front().friendlyName, QStringLiteral("Sensor B"));
    }

    // Every format the node offers, through the preview's graph, in vimc's colour bars; every
    // other one at 640x480, which libcamera narrows to 636x480 without the node saying so.
    void pictureInEveryFormat()
    {
        std::shared_ptr<CaptureDevice> device;
        QCOMPARE(CaptureSystem::instance()->open(QLatin1String(kPath), device), dshow::S_OK);
        QList<quint32> subtypes;
        for (const FormatDescriptor& f : device->formats())
            subtypes << (subtypes.contains(f.subtype) ? 0 : f.subtype);
        subtypes.removeAll(0);
        device.reset();
        QVERIFY(!subtypes.isEmpty());
        for (int i = 0; i < subtypes.size(); ++i) {
            const QSize size = i % 2 ? QSize(960, 540) : QSize(640, 480);
            const QString name = QStringLiteral("%1-%2x%3").arg(QLatin1String(pixelFormat(subtypes[i])->name)).arg(size.width()).arg(size.height());
            FrameCollector frames;
            TestGraph graph;
            QCOMPARE(graph.open(QLatin1String(kPath)), dshow::S_OK);
            QCOMPARE(graph.setFormat(subtypes[i], size.width(), size.height()), dshow::S_OK);
            QCOMPARE(graph.stream(&frames), dshow::S_OK);
            QVERIFY2(frames.waitFor(3, 30000), qPrintable(name));
            const QImage picture = uprightImage(frames.last(), size.width(), size.height());
            picture.save(qEnvironmentVariable("LUMIVO_VM_OUT") + "/vimc-" + name + ".png");
            QStringList seen;
            for (int bar = 0; bar < 8; ++bar) {
                const QRgb p = picture.pixel((2 * bar + 1) * size.width() / 16, 3 * size.height() / 4);  // below the text
                seen << QColor(p).name() + (colourDistance(p, kBars[bar]) > 60 ? "(wrong)" : "");
            }
            qInfo().noquote() << name << "bars:" << seen.join(' ');
            QVERIFY2(!seen.join(' ').contains("wrong"), qPrintable(name));
        }
    }

    // The page's sliders and "More controls" hold the node's controls; values land in the sensor.
    void controlsLandInSensor()
    {
        openTile();
        ICameraPage* page = m_frame->cameraPage();
        page->brightnessSlider()->setValue(50);  // libcamera's 0.5, the sensor's 128 + 0.5 * 128
        page->contrastSlider()->setValue(150);   // 1.5: 1.5 * 128
        QTRY_COMPARE_WITH_TIMEOUT(QList<int>({sensorControl(V4L2_CID_BRIGHTNESS), sensorControl(V4L2_CID_CONTRAST)}), QList<int>({192, 192}), 10000);
        page->button(ICameraPage::KeyMoreControls)->click();
        IDeviceControlsDialog* dialog = page->controlsDialog();
        // The node does not report values: what it took is read back.
        QCOMPARE(dialog->editor(V4L2_CID_BRIGHTNESS)->findChild<ISlider*>()->value(), 50);
        dialog->editor(V4L2_CID_SATURATION)->findChild<ISlider*>()->setValue(50);
        QTRY_COMPARE_WITH_TIMEOUT(sensorControl(V4L2_CID_SATURATION), 64, 10000);
        dialog->close();
    }

    // The device goes: the tile leaves like an unplugged camera and comes back, and the sensor,
    // made anew with its defaults, gets the values set before once the camera streams. (Gone
    // while streaming, the node stays with libcamera 0.0.3 and the daemon aborts on its stop.)
    void goesAndComesBack()
    {
        m_frame->cameraPage()->button(ICameraPage::KeyBack)->click();
        ICamera::instance()->closeCamera();
        QTest::qWait(1000);
        QCOMPARE(QProcess::execute("sh", {"-c", "echo vimc.0 > /sys/bus/platform/drivers/vimc/unbind"}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!MainWindow::tilePaths().contains(QLatin1String(kPath)), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(m_frame->currentPage(), 0, 10000);
        QCOMPARE(QProcess::execute("sh", {"-c", "echo vimc.0 > /sys/bus/platform/drivers/vimc/bind"}), 0);
        // Debian 12's libcamera may abort the daemon when the device goes, and the abort can
        // still be under way here: the tile comes back, or the session ended and is started
        // again, as a service manager would.
        const auto back = [] { return MainWindow::tilePaths().contains(QLatin1String(kPath)); };
        const auto ended = [this] {
            return m_daemon.state() == QProcess::NotRunning || m_session.state() == QProcess::NotRunning;
        };
        QTRY_VERIFY_WITH_TIMEOUT(back() || ended(), 60000);
        if (!back()) {
            qInfo("PipeWire ended with the device (exit %d): started again", m_daemon.exitCode());
            endSession();
            startSession();
        }
        QTRY_VERIFY_WITH_TIMEOUT(back(), 60000);
        openTile();
        QTRY_COMPARE_WITH_TIMEOUT(QList<int>({sensorControl(V4L2_CID_BRIGHTNESS), sensorControl(V4L2_CID_CONTRAST)}), QList<int>({192, 192}), 10000);
        m_frame->cameraPage()->button(ICameraPage::KeyBack)->click();
    }

    // The program's tour on this camera, for the pictures of its page and controls.
    void tour()
    {
        const QString dir = qEnvironmentVariable("LUMIVO_VM_OUT") + "/vimc-tour";
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(qEnvironmentVariable("LUMIVO_APP"), {"--screenshot-tour", dir});
        QVERIFY(run.waitForFinished(100000) && run.exitCode() == 0);
    }
};

int main(int argc, char** argv)
{
    // libcamera and two PipeWire clients under TCG take their time.
    const int session = pipewireclient::enterSession(argc, argv, "240000");
    if (session >= 0)
        return session;
    TestVmVimc test;
    return MainWindow::run(&test, argc, argv);
}

#include "tst_vm_vimc.moc"
