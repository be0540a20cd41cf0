// Sun raster files, PC Paint pictures and Dr. Halo cut files with their palette files.
//
// Sun raster: eight big-endian 32-bit header words, an optional colour map of all reds, then all
// greens, then all blues, and rows padded to an even number of bytes, raw or byte-encoded (0x80
// escapes a run).
//
// PC Paint: a 17-byte header, the palette, then blocks of run-length data that together hold
// the rows from the bottom up; EGA pictures keep their four bit planes one after another.
//
// Dr. Halo: a six-byte header, then one run-length coded row after another, each behind its
// byte count. The colours live in a palette file of the same name with the extension ".pal".
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "platform/os/file_map.h"

namespace decode {
namespace {

void SetBlackWhite(DecodedImage& img) {
    std::fill_n(img.rgbPalette.begin(), 3, uint8_t{0});
    std::fill_n(img.rgbPalette.begin() + 3, 3, uint8_t{255});
}

void SetGreyRamp(DecodedImage& img) {
    for (int i = 0; i < 256; ++i)
        std::fill_n(img.rgbPalette.begin() + 3 * i, 3, static_cast<uint8_t>(i));
}

// ---------------------------------------------------------------------------------------------
// Sun raster

constexpr uint32_t kRasMagic = 0x59A66A95;
constexpr uint32_t kRasByteEncoded = 2;
constexpr uint32_t kRasFormatRgb = 3;  // true-colour pixels in red, green, blue order
constexpr uint32_t kRasExperimental = 0xFFFF;
constexpr uint32_t kRasMapRgb = 1;
constexpr uint32_t kRasMapRaw = 2;
constexpr uint8_t kRasEscape = 0x80;

// The byte-encoded data is one stream over the padded rows: a run may go on into the next row.
class RasRleStream {
  public:
    explicit RasRleStream(ByteReader& in) : in_(in) {}

    // Fills `length` bytes; false when the file ends first.
    bool Fill(uint8_t* out, size_t length) {
        while (length) {
            if (left_) {
                const size_t n = std::min(left_, length);
                std::memset(out, value_, n);
                out += n;
                length -= n;
                left_ -= n;
                continue;
            }
            const int b = in_.getc();
            if (b == ByteReader::kEof) return false;
            if (b != kRasEscape) {
                *out++ = static_cast<uint8_t>(b);
                --length;
                continue;
            }
            const int count = in_.getc();
            if (count == ByteReader::kEof) return false;
            if (count == 0) {  // an escaped 0x80
                *out++ = kRasEscape;
                --length;
                continue;
            }
            const int value = in_.getc();
            if (value == ByteReader::kEof) return false;
            value_ = static_cast<uint8_t>(value);
            left_ = static_cast<size_t>(count) + 1;
        }
        return true;
    }

  private:
    ByteReader& in_;
    size_t left_ = 0;
    uint8_t value_ = 0;
};

// ---------------------------------------------------------------------------------------------
// PC Paint

constexpr size_t kPicHeaderSize = 17;
constexpr int32_t kPicMagic = 0x1234;
constexpr size_t kPicBlockHeaderSize = 5;
constexpr uint8_t kPicVideoModeVga = 'M';

// An EGA colour code (bits 0-2 the strong blue, green, red, bits 3-5 the weak ones) as red,
// green, blue.
void EgaCodeToRgb(uint8_t code, uint8_t* rgb) {
    rgb[0] = static_cast<uint8_t>(((code & 0x04) ? 128 : 0) + ((code & 0x20) ? 64 : 0));
    rgb[1] = static_cast<uint8_t>(((code & 0x02) ? 128 : 0) + ((code & 0x10) ? 64 : 0));
    rgb[2] = static_cast<uint8_t>(((code & 0x01) ? 128 : 0) + ((code & 0x08) ? 64 : 0));
}

// How the rows of the data become the bitmap's rows.
enum class PicLayout {
    Packed,  // 1 or 8 bits in one plane, or 4 bits packed two to a byte: copied
    TwoBit,  // 2 bits in one plane: widened to nibbles
    Planar   // 2 to 4 planes of 1 bit, each plane a complete set of rows
};

// Collects decoded bytes into rows and places each finished row. Rows come bottom row first;
// a planar picture sends all rows of plane 0, then all rows of plane 1, and so on. Bytes past
// the last row of the last plane are ignored, so a run of any length stays within the picture.
class PicRowSink {
  public:
    PicRowSink(DecodedImage& img, PicLayout layout, size_t rowBytes, int planes)
        : img_(img), layout_(layout), row_(rowBytes), planes_(planes) {}

    bool full() const { return plane_ >= planes_; }

    // A row the data ended in the middle of is placed as far as it goes.
    void Finish() {
        if (full() || filled_ == 0) return;
        std::memset(row_.data() + filled_, 0, row_.size() - filled_);
        PlaceRow();
    }

