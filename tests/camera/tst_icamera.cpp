#include "camera/idevicecontrolsdialog.h"
#include "camera/idshowthread.h"
#include "camera/icamera.h"
#include "capture/capturesystem.h"
#include "support/logcapture.h"
#include "support/virtualcamerafile.h"

#include <QApplication>
#include <QSpinBox>
#include <QtTest>

namespace {

using F = VirtualCameraFile;

QJsonArray allCameras(bool withUnplug = true)
{
    QJsonObject desk = F::camera("desk", {F::format("MJPG", 1920, 1080), F::format("MJPG", 640, 480),
                                          F::format("YUY2", 320, 240), F::format("MJPG", 1280, 720),
                                          F::format("MJPG", 640, 360), F::format("YUY2", 800, 600)});
    desk["current"] = QJsonObject{{"width", 1280}, {"height", 720}};
    desk["controls"] = F::fullControls();

    QJsonObject busy = F::camera("busy", {F::format("MJPG", 640, 480)});
    busy["busy"] = true;
    QJsonObject paramErr = F::camera("paramerr", {F::format("MJPG", 640, 480)});
    paramErr["openError"] = -2;
    QJsonObject openErr = F::camera("openerr", {F::format("MJPG", 640, 480)});
    openErr["openError"] = -5;
    QJsonObject refuse = F::camera("refuse", {F::format("MJPG", 1280, 720), F::format("MJPG", 320, 240)});
    refuse["refuse"] = QJsonArray{"1280x720"};
    QJsonObject still = F::camera("still", {F::format("MJPG", 320, 240)});
    still["still"] = true;
    QJsonObject yuyv = F::camera("yuyv", {F::format("YUY2", 640, 480), F::format("YUY2", 320, 240)});
    QJsonObject bare = F::camera("bare", {F::format("MJPG", 320, 240)});  // no controls at all
    QJsonObject modeless = F::camera("modeless", {F::format("MJPG", 320, 240)});
    modeless["controls"] = QJsonObject{{"focus", QJsonObject{{"min", 0}, {"max", 10}, {"value", 4}}}};

    QJsonArray cameras{desk, busy, paramErr, openErr, refuse, still, yuyv, bare, modeless};
    if (withUnplug)
        cameras.append(F::camera("unplug", {F::format("MJPG", 640, 480)}));
    return cameras;
}

ICameraInfo infoFor(const QString& name, QSize size = QSize(0, 0))
{
    ICameraInfo info;
    info.strDevicePath = QStringLiteral("virtual:") + name;
    info.resolution.size = size;
    info.resolution.captureSize = size;
    return info;
}

QList<QSize> sizes(const QList<CameraResolution>& list)
{
    QList<QSize> result;
    for (const CameraResolution& r : list)
        result << r.size;
    return result;
}

// The value and mode a device reports now, read through a handle of our own.
long deviceValue(const QString& name, capture::Property property, long* flags = nullptr)
{
    std::shared_ptr<capture::CaptureDevice> device;
    if (dshow::FAILED(capture::CaptureSystem::instance()->open(QStringLiteral("virtual:") + name, device)) || !device)
        return -9999;
    long value = 0, mode = 0;
    if (dshow::FAILED(device->get(property, value, mode)))
        return -9999;
    if (flags)
        *flags = mode;
    return value;
}

} // namespace

class TestICamera : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void withoutCamera();
    void opensAndStreams();
    void unknownPath();
    void openErrors();
    void busyCamera();
    void refusedSizeFallsBack();
    void firstSubtypeWithoutMjpg();
    void resolutionChangeReopens();
    void properties();
    void propertiesMissingOrModeless();
    void settersReachDevice();
    void controlsDialog();
    void closeTwice();
    void stillPicture();
    void unplugMidStream();
    void quitWhileStreaming();

private:
    VirtualCameraFile m_file;
    ICamera* m_camera = nullptr;
};

void TestICamera::initTestCase()
{
    registerCameraMetaTypes();
    m_camera = ICamera::instance();
    QVERIFY(m_file.write(allCameras()));
}

