// The camera's frame path, from the MJPG frame a (virtual) device hands over to the
// image the facade delivers on the GUI thread (at full size, and decoded smaller for a
// 400x225 preview), beside the bare TurboJPEG decode of the
// same frames (upright, as the path decodes them) and beside the path's former cost, a
// bottom-up decode plus an upright copy; plus a 4K stream at 30 fps and a 4K stream
// with the GUI thread stalled.
//
//   build/bench/lumivo_bench --benchmark_filter='FramePath|PreviewPath|BareDecode|DecodeCopy'
//   build/bench/lumivo_bench --benchmark_filter='Stream|GuiStall'
//
// Under callgrind (bench/instructions.sh) the same two are counted in instructions
// instead, which a busy machine does not change: BareDecode over a fixed number of
// frames, and the path as the difference between two streams that end after a
// different number of frames (the open, the camera's first pass and the close cancel).
#include "camera/idshowthread.h"
#include "camera/icamera.h"
#include "capture/capturesystem.h"
#include "capture/framedecoder.h"
#include "capture/virtual/virtualbackend.h"

#include "capture/virtual/testpatterngenerator.h"
#include "capture/virtual/virtualcamera.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(text)
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

struct FrameSize
{
    int width;
    int height;
};
constexpr FrameSize kSizes[] = {{1280, 720}, {1920, 1080}, {3840, 2160}};
// Counted in instructions: frames decoded bare, and the two stream lengths past the
// camera's first pass.
constexpr int kCountedFrames = 12;
constexpr int kShortStream = 4;
constexpr int kSkippedFrames = 90;  // before frames are taken for the bare decode: past the first pass

bool counting()
{
    return RUNNING_ON_VALGRIND;
}

QString benchPath(int width, int height, int fps)
{
    return QStringLiteral("virtual:bench-%1x%2@%3").arg(width).arg(height).arg(fps);
}

// A camera that falls silent after `frames` frames.
QString countedPath(int width, int height, int frames)
{
    return QStringLiteral("virtual:count-%1x%2-%3").arg(width).arg(height).arg(frames);
}

int firstPass(int width, int height)
{
    return capture::VirtualCamera::loopLength(width, height);
}

// The application object and the virtual cameras the benchmarks stream from.
bool setUp()
{
    static bool ready = [] {
        static int argc = 1;
        static char name[] = "lumivo_bench";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        // The camera's log lines would drown the results; only critical ones are shown.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                fprintf(stderr, "%s\n", qPrintable(message));
        });
        registerCameraMetaTypes();

        static QTemporaryDir dir;
        QJsonArray cameras;
        auto add = [&](int w, int h, int fps, const QString& path = QString(), int stallAfter = -1) {
            QJsonObject camera{
                {"name", QStringLiteral("bench %1x%2@%3").arg(w).arg(h).arg(fps)},
                {"path", path.isEmpty() ? benchPath(w, h, fps) : path},
                {"formats", QJsonArray{QJsonObject{{"subtype", "MJPG"}, {"width", w}, {"height", h}, {"fps", fps}}}}};
            if (stallAfter >= 0)
                camera["stallAfter"] = stallAfter;
            cameras.append(camera);
        };
        // Faster than any size decodes, so the path runs back to back like the bare
        // decode beside it (a paced camera adds its threads' idle wake-ups); and the
        // real 4K rate.
        for (const FrameSize& s : kSizes) {
            add(s.width, s.height, 1000);
            for (int frames : {kShortStream, kShortStream + kCountedFrames}) {
                const int sent = firstPass(s.width, s.height) + frames;
                add(s.width, s.height, 1000, countedPath(s.width, s.height, sent), sent);
            }
        }
        add(3840, 2160, 30);
        const QString path = dir.filePath("bench.json");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QJsonDocument(QJsonObject{{"cameras", cameras}}).toJson());
        file.close();
        QString error;
        return capture::CaptureSystem::instance()->virtualBackend()->watchFile(path, &error);
    }();
    return ready;
}

