// Load plus first paint of a large picture in the control, against the floors it is built on.
//
// The picture is a 4000 x 3000 24-bit BMP written at start-up into a temporary folder (fixed
// content: gradients plus noise from a fixed random state). Each display case times, from a
// control already sited in a 1024 x 768 headless window, the property calls that show the
// picture and one PaintWindow:
//   zoom0.25   AutoSize 0, Zoom 0.25, FileName, PaintWindow
//   autosize4  AutoSize 4 (stretched to the control), FileName, PaintWindow
// and, with the picture loaded once, the paint alone (PaintWindow repeated).
//
// The floors, timed the same way:
//   decode/bmp24     LoadImageFile of the same file, bitmap and palette deleted
//   memcpy/pixels    a memory copy of the picture's pixel bytes (4000 x 3000 x 3)
//   dest/memset      one write pass over a buffer of the window surface's size (1024 x 768 at the
//                    display's bytes per pixel)
//   dest/memcpy      one copy into a buffer of that size
//
// At the end a table gives per case the mean CPU times and the ratios paint alone / one pass
// over the destination and load+paint / bare decode.
//
// Options besides Google Benchmark's: --divisor=N shrinks the picture and the window by N;
// --depth=N sets the display's bits per pixel (8: a palette display, where the first paint maps
// every shown pixel to the nearest palette colour and later paints copy the mapped view).

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cases.h"
#include "control/lumora_ctrl.h"
#include "decode/loader.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/headless_site.h"
#include "ratio_report.h"

namespace {

using platform::Variant;

struct Setup {
    int pictureWidth = 4000;
    int pictureHeight = 3000;
    int windowWidth = 1024;
    int windowHeight = 768;
    std::string dir;
    std::string bmp;
};

Setup g_setup;

// A display case: the properties set before FileName.
struct DisplayCase {
    const char* name;
    bool autoFit;  // AutoSize 4; otherwise AutoSize 0 with Zoom 0.25
};

constexpr DisplayCase kCases[] = {{"zoom0.25", false}, {"autosize4", true}};

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A 24-bit bottom-up BMP with smooth gradients plus noise from a fixed xorshift state.
std::vector<uint8_t> MakeBmp24(int width, int height) {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const size_t imageBytes = stride * static_cast<size_t>(height);
    std::vector<uint8_t> out(54 + imageBytes, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<uint32_t>(out.size()));
    Put32(out, 10, 54);
    Put32(out, 14, 40);
    Put32(out, 18, static_cast<uint32_t>(width));
    Put32(out, 22, static_cast<uint32_t>(height));
    out[26] = 1;   // planes
    out[28] = 24;  // bits per pixel
    Put32(out, 34, static_cast<uint32_t>(imageBytes));
    uint32_t state = 0x9E3779B9u;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data() + 54 + stride * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = static_cast<int>(state & 15) - 8;
            const int b = (x * 255) / width + noise;
            const int g = (y * 255) / height + noise;
            const int r = ((x + y) * 127) / (width + height) + 64 + noise;
            row[3 * x + 0] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
            row[3 * x + 1] = static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
            row[3 * x + 2] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
        }
    }
    return out;
}

std::string WritePicture(Setup& setup) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora_display_XXXXXX";
    if (!mkdtemp(pattern.data())) return "cannot create a folder from " + pattern;
    setup.dir = pattern;
    setup.bmp = setup.dir + "/photo24.bmp";
    const std::vector<uint8_t> bytes = MakeBmp24(setup.pictureWidth, setup.pictureHeight);
    std::FILE* f = std::fopen(setup.bmp.c_str(), "wb");
    if (!f) return "cannot write " + setup.bmp;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok ? "" : "cannot write " + setup.bmp;
}

constexpr COLORREF kBack = RGB(0, 255, 0);

// A control sited in a window of the benchmark's size.
struct Sited {
    control::CLumoraCtrl ctrl;
    platform::HeadlessSite site{ctrl, g_setup.windowWidth, g_setup.windowHeight};
    Sited() {
        ctrl.InitNew();
        ctrl.SetProperty("BackColor", Variant::I4(static_cast<int32_t>(kBack)));
    }
};

void ShowPicture(Sited& s, const DisplayCase& c) {
    s.site.Resize(g_setup.windowWidth, g_setup.windowHeight);
    if (c.autoFit) {
        s.ctrl.SetProperty("AutoSize", Variant::I2(4));
    } else {
        s.ctrl.SetProperty("AutoSize", Variant::I2(0));
        s.ctrl.SetProperty("Zoom", Variant::R4(0.25f));
    }
    s.ctrl.SetProperty("FileName", Variant::Bstr(g_setup.bmp));
}

