// PCX (ZSoft Paintbrush) and Truevision TGA pictures.
//
// PCX: a 128-byte header, then every scan line run-length coded on its own: a byte whose two top
// bits are set repeats the next byte (low six bits) times, any other byte stands for itself. A
// scan line is `bytes per line` bytes for each colour plane in turn. 256-colour files keep their
// palette in the last 768 bytes behind a 0x0C marker.
//
// TGA: an 18-byte header, the image ID, an optional colour map, then rows of pixels, raw or as
// run-length packets. Pixels are stored blue, green, red, as the bitmap wants them.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"

namespace decode {
namespace {

// ---------------------------------------------------------------------------------------------
// PCX

constexpr size_t kPcxHeaderSize = 128;
constexpr uint8_t kPcxManufacturer = 0x0A;
constexpr uint8_t kPcxPaletteMarker = 0x0C;
constexpr size_t kPcxPaletteBytes = 768;

// Version 3 files ("without palette information") are shown with the standard EGA colours.
constexpr uint8_t kEgaPalette[16][3] = {
    {0, 0, 0},     {0, 0, 170},     {0, 170, 0},    {0, 170, 170},  {170, 0, 0},   {170, 0, 170},
    {170, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},  {85, 255, 85}, {85, 255, 255},
    {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255}};

// How the planes of a scan line become one row of the bitmap.
enum class PcxLayout {
    Packed,     // one plane of 1, 4 or 8 bits: the scan line is the row
    TwoBit,     // one plane of 2 bits: widened to nibbles
    Planar,     // 2 to 4 planes of 1 bit: bit p of each pixel comes from plane p
    TrueColour  // 3 or 4 planes of 8 bits: red, green, blue (and an ignored fourth plane)
};

struct PcxHeader {
    uint8_t version = 0;
    uint8_t bitsPerPixel = 0;
    int64_t width = 0;
    int64_t height = 0;
    uint8_t planes = 0;
    uint16_t bytesPerLine = 0;
    std::span<const uint8_t> colourMap;  // 16 entries of red, green, blue
};

bool ChoosePcxLayout(const PcxHeader& h, PcxLayout& layout) {
    const int bits = h.bitsPerPixel, planes = h.planes;
    if (planes == 1 && (bits == 1 || bits == 4 || bits == 8))
        layout = PcxLayout::Packed;
    else if (planes == 1 && bits == 2)
        layout = PcxLayout::TwoBit;
    else if (bits == 1 && planes >= 2 && planes <= 4)
        layout = PcxLayout::Planar;
    else if (bits == 8 && (planes == 3 || planes == 4))
        layout = PcxLayout::TrueColour;
    else
        return false;
    return true;
}

// Decodes one scan line from data[pos]; returns the position after it. A run that would pass
// the end of the line is cut there and the rest of it dropped; what the data does not reach
// stays zero.
size_t DecodePcxLine(std::span<const uint8_t> data, size_t pos, uint8_t* line, size_t length) {
    const uint8_t* src = data.data();
    const size_t size = data.size();
    size_t filled = 0;
    while (filled < length && pos < size) {
        const uint8_t b = src[pos++];
        if ((b & 0xC0) != 0xC0) {
            line[filled++] = b;
            continue;
        }
        if (pos >= size) break;
        const uint8_t value = src[pos++];
        size_t n = std::min<size_t>(b & 0x3F, length - filled);
        while (n--)
            line[filled++] = value;
    }
    std::memset(line + filled, 0, length - filled);
    return pos;
}

void AssemblePcxRow(const PcxHeader& h, PcxLayout layout, const uint8_t* line, uint8_t* row,
                    size_t rowStride) {
    const size_t bpl = h.bytesPerLine;
    const size_t width = static_cast<size_t>(h.width);
    switch (layout) {
        case PcxLayout::Packed:
            std::memcpy(row, line, std::min(rowStride, bpl));
            break;
        case PcxLayout::TwoBit: {
            const size_t n = std::min(width, bpl * 4);
            for (size_t x = 0; x < n; ++x) {
                const uint8_t v = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                row[x >> 1] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
            }
            break;
        }
        case PcxLayout::Planar: {
            const size_t n = std::min(width, bpl * 8);
            for (size_t x = 0; x < n; ++x) {
                const size_t i = x >> 3;
                const int shift = 7 - static_cast<int>(x & 7);
                uint8_t v = 0;
                for (size_t p = 0; p < h.planes; ++p)
                    v |= static_cast<uint8_t>(((line[p * bpl + i] >> shift) & 1) << p);
                row[x >> 1] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
            }
            break;
        }
        case PcxLayout::TrueColour: {
            const size_t n = std::min(width, bpl);
            const uint8_t* red = line;
            const uint8_t* green = line + bpl;
            const uint8_t* blue = line + 2 * bpl;
            for (size_t x = 0; x < n; ++x, row += 3) {
                row[0] = blue[x];
                row[1] = green[x];
                row[2] = red[x];
            }
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TGA

constexpr size_t kTgaHeaderSize = 18;

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntryBits = 0;
    int64_t width = 0;
    int64_t height = 0;
    uint8_t depth = 0;
    uint8_t descriptor = 0;

    bool runLength() const { return imageType >= 9; }
    bool grey() const { return imageType == 3 || imageType == 11; }
    // Grey with an alpha byte: the grey level is the first byte of each pixel.
    bool greyAlpha() const { return grey() && depth == 16; }
    bool topDown() const { return descriptor & 0x20; }
    bool rightToLeft() const { return descriptor & 0x10; }
};

// A 15- or 16-bit pixel (x, red, green, blue from the top bit down) as blue, green, red; each
// 5-bit channel is multiplied by 8.
inline void Rgb555ToBgr(const uint8_t* p, uint8_t* out) {
    const unsigned w = p[0] | p[1] << 8;
    out[0] = static_cast<uint8_t>((w & 0x1F) << 3);
    out[1] = static_cast<uint8_t>(((w >> 5) & 0x1F) << 3);
    out[2] = static_cast<uint8_t>(((w >> 10) & 0x1F) << 3);
}

// Reads the colour map into the palette. Entries land from the first-entry index on; those
// past index 255 are read over but not kept. Entries of a size the palette cannot use are
// skipped, so the pixels after them are still found.
void ReadTgaColourMap(DecodedImage& img, ByteReader& in, const TgaHeader& h) {
    const size_t entryBytes = (h.mapEntryBits + 7u) / 8u;
    for (size_t i = 0; i < h.mapLength; ++i) {
        const auto e = in.take(entryBytes);
        if (e.size() != entryBytes) return;  // the pixels will find the file short
        const size_t index = h.mapFirst + i;
        if (index > 255) continue;
        uint8_t* entry = img.rgbPalette.data() + 3 * index;
        uint8_t bgr[3];
        switch (h.mapEntryBits) {
            case 15:
            case 16:
                Rgb555ToBgr(e.data(), bgr);
                break;
            case 24:
            case 32:
                std::memcpy(bgr, e.data(), 3);
                break;
            default:
                continue;
        }
        entry[0] = bgr[2];
        entry[1] = bgr[1];
        entry[2] = bgr[0];
    }
}

// The run-length packets of a TGA picture form one stream over all rows: a packet may end in
// the next row, so its state lives between rows.
class TgaRleStream {
  public:
    TgaRleStream(ByteReader& in, size_t valueBytes) : in_(in), valueBytes_(valueBytes) {}

    // Fills `count` values of valueBytes each; false when the file ends first.
    bool Fill(uint8_t* out, size_t count) {
        const std::span<const uint8_t> data = in_.data();
        size_t pos = in_.tell();
        const size_t size = data.size();
        while (count) {
            if (!left_) {
                if (pos >= size) return Done(pos, false);
                const uint8_t b = data[pos++];
                left_ = (b & 0x7Fu) + 1;
                run_ = b & 0x80;
                if (run_) {
                    if (size - pos < valueBytes_) return Done(pos, false);
                    std::memcpy(value_, data.data() + pos, valueBytes_);
                    pos += valueBytes_;
                }
            }
            const size_t n = std::min(left_, count);
            if (run_) {
                if (valueBytes_ == 1) {
                    std::memset(out, value_[0], n);
                    out += n;
                } else {
                    for (size_t i = 0; i < n; ++i, out += valueBytes_)
                        std::memcpy(out, value_, valueBytes_);
                }
            } else {
                const size_t bytes = n * valueBytes_;
                if (size - pos < bytes) return Done(pos, false);
                std::memcpy(out, data.data() + pos, bytes);
                pos += bytes;
                out += bytes;
            }
            left_ -= n;
            count -= n;
        }
        return Done(pos, true);
    }

  private:
    bool Done(size_t pos, bool ok) {
        in_.seek(pos);
        return ok;
    }

    ByteReader& in_;
    size_t valueBytes_;
    size_t left_ = 0;
    bool run_ = false;
    uint8_t value_[4] = {};
};

// One row of file pixels into the bitmap's row.
void ConvertTgaRow(const TgaHeader& h, const uint8_t* raw, uint8_t* row, size_t width,
                   size_t rawBytes) {
    if (h.greyAlpha()) {
        for (size_t x = 0; x < width; ++x)
            row[x] = raw[2 * x];
        return;
    }
    switch (h.depth) {
        case 15:
        case 16:
            for (size_t x = 0; x < width; ++x, raw += 2, row += 3)
                Rgb555ToBgr(raw, row);
            break;
        case 32:
            for (size_t x = 0; x < width; ++x, raw += 4, row += 3) {
                row[0] = raw[0];
                row[1] = raw[1];
                row[2] = raw[2];
            }
            break;
        default:  // 1, 8 and 24 bits are stored as the bitmap stores them
            std::memcpy(row, raw, rawBytes);
            break;
    }
}

void ReverseRow(uint8_t* row, size_t width, int bits) {
    if (bits == 1) {
        auto get = [row](size_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; };
        auto set = [row](size_t x, int v) {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] = static_cast<uint8_t>(v ? row[x >> 3] | mask : row[x >> 3] & ~mask);
        };
        for (size_t a = 0, b = width - 1; a < b; ++a, --b) {
            const int va = get(a);
            set(a, get(b));
            set(b, va);
        }
        return;
    }
    const size_t bytes = static_cast<size_t>(bits) / 8;
    for (size_t a = 0, b = width - 1; a < b; ++a, --b)
        std::swap_ranges(row + a * bytes, row + (a + 1) * bytes, row + b * bytes);
}

}  // namespace

int32_t ReadPcx(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    in.seek(0);
    const auto raw = in.take(kPcxHeaderSize);
    if (raw.empty() || raw[0] != kPcxManufacturer) return kBadHeader;
    ByteReader fields(raw);
    PcxHeader h;
    fields.seek(1);
    h.version = static_cast<uint8_t>(fields.getc());
    fields.seek(3);
    h.bitsPerPixel = static_cast<uint8_t>(fields.getc());
    const int32_t xMin = ReadWord(fields, 0), yMin = ReadWord(fields, 0);
    const int32_t xMax = ReadWord(fields, 0), yMax = ReadWord(fields, 0);
    h.width = int64_t{xMax} - xMin + 1;
    h.height = int64_t{yMax} - yMin + 1;
    h.colourMap = raw.subspan(16, 48);
    fields.seek(65);
    h.planes = static_cast<uint8_t>(fields.getc());
    h.bytesPerLine = static_cast<uint16_t>(ReadWord(fields, 0));

    // A window whose right or bottom edge lies before its left or top has no pixels, and nor
    // do scan lines of no bytes.
    if (h.width < 1 || h.height < 1 || h.bytesPerLine == 0) return kBadHeader;
    PcxLayout layout;
    if (!ChoosePcxLayout(h, layout)) return kUnsupported;

    img.header = {};
    img.header.biWidth = static_cast<int32_t>(std::min<int64_t>(h.width, INT32_MAX));
    img.header.biHeight = static_cast<int32_t>(std::min<int64_t>(h.height, INT32_MAX));
    img.header.biBitCount = static_cast<uint16_t>(h.bitsPerPixel * h.planes);
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(h.width, h.height, img.rowStride)) return rc;

