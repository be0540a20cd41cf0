// Photo CD decode speed and memory: Lumora against ImageMagick on the same layered pack, at
// 3072 x 2048 (size 4, both residual layers) and 768 x 512 (size 2, the base image).
//
// The pack is written by the test suite's pack writer: a smooth base image with noise and both
// residual layers fully coded. ImageMagick has no library interface installed here, so it runs
// as a whole process ("convert 'pack.pcd[5]' ppm:/dev/null", scene 5 being 3072 x 2048 and
// scene 3 768 x 512); its times include starting the process and writing the PPM to
// /dev/null. To compare like with like, Lumora runs the same way too ("lumora decode", which
// loads through the loader and builds the DIB), besides the in-process rows: "lumora" (the
// whole load: reader and BuildDib) and "lumora.reader" (the reader alone over the mapped file).
// All times are wall-clock (processes do not show in this process's CPU time), so the cases run
// with UseRealTime and Google Benchmark names them "<case>/<library>/real_time". Peak memory is
// the rise of the resident set for one decode in process, and for processes their maximum
// resident set as GNU time reports it.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "../tests/photocd/pack_writer.h"
#include "cases.h"
#include "decode/loader.h"
#include "decode/readers.h"
#include "peak_memory.h"
#include "peers.h"
#include "platform/os/file_map.h"
#include "platform/gdi/gdi.h"
#include "ratio_report.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The layers added to a pack of base images: residuals of every table value, mostly small.
pcdpack::Bytes AddResidualLayers(pcdpack::Bytes basePack) {
    std::mt19937 rng(42);
    auto residuals = [&rng](uint32_t n) {
        static const int common[] = {0, 0, 0, 0, 1, -1, 1, -1, 2, -2, 5, -5};
        std::vector<int> r(n);
        for (int& v : r)
            v = common[rng() % 12];
        return r;
    };
    std::vector<pcdpack::Line> layer1, layer2;
    for (int n = 0; n < 1024; ++n)
        layer1.push_back({0, n, residuals(1536), {}});
    for (int n = 0; n < 2048; ++n)
        layer2.push_back({0, n, residuals(3072), {}});
    for (int n = 0; n < 2048; n += 2) {
        layer2.push_back({2, n, residuals(1536), {}});
        layer2.push_back({3, n, residuals(1536), {}});
    }
    const auto t = pcdpack::SmallTable();
    return pcdpack::AddLayers(std::move(basePack), t, layer1, {t, t, t}, layer2).bytes;
}

// A 768 x 512 picture with gradients and noise as PPM, for ImageMagick to write as a pack: its
// reader wants the pack header that its writer puts there.
bool WriteSourcePicture(const std::string& path) {
    std::mt19937 rng(7);
    std::string ppm = "P6\n768 512\n255\n";
    for (uint32_t y = 0; y < 512; ++y)
        for (uint32_t x = 0; x < 768; ++x) {
            ppm.push_back(static_cast<char>(x / 3 + rng() % 16));
            ppm.push_back(static_cast<char>(y / 2 + rng() % 16));
            ppm.push_back(static_cast<char>((x + y) / 5 + rng() % 16));
        }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(ppm.data(), 1, ppm.size(), f) == ppm.size();
    return std::fclose(f) == 0 && ok;
}

pcdpack::Bytes ReadFile(const std::string& path) {
    pcdpack::Bytes bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

// The maximum resident set of a command, through GNU time: a process started from this one
// would report this process's own peak (Linux keeps it across exec), one that time forks does
// not. Negative when it cannot be measured.
double ProcessPeakMiB(const std::string& command, int allowedStatus, const fs::path& dir) {
    const std::string report = (dir / "time.txt").string();
    std::string quoted = "'";
    for (char c : command)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    if (!bench::RunProcess("/usr/bin/time -f %M -o " + report + " sh -c " + quoted, allowedStatus)
             .empty())
        return -1;
    std::FILE* f = std::fopen(report.c_str(), "r");
    if (!f) return -1;
    char text[256];
    long kib = -1;
    while (std::fgets(text, sizeof text, f))  // a "Command exited with ..." line may come first
        kib = std::strtol(text, nullptr, 10);
    std::fclose(f);
    return kib > 0 ? kib / 1024.0 : -1;
}

decode::LoadOptions PhotoCdOptions(int size) {
    decode::LoadOptions options;
    options.pcdSize = size;
    return options;
}

// A case, and for a process its command line: its memory is measured by GNU time instead of a
// forked probe.
struct Case : bench::Case {
    std::string command;
    int allowedStatus = 0;
};

}  // namespace

