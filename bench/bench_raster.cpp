// Decode speed of the PCX, TGA and Sun raster readers against their peers on the same files.
//
// Every case starts from a file path and ends with the pixels in memory. Lumora's path is the
// whole load: dispatch, reader and BuildDib into a DIB section on the display DC (32 bits),
// after which the bitmap and palette are deleted; "lumora.reader" is the reader alone over the
// mapped file. The peers:
// - stb_image (`stbi_load`, in this process) where it reads the format: TGA.
// - the netpbm converter of the format (pcxtoppm, tgatoppm, rasttopnm) run as a whole process
//   with its output sent to /dev/null. Its figure is the wall time of the process (start-up,
//   decode and writing the PPM stream), measured as such; Lumora's wall time is set against it.
//
// Options besides Google Benchmark's: --divisor=N shrinks every picture side by N (for
// profiling runs).

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
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
constexpr char kLumoraReader[] = "lumora.reader";
constexpr char kStb[] = "stb_image";
constexpr char kNetpbm[] = "netpbm";

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------------
// The pictures

uint8_t Clamp(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// A photo-like picture, red first: red across, green down, blue in waves, a little grain, and
// flat bands (a quarter of the rows) where run-length coders find runs.
Bytes MakeRgb(int w, int h) {
    Bytes rgb(static_cast<size_t>(w) * h * 3);
    bench::Noise noise;
    for (int y = 0; y < h; ++y) {
        const bool flat = (y / 16) % 4 == 0;
        for (int x = 0; x < w; ++x) {
            uint8_t* p = rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
            if (flat) {
                p[0] = p[1] = p[2] = static_cast<uint8_t>(x / 500 * 30);
                continue;
            }
            const double wave = std::sin(x / 97.0) * std::cos(y / 61.0);
            p[0] = Clamp(255 * x / std::max(1, w - 1) + noise.Next(3));
            p[1] = Clamp(255 * y / std::max(1, h - 1) + noise.Next(3));
            p[2] = Clamp(128 + static_cast<int>(100 * wave) + noise.Next(3));
        }
    }
    return rgb;
}

// 256 colours: indexes in diagonal bands with some scatter, and a palette of varied colours.
Bytes MakeIndexes(int w, int h) {
    Bytes index(static_cast<size_t>(w) * h);
    bench::Noise noise;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            index[static_cast<size_t>(y) * w + x] =
                static_cast<uint8_t>((x / 24 + y / 24) + (noise.Next(8) > 6 ? noise.Next(40) : 0));
    return index;
}

void PutLe16(Bytes& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void PutBe32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((v >> shift) & 0xFF);
}

// PCX run-length coding of one scan line.
void EncodePcxLine(const uint8_t* line, size_t n, Bytes& out) {
    for (size_t i = 0; i < n;) {
        size_t run = 1;
        while (i + run < n && line[i + run] == line[i] && run < 63)
            ++run;
        if (run > 1 || line[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
        out.push_back(line[i]);
        i += run;
    }
}

Bytes PcxHeader(int w, int h, int planes) {
    Bytes out = {0x0A, 5, 1, 8};
    for (unsigned v : {0u, 0u, unsigned(w - 1), unsigned(h - 1), 72u, 72u})
        PutLe16(out, v);
    out.resize(65, 0);
    out.push_back(static_cast<uint8_t>(planes));
    PutLe16(out, static_cast<unsigned>(w + (w & 1)));  // even bytes per line
    out.resize(128, 0);
    return out;
}

Bytes WritePcx8(int w, int h, const Bytes& index) {
    Bytes out = PcxHeader(w, h, 1);
    const size_t bpl = static_cast<size_t>(w + (w & 1));
    Bytes line(bpl, 0);
    for (int y = 0; y < h; ++y) {
        std::memcpy(line.data(), index.data() + static_cast<size_t>(y) * w, w);
        EncodePcxLine(line.data(), bpl, out);
    }
    out.push_back(0x0C);
    for (int i = 0; i < 256; ++i)
        out.insert(out.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    return out;
}

Bytes WritePcx24(int w, int h, const Bytes& rgb) {
    Bytes out = PcxHeader(w, h, 3);
    const size_t bpl = static_cast<size_t>(w + (w & 1));
    Bytes line(bpl * 3, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                line[c * bpl + x] = rgb[(static_cast<size_t>(y) * w + x) * 3 + c];
        EncodePcxLine(line.data(), line.size(), out);
    }
    return out;
}

// TGA, 24 bits, bottom-up, raw or with run-length packets (which may cross rows).
Bytes WriteTga24(int w, int h, const Bytes& rgb, bool rle) {
    Bytes out = {0, 0, static_cast<uint8_t>(rle ? 10 : 2)};
    out.resize(12, 0);
    PutLe16(out, static_cast<unsigned>(w));
    PutLe16(out, static_cast<unsigned>(h));
    out.push_back(24);
    out.push_back(0);
    const size_t n = static_cast<size_t>(w) * h;
    Bytes bgr(n * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = rgb.data() + (static_cast<size_t>(h - 1 - y) * w + x) * 3;
            uint8_t* d = bgr.data() + (static_cast<size_t>(y) * w + x) * 3;
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    if (!rle) {
        out.insert(out.end(), bgr.begin(), bgr.end());
        return out;
    }
    auto same = [&](size_t a, size_t b) { return std::memcmp(&bgr[a * 3], &bgr[b * 3], 3) == 0; };
    for (size_t i = 0; i < n;) {
        size_t run = 1;
        while (i + run < n && run < 128 && same(i, i + run))
            ++run;
        if (run > 1) {
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), &bgr[i * 3], &bgr[i * 3] + 3);
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < n && raw < 128 && !(i + raw + 1 < n && same(i + raw, i + raw + 1)))
            ++raw;
        out.push_back(static_cast<uint8_t>(raw - 1));
        out.insert(out.end(), &bgr[i * 3], &bgr[(i + raw) * 3]);
        i += raw;
    }
    return out;
}

// Sun raster, 24 bits, standard type (blue, green, red), rows padded to even lengths.
Bytes WriteRas24(int w, int h, const Bytes& rgb) {
    Bytes out;
    const size_t row = (static_cast<size_t>(w) * 3 + 1) & ~size_t{1};
    for (uint32_t v : {0x59A66A95u, uint32_t(w), uint32_t(h), 24u, uint32_t(row * h), 1u, 0u, 0u})
        PutBe32(out, v);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
            out.insert(out.end(), {s[2], s[1], s[0]});
        }
        if (w & 1) out.push_back(0);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// The cases

struct Fixture {
    std::string name;
    std::string path;
    decode::ReaderFn reader;
    std::string netpbmTool;
    bool stb;
};

using bench::Case;

// CPU time (user and system) of the finished child processes, in ms.
double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The CPU time the converter processes of each case took, summed over all their runs: on a
// loaded machine it tells more than their wall time, which is reported as well.
struct ChildCpu {
    double ms = 0;
    int64_t runs = 0;
};
std::map<std::string, ChildCpu> gChildCpu;

std::string NetpbmProcess(const std::string& tool, const std::string& path, ChildCpu& cpu) {
    const std::string command = tool + " '" + path + "' > /dev/null 2>&1";
    const double before = ChildrenCpuMs();
    const int status = std::system(command.c_str());
    cpu.ms += ChildrenCpuMs() - before;  // the shell and the converter
    ++cpu.runs;
    return status == 0 ? "" : tool + " failed (" + std::to_string(status) + ")";
}

std::vector<Case> MakeCases(const std::vector<Fixture>& fixtures, int64_t pixels, HDC dc) {
    std::vector<Case> cases;
    for (const Fixture& f : fixtures) {
        cases.push_back({f.name + "/" + kLumora, pixels,
                         [p = f.path, dc] { return bench::LumoraLoad(p, dc); }});
        cases.push_back({f.name + "/" + kLumoraReader, pixels,
                         [p = f.path, r = f.reader] { return bench::LumoraReaderOnly(p, r); }});
        if (f.stb)
            cases.push_back(
                {f.name + "/" + kStb, pixels, [p = f.path] { return bench::StbLoad(p); }});
        cases.push_back({f.name + "/" + kNetpbm, pixels,
                         [t = f.netpbmTool, p = f.path, &cpu = gChildCpu[f.name]] {
                             return NetpbmProcess(t, p, cpu);
                         }});
    }
    return cases;
}

// Every case is timed by the wall clock (UseRealTime), which puts this suffix on its name.
const bench::RatioReporter::Timing* Find(const bench::RatioReporter& reporter,
                                         const std::string& name) {
    return reporter.Find(name + "/real_time");
}

void PrintRatios(const bench::RatioReporter& reporter, const std::vector<Fixture>& fixtures) {
    std::printf("\n%-20s %9s %9s %9s %9s %7s %9s %9s %8s %8s\n", "case", "own cpu", "own wall",
                "reader", "stb cpu", "vs stb", "pbm wall", "pbm cpu", "vs wall", "vs cpu");
    for (const Fixture& f : fixtures) {
        const auto* own = Find(reporter, f.name + "/" + kLumora);
        const auto* reader = Find(reporter, f.name + "/" + kLumoraReader);
        const auto* stb = f.stb ? Find(reporter, f.name + "/" + kStb) : nullptr;
        const auto* netpbm = Find(reporter, f.name + "/" + kNetpbm);
        if (!own) continue;
        std::printf("%-20s %9.2f %9.2f %9.2f", f.name.c_str(), own->cpuMean(), own->realMean(),
                    reader ? reader->cpuMean() : 0.0);
        if (stb && stb->cpuMean() > 0)
            std::printf(" %9.2f %7.3f", stb->cpuMean(), own->cpuMean() / stb->cpuMean());
        else
            std::printf(" %9s %7s", "-", "-");
        const ChildCpu& child = gChildCpu[f.name];
        if (netpbm && netpbm->realMean() > 0 && child.runs > 0) {
            const double childMs = child.ms / static_cast<double>(child.runs);
            std::printf(" %9.2f %9.2f %8.3f %8.3f", netpbm->realMean(), childMs,
                        own->realMean() / netpbm->realMean(), own->cpuMean() / childMs);
        }
        std::printf("\n");
    }
    std::printf(
        "times in ms per decode. own = lumora (LoadImageFile), reader = the reader alone (cpu).\n"
        "vs stb = own cpu / stb_image cpu (in-process). pbm wall = the netpbm converter as a "
        "whole\n"
        "process (start-up, decode, PPM to /dev/null), wall time; pbm cpu = that process's user +\n"
        "system time. vs wall = own wall / pbm wall; vs cpu = own cpu / pbm cpu. Below 1: Lumora\n"
        "is faster.\n");
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    return f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    const int divisor = bench::TakeOwnOptions(argc, argv).divisor;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const int w = 4000 / divisor, h = 3000 / divisor;
    std::string dir =
        (std::filesystem::temp_directory_path() / "lumora_bench_raster_XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        std::fprintf(stderr, "bench_raster: cannot make a temporary folder\n");
        return 1;
    }
    const Bytes rgb = MakeRgb(w, h);
    const Bytes index = MakeIndexes(w, h);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"pcx8.pcx", WritePcx8(w, h, index)},        {"pcx24.pcx", WritePcx24(w, h, rgb)},
        {"tga24.tga", WriteTga24(w, h, rgb, false)}, {"tga24rle.tga", WriteTga24(w, h, rgb, true)},
        {"ras24.ras", WriteRas24(w, h, rgb)},
    };
    std::printf("pictures of %dx%d in %s\n", w, h, dir.c_str());
    for (const auto& [name, bytes] : files) {
        if (!WriteFile(dir + "/" + name, bytes)) {
            std::fprintf(stderr, "bench_raster: cannot write %s\n", name.c_str());
            return 1;
        }
        std::printf("  %-14s %10zu bytes\n", name.c_str(), bytes.size());
    }
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const std::vector<Fixture> fixtures = {
        {"pcx8_" + size, dir + "/pcx8.pcx", decode::ReadPcx, "pcxtoppm", false},
        {"pcx24_" + size, dir + "/pcx24.pcx", decode::ReadPcx, "pcxtoppm", false},
        {"tga24_" + size, dir + "/tga24.tga", decode::ReadTga, "tgatoppm", true},
        {"tga24rle_" + size, dir + "/tga24rle.tga", decode::ReadTga, "tgatoppm", true},
        {"ras24_" + size, dir + "/ras24.ras", decode::ReadRas, "rasttopnm", false},
    };

    const HDC dc = platform::GetDC(0);
    const std::vector<Case> cases = MakeCases(fixtures, int64_t{w} * h, dc);
    // Every case is timed by the wall clock too, so a child process's work is seen.
    bench::RegisterCases(cases, true);
    bench::RatioReporter reporter(isatty(STDOUT_FILENO) ? bench::RatioReporter::OO_ColorTabular
                                                        : bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter, fixtures);

    platform::ReleaseDC(0, dc);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    benchmark::Shutdown();
    return 0;
}
