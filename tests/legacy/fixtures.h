// What the legacy-format tests share: a source picture to feed the tools that write these
// formats, and loading a written file next to an independent decoder's reading of it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace legacytest {

using Bytes = std::vector<uint8_t>;

inline const std::filesystem::path kTestData = testsupport::TestData();

// A binary pixmap (P6, maxval 255) of width x height whose colours are drawn from `colours`
// distinct values, in a pattern that differs on every row and column, so a row or bit-order
// fault shows.
inline Bytes SourcePpm(int width, int height, int colours) {
    const std::string head =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    Bytes out(head.begin(), head.end());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int c = (x * 7 + y * 3 + (x * y) % 5) % colours;
            out.push_back(static_cast<uint8_t>((c * 97) % 256));
            out.push_back(static_cast<uint8_t>((c * 59 + 31) % 256));
            out.push_back(static_cast<uint8_t>(255 - (c * 17) % 256));
        }
    return out;
}

// A P4 bitmap of the same kind: bit set where the pattern is odd.
inline Bytes SourcePbm(int width, int height) {
    const std::string head = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
    Bytes out(head.begin(), head.end());
    const int rowBytes = (width + 7) / 8;
    for (int y = 0; y < height; ++y) {
        Bytes row(rowBytes);
        for (int x = 0; x < width; ++x)
            if ((x * 5 + y * 3 + (x / 7) * (y / 5)) % 3 == 0) row[x / 8] |= 0x80 >> (x % 8);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// Runs a shell command; true when it succeeded.
inline bool Shell(const std::string& command) {
    return oracle::RunCommand("( " + command + " ) >/dev/null").has_value();
}

// The first picture a PNM-writing command gives, or an empty picture.
inline oracle::RgbImage Oracle(const std::string& command) {
    auto pictures = oracle::RunPnmCommand(command);
    return pictures.empty() ? oracle::RgbImage{} : pictures.front();
}

// The pictures of a public test folder (files named .<folder>), sorted; empty when the folder
// is absent.
inline std::vector<std::filesystem::path> SampleFiles(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(kTestData / folder, ec))
        if (e.is_regular_file() && e.path().extension() == "." + folder) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// A load either succeeds or fails with a code of the loader's table.
inline bool IsLoaderCode(int32_t rc) {
    return rc == 0 || (rc <= decode::kCouldNotOpen && rc >= decode::kNoDicomModule);
}

}  // namespace legacytest
