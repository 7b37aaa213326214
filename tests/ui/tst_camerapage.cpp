// The camera page through the real main window with virtual cameras: what ends up on
// the device after opening, sliders, switches, "Restore default" and the looks; the
// resolution box; open results; silent cameras and damaged files while shown.
#include "cameras.h"
#include "mainwindow.h"

#include "camera/icamera.h"
#include "widgets/islider.h"
#include "widgets/iswitchbutton.h"
#include "app/icamerapage.h"
#include "widgets/icamerapreview.h"
#include "app/mainframe.h"

#include <QComboBox>
#include <QStackedLayout>
#include <QtTest>

using capture::Property;
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
    void press(int key, Qt::MouseButton button = Qt::LeftButton) { QTest::mousePress(page->button(key), button); }

private slots:
    void initTestCase()
    {
        frame = MainWindow::create();
        page = frame->cameraPage();
    }

    void cleanup() { ICamera::instance()->closeCamera(); }

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
            QCOMPARE(device(p), value);
        QCOMPARE(mode(Property::Exposure), 1L);
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
        QTest::qWait(400); // the switches finish their slide
        page->brightnessSlider()->setValue(50);
        page->focusSlider()->setValue(120);
        page->whiteBalanceSlider()->setValue(6000);
        QCOMPARE(QList<long>({device(Property::Brightness), device(Property::Focus), device(Property::WhiteBalance)}),
                 QList<long>({50, 120, 6000}));
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

        for (bool autoExposure : {true, false}) {
            if (!autoExposure)
                press(P::KeyAutoExposure);
            QTest::mouseClick(page->button(P::KeyRestoreDefault), Qt::LeftButton);
            for (Property p : {Property::Brightness, Property::Contrast, Property::Saturation})
                QCOMPARE(device(p), 32L);
            QCOMPARE(device(Property::Focus), 50L);
            QCOMPARE(device(Property::WhiteBalance), 4600L);
            QCOMPARE(mode(Property::Exposure), autoExposure ? 1L : 2L);
            QCOMPARE(device(Property::Exposure), autoExposure ? 200L : 100L);
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
        QCOMPARE(device(Property::Saturation), 50L);
        QCOMPARE(plugAndOpen(camera(kDesignatedVid)), int(Success));
        frame->hide();
        page->applyFilter(P::KeyFilterMono);
        QCOMPARE(device(Property::Saturation), 50L);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QTest::mouseClick(page->button(P::KeyFilterTab), Qt::LeftButton);
        QTest::mouseClick(page->button(P::KeyFilterMono), Qt::LeftButton);
        QCOMPARE(device(Property::Saturation), 0L);
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
};

LUMIVO_UI_TEST_MAIN(TestCameraPage)
#include "tst_camerapage.moc"
