// The camera page when the camera or the files misbehave: a camera that falls silent, a
// resolution from the settings file that no camera has, and a cameras file damaged while
// a camera is shown.
#include "support/uitest.h"
#include "support/virtualcameras.h"

#include "camera/icamera.h"
#include "base/icamerainfo.h"
#include "capture/capturesystem.h"
#include "capture/virtual/virtualbackend.h"
#include "widgets/icamerabutton.h"
#include "app/icamerapage.h"
#include "widgets/icamerapreview.h"
#include "app/imainpage.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QString kSilence = QStringLiteral("The camera has stopped sending pictures.");

QJsonObject camera(const QString& name, const QString& path, int stallAfter = -1)
{
    QJsonObject c = uitest::virtualCamera(name, path, "046D", "0825", {QSize(320, 240), QSize(640, 480)}, QSize(320, 240));
    c["formats"] = QJsonArray{QJsonObject{{"width", 320}, {"height", 240}, {"fps", 20}},
                              QJsonObject{{"width", 640}, {"height", 480}, {"fps", 20}}};
    if (stallAfter >= 0)
        c["stallAfter"] = stallAfter;
    uitest::setStandardControls(c);
    return c;
}
} // namespace

class TestFaultCameraPage : public QObject
{
    Q_OBJECT

    MainFrame* frame = nullptr;
    ICameraPage* page = nullptr;

    int open(const QString& path)
    {
        QSignalSpy result(ICamera::instance(), &ICamera::sgResult);
        for (ICameraButton* tile : frame->mainPage()->cameraButtons()) {
            if (tile->cameraInfo.strDevicePath == path) {
                QTest::mouseClick(tile, Qt::LeftButton);
                break;
            }
        }
        if (!result.wait(10000))
            return -1;
        return result.first().first().value<IResult>();
    }

    bool hasTile(const QString& path) const
    {
        for (ICameraButton* tile : frame->mainPage()->cameraButtons())
            if (tile->cameraInfo.strDevicePath == path)
                return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        IConfigureService::s_strLangId = "1033";
        MainFrame::s_pQuitFunction = [] {};
        QVERIFY(uitest::setVirtualCameras(QJsonArray{camera("Healthy", "virtual:healthy"),
                                                     camera("Silent", "virtual:silent", 10)}));
        auto* app = qobject_cast<IApplication*>(qApp);
        app->createMainFrame();
        frame = app->mainFrame();
        page = frame->cameraPage();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QTRY_VERIFY(hasTile("virtual:silent"));
    }

    void cleanup()
    {
        ICamera::instance()->closeCamera();
        frame->setCurrentPage(0);
    }

    // Frames stop while the camera stays plugged in: after a few seconds the page says
    // so instead of showing the last picture forever; a new start brings pictures back.
    void silentCameraGetsAMessage()
    {
        QCOMPARE(open("virtual:silent"), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QCOMPARE(page->preview()->message(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(page->preview()->message(), kSilence, ICameraPage::kSilentCameraMs + 3000);
        QVERIFY(page->preview()->image().isNull());

        // Back and open again: pictures, then the message once more.
        QTest::mouseClick(page->button(ICameraPage::KeyBack), Qt::LeftButton);
        QTRY_COMPARE(frame->currentPage(), 0);
        QCOMPARE(open("virtual:silent"), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        QTRY_COMPARE_WITH_TIMEOUT(page->preview()->message(), kSilence, ICameraPage::kSilentCameraMs + 3000);
    }

    void healthyCameraGetsNoMessage()
    {
        QCOMPARE(open("virtual:healthy"), int(Success));
        QTest::qWait(ICameraPage::kSilentCameraMs + 1500);
        QCOMPARE(page->preview()->message(), QString());
        QVERIFY(!page->preview()->image().isNull());
    }

    // The settings file may name any size: the camera still opens and shows pictures.
    void resolutionNoCameraHas_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("zero") << QSize(0, 0);
        QTest::newRow("negative") << QSize(-7, -1);
        QTest::newRow("huge") << QSize(1215752191, 1000000000);
        QTest::newRow("unknown") << QSize(1000, 1000);
    }

    void resolutionNoCameraHas()
    {
        QFETCH(QSize, size);
        CameraResolution r = currentCameraResolution();
        r.size = size;
        setCurrentCameraResolution(r);
        const int result = open("virtual:healthy");
        QVERIFY2(result == Success || result == ParameterError, qPrintable(QString::number(result)));
        if (result == Success)
            QTRY_VERIFY(!page->preview()->image().isNull());
        else
            QVERIFY(!page->preview()->message().isEmpty());
    }

    // A damaged edit of the cameras file while a camera is shown changes nothing.
    void camerasFileDamagedWhileShown()
    {
        QCOMPARE(open("virtual:healthy"), int(Success));
        QTRY_VERIFY(!page->preview()->image().isNull());
        const QString file = capture::CaptureSystem::instance()->virtualBackend()->watchedFile();
        QVERIFY(!file.isEmpty());
        for (const QByteArray& bytes : {QByteArray("{\"cameras\": [{\"name\": \"Heal"), QByteArray("\x00\xff", 2),
                                        QByteArray()}) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
            f.close();
            QTest::qWait(400);
            QCOMPARE(frame->currentPage(), 1);
            QVERIFY(hasTile("virtual:healthy"));
            QVERIFY(hasTile("virtual:silent"));
        }
        const QImage before = page->preview()->image();
        QTRY_VERIFY(page->preview()->image() != before);
        QCOMPARE(page->preview()->message(), QString());
    }
};

LUMIVO_UI_TEST_MAIN(TestFaultCameraPage)
#include "tst_faultcamerapage.moc"
