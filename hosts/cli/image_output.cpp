#include "image_output.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/gdi/gdi.h"

namespace cli {
namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The bitmap's rows in its own format with its colour table, bottom-up as stored.
struct PackedDib {
    BITMAPINFO info{};
    int colours = 0;
    std::vector<uint8_t> bits;
};

bool ReadDib(HBITMAP bitmap, int bitCount, PackedDib& dib) {
    BITMAP bm{};
    if (!platform::GetObject(bitmap, sizeof bm, &bm)) return false;
    HDC dc = platform::GetDC(0);
    dib.info.bmiHeader.biSize = 40;
    dib.info.bmiHeader.biWidth = bm.bmWidth;
    dib.info.bmiHeader.biHeight = bm.bmHeight;
    dib.info.bmiHeader.biPlanes = 1;
    dib.info.bmiHeader.biBitCount = static_cast<uint16_t>(bitCount ? bitCount : bm.bmBitsPixel);
    dib.info.bmiHeader.biCompression = BI_RGB;
    const int bits = dib.info.bmiHeader.biBitCount;
    const size_t stride = ((static_cast<size_t>(bm.bmWidth) * bits + 31) / 32) * 4;
    dib.bits.resize(stride * static_cast<size_t>(bm.bmHeight));
    const int rows = platform::GetDIBits(dc, bitmap, 0, static_cast<uint32_t>(bm.bmHeight),
                                         dib.bits.data(), &dib.info, DIB_RGB_COLORS);
    platform::ReleaseDC(0, dc);
    dib.info.bmiHeader.biSizeImage = static_cast<uint32_t>(dib.bits.size());
    dib.colours = bits <= 8 ? 1 << bits : 0;
    return rows == bm.bmHeight;
}

std::string WriteBmp(const PackedDib& dib, FILE* f) {
    BITMAPFILEHEADER fh{};
    const uint32_t headerBytes = sizeof(BITMAPFILEHEADER) + 40 + 4u * dib.colours;
    fh.bfType = 0x4D42;
    fh.bfOffBits = headerBytes;
    fh.bfSize = headerBytes + static_cast<uint32_t>(dib.bits.size());
    BITMAPINFOHEADER h = dib.info.bmiHeader;
    h.biClrUsed = static_cast<uint32_t>(dib.colours);
    bool ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&h, 40, 1, f) == 1;
    if (dib.colours)
        ok = ok &&
             std::fwrite(dib.info.bmiColors, 4, dib.colours, f) == static_cast<size_t>(dib.colours);
    ok = ok && std::fwrite(dib.bits.data(), 1, dib.bits.size(), f) == dib.bits.size();
    return ok ? "" : "write failed";
}

// Rows of RGB triples, top row first, from a 24-bit bottom-up DIB.
std::vector<uint8_t> TopDownRgb(const PackedDib& dib) {
    const int w = dib.info.bmiHeader.biWidth, h = dib.info.bmiHeader.biHeight;
    const size_t stride = ((static_cast<size_t>(w) * 24 + 31) / 32) * 4;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = dib.bits.data() + (h - 1 - y) * stride;
        uint8_t* d = rgb.data() + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x, s += 3, d += 3)
            d[0] = s[2], d[1] = s[1], d[2] = s[0];
    }
    return rgb;
}

std::string WritePpm(const PackedDib& dib, FILE* f) {
    const auto rgb = TopDownRgb(dib);
    std::fprintf(f, "P6\n%d %d\n255\n", dib.info.bmiHeader.biWidth, dib.info.bmiHeader.biHeight);
    return std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size() ? "" : "write failed";
}

std::string WritePng(const PackedDib& dib, FILE* f) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "out of memory";
    }
    const auto rgb = TopDownRgb(dib);
    const int w = dib.info.bmiHeader.biWidth, h = dib.info.bmiHeader.biHeight;
    std::vector<png_bytep> rows(h);
    for (int y = 0; y < h; ++y)
        rows[y] = const_cast<png_bytep>(rgb.data() + static_cast<size_t>(y) * w * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "write failed";
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Fastest deflate: the window is written for a look, and level 6 took twice as long for files
    // a sixth smaller.
    png_set_compression_level(png, 1);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return "";
}

std::string Extension(const std::string& path) {
    const size_t dot = path.rfind('.');
    std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace

std::string WriteBitmapFile(HBITMAP bitmap, const std::string& path) {
    const std::string ext = Extension(path);
    if (ext != "bmp" && ext != "png" && ext != "ppm")
        return "output must end in .bmp, .png or .ppm";
    PackedDib dib;
    if (!ReadDib(bitmap, ext == "bmp" ? 0 : 24, dib)) return "cannot read the bitmap";
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) return "cannot create " + path;
    std::string error = ext == "bmp"   ? WriteBmp(dib, f.get())
                        : ext == "png" ? WritePng(dib, f.get())
                                       : WritePpm(dib, f.get());
    if (std::fclose(f.release()) != 0 && error.empty()) error = "write failed";
    return error;
}

}  // namespace cli
