#include "ratio_report.h"

#include <algorithm>

namespace bench {
namespace {

double ToMs(double value, benchmark::TimeUnit unit) {
    return value * 1e3 / benchmark::GetTimeUnitMultiplier(unit);
}

// "<case>/<library>" split at the last "/".
bool SplitName(const std::string& name, std::string& caseName, std::string& library) {
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos) return false;
    caseName = name.substr(0, slash);
    library = name.substr(slash + 1);
    return true;
}

std::string Memory(const std::map<std::string, double>& peakMiB, const std::string& name) {
    const auto it = peakMiB.find(name);
    if (it == peakMiB.end() || it->second < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", it->second);
    return text;
}

}  // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration) continue;  // means are taken here, over repetitions
        const std::string name = run.run_name.str();
        auto [it, added] = timings_.try_emplace(name);
        if (added) order_.push_back(name);
        Timing& t = it->second;
        if (run.error_occurred) {
            t.error = run.error_message;
            continue;
        }
        t.cpuMs += ToMs(run.GetAdjustedCPUTime(), run.time_unit);
        t.realMs += ToMs(run.GetAdjustedRealTime(), run.time_unit);
        ++t.repetitions;
    }
    ConsoleReporter::ReportRuns(runs);
}

const RatioReporter::Timing* RatioReporter::Find(const std::string& name) const {
    const auto it = timings_.find(name);
    return it == timings_.end() ? nullptr : &it->second;
}

void RatioReporter::PrintRatios(std::FILE* out, const std::string& base,
                                const std::map<std::string, double>& peakMiB,
                                const std::vector<std::string>& order) const {
    std::vector<std::string> names;
    for (const std::string& name : order)
        if (timings_.count(name)) names.push_back(name);
    for (const std::string& name : order_)
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    auto ours = [&](const std::string& library) {
        return library == base || library.rfind(base + ".", 0) == 0;
    };
    std::fprintf(out, "\nMean CPU time per decode; ratio = %s / peer (< 1.0: %s is faster).\n",
                 base.c_str(), base.c_str());
    std::fprintf(
        out, "Peak MiB: extra resident memory at the peak of one decode, in a fresh child.\n\n");
    std::fprintf(out, "%-26s %-14s %-14s %9s %9s %7s %9s %9s\n", "case", base.c_str(), "peer", "ms",
                 "peer ms", "ratio", "peak MiB", "peer MiB");
    for (const std::string& name : names) {
        std::string caseName, library;
        if (!SplitName(name, caseName, library) || !ours(library)) continue;
        const Timing& own = timings_.at(name);
        for (const std::string& other : names) {
            std::string otherCase, peer;
            if (!SplitName(other, otherCase, peer) || otherCase != caseName || ours(peer)) continue;
            const Timing& theirs = timings_.at(other);
            if (!own.error.empty() || !theirs.error.empty() || !own.repetitions ||
                !theirs.repetitions) {
                const std::string& why = own.error.empty() ? theirs.error : own.error;
                std::fprintf(out, "%-26s %-14s %-14s failed: %s\n", caseName.c_str(),
                             library.c_str(), peer.c_str(), why.c_str());
                continue;
            }
            const double ratio = theirs.cpuMean() > 0 ? own.cpuMean() / theirs.cpuMean() : 0;
            std::fprintf(out, "%-26s %-14s %-14s %9.2f %9.2f %7.3f %9s %9s\n", caseName.c_str(),
                         library.c_str(), peer.c_str(), own.cpuMean(), theirs.cpuMean(), ratio,
                         Memory(peakMiB, name).c_str(), Memory(peakMiB, other).c_str());
        }
    }
}

}  // namespace bench
