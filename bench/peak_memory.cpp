#include "peak_memory.h"

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace bench {
namespace {

// A line "Name:   1234 kB" of /proc/self/status, in KiB; -1 when absent.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t len = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, len, field) == 0 && line.size() > len && line[len] == ':')
            return std::stol(line.substr(len + 1));
    return -1;
}

struct ChildReport {
    double mib = -1;
    char error[240] = {};
};

}  // namespace

double PeakExtraMiB(const std::function<std::string()>& operation, std::string& error) {
    int fds[2];
    if (pipe(fds) != 0) {
        error = "pipe failed";
        return -1;
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        error = "fork failed";
        return -1;
    }
    if (pid == 0) {
        close(fds[0]);
        // Large blocks straight from and back to the system, as in a fresh process, so memory
        // freed by earlier work in the parent is not silently reused.
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
        malloc_trim(0);
        ChildReport report;
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";  // resets the peak resident set to the current one
        clear.close();
        const long before = StatusKiB("VmRSS");
        const std::string failure = operation();
        const long peak = StatusKiB("VmHWM");
        if (!failure.empty())
            std::snprintf(report.error, sizeof report.error, "%s", failure.c_str());
        else if (before < 0 || peak < 0)
            std::snprintf(report.error, sizeof report.error, "no VmRSS/VmHWM in /proc/self/status");
        else
            report.mib = static_cast<double>(peak - before) / 1024.0;
        const ssize_t written = write(fds[1], &report, sizeof report);
        _exit(written == static_cast<ssize_t>(sizeof report) ? 0 : 1);
    }
    close(fds[1]);
    ChildReport report;
    const ssize_t got = read(fds[0], &report, sizeof report);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != static_cast<ssize_t>(sizeof report)) {
        error = "the measuring child ended without a report";
        return -1;
    }
    report.error[sizeof report.error - 1] = '\0';
    error = report.error;
    return error.empty() ? report.mib : -1;
}

}  // namespace bench
