// The capture layer's contract, run against virtual cameras: format survey, stream
// configuration with refusals, intelligent connect to RGB32, bottom-up frames of the
// right pixels, busy and failing devices, the still pin, properties, and stopping
// while frames flow.

#include "support/capturetest.h"

#include "capture/capturesystem.h"
#include "capture/virtual/testpatterngenerator.h"
#include "capture/virtual/virtualbackend.h"

#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace dshow;
using capture::TestPatternGenerator;

class TestVirtualCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formatSurvey();
    void mjpgFramesAreBottomUpRgb32();
    void encodedJpegKeepsOnlyItsOwnBytes();
    void yuy2FramesAreBottomUpRgb32();
    void refusedSizeFailsSetFormat();
    void busyCameraFailsToRun();
    void openErrorComesBackFromBind();
    void stillPinDeliversOneJpegPerTrigger();
    void propertiesRangesModesAndWrites();
    void brightnessChangesThePicture();
    void stopFromAnotherThreadWaitsForCallback();
    void clearingTheCallbackWhileStreaming();
    void cannotReconfigureWhileRunning();
    void errorMessagesAndApartments();

private:
    QTemporaryDir m_dir;
};

static const char* kCameras = R"({ "cameras": [
  { "name": "Desk Camera", "path": "virtual:desk", "vid": "1209", "pid": "4c56", "serial": "LV0001",
    "formats": [ {"subtype": "MJPG", "width": 640, "height": 480, "fps": 30},
                 {"subtype": "MJPG", "width": 1280, "height": 720, "fps": 30},
                 {"subtype": "YUY2", "width": 320, "height": 240, "fps": 30},
                 {"subtype": "MJPG", "width": 3840, "height": 2160, "fps": 30} ],
    "current": {"width": 640, "height": 480},
    "refuse": ["3840x2160"],
    "controls": {
      "brightness": {"min": 0, "max": 64, "step": 1, "default": 32, "value": 32},
      "contrast": {}, "saturation": {},
      "whiteBalance": {"min": 2800, "max": 6500, "step": 10, "default": 4600, "value": 4600, "auto": true},
      "exposure": {"min": -13, "max": -1, "step": 1, "default": -6, "value": -6, "auto": true},
      "focus": {"min": 0, "max": 250, "step": 5, "default": 0, "value": 30, "auto": false} },
    "still": true },
  { "name": "Busy Camera", "busy": true },
  { "name": "Broken Camera", "openError": -2 }
] })";

void TestVirtualCamera::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString file = m_dir.filePath(QStringLiteral("cameras.json"));
    writeFile(file, kCameras);
    QString error;
    QVERIFY2(capture::CaptureSystem::instance()->virtualBackend()->watchFile(file, &error), qPrintable(error));
}

void TestVirtualCamera::formatSurvey()
{
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    std::vector<std::shared_ptr<IPin>> pins;
    QCOMPARE(g.device->EnumPins(pins), S_OK);
    QCOMPARE(pins.size(), std::size_t(2));  // capture and still
    QCOMPARE(pins[0]->Category(), PinCategory::Capture);
    QCOMPARE(pins[1]->Category(), PinCategory::Still);
    std::vector<AM_MEDIA_TYPE> types;
    QCOMPARE(pins[0]->EnumMediaTypes(types), S_OK);
    QCOMPARE(types.size(), std::size_t(4));
    QCOMPARE(types[2].subtype, MEDIASUBTYPE_YUY2);
    for (const AM_MEDIA_TYPE& mt : types) {
        QCOMPARE(mt.majortype, MajorType::Video);
        QCOMPARE(mt.formattype, FormatType::VideoInfo);
        QCOMPARE(mt.cbFormat, kVideoInfoHeaderSize);
    }
    QCOMPARE(types[1].format.bmiHeader.biWidth, 1280);
    QCOMPARE(types[1].format.bmiHeader.biHeight, 720);
    QCOMPARE(types[1].format.AvgTimePerFrame, std::int64_t(333333));
    // The still pin offers JPEG at the capture sizes.
    QCOMPARE(pins[1]->EnumMediaTypes(types), S_OK);
    QVERIFY(!types.empty());
    for (const AM_MEDIA_TYPE& mt : types)
        QCOMPARE(mt.subtype, MEDIASUBTYPE_MJPG);

    // Only a video capture pin has stream configuration; interleaved is not found.
    std::shared_ptr<IAMStreamConfig> config;
    QVERIFY(FAILED(g.builder->FindInterface(PinCategory::Capture, MajorType::Interleaved, g.device, config)));
    QCOMPARE(g.builder->FindInterface(PinCategory::Capture, MajorType::Video, g.device, config), S_OK);
    AM_MEDIA_TYPE current;
    QCOMPARE(config->GetFormat(current), S_OK);
    QCOMPARE(current.subtype, MEDIASUBTYPE_MJPG);
    QCOMPARE(current.format.bmiHeader.biWidth, 640);
    QCOMPARE(current.format.bmiHeader.biHeight, 480);
}

