// "ReadTIFF": decodes one page of a TIFF file with libtiff into a pixel block in the layout the
// TIFF reader prepared.
//
// The reader has parsed the directory, filled the palette and computed the header (width,
// height, bit count 1, 4, 8 or 24) and row stride. Palette and grey pictures come out as indices
// into that palette (the file's sample values; 16-bit samples keep their high byte, 2-bit ones
// widen to a nibble), colour ones as 24-bit blue-green-red; CMYK is converted the way the
// reader converts uncompressed CMYK, so a file looks the same whatever its compression. Any
// layout that cannot be delivered so (YCbCr without JPEG, separate planes, odd depths, a header
// that disagrees with libtiff's reading of the directory) is read through libtiff's RGBA
// interface, and the header is changed to 24 bits and libtiff's size. JPEG-compressed YCbCr is
// converted by libjpeg, unless the file's YCbCrCoefficients or ReferenceBlackWhite differ from
// the BT.601 full-range values libjpeg assumes; then libtiff converts it with the file's values.
// The file's Orientation tag is ignored, as the reader ignores it.
//
// The offset argument names either the page or the TIFF stream: a file offset at which a TIFF
// header ("II*\0", "MM\0*" or their BigTIFF forms) starts is the base of a TIFF stream embedded
// in a bigger file (the preview of a DOS EPS file), whose first page is read; any other nonzero
// offset is the directory of a page of the TIFF file that starts at offset 0. A directory
// cannot start with a header: its first word would be an entry count of 0x4949 or 0x4D4D, far
// beyond any real directory, followed by a tag of 42 or 43 where tags are at least 254.
//
// Errors: -20001 the file cannot be opened; -20010 not a TIFF stream, or no directory at the
// offset; -20015 a compression or layout libtiff cannot decode; -20003 no image data could be
// decoded; -20002 memory or a picture beyond the size limits.

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <vector>

#include "decode/codec_contract.h"
#include "decode/decoded_image.h"
#include "decode/loader_error.h"
#include "platform/os/file_map.h"
#include "platform/os/global_memory.h"
#include "tiff/ycbcr_jpeg.h"

namespace lmtiff {
namespace {

// Largest single allocation libtiff may make for a strip or tile: beyond it the file is refused
// rather than the process exhausted.
constexpr tmsize_t kMaxLibtiffAllocation = tmsize_t{1} << 30;
// Bytes after a decoded row that a packed sample may look at.
constexpr size_t kSlack = 8;
// Largest strip, tile or band of tiles decoded at once.
constexpr uint64_t kMaxBuffer = uint64_t{1} << 30;

// The TIFF stream: the file's bytes from its header on, read through libtiff's client
// procedures so that offsets inside it count from the header.
struct Stream {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos = 0;
};

tmsize_t ReadProc(thandle_t h, void* buffer, tmsize_t n) {
    auto* s = static_cast<Stream*>(h);
    if (n <= 0 || s->pos >= s->size) return 0;
    const uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), s->size - s->pos);
    std::memcpy(buffer, s->data + s->pos, count);
    s->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<Stream*>(h);
    uint64_t from = 0;
    if (whence == SEEK_CUR) from = s->pos;
    if (whence == SEEK_END) from = s->size;
    if (offset > UINT64_MAX - from) return static_cast<toff_t>(-1);
    s->pos = from + offset;
    return s->pos;
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t h) {
    return static_cast<Stream*>(h)->size;
}

// The file is already mapped: libtiff reads strips straight from it.
int MapProc(thandle_t h, void** base, toff_t* size) {
    auto* s = static_cast<Stream*>(h);
    *base = const_cast<uint8_t*>(s->data);
    *size = s->size;
    return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages are not for the user of a picture control.
int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

bool StartsWithHeader(std::span<const uint8_t> bytes, uint64_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) return false;
    const uint8_t* p = bytes.data() + at;
    if (p[0] == 'I' && p[1] == 'I') return (p[2] == 42 || p[2] == 43) && p[3] == 0;
    if (p[0] == 'M' && p[1] == 'M') return p[2] == 0 && (p[3] == 42 || p[3] == 43);
    return false;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// The directory's layout as libtiff reads it.
struct Layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerSample = 1;
    uint16_t samples = 1;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
};

// How each decoded row becomes a row of the pixel block.
enum class Output { Indexed, Grey, Colour, Cmyk, Rgba, YCbCr };

int HeaderBits(uint32_t bits) {
    if (bits == 16) bits = 8;  // 16-bit grey keeps its high byte
    return bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : 24;
}

int64_t Stride(int64_t width, int bits) {
    const int64_t bytes = bits == 1   ? (width + 7) / 8
                          : bits == 4 ? (width + 1) / 2
                          : bits == 8 ? width
                                      : 3 * width;
    return (bytes + 3) & ~int64_t{3};
}