    void Put(uint8_t value, size_t count) {
        while (count && !full()) {
            const size_t n = std::min(count, row_.size() - filled_);
            std::memset(row_.data() + filled_, value, n);
            Advance(n);
            count -= n;
        }
    }
    void Put(const uint8_t* src, size_t count) {
        while (count && !full()) {
            const size_t n = std::min(count, row_.size() - filled_);
            std::memcpy(row_.data() + filled_, src, n);
            src += n;
            Advance(n);
            count -= n;
        }
    }

  private:
    void Advance(size_t n) {
        filled_ += n;
        if (filled_ < row_.size()) return;
        filled_ = 0;
        PlaceRow();
        if (++rowIndex_ == img_.header.biHeight) {
            rowIndex_ = 0;
            ++plane_;
        }
    }

    void PlaceRow() {
        uint8_t* dst = img_.pixels + static_cast<size_t>(rowIndex_) * img_.rowStride;
        const size_t width = static_cast<size_t>(img_.header.biWidth);
        const uint8_t* src = row_.data();
        switch (layout_) {
            case PicLayout::Packed:
                std::memcpy(dst, src, std::min(row_.size(), static_cast<size_t>(img_.rowStride)));
                break;
            case PicLayout::TwoBit:
                for (size_t x = 0; x < width; ++x) {
                    const uint8_t v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                    dst[x >> 1] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
                }
                break;
            case PicLayout::Planar:
                for (size_t x = 0; x < width; ++x) {
                    if (!((src[x >> 3] >> (7 - (x & 7))) & 1)) continue;
                    const uint8_t bit = static_cast<uint8_t>(1u << plane_);
                    dst[x >> 1] |= (x & 1) ? bit : static_cast<uint8_t>(bit << 4);
                }
                break;
        }
    }

    DecodedImage& img_;
    PicLayout layout_;
    std::vector<uint8_t> row_;
    size_t filled_ = 0;
    int32_t rowIndex_ = 0;  // buffer row: 0 is the bottom row
    int planes_;
    int plane_ = 0;
};

// Decodes one block of run-length data, from its header to its declared end (or the end of
// the file), into the sink.
void DecodePicBlock(std::span<const uint8_t> block, uint8_t marker, size_t unpacked,
                    PicRowSink& sink) {
    size_t pos = 0, produced = 0;
    const size_t size = block.size();
    while (pos < size && produced < unpacked && !sink.full()) {
        const uint8_t b = block[pos++];
        if (b != marker) {
            sink.Put(&b, 1);
            ++produced;
            continue;
        }
        if (pos >= size) return;
        size_t count = block[pos++];
        if (count == 0) {
            if (size - pos < 2) return;
            count = block[pos] | block[pos + 1] << 8;
            pos += 2;
        }
        if (pos >= size) return;
        sink.Put(block[pos++], count);
        produced += count;
    }
}

// ---------------------------------------------------------------------------------------------
// Dr. Halo

constexpr size_t kCutHeaderSize = 6;
constexpr size_t kHaloPaletteHeader = 40;
constexpr size_t kHaloPaletteBlock = 512;
constexpr size_t kHaloPaletteEntry = 6;

// The palette file's name: the picture's name with the extension of its last component
// replaced by "pal" (in the extension's own case), or with ".pal" added when it has none.
std::vector<std::string> HaloPaletteNames(const std::string& picture) {
    const size_t slash = picture.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = picture.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    const std::string stem = hasExtension ? picture.substr(0, dot) : picture;
    const std::string ext = hasExtension ? picture.substr(dot + 1) : std::string();
    const bool upper = !ext.empty() && std::all_of(ext.begin(), ext.end(),
                                                   [](char c) { return !(c >= 'a' && c <= 'z'); });
    if (upper) return {stem + ".PAL", stem + ".pal"};
    return {stem + ".pal", stem + ".PAL"};
}

// Reads the 256 entries of a Dr. Halo palette file into the palette: three little-endian words
// per entry (red, green, blue; the low byte is the level), in 512-byte blocks that never split
// an entry. Only regular files are opened, and nothing is read past 256 entries.
bool ReadHaloPalette(DecodedImage& img, const std::string& picture) {
    for (const std::string& name : HaloPaletteNames(picture)) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(name, ec)) continue;
        const platform::MappedFile file(name);
        if (!file.is_open()) continue;
        const auto data = file.bytes();
        size_t pos = kHaloPaletteHeader;
        size_t blockEnd = kHaloPaletteBlock;
        for (size_t i = 0; i < 256; ++i) {
            if (blockEnd - pos < kHaloPaletteEntry) {
                pos = blockEnd;
                blockEnd += kHaloPaletteBlock;
            }
            if (pos + kHaloPaletteEntry > data.size()) break;
            for (size_t c = 0; c < 3; ++c)
                img.rgbPalette[3 * i + c] = data[pos + 2 * c];
            pos += kHaloPaletteEntry;
        }
        return true;
    }
    return false;
}

