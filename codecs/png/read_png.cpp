// "ReadPNG": decodes a PNG file with libpng into a pixel block in the decode area's layout.
//
// Palette pictures of any depth come out as 8-bit indices with their palette; greyscale ones
// as 8-bit values indexing a grey ramp; colour ones as 24-bit blue-green-red. The control has
// no alpha channel, so transparency (an alpha channel, or a tRNS chunk) is composited onto
// white: per pixel for grey and colour pictures, per palette entry for palette pictures.
// Compositing runs at the file's precision; 16-bit samples are then reduced to their high
// byte. A file gamma (gAMA) is corrected to the display's sRGB gamma, as browsers do, unless an
// sRGB or iCCP chunk says the colours are sRGB or profiled already; files without gAMA, or
// whose gamma is near sRGB's, come out as stored.
//
// Errors: -20001 the file cannot be opened, -20010 no PNG signature or a bad header,
// -20003 damaged or missing image data (critical-chunk CRC errors included), -20002 memory
// or a picture beyond the size limits.

#include <png.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "decode/codec_contract.h"
#include "decode/decoded_image.h"
#include "decode/loader_error.h"
#include "platform/os/global_memory.h"

namespace lmpng {
namespace {

// An interlaced picture with transparency is read whole before compositing; its rows at file
// precision (up to 8 bytes a pixel) may take this much beside the pixel block.
constexpr uint64_t kMaxInterlacedBuffer = uint64_t{3} << 30;

// The display's gamma: sRGB, approximately.
constexpr double kDisplayGamma = 2.2;

enum class Layout {
    Indexed,    // 8-bit palette indices, stored as they come
    Grey,       // 8-bit grey, stored as it comes
    GreyAlpha,  // grey and alpha at 8 or 16 bits, composited
    Bgr,        // 8-bit blue, green, red, stored as they come
    Rgba,       // red, green, blue, alpha at 8 or 16 bits, composited
};

struct Status {
    bool shortRead;
    bool outOfMemory;
};

// Owns libpng's structures and the file.
struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE* file = nullptr;
    Status status{};

    Reader() = default;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        if (file) std::fclose(file);
    }
};

// What the header phase found, after libpng's transformations.
struct Picture {
    png_uint_32 width;
    png_uint_32 height;
    Layout layout;
    bool interlaced;
    bool wide;  // 16-bit samples
    size_t rowBytes;
    std::array<uint8_t, 768> palette;
};

[[noreturn]] void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

png_voidp Allocate(png_structp png, png_alloc_size_t size) {
    void* p = std::malloc(size);
    if (!p) static_cast<Status*>(png_get_mem_ptr(png))->outOfMemory = true;
    return p;
}

void Release(png_structp, png_voidp p) {
    std::free(p);
}

void ReadBytes(png_structp png, png_bytep data, size_t length) {
    auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, reader->file) != length) {
        reader->status.shortRead = true;
        png_error(png, "unexpected end of file");
    }
}