// Chooses how to deliver the page in the header the reader prepared; Rgba when it cannot be.
Output ChooseOutput(TIFF* tif, const Layout& l, const BITMAPINFOHEADER& header) {
    const uint32_t bits = uint32_t{l.bitsPerSample} * l.samples;
    const bool sameSize = header.biWidth == static_cast<int32_t>(l.width) &&
                          header.biHeight == static_cast<int32_t>(l.height);
    uint16_t format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    const bool integer = format != SAMPLEFORMAT_IEEEFP && format != SAMPLEFORMAT_COMPLEXIEEEFP &&
                         format != SAMPLEFORMAT_COMPLEXINT;
    if (!sameSize || !integer || (l.bitsPerSample > 32 && l.bitsPerSample != 64) ||
        HeaderBits(bits) != header.biBitCount || (l.planar != PLANARCONFIG_CONTIG && l.samples > 1))
        return Output::Rgba;
    const bool grey =
        l.photometric == PHOTOMETRIC_MINISWHITE || l.photometric == PHOTOMETRIC_MINISBLACK;
    if (header.biBitCount <= 8) {
        // The first sample of a pixel is the index; a second one (alpha) is dropped.
        const bool indexed = grey || l.photometric == PHOTOMETRIC_PALETTE;
        return indexed && (l.samples == 1 || (l.samples == 2 && l.bitsPerSample >= 8))
                   ? Output::Indexed
                   : Output::Rgba;
    }
    if (grey && l.samples <= 2 && l.bitsPerSample > 8) return Output::Grey;
    if (l.photometric == PHOTOMETRIC_RGB && l.samples >= 3) return Output::Colour;
    if (l.photometric == PHOTOMETRIC_SEPARATED && l.samples >= 4) {
        uint16_t inkSet = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
        return inkSet == INKSET_CMYK ? Output::Cmyk : Output::Rgba;
    }
    if (l.photometric == PHOTOMETRIC_YCBCR && l.compression == COMPRESSION_JPEG && l.samples == 3) {
        if (l.bitsPerSample == 8 && NeedsOwnYCbCrConversion(tif)) return Output::YCbCr;
        // libjpeg converts to RGB and upsamples the chroma itself.
        if (TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return Output::Colour;
    }
    return Output::Rgba;
}

// Sample i of a decoded row: samples of up to 8 bits as they are (palette indices), wider ones
// their top 8 bits. libtiff hands whole-byte samples in host order and packs the others high
// bit first. Rows carry 8 bytes of slack for the look-ahead.
inline unsigned Sample(const uint8_t* row, size_t i, unsigned bits) {
    switch (bits) {
        case 8:
            return row[i];
        case 16: {
            uint16_t v;
            std::memcpy(&v, row + 2 * i, 2);
            return v >> 8;
        }
        case 24:
            return row[3 * i + (std::endian::native == std::endian::little ? 2 : 0)];
        case 32: {
            uint32_t v;
            std::memcpy(&v, row + 4 * i, 4);
            return v >> 24;
        }
        case 64: {
            uint64_t v;
            std::memcpy(&v, row + 8 * i, 8);
            return static_cast<unsigned>(v >> 56);
        }
        default: {
            const size_t bit = i * bits;
            const uint32_t window = uint32_t{row[bit / 8]} << 24 |
                                    uint32_t{row[bit / 8 + 1]} << 16 |
                                    uint32_t{row[bit / 8 + 2]} << 8 | row[bit / 8 + 3];
            const uint32_t field = window << (bit % 8);
            return bits <= 8 ? field >> (32 - bits) : field >> 24;
        }
    }
}

inline uint8_t CmykChannel(unsigned ink, unsigned black) {
    const unsigned sum = ink + black;
    return static_cast<uint8_t>(sum >= 255 ? 0 : 255 - sum);
}

struct RowWriter {
    Output output;
    Layout layout;
    int headerBits;
    uint8_t* pixels;
    size_t stride;

    uint8_t* Target(uint32_t y) const { return pixels + size_t{layout.height - 1 - y} * stride; }

    void Write(uint32_t y, const uint8_t* src) const {
        uint8_t* out = Target(y);
        const uint32_t w = layout.width;
        const unsigned bps = layout.bitsPerSample;
        const size_t spp = layout.samples;
        if (output == Output::Indexed) {
            if (spp == 1 && bps == static_cast<unsigned>(headerBits)) {
                std::memcpy(out, src, (size_t{w} * bps + 7) / 8);
                return;
            }
            for (uint32_t x = 0; x < w; ++x) {
                const unsigned v = Sample(src, x * spp, bps);
                if (headerBits == 8)
                    out[x] = static_cast<uint8_t>(v);
                else if (headerBits == 4)
                    out[x / 2] |= static_cast<uint8_t>(x & 1 ? v : v << 4);
            }
            return;
        }
        if (bps == 8 && spp == 3 && output == Output::Colour) {
            for (uint32_t x = 0; x < w; ++x, src += 3, out += 3) {
                out[0] = src[2];
                out[1] = src[1];
                out[2] = src[0];
            }
            return;
        }
        if (output == Output::Grey) {
            // Grey deeper than 8 bits, the reader's 24-bit layout: white at 0 for WhiteIsZero.
            const unsigned flip = layout.photometric == PHOTOMETRIC_MINISWHITE ? 255 : 0;
            for (uint32_t x = 0; x < w; ++x, out += 3)
                out[0] = out[1] = out[2] = static_cast<uint8_t>(Sample(src, x * spp, bps) ^ flip);
            return;
        }
        // Samples of fewer than 8 bits are scaled so that their maximum is full intensity.
        const unsigned max = bps < 8 ? (1u << bps) - 1 : 255;
        for (uint32_t x = 0; x < w; ++x, out += 3) {
            const size_t i = x * spp;
            const unsigned a = Sample(src, i, bps) * 255 / max,
                           b = Sample(src, i + 1, bps) * 255 / max,
                           c = Sample(src, i + 2, bps) * 255 / max;
            if (output == Output::Cmyk) {
                const unsigned k = Sample(src, i + 3, bps) * 255 / max;
                out[0] = CmykChannel(c, k);
                out[1] = CmykChannel(b, k);
                out[2] = CmykChannel(a, k);
            } else {
                out[0] = static_cast<uint8_t>(c);
                out[1] = static_cast<uint8_t>(b);
                out[2] = static_cast<uint8_t>(a);
            }
        }
    }
};

// Decodes strips or tiles row by row into the block. Chunks that fail to decode leave their rows
// blank; the result is an error only when none decoded.
int32_t DecodeRows(TIFF* tif, const RowWriter& writer) {
    const Layout& l = writer.layout;
    const uint64_t scanline = TIFFScanlineSize64(tif);
    if (scanline == 0) return decode::kBadHeader;
    uint64_t decoded = 0;
    if (TIFFIsTiled(tif)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        const uint64_t tileSize = TIFFTileSize64(tif);
        const uint64_t tileRow = TIFFTileRowSize64(tif);
        if (tw == 0 || th == 0 || tileSize == 0 || tileRow == 0) return decode::kBadHeader;
        const uint32_t bandRows = std::min(th, l.height);
        if (tileSize > kMaxBuffer || scanline * bandRows > kMaxBuffer) return decode::kNoMemory;
        std::vector<uint8_t> tile(tileSize);
        std::vector<uint8_t> band(scanline * bandRows + kSlack);
        const uint64_t bitsPerPixel = uint64_t{l.bitsPerSample} * l.samples;
        for (uint32_t y = 0; y < l.height; y += th) {
            std::fill(band.begin(), band.end(), 0);
            const uint32_t rows = std::min(th, l.height - y);
            for (uint32_t x = 0; x < l.width; x += tw) {
                if (TIFFReadTile(tif, tile.data(), x, y, 0, 0) < 0) continue;
                ++decoded;
                const uint64_t column = x * bitsPerPixel / 8;
                const uint64_t bytes = std::min(tileRow, scanline - column);
                for (uint32_t r = 0; r < rows; ++r)
                    std::memcpy(band.data() + r * scanline + column, tile.data() + r * tileRow,
                                bytes);
            }
            for (uint32_t r = 0; r < rows; ++r)
                writer.Write(y + r, band.data() + r * scanline);
        }
    } else {
        uint32_t rowsPerStrip = l.height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, l.height);
        const uint64_t stripSize = scanline * rowsPerStrip;
        if (stripSize > kMaxBuffer) return decode::kNoMemory;
        std::vector<uint8_t> strip(stripSize + kSlack);
        const uint32_t strips = TIFFNumberOfStrips(tif);
        for (uint32_t s = 0; s < strips; ++s) {
            const uint64_t first = uint64_t{s} * rowsPerStrip;
            if (first >= l.height) break;
            const uint32_t rows =
                static_cast<uint32_t>(std::min<uint64_t>(rowsPerStrip, l.height - first));
            const tmsize_t got =
                TIFFReadEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(rows * scanline));
            if (got < 0) continue;
            ++decoded;
            // A short strip leaves its last rows blank.
            std::fill(strip.begin() + static_cast<size_t>(got), strip.begin() + rows * scanline, 0);
            for (uint32_t r = 0; r < rows; ++r)
                writer.Write(static_cast<uint32_t>(first + r), strip.data() + r * scanline);
        }
    }
    return decoded ? 0 : decode::kReadError;
}