// One Dr. Halo row: packets up to a 0 byte or the end of the row. A byte with its top bit set
// repeats the next byte (its low seven bits) times; any other byte counts the literals after it.
void DecodeCutRow(std::span<const uint8_t> src, uint8_t* row, size_t width) {
    size_t pos = 0, x = 0;
    while (pos < src.size() && x < width) {
        const uint8_t b = src[pos++];
        if (b == 0) return;
        const size_t count = b & 0x7F;
        if (b & 0x80) {
            if (pos >= src.size()) return;
            const size_t n = std::min(count, width - x);
            std::memset(row + x, src[pos++], n);
            x += n;
        } else {
            const size_t n = std::min({count, width - x, src.size() - pos});
            std::memcpy(row + x, src.data() + pos, n);
            x += n;
            pos += count;
        }
    }
}

}  // namespace

int32_t ReadRas(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    in.seek(0);
    if (in.size() < 32) return kBadHeader;
    uint32_t word[8];
    for (uint32_t& w : word)
        w = static_cast<uint32_t>(ReadLong(in, 1));
    const auto [magic, width, height, depth, length, type, mapType, mapLength] = word;
    (void)length;
    if (magic != kRasMagic || type == kRasExperimental || mapType == kRasMapRaw) return kBadHeader;
    if (depth != 1 && depth != 8 && depth != 24 && depth != 32) return kBadHeader;
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) return kBadHeader;

    img.header = {};
    img.header.biWidth = static_cast<int32_t>(width);
    img.header.biHeight = static_cast<int32_t>(height);
    img.header.biBitCount = static_cast<uint16_t>(depth);
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(width, height, img.rowStride)) return rc;

    // The colour map: n reds, then n greens, then n blues.
    img.rgbPalette.fill(0);
    const auto map = in.take(mapLength);
    if (mapLength && map.empty()) return kReadError;
    if (mapType == kRasMapRgb && mapLength >= 3) {
        const size_t n = mapLength / 3;
        for (size_t i = 0; i < n && i < 256; ++i)
            for (size_t c = 0; c < 3; ++c)
                img.rgbPalette[3 * i + c] = map[c * n + i];
    } else if (depth == 1) {
        // 1 bits are black, 0 bits white, as on Sun's monochrome screens.
        std::fill_n(img.rgbPalette.begin(), 3, uint8_t{255});
    } else if (depth == 8) {
        SetGreyRamp(img);
    }

    const size_t w = width;
    const size_t pixelBytes = depth == 1 ? (w + 7) / 8 : w * (depth / 8);
    const size_t fileRow = (pixelBytes + 1) & ~size_t{1};
    // A file too short to hold every row can only end in a read error: say so before the
    // pixel block is allocated. Three encoded bytes make at most 256.
    const uint64_t total = uint64_t{fileRow} * height;
    const uint64_t most = type == kRasByteEncoded ? (in.remaining() + 2) / 3 * 256 : in.remaining();
    if (most < total) return kReadError;
    if (int32_t rc = AllocatePixels(img)) return rc;
    std::vector<uint8_t> rleRow(type == kRasByteEncoded ? fileRow : 0);
    RasRleStream rle(in);
    const bool rgbOrder = type == kRasFormatRgb;
    for (int32_t y = 0; y < img.header.biHeight; ++y) {
        const uint8_t* src;
        if (type == kRasByteEncoded) {
            if (!rle.Fill(rleRow.data(), fileRow)) return kReadError;
            src = rleRow.data();
        } else {
            const auto rowBytes = in.take(fileRow);
            if (rowBytes.empty()) return kReadError;
            src = rowBytes.data();
        }
        uint8_t* row = img.row(y);
        if (depth == 32) {
            for (size_t x = 0; x < w; ++x, src += 4, row += 3) {
                row[0] = src[rgbOrder ? 3 : 1];
                row[1] = src[2];
                row[2] = src[rgbOrder ? 1 : 3];
            }
        } else if (depth == 24 && rgbOrder) {
            for (size_t x = 0; x < w; ++x, src += 3, row += 3) {
                row[0] = src[2];
                row[1] = src[1];
                row[2] = src[0];
            }
        } else {
            std::memcpy(row, src, pixelBytes);
        }
    }
    return 0;
}