int main(int argc, char** argv) {
    setenv("LUMORA_CODEC_PATH", LUMORA_CODEC_DIR, 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const fs::path dir =
        fs::temp_directory_path() / ("lumora_bench_pcd_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string pack = (dir / "layered.pcd").string();
    {
        const std::string source = (dir / "source.ppm").string(),
                          base = (dir / "base.pcd").string();
        if (!WriteSourcePicture(source) ||
            !bench::RunProcess("convert " + source + " pcd:" + base).empty()) {
            std::fprintf(stderr, "bench_photocd: ImageMagick cannot write the base pack\n");
            return 1;
        }
        const pcdpack::Bytes bytes = AddResidualLayers(ReadFile(base));
        std::FILE* f = std::fopen(pack.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
        std::fclose(f);
        std::printf("pack %s: %zu bytes\n", pack.c_str(), bytes.size());
    }
    const std::string cli =
        (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "lumora").string();
    const bool haveCli = fs::exists(cli);
    const HDC dc = platform::GetDC(0);

    std::vector<Case> cases;
    for (const auto& [size, scene, label] :
         {std::tuple{4, 5, "pcd_size4_3072x2048"}, std::tuple{2, 3, "pcd_size2_768x512"}}) {
        const int64_t pixels = size == 4 ? 3072 * 2048 : 768 * 512;
        const std::string l = label;
        cases.push_back({l + "/lumora", pixels,
                         [=] { return bench::LumoraLoad(pack, dc, PhotoCdOptions(size)); }, ""});
        cases.push_back({l + "/lumora.reader", pixels,
                         [=] {
                             return bench::LumoraReaderOnly(pack, decode::ReadPhotoCd,
                                                            PhotoCdOptions(size));
                         },
                         ""});
        if (haveCli) {
            const std::string cmd = cli + " decode " + pack + " --pcd-size " + std::to_string(size);
            cases.push_back(
                {l + "/lumora.process", pixels, [cmd] { return bench::RunProcess(cmd); }, cmd});
        }
        // At scene 5 ImageMagick stops inside the large layer of this pack with "corrupt image"
        // and exit status 1: its time there is that of a partial decode, a lower bound.
        const std::string im =
            "convert '" + pack + "[" + std::to_string(scene) + "]' ppm:/dev/null";
        const int allowed = size == 4 ? 1 : 0;
        cases.push_back({l + "/imagemagick.process", pixels,
                         [im, allowed] { return bench::RunProcess(im, allowed); }, im, allowed});
    }
    for (const Case& c : cases)
        bench::RegisterCase(c, true);
    bench::RatioReporter reporter(bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::map<std::string, double> peak;
    for (const Case& c : cases) {
        if (!reporter.Find(c.name + "/real_time")) continue;
        std::string failure;
        peak[c.name] = c.command.empty() ? bench::PeakExtraMiB(c.run, failure)
                                         : ProcessPeakMiB(c.command, c.allowedStatus, dir);
    }
    std::printf(
        "\nMean wall time per decode; ratio = lumora row / imagemagick.process "
        "(< 1.0: faster). Peak: resident-set rise in process, max RSS for processes.\n");
    std::printf("%-24s %-22s %10s %10s %8s %10s\n", "case", "lumora", "ms", "IM ms", "ratio",
                "peak MiB");
    for (const Case& c : cases) {
        const auto slash = c.name.find('/');
        const std::string label = c.name.substr(0, slash), library = c.name.substr(slash + 1);
        const auto* own = reporter.Find(c.name + "/real_time");
        const auto* im = reporter.Find(label + "/imagemagick.process/real_time");
        if (!own || !im || !own->error.empty() || !im->error.empty()) continue;
        std::printf("%-24s %-22s %10.2f %10.2f %8.3f %10.1f\n", label.c_str(), library.c_str(),
                    own->realMean(), im->realMean(), own->realMean() / im->realMean(),
                    peak[c.name]);
    }

    platform::ReleaseDC(0, dc);
    fs::remove_all(dir);
    benchmark::Shutdown();
    return 0;
}
