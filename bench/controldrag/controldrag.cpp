// Measures a slider drag through the camera facade, made as the camera page makes it
// (a named setter per move, 60 moves a second, back and forth over the range):
// - device requests during the drag (virtual cameras count them; see VirtualCameraState),
// - the longest event-loop stall: how late a 1 ms timer fires at worst,
// - the time from the last move until a second handle on the device sees the last value,
// and, with --during-open, the stall of one move made while the camera opens and starts.
//
//   lumivo_controldrag --virtual-cameras FILE --path virtual:slow --control brightness [--seconds 2] [--during-open]
//
// Numbers only: nothing here passes or fails.
#include "base/icamerainfo.h"
#include "camera/icamera.h"
#include "capture/capturesystem.h"
#include "capture/virtual/virtualcamerastate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <linux/videodev2.h>
#include <mutex>

namespace {

struct Stalls
{
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 worst = 0;
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            worst = qMax(worst, now - last - 1000000);
        last = now;
    }
};

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"virtual-cameras", "cameras file", "file"}, {"path", "device path", "path"},
                       {"control", "brightness or exposure", "name", "brightness"},
                       {"seconds", "drag length", "s", "2"}, {"during-open", "one move while the camera opens"},
                       {"move-after", "during-open: ms after the open is asked for", "ms", "300"}});
    parser.process(app);
    registerCameraMetaTypes();
    QString error;
    if (parser.isSet("virtual-cameras")
        && !capture::CaptureSystem::instance()->configureFromArguments(app.arguments(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    const QString path = parser.value("path");
    waitFor([&] {  // the cameras file is read on the event loop
        for (const capture::DeviceDescriptor& d : capture::CaptureSystem::instance()->enumerate())
            if (d.devicePath == path)
                return true;
        return false;
    }, 5000);
    const bool exposure = parser.value("control") == "exposure";
    const quint32 id = exposure ? V4L2_CID_EXPOSURE_ABSOLUTE : V4L2_CID_BRIGHTNESS;
    const auto move = [exposure](int v) {
        return exposure ? ICamera::instance()->setExposure(v) : ICamera::instance()->setBrightness(v);
    };

    // A second handle sees what lands on the device (the device tells other handles).
    std::shared_ptr<capture::CaptureDevice> watcher;
    capture::CaptureSystem::instance()->open(path, watcher);
    std::mutex seenMutex;
    qint64 seenValue = -1, seenAt = -1;
    QElapsedTimer clock;
    clock.start();
    if (watcher)
        watcher->setControlListener([&](const dshow::ControlEvent& e) {
            if (e.id != id || !e.valueChanged)
                return;
            std::lock_guard<std::mutex> lock(seenMutex);
            seenValue = e.value;
            seenAt = clock.nsecsElapsed();
        });

    Stalls stalls;
    stalls.clock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] { stalls.tick(); });
    tick.start();

    ICameraInfo info;
    info.strDevicePath = path;
    info.resolution.size = info.resolution.captureSize = QSize(0, 0);
    IResult result = IResult(-1);
    QObject::connect(ICamera::instance(), &ICamera::sgResult, [&](IResult r) { result = r; });
    ICamera::instance()->openCamera(info, false);
    if (parser.isSet("during-open")) {
        waitFor([&] { return int(result) >= 0; }, parser.value("move-after").toInt());  // the start is under way
        QElapsedTimer call;
        call.start();
        move(1);
        const qint64 callNs = call.nsecsElapsed();
        waitFor([&] { return int(result) >= 0; }, 10000);
        std::printf("during open: the move took %.1f ms, longest stall %.1f ms, open result %d\n", callNs / 1e6,
                    stalls.worst / 1e6, int(result));
        ICamera::instance()->closeCamera();
        return 0;
    }
    if (!waitFor([&] { return int(result) >= 0; }, 10000) || result != Success) {
        std::printf("the camera did not open\n");
        return 1;
    }
    waitFor([] { return false; }, 300);  // settles
    // The same wait without a move: what the machine and the preview cost anyway.
    stalls.last = -1;
    stalls.worst = 0;
    waitFor([] { return false; }, 1000);
    const qint64 worstIdle = stalls.worst;

    const CameraParameter range = ICamera::instance()->parameters()[exposure ? CameraParameters::Exposure : CameraParameters::Brightness];
    const int low = range.min.toInt(), high = range.max.toInt();
    const quint64 requestsBefore = capture::VirtualCameraState::requestCount();
    stalls.last = -1;
    stalls.worst = 0;
    int moves = 0, value = low, direction = 1;
    qint64 lastMoveAt = 0;
    QTimer drag;
    drag.setTimerType(Qt::PreciseTimer);
    QObject::connect(&drag, &QTimer::timeout, [&] {
        value += direction * qMax(1, (high - low) / 40);
        if (value >= high || value <= low) {
            value = qBound(low, value, high);
            direction = -direction;
        }
        lastMoveAt = clock.nsecsElapsed();
        move(value);
        ++moves;
    });
    QElapsedTimer dragClock;
    dragClock.start();
    drag.start(16);
    waitFor([&] { return dragClock.elapsed() >= int(parser.value("seconds").toDouble() * 1000); }, 60000);
    drag.stop();
    const qint64 dragMs = dragClock.elapsed();
    const qint64 worstDuringDrag = stalls.worst;
    const int last = value;
    const bool landed = waitFor([&] {
        std::lock_guard<std::mutex> lock(seenMutex);
        return seenValue == last && seenAt >= 0;
    }, 10000);
    const quint64 requests = capture::VirtualCameraState::requestCount() - requestsBefore;
    qint64 landedNs = 0;
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        landedNs = seenAt - lastMoveAt;
    }
    std::printf("%s drag, %d moves in %.1f s: %llu device requests (%.2f per move), longest stall %.1f ms, "
                "last value on the device after %s ms (idle stall %.1f ms)\n",
                qPrintable(parser.value("control")), moves, dragMs / 1000.0,
                static_cast<unsigned long long>(requests), double(requests) / qMax(1, moves), worstDuringDrag / 1e6,
                landed ? qPrintable(QString::number(landedNs / 1e6, 'f', 1)) : "(never)", worstIdle / 1e6);
    if (watcher)
        watcher->setControlListener(nullptr);
    ICamera::instance()->closeCamera();
    return 0;
}
