#include "decode_fixtures.h"

#include "cases.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace bench {
namespace {

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

FilePtr OpenForWriting(const std::string& path) {
    return FilePtr(std::fopen(path.c_str(), "wb"), &std::fclose);
}

uint8_t Clamp(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// A photo-like picture: red across, green down, blue in slow waves, grain on every channel.
// Rows are produced one at a time, so no whole picture is held in memory.
class PhotoRows {
  public:
    PhotoRows(int width, int height, int shift, uint32_t noiseState)
        : width_(width), height_(height), noise_(noiseState), waveX_(width), waveY_(height) {
        const double kTwoPi = 6.283185307179586;
        for (int x = 0; x < width; ++x)
            waveX_[x] = std::sin((x + shift) * kTwoPi / std::max(1, width / 3));
        for (int y = 0; y < height; ++y)
            waveY_[y] = std::cos((y + shift / 2) * kTwoPi / std::max(1, height / 2));
    }

    // Fills rgb (3 x width bytes) with row y, red first.
    void Row(int y, int grain, uint8_t* rgb) {
        const int green = 255 * y / std::max(1, height_ - 1);
        for (int x = 0; x < width_; ++x) {
            const int red = 255 * x / std::max(1, width_ - 1);
            const int blue = 128 + static_cast<int>(100.0 * waveX_[x] * waveY_[y]);
            rgb[3 * x] = Clamp(red + noise_.Next(grain));
            rgb[3 * x + 1] = Clamp(green + noise_.Next(grain));
            rgb[3 * x + 2] = Clamp(blue + noise_.Next(grain));
        }
    }

  private:
    int width_;
    int height_;
    Noise noise_;
    std::vector<double> waveX_;
    std::vector<double> waveY_;
};

// 256-colour table: a 6 x 7 x 6 colour cube (252 entries) and four greys.
std::array<uint8_t, 768> CubePalette() {
    std::array<uint8_t, 768> pal{};
    for (int i = 0; i < 252; ++i) {
        pal[3 * i] = static_cast<uint8_t>(i / 42 * 255 / 5);
        pal[3 * i + 1] = static_cast<uint8_t>(i / 6 % 7 * 255 / 6);
        pal[3 * i + 2] = static_cast<uint8_t>(i % 6 * 255 / 5);
    }
    for (int i = 252; i < 256; ++i)
        pal[3 * i] = pal[3 * i + 1] = pal[3 * i + 2] = static_cast<uint8_t>((i - 251) * 51);
    return pal;
}

// Cube index of a pixel; strong grain beforehand stands in for the dithering of a real GIF.
uint8_t CubeIndex(const uint8_t* rgb) {
    return static_cast<uint8_t>((rgb[0] * 6 >> 8) * 42 + (rgb[1] * 7 >> 8) * 6 + (rgb[2] * 6 >> 8));
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

std::string WriteBmp(const std::string& path, int width, int height, int bits) {
    const uint32_t stride = (static_cast<uint32_t>(width) * bits / 8 + 3) & ~3u;
    const uint32_t tableBytes = bits == 8 ? 1024 : 0;
    const uint32_t offBits = 14 + 40 + tableBytes;
    const uint32_t imageBytes = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> head;
    head.push_back('B');
    head.push_back('M');
    Put32(head, offBits + imageBytes);
    Put32(head, 0);
    Put32(head, offBits);
    Put32(head, 40);
    Put32(head, static_cast<uint32_t>(width));
    Put32(head, static_cast<uint32_t>(height));
    Put16(head, 1);
    Put16(head, static_cast<uint32_t>(bits));
    Put32(head, 0);  // BI_RGB
    Put32(head, imageBytes);
    Put32(head, 3780);  // 96 dpi
    Put32(head, 3780);
    Put32(head, bits == 8 ? 256 : 0);
    Put32(head, 0);
    if (bits == 8) {
        const auto pal = CubePalette();
        for (int i = 0; i < 256; ++i) {
            head.push_back(pal[3 * i + 2]);
            head.push_back(pal[3 * i + 1]);
            head.push_back(pal[3 * i]);
            head.push_back(0);
        }
    }
    FilePtr f = OpenForWriting(path);
    if (!f) return "cannot create " + path;
    if (std::fwrite(head.data(), 1, head.size(), f.get()) != head.size())
        return "cannot write " + path;

    // Packed DIB rows are bottom-up: the picture is produced from its last row up.
    PhotoRows photo(width, height, 0, 0x2545F491u);
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(width));
    std::vector<uint8_t> out(stride, 0);
    for (int y = height - 1; y >= 0; --y) {
        photo.Row(y, bits == 8 ? 24 : 10, rgb.data());
        for (int x = 0; x < width; ++x) {
            if (bits == 8) {
                out[x] = CubeIndex(&rgb[3 * x]);
            } else {
                out[3 * x] = rgb[3 * x + 2];
                out[3 * x + 1] = rgb[3 * x + 1];
                out[3 * x + 2] = rgb[3 * x];
            }
        }
        if (std::fwrite(out.data(), 1, out.size(), f.get()) != out.size())
            return "cannot write " + path;
    }
    return std::fclose(f.release()) == 0 ? "" : "cannot write " + path;
}

// Frames of `side` x `side`; more than one frame makes an endlessly looping animation whose
// pattern drifts from frame to frame.
std::string WriteGif(const std::string& path, int side, int frames) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) return std::string("giflib cannot create ") + path + ": " + GifErrorString(error);
    const auto pal = CubePalette();
    std::array<GifColorType, 256> colours{};
    for (int i = 0; i < 256; ++i)
        colours[i] = {pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]};
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    EGifSetGifVersion(gif, true);
    bool ok = map && EGifPutScreenDesc(gif, side, side, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    if (ok && frames > 1) {
        static const char kLoopApp[] = "NETSCAPE2.0";
        const uint8_t loopForever[3] = {1, 0, 0};
        ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif, 11, kLoopApp) == GIF_OK &&
             EGifPutExtensionBlock(gif, 3, loopForever) == GIF_OK &&
             EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(side));
    std::vector<GifPixelType> line(static_cast<size_t>(side));
    for (int f = 0; ok && f < frames; ++f) {
        if (frames > 1) {
            GraphicsControlBlock control{};
            control.DisposalMode = DISPOSE_DO_NOT;
            control.DelayTime = 10;
            control.TransparentColor = NO_TRANSPARENT_COLOR;
            GifByteType ext[4];
            EGifGCBToExtension(&control, ext);
            ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
        }
        ok = ok && EGifPutImageDesc(gif, 0, 0, side, side, false, nullptr) == GIF_OK;
        PhotoRows photo(side, side, 8 * f, 0x9E3779B9u + static_cast<uint32_t>(f));
        for (int y = 0; ok && y < side; ++y) {
            photo.Row(y, 24, rgb.data());
            for (int x = 0; x < side; ++x)
                line[x] = CubeIndex(&rgb[3 * x]);
            ok = EGifPutLine(gif, line.data(), side) == GIF_OK;
        }
    }
    const int lastError = gif->Error;
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    return ok ? "" : std::string("giflib cannot write ") + path + ": " + GifErrorString(lastError);
}