uint8_t OnWhite8(unsigned value, unsigned alpha) {
    return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

uint8_t OnWhite16(unsigned value, unsigned alpha) {
    const uint64_t v =
        (uint64_t{value} * alpha + uint64_t{65535} * (65535 - alpha) + 32767) / 65535;
    return static_cast<uint8_t>(v >> 8);
}

// The gamma of a file to be corrected for the display: its gAMA value, when it has no sRGB or
// iCCP chunk and the correction to sRGB's 2.2 would change it by more than libpng's 5%; else 0.
double FileGamma(png_structp png, png_infop info) {
    double gamma = 0;
    if (png_get_valid(png, info, PNG_INFO_sRGB) || png_get_valid(png, info, PNG_INFO_iCCP) ||
        !png_get_gAMA(png, info, &gamma) || gamma <= 0)
        return 0;
    return std::abs(gamma * kDisplayGamma - 1) > 0.05 ? gamma : 0;
}

// Palette entries, gamma-corrected here for every depth alike (libpng leaves the palette of an
// 8-bit indexed read uncorrected), with their tRNS alpha composited onto white; entries beyond
// the palette stay black.
void BuildPalette(png_structp png, png_infop info, double fileGamma,
                  std::array<uint8_t, 768>& out) {
    out.fill(0);
    png_colorp colours = nullptr;
    int count = 0;
    if (!png_get_PLTE(png, info, &colours, &count)) return;
    png_bytep alpha = nullptr;
    int alphas = 0;
    if (!png_get_tRNS(png, info, &alpha, &alphas, nullptr)) alphas = 0;
    std::array<uint8_t, 256> corrected;
    for (int v = 0; v < 256; ++v)
        corrected[v] = fileGamma > 0
                           ? static_cast<uint8_t>(std::lround(
                                 255 * std::pow(v / 255.0, 1 / (fileGamma * kDisplayGamma))))
                           : static_cast<uint8_t>(v);
    for (int i = 0; i < count && i < 256; ++i) {
        const unsigned a = i < alphas ? alpha[i] : 255;
        out[3 * i] = OnWhite8(corrected[colours[i].red], a);
        out[3 * i + 1] = OnWhite8(corrected[colours[i].green], a);
        out[3 * i + 2] = OnWhite8(corrected[colours[i].blue], a);
    }
}

// Bytes per row of the pixel block: 8-bit indices or 24-bit colour, padded to four bytes.
int64_t PixelStride(int64_t width, bool colour) {
    return ((colour ? 3 * width : width) + 3) & ~int64_t{3};
}

// Reads the header and chooses the transformations. Holds no state of its own across the jump.
int32_t ReadHeader(Reader& r, Picture& p) {
    if (setjmp(png_jmpbuf(r.png))) {
        if (r.status.outOfMemory) return decode::kNoMemory;
        return r.status.shortRead ? decode::kReadError : decode::kBadHeader;
    }
    png_structp png = r.png;
    png_set_read_fn(png, &r, ReadBytes);
    png_set_sig_bytes(png, 8);
    // Size limits are ours to apply, after the header, with the memory code.
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(png, r.info);

    const int colourType = png_get_color_type(png, r.info);
    const int depth = png_get_bit_depth(png, r.info);
    const bool transparentColour = png_get_valid(png, r.info, PNG_INFO_tRNS) != 0;
    p.width = png_get_image_width(png, r.info);
    p.height = png_get_image_height(png, r.info);
    p.interlaced = png_get_interlace_type(png, r.info) != PNG_INTERLACE_NONE;
    // Refused before libpng sizes its row buffers by the width.
    const bool colour = (colourType & PNG_COLOR_MASK_COLOR) && colourType != PNG_COLOR_TYPE_PALETTE;
    if (int32_t rc = decode::CheckImageSize(p.width, p.height, PixelStride(p.width, colour)))
        return rc;
    const double fileGamma = FileGamma(png, r.info);
    if (fileGamma > 0 && colourType != PNG_COLOR_TYPE_PALETTE)
        png_set_gamma(png, PNG_DEFAULT_sRGB, fileGamma);
    switch (colourType) {
        case PNG_COLOR_TYPE_PALETTE:
            if (depth < 8) png_set_packing(png);
            BuildPalette(png, r.info, fileGamma, p.palette);
            p.layout = Layout::Indexed;
            break;
        case PNG_COLOR_TYPE_GRAY:
            if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
            if (transparentColour) {
                png_set_tRNS_to_alpha(png);
                p.layout = Layout::GreyAlpha;
            } else {
                png_set_strip_16(png);
                p.layout = Layout::Grey;
            }
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            p.layout = Layout::GreyAlpha;
            break;
        case PNG_COLOR_TYPE_RGB:
            if (transparentColour) {
                png_set_tRNS_to_alpha(png);
                p.layout = Layout::Rgba;
            } else {
                png_set_bgr(png);
                png_set_strip_16(png);
                p.layout = Layout::Bgr;
            }
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            p.layout = Layout::Rgba;
            break;
        default:
            return decode::kBadHeader;
    }
    if (p.interlaced) png_set_interlace_handling(png);
    png_read_update_info(png, r.info);
    p.wide = png_get_bit_depth(png, r.info) == 16;
    p.rowBytes = png_get_rowbytes(png, r.info);
    const unsigned channels = png_get_channels(png, r.info);
    const unsigned expected = p.layout == Layout::Indexed || p.layout == Layout::Grey ? 1
                              : p.layout == Layout::GreyAlpha                         ? 2
                              : p.layout == Layout::Bgr                               ? 3
                                                                                      : 4;
    if (channels != expected || p.rowBytes != size_t{p.width} * channels * (p.wide ? 2 : 1))
        return decode::kBadHeader;
    return 0;
}

// Where the rows go. Plain data, so the pixel phase holds nothing to destroy.
struct Target {
    const Picture* picture;
    uint8_t* pixels;  // locked pixel block
    size_t stride;
    png_bytepp rows;  // one pointer per picture row, top first
    uint8_t* buffer;  // rows at file precision: one, or all of an interlaced picture
};

void Composite(const Picture& p, const uint8_t* in, uint8_t* out) {
    if (p.layout == Layout::GreyAlpha) {
        for (png_uint_32 x = 0; x < p.width; ++x) {
            if (p.wide) {
                *out++ = OnWhite16(in[0] << 8 | in[1], in[2] << 8 | in[3]);
                in += 4;
            } else {
                *out++ = OnWhite8(in[0], in[1]);
                in += 2;
            }
        }
        return;
    }
    for (png_uint_32 x = 0; x < p.width; ++x, out += 3) {
        if (p.wide) {
            const unsigned a = in[6] << 8 | in[7];
            out[0] = OnWhite16(in[4] << 8 | in[5], a);
            out[1] = OnWhite16(in[2] << 8 | in[3], a);
            out[2] = OnWhite16(in[0] << 8 | in[1], a);
            in += 8;
        } else {
            out[0] = OnWhite8(in[2], in[3]);
            out[1] = OnWhite8(in[1], in[3]);
            out[2] = OnWhite8(in[0], in[3]);
            in += 4;
        }
    }
}

uint8_t* BlockRow(const Target& t, png_uint_32 y) {
    return t.pixels + static_cast<size_t>(t.picture->height - 1 - y) * t.stride;
}

// Decodes the image data into the block. Holds no state of its own across the jump.
int32_t ReadPixels(Reader& r, const Target& t) {
    if (setjmp(png_jmpbuf(r.png)))
        return r.status.outOfMemory ? decode::kNoMemory : decode::kReadError;
    const Picture& p = *t.picture;
    const bool direct =
        p.layout == Layout::Indexed || p.layout == Layout::Grey || p.layout == Layout::Bgr;
    if (direct || p.interlaced) {
        for (png_uint_32 y = 0; y < p.height; ++y)
            t.rows[y] = direct ? BlockRow(t, y) : t.buffer + static_cast<size_t>(y) * p.rowBytes;
        png_read_image(r.png, t.rows);
        if (!direct) {
            for (png_uint_32 y = 0; y < p.height; ++y)
                Composite(p, t.rows[y], BlockRow(t, y));
        }
        return 0;
    }
    for (png_uint_32 y = 0; y < p.height; ++y) {
        png_read_row(r.png, t.buffer, nullptr);
        Composite(p, t.buffer, BlockRow(t, y));
    }
    return 0;
}

int32_t ReadPng(const char* fileName, uint8_t* rgbPalette, BITMAPINFOHEADER* header) {
    if (!fileName || !rgbPalette || !header) return decode::kCouldNotOpen;
    Reader r;
    r.file = std::fopen(fileName, "rb");
    if (!r.file) return decode::kCouldNotOpen;
    png_byte signature[8];
    if (std::fread(signature, 1, sizeof signature, r.file) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0)
        return decode::kBadHeader;
    r.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &r.status, OnError, OnWarning,
                                     &r.status, Allocate, Release);
    if (!r.png) return decode::kNoMemory;
    r.info = png_create_info_struct(r.png);
    if (!r.info) return decode::kNoMemory;

    Picture p{};
    if (int32_t rc = ReadHeader(r, p)) return rc;

    const bool colour = p.layout == Layout::Bgr || p.layout == Layout::Rgba;
    const int64_t width = p.width;
    const int64_t height = p.height;
    const int64_t stride = PixelStride(width, colour);
    const bool direct =
        p.layout == Layout::Indexed || p.layout == Layout::Grey || p.layout == Layout::Bgr;
    const uint64_t bufferRows = direct ? 0 : p.interlaced ? p.height : 1;
    if (bufferRows * p.rowBytes > kMaxInterlacedBuffer) return decode::kNoMemory;

    platform::GlobalBlock block(
        platform::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(stride * height)));
    if (!block) return decode::kNoMemory;
    auto* pixels = static_cast<uint8_t*>(platform::GlobalLock(block.get()));
    if (!pixels) return decode::kNoHugeMemory;
    std::vector<png_bytep> rows(p.height);
    std::vector<uint8_t> buffer(static_cast<size_t>(bufferRows * p.rowBytes));

    const Target target{&p, pixels, static_cast<size_t>(stride), rows.data(), buffer.data()};
    const int32_t rc = ReadPixels(r, target);
    platform::GlobalUnlock(block.get());
    if (rc) return rc;

    if (p.layout == Layout::Indexed) {
        std::memcpy(rgbPalette, p.palette.data(), p.palette.size());
    } else {
        for (int i = 0; i < 256; ++i)
            rgbPalette[3 * i] = rgbPalette[3 * i + 1] = rgbPalette[3 * i + 2] =
                static_cast<uint8_t>(i);
    }
    header->biWidth = static_cast<int32_t>(width);
    header->biHeight = static_cast<int32_t>(height);
    header->biBitCount = colour ? 24 : 8;
    return static_cast<int32_t>(block.release());
}

}  // namespace
}  // namespace lmpng

