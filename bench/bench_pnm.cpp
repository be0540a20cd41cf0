// Portable anymap decode speed: Lumora's loader against stb_image (in-process) and netpbm (as a
// whole process) on the same 4000 x 3000 binary pixmap (P6) and greymap (P5).
//
// "lumora" is the whole load: dispatch, the file mapped, the reader, and BuildDib into a DIB
// section on the display DC, after which the bitmap is deleted; "lumora.reader" is the reader
// alone over the mapped file. stb_image decodes into its own RGB or grey buffer, top-down as the
// file has it, or turned over into a bitmap's bottom-up row order ("stb_bottom_up", the
// rows Lumora makes). The files are written a row at a time, so the page cache holds them in
// 4 KiB pages, as it does files read back from disk here. "netpbm" runs
// `pamtopnm < file > /dev/null` through the shell, so it includes starting the process: its
// rows compare wall-clock times, in a table of their own.
//
// Options besides Google Benchmark's: --divisor=N shrinks both sides by N (for profiling).

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cases.h"
#include "decode/loader.h"
#include "decode/readers.h"
#include "peers.h"
#include "platform/os/file_map.h"
#include "platform/gdi/gdi.h"
#include "ratio_report.h"

namespace {

constexpr char kLumora[] = "lumora";

using bench::Case;

// A smooth gradient with noise from a fixed random state, channels picture rows.
std::string WritePnm(const std::string& path, int width, int height, int channels) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return "cannot write " + path;
    std::fprintf(f, "P%d\n%d %d\n255\n", channels == 3 ? 6 : 5, width, height);
    std::mt19937 random(7);
    std::vector<uint8_t> row(static_cast<size_t>(width) * channels);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                row[static_cast<size_t>(x) * channels + c] = static_cast<uint8_t>(
                    (x * 255 / width + y * 255 / height * c + (random() & 15)) & 0xFF);
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0 ? "" : "cannot finish " + path;
}

std::string NetpbmProcess(const std::string& path) {
    const std::string command = "pamtopnm < '" + path + "' > /dev/null";
    return std::system(command.c_str()) == 0 ? "" : "pamtopnm failed";
}

}  // namespace

int main(int argc, char** argv) {
    const int divisor = bench::TakeOwnOptions(argc, argv).divisor;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const int width = 4000 / divisor, height = 3000 / divisor;
    const auto dir =
        std::filesystem::temp_directory_path() / ("lumora_bench_pnm_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string p6 = (dir / "photo.ppm").string();
    const std::string p5 = (dir / "photo.pgm").string();
    for (const auto& [path, channels] : {std::pair{p6, 3}, std::pair{p5, 1}}) {
        if (std::string error = WritePnm(path, width, height, channels); !error.empty()) {
            std::fprintf(stderr, "bench_pnm: %s\n", error.c_str());
            std::filesystem::remove_all(dir);
            return 1;
        }
    }
    const bool haveNetpbm = std::system("command -v pamtopnm > /dev/null 2>&1") == 0;

    const HDC dc = platform::GetDC(0);
    const int64_t pixels = int64_t{width} * height;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::vector<Case> cases;
    for (const auto& [prefix, path] : {std::pair{"p6_", p6}, std::pair{"p5_", p5}}) {
        const std::string name = prefix + size;
        cases.push_back(
            {name + "/" + kLumora, pixels, [p = path, dc] { return bench::LumoraLoad(p, dc); }});
        cases.push_back({name + "/lumora.reader", pixels,
                         [p = path] { return bench::LumoraReaderOnly(p, decode::ReadPnm); }});
        cases.push_back({name + "/stb_image", pixels, [p = path] { return bench::StbLoad(p); }});
        cases.push_back({name + "/stb_bottom_up", pixels,
                         [p = path] { return bench::StbLoad(p, true); }});
        if (haveNetpbm)
            cases.push_back({name + "/netpbm", pixels, [p = path] { return NetpbmProcess(p); }});
    }
    // The netpbm rows run a child process: this process's CPU time says nothing of them, so they
    // are timed (and their iterations chosen) by the wall clock.
    auto isProcess = [](const Case& c) { return c.name.find("/netpbm") != std::string::npos; };
    for (const Case& c : cases)
        bench::RegisterCase(c, isProcess(c));
    bench::RatioReporter reporter(isatty(STDOUT_FILENO) ? bench::RatioReporter::OO_ColorTabular
                                                        : bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // CPU time, in-process peers only.
    std::vector<std::string> order;
    for (const Case& c : cases)
        if (!isProcess(c)) order.push_back(c.name);
    reporter.PrintRatios(stdout, kLumora, {}, order);

    // Wall-clock time against every peer, the netpbm process included.
    std::printf("\nwall-clock ratios (lumora / peer; below 1: lumora is faster)\n");
    for (const Case& c : cases) {
        const std::string caseName = c.name.substr(0, c.name.find('/'));
        const std::string library = c.name.substr(c.name.find('/') + 1);
        if (library.rfind(kLumora, 0) == 0) continue;
        const auto* own = reporter.Find(caseName + "/" + kLumora);
        const auto* peer = reporter.Find(isProcess(c) ? c.name + "/real_time" : c.name);
        if (!own || !peer || peer->realMean() <= 0) continue;
        std::printf("  %-16s lumora %8.2f ms  %-14s %8.2f ms  ratio %.2f\n", caseName.c_str(),
                    own->realMean(), library.c_str(), peer->realMean(),
                    own->realMean() / peer->realMean());
    }

    platform::ReleaseDC(0, dc);
    std::filesystem::remove_all(dir);
    benchmark::Shutdown();
    return 0;
}