// Checks once that the picture loaded and a paint changed the window, so that no case times a
// failure path.
std::string CheckCase(const DisplayCase& c) {
    Sited s;
    try {
        ShowPicture(s, c);
    } catch (...) {
        return std::string(c.name) + ": setting the properties raised an error";
    }
    if (s.ctrl.GetProperty("bmpw").AsI2() != g_setup.pictureWidth)
        return std::string(c.name) + ": the picture did not load";
    s.site.Paint();
    const int x = g_setup.windowWidth / 2, y = g_setup.windowHeight / 2;
    const COLORREF before = s.site.Pixel(x, y);
    s.site.Paint();
    if (s.site.Pixel(x, y) != before) return std::string(c.name) + ": paints differ";
    if (before == kBack || before == platform::CLR_INVALID)
        return std::string(c.name) + ": the paint left no picture in the window centre";
    return "";
}

// Load plus first paint: the control is sited outside the timing, every property call and the
// paint inside it.
void BM_LoadPaint(benchmark::State& state, const DisplayCase* c) {
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<Sited>();
        state.ResumeTiming();
        ShowPicture(*s, *c);
        s->site.Paint();
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
}

// The first paint alone: the picture loaded outside the timing into a fresh control, so the
// window surface has not been drawn yet.
void BM_FirstPaint(benchmark::State& state, const DisplayCase* c) {
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<Sited>();
        ShowPicture(*s, *c);
        state.ResumeTiming();
        s->site.Paint();
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
}

// The paint alone, the picture loaded once.
void BM_Paint(benchmark::State& state, const DisplayCase* c) {
    Sited s;
    ShowPicture(s, *c);
    for (auto _ : state)
        s.site.Paint();
}

void BM_Decode(benchmark::State& state) {
    const HDC dc = platform::GetDC(0);
    const decode::LoadOptions options;  // the control's defaults
    for (auto _ : state) {
        decode::DecodedImage img;
        const HBITMAP bitmap = decode::LoadImageFile(img, g_setup.bmp, dc, options);
        if (!bitmap) {
            state.SkipWithError("LoadImageFile failed");
            break;
        }
        platform::DeleteObject(bitmap);
        if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
        if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
    }
    platform::ReleaseDC(0, dc);
}

