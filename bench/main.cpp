// The benchmark program's entry point. A GUI application object exists (offscreen
// unless a platform is chosen) because test pictures are drawn with fonts; benchmark
// files define benchmarks only.
//
// Unless told otherwise, every benchmark runs five repetitions in random order: on a
// shared machine the speed drifts by tens of percent within a minute, and comparing
// two benchmarks measured minutes apart would compare the drift.

#include "ratioreporter.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

bool given(const std::vector<char*>& args, const char* flag)
{
    for (const char* arg : args)
        if (std::strncmp(arg, flag, std::strlen(flag)) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=5";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    if (!given(args, "--benchmark_repetitions"))
        args.push_back(repetitions);
    if (!given(args, "--benchmark_enable_random_interleaving"))
        args.push_back(interleaving);
    // The ratios are printed beneath the console table; another format gets the
    // library's own reporter.
    const bool console = !given(args, "--benchmark_format") || given(args, "--benchmark_format=console");
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    if (console) {
        RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                     : benchmark::ConsoleReporter::OO_None);
        benchmark::RunSpecifiedBenchmarks(&reporter);
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