static void checkBars(const QImage& picture)
{
    QVERIFY(!picture.isNull());
    const int y = picture.height() / 3;
    for (int i = 0; i < 8; ++i) {
        const int x = (2 * i + 1) * picture.width() / 16;
        const QRgb got = picture.pixel(x, y);
        QVERIFY2(colourDistance(got, TestPatternGenerator::barColor(i)) <= 16,
                 qPrintable(QStringLiteral("bar %1: got %2").arg(i).arg(got, 8, 16)));
    }
    // The dark band is at the bottom of the picture (the first rows of the buffer).
    const QRgb band = picture.pixel(picture.width() - 2, picture.height() * 2 / 3 + 2);
    QVERIFY2(colourDistance(band, qRgb(32, 32, 32)) <= 16, qPrintable(QString::number(band, 16)));
}

// A camera replays a loop of encoded frames; each must hold its JPEG, not the encoder's
// worst-case buffer (at 4K that is 16 MB per frame of the loop).
void TestVirtualCamera::encodedJpegKeepsOnlyItsOwnBytes()
{
    TestPatternGenerator generator;
    const QImage picture = generator.render(QStringLiteral("cam"), capture::VirtualControls(), 0, 30, 1280, 720);
    std::vector<std::uint8_t> jpeg;
    QVERIFY(generator.encode(picture, MEDIASUBTYPE_MJPG, jpeg));
    QVERIFY(jpeg.size() > 4 && jpeg[0] == 0xFF && jpeg[1] == 0xD8);
    QVERIFY2(jpeg.capacity() < std::size_t(1280) * 720 / 4, qPrintable(QString::number(jpeg.capacity())));
    const QImage decoded = QImage::fromData(jpeg.data(), int(jpeg.size()), "JPG");
    QCOMPARE(decoded.size(), QSize(1280, 720));
}

void TestVirtualCamera::mjpgFramesAreBottomUpRgb32()
{
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_MJPG, 1280, 720), S_OK);
    QCOMPARE(g.connect(), S_OK);
    AM_MEDIA_TYPE connected;
    QCOMPARE(g.grabber->GetConnectedMediaType(connected), S_OK);
    QCOMPARE(connected.subtype, MEDIASUBTYPE_RGB32);
    QCOMPARE(connected.format.bmiHeader.biWidth, 1280);
    QCOMPARE(g.grabber->SetCallback(&frames, 1), S_OK);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(2));
    QCOMPARE(g.control->Stop(), S_OK);
    const QByteArray frame = frames.last();
    QCOMPARE(frame.size(), 1280 * 720 * 4);
    checkBars(uprightImage(frame, 1280, 720));
    // Alpha (the fourth byte) is opaque.
    QCOMPARE(static_cast<unsigned char>(frame.at(3)), static_cast<unsigned char>(0xFF));
}

void TestVirtualCamera::yuy2FramesAreBottomUpRgb32()
{
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_YUY2, 320, 240), S_OK);
    QCOMPARE(g.connect(), S_OK);
    g.grabber->SetCallback(&frames, 1);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(2));
    g.control->Stop();
    QCOMPARE(frames.last().size(), 320 * 240 * 4);
    checkBars(uprightImage(frames.last(), 320, 240));
}

void TestVirtualCamera::refusedSizeFailsSetFormat()
{
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_MJPG, 640, 480), S_OK);
    QVERIFY(FAILED(g.setFormat(MEDIASUBTYPE_MJPG, 3840, 2160)));   // offered but refused
    QVERIFY(FAILED(g.setFormat(MEDIASUBTYPE_MJPG, 800, 600)));     // not offered
    QVERIFY(FAILED(g.setFormat(MEDIASUBTYPE_YUY2, 1280, 720)));    // size only offered as MJPG
    std::shared_ptr<IAMStreamConfig> config;
    g.builder->FindInterface(PinCategory::Capture, MajorType::Video, g.device, config);
    AM_MEDIA_TYPE mt;
    config->GetFormat(mt);
    QCOMPARE(mt.format.bmiHeader.biWidth, 640);  // unchanged by the refusals
}

