// TIFF decode speed: Lumora's loader against libtiff's TIFFReadRGBAImage on the same files.
//
// Three 24-bit RGB pictures of 4000 x 3000 (smooth gradients plus noise from a fixed random
// state), written with libtiff into a temporary folder at start-up: uncompressed and PackBits
// (decoded by the in-house reader) and LZW (decoded by the codec module), each in strips of 16
// rows. "lumora" is the whole load through LoadImageFile (dispatch, reader or module, BuildDib
// into a DIB section on the display DC); "lumora.reader" is ReadTiff alone over the mapped file
// and "lumora.module" the module's "ReadTIFF" entry alone. The peer opens the file with
// TIFFOpen and decodes it with TIFFReadRGBAImage into its own RGBA raster.
//
// Options besides Google Benchmark's: --divisor=N shrinks every side by N, --no-memory skips the
// peak memory measurement.

#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cases.h"
#include "decode/codec_contract.h"
#include "decode/loader.h"
#include "decode/readers.h"
#include "peak_memory.h"
#include "peers.h"
#include "platform/os/file_map.h"
#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"
#include "platform/os/module.h"
#include "ratio_report.h"

namespace {

constexpr char kLumora[] = "lumora";

using bench::Case;

// Writes a 24-bit RGB TIFF with the given compression; empty string on success.
std::string WriteTiff(const std::string& path, int width, int height, uint16_t compression) {
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "w"), &TIFFClose);
    if (!tif) return "cannot create " + path;
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, 16);
    std::mt19937 random(20240607);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random() % 9) - 4;
            row[3 * x] = static_cast<uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
            row[3 * x + 1] = static_cast<uint8_t>(std::clamp(y * 255 / height + noise, 0, 255));
            row[3 * x + 2] = static_cast<uint8_t>(((x + y) / 7) & 0xFF);
        }
        if (TIFFWriteScanline(tif.get(), row.data(), static_cast<uint32_t>(y), 0) < 0)
            return "cannot write " + path;
    }
    return "";
}

// The module's entry alone, for the header the reader prepares for these files.
class TiffEntry {
  public:
    TiffEntry() : module_("LMTIFF32.DLL") {
        read_ = reinterpret_cast<ReadTIFFProc>(module_.GetProcAddress("ReadTIFF"));
    }
    std::string Run(const std::string& path, int width, int height) const {
        if (!read_) return "no ReadTIFF in the codec module";
        BITMAPINFOHEADER header{};
        header.biWidth = width;
        header.biHeight = height;
        header.biBitCount = 24;
        const int32_t stride = (width * 3 + 3) & ~3;
        const int32_t result = read_(path.c_str(), stride, &header, 0);
        if (result <= 0) return "ReadTIFF failed with " + std::to_string(result);
        platform::GlobalFree(static_cast<HGLOBAL>(result));
        return "";
    }

  private:
    platform::Module module_;
    ReadTIFFProc read_ = nullptr;
};

std::string LibtiffRgba(const std::string& path) {
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), &TIFFClose);
    if (!tif) return "TIFFOpen failed on " + path;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(size_t{w} * h);
    if (!TIFFReadRGBAImage(tif.get(), w, h, raster.data(), 0))
        return "TIFFReadRGBAImage failed on " + path;
    benchmark::DoNotOptimize(raster[0]);
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    setenv("LUMORA_CODEC_PATH", LUMORA_CODEC_DIR, 0);
    const bench::OwnOptions own = bench::TakeOwnOptions(argc, argv);
    const int divisor = own.divisor;
    const bool memory = own.memory;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TIFFSetWarningHandler(nullptr);

    const int width = 4000 / divisor, height = 3000 / divisor;
    char pattern[] = "/tmp/lm_bench_tiff_XXXXXX";
    if (!mkdtemp(pattern)) {
        std::fprintf(stderr, "bench_tiff: cannot make a temporary folder\n");
        return 1;
    }
    const std::string dir = pattern;
    struct File {
        const char* label;
        uint16_t compression;
        bool inHouse;
        std::string path;
    };
    std::vector<File> files = {{"tiff_none", COMPRESSION_NONE, true, dir + "/none.tif"},
                               {"tiff_packbits", COMPRESSION_PACKBITS, true, dir + "/packbits.tif"},
                               {"tiff_lzw", COMPRESSION_LZW, false, dir + "/lzw.tif"}};
    for (const File& f : files) {
        if (std::string error = WriteTiff(f.path, width, height, f.compression); !error.empty()) {
            std::fprintf(stderr, "bench_tiff: %s\n", error.c_str());
            std::filesystem::remove_all(dir);
            return 1;
        }
        std::printf("  %-14s %10lld bytes\n", f.label,
                    static_cast<long long>(std::filesystem::file_size(f.path)));
    }

    const HDC dc = platform::GetDC(0);
    const int64_t pixels = int64_t{width} * height;
    const std::string size = "_" + std::to_string(width) + "x" + std::to_string(height);
    auto entry = std::make_shared<TiffEntry>();
    std::vector<Case> cases;
    for (const File& f : files) {
        const std::string name = f.label + size;
        cases.push_back(
            {name + "/" + kLumora, pixels, [p = f.path, dc] { return bench::LumoraLoad(p, dc); }});
        if (f.inHouse)
            cases.push_back({name + "/lumora.reader", pixels, [p = f.path] {
                                 return bench::LumoraReaderOnly(p, decode::ReadTiff);
                             }});
        else
            cases.push_back({name + "/lumora.module", pixels, [p = f.path, entry, width, height] {
                                 return entry->Run(p, width, height);
                             }});
        cases.push_back({name + "/libtiff", pixels, [p = f.path] { return LibtiffRgba(p); }});
    }
    bench::RegisterCases(cases);
    bench::RatioReporter reporter(isatty(STDOUT_FILENO) ? bench::RatioReporter::OO_ColorTabular
                                                        : bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::map<std::string, double> peakMiB;
    if (memory) {
        for (const Case& c : cases) {
            if (!reporter.Find(c.name)) continue;
            std::string failure;
            peakMiB[c.name] = bench::PeakExtraMiB(c.run, failure);
            if (!failure.empty())
                std::fprintf(stderr, "peak memory of %s: %s\n", c.name.c_str(), failure.c_str());
        }
    }
    std::vector<std::string> order;
    for (const Case& c : cases)
        order.push_back(c.name);
    reporter.PrintRatios(stdout, kLumora, peakMiB, order);
    platform::ReleaseDC(0, dc);
    std::filesystem::remove_all(dir);
    benchmark::Shutdown();
    return 0;
}