void TestICamera::init()
{
    setCurrentCameraInfo(ICameraInfo());
}

void TestICamera::cleanup()
{
    m_camera->closeCamera();
}

void TestICamera::withoutCamera()
{
    QSignalSpy copies(m_camera, &ICamera::sgRunCopyImage);
    QCOMPARE(m_camera->parameters(), CameraParameters());
    QCOMPARE(m_camera->parameters()[CameraParameters::Focus].value, QVariant(0.0));
    QVERIFY(m_camera->resolutions().isEmpty());
    QVERIFY(!m_camera->setFocus(10));
    QVERIFY(!m_camera->setWhiteBalanceAuto());
    QVERIFY(!m_camera->setResolution(CameraResolution(640, 480)));

    ICameraInfo info = infoFor("desk", QSize(800, 600));
    info.strDisplayName = "Desk #1";
    setCurrentCameraInfo(info);
    QVERIFY(m_camera->closeCamera());
    QCOMPARE(copies.count(), 0);
    ICameraInfo expected;
    expected.resolution = info.resolution;
    QCOMPARE(currentCameraInfo(), expected);

    const QStringList listed = [&]() {
        QStringList paths;
        for (const ICameraInfo& camera : m_camera->cameraList(0))
            paths << camera.strDevicePath;
        return paths;
    }();
    QVERIFY(listed.contains("virtual:desk"));
    QVERIFY(listed.contains("virtual:unplug"));
}

void TestICamera::opensAndStreams()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    QVERIFY(m_camera->openCamera(infoFor("desk"), false));
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);

    // MJPG only, sorted by width; equal widths keep the device's order.
    QCOMPARE(sizes(m_camera->resolutions()),
             (QList<QSize>{{640, 480}, {640, 360}, {1280, 720}, {1920, 1080}}));
    // (0,0) asks for the device's current size, which the current record now shows.
    QCOMPARE(currentCameraResolution().size, QSize(1280, 720));
    QCOMPARE(currentCameraInfo().strDevicePath, QString("virtual:desk"));

    QTRY_VERIFY(frames.count() >= 5);
    const QImage frame = frames.last().at(0).value<QImage>();
    QCOMPARE(frame.size(), QSize(1280, 720));
    QCOMPARE(frame.format(), QImage::Format_RGB32);
    QVERIFY(log.contains("dshow open camera: virtual:desk"));
    QVERIFY(log.contains("preview success."));
    QCOMPARE(results.count(), 1);  // exactly one outcome per open
}

void TestICamera::unknownPath()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    m_camera->openCamera(infoFor("nope"), false);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), OpenFailed);
    QVERIFY(log.contains("not find device: virtual:nope"));
    // The worker ends by itself and releases what it holds.
    QVERIFY(log.waitFor("exit direct show thread."));
}

void TestICamera::openErrors()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    m_camera->openCamera(infoFor("paramerr"), false);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), ParameterError);
    QVERIFY(log.contains("OpenDevice failed"));

    m_camera->openCamera(infoFor("openerr"), false);
    QTRY_COMPARE(results.count(), 2);
    QCOMPARE(results.at(1).at(0).value<IResult>(), OpenFailed);
    QVERIFY(m_camera->parameters() == CameraParameters());
}

void TestICamera::busyCamera()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    m_camera->openCamera(infoFor("busy"), false);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), PreviewFailed);
    QVERIFY(log.contains("dshow-->StartPreview error: "));
    // The graph was built, so the resolutions are there to show.
    QCOMPARE(sizes(m_camera->resolutions()), QList<QSize>{QSize(640, 480)});
    QTest::qWait(200);
    QCOMPARE(frames.count(), 0);
}

