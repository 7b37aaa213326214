// The real main window with virtual cameras: the list under hot-plug; the camera page's
// controls, looks, resolutions, open results, silent cameras, remembered settings (a
// virtual camera that re-arrives comes back with its file's values, as hardware that
// forgot them does) and photos; closing and quitting, with and without a tray; language.
#include "cameras.h"
#include "logcapture.h"
#include "mainwindow.h"
#include "processes.h"

#include "app/iautostart.h"
#include "app/icameraguard.h"
#include "app/icamerapage.h"
#include "app/icamerasettingskeeper.h"
#include "app/idevicecontrolsdialog.h"
#include "app/imainpage.h"
#include "app/iphototaker.h"
#include "app/isettingframe.h"
#include "app/ititlewidget.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"
#include "camera/icamera.h"
#include "camera/idshowthread.h"
#include "capture/capturesystem.h"
#include "capture/controlworker.h"
#include "capture/devicenodewatcher.h"
#include "widgets/icamerabutton.h"
#include "widgets/ibutton.h"
#include "widgets/icamerapreview.h"
#include "widgets/ishutterbutton.h"
#include "widgets/islider.h"
#include "widgets/iswitchbutton.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QSettings>
#include <QTranslator>
#include <QtTest>

using Property = Cameras::Control;
using P = ICameraPage;

namespace {
const QString kDesignatedVid = "1209", kDesignatedPid = "4C56";

// Every control manual but exposure; values differ from their defaults.
QJsonObject camera(const QString& vid, const QList<QSize>& sizes = {QSize(320, 240), QSize(640, 480)})
{
    QJsonObject c = Cameras::camera("Test Cam", Cameras::formats(sizes));
    c["vid"] = vid;
    c["pid"] = vid.compare(kDesignatedVid, Qt::CaseInsensitive) ? QString("0825") : kDesignatedPid;
    Cameras::setStandardControls(c);
    return c;
}

// The designated model at `path` (1280x720 and 1920x1080), brightness 20 of 0..max.
QJsonObject remembered(const QString& path, const QString& serial, long brightnessMax = 64)
{
    QJsonObject c = camera(kDesignatedVid, {QSize(1280, 720), QSize(1920, 1080)});
    Cameras::setControl(c, "brightness", 0, brightnessMax, 32, 20);
    c["serial"] = serial; // "": known by its path
    c["path"] = path;
    return c;
}

QJsonObject plain(const QString& name) { return Cameras::camera(name, Cameras::formats({QSize(320, 240)})); }

// One extra control of each type the controls dialog knows, beside the standard seven.
QJsonObject everyType(const QString& path, bool inactive = false)
{
    QJsonObject c = remembered(path, "SN9");
    c["extraControls"] = QJsonArray{
        QJsonObject{{"id", 0x98090e}, {"name", "Red"}, {"inactive", inactive}, {"refuse", QJsonArray{13}}},
        QJsonObject{{"id", 0x980914}, {"name", "Flip"}, {"type", "boolean"}},
        QJsonObject{{"id", 0x980918}, {"name", "Power"}, {"type", "menu"}, {"items", QJsonArray{"Off", "50 Hz", "60 Hz"}}},
        QJsonObject{{"id", 0x9a0917}, {"name", "ISO"}, {"type", "integermenu"}, {"items", QJsonArray{100, 200, 400}}},
        QJsonObject{{"id", 0x9a0906}, {"name", "Reset"}, {"type", "button"}},
        QJsonObject{{"id", 0x9a090f}, {"name", "Zoom speed"}, {"min", -3}, {"max", 3}},
        QJsonObject{{"id", 0x9a0999}, {"name", "Big"}, {"type", "integer64"}, {"max", 1e12}},
        QJsonObject{{"id", 0x9a099a}, {"name", "Bits"}, {"type", "bitmask"}, {"max", 15}},
        QJsonObject{{"id", 0x9a099b}, {"name", "Label"}, {"type", "string"}, {"value", "a"}},
        QJsonObject{{"id", 0x9a099c}, {"name", "Fixed"}, {"readOnly", true}}};
    return c;
}

QString storedLanguage() { return QSettings(IConfigureService::iniFilePath(), QSettings::IniFormat).value("lang/langid").toString(); }
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
    Cameras m_cameras;
    MainFrame* frame = nullptr;
    ICameraPage* page = nullptr;
    QString m_path;
    int m_number = 0;

    // Plugs `c` as the only camera, under a path of its own, and opens it.
    int plugAndOpen(QJsonObject c)
    {
        m_path = QString("virtual:test-%1").arg(++m_number);
        c["path"] = m_path;
        return m_cameras.write({c}) ? open(m_path) : -2;
    }