void BM_Memcpy(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_Memset(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> to(bytes, 0);
    uint8_t value = 0;
    for (auto _ : state) {
        std::memset(to.data(), ++value, bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// What a stretch to the window height has to read at the least: the source rows it samples
// (one per destination row), each read once into a small buffer that stays in cache. The
// rows are those of the 24-bit picture the control keeps (rows padded to 4 bytes).
void BM_SourceRows(benchmark::State& state) {
    const size_t rowBytes = (static_cast<size_t>(g_setup.pictureWidth) * 3 + 3) & ~size_t{3};
    const int rows = g_setup.pictureHeight;
    const int sampled = g_setup.windowHeight;
    std::vector<uint8_t> picture(rowBytes * static_cast<size_t>(rows), 1), row(rowBytes);
    for (auto _ : state) {
        for (int y = 0; y < sampled; ++y) {
            const size_t from = static_cast<size_t>(static_cast<int64_t>(y) * rows / sampled);
            std::memcpy(row.data(), picture.data() + from * rowBytes, rowBytes);
            benchmark::DoNotOptimize(row.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * sampled * static_cast<int64_t>(rowBytes));
}

double Mean(const bench::RatioReporter& r, const std::string& name) {
    const bench::RatioReporter::Timing* t = r.Find(name);
    return t && t->error.empty() ? t->cpuMean() : -1;
}

void PrintMs(std::FILE* out, double ms) {
    if (ms < 0)
        std::fprintf(out, " %11s", "-");
    else
        std::fprintf(out, " %11.3f", ms);
}

void PrintRatio(std::FILE* out, double a, double b) {
    if (a < 0 || b <= 0)
        std::fprintf(out, " %10s", "-");
    else
        std::fprintf(out, " %10.2f", a / b);
}

void PrintTable(std::FILE* out, const bench::RatioReporter& r, const std::string& pixelsName,
                const std::string& memsetName, const std::string& destCopyName) {
    const double decode = Mean(r, "decode/bmp24");
    const double pixels = Mean(r, pixelsName);
    const double destSet = Mean(r, memsetName);
    const double destCopy = Mean(r, destCopyName);
    const double srcRows = Mean(r, "src/rows");
    std::fprintf(
        out, "\nLoad + first paint, %d x %d 24-bit BMP in a %d x %d control (mean CPU ms)\n",
        g_setup.pictureWidth, g_setup.pictureHeight, g_setup.windowWidth, g_setup.windowHeight);
    std::fprintf(out, "%-10s %11s %11s %11s %11s %11s %11s %11s %11s\n", "case", "load+paint",
                 "decode", "memcpy pix", "1st paint", "paint", "dest set", "dest copy", "src rows");
    for (const DisplayCase& c : kCases) {
        const std::string name = c.name;
        std::fprintf(out, "%-10s", c.name);
        for (double ms :
             {Mean(r, name + "/load_paint"), decode, pixels, Mean(r, name + "/first_paint"),
              Mean(r, name + "/paint"), destSet, destCopy, srcRows})
            PrintMs(out, ms);
        std::fputc('\n', out);
    }
    std::fprintf(out, "\nRatios\n%-10s %10s %10s %10s %10s %10s\n", "case", "paint/set",
                 "paint/copy", "paint/src", "1st/set", "lp/decode");
    for (const DisplayCase& c : kCases) {
        const std::string name = c.name;
        const double loadPaint = Mean(r, name + "/load_paint");
        const double firstPaint = Mean(r, name + "/first_paint");
        const double paint = Mean(r, name + "/paint");
        std::fprintf(out, "%-10s", c.name);
        PrintRatio(out, paint, destSet);
        PrintRatio(out, paint, destCopy);
        PrintRatio(out, paint, srcRows);
        PrintRatio(out, firstPaint, destSet);
        PrintRatio(out, loadPaint, decode);
        std::fputc('\n', out);
    }
    std::fprintf(out,
                 "goal: paint <= one pass over the destination (paint/set, paint/copy <= 1.0)\n");
}

}  // namespace

int main(int argc, char** argv) {
    const bench::OwnOptions own = bench::TakeOwnOptions(argc, argv);
    const int divisor = own.divisor;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (own.depth && !platform::SetDisplayDepth(own.depth)) {
        std::fprintf(stderr, "bench_display: no display of %d bits per pixel\n", own.depth);
        return 1;
    }

    g_setup.pictureWidth /= divisor;
    g_setup.pictureHeight /= divisor;
    g_setup.windowWidth /= divisor;
    g_setup.windowHeight /= divisor;
    std::string error = WritePicture(g_setup);
    for (const DisplayCase& c : kCases)
        if (error.empty()) error = CheckCase(c);
    if (!error.empty()) {
        std::fprintf(stderr, "bench_display: %s\n", error.c_str());
        if (!g_setup.bmp.empty()) std::remove(g_setup.bmp.c_str());
        if (!g_setup.dir.empty()) rmdir(g_setup.dir.c_str());
        return 1;
    }
    struct stat st {};
    stat(g_setup.bmp.c_str(), &st);
    std::printf("picture %s, %lld bytes; display %d bits per pixel\n", g_setup.bmp.c_str(),
                static_cast<long long>(st.st_size), platform::DisplayDepth());

    const int64_t pixelBytes =
        static_cast<int64_t>(g_setup.pictureWidth) * g_setup.pictureHeight * 3;
    const int64_t destBytes = static_cast<int64_t>(g_setup.windowWidth) * g_setup.windowHeight *
                              ((platform::DisplayDepth() + 7) / 8);
    for (const DisplayCase& c : kCases) {
        benchmark::RegisterBenchmark((std::string(c.name) + "/load_paint").c_str(), BM_LoadPaint,
                                     &c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string(c.name) + "/first_paint").c_str(), BM_FirstPaint,
                                     &c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string(c.name) + "/paint").c_str(), BM_Paint, &c)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("decode/bmp24", BM_Decode)->Unit(benchmark::kMillisecond);
    const std::string pixelsName = "memcpy/pixels";
    const std::string memsetName = "dest/memset";
    const std::string destCopyName = "dest/memcpy";
    benchmark::RegisterBenchmark(pixelsName.c_str(), BM_Memcpy)
        ->Arg(pixelBytes)
        ->ArgName("bytes")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(memsetName.c_str(), BM_Memset)
        ->Arg(destBytes)
        ->ArgName("bytes")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(destCopyName.c_str(), BM_Memcpy)
        ->Arg(destBytes)
        ->ArgName("bytes")
        ->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("src/rows", BM_SourceRows)->Unit(benchmark::kMillisecond);

    bench::RatioReporter reporter(isatty(STDOUT_FILENO) ? bench::RatioReporter::OO_ColorTabular
                                                        : bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintTable(stdout, reporter, pixelsName + "/bytes:" + std::to_string(pixelBytes),
               memsetName + "/bytes:" + std::to_string(destBytes),
               destCopyName + "/bytes:" + std::to_string(destBytes));

    std::remove(g_setup.bmp.c_str());
    rmdir(g_setup.dir.c_str());
    benchmark::Shutdown();
    return 0;
}