// Keeps the GUI thread's events flowing until `done` or the timeout. The thread
// sleeps between events (a timer wakes it now and then to look at the clock), so the
// measured CPU time is the frame path's, not a polling loop's.
template <class Predicate>
bool runEventsUntil(Predicate done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer wake;
    wake.start(counting() ? 2000 : 50);  // counted, a wake-up is noise
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Counts what the facade delivers on the GUI thread.
struct PreviewCounter
{
    std::atomic<int> frames{0};
    QSize lastSize;
    IResult result = IResult(-1);
    QMetaObject::Connection frameConnection, resultConnection;

    PreviewCounter()
    {
        frameConnection = QObject::connect(ICamera::instance(), &ICamera::sgPreviewImage, [this](const QImage& image) {
            lastSize = image.size();
            ++frames;
        });
        resultConnection = QObject::connect(ICamera::instance(), &ICamera::sgResult, [this](IResult r) { result = r; });
    }
    ~PreviewCounter()
    {
        QObject::disconnect(frameConnection);
        QObject::disconnect(resultConnection);
    }
};

// Opens a bench camera and waits until its replay runs; on failure the benchmark is
// skipped with the reason and nothing is left open.
bool openStreaming(benchmark::State& state, PreviewCounter& counter, const QString& path, int width, int height,
                   int warmFrames)
{
    if (!setUp()) {
        state.SkipWithError("no virtual cameras");
        return false;
    }
    ICameraInfo info;
    info.strDevicePath = path;
    info.resolution = CameraResolution(width, height);
    ICamera::instance()->openCamera(info, false);
    if (!runEventsUntil([&] { return counter.result != IResult(-1); }, 20000) || counter.result != Success) {
        state.SkipWithError("the virtual camera did not open");
        ICamera::instance()->closeCamera();
        return false;
    }
    // The camera encodes its short loop on the first pass; measure the replay.
    if (!runEventsUntil([&] { return counter.frames >= warmFrames; }, 120000)) {
        state.SkipWithError("no frames");
        ICamera::instance()->closeCamera();
        return false;
    }
    return true;
}

quint64 workerDrops()
{
    auto* camera = qobject_cast<IDShowThread*>(ICamera::instance()->camera());
    return camera ? camera->droppedFrames() : 0;
}

// With a preview area, frames are decoded at the smallest scale that covers it.
void runPath(benchmark::State& state, int width, int height, const QSize& area)
{
    QSize expected(width, height);
    capture::FrameDecoder decoder;
    if (area.isValid() && decoder.configure(dshow::MEDIASUBTYPE_MJPG, width, height)) {
        decoder.setPreviewArea(area.width(), area.height());
        expected = QSize(decoder.outputWidth(), decoder.outputHeight());
    }
    ICamera::instance()->setPreviewArea(area);
    PreviewCounter counter;
    if (!openStreaming(state, counter, benchPath(width, height, 1000), width, height, 90))
        return;
    const quint64 workerBefore = workerDrops();
    const quint64 guiBefore = ICamera::instance()->droppedPreviews();
    for (auto _ : state) {
        const int target = counter.frames + 1;
        runEventsUntil([&] { return counter.frames >= target; }, 10000);
    }
    state.counters["worker_drops"] = double(workerDrops() - workerBefore);
    state.counters["gui_drops"] = double(ICamera::instance()->droppedPreviews() - guiBefore);
    const bool sizeOk = counter.lastSize == expected;
    ICamera::instance()->closeCamera();
    if (!sizeOk)
        state.SkipWithError("frames of the wrong size");
}

void FramePath(benchmark::State& state, int width, int height)
{
    runPath(state, width, height, QSize());
}

// Counted: everything from the open of a camera that sends `frames` frames to its close,
// once the path has handed on (or dropped) every one of them.
void countPath(benchmark::State& state, int width, int height, int frames)
{
    if (!setUp()) {
        state.SkipWithError("no virtual cameras");
        return;
    }
    const int sent = firstPass(width, height) + frames;
    for (auto _ : state) {
        ICamera::instance()->setPreviewArea(QSize());
        // The camera draws its pictures with text: the glyphs are drawn once before, so
        // that both streams draw the same.
        capture::TestPatternGenerator().render(QStringLiteral("bench %1x%2@1000").arg(width).arg(height), capture::VirtualControls(),
                                               0, firstPass(width, height), width, height);
        CALLGRIND_ZERO_STATS;
        const quint64 earlier = ICamera::instance()->droppedPreviews();  // counted since the start; the worker's per camera
        const auto dropped = [&] { return workerDrops() + ICamera::instance()->droppedPreviews() - earlier; };
        PreviewCounter counter;
        ICameraInfo info;
        info.strDevicePath = countedPath(width, height, sent);
        info.resolution = CameraResolution(width, height);
        ICamera::instance()->openCamera(info, false);
        const bool done = runEventsUntil([&] {
            return counter.result == Success && quint64(counter.frames) + dropped() >= quint64(sent);
        }, 1800000);
        const quint64 drops = dropped();
        const int delivered = counter.frames;
        ICamera::instance()->closeCamera();
        const QByteArray what = QStringLiteral("FramePath/%1x%2 sent=%3 delivered=%4 dropped=%5")
                                    .arg(width).arg(height).arg(sent).arg(delivered).arg(drops).toUtf8();
        CALLGRIND_DUMP_STATS_AT(what.constData());
        if (!done)
            state.SkipWithError("the path did not hand on every frame");
    }
}

// The path for a preview of 400x225 device pixels (the camera page at scale 1).
void PreviewPath(benchmark::State& state, int width, int height)
{
    runPath(state, width, height, QSize(400, 225));
}

// The MJPG frames the device hands over, copied out of its sink.
std::vector<std::vector<std::uint8_t>> rawFrames(const QString& path, int width, int height, int count)
{
    std::vector<std::vector<std::uint8_t>> frames;
    std::shared_ptr<capture::CaptureDevice> device;
    if (dshow::FAILED(capture::CaptureSystem::instance()->open(path, device)) || !device
        || dshow::FAILED(device->setFormat(dshow::MEDIASUBTYPE_MJPG, width, height)))
        return frames;
    std::mutex mutex;
    std::condition_variable enough;
    int seen = 0;
    const int skip = kSkippedFrames;
    device->start([&](const capture::RawFrame& frame) {
        std::lock_guard<std::mutex> lock(mutex);
        if (++seen > skip && int(frames.size()) < count)
            frames.emplace_back(frame.data, frame.data + frame.size);
        if (int(frames.size()) >= count)
            enough.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        enough.wait_for(lock, std::chrono::seconds(120), [&] { return int(frames.size()) >= count; });
    }
    device->stop();
    return frames;
}

// The bare decode (upright BGRX, what the path's decoder does): the floor under the
// whole path, on one thread. With `copy`, the path as it was: a bottom-up decode into
// the decoder's own buffer and an upright copy of it into a pooled buffer.
void decodeFrames(benchmark::State& state, int width, int height, bool copy)
{
    if (!setUp()) {
        state.SkipWithError("no virtual cameras");
        return;
    }
    // Taken once per size: every repetition would otherwise wait for the camera to
    // encode its loop again.
    static std::map<int, std::vector<std::vector<std::uint8_t>>> taken;
    auto& frames = taken[width];
    if (frames.empty())
        frames = rawFrames(benchPath(width, height, 1000), width, height, 30);
    if (frames.empty()) {
        state.SkipWithError("no frames from the virtual camera");
        return;
    }
    tjhandle handle = tjInitDecompress();
    std::vector<unsigned char> rgb(std::size_t(width) * height * 4);
    const auto pool = IFrameBufferPool::create(1);
    IFrameBufferPool::Buffer* upright = copy ? pool->acquire(rgb.size()) : nullptr;
    if (copy && !upright) {
        state.SkipWithError("no memory for the copy");
        tjDestroy(handle);
        return;
    }
    std::size_t i = 0;
    // Counted, the frames are those the path's longer stream sends beyond the shorter one.
    const int loop = firstPass(width, height);
    const std::size_t first = counting() ? std::size_t(((kShortStream - kSkippedFrames) % loop + loop) % loop) : 0;
    CALLGRIND_ZERO_STATS;
    for (auto _ : state) {
        const auto& jpeg = frames[(first + i++) % frames.size()];
        if (tjDecompress2(handle, jpeg.data(), static_cast<unsigned long>(jpeg.size()), rgb.data(), width, 0, height,
                          TJPF_BGRX, copy ? TJFLAG_BOTTOMUP : 0)
            != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        if (upright)
            IDShowThread::copyRowsReversed(upright->data, rgb.data(), width * 4, height);
        benchmark::DoNotOptimize(rgb.data());
    }
    const QByteArray what = QStringLiteral("%1/%2x%3 frames=%4").arg(copy ? "DecodeCopy" : "BareDecode").arg(width).arg(height)
                                .arg(state.iterations()).toUtf8();
    CALLGRIND_DUMP_STATS_AT(what.constData());
    IFrameBufferPool::recycle(upright);
    tjDestroy(handle);
}

void BareDecode(benchmark::State& state, int width, int height)
{
    decodeFrames(state, width, height, false);
}

void DecodeCopy(benchmark::State& state, int width, int height)
{
    decodeFrames(state, width, height, true);
}

long residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * sysconf(_SC_PAGESIZE) : 0;
}

// A 4K stream at the camera's real rate: frames delivered per second, and frames lost
// at either hand-over (the decode runs on the streaming thread, so a camera that cannot
// keep up shows as a rate below 30).
void Stream4K(benchmark::State& state)
{
    PreviewCounter counter;
    if (!openStreaming(state, counter, benchPath(3840, 2160, 30), 3840, 2160, 60))
        return;
    const int seconds = 10;
    for (auto _ : state) {
        const int before = counter.frames;
        const quint64 workerBefore = workerDrops();
        const quint64 guiBefore = ICamera::instance()->droppedPreviews();
        const auto started = std::chrono::steady_clock::now();
        runEventsUntil([] { return false; }, seconds * 1000);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.SetIterationTime(elapsed);
        state.counters["fps"] = (counter.frames - before) / elapsed;
        state.counters["worker_drops"] = double(workerDrops() - workerBefore);
        state.counters["gui_drops"] = double(ICamera::instance()->droppedPreviews() - guiBefore);
    }
    ICamera::instance()->closeCamera();
}

// A 4K stream while the GUI thread does nothing for 5 s: the resident memory during
// the stall, beside the steady state before it, in frames of 3840x2160x4 bytes.
void GuiStall4K(benchmark::State& state)
{
    PreviewCounter counter;
    if (!openStreaming(state, counter, benchPath(3840, 2160, 30), 3840, 2160, 60))
        return;
    const double frameBytes = 3840.0 * 2160.0 * 4.0;
    std::atomic<long> peak{0};
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            long now = residentBytes();
            long old = peak.load();
            while (now > old && !peak.compare_exchange_weak(old, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    for (auto _ : state) {
        runEventsUntil([] { return false; }, 1000);
        peak = 0;
        runEventsUntil([] { return false; }, 3000);
        const long steady = peak.exchange(0);
        const int before = counter.frames;
        const quint64 guiBefore = ICamera::instance()->droppedPreviews();
        const auto started = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));  // the stalled GUI thread
        const long stalled = peak.exchange(0);
        runEventsUntil([&] { return counter.frames > before + 10; }, 10000);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        state.counters["steady_MB"] = steady / 1048576.0;
        state.counters["stall_peak_MB"] = stalled / 1048576.0;
        state.counters["growth_frames"] = (stalled - steady) / frameBytes;
        state.counters["frames_after_stall"] = counter.frames - before;
        state.counters["gui_drops"] = double(ICamera::instance()->droppedPreviews() - guiBefore);
    }
    sampling = false;
    sampler.join();
    ICamera::instance()->closeCamera();
}

const bool registered = [] {
    if (counting()) {
        for (const FrameSize& s : kSizes) {
            const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
            for (int frames : {kShortStream, kShortStream + kCountedFrames})
                benchmark::RegisterBenchmark(("FramePath/" + size + "/" + std::to_string(frames)).c_str(), countPath, s.width,
                                             s.height, frames)->Iterations(1)->Repetitions(1);
            benchmark::RegisterBenchmark(("BareDecode/" + size).c_str(), BareDecode, s.width, s.height)
                ->Iterations(kCountedFrames)
                ->Repetitions(1);
        }
        return true;
    }
    for (const FrameSize& s : kSizes) {
        const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
        benchmark::RegisterBenchmark(("FramePath/" + size).c_str(), FramePath, s.width, s.height)
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("PreviewPath/" + size).c_str(), PreviewPath, s.width, s.height)
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BareDecode/" + size).c_str(), BareDecode, s.width, s.height)
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("DecodeCopy/" + size).c_str(), DecodeCopy, s.width, s.height)
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
    }
    // One long run each: they watch a stream for seconds rather than time a step.
    benchmark::RegisterBenchmark("Stream/3840x2160@30fps", Stream4K)
        ->Iterations(1)
        ->Repetitions(1)
        ->UseManualTime()
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("GuiStall/3840x2160", GuiStall4K)
        ->Iterations(1)
        ->Repetitions(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