int32_t ReadPic(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    in.seek(0);
    const auto raw = in.take(kPicHeaderSize);
    if (raw.empty()) return kBadHeader;
    ByteReader fields(raw);
    if (ReadWord(fields, 0) != kPicMagic) return kBadHeader;
    const int32_t width = ReadWord(fields, 0);
    const int32_t height = ReadWord(fields, 0);
    const uint8_t planeByte = raw[10];
    const uint8_t videoMode = raw[12];
    fields.seek(15);
    const size_t paletteBytes = static_cast<size_t>(ReadWord(fields, 0));
    const int bitsPerPixel = planeByte & 0x0F;
    const int planes = (planeByte >> 4) + 1;

    const int bitCount = (bitsPerPixel * planes) & 0xFF;
    if (bitCount == 0 || bitCount > 8) return kUnsupported;
    PicLayout layout;
    size_t rowBytes;
    const size_t w = static_cast<size_t>(width);
    if (planes == 1 && (bitsPerPixel == 1 || bitsPerPixel == 8)) {
        layout = PicLayout::Packed;
        rowBytes = bitsPerPixel == 8 ? w : (w + 7) / 8;
    } else if (planes == 1 && bitsPerPixel == 4) {
        layout = PicLayout::Packed;
        rowBytes = (w + 1) / 2;
    } else if (planes == 1 && bitsPerPixel == 2) {
        layout = PicLayout::TwoBit;
        rowBytes = (w + 3) / 4;
    } else if (bitsPerPixel == 1 && planes <= 4) {
        layout = PicLayout::Planar;
        rowBytes = (w + 7) / 8;
    } else {
        return kUnsupported;
    }
    if (width < 1 || height < 1) return kBadHeader;

    img.header = {};
    img.header.biWidth = width;
    img.header.biHeight = height;
    img.header.biBitCount = static_cast<uint16_t>(bitCount);
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(width, height, img.rowStride)) return rc;

    img.rgbPalette.fill(0);
    const auto palette = in.take(std::min(paletteBytes, in.remaining()));
    const size_t stored = std::min(palette.size(), img.rgbPalette.size());
    std::memcpy(img.rgbPalette.data(), palette.data(), stored);
    if (bitCount == 1) {
        SetBlackWhite(img);
    } else if (bitCount > 4 || videoMode == kPicVideoModeVga) {
        // VGA palettes hold 6-bit levels.
        for (size_t i = 0; i < stored; ++i)
            img.rgbPalette[i] = static_cast<uint8_t>(img.rgbPalette[i] << 2);
    } else {
        uint8_t codes[16];
        std::memcpy(codes, img.rgbPalette.data(), sizeof codes);
        img.rgbPalette.fill(0);
        for (int i = 0; i < (1 << bitCount); ++i)
            EgaCodeToRgb(codes[i], img.rgbPalette.data() + 3 * i);
    }

    const int32_t blocks = ReadWord(in, 0);
    if (blocks <= 0) return kReadError;
    if (int32_t rc = AllocatePixels(img)) return rc;
    PicRowSink sink(img, layout, rowBytes, layout == PicLayout::Planar ? planes : 1);
    const auto data = in.data();
    for (int32_t b = 0; b < blocks && !sink.full(); ++b) {
        const size_t start = in.tell();
        const auto head = in.take(kPicBlockHeaderSize);
        if (head.empty()) return kBadHeader;
        const size_t blockSize = head[0] | head[1] << 8;
        const size_t unpacked = head[2] | head[3] << 8;
        // Each block starts where the one before it ends; a size too small for its own header
        // would return to the same block for ever, so it ends the data.
        if (blockSize < kPicBlockHeaderSize) break;
        const size_t end = std::min(start + blockSize, data.size());
        DecodePicBlock(data.subspan(in.tell(), end - in.tell()), head[4], unpacked, sink);
        if (!in.seek(start + blockSize)) break;
    }
    sink.Finish();
    return 0;
}

int32_t ReadCut(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    in.seek(0);
    if (in.size() < kCutHeaderSize) return kBadHeader;
    const int32_t width = ReadWord(in, 0);
    const int32_t height = ReadWord(in, 0);
    if (width < 1 || height < 1) return kBadHeader;

    img.header = {};
    img.header.biWidth = width;
    img.header.biHeight = height;
    img.header.biBitCount = 8;
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(width, height, img.rowStride)) return rc;

    img.rgbPalette.fill(0);
    if (!ReadHaloPalette(img, img.sourcePath)) SetBlackWhite(img);

    if (int32_t rc = AllocatePixels(img)) return rc;
    in.seek(kCutHeaderSize);
    const auto data = in.data();
    for (int32_t y = 0; y < height; ++y) {
        const int32_t count = ReadWord(in, 0);
        if (count < 0) break;
        const size_t start = in.tell();
        const size_t end = std::min(start + static_cast<size_t>(count), data.size());
        DecodeCutRow(data.subspan(start, end - start), img.row(y), static_cast<size_t>(width));
        in.seek(start + static_cast<size_t>(count));
    }
    return 0;
}

}  // namespace decode
