// The camera page through the real main window with virtual cameras: what ends up on
// the device after opening, sliders, switches, "Restore default" and the looks; the
// resolution box; open results; silent cameras and damaged files while shown.
#include "cameras.h"
#include "mainwindow.h"

#include "camera/icamera.h"
#include "customui/islider.h"
#include "customui/iswitchbutton.h"
#include "customui/page/icamerapage.h"
#include "customui/page/icamerapreview.h"
#include "mainframe.h"

#include <QComboBox>
#include <QStackedLayout>
#include <QtTest>

using capture::Property;
using P = ICameraPage;

namespace {
const QString kDesignatedVid = "1209";
const QString kDesignatedPid = "4C56";

// Every control manual but exposure; values differ from their defaults.
QJsonObject camera(const QString& vid, const QList<QSize>& sizes = {QSize(320, 240), QSize(640, 480)})
{
    QJsonObject c = Cameras::camera("Test Cam", Cameras::formats(sizes));
    c["vid"] = vid;
    c["pid"] = vid == kDesignatedVid.toLower() || vid == kDesignatedVid ? kDesignatedPid : QString("0825");
    Cameras::setControl(c, "brightness", 0, 64, 32, 40);
    Cameras::setControl(c, "contrast", 0, 64, 32, 20);
    Cameras::setControl(c, "saturation", 0, 64, 32, 50);
    Cameras::setControl(c, "sharpness", 0, 64, 32, 10);
    Cameras::setControl(c, "exposure", 1, 1000, 100, 200, Cameras::Auto);
    Cameras::setControl(c, "focus", 0, 250, 50, 80, Cameras::Manual);
    Cameras::setControl(c, "whiteBalance", 2800, 7500, 4600, 5000, Cameras::Manual);
    return c;
}
} // namespace

class TestCameraPage : public QObject
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
        if (!m_cameras.write({c}))
            return -2;
        return MainWindow::open(m_path);
    }

    long device(Property p) const { return Cameras::deviceValue(m_path, p).value; }
    long mode(Property p) const { return Cameras::deviceValue(m_path, p).flags; }
    QStringList boxTexts() const
    {
        QStringList texts;
        for (int i = 0; i < page->resolutionBox()->count(); ++i)
            texts << page->resolutionBox()->itemText(i);
        return texts;
    }
    void press(int key, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(page->button(key), button);
    }

