// The camera page driven through the real main window with virtual cameras: open
// results, the resolution box, what sliders, switches, "Restore default" and the looks
// send to the camera, and that it reaches the device.
#include "support/uitest.h"
#include "support/virtualcameras.h"

#include "camera/icamera.h"
#include "widgets/icamerabutton.h"
#include "widgets/islider.h"
#include "widgets/iswitchbutton.h"
#include "app/icamerapage.h"
#include "widgets/icamerapreview.h"
#include "app/imainpage.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QtTest>

using capture::Property;
using uitest::Control;

namespace {

const QString kDesignatedVid = "1209";
const QString kDesignatedPid = "4C56";

struct Call
{
    QString operation;
    QVariant value;
};

QString describe(const QList<Call>& calls)
{
    QStringList parts;
    for (const Call& c : calls) {
        if (c.value.canConvert<CameraResolution>() && c.value.userType() == qMetaTypeId<CameraResolution>()) {
            const QSize s = c.value.value<CameraResolution>().size;
            parts << QString("%1(%2x%3)").arg(c.operation).arg(s.width()).arg(s.height());
        } else if (c.value.isValid()) {
            parts << QString("%1(%2)").arg(c.operation).arg(c.value.toInt());
        } else {
            parts << c.operation;
        }
    }
    return parts.join(' ');
}

} // namespace

class TestCameraPage : public QObject
{
    Q_OBJECT

    MainFrame* frame = nullptr;
    ICameraPage* page = nullptr;
    QList<Call> calls;
    int cameraNumber = 0;

    // A fresh virtual camera (its own path, so no state is carried over), the only one.
    QString plug(QJsonObject camera)
    {
        const QString path = QString("virtual:test-%1").arg(++cameraNumber);
        camera["path"] = path;
        QString error;
        if (!uitest::setVirtualCameras(QJsonArray{camera}, &error))
            qFatal("virtual cameras: %s", qPrintable(error));
        return path;
    }

    ICameraInfo recordOf(const QString& path)
    {
        for (const ICameraInfo& info : ICamera::instance()->cameraList(0))
            if (info.strDevicePath == path)
                return info;
        return ICameraInfo();
    }

    // Opens through the device list, as a click does, and waits for the open result.
    int open(const QString& path)
    {
        QSignalSpy result(ICamera::instance(), &ICamera::sgResult);
        bool clicked = false;
        for (ICameraButton* tile : frame->mainPage()->cameraButtons()) {
            if (tile->cameraInfo.strDevicePath == path && !clicked) {
                tile->click();
                clicked = true;
            }
        }
        if (!clicked)
            frame->showCameraPage(recordOf(path));
        if (!result.wait(10000))
            return -1;
        QCoreApplication::processEvents();
        return result.first().first().value<IResult>();
    }

    QStringList boxTexts() const
    {
        QStringList texts;
        for (int i = 0; i < page->resolutionBox()->count(); ++i)
            texts << page->resolutionBox()->itemText(i);
        return texts;
    }

    ISwitchButton* switchOf(int key) const { return qobject_cast<ISwitchButton*>(page->button(key)); }

    QJsonObject standardCamera(const QString& vid, const QString& pid)
    {
        QJsonObject camera = uitest::virtualCamera("Test Cam", QString(), vid, pid,
                                                   {QSize(320, 240), QSize(640, 480)}, QSize(320, 240));
        uitest::setStandardControls(camera);
        return camera;
    }

private slots:
    void initTestCase()
    {
        IConfigureService::s_strLangId = "1033";
        auto* app = qobject_cast<IApplication*>(qApp);
        QVERIFY(app);
        app->createMainFrame();
        frame = app->mainFrame();
        QVERIFY(frame);
        page = frame->cameraPage();
        connect(page, &ICameraPage::sgCameraCall, this,
                [this](const QString& op, const QVariant& v) { calls.append({op, v}); });
        QVERIFY(QTest::qWaitForWindowExposed(frame));
    }

    void cleanup() { ICamera::instance()->closeCamera(); }

