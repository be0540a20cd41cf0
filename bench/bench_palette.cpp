// True colour onto a 256-colour surface: a 4000 x 3000 24-bit DIB section blitted 1:1 into an
// 8-bit DIB section whose colour table is a 6 x 7 x 6 cube plus greys (what a paint on an 8-bit
// display does for every pixel). Compared in one run with
//   memcpy/dest     a memory copy of the destination's bytes (the goal: at most 2x this)
//   memcpy/source   a memory copy of the source's bytes (three times the destination's: the
//                   floor for anything that reads every source pixel)
//   search/plain    the same mapping by the plain nearest-colour search, pixel by pixel
// The picture is gradients plus grain, so most pixels have colours of their own.
//
// Options besides Google Benchmark's: --divisor=N shrinks the picture by N.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cases.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/pixel_format.h"

namespace {

using namespace platform;

int g_width = 4000;
int g_height = 3000;

struct Surface {
    HDC dc = 0;
    HBITMAP bitmap = 0;
    HGDIOBJ old = 0;
    uint8_t* bits = nullptr;
    ~Surface() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

std::vector<RGBQUAD> CubePalette() {
    std::vector<RGBQUAD> table;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 7; ++g)
            for (int b = 0; b < 6; ++b)
                table.push_back({static_cast<uint8_t>(b * 51), static_cast<uint8_t>(g * 255 / 6),
                                 static_cast<uint8_t>(r * 51), 0});
    for (int i = 0; table.size() < 256; ++i) {
        const uint8_t v = static_cast<uint8_t>(8 + i * 6);
        table.push_back({v, v, v, 0});
    }
    return table;
}

void MakeSurface(Surface& s, int bitCount, const std::vector<RGBQUAD>& colors) {
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = g_width;
    header->biHeight = g_height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<uint16_t>(bitCount);
    header->biCompression = BI_RGB;
    header->biClrUsed = static_cast<uint32_t>(colors.size());
    std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), colors.data(),
                colors.size() * sizeof(RGBQUAD));
    void* bits = nullptr;
    s.bitmap =
        CreateDIBSection(0, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits);
    s.bits = static_cast<uint8_t*>(bits);
    s.dc = CreateCompatibleDC(0);
    s.old = SelectObject(s.dc, s.bitmap);
}

size_t Stride(int bitCount) {
    return ((static_cast<size_t>(g_width) * bitCount + 31) / 32) * 4;
}

void FillPicture(uint8_t* bits) {
    bench::Noise noise;
    const size_t stride = Stride(24);
    for (int y = 0; y < g_height; ++y) {
        uint8_t* row = bits + y * stride;
        for (int x = 0; x < g_width; ++x) {
            row[3 * x] =
                static_cast<uint8_t>(std::clamp(x * 255 / g_width + noise.Next(24), 0, 255));
            row[3 * x + 1] =
                static_cast<uint8_t>(std::clamp(y * 255 / g_height + noise.Next(24), 0, 255));
            row[3 * x + 2] = static_cast<uint8_t>(
                std::clamp((x + y) * 255 / (g_width + g_height) + noise.Next(24), 0, 255));
        }
    }
}

void BM_Blit(benchmark::State& state) {
    Surface src, dst;
    MakeSurface(src, 24, {});
    MakeSurface(dst, 8, CubePalette());
    FillPicture(src.bits);
    for (auto _ : state) {
        BitBlt(dst.dc, 0, 0, g_width, g_height, src.dc, 0, 0, SRCCOPY);
        benchmark::DoNotOptimize(dst.bits[0]);
    }
}

void BM_PlainSearch(benchmark::State& state) {
    std::vector<uint8_t> src(Stride(24) * g_height), dst(Stride(8) * g_height);
    FillPicture(src.data());
    const std::vector<RGBQUAD> table = CubePalette();
    for (auto _ : state) {
        for (int y = 0; y < g_height; ++y) {
            const uint8_t* s = src.data() + y * Stride(24);
            uint8_t* d = dst.data() + y * Stride(8);
            for (int x = 0; x < g_width; ++x)
                d[x] = static_cast<uint8_t>(gdi::NearestIndex(
                    table.data(), table.size(), nullptr, s[3 * x + 2], s[3 * x + 1], s[3 * x]));
        }
        benchmark::DoNotOptimize(dst[0]);
    }
}

void BM_Memcpy(benchmark::State& state, int bitCount) {
    std::vector<uint8_t> a(Stride(bitCount) * g_height, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b[0]);
    }
}

class Report : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double copy = times_["memcpy/dest"];
        std::printf("\nblit/8bit / memcpy/dest     %.2f   (goal <= 2.0)\n",
                    times_["blit/8bit"] / copy);
        std::printf("memcpy/source / memcpy/dest %.2f\n", times_["memcpy/source"] / copy);
        std::printf("search/plain / blit/8bit    %.1f\n",
                    times_["search/plain/iterations:1"] / times_["blit/8bit"]);
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    const int divisor = bench::TakeOwnOptions(argc, argv).divisor;
    g_width /= divisor;
    g_height /= divisor;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RegisterBenchmark("blit/8bit", BM_Blit)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memcpy/dest", BM_Memcpy, 8)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memcpy/source", BM_Memcpy, 24)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("search/plain", BM_PlainSearch)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    Report report;
    benchmark::RunSpecifiedBenchmarks(&report);
    return 0;
}
