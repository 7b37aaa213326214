#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// The console report, followed by what the frame-path benchmarks are run for: per
// picture size, the whole path's CPU time per frame beside the bare decode's (the
// target ratio) and beside the decode plus the hand-over's copy (what the path costs
// beyond the work it must do), and the path for a small preview beside the full-size
// decode, each as the ratio of the medians of the repetitions.
// Runs that failed are left out.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& reports) override;
    void Finalize() override;

    // Median CPU time per frame in ms of "FramePath/1280x720" and the like; 0 when
    // the benchmark did not run.
    double medianMs(const std::string& name) const;

private:
    static double median(std::vector<double> values);

    // Per-frame CPU times of every repetition, by benchmark name.
    std::map<std::string, std::vector<double>> m_cpuTimes;
};
