// Decode speed and memory: Lumora's loader against peer libraries on the same files.
//
// Every case starts from a file path and ends with the pixels in memory. Lumora's path is the
// whole load: dispatch, reader or codec module, and BuildDib into a DIB section on the display
// DC (32 bits), after which the bitmap, palette and mask are deleted. The peers decode into
// their own buffers: stb_image into RGB(A), giflib into indices (DGifSlurp), libjpeg-turbo and
// libpng called directly with the settings the codec modules use. Two more Lumora rows split
// the time: "lumora.reader" (the in-house reader alone over the mapped file) and
// "lumora.module" (the codec module's entry point alone); the rest of "lumora" is BuildDib.
//
// Options besides Google Benchmark's: --divisor=N shrinks every picture side by N (for
// profiling runs), --no-memory skips the peak memory measurement.

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <stb/stb_image.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cases.h"
#include "decode/codec_contract.h"
#include "decode/loader.h"
#include "decode/readers.h"
#include "decode_fixtures.h"
#include "peak_memory.h"
#include "peers.h"
#include "platform/os/file_map.h"
#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"
#include "platform/os/module.h"
#include "ratio_report.h"

namespace {

constexpr char kLumora[] = "lumora";
// The same decode without BuildDib: the in-house reader, or the codec module's entry point.
constexpr char kLumoraReader[] = "lumora.reader";
constexpr char kLumoraModule[] = "lumora.module";

// One decode of one file by one library; returns an empty string or what went wrong.

std::string LoaderFailure(const decode::DecodedImage& img) {
    return "LoadImageFile failed with " + std::to_string(img.errorCode);
}

void DeleteLoadResult(HBITMAP bitmap, decode::DecodedImage& img) {
    if (bitmap) platform::DeleteObject(bitmap);
    if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
    if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
    img.paletteHandle = 0;
    img.maskBitmap = 0;
}

// The control's frame walk: one load per frame from the offset the previous frame left.
std::string LumoraFrameWalk(const std::string& path, HDC dc, int expectedFrames) {
    decode::DecodedImage img;
    decode::LoadOptions options;
    platform::FileReuseScope readOnce;  // as the control gathers frames
    int frames = 0;
    for (;;) {
        img.errorCode = 0;
        const HBITMAP bitmap = decode::LoadImageFile(img, path, dc, options);
        if (!bitmap) return LoaderFailure(img) + " at frame " + std::to_string(frames);
        ++frames;
        DeleteLoadResult(bitmap, img);
        if (img.gif.nextFrameOffset == 0) break;
        options.startOffset = img.gif.nextFrameOffset;
    }
    if (frames != expectedFrames)
        return "walked " + std::to_string(frames) + " frames of " + std::to_string(expectedFrames);
    return "";
}

// Lumora's reader alone: the file mapped, the reader run, the pixel block released; no BuildDib.
// A codec module's read entry alone, the module loaded once: no dispatch, no BuildDib.
class CodecEntry {
  public:
    explicit CodecEntry(const char* moduleName, const char* entryName)
        : module_(std::make_shared<platform::Module>(moduleName)),
          proc_(module_->GetProcAddress(entryName)),
          entryName_(entryName),
          jpeg_(std::strcmp(entryName, "ReadJPG") == 0) {}

    std::string Run(const std::string& path, HDC dc) const {
        if (!proc_) return std::string("no ") + entryName_ + " in the codec module";
        std::array<uint8_t, 768> palette{};
        BITMAPINFOHEADER header{};
        const decode::LoadOptions o;
        int32_t result = 0;
        if (jpeg_)
            result = reinterpret_cast<ReadJPGProc>(proc_)(
                path.c_str(), dc, o.dither, o.fancyUpsampling, o.twoPassQuantize, o.jpegDither,
                o.dctMethod, palette.data(), &header);
        else
            result =
                reinterpret_cast<ReadPNGProc>(proc_)(path.c_str(), dc, palette.data(), &header);
        if (result <= 0) return std::string(entryName_) + " failed with " + std::to_string(result);
        platform::GlobalFree(static_cast<HGLOBAL>(result));
        return "";
    }

