#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// The console report, followed by what the frame-path benchmarks are run for: the
// whole path's CPU time per frame beside the bare decode's, per picture size, as the
// ratio of the medians of their repetitions. Runs that failed are left out.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& reports) override;
    void Finalize() override;

    // "FramePath/1280x720" → 1.21 (median FramePath ÷ median BareDecode, CPU time);
    // sizes that lack either side are absent.
    std::map<std::string, double> ratios() const;

private:
    static double median(std::vector<double> values);

    // Per-frame CPU times of every repetition, by benchmark name.
    std::map<std::string, std::vector<double>> m_cpuTimes;
};
