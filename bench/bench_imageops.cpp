// Speed of the image operations on a 6000 x 4000 picture, side by side with a plain memory
// copy of the same bytes and with ImageMagick:
// - rotate8, rotate24: a clockwise quarter turn of 8-bit and 24-bit pixels. "lumora" is the
//   pixel walk alone (source rows to destination rows, both in memory); "lumora.member" the
//   whole Rotate of the control (read the bitmap out, turn, make the new DIB section, relayout).
//   Peers: "memcpy" of the picture's bytes into another buffer; "imagemagick" the convert
//   program (`convert in.pnm -rotate 90 out.pnm`: start-up, reading and writing included, as a
//   script would use it); "magickwand" MagickRotateImage in this process on a picture already
//   read, when the MagickWand library was found at build time.
// - brightness24: "lumora" the table applied to the rows in place, "lumora.member" the whole
//   Brightness of the control, against "memcpy".
// Every case is timed by the wall clock; the table at the end gives lumora / peer per case.
//
// Options besides Google Benchmark's: --divisor=N shrinks every picture side by N.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cases.h"
#include "control/lumora_ctrl.h"
#include "imageops/rotate_bits.h"
#include "imageops/tone_tables.h"
#include "platform/ole/headless_site.h"
#include "ratio_report.h"

#ifdef LUMORA_HAVE_MAGICKWAND
#include <wand/MagickWand.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;
using platform::Variant;

// Noise over gradients: the same bytes on every run.
Bytes MakeRows(int width, int height, int bits) {
    const size_t stride = imageops::DibRowBytes(width, bits);
    Bytes rows(stride * height);
    bench::Noise noise;
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < static_cast<size_t>(width) * bits / 8; ++i)
            rows[y * stride + i] = static_cast<uint8_t>((i + y) / 16 + noise.Next(8));
    return rows;
}

// The rows as a binary PGM or PPM, top row first, for the convert program.
bool WritePnm(const std::string& path, const Bytes& rows, int width, int height, int bits) {
    std::ofstream out(path, std::ios::binary);
    out << (bits == 8 ? "P5\n" : "P6\n") << width << ' ' << height << "\n255\n";
    const size_t stride = imageops::DibRowBytes(width, bits);
    const size_t used = static_cast<size_t>(width) * bits / 8;
    for (int y = height - 1; y >= 0; --y)
        out.write(reinterpret_cast<const char*>(&rows[y * stride]),
                  static_cast<std::streamsize>(used));
    return static_cast<bool>(out);
}

// A BMP file of the rows, for the control to load.
bool WriteBmp(const std::string& path, const Bytes& rows, int width, int height, int bits) {
    std::vector<uint8_t> head(54 + (bits == 8 ? 1024 : 0), 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            head[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    head[0] = 'B';
    head[1] = 'M';
    put(2, static_cast<uint32_t>(head.size() + rows.size()), 4);
    put(10, static_cast<uint32_t>(head.size()), 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, static_cast<uint32_t>(bits), 2);
    for (uint32_t i = 0; bits == 8 && i < 256; ++i)
        put(54 + 4 * i, i * 0x010101u, 4);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()),
              static_cast<std::streamsize>(head.size()));
    out.write(reinterpret_cast<const char*>(rows.data()),
              static_cast<std::streamsize>(rows.size()));
    return static_cast<bool>(out);
}

// A control in a headless window holding one picture.
struct LoadedControl {
    control::CLumoraCtrl ctrl;
    platform::HeadlessSite site{ctrl, 320, 240};
    explicit LoadedControl(const std::string& path) {
        ctrl.InitNew();
        ctrl.SetProperty("FileName", Variant::Bstr(path));
    }
};

// Runs one call, turning an error it raises into the case's failure.
template <typename F>
std::string Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

struct Picture {
    int bits;
    Bytes rows;
    Bytes out;
    std::string pnm, bmp;
    std::unique_ptr<LoadedControl> control;
#ifdef LUMORA_HAVE_MAGICKWAND
    MagickWand* wand = nullptr;
#endif
};

}  // namespace