  private:
    std::shared_ptr<platform::Module> module_;
    void* proc_;
    const char* entryName_;
    bool jpeg_;
};

std::string ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return "cannot open " + path;
    const long size = std::ftell(f.get());
    if (size <= 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) return "cannot size " + path;
    bytes.resize(static_cast<size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        return "cannot read " + path;
    return "";
}

std::string StbLoadAnimation(const std::string& path, int expectedFrames) {
    std::vector<uint8_t> bytes;
    if (std::string error = ReadWholeFile(path, bytes); !error.empty()) return error;
    int* delays = nullptr;
    int w = 0, h = 0, frames = 0, channels = 0;
    stbi_uc* pixels = stbi_load_gif_from_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                &delays, &w, &h, &frames, &channels, 0);
    if (!pixels) return std::string("stbi_load_gif_from_memory: ") + stbi_failure_reason();
    benchmark::DoNotOptimize(pixels[0]);
    stbi_image_free(pixels);
    stbi_image_free(delays);
    if (frames != expectedFrames) return "stb_image found " + std::to_string(frames) + " frames";
    return "";
}

std::string GiflibSlurp(const std::string& path, int expectedFrames) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) return std::string("DGifOpenFileName: ") + GifErrorString(error);
    std::string result;
    if (DGifSlurp(gif) != GIF_OK)
        result = std::string("DGifSlurp: ") + GifErrorString(gif->Error);
    else if (gif->ImageCount != expectedFrames)
        result = "giflib found " + std::to_string(gif->ImageCount) + " frames";
    else
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits[0]);
    DGifCloseFile(gif, &error);
    return result;
}

// libjpeg-turbo as the JPEG module drives it: fast integer DCT, no fancy upsampling, 24-bit
// blue-green-red rows stored bottom-up in one block, one scanline per call.
std::string LibjpegDecode(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return "cannot open " + path;
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);  // the files are our own: an error ends the program
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f.get());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t stride = (size_t{cinfo.output_width} * 3 + 3) & ~size_t{3};
    const JDIMENSION height = cinfo.output_height;
    auto pixels = std::make_unique_for_overwrite<uint8_t[]>(stride * height);
    while (cinfo.output_scanline < height) {
        JSAMPROW row = pixels.get() + (height - 1 - cinfo.output_scanline) * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels[0]);
    return "";
}

// libpng reports errors by longjmp: nothing with a destructor lives in this frame.
bool LibpngHeader(png_structp png, png_infop info, FILE* f, uint8_t** pixels, size_t* stride,
                  png_uint_32* height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_bgr(png);
    png_set_strip_16(png);
    png_read_update_info(png, info);
    *height = png_get_image_height(png, info);
    *stride = (png_get_rowbytes(png, info) + 3) & ~size_t{3};
    *pixels = static_cast<uint8_t*>(std::malloc(*stride * *height));
    return *pixels != nullptr;
}

bool LibpngImage(png_structp png, png_bytep* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

// libpng as the PNG module drives it: blue-green-red, 16-bit samples stripped, the whole
// picture read with png_read_image into bottom-up rows of one block.
std::string LibpngDecode(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return "cannot open " + path;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "libpng cannot start reading";
    }
    uint8_t* raw = nullptr;
    size_t stride = 0;
    png_uint_32 height = 0;
    std::string error;
    if (!LibpngHeader(png, info, f.get(), &raw, &stride, &height)) {
        error = "libpng cannot read the header of " + path;
    } else {
        std::unique_ptr<uint8_t, void (*)(void*)> pixels(raw, &std::free);
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y)
            rows[y] = raw + (height - 1 - y) * stride;
        if (!LibpngImage(png, rows.data())) error = "libpng cannot read " + path;
        benchmark::DoNotOptimize(raw[0]);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return error;
}