private slots:
    void initTestCase()
    {
        frame = MainWindow::create();
        page = frame->cameraPage();
    }

    void cleanup() { ICamera::instance()->closeCamera(); }

    // The panel takes the camera's values; whatever the sliders held before reaches
    // neither the device nor its automatic exposure.
    void openTakesTheCamerasOwnValues()
    {
        for (ISlider* s : {page->brightnessSlider(), page->contrastSlider(), page->focusSlider()}) {
            const QSignalBlocker quiet(s);
            s->setRange(0, 10000);
            s->setValue(7);
        }
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        QCOMPARE(frame->currentPage(), 1);
        QCOMPARE(device(Property::Brightness), 40L);
        QCOMPARE(device(Property::Contrast), 20L);
        QCOMPARE(device(Property::Focus), 80L);
        QCOMPARE(device(Property::WhiteBalance), 5000L);
        QCOMPARE(mode(Property::Exposure), 1L);
        QCOMPARE(page->contrastSlider()->value(), 20);
        QCOMPARE(page->focusSlider()->maximum(), 250);
        QVERIFY(!page->exposureSlider()->isEnabled());
        QCOMPARE(boxTexts(), (QStringList{"320x240", "640x480"}));
        QTRY_VERIFY(!page->preview()->image().isNull());
    }

    void slidersAndSwitchesReachTheDevice()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        QTest::qWait(400); // the switches finish their slide
        page->brightnessSlider()->setValue(50);
        page->contrastSlider()->setValue(10);
        page->saturationSlider()->setValue(60);
        page->focusSlider()->setValue(120);
        page->whiteBalanceSlider()->setValue(6000);
        QCOMPARE(device(Property::Brightness), 50L);
        QCOMPARE(device(Property::Contrast), 10L);
        QCOMPARE(device(Property::Saturation), 60L);
        QCOMPARE(device(Property::Focus), 120L);
        QCOMPARE(device(Property::WhiteBalance), 6000L);

        // Automatic exposure off: the stored manual value goes out; on again: automatic.
        press(P::KeyAutoExposure);
        QCOMPARE(mode(Property::Exposure), 2L);
        QCOMPARE(device(Property::Exposure), 200L);
        QVERIFY(page->exposureSlider()->isEnabled());
        press(P::KeyAutoExposure, Qt::RightButton);
        QCOMPARE(mode(Property::Exposure), 1L);
        // Automatic focus on, then off: the slider's last value is back on the device.
        press(P::KeyAutoFocus);
        QCOMPARE(mode(Property::Focus), 1L);
        press(P::KeyAutoFocus);
        QCOMPARE(mode(Property::Focus), 2L);
        QCOMPARE(device(Property::Focus), 120L);
    }

    // Defaults everywhere, but an automatic exposure is left alone.
    void restoreDefaults_data()
    {
        QTest::addColumn<bool>("autoExposure");
        QTest::newRow("automatic exposure") << true;
        QTest::newRow("manual exposure") << false;
    }

    void restoreDefaults()
    {
        QFETCH(bool, autoExposure);
        QJsonObject c = camera("046D");
        Cameras::setControl(c, "exposure", 1, 1000, 100, 200, autoExposure ? Cameras::Auto : Cameras::Manual);
        QCOMPARE(plugAndOpen(c), int(Success));
        page->focusSlider()->setValue(10);
        QTest::mouseClick(page->button(P::KeyRestoreDefault), Qt::LeftButton);
        for (Property p : {Property::Brightness, Property::Contrast, Property::Saturation})
            QCOMPARE(device(p), 32L);
        QCOMPARE(device(Property::Focus), 50L);
        QCOMPARE(device(Property::WhiteBalance), 4600L);
        QCOMPARE(mode(Property::Exposure), autoExposure ? 1L : 2L);
        QCOMPARE(device(Property::Exposure), autoExposure ? 200L : 100L);
    }

    // The designated model offers only its allowed sizes and shows the first without
    // sending it; other cameras list every size and keep the running one.
    void resolutionBox_data()
    {
        QTest::addColumn<QString>("vid");
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<QStringList>("box");
        QTest::addColumn<QSize>("chosen");
        const QList<QSize> three{QSize(640, 480), QSize(1280, 720), QSize(3840, 2160)};
        QTest::newRow("designated") << kDesignatedVid << three << QStringList{"1280x720", "3840x2160"} << QSize(1280, 720);
        QTest::newRow("designated, none allowed") << kDesignatedVid.toLower()
                                                  << QList<QSize>{QSize(640, 480), QSize(800, 600)} << QStringList()
                                                  << QSize(0, 0);
        QTest::newRow("other") << "046D" << three << QStringList{"640x480", "1280x720", "3840x2160"} << QSize(640, 480);
    }

    void resolutionBox()
    {
        QFETCH(QString, vid);
        QFETCH(QList<QSize>, sizes);
        QFETCH(QStringList, box);
        QFETCH(QSize, chosen);
        QCOMPARE(plugAndOpen(camera(vid, sizes)), int(Success));
        QCOMPARE(boxTexts(), box);
        QCOMPARE(currentCameraResolution().size, chosen);
        QCOMPARE(Cameras::deviceFormat(m_path), QSize(640, 480));
        QCOMPARE(page->button(P::KeyFilterTab)->isVisible(), vid == kDesignatedVid);
        if (box.size() > 1) { // picking an entry reopens the camera with it
            page->resolutionBox()->setCurrentIndex(box.size() - 1);
            QTRY_COMPARE_WITH_TIMEOUT(Cameras::deviceFormat(m_path), QSize(3840, 2160), 10000);
        }
    }

    // Each look as the device holds it afterwards (white balance -1: automatic).
    void looks_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QList<int>>("values"); // brightness, contrast, saturation, sharpness, white balance
        QTest::newRow("Original") << int(P::KeyFilterOriginal) << QList<int>{32, 32, 32, 32, -1};
        QTest::newRow("Bright") << int(P::KeyFilterBright) << QList<int>{45, 40, 32, 32, -1};
        QTest::newRow("Blossom") << int(P::KeyFilterBlossom) << QList<int>{32, 32, 32, 32, 3800};
        QTest::newRow("Forest") << int(P::KeyFilterForest) << QList<int>{32, 25, 35, 40, 3600};
        QTest::newRow("Film") << int(P::KeyFilterFilm) << QList<int>{32, 32, 25, 32, 7000};
        QTest::newRow("Mono") << int(P::KeyFilterMono) << QList<int>{32, 32, 0, 32, -1};
    }

    void looks()
    {
        QFETCH(int, key);
        QFETCH(QList<int>, values);
        QCOMPARE(plugAndOpen(camera(kDesignatedVid)), int(Success));
        QTest::mouseClick(page->button(P::KeyFilterTab), Qt::LeftButton);
        QCOMPARE(page->panelStack()->currentIndex(), 1);
        QTest::mouseClick(page->button(key), Qt::LeftButton);
        const QList<Property> properties{Property::Brightness, Property::Contrast, Property::Saturation,
                                         Property::Sharpness};
        for (int i = 0; i < properties.size(); ++i)
            QCOMPARE(device(properties[i]), long(values[i]));
        QCOMPARE(mode(Property::WhiteBalance), values[4] < 0 ? 1L : 2L);
        if (values[4] >= 0)
            QCOMPARE(device(Property::WhiteBalance), long(values[4]));
    }

    // No look reaches a camera without the filter tab, nor any while the window is hidden.
    void noLookWithoutTheFilterTab()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        page->applyFilter(P::KeyFilterMono);
        QCOMPARE(device(Property::Saturation), 50L);
        QCOMPARE(plugAndOpen(camera(kDesignatedVid)), int(Success));
        frame->hide();
        page->applyFilter(P::KeyFilterMono);
        QCOMPARE(device(Property::Saturation), 50L);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
    }

    // A failed open says so and keeps the panel; a busy camera fills it without a picture.
    void openResults()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        const QStringList filled = boxTexts();
        for (int error : {-1, -2}) {
            QJsonObject failing = camera("046D");
            failing["openError"] = error;
            QCOMPARE(plugAndOpen(failing), error == -1 ? int(OpenFailed) : int(ParameterError));
            QVERIFY(!page->preview()->message().isEmpty());
            QCOMPARE(boxTexts(), filled);
        }
        QJsonObject busy = camera("046D", {QSize(160, 120), QSize(176, 144)});
        busy["busy"] = true;
        QCOMPARE(plugAndOpen(busy), int(PreviewFailed));
        const QString message = page->preview()->message();
        QVERIFY(!message.isEmpty());
        QCOMPARE(boxTexts(), (QStringList{"160x120", "176x144"}));
        page->slResult(IResult(7)); // unknown: changes nothing
        QCOMPARE(page->preview()->message(), message);
    }

    void backClosesTheCamera()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QTest::mouseClick(page->button(P::KeyBack), Qt::LeftButton);
        QCOMPARE(frame->currentPage(), 0);
        QVERIFY(!ICamera::instance()->camera());
        QVERIFY(page->preview()->image().isNull());
    }

    // Pictures stop while the camera stays plugged in: the page says so after a while,
    // and never for a camera that keeps sending.
    void silentCamera_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("silent") << true;
        QTest::newRow("healthy") << false;
    }

    void silentCamera()
    {
        QFETCH(bool, silent);
        QJsonObject c = camera("046D");
        if (silent)
            c["stallAfter"] = 10;
        QCOMPARE(plugAndOpen(c), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QCOMPARE(page->preview()->message(), QString());
        QTest::qWait(P::kSilentCameraMs + 1500);
        QCOMPARE(page->preview()->message().isEmpty(), !silent);
        QCOMPARE(page->preview()->image().isNull(), silent);
    }

    // The settings file may name any size: the camera still opens.
    void storedSizeNoCameraHas_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("zero") << QSize(0, 0);
        QTest::newRow("negative") << QSize(-7, -1);
        QTest::newRow("huge") << QSize(1215752191, 1000000000);
        QTest::newRow("unknown") << QSize(1000, 1000);
    }

    void storedSizeNoCameraHas()
    {
        QFETCH(QSize, size);
        CameraResolution r = currentCameraResolution();
        r.size = size;
        setCurrentCameraResolution(r);
        const int result = plugAndOpen(camera("046D"));
        QVERIFY2(result == Success || result == ParameterError, qPrintable(QString::number(result)));
        if (result == Success)
            QTRY_VERIFY(!page->preview()->image().isNull());
        else
            QVERIFY(!page->preview()->message().isEmpty());
    }

    // A damaged edit of the cameras file while a camera is shown changes nothing.
    void camerasFileDamagedWhileShown()
    {
        QCOMPARE(plugAndOpen(camera("046D")), int(Success));
        for (const QByteArray& bytes : {QByteArray("{\"cameras\": [{\"name\": \"Te"), QByteArray("\x00\xff", 2),
                                        QByteArray()}) {
            QVERIFY(m_cameras.writeRaw(bytes));
            QTest::qWait(400);
            QCOMPARE(frame->currentPage(), 1);
            QCOMPARE(MainWindow::tilePaths(), QStringList{m_path});
        }
        const QImage before = page->preview()->image();
        QTRY_VERIFY(page->preview()->image() != before);
    }
};

LUMIVO_UI_TEST_MAIN(TestCameraPage)
#include "tst_camerapage.moc"