std::string WriteJpeg(const std::string& path, int width, int height) {
    FilePtr f = OpenForWriting(path);
    if (!f) return "cannot create " + path;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);  // a write error ends the program with libjpeg's message
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f.get());
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;  // 4:2:0
    cinfo.comp_info[0].v_samp_factor = 2;
    cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
    cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    PhotoRows photo(width, height, 0, 0x1B873593u);
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(width));
    while (cinfo.next_scanline < cinfo.image_height) {
        photo.Row(static_cast<int>(cinfo.next_scanline), 6, rgb.data());
        JSAMPROW row = rgb.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f.release()) == 0 ? "" : "cannot write " + path;
}

// libpng reports errors by longjmp: nothing with a destructor lives in this frame.
bool WritePngRows(FILE* f, png_structp png, png_infop info, int width, int height, uint8_t* rgb,
                  PhotoRows* photo) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        photo->Row(y, 6, rgb);
        png_write_row(png, rgb);
    }
    png_write_end(png, info);
    return true;
}

std::string WritePng(const std::string& path, int width, int height) {
    FilePtr f = OpenForWriting(path);
    if (!f) return "cannot create " + path;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "libpng cannot start writing";
    }
    PhotoRows photo(width, height, 0, 0x85EBCA6Bu);
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(width));
    const bool ok = WritePngRows(f.get(), png, info, width, height, rgb.data(), &photo);
    png_destroy_write_struct(&png, &info);
    if (!ok) return "libpng cannot write " + path;
    return std::fclose(f.release()) == 0 ? "" : "cannot write " + path;
}

}  // namespace

std::string WriteDecodeFixtures(int divisor, DecodeFixtures& out) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : "/tmp";
    for (int n = 0; out.dir.empty(); ++n) {
        const std::string dir =
            base + "/lumora-bench-" + std::to_string(getpid()) + "-" + std::to_string(n);
        if (mkdir(dir.c_str(), 0700) == 0)
            out.dir = dir;
        else if (errno != EEXIST || n > 1000)
            return "cannot create a folder under " + base;
    }
    divisor = std::max(1, divisor);
    out.photoWidth = 4000 / divisor;
    out.photoHeight = 3000 / divisor;
    out.gifSide = 1000 / divisor;
    out.animationSide = std::max(8, 200 / divisor);
    out.animationFrames = 20;
    out.bmp8 = out.dir + "/photo8.bmp";
    out.bmp24 = out.dir + "/photo24.bmp";
    out.gif = out.dir + "/still.gif";
    out.gifAnimated = out.dir + "/animation.gif";
    out.jpeg = out.dir + "/photo.jpg";
    out.png = out.dir + "/photo.png";

    std::string error = WriteBmp(out.bmp8, out.photoWidth, out.photoHeight, 8);
    if (error.empty()) error = WriteBmp(out.bmp24, out.photoWidth, out.photoHeight, 24);
    if (error.empty()) error = WriteGif(out.gif, out.gifSide, 1);
    if (error.empty()) error = WriteGif(out.gifAnimated, out.animationSide, out.animationFrames);
    if (error.empty()) error = WriteJpeg(out.jpeg, out.photoWidth, out.photoHeight);
    if (error.empty()) error = WritePng(out.png, out.photoWidth, out.photoHeight);
    return error;
}

void RemoveDecodeFixtures(const DecodeFixtures& fixtures) {
    if (fixtures.dir.empty()) return;
    for (const std::string* path : {&fixtures.bmp8, &fixtures.bmp24, &fixtures.gif,
                                    &fixtures.gifAnimated, &fixtures.jpeg, &fixtures.png})
        if (!path->empty()) unlink(path->c_str());
    rmdir(fixtures.dir.c_str());
}

}  // namespace bench