    void openFillsThePanelAndSendsTheCameraItsOwnValues()
    {
        const QString path = plug(standardCamera("046D", "0825"));
        // Known slider positions before the open (silently, as if left by another camera).
        const QList<QPair<ISlider*, int>> before = {{page->brightnessSlider(), 40}, {page->contrastSlider(), 7},
                                                    {page->saturationSlider(), 50}, {page->focusSlider(), 3},
                                                    {page->exposureSlider(), 200}, {page->whiteBalanceSlider(), 9999}};
        for (const auto& entry : before) {
            entry.first->blockSignals(true);
            entry.first->setRange(0, 10000);
            entry.first->setValue(entry.second);
            entry.first->blockSignals(false);
        }
        calls.clear();
        QCOMPARE(open(path), int(Success));
        QCOMPARE(frame->currentPage(), 1);

        // Only sliders whose value differs send (white balance is clamped to 7500 silently
        // first), then every switch reports its mode; no resolution goes out.
        QCOMPARE(describe(calls), QString("setContrast(20) setFocus(80) setWhiteBalance(5000) setExposureAuto "
                                          "setFocus(80) setWhiteBalance(5000)"));
        QCOMPARE(page->brightnessSlider()->value(), 40);
        QCOMPARE(page->contrastSlider()->value(), 20);
        QCOMPARE(page->saturationSlider()->value(), 50);
        QCOMPARE(page->focusSlider()->maximum(), 250);
        QCOMPARE(page->whiteBalanceSlider()->minimum(), 2800);
        QVERIFY(!page->exposureSlider()->isEnabled());
        QVERIFY(page->focusSlider()->isEnabled());
        QVERIFY(switchOf(ICameraPage::KeyAutoExposure)->isCheckedState());
        QCOMPARE(boxTexts(), (QStringList{"320x240", "640x480"}));
        QCOMPARE(page->resolutionBox()->currentText(), QString("320x240"));
        QTRY_VERIFY(!page->preview()->image().isNull());
    }

    void refreshSendsOnlyWhatDiffers()
    {
        const QString path = plug(standardCamera("046D", "0825"));
        QCOMPARE(open(path), int(Success));
        // Sliders now hold the camera's values: a second refresh sends only the modes.
        calls.clear();
        page->refreshParameters();
        QCOMPARE(describe(calls), QString("setExposureAuto setFocus(80) setWhiteBalance(5000)"));
    }

    void slidersAndSwitchesSendWhatTheyShowAndNothingMore()
    {
        const QString path = plug(standardCamera("046D", "0825"));
        QCOMPARE(open(path), int(Success));
        QTest::qWait(400); // the switches finish their slide

        calls.clear();
        page->brightnessSlider()->setValue(50);
        page->brightnessSlider()->setValue(50);
        page->contrastSlider()->setValue(10);
        page->saturationSlider()->setValue(60);
        page->focusSlider()->setValue(120);
        page->whiteBalanceSlider()->setValue(6000);
        QCOMPARE(describe(calls),
                 QString("setBrightness(50) setContrast(10) setSaturation(60) setFocus(120) setWhiteBalance(6000)"));
        QCOMPARE(g_currentCameraInfo.parameters[CameraParameters::Focus].value.toInt(), 120);
        QCOMPARE(g_currentCameraInfo.parameters[CameraParameters::WhiteBalance].value.toInt(), 6000);
        // Brightness, contrast and saturation are not written back into the record.
        QCOMPARE(g_currentCameraInfo.parameters[CameraParameters::Brightness].value.toInt(), 40);

        // The values reach the device.
        QCOMPARE(uitest::deviceValue(path, Property::Brightness).value, 50L);
        QCOMPARE(uitest::deviceValue(path, Property::Contrast).value, 10L);
        QCOMPARE(uitest::deviceValue(path, Property::Saturation).value, 60L);
        QCOMPARE(uitest::deviceValue(path, Property::Focus).value, 120L);
        QCOMPARE(uitest::deviceValue(path, Property::WhiteBalance).value, 6000L);

        // Auto exposure off by a press on the switch: the stored manual value goes out.
        ISwitchButton* exposure = switchOf(ICameraPage::KeyAutoExposure);
        calls.clear();
        QTest::mousePress(exposure, Qt::LeftButton);
        QCOMPARE(describe(calls), QString("setExposure(200)"));
        QVERIFY(page->exposureSlider()->isEnabled());
        QVERIFY(!g_currentCameraInfo.parameters[CameraParameters::Exposure].isAuto);
        QCOMPARE(uitest::deviceValue(path, Property::Exposure).flags, 2L);
        QCOMPARE(uitest::deviceValue(path, Property::Exposure).value, 200L);

        // And back on: only the automatic mode goes out.
        calls.clear();
        QTest::mousePress(exposure, Qt::RightButton);
        QCOMPARE(describe(calls), QString("setExposureAuto"));
        QVERIFY(!page->exposureSlider()->isEnabled());
        QCOMPARE(uitest::deviceValue(path, Property::Exposure).flags, 1L);

        // Automatic focus on, then off again: the value the slider set last goes out.
        ISwitchButton* focus = switchOf(ICameraPage::KeyAutoFocus);
        calls.clear();
        QTest::mousePress(focus, Qt::LeftButton);
        QTest::mousePress(focus, Qt::LeftButton);
        QCOMPARE(describe(calls), QString("setFocusAuto setFocus(120)"));
    }