std::vector<bench::Case> MakeCases(const bench::DecodeFixtures& fx, HDC dc) {
    const int64_t photo = int64_t{fx.photoWidth} * fx.photoHeight;
    const int64_t still = int64_t{fx.gifSide} * fx.gifSide;
    const int64_t animation = int64_t{fx.animationSide} * fx.animationSide * fx.animationFrames;
    const std::string size = std::to_string(fx.photoWidth) + "x" + std::to_string(fx.photoHeight);
    const std::string gifSize = std::to_string(fx.gifSide) + "x" + std::to_string(fx.gifSide);
    const std::string animationSize = std::to_string(fx.animationFrames) + "x" +
                                      std::to_string(fx.animationSide) + "x" +
                                      std::to_string(fx.animationSide);
    const int frames = fx.animationFrames;
    std::vector<bench::Case> cases;
    auto add = [&](const std::string& caseName, const char* library, int64_t pixels,
                   std::function<std::string()> run) {
        cases.push_back({caseName + "/" + library, pixels, std::move(run)});
    };
    for (const auto& bmp : {std::pair{"bmp8_", fx.bmp8}, std::pair{"bmp24_", fx.bmp24}}) {
        const std::string caseName = bmp.first + size;
        add(caseName, kLumora, photo, [p = bmp.second, dc] { return bench::LumoraLoad(p, dc); });
        add(caseName, kLumoraReader, photo,
            [p = bmp.second] { return bench::LumoraReaderOnly(p, decode::ReadBmp); });
        add(caseName, "stb_image", photo, [p = bmp.second] { return bench::StbLoad(p); });
    }
    add("gif_" + gifSize, kLumora, still, [p = fx.gif, dc] { return bench::LumoraLoad(p, dc); });
    add("gif_" + gifSize, kLumoraReader, still,
        [p = fx.gif] { return bench::LumoraReaderOnly(p, decode::ReadGif); });
    add("gif_" + gifSize, "giflib", still, [p = fx.gif] { return GiflibSlurp(p, 1); });
    add("gif_" + gifSize, "stb_image", still, [p = fx.gif] { return bench::StbLoad(p); });
    const std::string anim = "gif_anim_" + animationSize;
    add(anim, kLumora, animation,
        [p = fx.gifAnimated, dc, frames] { return LumoraFrameWalk(p, dc, frames); });
    add(anim, "giflib", animation, [p = fx.gifAnimated, frames] { return GiflibSlurp(p, frames); });
    add(anim, "stb_image", animation,
        [p = fx.gifAnimated, frames] { return StbLoadAnimation(p, frames); });
    add("jpeg_q90_420_" + size, kLumora, photo,
        [p = fx.jpeg, dc] { return bench::LumoraLoad(p, dc); });
    auto jpegEntry = std::make_shared<CodecEntry>("LMJPEG32.DLL", "ReadJPG");
    add("jpeg_q90_420_" + size, kLumoraModule, photo,
        [p = fx.jpeg, dc, jpegEntry] { return jpegEntry->Run(p, dc); });
    add("jpeg_q90_420_" + size, "libjpeg-turbo", photo, [p = fx.jpeg] { return LibjpegDecode(p); });
    add("png_rgb_" + size, kLumora, photo, [p = fx.png, dc] { return bench::LumoraLoad(p, dc); });
    auto pngEntry = std::make_shared<CodecEntry>("LMPNG32.DLL", "ReadPNG");
    add("png_rgb_" + size, kLumoraModule, photo,
        [p = fx.png, dc, pngEntry] { return pngEntry->Run(p, dc); });
    add("png_rgb_" + size, "libpng", photo, [p = fx.png] { return LibpngDecode(p); });
    return cases;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("LUMORA_CODEC_PATH", LUMORA_CODEC_DIR, 0);
    const bench::OwnOptions own = bench::TakeOwnOptions(argc, argv);
    const int divisor = own.divisor;
    const bool memory = own.memory;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    bench::DecodeFixtures fixtures;
    const std::string error = bench::WriteDecodeFixtures(divisor, fixtures);
    if (!error.empty()) {
        std::fprintf(stderr, "bench_decode: %s\n", error.c_str());
        bench::RemoveDecodeFixtures(fixtures);
        return 1;
    }
    std::printf("pictures in %s, codec modules from %s\n", fixtures.dir.c_str(),
                std::getenv("LUMORA_CODEC_PATH"));
    for (const std::string* path : {&fixtures.bmp8, &fixtures.bmp24, &fixtures.gif,
                                    &fixtures.gifAnimated, &fixtures.jpeg, &fixtures.png}) {
        struct stat st {};
        if (stat(path->c_str(), &st) == 0)
            std::printf("  %-16s %10lld bytes\n", path->substr(fixtures.dir.size() + 1).c_str(),
                        static_cast<long long>(st.st_size));
    }

    const HDC dc = platform::GetDC(0);
    const std::vector<bench::Case> cases = MakeCases(fixtures, dc);
    bench::RegisterCases(cases);
    bench::RatioReporter reporter(isatty(STDOUT_FILENO) ? bench::RatioReporter::OO_ColorTabular
                                                        : bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Peak memory of one decode per case that ran, each in a fresh child.
    std::map<std::string, double> peakMiB;
    if (memory) {
        for (const bench::Case& c : cases) {
            if (!reporter.Find(c.name)) continue;
            std::string failure;
            peakMiB[c.name] = bench::PeakExtraMiB(c.run, failure);
            if (!failure.empty())
                std::fprintf(stderr, "peak memory of %s: %s\n", c.name.c_str(), failure.c_str());
        }
    }
    std::vector<std::string> order;
    for (const bench::Case& c : cases)
        order.push_back(c.name);
    reporter.PrintRatios(stdout, kLumora, peakMiB, order);

    platform::ReleaseDC(0, dc);
    bench::RemoveDecodeFixtures(fixtures);
    benchmark::Shutdown();
    return 0;
}
