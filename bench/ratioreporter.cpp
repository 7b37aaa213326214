#include "ratioreporter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace {

const std::string kPath = "FramePath/";
const std::string kBare = "BareDecode/";
// The whole path may cost this much more than the decode alone.
constexpr double kTarget = 1.3;

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& reports)
{
    for (const Run& run : reports) {
        const std::string& name = run.run_name.function_name;
        if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0)
            continue;
        if (startsWith(name, kPath) || startsWith(name, kBare))
            m_cpuTimes[name].push_back(run.GetAdjustedCPUTime() * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit));
    }
    ConsoleReporter::ReportRuns(reports);
}

double RatioReporter::median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::map<std::string, double> RatioReporter::ratios() const
{
    std::map<std::string, double> result;
    for (const auto& [name, times] : m_cpuTimes) {
        if (!startsWith(name, kPath))
            continue;
        const auto bare = m_cpuTimes.find(kBare + name.substr(kPath.size()));
        if (bare == m_cpuTimes.end())
            continue;
        const double bareMedian = median(bare->second);
        if (bareMedian > 0)
            result[name] = median(times) / bareMedian;
    }
    return result;
}

void RatioReporter::Finalize()
{
    const auto all = ratios();
    if (all.empty())
        return;
    std::ostream& out = GetOutputStream();
    char line[200];
    std::snprintf(line, sizeof line, "\nWhole frame path / bare decode, CPU time per frame (medians; target <= %.1f):\n",
                  kTarget);
    out << line;
    for (const auto& [name, ratio] : all) {
        const std::string size = name.substr(kPath.size());
        const auto& path = m_cpuTimes.at(name);
        const auto& bare = m_cpuTimes.at(kBare + size);
        std::snprintf(line, sizeof line, "  %-10s FramePath %8.3f ms  BareDecode %8.3f ms  (%zu and %zu runs)  ratio %.2f %s\n",
                      size.c_str(), median(path), median(bare), path.size(), bare.size(), ratio,
                      ratio <= kTarget ? "within" : "OVER");
        out << line;
    }
    out.flush();
}
