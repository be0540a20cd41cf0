// Side-by-side reporting for benchmarks named "<case>/<library>": the console output as usual,
// then one table row per case and peer with the mean times, their ratio and the peak memory.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    struct Timing {
        double cpuMs = 0;  // sum over repetitions
        double realMs = 0;
        int repetitions = 0;
        std::string error;
        double cpuMean() const { return repetitions ? cpuMs / repetitions : 0; }
        double realMean() const { return repetitions ? realMs / repetitions : 0; }
    };

    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& runs) override;

    // Benchmark names in the order they ran.
    const std::vector<std::string>& names() const { return order_; }
    const Timing* Find(const std::string& name) const;

    // For every case that ran with `base` (or a variant of it named "<base>.<part>"), one row
    // per peer library: the mean CPU time of each and their ratio (below 1 means `base` is
    // faster). peakMiB, by benchmark name, adds the extra peak resident memory of one decode
    // where it was measured.
    // Rows follow `order` (benchmark names), then the order in which the rest ran.
    void PrintRatios(std::FILE* out, const std::string& base,
                     const std::map<std::string, double>& peakMiB,
                     const std::vector<std::string>& order) const;

  private:
    std::map<std::string, Timing> timings_;
    std::vector<std::string> order_;
};

}  // namespace bench
