#include "tiff/ycbcr_jpeg.h"

// clang-format off
#include <cstdio>  // libjpeg's header needs FILE first
#include <csetjmp>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <vector>

#include "decode/loader_error.h"

namespace lmtiff {
namespace {

// One strip or tile as stored is refused beyond this.
constexpr uint64_t kMaxChunk = uint64_t{256} << 20;

// libtiff's converter: the structure followed by its tables, sized as libtiff sizes them.
class Converter {
  public:
    Converter(float* luma, float* reference)
        : storage_(((sizeof(TIFFYCbCrToRGB) + sizeof(long) - 1) / sizeof(long) * sizeof(long) +
                    4 * 256 * sizeof(TIFFRGBValue) + 2 * 256 * sizeof(int) +
                    3 * 256 * sizeof(int32_t) + sizeof(long) - 1) /
                       sizeof(long),
                   0) {
        ok_ = TIFFYCbCrToRGBInit(table(), luma, reference) >= 0;
    }
    bool ok() const { return ok_; }
    void Convert(const JSAMPLE* ycc, uint8_t* bgr) {
        uint32_t r, g, b;
        TIFFYCbCrtoRGB(table(), ycc[0], ycc[1], ycc[2], &r, &g, &b);
        bgr[0] = static_cast<uint8_t>(b);
        bgr[1] = static_cast<uint8_t>(g);
        bgr[2] = static_cast<uint8_t>(r);
    }

  private:
    TIFFYCbCrToRGB* table() { return reinterpret_cast<TIFFYCbCrToRGB*>(storage_.data()); }
    std::vector<long> storage_;  // long-aligned, as the tables inside expect
    bool ok_ = false;
};

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void OnMessage(j_common_ptr, int) {}

// Everything the decode of one chunk touches lives outside the jump, so a libjpeg error leaves
// nothing behind: the decompressor is destroyed by the caller.
struct Chunk {
    const std::vector<uint8_t>* tables;
    const std::vector<uint8_t>* data;
    uint32_t x0, y0, width, height;    // where it goes in the picture, and the picture's size
    uint32_t chunkWidth, chunkHeight;  // the strip's or tile's size, which the stream must not pass
    std::vector<JSAMPLE>* row;
};

bool DecodeChunk(jpeg_decompress_struct& cinfo, ErrorManager& errors, const Chunk& c,
                 Converter& convert, uint8_t* pixels, size_t stride) {
    if (setjmp(errors.jump)) return false;
    if (!c.tables->empty()) {
        jpeg_mem_src(&cinfo, c.tables->data(), static_cast<unsigned long>(c.tables->size()));
        jpeg_read_header(&cinfo, FALSE);
    }
    jpeg_mem_src(&cinfo, c.data->data(), static_cast<unsigned long>(c.data->size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || cinfo.num_components != 3) return false;
    cinfo.jpeg_color_space = JCS_YCbCr;
    cinfo.out_color_space = JCS_YCbCr;  // upsampled, not converted
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) return false;
    c.row->resize(size_t{cinfo.output_width} * 3);
    JSAMPROW rows[1] = {c.row->data()};
    while (cinfo.output_scanline < cinfo.output_height) {
        const uint32_t y = c.y0 + cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
        if (y >= c.height) continue;
        uint8_t* out = pixels + size_t{c.height - 1 - y} * stride;
        for (uint32_t x = 0; x < cinfo.output_width && c.x0 + x < c.width; ++x)
            convert.Convert(c.row->data() + 3 * x, out + size_t{c.x0 + x} * 3);
    }
    jpeg_abort_decompress(&cinfo);
    return true;
}

}  // namespace

bool NeedsOwnYCbCrConversion(TIFF* tif) {
    float* luma = nullptr;
    float* reference = nullptr;
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRCOEFFICIENTS, &luma) ||
        !TIFFGetFieldDefaulted(tif, TIFFTAG_REFERENCEBLACKWHITE, &reference) || !luma || !reference)
        return false;
    static const float kLuma[3] = {0.299f, 0.587f, 0.114f};
    static const float kReference[6] = {0, 255, 128, 255, 128, 255};
    for (int i = 0; i < 3; ++i)
        if (std::abs(luma[i] - kLuma[i]) > 0.001f) return true;
    for (int i = 0; i < 6; ++i)
        if (std::abs(reference[i] - kReference[i]) > 0.5f) return true;
    return false;
}

int32_t DecodeYCbCr(TIFF* tif, uint32_t width, uint32_t height, uint8_t* pixels, size_t stride) {
    float* luma = nullptr;
    float* reference = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRCOEFFICIENTS, &luma);
    TIFFGetFieldDefaulted(tif, TIFFTAG_REFERENCEBLACKWHITE, &reference);
    if (!luma || !reference || luma[1] == 0) return decode::kTiffCompression;
    Converter convert(luma, reference);
    if (!convert.ok()) return decode::kTiffCompression;

    std::vector<uint8_t> tables;
    uint32_t tableBytes = 0;
    void* tableData = nullptr;
    if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &tableBytes, &tableData) && tableData)
        tables.assign(static_cast<uint8_t*>(tableData),
                      static_cast<uint8_t*>(tableData) + tableBytes);
    const bool tiled = TIFFIsTiled(tif);
    uint32_t cw = width, ch = height;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &cw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &ch);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &ch);
        ch = std::clamp<uint32_t>(ch, 1, height);
    }
    if (cw == 0 || ch == 0) return decode::kBadHeader;

    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = OnMessage;
    jpeg_create_decompress(&cinfo);
    const uint32_t chunks = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    const uint32_t across = tiled ? (width + cw - 1) / cw : 1;
    const uint64_t* sizes = nullptr;
    TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &sizes);
    std::vector<uint8_t> data;
    std::vector<JSAMPLE> row;
    uint32_t decoded = 0;
    for (uint32_t c = 0; c < chunks && sizes; ++c) {
        const uint64_t y0 = uint64_t{c / across} * ch;
        if (y0 >= height) break;
        if (sizes[c] == 0 || sizes[c] > kMaxChunk) continue;
        data.resize(static_cast<size_t>(sizes[c]));
        const tmsize_t got =
            tiled ? TIFFReadRawTile(tif, c, data.data(), static_cast<tmsize_t>(data.size()))
                  : TIFFReadRawStrip(tif, c, data.data(), static_cast<tmsize_t>(data.size()));
        if (got <= 0) continue;
        data.resize(static_cast<size_t>(got));
        const Chunk chunk{
            &tables, &data, (c % across) * cw, static_cast<uint32_t>(y0), width, height, cw,
            ch,      &row};
        if (DecodeChunk(cinfo, errors, chunk, convert, pixels, stride)) ++decoded;
        jpeg_abort_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    return decoded ? 0 : decode::kReadError;
}

}  // namespace lmtiff