// Any layout libtiff knows, as RGBA, bottom row first; alpha is dropped.
int32_t DecodeRgba(TIFF* tif, const Layout& l, uint8_t* pixels, size_t stride) {
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message)) return decode::kTiffCompression;
    TIFFRGBAImage rgba{};
    if (!TIFFRGBAImageBegin(&rgba, tif, 0, message)) return decode::kTiffCompression;
    rgba.orientation = ORIENTATION_TOPLEFT;  // the file's orientation is not applied
    rgba.req_orientation = ORIENTATION_BOTLEFT;
    std::vector<uint32_t> raster(size_t{l.width} * l.height);
    const int ok = TIFFRGBAImageGet(&rgba, raster.data(), l.width, l.height);
    TIFFRGBAImageEnd(&rgba);
    if (!ok) return decode::kReadError;
    for (uint32_t y = 0; y < l.height; ++y) {
        const uint32_t* in = raster.data() + size_t{y} * l.width;
        uint8_t* out = pixels + size_t{y} * stride;
        for (uint32_t x = 0; x < l.width; ++x, out += 3) {
            out[0] = static_cast<uint8_t>(TIFFGetB(in[x]));
            out[1] = static_cast<uint8_t>(TIFFGetG(in[x]));
            out[2] = static_cast<uint8_t>(TIFFGetR(in[x]));
        }
    }
    return 0;
}

