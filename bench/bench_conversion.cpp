// Conversion paths of the capture layer: motion-JPEG and YUY2 frames to bottom-up
// 32-bit RGB through FrameDecoder, each beside the bare library call on the same frame,
// so the layer's own cost (marker scan, size checks) shows as the difference.

#include "capture/framedecoder.h"
#include "capture/virtual/testpatterngenerator.h"
#include "capture/virtual/virtualcameradescription.h"


#include <benchmark/benchmark.h>
#include <libyuv/convert_argb.h>
#include <turbojpeg.h>

#include <vector>

using namespace dshow;
using capture::FrameDecoder;
using capture::TestPatternGenerator;
using capture::VirtualCameraDescription;

namespace {

// A test-pattern frame as the built-in virtual camera sends it.
std::vector<std::uint8_t> frame(Subtype subtype, int width, int height)
{
    TestPatternGenerator generator;
    const QImage picture = generator.render(QStringLiteral("Benchmark"), VirtualCameraDescription::builtin().controls, 0, 1, width, height);
    std::vector<std::uint8_t> out;
    generator.encode(picture, subtype, out);
    return out;
}

void BM_DecoderMjpg(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto jpeg = frame(MEDIASUBTYPE_MJPG, w, h);
    FrameDecoder decoder;
    decoder.configure(MEDIASUBTYPE_MJPG, w, h);
    for (auto _ : state) {
        const std::uint8_t* out = decoder.decode(jpeg.data(), jpeg.size());
        if (!out)
            state.SkipWithError("frame dropped");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["jpeg_kB"] = static_cast<double>(jpeg.size()) / 1024.0;
}

void BM_TurboJpegMjpg(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto jpeg = frame(MEDIASUBTYPE_MJPG, w, h);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 4);
    tjhandle tj = tjInitDecompress();
    for (auto _ : state) {
        if (tjDecompress2(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), out.data(), w, w * 4, h, TJPF_BGRX,
                          TJFLAG_BOTTOMUP) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    tjDestroy(tj);
    state.SetItemsProcessed(state.iterations());
}

void BM_DecoderYuy2(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto yuy2 = frame(MEDIASUBTYPE_YUY2, w, h);
    FrameDecoder decoder;
    decoder.configure(MEDIASUBTYPE_YUY2, w, h);
    for (auto _ : state) {
        const std::uint8_t* out = decoder.decode(yuy2.data(), yuy2.size());
        if (!out)
            state.SkipWithError("frame dropped");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LibyuvYuy2(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto yuy2 = frame(MEDIASUBTYPE_YUY2, w, h);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 4);
    for (auto _ : state) {
        libyuv::YUY2ToARGB(yuy2.data(), w * 2, out.data(), w * 4, w, -h);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void mjpgSizes(benchmark::internal::Benchmark* b)
{
    b->Args({1280, 720})->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
}

void yuy2Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_DecoderMjpg)->Apply(mjpgSizes);
BENCHMARK(BM_TurboJpegMjpg)->Apply(mjpgSizes);
BENCHMARK(BM_DecoderYuy2)->Apply(yuy2Sizes);
BENCHMARK(BM_LibyuvYuy2)->Apply(yuy2Sizes);
