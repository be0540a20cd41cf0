// What the benchmark programs share: cases named "<case>/<library>" that each run one decode
// and report what went wrong, their registration, the programs' own options, a fixed noise
// source for generated pictures and child processes for peers that only exist as programs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Case {
    std::string name;                  // "<case>/<library>"
    int64_t pixels;                    // decoded per call, for the items-per-second column
    std::function<std::string()> run;  // empty string on success, else the failure
};

// Registers a case in milliseconds; a failing run stops it with its message. realTime: timed by
// the wall clock too (Google Benchmark then names it "<name>/real_time"), for cases whose work
// happens in child processes. The case must outlive the benchmark run.
void RegisterCase(const Case& c, bool realTime = false);
void RegisterCases(const std::vector<Case>& cases, bool realTime = false);

// The options every program takes before Google Benchmark sees the rest: --divisor=N shrinks
// every picture side by N (for profiling), --no-memory skips the peak-memory probes.
struct OwnOptions {
    int divisor = 1;
    bool memory = true;
    int depth = 0;  // --depth=N: the display's bits per pixel (0: the platform's default)
};
OwnOptions TakeOwnOptions(int& argc, char** argv);

// xorshift32 from a fixed state: the same grain on every run and machine.
class Noise {
  public:
    explicit Noise(uint32_t state = 2463534242u) : state_(state) {}
    // A value in [-amplitude, amplitude].
    int Next(int amplitude) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<int>(state_ % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
    }

  private:
    uint32_t state_;
};

// Runs a command line through /bin/sh with its output and errors discarded; empty on success.
// Exit statuses other than 0 and allowedStatus are failures.
std::string RunProcess(const std::string& command, int allowedStatus = 0);

}  // namespace bench
