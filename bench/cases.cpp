#include "cases.h"

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace bench {

void RegisterCase(const Case& c, bool realTime) {
    auto* b = benchmark::RegisterBenchmark(c.name.c_str(), [&c](benchmark::State& state) {
        for (auto _ : state) {
            const std::string error = c.run();
            if (!error.empty()) {
                state.SkipWithError(error.c_str());
                break;
            }
        }
        state.SetItemsProcessed(state.iterations() * c.pixels);
    });
    b->Unit(benchmark::kMillisecond);
    if (realTime) b->UseRealTime();
}

void RegisterCases(const std::vector<Case>& cases, bool realTime) {
    for (const Case& c : cases)
        RegisterCase(c, realTime);
}

OwnOptions TakeOwnOptions(int& argc, char** argv) {
    OwnOptions options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--divisor=", 10) == 0)
            options.divisor = std::max(1, std::atoi(argv[i] + 10));
        else if (std::strncmp(argv[i], "--depth=", 8) == 0)
            options.depth = std::atoi(argv[i] + 8);
        else if (std::strcmp(argv[i], "--no-memory") == 0)
            options.memory = false;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return options;
}

std::string RunProcess(const std::string& command, int allowedStatus) {
    const std::string line = command + " >/dev/null 2>&1";
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return "cannot start " + command;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != allowedStatus))
        return "failed: " + command;
    return "";
}

}  // namespace bench
