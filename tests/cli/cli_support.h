// Runs the lumora command as a user's script would and reads back what it wrote.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace cli_test {

namespace fs = std::filesystem;
using testsupport::SamplePath;

struct Result {
    int status;
    std::string out;
};

// One folder for the test program's files, removed when the program ends.
inline fs::path TempDir() {
    static const testsupport::TempDir dir;
    return dir.dir;
}

// Output of a shell command; its exit status when asked for.
inline std::string Shell(const std::string& cmd, int* status = nullptr) {
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    const int raw = pclose(p);
    if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// Runs the command; standard error is joined to standard output unless discarded.
inline Result Lumora(const std::string& args, bool withErrors = true) {
    Result r{};
    r.out = Shell(testsupport::BinaryDir().string() + "/lumora " + args +
                      (withErrors ? " 2>&1" : " 2>/dev/null"),
                  &r.status);
    return r;
}

// Writes the script text to a file and runs it.
inline Result RunScript(const std::string& script, const std::string& options = "",
                        bool withErrors = true) {
    static int count = 0;
    const fs::path file = TempDir() / ("script" + std::to_string(++count) + ".bas");
    std::ofstream(file, std::ios::binary) << script;
    return Lumora("run " + options + " " + file.string(), withErrors);
}

inline std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ImageMagick's count of pixels that differ between two pictures ("0" when they are equal).
inline std::string DifferentPixels(const std::string& a, const std::string& b) {
    return Shell("compare -metric AE '" + a + "' '" + b + "' null: 2>&1");
}

// Width and height of a picture file as ImageMagick reads it; zeros when it cannot.
inline std::pair<int, int> PictureSize(const fs::path& file) {
    const auto frames = oracle::ImageMagickFrames(file.string());
    return frames.empty() ? std::pair{0, 0} : std::pair{frames[0].width, frames[0].height};
}

}  // namespace cli_test