    void restoreDefaultsLeavesAutomaticControlsAlone()
    {
        const QString path = plug(standardCamera("046D", "0825"));
        QCOMPARE(open(path), int(Success));
        page->focusSlider()->setValue(10);
        page->whiteBalanceSlider()->setValue(3000);
        page->exposureSlider()->setValue(500); // disabled (auto), but set programmatically
        calls.clear();
        QTest::mouseClick(page->button(ICameraPage::KeyRestoreDefault), Qt::LeftButton);
        // Brightness 40 -> 32, contrast 20 -> 32, saturation 50 -> 32; exposure is automatic.
        QCOMPARE(describe(calls), QString("setContrast(32) setBrightness(32) setSaturation(32) setFocus(50) "
                                          "setWhiteBalance(4600)"));
        QCOMPARE(page->exposureSlider()->value(), 500);
        QCOMPARE(uitest::deviceValue(path, Property::Contrast).value, 32L);

        // A second press: everything is at its default already.
        calls.clear();
        page->restoreDefaults();
        QCOMPARE(describe(calls), QString());
    }

    void restoreDefaultsWithoutAutomaticFlags()
    {
        QJsonObject camera = standardCamera("046D", "0825");
        uitest::setControl(camera, "exposure", {1, 1000, 100, 200, false});
        const QString path = plug(camera);
        QCOMPARE(open(path), int(Success));
        QVERIFY(page->exposureSlider()->isEnabled());
        calls.clear();
        page->restoreDefaults();
        QCOMPARE(describe(calls), QString("setContrast(32) setBrightness(32) setSaturation(32) setFocus(50) "
                                          "setExposure(100) setWhiteBalance(4600)"));
        QCOMPARE(uitest::deviceValue(path, Property::Exposure).value, 100L);
        QCOMPARE(uitest::deviceValue(path, Property::Exposure).flags, 2L);
    }

    void resolutionBoxForTheDesignatedModel()
    {
        // Offers 640x480, 1280x720 and 3840x2160, runs at 640x480.
        QJsonObject camera = uitest::virtualCamera("Quorvan", QString(), kDesignatedVid, kDesignatedPid,
                                                   {QSize(640, 480), QSize(1280, 720), QSize(3840, 2160)},
                                                   QSize(640, 480));
        uitest::setStandardControls(camera);
        const QString path = plug(camera);
        calls.clear();
        QCOMPARE(open(path), int(Success));
        QCOMPARE(boxTexts(), (QStringList{"1280x720", "3840x2160"}));
        // The running size is not shown: the first entry is taken, and nothing is sent.
        QCOMPARE(page->resolutionBox()->currentText(), QString("1280x720"));
        QCOMPARE(currentCameraResolution().size, QSize(1280, 720));
        QVERIFY(!describe(calls).contains("setResolution"));
        QCOMPARE(uitest::deviceFormat(path), QSize(640, 480));

        // Picking an entry sends exactly one resolution, and the camera reopens with it.
        calls.clear();
        page->resolutionBox()->setCurrentIndex(1);
        QCOMPARE(describe(calls), QString("setResolution(3840x2160)"));
        QTRY_COMPARE_WITH_TIMEOUT(uitest::deviceFormat(path), QSize(3840, 2160), 10000);
    }

    void designatedModelWithoutAllowedSizesShowsAnEmptyBox()
    {
        QJsonObject camera = uitest::virtualCamera("Quorvan", QString(), kDesignatedVid.toLower(), kDesignatedPid,
                                                   {QSize(640, 480), QSize(800, 600)}, QSize(640, 480));
        const QString path = plug(camera);
        QCOMPARE(open(path), int(Success));
        QCOMPARE(page->resolutionBox()->count(), 0);
        QCOMPARE(currentCameraResolution().size, QSize(0, 0));
        QCOMPARE(currentCameraResolution().rate, 0);
    }