void TestICamera::refusedSizeFallsBack()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    m_camera->openCamera(infoFor("refuse", QSize(1280, 720)), false);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);
    QVERIFY(log.contains("set format failed not support resolution:"));
    QVERIFY(!log.contains("set format failed not support resolution2:"));
    // The first listed (narrowest) size is used instead, and shown.
    QCOMPARE(currentCameraResolution().size, QSize(320, 240));
    QTRY_VERIFY(frames.count() >= 2);
    QCOMPARE(frames.last().at(0).value<QImage>().size(), QSize(320, 240));
}

void TestICamera::firstSubtypeWithoutMjpg()
{
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    m_camera->openCamera(infoFor("yuyv", QSize(320, 240)), false);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);
    QCOMPARE(sizes(m_camera->resolutions()), (QList<QSize>{{320, 240}, {640, 480}}));
    QTRY_VERIFY(frames.count() >= 2);
    QCOMPARE(frames.last().at(0).value<QImage>().size(), QSize(320, 240));
}

void TestICamera::resolutionChangeReopens()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    m_camera->openCamera(infoFor("desk", QSize(640, 480)), false);
    QTRY_COMPARE(results.count(), 1);
    QTRY_VERIFY(frames.count() >= 2);
    QCOMPARE(frames.last().at(0).value<QImage>().size(), QSize(640, 480));

    log.clear();
    QVERIFY(m_camera->setResolution(CameraResolution(1920, 1080)));
    // The old device was released and opened again; the reopen reports nothing.
    QVERIFY(log.contains("exit direct show thread."));
    QTRY_VERIFY(log.contains("preview success."));
    QTRY_COMPARE(frames.last().at(0).value<QImage>().size(), QSize(1920, 1080));
    QCOMPARE(currentCameraResolution().size, QSize(1920, 1080));
    QTest::qWait(100);
    QCOMPARE(results.count(), 1);

    // A refused size during a reopen falls back like an open does, still silently.
    m_camera->openCamera(infoFor("refuse", QSize(320, 240)), false);
    QTRY_COMPARE(results.count(), 2);
    m_camera->setResolution(CameraResolution(1280, 720));
    QTRY_COMPARE(currentCameraResolution().size, QSize(320, 240));
    QTRY_VERIFY(log.contains("set format failed not support resolution:"));
    QTest::qWait(100);
    QCOMPARE(results.count(), 2);
}

void TestICamera::properties()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    m_camera->openCamera(infoFor("desk"), false);
    QTRY_COMPARE(results.count(), 1);

    QVERIFY(log.contains("Focus---> Min: 0 Max: 250 Default: 0 Cur: 30"));
    QVERIFY(log.contains("Exposure---> Min: -13 Max: -1 Default: -6 Cur: -6"));
    QVERIFY(log.contains("Brightness---> Min: 0 Max: 64 Default: 32 Cur: 40"));
    QVERIFY(log.contains("whiteBalance---> Min: 2800 Max: 6500 Default: 4600 Cur: 4600"));
    QVERIFY(log.contains("Focus Mode: Manual"));
    QVERIFY(log.contains("Exposure Mode: Auto"));
    QVERIFY(!log.contains("Parameter Error."));

    const CameraParameters p = m_camera->parameters();
    QCOMPARE(p[CameraParameters::Focus].value, QVariant(30));
    QCOMPARE(p[CameraParameters::Focus].max, QVariant(250));
    QVERIFY(!p[CameraParameters::Focus].isAuto);
    QVERIFY(p[CameraParameters::Exposure].isAuto);
    QVERIFY(p[CameraParameters::WhiteBalance].isAuto);
    QCOMPARE(p[CameraParameters::Saturation].value, QVariant(70));
    QCOMPARE(p[CameraParameters::Sharpness].defaultValue, QVariant(3));
    QCOMPARE(p[CameraParameters::Contrast].min, QVariant(0));
    QVERIFY(!p[CameraParameters::Brightness].isAuto);
}