void TestVirtualCamera::busyCameraFailsToRun()
{
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:Busy Camera")), S_OK);
    QCOMPARE(g.connect(), S_OK);
    QCOMPARE(g.control->Run(), E_DEVICE_BUSY);
    FILTER_STATE state = FILTER_STATE::State_Running;
    g.control->GetState(0, state);
    QCOMPARE(state, FILTER_STATE::State_Stopped);

    // A camera streams to one user at a time.
    TestGraph first, second;
    QCOMPARE(first.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(second.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(first.connect(), S_OK);
    QCOMPARE(second.connect(), S_OK);
    QCOMPARE(first.control->Run(), S_OK);
    QCOMPARE(second.control->Run(), E_DEVICE_BUSY);
    first.control->Stop();
    QCOMPARE(second.control->Run(), S_OK);
}

void TestVirtualCamera::openErrorComesBackFromBind()
{
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:Broken Camera")), HRESULT(-2));
    QVERIFY(!g.device);
    QCOMPARE(g.open(QStringLiteral("virtual:nowhere")), VFW_E_NOT_FOUND);
}

void TestVirtualCamera::stillPinDeliversOneJpegPerTrigger()
{
    FrameCollector frames, stills;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_MJPG, 640, 480), S_OK);  // the last open's format persists
    QCOMPARE(g.connect(), S_OK);
    QCOMPARE(g.connectStill(), S_OK);
    QVERIFY(g.stillPin);
    AM_MEDIA_TYPE mt;
    QCOMPARE(g.stillGrabber->GetConnectedMediaType(mt), S_OK);
    QCOMPARE(mt.subtype, MEDIASUBTYPE_MJPG);
    std::shared_ptr<IAMVideoControl> videoControl;
    QCOMPARE(QueryInterface(g.device, videoControl), S_OK);

    g.grabber->SetCallback(&frames, 1);
    g.stillGrabber->SetCallback(&stills, 1);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(1));
    QCOMPARE(videoControl->SetMode(g.stillPin, VideoControlFlag_Trigger), S_OK);
    QVERIFY(stills.waitFor(1));
    QVERIFY(frames.waitFor(frames.count() + 5));
    QCOMPARE(stills.count(), 1);
    g.control->Stop();
    QImage still;
    QVERIFY(still.loadFromData(stills.last(), "JPEG"));
    QCOMPARE(still.size(), QSize(640, 480));
    checkBars(still);

    // The capture pin is not a still pin.
    std::shared_ptr<IPin> capturePin;
    g.builder->FindPin(g.device, PINDIR_OUTPUT, PinCategory::Capture, false, 0, capturePin);
    QCOMPARE(videoControl->SetMode(capturePin, VideoControlFlag_Trigger), E_INVALIDARG);
}

