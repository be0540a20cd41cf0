// Peak memory of one operation, measured in a forked child so that neither the benchmark
// process's history nor the other operations' leftovers count.
#pragma once

#include <functional>
#include <string>

namespace bench {

// Runs `operation` once in a child process and returns how far its resident set rose above
// where it started (MiB), or a negative value with `error` set. The operation returns an
// empty string on success, else what went wrong.
double PeakExtraMiB(const std::function<std::string()>& operation, std::string& error);

}  // namespace bench