void TestICamera::propertiesMissingOrModeless()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    m_camera->openCamera(infoFor("bare"), false);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);
    for (const char* line : {"Get Focus Parameter Error.", "Get Exposure Parameter Error.",
                             "Get Brightness Parameter Error.", "Get Contrast Parameter Error.",
                             "Get Saturation Parameter Error.", "Get Sharpness Parameter Error.",
                             "Get whiteBalance Parameter Error."})
        QVERIFY2(log.contains(line), line);
    // Slots of missing properties keep their fresh values.
    QCOMPARE(m_camera->parameters(), CameraParameters());

    log.clear();
    m_camera->openCamera(infoFor("modeless"), false);
    QTRY_COMPARE(results.count(), 2);
    QVERIFY(log.contains("Focus---> Min: 0 Max: 10"));
    QVERIFY(!log.contains("Focus Mode"));
    QVERIFY(!m_camera->parameters()[CameraParameters::Focus].isAuto);
}

void TestICamera::settersReachDevice()
{
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    m_camera->openCamera(infoFor("desk"), false);
    QTRY_COMPARE(results.count(), 1);
    QTRY_VERIFY(frames.count() >= 1);

    long flags = 0;
    QVERIFY(m_camera->setFocus(120));
    QCOMPARE(deviceValue("desk", capture::Property::Focus, &flags), 120L);
    QCOMPARE(flags, 2L);
    QVERIFY(m_camera->setFocusAuto());
    deviceValue("desk", capture::Property::Focus, &flags);
    QCOMPARE(flags, 1L);

    QVERIFY(m_camera->setExposure(-9));
    QCOMPARE(deviceValue("desk", capture::Property::Exposure, &flags), -9L);
    QCOMPARE(flags, 2L);
    QVERIFY(m_camera->setExposureAuto());
    deviceValue("desk", capture::Property::Exposure, &flags);
    QCOMPARE(flags, 1L);

    QVERIFY(m_camera->setWhiteBalance(QVariant(3800)));
    QCOMPARE(deviceValue("desk", capture::Property::WhiteBalance, &flags), 3800L);
    QCOMPARE(flags, 2L);
    QVERIFY(m_camera->setWhiteBalanceAuto());
    deviceValue("desk", capture::Property::WhiteBalance, &flags);
    QCOMPARE(flags, 1L);

    QVERIFY(m_camera->setBrightness(10));
    QVERIFY(m_camera->setContrast(80));
    QVERIFY(m_camera->setSaturation(5));
    QVERIFY(m_camera->setSharpness(6));
    QCOMPARE(deviceValue("desk", capture::Property::Brightness), 10L);
    QCOMPARE(deviceValue("desk", capture::Property::Contrast), 80L);
    QCOMPARE(deviceValue("desk", capture::Property::Saturation), 5L);
    QCOMPARE(deviceValue("desk", capture::Property::Sharpness), 6L);
    // The setters leave the camera's record alone; the page keeps what it set.
    QCOMPARE(m_camera->parameters()[CameraParameters::Brightness].value, QVariant(40));

    // A value outside the range is the device's to refuse: logged, nothing changes.
    LogCapture log;
    m_camera->setBrightness(1000);
    QCOMPARE(deviceValue("desk", capture::Property::Brightness), 10L);
    QVERIFY(log.contains("set VideoProcAmpProperty error, property: 0 value: 1000 flags: 2"));

    // Frames keep flowing through all of it.
    const int before = frames.count();
    QTRY_VERIFY(frames.count() > before);
}

void TestICamera::controlsDialog()
{
    QSignalSpy results(m_camera, &ICamera::sgResult);
    m_camera->openCamera(infoFor("desk"), false);
    QTRY_COMPARE(results.count(), 1);

    int shown = 0;
    QStringList names;
    QTimer::singleShot(100, this, [&]() {
        auto* dialog = qobject_cast<IDeviceControlsDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shown = dialog->controlCount();
        for (QWidget* editor : dialog->findChildren<QWidget*>(QRegularExpression("^control_")))
            names << editor->accessibleName();
        // The row for brightness writes straight to the device.
        for (QSpinBox* spin : dialog->findChildren<QSpinBox*>()) {
            if (spin->parentWidget() && spin->parentWidget()->accessibleName().contains("Brightness", Qt::CaseInsensitive))
                spin->setValue(17);
        }
        dialog->reject();
    });
    QVERIFY(m_camera->camera()->videoCaptureFilter(nullptr));  // modal until the timer closes it
    QVERIFY2(shown >= 7, qPrintable(names.join(", ")));
    QCOMPARE(deviceValue("desk", capture::Property::Brightness), 17L);
}

