#include "ratioreporter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace {

const std::string kPath = "FramePath/";
const std::string kBare = "BareDecode/";
const std::string kCopy = "DecodeCopy/";
const std::string kPreview = "PreviewPath/";
// With no copy of its own, the whole path may cost this much more than the decode alone.
constexpr double kTarget = 1.10;
// The path for a small preview, against the full-size decode alone.
constexpr double kPreviewTarget = 0.65;

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
        if (startsWith(name, kPath) || startsWith(name, kBare) || startsWith(name, kCopy)
            || startsWith(name, kPreview))
            m_cpuTimes[name].push_back(run.GetAdjustedCPUTime() * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit));
    }
    ConsoleReporter::ReportRuns(reports);
}

double RatioReporter::median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double RatioReporter::medianMs(const std::string& name) const
{
    const auto it = m_cpuTimes.find(name);
    return it == m_cpuTimes.end() ? 0 : median(it->second);
}

void RatioReporter::Finalize()
{
    std::ostream& out = GetOutputStream();
    bool header = false;
    char line[240];
    for (const auto& entry : m_cpuTimes) {
        if (!startsWith(entry.first, kPath))
            continue;
        const std::string size = entry.first.substr(kPath.size());
        const double path = medianMs(entry.first);
        const double bare = medianMs(kBare + size);
        const double copy = medianMs(kCopy + size);
        if (bare <= 0 && copy <= 0)
            continue;
        if (!header) {
            std::snprintf(line, sizeof line,
                          "\nWhole frame path beside the bare decode (target <= %.1f) and beside decode + copy;\n"
                          "medians of the CPU time per frame over %zu runs:\n",
                          kTarget, entry.second.size());
            out << line;
            header = true;
        }
        int n = std::snprintf(line, sizeof line, "  %-10s FramePath %8.3f ms", size.c_str(), path);
        if (bare > 0)
            n += std::snprintf(line + n, sizeof line - n, "  BareDecode %8.3f ms ratio %.2f %-6s", bare, path / bare,
                               path / bare <= kTarget ? "within" : "OVER");
        if (copy > 0)
            std::snprintf(line + n, sizeof line - n, "  DecodeCopy %8.3f ms ratio %.2f", copy, path / copy);
        out << line << '\n';
    }
    for (const auto& entry : m_cpuTimes) {
        const double bare = startsWith(entry.first, kPreview) ? medianMs(kBare + entry.first.substr(kPreview.size())) : 0;
        if (bare <= 0)
            continue;
        const double preview = medianMs(entry.first);
        std::snprintf(line, sizeof line, "  %-10s PreviewPath %8.3f ms  BareDecode %8.3f ms ratio %.2f %s (target <= %.2f)",
                      entry.first.substr(kPreview.size()).c_str(), preview, bare, preview / bare,
                      preview / bare <= kPreviewTarget ? "within" : "OVER", kPreviewTarget);
        out << line << '\n';
    }
    out.flush();
}