extern "C" int32_t ReadPNG(const char* fileName, HDC /*dc: no display-dependent decoding*/,
                           uint8_t* rgbPalette, BITMAPINFOHEADER* header) {
    try {
        return lmpng::ReadPng(fileName, rgbPalette, header);
    } catch (const std::bad_alloc&) {
        return decode::kNoMemory;
    } catch (...) {
        return decode::kReadError;
    }
}

static_assert(std::is_same_v<decltype(&ReadPNG), ReadPNGProc>);

// "ReadPNGMemory": a PNG image held in memory, with its alpha channel kept. Icon files carry
// their large images as PNG; the icon code turns the result into the icon's colour and alpha.
// libpng's simplified reader does every conversion to 8-bit BGRA (palette, grey, tRNS, 16-bit).
namespace lmpng {
namespace {

int32_t ReadPngMemory(const uint8_t* data, uint32_t size, int32_t maxSide,
                      BITMAPINFOHEADER* header) {
    if (!data || !header || size < 8 || png_sig_cmp(data, 0, 8) != 0) return decode::kBadHeader;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) {
        png_image_free(&image);
        return decode::kBadHeader;
    }
    const int64_t width = image.width;
    const int64_t height = image.height;
    if (width > maxSide || height > maxSide ||
        decode::CheckImageSize(width, height, width * 4) != 0) {
        png_image_free(&image);
        return decode::kNoMemory;
    }
    image.format = PNG_FORMAT_BGRA;
    const size_t stride = static_cast<size_t>(width) * 4;
    platform::GlobalBlock block(
        platform::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, stride * static_cast<size_t>(height)));
    if (!block) {
        png_image_free(&image);
        return decode::kNoMemory;
    }
    auto* pixels = static_cast<uint8_t*>(platform::GlobalLock(block.get()));
    if (!pixels) {
        png_image_free(&image);
        return decode::kNoHugeMemory;
    }
    // A negative stride makes libpng write the first picture row last: bottom-up, as a DIB.
    const bool done = png_image_finish_read(&image, nullptr, pixels,
                                            -static_cast<png_int_32>(stride), nullptr) != 0;
    platform::GlobalUnlock(block.get());
    png_image_free(&image);
    if (!done) return decode::kReadError;
    header->biWidth = static_cast<int32_t>(width);
    header->biHeight = static_cast<int32_t>(height);
    header->biBitCount = 32;
    return static_cast<int32_t>(block.release());
}

}  // namespace
}  // namespace lmpng

extern "C" int32_t ReadPNGMemory(const uint8_t* data, uint32_t size, int32_t maxSide,
                                 BITMAPINFOHEADER* header) {
    try {
        return lmpng::ReadPngMemory(data, size, maxSide, header);
    } catch (const std::bad_alloc&) {
        return decode::kNoMemory;
    } catch (...) {
        return decode::kReadError;
    }
}

static_assert(std::is_same_v<decltype(&ReadPNGMemory), ReadPNGMemoryProc>);