void TestVirtualCamera::propertiesRangesModesAndWrites()
{
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    std::shared_ptr<IAMCameraControl> camera;
    std::shared_ptr<IAMVideoProcAmp> proc;
    QCOMPARE(QueryInterface(g.device, camera), S_OK);
    QCOMPARE(QueryInterface(g.device, proc), S_OK);
    std::shared_ptr<IKsControl> ks;
    QCOMPARE(QueryInterface(g.device, ks), S_OK);

    long min = 0, max = 0, step = 0, def = 0, caps = 0, value = 0, flags = -1;
    QCOMPARE(camera->GetRange(CameraControl_Focus, min, max, step, def, caps), S_OK);
    QCOMPARE(QList<long>({min, max, step, def, caps}), QList<long>({0, 250, 5, 0, 3}));
    QCOMPARE(camera->Get(CameraControl_Focus, value, flags), S_OK);
    QCOMPARE(value, 30L);
    QCOMPARE(flags, 2L);  // manual
    QCOMPARE(camera->Get(CameraControl_Exposure, value, flags), S_OK);
    QCOMPARE(flags, 1L);  // auto
    QCOMPARE(proc->GetRange(VideoProcAmp_Brightness, min, max, step, def, caps), S_OK);
    QCOMPARE(QList<long>({min, max, def, caps}), QList<long>({0, 64, 32, 2}));
    QCOMPARE(proc->Get(VideoProcAmp_Brightness, value, flags), S_OK);
    QCOMPARE(flags, 0L);  // reports neither mode
    // {} takes the defaults; an absent control fails its range read.
    QCOMPARE(proc->GetRange(VideoProcAmp_Contrast, min, max, step, def, caps), S_OK);
    QCOMPARE(QList<long>({min, max, def}), QList<long>({0, 100, 50}));
    QCOMPARE(proc->GetRange(VideoProcAmp_Sharpness, min, max, step, def, caps), E_PROP_ID_UNSUPPORTED);
    QCOMPARE(proc->GetRange(VideoProcAmp_Hue, min, max, step, def, caps), E_PROP_ID_UNSUPPORTED);
    QCOMPARE(camera->GetRange(CameraControl_Zoom, min, max, step, def, caps), E_PROP_ID_UNSUPPORTED);

    // A value switches to manual; auto switches back; both persist into the next open.
    QCOMPARE(proc->Set(VideoProcAmp_WhiteBalance, 3800, VideoProcAmp_Flags_Manual), S_OK);
    QCOMPARE(proc->Get(VideoProcAmp_WhiteBalance, value, flags), S_OK);
    QCOMPARE(value, 3800L);
    QCOMPARE(flags, 2L);
    QCOMPARE(camera->Set(CameraControl_Focus, 0, CameraControl_Flags_Auto), S_OK);
    QVERIFY(FAILED(proc->Set(VideoProcAmp_Brightness, 0, VideoProcAmp_Flags_Auto)));  // no auto mode
    QVERIFY(FAILED(proc->Set(VideoProcAmp_Brightness, 65, VideoProcAmp_Flags_Manual)));  // out of range
    QVERIFY(FAILED(proc->Set(VideoProcAmp_Brightness, 10, 0)));  // no mode
    QCOMPARE(proc->Set(VideoProcAmp_Brightness, 40, VideoProcAmp_Flags_Manual), S_OK);
    QCOMPARE(proc->Get(VideoProcAmp_Brightness, value, flags), S_OK);
    QCOMPARE(flags, 0L);

    TestGraph again;
    QCOMPARE(again.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(QueryInterface(again.device, camera), S_OK);
    QCOMPARE(camera->Get(CameraControl_Focus, value, flags), S_OK);
    QCOMPARE(flags, 1L);

    std::shared_ptr<ISpecifyPropertyPages> pages;
    QCOMPARE(QueryInterface(again.device, pages), S_OK);
    std::vector<DeviceControl> controls;
    QCOMPARE(pages->GetControls(controls), S_OK);
    QVERIFY(controls.size() >= 6);

    // Restore for the other tests.
    proc->Set(VideoProcAmp_WhiteBalance, 0, VideoProcAmp_Flags_Auto);
    QCOMPARE(QueryInterface(again.device, proc), S_OK);
    proc->Set(VideoProcAmp_Brightness, 32, VideoProcAmp_Flags_Manual);
    camera->Set(CameraControl_Focus, 30, CameraControl_Flags_Manual);
}

void TestVirtualCamera::brightnessChangesThePicture()
{
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_MJPG, 640, 480), S_OK);
    QCOMPARE(g.connect(), S_OK);
    g.grabber->SetCallback(&frames, 1);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(1));
    const QRgb blackBar = uprightImage(frames.last(), 640, 480).pixel(600, 100);
    QVERIFY(qRed(blackBar) < 20);
    std::shared_ptr<IAMVideoProcAmp> proc;
    QueryInterface(g.device, proc);
    QCOMPARE(proc->Set(VideoProcAmp_Brightness, 64, VideoProcAmp_Flags_Manual), S_OK);
    // Frames already on their way may still be dark; a brightened one must follow.
    bool brighter = false;
    for (int i = 0; i < 20 && !brighter; ++i) {
        QVERIFY(frames.waitFor(frames.count() + 1));
        brighter = qRed(uprightImage(frames.last(), 640, 480).pixel(600, 100)) > 60;
    }
    g.control->Stop();
    proc->Set(VideoProcAmp_Brightness, 32, VideoProcAmp_Flags_Manual);
    QVERIFY(brighter);
}

