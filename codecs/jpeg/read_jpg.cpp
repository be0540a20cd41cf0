// "ReadJPG": decodes a JPEG file with libjpeg into a pixel block in the decode area's layout.
//
// Colour pictures come out as 24-bit blue-green-red rows, greyscale ones as 8-bit indices into
// a grey ramp. When the display has 8 bits per pixel or fewer, libjpeg's own quantiser reduces
// colour (and grey) pictures to 2^depth colours and the result is 8-bit indexed with the
// quantiser's colour map. CMYK and YCCK pictures are converted to RGB here, since libjpeg
// cannot; they are always delivered as 24 bits and left to the loader's colour reduction.
//
// A file that ends early is not an error: libjpeg finishes the picture as if it ended there
// and what was decoded is returned. A fatal error after some rows were delivered likewise
// returns those rows; the rest of the block stays zero.
//
// 12-bit JPEG fails with -20010: the libjpeg-turbo this module builds on (2.1, samples of
// 8 bits) has no 12-bit interface; jpeg12_read_scanlines and J12SAMPLE arrive in 3.0.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "decode/codec_contract.h"
#include "decode/decoded_image.h"
#include "decode/loader_error.h"
#include "jpeg_errors.h"
#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"

namespace lmjpeg {
namespace {

// libjpeg's working memory beyond the pixel block: whole-image coefficient buffers of a
// progressive picture of the largest accepted size fit; anything beyond fails as out of memory
// instead of growing without bound.
constexpr long kWorkingMemoryLimit = 3L << 30;

enum class Output { Bgr, Indexed, Grey, Cmyk };

// Owns the decompressor and the file; the phases below only borrow it.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    jpeg_progress_mgr progress{};
    FILE* file = nullptr;
    bool created = false;

    Decoder() { cinfo.err = InstallErrors(errors); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
        if (file) std::fclose(file);
    }
};

// Where the decoded rows go. Plain data, so the decoding phase holds nothing to destroy.
struct Target {
    Output output;
    uint8_t* pixels;  // locked pixel block
    size_t stride;
    uint8_t* cmykRow;  // one row of four-component samples, for CMYK only
    uint8_t* rgbPalette;
};

int32_t HeaderFailure(const JpegErrors& errors) {
    if (IsMemoryError(errors.fatalCode)) return decode::kNoMemory;
    if (errors.endOfFile || errors.fatalCode == JERR_INPUT_EMPTY) return decode::kReadError;
    return decode::kBadHeader;
}

// Creates the decompressor and reads the header. Holds no state of its own across the jump.
int32_t ReadHeader(Decoder& d) {
    if (setjmp(d.errors.jump)) return HeaderFailure(d.errors);
    d.created = true;
    jpeg_create_decompress(&d.cinfo);
    d.cinfo.mem->max_memory_to_use = kWorkingMemoryLimit;
    LimitScans(&d.cinfo, d.progress);
    jpeg_stdio_src(&d.cinfo, d.file);
    jpeg_read_header(&d.cinfo, TRUE);
    return 0;
}

uint8_t Scale(unsigned a, unsigned b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}

// CMYK samples to blue, green, red. Files with an Adobe marker store the inks inverted
// (255 = no ink), which is what nearly every CMYK JPEG in the wild does.
void CmykToBgr(const uint8_t* in, uint8_t* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        out[0] = Scale(y, k);
        out[1] = Scale(m, k);
        out[2] = Scale(c, k);
    }
}

void CopyColormap(const jpeg_decompress_struct& cinfo, uint8_t* rgbPalette) {
    const int colours = std::min(cinfo.actual_number_of_colors, 256);
    const bool grey = cinfo.out_color_components == 1;
    for (int i = 0; i < colours; ++i) {
        for (int c = 0; c < 3; ++c)
            rgbPalette[3 * i + c] = cinfo.colormap[grey ? 0 : c][i];
    }
}

// Decompresses every row into the target. Returns 0 when the block holds a picture (all of it,
// or the rows decoded before a fatal error), else a loader code.
int32_t Decompress(Decoder& d, const Target& t) {
    if (setjmp(d.errors.jump)) {
        if (IsMemoryError(d.errors.fatalCode)) return decode::kNoMemory;
        return d.cinfo.output_scanline > 0 ? 0 : decode::kReadError;
    }
    jpeg_decompress_struct& cinfo = d.cinfo;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height)
        return decode::kBadHeader;
    if (t.output == Output::Indexed) CopyColormap(cinfo, t.rgbPalette);
    const JDIMENSION height = cinfo.output_height;
    while (cinfo.output_scanline < height) {
        uint8_t* row =
            t.pixels + static_cast<size_t>(height - 1 - cinfo.output_scanline) * t.stride;
        JSAMPROW into = t.output == Output::Cmyk ? t.cmykRow : row;
        if (jpeg_read_scanlines(&cinfo, &into, 1) != 1) return decode::kReadError;
        if (t.output == Output::Cmyk)
            CmykToBgr(t.cmykRow, row, cinfo.output_width, cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&cinfo);
    return 0;
}