    void otherCamerasShowEveryResolutionInOrder()
    {
        QJsonObject camera = uitest::virtualCamera("Other", QString(), "046D", "0825",
                                                   {QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)},
                                                   QSize(1280, 720));
        const QString path = plug(camera);
        calls.clear();
        QCOMPARE(open(path), int(Success));
        QCOMPARE(boxTexts(), (QStringList{"640x480", "1280x720", "1920x1080"}));
        QCOMPARE(page->resolutionBox()->currentText(), QString("1280x720"));
        QCOMPARE(currentCameraResolution().size, QSize(1280, 720));
        QVERIFY(!describe(calls).contains("setResolution"));
        QVERIFY(!page->button(ICameraPage::KeyFilterTab)->isVisible());
    }

    void filterTabFollowsTheModel()
    {
        const QString other = plug(standardCamera("046D", "0825"));
        QCOMPARE(open(other), int(Success));
        QVERIFY(!page->button(ICameraPage::KeyFilterTab)->isVisible());
        const QString designated = plug(standardCamera(kDesignatedVid, kDesignatedPid));
        QCOMPARE(open(designated), int(Success));
        QVERIFY(page->button(ICameraPage::KeyFilterTab)->isVisible());
        QTest::mouseClick(page->button(ICameraPage::KeyFilterTab), Qt::LeftButton);
        QCOMPARE(page->panelStack()->currentIndex(), 1);
        QTest::mouseClick(page->button(ICameraPage::KeyParameterTab), Qt::LeftButton);
        QCOMPARE(page->panelStack()->currentIndex(), 0);
    }

    void presets_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QList<int>>("sliders"); // brightness, contrast, saturation
        QTest::addColumn<QString>("tail");
        QTest::addColumn<int>("whiteBalance"); // on the device afterwards; -1: automatic
        QTest::newRow("Original") << 11 << QList<int>{32, 32, 32} << "setSharpness(32) setWhiteBalanceAuto" << -1;
        QTest::newRow("Bright") << 12 << QList<int>{45, 40, 32} << "setSharpness(32) setWhiteBalanceAuto" << -1;
        QTest::newRow("Blossom") << 13 << QList<int>{32, 32, 32}
                                 << "setSharpness(32) setWhiteBalance(5000) setWhiteBalance(3800)" << 3800;
        QTest::newRow("Forest") << 14 << QList<int>{32, 25, 35}
                                << "setSharpness(40) setWhiteBalance(5000) setWhiteBalance(3600)" << 3600;
        QTest::newRow("Film") << 15 << QList<int>{32, 32, 25}
                              << "setSharpness(32) setWhiteBalance(5000) setWhiteBalance(7000)" << 7000;
        QTest::newRow("Mono") << 16 << QList<int>{32, 32, 0} << "setSharpness(32) setWhiteBalanceAuto" << -1;
    }
    void presets()
    {
        QFETCH(int, key);
        QFETCH(QList<int>, sliders);
        QFETCH(QString, tail);
        QFETCH(int, whiteBalance);
        const QString path = plug(standardCamera(kDesignatedVid, kDesignatedPid));
        QCOMPARE(open(path), int(Success));
        QTest::mouseClick(page->button(ICameraPage::KeyFilterTab), Qt::LeftButton);

        // Brightness 40, contrast 20, saturation 50 before: each that changes is sent.
        const int before[3] = {40, 20, 50};
        const char* names[3] = {"setBrightness", "setContrast", "setSaturation"};
        QStringList expected;
        for (int i = 0; i < 3; ++i)
            if (sliders[i] != before[i])
                expected << QString("%1(%2)").arg(names[i]).arg(sliders[i]);
        expected << tail;

        calls.clear();
        QTest::mouseClick(page->button(key), Qt::LeftButton);
        QCOMPARE(describe(calls), expected.join(' '));
        QCOMPARE(uitest::deviceValue(path, Property::Saturation).value, long(sliders[2]));
        QCOMPARE(uitest::deviceValue(path, Property::Sharpness).value, key == 14 ? 40L : 32L);
        const uitest::DeviceValue wb = uitest::deviceValue(path, Property::WhiteBalance);
        if (whiteBalance < 0) {
            QCOMPARE(wb.flags, 1L);
            QVERIFY(!page->whiteBalanceSlider()->isEnabled());
        } else {
            QCOMPARE(wb.flags, 2L);
            QCOMPARE(wb.value, long(whiteBalance));
            // The slider keeps showing the stored value.
            QCOMPARE(page->whiteBalanceSlider()->value(), 5000);
        }

        // The same look again: the sliders are there already, the rest goes out again.
        calls.clear();
        QTest::mouseClick(page->button(key), Qt::LeftButton);
        QCOMPARE(describe(calls), tail);
    }

    void restoreDefaultKeepsTheChosenLook()
    {
        const QString path = plug(standardCamera(kDesignatedVid, kDesignatedPid));
        QCOMPARE(open(path), int(Success));
        QTest::mouseClick(page->button(ICameraPage::KeyFilterTab), Qt::LeftButton);
        QTest::mouseClick(page->button(ICameraPage::KeyFilterForest), Qt::LeftButton);
        page->restoreDefaults();
        QVERIFY(page->isButtonChecked(ICameraPage::KeyFilterForest));
        // A new open marks the look remembered for the camera without applying it.
        calls.clear();
        QCOMPARE(open(path), int(Success));
        QVERIFY(page->isButtonChecked(ICameraPage::KeyFilterForest));
        QVERIFY(!describe(calls).contains("setSharpness"));
    }

    void noLookWithoutTheFilterTab()
    {
        const QString path = plug(standardCamera("046D", "0825"));
        QCOMPARE(open(path), int(Success));
        calls.clear();
        for (int key = 11; key <= 16; ++key) {
            emit page->sgButtonClick(true, key);
            page->applyFilter(key);
        }
        QCOMPARE(describe(calls), QString());
        // Nor while the window is hidden, even for the designated model.
        const QString designated = plug(standardCamera(kDesignatedVid, kDesignatedPid));
        QCOMPARE(open(designated), int(Success));
        frame->hide();
        calls.clear();
        page->applyFilter(16);
        QCOMPARE(describe(calls), QString());
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
    }

    void openResults()
    {
        // A good open first, so that the panel holds something to keep.
        const QString good = plug(standardCamera("046D", "0825"));
        QCOMPARE(open(good), int(Success));
        const QStringList filled = boxTexts();

        QJsonObject failing = standardCamera("046D", "0825");
        failing["openError"] = -1;
        QCOMPARE(open(plug(failing)), int(OpenFailed));
        QCOMPARE(page->preview()->message(), QString("Failed to open the device, please verify the device."));
        QCOMPARE(boxTexts(), filled);

        QJsonObject refusing = standardCamera("046D", "0825");
        refusing["openError"] = -2;
        QCOMPARE(open(plug(refusing)), int(ParameterError));
        QCOMPARE(page->preview()->message(),
                 QString("Failed to set the parameter of the device, please verify the device."));
        QCOMPARE(boxTexts(), filled);

        // Busy: opened, panel filled from the camera, but no picture.
        QJsonObject busy = uitest::virtualCamera("Busy", QString(), "046D", "0825", {QSize(160, 120), QSize(176, 144)},
                                                 QSize(176, 144));
        busy["busy"] = true;
        QCOMPARE(open(plug(busy)), int(PreviewFailed));
        QCOMPARE(page->preview()->message(), QString("No preview availableWebcam is used by another application."));
        QCOMPARE(boxTexts(), (QStringList{"160x120", "176x144"}));
        QCOMPARE(page->resolutionBox()->currentText(), QString("176x144"));

        // An unknown result changes nothing.
        page->slResult(IResult(7));
        QCOMPARE(page->preview()->message(), QString("No preview availableWebcam is used by another application."));
    }

    void backClosesTheCameraAndShowsTheList()
    {
        const QString path = plug(standardCamera("046D", "0825"));
        QCOMPARE(open(path), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QTest::mouseClick(page->button(ICameraPage::KeyBack), Qt::LeftButton);
        QCOMPARE(frame->currentPage(), 0);
        QVERIFY(!ICamera::instance()->camera());
        QVERIFY(page->preview()->image().isNull());
        QVERIFY(page->preview()->message().isEmpty());
    }
};

LUMIVO_UI_TEST_MAIN(TestCameraPage)
#include "tst_camerapage.moc"