void TestICamera::closeTwice()
{
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy copies(m_camera, &ICamera::sgRunCopyImage);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    ICameraInfo info = infoFor("desk", QSize(640, 480));
    info.strDisplayName = "desk #1";
    m_camera->openCamera(info, false);
    QTRY_COMPARE(results.count(), 1);
    QTRY_VERIFY(frames.count() >= 1);

    QVERIFY(m_camera->closeCamera());
    QCOMPARE(copies.count(), 1);
    QVERIFY(!m_camera->camera());
    const int framesAtClose = frames.count();
    QVERIFY(m_camera->closeCamera());
    QCOMPARE(copies.count(), 1);

    ICameraInfo expected;
    expected.resolution.size = QSize(640, 480);
    expected.resolution.captureSize = QSize(640, 480);
    QCOMPARE(currentCameraInfo(), expected);
    QTest::qWait(150);
    QCOMPARE(frames.count(), framesAtClose);  // nothing arrives after the close

    // The device is free again: a second open streams at once.
    m_camera->openCamera(infoFor("desk"), false);
    QTRY_COMPARE(results.count(), 2);
    QCOMPARE(results.last().at(0).value<IResult>(), Success);
}

void TestICamera::stillPicture()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy stills(m_camera, &ICamera::sgStillImage);
    m_camera->openCamera(infoFor("still"), true);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.at(0).at(0).value<IResult>(), Success);
    QVERIFY(m_camera->camera()->triggerStillCapture());
    QTRY_COMPARE(stills.count(), 1);
    QCOMPARE(stills.at(0).at(0).value<QImage>().size(), QSize(320, 240));

    // A camera without a still pin fails the open when a still pin is asked for.
    m_camera->openCamera(infoFor("bare"), true);
    QTRY_COMPARE(results.count(), 2);
    QCOMPARE(results.at(1).at(0).value<IResult>(), OpenFailed);
    QVERIFY(log.contains("device not support still captue imgae."));
}

void TestICamera::unplugMidStream()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    m_camera->openCamera(infoFor("unplug"), false);
    QTRY_COMPARE(results.count(), 1);
    QTRY_VERIFY(frames.count() >= 2);

    QVERIFY(m_file.write(allCameras(false)));
    // The stream ends; the frames stop; closing afterwards is clean and prompt.
    QTest::qWait(300);
    const int after = frames.count();
    QTest::qWait(300);
    QCOMPARE(frames.count(), after);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(m_camera->closeCamera());
    QVERIFY(timer.elapsed() < 3000);
    QVERIFY(log.contains("exit direct show thread."));

    // Plugged in again, it opens as before.
    QVERIFY(m_file.write(allCameras(true)));
    m_camera->openCamera(infoFor("unplug"), false);
    QTRY_COMPARE(results.count(), 2);
    QCOMPARE(results.last().at(0).value<IResult>(), Success);
}

void TestICamera::quitWhileStreaming()
{
    LogCapture log;
    QSignalSpy results(m_camera, &ICamera::sgResult);
    QSignalSpy frames(m_camera, &ICamera::sgPreviewImage);
    m_camera->openCamera(infoFor("desk"), false);
    QTRY_COMPARE(results.count(), 1);
    QTRY_VERIFY(frames.count() >= 2);

    // The application's event loop ends while frames flow: the facade closes the
    // camera on the way out.
    QTimer::singleShot(50, qApp, &QCoreApplication::quit);
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!m_camera->camera());
    QVERIFY(log.contains("exit direct show thread."));
}

QTEST_MAIN(TestICamera)
#include "tst_icamera.moc"