int32_t ReadTiff(const char* fileName, BITMAPINFOHEADER* header, int32_t offset) {
    if (!fileName || !header) return decode::kCouldNotOpen;
    const platform::MappedFile file(fileName);
    if (!file.is_open()) return decode::kCouldNotOpen;
    const auto bytes = file.bytes();
    if (offset < 0) return decode::kBadHeader;
    uint64_t base = 0;
    uint64_t directory = 0;
    if (offset > 0 && StartsWithHeader(bytes, static_cast<uint64_t>(offset)))
        base = static_cast<uint64_t>(offset);
    else
        directory = static_cast<uint64_t>(offset);
    if (!StartsWithHeader(bytes, base)) return decode::kBadHeader;

    Stream stream{bytes.data() + base, bytes.size() - base};
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) return decode::kNoMemory;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibtiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Quiet, nullptr);
    std::unique_ptr<TIFF, TiffCloser> tif(
        TIFFClientOpenExt(fileName, "r", &stream, ReadProc, WriteProc, SeekProc, CloseProc,
                          SizeProc, MapProc, UnmapProc, options.get()));
    if (!tif) return decode::kBadHeader;
    if (directory && !TIFFSetSubDirectory(tif.get(), directory)) return decode::kBadHeader;

    Layout l;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &l.width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &l.height))
        return decode::kBadHeader;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &l.bitsPerSample);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &l.compression);
    if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &l.photometric))
        l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    if (!TIFFIsCODECConfigured(l.compression)) return decode::kTiffCompression;

    const Output output = ChooseOutput(tif.get(), l, *header);
    const int bits = output == Output::Rgba || output == Output::YCbCr ? 24 : header->biBitCount;
    const int64_t stride = Stride(l.width, bits);
    if (int32_t rc = decode::CheckImageSize(l.width, l.height, stride)) return rc;

    platform::GlobalBlock block(platform::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                                                      static_cast<size_t>(stride * l.height)));
    if (!block) return decode::kNoMemory;
    auto* pixels = static_cast<uint8_t*>(platform::GlobalLock(block.get()));
    if (!pixels) return decode::kNoHugeMemory;
    const int32_t rc =
        output == Output::Rgba ? DecodeRgba(tif.get(), l, pixels, static_cast<size_t>(stride))
        : output == Output::YCbCr
            ? DecodeYCbCr(tif.get(), l.width, l.height, pixels, static_cast<size_t>(stride))
            : DecodeRows(tif.get(),
                         RowWriter{output, l, bits, pixels, static_cast<size_t>(stride)});
    platform::GlobalUnlock(block.get());
    if (rc) return rc;

    header->biWidth = static_cast<int32_t>(l.width);
    header->biHeight = static_cast<int32_t>(l.height);
    header->biBitCount = static_cast<uint16_t>(bits);
    return static_cast<int32_t>(block.release());
}

}  // namespace
}  // namespace lmtiff

// rowStride is the reader's, for the header it passes; the module computes the same stride from
// the header it returns (the loader recomputes it from that header too).
extern "C" int32_t ReadTIFF(const char* fileName, int32_t /*rowStride*/, BITMAPINFOHEADER* header,
                            int32_t offset) {
    try {
        return lmtiff::ReadTiff(fileName, header, offset);
    } catch (const std::bad_alloc&) {
        return decode::kNoMemory;
    } catch (...) {
        return decode::kReadError;
    }
}

static_assert(std::is_same_v<decltype(&ReadTIFF), ReadTIFFProc>);