    img.rgbPalette.fill(0);
    const int bits = img.header.biBitCount;
    if (bits == 1) {
        std::fill_n(img.rgbPalette.begin() + 3, 3, uint8_t{255});
    } else if (bits == 4) {
        if (h.version == 3)
            std::memcpy(img.rgbPalette.data(), kEgaPalette, sizeof kEgaPalette);
        else
            std::copy(h.colourMap.begin(), h.colourMap.end(), img.rgbPalette.begin());
    } else if (bits == 8 && h.version >= 5) {
        // The palette's marker sits 769 bytes before the end; without it the palette stays
        // black.
        const auto data = in.data();
        if (data.size() >= kPcxPaletteBytes + 1 + kPcxHeaderSize &&
            data[data.size() - kPcxPaletteBytes - 1] == kPcxPaletteMarker)
            std::memcpy(img.rgbPalette.data(), data.data() + data.size() - kPcxPaletteBytes,
                        kPcxPaletteBytes);
    }

    if (int32_t rc = AllocatePixels(img)) return rc;
    const size_t lineBytes = size_t{h.bytesPerLine} * h.planes;
    std::vector<uint8_t> line(lineBytes);
    const auto data = in.data();
    size_t pos = kPcxHeaderSize;
    for (int32_t y = 0; y < img.header.biHeight && pos < data.size(); ++y) {
        pos = DecodePcxLine(data, pos, line.data(), lineBytes);
        AssemblePcxRow(h, layout, line.data(), img.row(y), static_cast<size_t>(img.rowStride));
    }
    return 0;
}

int32_t ReadTga(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    in.seek(0);
    const auto raw = in.take(kTgaHeaderSize);
    if (raw.empty()) return kBadHeader;
    ByteReader fields(raw);
    TgaHeader h;
    h.idLength = static_cast<uint8_t>(fields.getc());
    h.colourMapType = static_cast<uint8_t>(fields.getc());
    h.imageType = static_cast<uint8_t>(fields.getc());
    h.mapFirst = static_cast<uint16_t>(ReadWord(fields, 0));
    h.mapLength = static_cast<uint16_t>(ReadWord(fields, 0));
    h.mapEntryBits = static_cast<uint8_t>(fields.getc());
    fields.skip(4);  // x and y origin
    h.width = ReadWord(fields, 0);
    h.height = ReadWord(fields, 0);
    h.depth = static_cast<uint8_t>(fields.getc());
    h.descriptor = static_cast<uint8_t>(fields.getc());

    switch (h.imageType) {
        case 1:
        case 2:
        case 3:
        case 9:
        case 10:
        case 11:
            break;
        default:
            return kBadHeader;
    }
    // Bytes of one value in the file: a pixel, or eight pixels of a 1-bit picture.
    size_t valueBytes;
    switch (h.depth) {
        case 1:
        case 8:
            valueBytes = 1;
            break;
        case 15:
        case 16:
            valueBytes = 2;
            break;
        case 24:
            valueBytes = 3;
            break;
        case 32:
            valueBytes = 4;
            break;
        default:
            return kBadHeader;
    }
    if (h.width < 1 || h.height < 1) return kBadHeader;

    img.header = {};
    img.header.biWidth = static_cast<int32_t>(h.width);
    img.header.biHeight = static_cast<int32_t>(h.height);
    img.header.biBitCount = h.greyAlpha() ? 8 : h.depth;
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(h.width, h.height, img.rowStride)) return rc;
    const size_t width = static_cast<size_t>(h.width);
    const size_t values = h.depth == 1 ? (width + 7) / 8 : width;
    const size_t rawBytes = values * valueBytes;

