// Runs a shell command and keeps its exit status and combined output; reads a file whole.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace embed_test {

struct Result {
    int status = -1;
    std::string output;
};

inline Result Shell(const std::string& command) {
    Result result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
        result.output.append(buffer.data(), n);
    result.status = pclose(pipe.release());
    return result;
}

inline std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

}  // namespace embed_test