int main(int argc, char** argv) {
    const int divisor = bench::TakeOwnOptions(argc, argv).divisor;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const int w = 6000 / divisor, h = 4000 / divisor;
    std::string dir =
        (std::filesystem::temp_directory_path() / "lumora_bench_imageops_XXXXXX").string();
    if (!mkdtemp(dir.data())) return 1;
#ifdef LUMORA_HAVE_MAGICKWAND
    MagickWandGenesis();
#endif

    std::vector<std::unique_ptr<Picture>> pictures;
    std::vector<bench::Case> cases;
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    for (const int bits : {8, 24}) {
        auto p = std::make_unique<Picture>();
        p->bits = bits;
        p->rows = MakeRows(w, h, bits);
        p->out.assign(imageops::TurnedRowBytes(h, bits) * w, 1);  // touched: no first-use faults
        p->pnm = dir + "/in" + std::to_string(bits) + (bits == 8 ? ".pgm" : ".ppm");
        p->bmp = dir + "/in" + std::to_string(bits) + ".bmp";
        if (!WritePnm(p->pnm, p->rows, w, h, bits) || !WriteBmp(p->bmp, p->rows, w, h, bits))
            return 1;
        p->control = std::make_unique<LoadedControl>(p->bmp);
        Picture* q = p.get();
        const std::string name = "rotate" + std::to_string(bits) + "_" + size;
        const int64_t pixels = int64_t{w} * h;
        cases.push_back({name + "/lumora", pixels, [q, w, h] {
                             imageops::TurnBits(q->rows.data(), w, h, q->bits, true, q->out.data());
                             benchmark::DoNotOptimize(q->out.data());
                             return std::string();
                         }});
        cases.push_back({name + "/lumora.member", pixels,
                         [q] { return Guarded([q] { q->control->ctrl.Rotate(1); }); }});
        cases.push_back({name + "/memcpy", pixels, [q] {
                             std::memcpy(q->out.data(), q->rows.data(), q->rows.size());
                             benchmark::DoNotOptimize(q->out.data());
                             return std::string();
                         }});
        const std::string out = dir + "/out" + std::to_string(bits) + (bits == 8 ? ".pgm" : ".ppm");
        cases.push_back({name + "/imagemagick", pixels, [q, out] {
                             return bench::RunProcess("convert " + q->pnm + " -rotate 90 " + out);
                         }});
#ifdef LUMORA_HAVE_MAGICKWAND
        q->wand = NewMagickWand();
        if (MagickReadImage(q->wand, q->pnm.c_str()) == MagickFalse) return 1;
        cases.push_back({name + "/magickwand", pixels, [q] {
                             PixelWand* background = NewPixelWand();
                             const bool ok =
                                 MagickRotateImage(q->wand, background, 90) != MagickFalse;
                             DestroyPixelWand(background);
                             return ok ? std::string() : std::string("MagickRotateImage failed");
                         }});
#endif
        if (bits == 24) {
            const std::string tone = "brightness24_" + size;
            const imageops::ToneTables tables = imageops::BrightnessTables(10);
            const size_t stride = imageops::DibRowBytes(w, 24);
            cases.push_back({tone + "/lumora", pixels, [q, tables, stride, w, h] {
                                 imageops::ApplyToRows(tables, q->rows.data(), stride, w, h, 24,
                                                       nullptr);
                                 benchmark::DoNotOptimize(q->rows.data());
                                 return std::string();
                             }});
            cases.push_back({tone + "/lumora.member", pixels,
                             [q] { return Guarded([q] { q->control->ctrl.Brightness(1); }); }});
            cases.push_back({tone + "/memcpy", pixels, [q] {
                                 std::memcpy(q->out.data(), q->rows.data(), q->rows.size());
                                 benchmark::DoNotOptimize(q->out.data());
                                 return std::string();
                             }});
        }
        pictures.push_back(std::move(p));
    }

    bench::RegisterCases(cases, true);
    bench::RatioReporter reporter(isatty(STDOUT_FILENO) ? bench::RatioReporter::OO_ColorTabular
                                                        : bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Wall-clock ratios: a peer that runs as a process does its work outside our CPU time.
    std::printf("\nMean wall time; ratio = lumora / peer (< 1.0: lumora is faster).\n");
    std::printf("%-26s %-14s %-12s %9s %9s %7s\n", "case", "lumora", "peer", "ms", "peer ms",
                "ratio");
    for (const std::string& ours : reporter.names()) {
        const size_t slash = ours.find('/');
        const std::string caseName = ours.substr(0, slash);
        const std::string library = ours.substr(slash + 1, ours.find('/', slash + 1) - slash - 1);
        if (library.rfind("lumora", 0) != 0) continue;
        const auto* mine = reporter.Find(ours);
        for (const std::string& other : reporter.names()) {
            const size_t s = other.find('/');
            const std::string peer = other.substr(s + 1, other.find('/', s + 1) - s - 1);
            if (other.substr(0, s) != caseName || peer.rfind("lumora", 0) == 0) continue;
            const auto* theirs = reporter.Find(other);
            if (!mine || !theirs || theirs->realMean() <= 0) continue;
            std::printf("%-26s %-14s %-12s %9.2f %9.2f %7.2f\n", caseName.c_str(), library.c_str(),
                        peer.c_str(), mine->realMean(), theirs->realMean(),
                        mine->realMean() / theirs->realMean());
        }
    }
#ifdef LUMORA_HAVE_MAGICKWAND
    for (auto& p : pictures)
        DestroyMagickWand(p->wand);
    pictures.clear();
    MagickWandTerminus();
#else
    pictures.clear();
#endif
    std::filesystem::remove_all(dir);
    return 0;
}