    img.rgbPalette.fill(0);
    in.skip(h.idLength);
    if (h.depth == 1) std::fill_n(img.rgbPalette.begin() + 3, 3, uint8_t{255});
    if (h.colourMapType != 0) {
        ReadTgaColourMap(img, in, h);
    } else if (img.header.biBitCount == 8) {
        for (int i = 0; i < 256; ++i)
            std::fill_n(img.rgbPalette.begin() + 3 * i, 3, static_cast<uint8_t>(i));
    }

    // A file too short to hold every row can only end in a read error: say so before the
    // pixel block is allocated. A run-length packet holds at most 128 values.
    const uint64_t rows = static_cast<uint64_t>(h.height);
    const uint64_t needed =
        h.runLength() ? (values * rows + 127) / 128 * (1 + valueBytes) : rawBytes * rows;
    if (in.remaining() < needed) return kReadError;

    if (int32_t rc = AllocatePixels(img)) return rc;
    const int outBits = img.header.biBitCount;
    std::vector<uint8_t> rleRow(h.runLength() ? rawBytes : 0);
    TgaRleStream rle(in, valueBytes);
    for (int64_t i = 0; i < h.height; ++i) {
        const uint8_t* src;
        if (h.runLength()) {
            if (!rle.Fill(rleRow.data(), values)) return kReadError;
            src = rleRow.data();
        } else {
            const auto rowBytes = in.take(rawBytes);
            if (rowBytes.empty()) return kReadError;
            src = rowBytes.data();
        }
        const int32_t r = static_cast<int32_t>(h.topDown() ? i : h.height - 1 - i);
        uint8_t* row = img.row(r);
        ConvertTgaRow(h, src, row, width, rawBytes);
        if (h.rightToLeft()) ReverseRow(row, width, outBits);
    }
    return 0;
}

}  // namespace decode