    long device(quint32 id) const { return Cameras::deviceValue(m_path, id).value; }
    long mode(quint32 id) const { return Cameras::deviceValue(m_path, id).flags; }
    QStringList boxTexts() const
    {
        QStringList texts;
        for (int i = 0; i < page->resolutionBox()->count(); ++i)
            texts << page->resolutionBox()->itemText(i);
        return texts;
    }
    void press(int key, Qt::MouseButton button = Qt::LeftButton) { QTest::mousePress(page->button(key), button); }
    void plug(const QJsonArray& cameras) { QVERIFY(m_cameras.write(cameras)); }
    // Unplugs everything, then plugs `cameras` in again with the window hidden.
    void replug(const QJsonArray& cameras)
    {
        ICamera::instance()->closeCamera();
        frame->hide();
        plug({});
        plug(cameras);
    }
    int open(const QString& path)
    {
        frame->show();
        const int result = MainWindow::open(path);
        QTest::qWait(400); // switches finish their slide
        return result;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_cameras.write({}));
        frame = MainWindow::create();
        page = frame->cameraPage();
    }

    void init() { IConfigureService::s_bRememberCameraSettings = true; }
    void cleanup()
    {
        MainFrame::s_nTrayOverride = -1;
        ICamera::instance()->closeCamera();
        frame->setCurrentPage(0);
        frame->show();
    }

    void hotPlugAddsAndRemovesTiles()
    {
        const QStringList base = MainWindow::tilePaths();
        QVERIFY(m_cameras.write({plain("A"), plain("Twin"), plain("C")}));
        QTRY_COMPARE(MainWindow::tilePaths(), base + QStringList({"virtual:A", "virtual:Twin", "virtual:C"}));
        // A removal keeps the order of the rest; an arrival goes last.
        QVERIFY(m_cameras.write({plain("A"), plain("C"), plain("D")}));
        QTRY_COMPARE(MainWindow::tilePaths(), base + QStringList({"virtual:A", "virtual:C", "virtual:D"}));
        // A removal in other letter case works; an arrival the scan does not hold adds nothing.
        frame->onConnectionChanged(false, "VIRTUAL:A");
        frame->onConnectionChanged(true, "virtual:not-there");
        QCOMPARE(MainWindow::tilePaths(), base + QStringList({"virtual:C", "virtual:D"}));
    }

    void duplicateArrivalsAndNoMainWindow()
    {
        IMainPage page(nullptr);
        const int base = page.cameraButtons().size();
        ICameraInfo dup;
        dup.strDevicePath = dup.strDisplayName = "/sys/dup";
        page.addCamera(dup);
        page.addCamera(dup);  // announced again (udevd does): still one tile, and one removal takes it
        QCOMPARE(page.cameraButtons().size(), base + 1);
        LogCapture log;
        page.cameraButtons().last()->click(); // no main window to open it in
        QCOMPARE(log.count("no main window"), 1);
        page.removeCamera(dup);
        QCOMPARE(page.cameraButtons().size(), base);
    }

    void unplugOfTheOpenCameraReturnsToTheList()
    {
        QVERIFY(m_cameras.write({plain("Keep"), plain("Open")}));
        QTRY_COMPARE(MainWindow::tilePaths().size(), 2);
        QCOMPARE(MainWindow::open("virtual:Open"), int(Success));
        QCOMPARE(frame->currentPage(), 1);
        // Unplugging another camera only removes its tile.
        QVERIFY(m_cameras.write({plain("Open")}));
        QTRY_COMPARE(MainWindow::tilePaths(), QStringList({"virtual:Open"}));
        QCOMPARE(frame->currentPage(), 1);
        QVERIFY(m_cameras.write({}));
        QTRY_COMPARE(frame->currentPage(), 0);
        QVERIFY(!ICamera::instance()->camera());
    }

    // The panel takes the camera's values; whatever the sliders held before reaches
    // neither the device nor its automatic exposure. Back closes the camera.
    void openTakesTheCamerasOwnValues()
    {
        for (ISlider* s : {page->brightnessSlider(), page->contrastSlider(), page->focusSlider()}) {
            const QSignalBlocker quiet(s);
            s->setRange(0, 10000);
            s->setValue(7);
        }
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        QCOMPARE(frame->currentPage(), 1);
        for (auto [p, value] : {std::pair(Property::Brightness, 40L), {Property::Contrast, 20L},
                                {Property::Focus, 80L}, {Property::WhiteBalance, 5000L}})
            QTRY_COMPARE(device(p), value);
        QTRY_COMPARE(mode(Property::Exposure), 1L);
        QVERIFY(!page->exposureSlider()->isEnabled());
        QCOMPARE(boxTexts(), (QStringList{"320x240", "640x480"}));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QTest::mouseClick(page->button(P::KeyBack), Qt::LeftButton);
        QCOMPARE(frame->currentPage(), 0);
        QVERIFY(!ICamera::instance()->camera());
        QVERIFY(page->preview()->image().isNull());
    }

    // Sliders and switches reach the device. "Restore default" puts defaults everywhere
    // but leaves an automatic exposure alone.
    void controlsReachTheDevice()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        page->brightnessSlider()->setValue(50);
        page->focusSlider()->setValue(120);
        page->whiteBalanceSlider()->setValue(6000);
        QTRY_COMPARE(QList<long>({device(Property::Brightness), device(Property::Focus), device(Property::WhiteBalance)}),
                 QList<long>({50, 120, 6000}));
        // Automatic exposure off: the stored manual value goes out; on again: automatic.
        press(P::KeyAutoExposure);
        QTRY_COMPARE(mode(Property::Exposure), 2L);
        QTRY_COMPARE(device(Property::Exposure), 200L);
        QVERIFY(page->exposureSlider()->isEnabled());
        press(P::KeyAutoExposure, Qt::RightButton);
        QTRY_COMPARE(mode(Property::Exposure), 1L);
        // Automatic focus on, then off: the slider's last value is back on the device.
        press(P::KeyAutoFocus);
        QTRY_COMPARE(mode(Property::Focus), 1L);
        press(P::KeyAutoFocus);
        QTRY_COMPARE(mode(Property::Focus), 2L);
        QTRY_COMPARE(device(Property::Focus), 120L);

        for (bool autoExposure : {true, false}) {
            if (!autoExposure)
                press(P::KeyAutoExposure);
            QTest::mouseClick(page->button(P::KeyRestoreDefault), Qt::LeftButton);
            for (Property p : {Property::Brightness, Property::Contrast, Property::Saturation})
                QTRY_COMPARE(device(p), 32L);
            QTRY_COMPARE(device(Property::Focus), 50L);
            QTRY_COMPARE(device(Property::WhiteBalance), 4600L);
            QTRY_COMPARE(mode(Property::Exposure), autoExposure ? 1L : 2L);
            QTRY_COMPARE(device(Property::Exposure), autoExposure ? 200L : 100L);
        }
    }

    // The designated model offers only its allowed sizes and shows the first without
    // sending it; other cameras list every size and keep the running one.
    void resolutionBox_data()
    {
        QTest::addColumn<QString>("vid");
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<QStringList>("box");
        QTest::addColumn<QSize>("chosen");
        const QList<QSize> two{QSize(640, 480), QSize(800, 600)}, three{two[0], QSize(1280, 720), QSize(3840, 2160)};
        QTest::newRow("designated") << kDesignatedVid << three << QStringList{"1280x720", "3840x2160"}
                                    << QSize(1280, 720);
        QTest::newRow("designated, none allowed") << kDesignatedVid.toLower() << two << QStringList() << QSize(0, 0);
        QTest::newRow("other") << "046D" << three << QStringList{"640x480", "1280x720", "3840x2160"} << QSize(640, 480);
    }

    void resolutionBox()
    {
        QFETCH(QString, vid);
        QFETCH(QList<QSize>, sizes);
        QFETCH(QStringList, box);
        QCOMPARE(plugAndOpen(camera(vid, sizes)), int(Success));
        QCOMPARE(boxTexts(), box);
        QTEST(currentCameraResolution().size, "chosen");
        QCOMPARE(Cameras::deviceFormat(m_path), QSize(640, 480));
        QCOMPARE(page->button(P::KeyFilterTab)->isVisible(), vid == kDesignatedVid);
        if (box.size() > 1) { // picking an entry reopens the camera with it
            page->resolutionBox()->setCurrentIndex(box.size() - 1);
            QTRY_COMPARE_WITH_TIMEOUT(Cameras::deviceFormat(m_path), QSize(3840, 2160), 10000);
        }
    }

    // A look reaches the designated model from its tab; none reaches a camera without
    // the tab, nor any while the window is hidden.
    void looks()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        page->applyFilter(P::KeyFilterMono);
        QTRY_COMPARE(device(Property::Saturation), 50L);
        QCOMPARE(plugAndOpen(camera(kDesignatedVid)), int(Success));
        frame->hide();
        page->applyFilter(P::KeyFilterMono);
        QTRY_COMPARE(device(Property::Saturation), 50L);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QTest::mouseClick(page->button(P::KeyFilterTab), Qt::LeftButton);
        QTest::mouseClick(page->button(P::KeyFilterMono), Qt::LeftButton);
        QTRY_COMPARE(device(Property::Saturation), 0L);
    }

    // A failed open says so and keeps the panel; a busy camera fills it without a picture.
    void openResults()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        for (int error : {-1, -2, 0}) {
            QJsonObject c = camera("046D", {QSize(160, 120)});
            c[error ? "openError" : "busy"] = error ? QJsonValue(error) : QJsonValue(true);
            QCOMPARE(plugAndOpen(c), error == -1 ? int(OpenFailed) : error ? int(ParameterError) : int(PreviewFailed));
            QVERIFY(!page->preview()->message().isEmpty());
            QCOMPARE(boxTexts(), (error ? QStringList{"320x240", "640x480"} : QStringList{"160x120"}));
        }
    }

    // Pictures stop while the camera stays plugged in: the page says so once it has been
    // silent that long, and never for a camera that keeps sending.
    void silentCamera_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("hiddenFirst");  // the preview hidden for longer than the grace period
        QTest::newRow("silent") << true << false;
        QTest::newRow("healthy") << false << false;
        QTest::newRow("silent, shown again") << true << true;
    }

    void silentCamera()
    {
        QFETCH(bool, silent);
        QFETCH(bool, hiddenFirst);
        QJsonObject c = camera("046D");
        if (silent)
            c["stallAfter"] = 10;
        QCOMPARE(plugAndOpen(c), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        if (hiddenFirst) {  // as when minimised: nothing is decoded, so nothing is missed
            page->preview()->hide();
            QTest::qWait(P::kSilentCameraMs + 700);
            QVERIFY(page->preview()->message().isEmpty());
            page->preview()->show();
        }
        QElapsedTimer clock;
        clock.start();
        qint64 lastPicture = 0, message = -1, key = page->preview()->image().cacheKey();
        for (QImage image; clock.elapsed() < P::kSilentCameraMs + 1500; QTest::qWait(5)) {
            if (!(image = page->preview()->image()).isNull() && image.cacheKey() != key)
                key = image.cacheKey(), lastPicture = clock.elapsed();
            if (message < 0 && !page->preview()->message().isEmpty())
                message = clock.elapsed();
        }
        QCOMPARE(message >= 0, silent);
        QVERIFY2(!silent || message - lastPicture >= P::kSilentCameraMs - 200, qPrintable(QString::number(message)));
        QCOMPARE(page->preview()->image().isNull(), silent);
    }

    // Hidden past the grace period the device is let go and seen again the picture is back
    // within a second; a camera another program holds names it, keeps its controls and
    // starts by itself at the stored size once let go; a stream the driver ends says so at
    // once and is tried again. The stored settings are the user's alone throughout.
    void streamLife_data()
    {
        QTest::addColumn<QString>("life");
        QTest::newRow("hidden, then shown") << "hidden";
        QTest::newRow("busy until the holder exits") << "busy";
        QTest::newRow("ended by the driver") << "error";
    }

    void streamLife()
    {
        QFETCH(QString, life);
        QJsonObject c = camera("046D");
        QCOMPARE(plugAndOpen(c), int(Success));
        page->resolutionBox()->setCurrentText("640x480");  // stored as the user's choice
        QTRY_COMPARE(Cameras::deviceFormat(m_path), QSize(640, 480));
        ICamera::instance()->closeCamera();
        QTemporaryFile held;
        QVERIFY(held.open());
        QProcess holder;
        if (life == "busy") {
            holder.setStandardInputFile(held.fileName());
            holder.start("sleep", {"30"});
            QVERIFY(holder.waitForStarted());
            c["busy"] = held.fileName();
        }
        if (life == "error")
            c["failAfter"] = 5;
        c["path"] = m_path;
        plug({c});
        frame->settingsKeeper()->store().flush();
        QFile store(frame->settingsKeeper()->store().filePath());
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QByteArray stored = store.readAll();
        LogCapture log;
        QCOMPARE(open(m_path), life == "busy" ? int(PreviewFailed) : int(Success));
        QElapsedTimer clock;
        if (life == "hidden") {
            QTRY_VERIFY(!page->preview()->image().isNull());
            MainFrame::s_nTrayOverride = 1;  // hidden to the tray
            frame->hide();
            QTest::qWait(IDShowThread::kReleaseGraceMs - 500);
            QVERIFY(!Cameras::otherCanStream(m_path));
            QTRY_VERIFY_WITH_TIMEOUT(Cameras::otherCanStream(m_path), 1500);
            QTRY_VERIFY_WITH_TIMEOUT(log.contains("device closed"), IDShowThread::kCloseDelayMs + 500);
            frame->show();
            clock.start();
            const qint64 shown = page->preview()->image().cacheKey();
            // A photo before the first new frame waits for it: the camera's size, not the preview's.
            QCOMPARE(QImage(page->photoTaker()->takePhoto()).size(), QSize(640, 480));
            QTRY_VERIFY_WITH_TIMEOUT(page->preview()->image().cacheKey() != shown, 1000);
        } else if (life == "busy") {
            QTRY_VERIFY(page->preview()->message().contains("In use by: sleep"));
            QVERIFY(!page->resolutionBox()->isEnabled());
            QCOMPARE(boxTexts(), QStringList{"320x240"});  // the size the device has now
            QTest::qWait(1500);  // tried again meanwhile, still busy: nothing new said
            QCOMPARE(log.count("busy"), 1);
            holder.kill();
            holder.waitForFinished();
            clock.start();
            QTRY_VERIFY_WITH_TIMEOUT(!page->preview()->image().isNull(), 2500);
            QCOMPARE(Cameras::deviceFormat(m_path), QSize(640, 480));
            QVERIFY(page->preview()->message().isEmpty() && page->resolutionBox()->isEnabled());
            QCOMPARE(boxTexts(), (QStringList{"320x240", "640x480"}));
            QCOMPARE(page->resolutionBox()->currentText(), QString("640x480"));
        } else {
            QTRY_VERIFY(!page->preview()->image().isNull());
            clock.start();
            QTRY_VERIFY_WITH_TIMEOUT(!page->preview()->message().isEmpty(), 1000);  // not after 3 s of silence
            QVERIFY(log.contains("trying again in 1 s"));
            QTRY_VERIFY_WITH_TIMEOUT(!page->preview()->image().isNull(), 2500);
        }
        frame->settingsKeeper()->store().flush();
        QVERIFY(store.seek(0));
        QCOMPARE(store.readAll(), stored);
        page->brightnessSlider()->setValue(page->brightnessSlider()->value() == 7 ? 8 : 7);  // controls work throughout
        QTRY_COMPARE(device(Property::Brightness), long(page->brightnessSlider()->value()));
    }

    void settingsComeBackOnArrivalAndAfterRestart()
    {
        const QString path = m_path = "virtual:desk";
        plug({remembered(path, "SN1")});
        QCOMPARE(open(path), int(Success));
        page->button(ICameraPage::KeyFilterBright)->click(); // brightness 45, contrast 40
        page->focusSlider()->setValue(120);
        qobject_cast<ISwitchButton*>(page->button(ICameraPage::KeyAutoExposure))->setStatus(false);
        page->exposureSlider()->setValue(300);
        page->resolutionBox()->setCurrentText("1920x1080");

        replug({remembered(path, "SN1")});
        QTRY_COMPARE(device(Property::Brightness), 45L);
        QTRY_COMPARE(device(Property::Contrast), 40L);
        QTRY_COMPARE(device(Property::Focus), 120L);
        QTRY_COMPARE(device(Property::Exposure), 300L);
        QTRY_COMPARE(mode(Property::Exposure), 2L); // manual, as left

        // Opened again: the stored look is marked and the stored resolution used.
        QCOMPARE(open(path), int(Success));
        QVERIFY(page->button(ICameraPage::KeyFilterBright)->isChecked());
        QCOMPARE(page->resolutionBox()->currentText(), QString("1920x1080"));
        QCOMPARE(Cameras::deviceFormat(path), QSize(1920, 1080));
        QCOMPARE(page->exposureSlider()->value(), 300);

        // Switched off: nothing goes back to the camera.
        frame->settingsKeeper()->store().flush();
        IConfigureService::s_bRememberCameraSettings = false;
        replug({remembered(path, "SN1")});
        QTRY_COMPARE(device(Property::Brightness), 20L);
        QTRY_COMPARE(mode(Property::Exposure), 1L);

        // A new program reads the file and puts them back at start; the camera's slow open
        // goes on on the worker's thread while start-up returns.
        IConfigureService::s_bRememberCameraSettings = true;
        {
            QJsonObject slow = remembered(path, "SN1");
            slow["openLatencyMs"] = 800;
            plug({slow});
            ICameraSettingsKeeper restarted;
            restarted.applyPresent();
            const auto* worker = restarted.findChild<capture::ControlWorker*>();
            QVERIFY(worker && !worker->attached());
            QTRY_COMPARE_WITH_TIMEOUT(device(Property::Brightness), 45L, 8000);
            QTRY_COMPARE(device(Property::Exposure), 300L);
        }

        // One that does not open yet is said, and tried once more a second later.
        LogCapture log;
        QJsonObject failing = remembered(path, "SN1");
        failing["openError"] = -1;
        replug({failing});
        QTRY_COMPARE(log.count("to write them back, code -1"), 1);
        plug({remembered(path, "SN1")});  // opens now: the same camera, no new arrival
        QTRY_COMPARE(device(Property::Brightness), 45L);

        // A camera whose range no longer holds a stored value gets the rest.
        replug({remembered(path, "SN1", 40)});
        QTRY_COMPARE(device(Property::Brightness), 20L);
        QTRY_COMPARE(device(Property::Focus), 120L);

        // "Restore default" forgets the camera: it comes back with its own values.
        QCOMPARE(open(path), int(Success));
        page->button(ICameraPage::KeyRestoreDefault)->click();
        QTRY_COMPARE(device(Property::Focus), 50L);
        replug({remembered(path, "SN1")});
        QTRY_COMPARE(device(Property::Focus), 80L);
    }

    void camerasOfOneModelAreToldApartBySerial()
    {
        plug({remembered("virtual:one", "A"), remembered("virtual:two", "B")});
        QCOMPARE(open("virtual:one"), int(Success));
        page->brightnessSlider()->setValue(10);
        QCOMPARE(open("virtual:two"), int(Success));
        page->brightnessSlider()->setValue(60);
        // Each camera gets its own, also when they come back in each other's place.
        replug({remembered("virtual:one", "B"), remembered("virtual:two", "A")});
        QTRY_COMPARE(Cameras::deviceValue("virtual:one", Property::Brightness).value, 60L);
        QTRY_COMPARE(Cameras::deviceValue("virtual:two", Property::Brightness).value, 10L);
    }

    void damagedOrUnwritableStore()
    {
        const QString file = processes::tmp() + "/damaged.json";
        QVERIFY(processes::writeFile(file, "{\"cameras\": {\"x\": "));
        LogCapture log;
        {
            ICameraSettingsStore store(file);
            QVERIFY(!store.contains("x"));
            QCOMPARE(log.count("unreadable"), 1);
            QCOMPARE(QDir(processes::tmp()).entryList({"damaged.json.damaged-*"}).size(), 1);
            store.setValue("usb:1:2:serial:3", "brightness", 5);
        }
        QCOMPARE(ICameraSettingsStore(file).camera("usb:1:2:serial:3").value("brightness").toInt(), 5);

        // An exposure kept as a power of two in seconds is read, and written again, as the
        // same time in 100 us units; other negative values stay.
        QVERIFY(processes::writeFile(file, R"({"cameras": {"v": {"exposure": -6, "brightness": -6, "controls": {"9a0902": -13, "980900": -6}}}})"));
        ICameraSettingsStore{file};  // reads, converts, writes
        QCOMPARE(QJsonDocument::fromJson(processes::readFile(file))["cameras"]["v"].toObject(), QJsonDocument::fromJson(R"({"exposure": 156, "brightness": -6, "controls": {"9a0902": 1, "980900": -6}})").object());

        // A folder that cannot exist (a file is in the way): logged once, kept in memory.
        ICameraSettingsStore blocked(file + "/cameras.json");
        for (int i = 0; i < 3; ++i) {
            blocked.setValue("id", "brightness", i);
            blocked.flush();
        }
        QCOMPARE(blocked.camera("id").value("brightness").toInt(), 2);
        QCOMPARE(log.count("camera settings not written"), 1);
    }

    // Another program (here the cameras file) changes a control: the page follows within
    // 100 ms, greys out what an automatic mode chooses, writes nothing back and stores
    // nothing. Switching that mode off keeps the camera's value.
    void changesByOthersAreFollowed()
    {
        QJsonObject c = camera("046D");
        QCOMPARE(plugAndOpen(c), int(Success));
        c["path"] = m_path;
        Cameras::setControl(c, "brightness", 0, 64, 32, 55);
        Cameras::setControl(c, "focus", 0, 250, 50, 80, Cameras::Auto);
        Cameras::setControl(c, "exposure", 1, 1000, 100, 300, Cameras::Auto);  // the camera chose another time
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_cameras.write({c}));
        QTRY_COMPARE_WITH_TIMEOUT(page->brightnessSlider()->value(), 55, 1000);
        QVERIFY2(clock.elapsed() < 100 + 150, qPrintable(QString::number(clock.elapsed()))); // the file watch's settling time included
        QTRY_VERIFY(!page->focusSlider()->isEnabled());
        QVERIFY(qobject_cast<ISwitchButton*>(page->button(P::KeyAutoFocus))->isCheckedState());
        QCOMPARE(page->exposureSlider()->value(), 300);
        QTRY_COMPARE(mode(Property::Focus), 1L);
        press(P::KeyAutoExposure);
        QTRY_COMPARE(mode(Property::Exposure), 2L);
        QTRY_COMPARE(device(Property::Exposure), 300L);
        QVERIFY(page->exposureSlider()->isEnabled());
        const auto stored = [&] { return frame->settingsKeeper()->store().camera(frame->settingsKeeper()->identityOf(m_path)); };
        QTRY_COMPARE(stored().value("controls").toObject().keys(), QStringList({"9a0901", "9a0902"}));  // only the switch pressed
    }

    // Another program (a process holding the camera's busy file, the cameras file playing
    // its changes) opens a camera with stored values and resets them: the guard holds it
    // beside that program, puts the stored value back once after the burst settles (the
    // program named in the log, the tray and the tile), leaves a later change alone and
    // lets go when the program does. LUMIVO_GUARD_CYCLES sets the count (100 under the
    // sanitizers). Then an unplug while guarded, and a camera no watch is left for.
    void guardKeepsStoredValues()
    {
        const int cycles = qMax(qEnvironmentVariableIntValue("LUMIVO_GUARD_CYCLES"), 2);
        QTemporaryFile held;
        QVERIFY(held.open());
        QJsonObject c = remembered(m_path = "virtual:guarded", "G1");
        c["busy"] = held.fileName();
        plug({c});
        QCOMPARE(open(m_path), int(Success));
        page->brightnessSlider()->setValue(10);
        ICamera::instance()->closeCamera();
        frame->setCurrentPage(0);
        ICameraGuard* guard = frame->cameraGuard();
        const auto holdFor = [&](QProcess& holder) {
            holder.setStandardInputFile(held.fileName());
            holder.start("sleep", {"30"});
            QVERIFY(holder.waitForStarted());
            QTRY_VERIFY(guard->isGuarding(m_path));
        };
        const auto deviceBrightness = [&](long value) {
            Cameras::setControl(c, "brightness", 0, 64, 32, value);
            QVERIFY(m_cameras.write({c}));
            QTRY_COMPARE(device(Property::Brightness), value);
        };
        LogCapture log;
        for (int i = 0; i < cycles; ++i) {
            QProcess holder;
            holdFor(holder);
            QTRY_COMPARE(guard->holdersOf(m_path), QStringList{"sleep"});  // not the test, which started it
            if (i == 0) {
                QCOMPARE(frame->trayIcon()->toolTip(), QString("Test Cam: in use by sleep"));
                QCOMPARE(frame->mainPage()->cameraButtons().last()->statusLabel->text(), QString("In use by sleep"));
            }
            Cameras::setControl(c, "brightness", 0, 64, 32, 32);  // its opening burst: the default
            QVERIFY(m_cameras.write({c}));
            QTRY_COMPARE(device(Property::Brightness), 10L);
            deviceBrightness(50);  // later: followed, not fought
            QTest::qWait(2 * ICameraGuard::kSettleMs);
            QCOMPARE(device(Property::Brightness), 50L);
            holder.kill();
            holder.waitForFinished();
            QTRY_VERIFY(!guard->isGuarding(m_path));
            deviceBrightness(10);  // as the user left it, for the next opening
        }
        QCOMPARE(log.count("camera guard: put back Brightness on Test Cam after sleep changed them"), cycles);
        QCOMPARE(frame->trayIcon()->toolTip(), QString("Lumivo"));
        QCOMPARE(frame->mainPage()->cameraButtons().last()->statusLabel->text(), QString("Connected"));

        QProcess holder;
        holdFor(holder);
        plug({});
        QVERIFY(!guard->isGuarding(m_path) && guard->inUse().isEmpty());
        capture::DeviceNodeWatcher::setWatchLimit(0);
        plug({c});
        capture::DeviceNodeWatcher::setWatchLimit(-1);
        QCOMPARE(log.count("that camera is not guarded"), 1);
        QTest::qWait(200);
        QVERIFY(guard->holdersOf(m_path).isEmpty());

        // Unplugged while the guard still opens it: its worker keeps nothing and goes once the open ends.
        plug({});
        c["openLatencyMs"] = 800;
        plug({c});
        QTRY_VERIFY(guard->isGuarding(m_path));
        plug({});
        QVERIFY(!guard->isGuarding(m_path));
        QTRY_VERIFY_WITH_TIMEOUT(guard->findChildren<capture::ControlWorker*>().isEmpty(), 3000);
    }

    // "Start Lumivo when I log in" writes the autostart entry and takes it away; a folder
    // that cannot be made turns the switch back and says why.
    void startAtLogin()
    {
        ISwitchButton* on = frame->settingFrame()->autostartSwitch();
        const QString entry = IAutostart::filePath();
        QCOMPARE(entry, qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/io.github.lumivo.Lumivo.desktop");
        on->setStatus(true);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("[Desktop Entry]\nType=Application\n"));
        QVERIFY(text.contains("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + " --hidden\n"));
        on->setStatus(false);
        QVERIFY(!QFile::exists(entry));
        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        QVERIFY(processes::writeFile(processes::tmp() + "/blocker", "a file where the folder would be"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(processes::tmp() + "/blocker"));
        on->setStatus(true);
        qputenv("XDG_CONFIG_HOME", config);
        QTRY_VERIFY(!on->isCheckedState());
        QVERIFY(frame->settingFrame()->autostartNote()->text().contains("blocker/autostart cannot be created"));
    }

    // "More controls": the editor each type asks for; a change lands, a refused value
    // shows the device's again, flags follow; the values come back on arrival and after
    // a restart, and "Restore default" takes them back too. The dialog goes with the camera.
    void moreControls()
    {
        const QString path = m_path = "virtual:every";
        QJsonObject busy = everyType(path);
        busy["busy"] = true;  // held by another program: the controls still work
        plug({busy});
        QCOMPARE(open(path), int(PreviewFailed));
        page->showControlsDialog();
        QTRY_VERIFY(page->controlsDialog() && page->controlsDialog()->controlCount() == 20);
        replug({everyType(path)});
        QTRY_VERIFY(!page->controlsDialog());
        QCOMPARE(open(path), int(Success));
        QTest::mouseClick(page->button(P::KeyMoreControls), Qt::LeftButton);
        IDeviceControlsDialog* dialog = page->controlsDialog();
        QVERIFY(dialog && dialog->isVisible());
        auto* faster = dialog->editor(0x9a090f)->findChildren<IButton*>().value(1);
        QTest::mousePress(faster, Qt::LeftButton);  // zoom speed: moves while held
        QTRY_COMPARE(device(0x9a090f), 3L);
        QTest::mouseRelease(faster, Qt::LeftButton);
        QTRY_COMPARE(device(0x9a090f), 0L);
        const QList<QPair<quint32, const char*>> editors{{0x98090e, "QWidget"}, {0x980914, "ISwitchButton"},
            {0x980918, "QComboBox"}, {0x9a0917, "QComboBox"}, {0x9a0906, "IButton"}, {0x9a090f, "QWidget"},
            {0x9a0999, "QLineEdit"}, {0x9a099a, "QLineEdit"}, {0x9a099b, "QLineEdit"}, {0x9a099c, "QWidget"}};
        for (const auto& e : editors)
            QVERIFY2(dialog->editor(e.first) && QLatin1String(dialog->editor(e.first)->metaObject()->className()) == e.second, e.second);
        QVERIFY(!dialog->editor(0x9a099c)->isEnabled());  // read-only
        dialog->editor(0x98090e)->findChild<ISlider*>()->setValue(20);
        qobject_cast<ISwitchButton*>(dialog->editor(0x980914))->setStatus(true);
        auto* menu = qobject_cast<QComboBox*>(dialog->editor(0x980918));
        menu->setCurrentIndex(2);
        emit menu->activated(2);
        auto* big = qobject_cast<QLineEdit*>(dialog->editor(0x9a0999));
        big->setText("5000000000");
        big->setModified(true);
        emit big->editingFinished();
        QTRY_COMPARE(QList<long>({device(0x98090e), device(0x980914), device(0x980918), device(0x9a0999)}),
                 QList<long>({20, 1, 2, 5000000000L}));
        LogCapture log;
        dialog->editor(0x98090e)->findChild<ISlider*>()->setValue(13);  // refused by the camera
        QTRY_COMPARE(dialog->editor(0x98090e)->findChild<ISlider*>()->value(), 20);
        QCOMPARE(log.count("refused 13"), 1);
        QCOMPARE(log.count("Red"), 1);  // one line for it
        for (bool inactive : {true, false}) {  // greyed out and back by a change elsewhere
            plug({everyType(path, inactive)});
            QTRY_COMPARE(dialog->editor(0x98090e)->isEnabled(), !inactive);
        }
        replug({everyType(path)});
        QTRY_VERIFY(!page->controlsDialog());
        QTRY_COMPARE(QList<long>({device(0x98090e), device(0x980914), device(0x980918)}), QList<long>({20, 1, 2}));
        {
            plug({});
            plug({everyType(path)});
            ICameraSettingsKeeper restarted;
            restarted.applyPresent();
            QTRY_COMPARE(QList<long>({device(0x98090e), device(0x980918), device(0x9a0999)}), QList<long>({20, 2, 5000000000L}));
        }
        QCOMPARE(open(path), int(Success));
        page->button(ICameraPage::KeyRestoreDefault)->click();
        QTRY_COMPARE(QList<long>({device(0x98090e), device(0x980914), device(0x980918)}), QList<long>({0, 0, 0}));
    }

    // In Chinese the standard controls and the items of their menus read in Chinese in
    // the dialog; a driver's own names and items stay as the driver gives them.
    void dialogInChinese()
    {
        QTranslator chinese;
        QVERIFY(chinese.load(processes::buildDir() + "/lang/2052.qm"));
        QCoreApplication::installTranslator(&chinese);
        const auto english = qScopeGuard([&] { QCoreApplication::removeTranslator(&chinese); });
        QCOMPARE(plugAndOpen(everyType(QString())), int(Success));
        page->showControlsDialog();
        IDeviceControlsDialog* dialog = page->controlsDialog();
        QVERIFY(dialog);
        const auto items = [dialog](quint32 id) {
            QStringList texts;
            auto* box = qobject_cast<QComboBox*>(dialog->editor(id));
            for (int i = 0; box && i < box->count(); ++i)
                texts << box->itemText(i);
            return texts;
        };
        QCOMPARE(items(V4L2_CID_EXPOSURE_AUTO), QStringList({"手动模式", "光圈优先模式"}));
        QCOMPARE(items(V4L2_CID_POWER_LINE_FREQUENCY), QStringList({"Off", "50 赫兹", "60 赫兹"}));
        QCOMPARE(dialog->editor(V4L2_CID_EXPOSURE_ABSOLUTE)->accessibleName(), QString("曝光时间"));
        QCOMPARE(dialog->editor(0x9a099b)->accessibleName(), QString("Label"));
    }

    void photoOfThePictureShown()
    {
        const QString path = "virtual:photo";
        plug({remembered(path, QString())});
        QCOMPARE(open(path), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QTRY_VERIFY(page->photoTaker()->button()->isVisible());
        IConfigureService::s_strPhotoPath = processes::tmp() + "/photos";
        IConfigureService::s_strPhotoFormat = "png";
        QSignalSpy saved(page->photoTaker(), &IPhotoTaker::sgPhotoSaved);
        QImage shown; // what the preview showed when the photo was taken
        connect(page->photoTaker(), &IPhotoTaker::sgPhotoSaved, this, [&] { shown = page->preview()->image(); });
        QTest::mouseClick(page->photoTaker()->button(), Qt::LeftButton);
        QCOMPARE(saved.count(), 1);
        const QString file = saved.first().first().toString();
        QVERIFY(QFileInfo(file).fileName().contains(QRegularExpression("^\\d{8}_\\d{6}_\\d{3}\\.png$")));
        QVERIFY(page->photoTaker()->note().contains(QDir::toNativeSeparators(file)));
        const QImage photo = QImage(file).convertToFormat(QImage::Format_RGB32);
        // The camera's size, though the preview gets frames decoded smaller; upright as
        // shown: scaled down, its bars (top half) match the preview's.
        QCOMPARE(photo.size(), QSize(1280, 720));
        QVERIFY(shown.width() < 1280);
        const QImage small = photo.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage seen = shown.convertToFormat(QImage::Format_RGB32);
        qint64 difference = 0;
        for (int y = 0; y < seen.height() / 2; ++y)
            for (int x = 0; x < seen.width(); ++x)
                difference += qAbs(qGray(small.pixel(x, y)) - qGray(seen.pixel(x, y)));
        QVERIFY2(difference < qint64(seen.width()) * seen.height() / 2 * 6, qPrintable(QString::number(difference)));

        // The space bar on the page does the same.
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QTest::keyClick(page, Qt::Key_Space);
        QCOMPARE(saved.count(), 2);

        // A folder that cannot be written gives a message instead of a file.
        IConfigureService::s_strPhotoPath = file + "/inside-a-file";
        QVERIFY(page->photoTaker()->takePhoto().isEmpty());
        QVERIFY(page->photoTaker()->note().contains("could not be saved"));
        QCOMPARE(saved.count(), 2);

        // Hidden, frames are not decoded; shown again, the picture comes back at once.
        QSignalSpy previews(ICamera::instance(), &ICamera::sgPreviewImage);
        page->preview()->hide();
        QTest::qWait(300);  // frames already decoded still arrive
        previews.clear();
        QTest::qWait(500);
        QCOMPARE(previews.count(), 0);
        page->preview()->show();
        QTRY_VERIFY_WITH_TIMEOUT(previews.count() > 0, 1000);
    }

    // Quit, or a close without a tray to come back from, closes the camera and writes
    // the settings once; with a tray closing only hides.
    void closeAndQuit_data()
    {
        QTest::addColumn<int>("tray");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("quits");
        QTest::addColumn<int>("writes"); // of the settings
        QTest::newRow("quit") << 1 << "quit" << true << 1;
        QTest::newRow("close, tray") << 1 << "close" << false << 1;
        QTest::newRow("title close, tray") << 1 << "title" << false << 0;
        QTest::newRow("close, no tray") << 0 << "close" << true << 1;
        QTest::newRow("title close, no tray") << 0 << "title" << true << 1;
    }

    void closeAndQuit()
    {
        QFETCH(int, tray);
        QFETCH(QString, action);
        QFETCH(bool, quits);
        QFETCH(int, writes);
        QVERIFY(m_cameras.write({plain("Cam")}));
        QCOMPARE(MainWindow::open("virtual:Cam"), int(Success));
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QFile::remove(IConfigureService::iniFilePath());
        MainFrame::s_nTrayOverride = tray;
        LogCapture log;
        const std::map<QString, std::function<void()>> actions{
            {"quit", [&] { frame->quit(); }},
            {"close", [&] { frame->close(); }},
            {"title", [&] { frame->titleWidget()->button(2)->click(); }}};
        QCOMPARE(MainWindow::quitsAfter(actions.at(action), quits ? 1000 : 300), quits);
        QVERIFY(frame->isHidden());
        QCOMPARE(log.count("exit app--->"), writes);
        QCOMPARE(!ICamera::instance()->camera(), quits);
        QCOMPARE(storedLanguage(), writes ? QString("1033") : QString());
    }

    // Another language is stored and a restart requested; the same one changes nothing.
    // Last: it leaves the window hidden.
    void languageSetting()
    {
        ISettingFrame* dialog = frame->settingFrame();
        bool stillOpen = false;
        QTimer::singleShot(200, dialog, [&] {
            dialog->languageBox()->setCurrentIndex(dialog->languageBox()->findData("1033"));
            stillOpen = dialog->isVisible();
            dialog->languageBox()->setCurrentIndex(dialog->languageBox()->findData("2052"));
        });
        QVERIFY(MainWindow::quitsAfter([&] { dialog->setVisibleCentered(true); }));
        QVERIFY(stillOpen);
        QCOMPARE(storedLanguage(), QString("2052"));
        QVERIFY(frame->isHidden());
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }
};

LUMIVO_UI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
