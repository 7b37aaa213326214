// Remembered camera settings and the photo, through the real main window. A virtual camera
// that re-arrives comes back with its file's values, as hardware that forgot them does.
#include "cameras.h"
#include "logcapture.h"
#include "mainwindow.h"
#include "processes.h"

#include "app/icamerapage.h"
#include "app/icamerasettingskeeper.h"
#include "app/iphototaker.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"
#include "camera/icamera.h"
#include "widgets/icamerapreview.h"
#include "widgets/ishutterbutton.h"
#include "widgets/islider.h"
#include "widgets/iswitchbutton.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

using capture::Property;

class TestCameraSettings : public QObject
{
    Q_OBJECT

    MainFrame* frame = nullptr;
    ICameraPage* page = nullptr;
    QString tmp = qEnvironmentVariable("LUMIVO_TEST_TMP");

    // A camera of the designated model (looks; 1280x720 and 1920x1080), brightness 20 of 0..max.
    static QJsonObject camera(const QString& path, const QString& serial, long brightnessMax = 64)
    {
        QJsonObject c = Cameras::camera("Cam", Cameras::formats({QSize(1280, 720), QSize(1920, 1080)}), path);
        c["vid"] = "1209", c["pid"] = "4C56";
        Cameras::setStandardControls(c);
        Cameras::setControl(c, "brightness", 0, brightnessMax, 32, 20);
        c["serial"] = serial; // "": known by its path
        return c;
    }
    Cameras m_cameras;
    void plug(const QJsonArray& cameras) { QVERIFY(m_cameras.write(cameras)); }
    // Unplugs everything, then plugs `cameras` in again with the window hidden.
    void replug(const QJsonArray& cameras)
    {
        ICamera::instance()->closeCamera();
        frame->hide();
        plug({});
        plug(cameras);
    }
    static long value(const QString& path, Property p) { return Cameras::deviceValue(path, p).value; }

    bool open(const QString& path)
    {
        frame->show();
        if (MainWindow::open(path) != int(Success))
            return false;
        QTest::qWait(400); // switches finish their slide
        return true;
    }

private slots:
    void initTestCase()
    {
        frame = MainWindow::create();
        QVERIFY(frame);
        page = frame->cameraPage();
    }

    void init() { IConfigureService::s_bRememberCameraSettings = true; }
    void cleanup() { ICamera::instance()->closeCamera(); }

    void settingsComeBackOnArrivalAndAfterRestart()
    {
        const QString path = "virtual:desk";
        plug({camera(path, "SN1")});
        QVERIFY(open(path));
        page->button(ICameraPage::KeyFilterBright)->click(); // brightness 45, contrast 40
        page->focusSlider()->setValue(120);
        qobject_cast<ISwitchButton*>(page->button(ICameraPage::KeyAutoExposure))->setStatus(false);
        page->exposureSlider()->setValue(300);
        page->resolutionBox()->setCurrentText("1920x1080");

        replug({camera(path, "SN1")});
        QCOMPARE(value(path, Property::Brightness), 45L);
        QCOMPARE(value(path, Property::Contrast), 40L);
        QCOMPARE(value(path, Property::Focus), 120L);
        QCOMPARE(value(path, Property::Exposure), 300L);
        QCOMPARE(Cameras::deviceValue(path, Property::Exposure).flags, 2L); // manual, as left

        // Opened again: the stored look is marked and the stored resolution used.
        QVERIFY(open(path));
        QVERIFY(page->button(ICameraPage::KeyFilterBright)->isChecked());
        QCOMPARE(page->resolutionBox()->currentText(), QString("1920x1080"));
        QCOMPARE(Cameras::deviceFormat(path), QSize(1920, 1080));
        QCOMPARE(page->exposureSlider()->value(), 300);

        // Switched off: nothing goes back to the camera.
        frame->settingsKeeper()->store().flush();
        IConfigureService::s_bRememberCameraSettings = false;
        replug({camera(path, "SN1")});
        QCOMPARE(value(path, Property::Brightness), 20L);
        QCOMPARE(Cameras::deviceValue(path, Property::Exposure).flags, 1L);

        // A new program reads the file and puts them back at start.
        IConfigureService::s_bRememberCameraSettings = true;
        {
            ICameraSettingsKeeper restarted;
            restarted.applyPresent();
            QCOMPARE(value(path, Property::Brightness), 45L);
            QCOMPARE(value(path, Property::Exposure), 300L);
        }

        // A camera whose range no longer holds a stored value gets the rest.
        replug({camera(path, "SN1", 40)});
        QCOMPARE(value(path, Property::Brightness), 20L);
        QCOMPARE(value(path, Property::Focus), 120L);

        // "Restore default" forgets the camera: it comes back with its own values.
        QVERIFY(open(path));
        page->button(ICameraPage::KeyRestoreDefault)->click();
        QCOMPARE(value(path, Property::Focus), 50L);
        replug({camera(path, "SN1")});
        QCOMPARE(value(path, Property::Focus), 80L);
    }

    void camerasOfOneModelAreToldApartBySerial()
    {
        plug({camera("virtual:one", "A"), camera("virtual:two", "B")});
        QVERIFY(open("virtual:one"));
        page->brightnessSlider()->setValue(10);
        QVERIFY(open("virtual:two"));
        page->brightnessSlider()->setValue(60);
        // Each camera gets its own, also when they come back in each other's place.
        replug({camera("virtual:one", "B"), camera("virtual:two", "A")});
        QCOMPARE(value("virtual:one", Property::Brightness), 60L);
        QCOMPARE(value("virtual:two", Property::Brightness), 10L);
    }

    void damagedOrUnwritableStore()
    {
        const QString file = tmp + "/damaged.json";
        QVERIFY(processes::writeFile(file, "{\"cameras\": {\"x\": "));
        LogCapture log;
        {
            ICameraSettingsStore store(file);
            QVERIFY(!store.contains("x"));
            QCOMPARE(log.count("unreadable"), 1);
            QCOMPARE(QDir(tmp).entryList({"damaged.json.damaged-*"}).size(), 1);
            store.setValue("usb:1:2:serial:3", "brightness", 5);
        }
        QCOMPARE(ICameraSettingsStore(file).camera("usb:1:2:serial:3").value("brightness").toInt(), 5);

        // A folder that cannot exist (a file is in the way): logged once, kept in memory.
        ICameraSettingsStore blocked(file + "/cameras.json");
        for (int i = 0; i < 3; ++i) {
            blocked.setValue("id", "brightness", i);
            blocked.flush();
        }
        QCOMPARE(blocked.camera("id").value("brightness").toInt(), 2);
        QCOMPARE(log.count("camera settings not written"), 1);
    }

    void photoOfThePictureShown()
    {
        const QString path = "virtual:photo";
        plug({camera(path, QString())});
        QVERIFY(open(path));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QTRY_VERIFY(page->photoTaker()->button()->isVisible());
        IConfigureService::s_strPhotoPath = tmp + "/photos";
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
};

LUMIVO_UI_TEST_MAIN(TestCameraSettings)
#include "tst_camerasettings.moc"