int DisplayBits(HDC dc) {
    if (dc != 0) {
        const int bits =
            platform::GetDeviceCaps(dc, BITSPIXEL) * platform::GetDeviceCaps(dc, PLANES);
        if (bits > 0) return bits;
    }
    return platform::DisplayDepth();
}

J_DCT_METHOD DctMethod(uint16_t method) {
    switch (method) {
        case DCT_FAST_INTEGER:
            return JDCT_IFAST;
        case DCT_FLOATING_POINT:
            return JDCT_FLOAT;
        default:
            return JDCT_ISLOW;
    }
}

J_DITHER_MODE DitherMode(uint16_t mode) {
    switch (mode) {
        case JPEG_DITHER_NONE:
            return JDITHER_NONE;
        case JPEG_DITHER_ORDERED:
            return JDITHER_ORDERED;
        default:
            return JDITHER_FS;
    }
}

struct Options {
    bool fancyUpsampling;
    bool twoPassQuantize;
    uint16_t jpegDither;
    uint16_t dctMethod;
};

int32_t ReadJpeg(const char* fileName, HDC dc, const Options& options, uint8_t* rgbPalette,
                 BITMAPINFOHEADER* header) {
    if (!fileName || !rgbPalette || !header) return decode::kCouldNotOpen;
    Decoder d;
    d.file = std::fopen(fileName, "rb");
    if (!d.file) return decode::kCouldNotOpen;
    if (int32_t rc = ReadHeader(d)) return rc;

    jpeg_decompress_struct& cinfo = d.cinfo;
    Output output;
    switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
            output = Output::Grey;
            break;
        case JCS_YCbCr:
        case JCS_RGB:
            output = Output::Bgr;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            output = Output::Cmyk;
            break;
        default:
            return decode::kBadHeader;
    }
    const int depth = DisplayBits(dc);
    const bool quantize = depth <= 8 && output != Output::Cmyk;

    cinfo.dct_method = DctMethod(options.dctMethod);
    cinfo.do_fancy_upsampling = options.fancyUpsampling ? TRUE : FALSE;
    switch (output) {
        case Output::Grey:
            cinfo.out_color_space = JCS_GRAYSCALE;
            break;
        case Output::Cmyk:
            cinfo.out_color_space = JCS_CMYK;
            break;
        default:
            cinfo.out_color_space = quantize ? JCS_RGB : JCS_EXT_BGR;
            break;
    }
    if (quantize) {
        // libjpeg's colour quantisers need at least 8 colours for three components.
        const int minimum = output == Output::Grey ? 2 : 8;
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = std::clamp(1 << std::clamp(depth, 1, 8), minimum, 256);
        cinfo.two_pass_quantize = options.twoPassQuantize ? TRUE : FALSE;
        cinfo.dither_mode = DitherMode(options.jpegDither);
        output = Output::Indexed;
    }

    const int64_t width = cinfo.image_width;
    const int64_t height = cinfo.image_height;
    const int bits = output == Output::Bgr || output == Output::Cmyk ? 24 : 8;
    const int64_t stride = ((bits == 24 ? 3 * width : width) + 3) & ~int64_t{3};
    if (int32_t rc = decode::CheckImageSize(width, height, stride)) return rc;

    platform::GlobalBlock block(
        platform::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(stride * height)));
    if (!block) return decode::kNoMemory;
    auto* pixels = static_cast<uint8_t*>(platform::GlobalLock(block.get()));
    if (!pixels) return decode::kNoHugeMemory;
    std::vector<uint8_t> cmykRow(output == Output::Cmyk ? static_cast<size_t>(4 * width) : 0);
    std::array<uint8_t, 768> palette{};
    if (output == Output::Grey) {
        for (int i = 0; i < 256; ++i)
            palette[3 * i] = palette[3 * i + 1] = palette[3 * i + 2] = i;
    }

    const Target target{output, pixels, static_cast<size_t>(stride), cmykRow.data(),
                        palette.data()};
    const int32_t rc = Decompress(d, target);
    platform::GlobalUnlock(block.get());
    if (rc) return rc;

    std::memcpy(rgbPalette, palette.data(), palette.size());
    header->biWidth = static_cast<int32_t>(width);
    header->biHeight = static_cast<int32_t>(height);
    header->biBitCount = static_cast<uint16_t>(bits);
    return static_cast<int32_t>(block.release());
}

}  // namespace
}  // namespace lmjpeg

extern "C" int32_t ReadJPG(const char* fileName, HDC dc, uint16_t /*dither: the loader's*/,
                           int32_t fancyUpsampling, int32_t twoPassQuantize, uint16_t jpegDither,
                           uint16_t dctMethod, uint8_t* rgbPalette, BITMAPINFOHEADER* header) {
    try {
        const lmjpeg::Options options{fancyUpsampling != 0, twoPassQuantize != 0, jpegDither,
                                      dctMethod};
        return lmjpeg::ReadJpeg(fileName, dc, options, rgbPalette, header);
    } catch (const std::bad_alloc&) {
        return decode::kNoMemory;
    } catch (...) {
        return decode::kReadError;
    }
}

static_assert(std::is_same_v<decltype(&ReadJPG), ReadJPGProc>);