void TestVirtualCamera::stopFromAnotherThreadWaitsForCallback()
{
    FrameCollector frames;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.connect(), S_OK);
    frames.sleepMs = 30;  // callbacks take long, so Stop meets one in progress
    g.grabber->SetCallback(&frames, 1);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(2));
    bool callbackRanAfterStop = true;
    int countAtStop = 0;
    std::thread stopper([&] {
        g.control->Stop();
        callbackRanAfterStop = frames.inCallback;
        countAtStop = frames.count();
    });
    stopper.join();
    QVERIFY(!callbackRanAfterStop);
    QTest::qWait(150);
    QCOMPARE(frames.count(), countAtStop);
    // And it runs again afterwards.
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames.waitFor(countAtStop + 1));
}

void TestVirtualCamera::clearingTheCallbackWhileStreaming()
{
    FrameCollector more;
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.connect(), S_OK);
    auto frames = std::make_unique<FrameCollector>();
    frames->sleepMs = 10;
    g.grabber->SetCallback(frames.get(), 1);
    QCOMPARE(g.control->Run(), S_OK);
    QVERIFY(frames->waitFor(2));
    QCOMPARE(g.grabber->SetCallback(nullptr, 1), S_OK);
    QVERIFY(!frames->inCallback);
    const int count = frames->count();
    frames.reset();  // the object is gone; the stream goes on without it
    QTest::qWait(100);
    g.grabber->SetCallback(&more, 1);
    QVERIFY(more.waitFor(1));
    QVERIFY(count >= 2);
    g.control->Stop();
}

void TestVirtualCamera::cannotReconfigureWhileRunning()
{
    TestGraph g;
    QCOMPARE(g.open(QStringLiteral("virtual:desk")), S_OK);
    QCOMPARE(g.connect(), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_MJPG, 1280, 720), VFW_E_ALREADY_CONNECTED);
    QCOMPARE(g.control->Run(), S_OK);
    std::shared_ptr<IPin> out;
    g.builder->FindPin(g.device, PINDIR_OUTPUT, PinCategory::Capture, false, 0, out);
    QCOMPARE(g.graph->Disconnect(out), VFW_E_NOT_STOPPED);
    QCOMPARE(g.control->Stop(), S_OK);
    QCOMPARE(g.graph->Disconnect(out), S_OK);
    QCOMPARE(g.setFormat(MEDIASUBTYPE_MJPG, 1280, 720), S_OK);
}

void TestVirtualCamera::errorMessagesAndApartments()
{
    QCOMPARE(ErrorMessage(E_FAIL), QStringLiteral("Unspecified error"));
    QCOMPARE(ErrorMessage(VFW_E_NOT_CONNECTED),
             QStringLiteral("The operation cannot be performed because the pins are not connected."));
    // Codes of the filter facility without a text of their own.
    QCOMPARE(ErrorMessage(hr(0x80040201)), QStringLiteral("IDispatch error #1"));
    QCOMPARE(ErrorMessage(hr(0x8004FFFF)), QStringLiteral("IDispatch error #65023"));
    QCOMPARE(ErrorMessage(hr(0x80050000)), QStringLiteral("Unknown error 0x80050000"));
    QCOMPARE(ErrorMessage(-2), QStringLiteral("Unknown error 0xFFFFFFFE"));
    for (HRESULT code : {E_NOTIMPL, E_NOINTERFACE, E_POINTER, E_UNEXPECTED, E_OUTOFMEMORY, E_INVALIDARG, E_ACCESSDENIED,
                         E_PROP_ID_UNSUPPORTED, E_DEVICE_BUSY, E_DEVICE_NOT_CONNECTED, VFW_E_INVALIDMEDIATYPE,
                         VFW_E_ALREADY_CONNECTED, VFW_E_NO_ACCEPTABLE_TYPES, VFW_E_NOT_STOPPED, VFW_E_CANNOT_CONNECT,
                         VFW_E_NOT_FOUND, VFW_E_TYPE_NOT_ACCEPTED})
        QVERIFY2(!ErrorMessage(code).startsWith(QLatin1String("Unknown")) && !ErrorMessage(code).startsWith(QLatin1String("IDispatch")),
                 qPrintable(ErrorMessage(code)));

    // Apartments count per thread: the first initialisation on a thread is S_OK.
    std::thread other([] {
        QCOMPARE(CoInitialize(nullptr), S_OK);
        QCOMPARE(CoInitialize(nullptr), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        QCOMPARE(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    });
    other.join();
    QCOMPARE(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

QTEST_MAIN(TestVirtualCamera)
#include "tst_virtualcamera.moc"
