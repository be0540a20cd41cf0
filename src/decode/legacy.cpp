// Six small readers of older bitmap formats: 1st-Publisher-style ART clip art, slow-scan
// television frames (HRZ), GEM raster images, MacPaint, Microsoft Paint (MSP) and the bitmap
// records of WordPerfect Graphics (WPG). Each checks what its header says before allocating,
// decodes into the zeroed block, and stops at the end of the data, so a short file loads with
// the rows it has.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "decode/loader_error.h"
#include "decode/planar.h"
#include "decode/readers.h"

namespace decode {
namespace {

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void SetEntry(DecodedImage& img, int index, uint8_t r, uint8_t g, uint8_t b) {
    img.rgbPalette[index * 3] = r;
    img.rgbPalette[index * 3 + 1] = g;
    img.rgbPalette[index * 3 + 2] = b;
}

// Two-entry palette of a 1-bit picture.
void SetMonoPalette(DecodedImage& img, bool zeroIsWhite) {
    const uint8_t zero = zeroIsWhite ? 255 : 0;
    SetEntry(img, 0, zero, zero, zero);
    SetEntry(img, 1, 255 - zero, 255 - zero, 255 - zero);
}

// Sets the header, checks the size against fileRowBytes (the decoder's own row buffer) and
// allocates the zeroed pixel block.
int32_t Prepare(DecodedImage& img, int64_t width, int64_t height, int bitCount,
                int64_t fileRowBytes = 0) {
    if (int32_t rc = CheckImageSize(width, height, std::max<int64_t>(fileRowBytes, 1))) return rc;
    img.header.biWidth = static_cast<int32_t>(width);
    img.header.biHeight = static_cast<int32_t>(height);
    img.header.biBitCount = static_cast<uint16_t>(bitCount);
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(width, height, img.rowStride)) return rc;
    return AllocatePixels(img);
}

// Copies a decoded file row into picture row r, never more than the block's row holds.
void StoreRow(DecodedImage& img, int32_t r, std::span<const uint8_t> row) {
    std::memcpy(img.row(r), row.data(), std::min<size_t>(row.size(), img.rowStride));
}

// ---------------------------------------------------------------------------------------------
// GEM raster: run-length coded scan lines, one plane row after another.

struct GemRow {
    std::vector<uint8_t> bytes;
    size_t fill = 0;
    bool full() const { return fill >= bytes.size(); }
    void put(uint8_t b) {
        if (!full()) bytes[fill++] = b;
    }
    void repeat(uint8_t b, int64_t n) {
        const size_t k = static_cast<size_t>(std::min<int64_t>(n, bytes.size() - fill));
        std::memset(bytes.data() + fill, b, k);
        fill += k;
    }
};

// Decodes one scan line; returns how many times it appears in the picture (a vertical
// replication code in front of it says more than once), 0 when the data ended before it began.
int DecodeGemRow(ByteReader& in, GemRow& row, int patternLength, int multiplier) {
    std::fill(row.bytes.begin(), row.bytes.end(), 0);
    row.fill = 0;
    int copies = 1;
    const bool started = !in.eof();
    while (!row.full()) {
        const int code = in.getc();
        if (code == ByteReader::kEof) break;
        if (code == 0x00) {
            const int count = in.getc();
            if (count == ByteReader::kEof) break;
            if (count == 0) {
                // 00 00 FF n: the scan line that follows appears n times.
                if (in.getc() != 0xFF) continue;
                const int n = in.getc();
                if (n == ByteReader::kEof) break;
                copies = std::max(n, 1);
                continue;
            }
            // A pattern of patternLength bytes, count times over.
            if (patternLength == 0) continue;
            const auto pattern = in.take(std::min<size_t>(patternLength, in.remaining()));
            if (pattern.empty()) break;
            for (int64_t i = 0; i < int64_t{count} * multiplier && !row.full(); ++i)
                for (uint8_t b : pattern)
                    row.put(b);
        } else if (code == 0x80) {
            const int count = in.getc();
            if (count == ByteReader::kEof) break;
            // The literal bytes are read whole even where the row ends first.
            for (int64_t i = 0; i < int64_t{count} * multiplier; ++i) {
                const int b = in.getc();
                if (b == ByteReader::kEof) break;
                row.put(static_cast<uint8_t>(b));
            }
        } else {
            row.repeat(code & 0x80 ? 0xFF : 0x00, int64_t{code & 0x7F} * multiplier);
        }
    }
    return started ? copies : 0;
}

// Planar row (plane 0 first, each (w + 7) / 8 bytes) to packed 4- or 8-bit pixels, with every
// value inverted: GEM draws value 0 as white. values is scratch space of width bytes.
void GemPlanarToPacked(std::span<const uint8_t> src, uint8_t* dst, size_t width, int planes,
                       int bitCount, uint8_t* values) {
    PlanesToBytes(src.data(), (width + 7) / 8, planes, width, values);
    const uint8_t top = static_cast<uint8_t>((1 << planes) - 1);
    for (size_t x = 0; x < width; ++x) {
        const uint8_t v = top - values[x];
        if (bitCount == 8) {
            dst[x] = v;
        } else {
            dst[x >> 1] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// WordPerfect Graphics records.

struct WpgBitmap {
    int64_t width = 0;
    int64_t height = 0;
    int depth = 0;
    size_t dataOffset = 0;
};

// A record's length: one byte, or 0xFF and a word, or 0xFF and two words when the first has
// bit 15 set (its low 15 bits are then the high half). -1 at the end of the data.
int64_t ReadWpgLength(ByteReader& in) {
    const int first = in.getc();
    if (first == ByteReader::kEof) return -1;
    if (first != 0xFF) return first;
    const int32_t word = ReadWord(in, 0);
    if (word < 0) return -1;
    if (!(word & 0x8000)) return word;
    const int32_t low = ReadWord(in, 0);
    if (low < 0) return -1;
    return int64_t{word & 0x7FFF} << 16 | low;
}

// 2-bit pixels widened to the 4-bit picture's nibbles.
void ExpandTwoBits(std::span<const uint8_t> src, uint8_t* dst, int64_t width) {
    for (int64_t x = 0; x < width; ++x) {
        const uint8_t v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        dst[x >> 1] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
    }
}

}  // namespace

// ART: a header of four little-endian words (0, width, unused, height), then uncompressed
// 1-bit rows padded to an even number of bytes.
int32_t ReadArt(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    const auto header = in.take(8);
    if (header.empty() || Le16(&header[0]) != 0) return kBadHeader;
    const int64_t width = Le16(&header[2]);
    const int64_t height = Le16(&header[6]);
    const int64_t fileRow = ((width + 7) / 8 + 1) & ~int64_t{1};
    if (int32_t rc = Prepare(img, width, height, 1, fileRow)) return rc;
    SetMonoPalette(img, false);
    for (int32_t y = 0; y < height && !in.eof(); ++y)
        StoreRow(img, y, in.take(std::min<size_t>(fileRow, in.remaining())));
    return 0;
}

// HRZ: a fixed 256 x 240 frame of 6-bit red, green, blue samples, top row first.
int32_t ReadHrz(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    constexpr int kWidth = 256;
    constexpr int kHeight = 240;
    if (int32_t rc = Prepare(img, kWidth, kHeight, 24)) return rc;
    for (int32_t y = 0; y < kHeight && !in.eof(); ++y) {
        const auto src = in.take(std::min<size_t>(kWidth * 3, in.remaining()));
        uint8_t* dst = img.row(y);
        for (size_t i = 0; i + 2 < src.size(); i += 3, dst += 3) {
            dst[0] = static_cast<uint8_t>(src[i + 2] * 4);
            dst[1] = static_cast<uint8_t>(src[i + 1] * 4);
            dst[2] = static_cast<uint8_t>(src[i] * 4);
        }
    }
    return 0;
}

// GEM raster image: a header of big-endian words (version, header length in words, planes,
// pattern length, pixel width and height in micrometres, line width, line count), then
// run-length coded scan lines. Only 85 x 85 micrometre pixels are accepted. A header length of
// 9 words marks a 24-bit picture whose ninth word holds a multiplier for every count.
int32_t ReadGem(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    const auto h = in.take(16);
    if (h.empty()) return kBadHeader;
    if (h[8] != 0x00 || h[9] != 0x55 || h[10] != 0x00 || h[11] != 0x55) return kBadHeader;
    const int headerWords = Be16(&h[2]);
    const int planes = Be16(&h[4]);
    const int patternLength = Be16(&h[6]);
    const int64_t width = Be16(&h[12]);
    const int64_t height = Be16(&h[14]);
    const bool trueColour = headerWords == 9;
    // Plane counts the bit-count rule cannot hold (none, or more than 8 without the 24-bit
    // mark) would leave rows that the row length does not describe.
    if (!trueColour && (planes < 1 || planes > 8)) return kBadHeader;
    const int bitCount = trueColour ? 24 : planes;
    const int64_t rowBytes = trueColour ? 3 * width : (width + 7) / 8 * planes;
    if (int32_t rc = Prepare(img, width, height, bitCount, rowBytes)) return rc;

    int multiplier = 1;
    if (trueColour) {
        const auto extra = in.take(2);
        multiplier = extra.empty() ? 0 : extra[1];
    } else if (headerWords > 8) {
        // Extended headers (a colour table and the like) come before the data.
        in.seek(static_cast<size_t>(headerWords) * 2);
    }

    if (planes == 1 && !trueColour) {
        SetMonoPalette(img, true);
    } else if (!trueColour) {
        const int top = (1 << planes) - 1;
        const int step = 255 / top;
        for (int i = 0; i <= top; ++i) {
            const auto v = static_cast<uint8_t>(i * step);
            SetEntry(img, i, v, v, v);
        }
    }

    GemRow row{std::vector<uint8_t>(static_cast<size_t>(rowBytes))};
    const int outBits = img.header.biBitCount;
    const bool packPlanes = !(planes == 1 || trueColour);
    std::vector<uint8_t> packed(static_cast<size_t>(img.rowStride));
    std::vector<uint8_t> values(packPlanes ? static_cast<size_t>(width) : 0);
    for (int32_t y = 0; y < height;) {
        // Past the end of the data every remaining line is blank (value 0, before inversion).
        const int decoded = DecodeGemRow(in, row, patternLength, multiplier);
        const int copies = decoded == 0 ? height - y : decoded;
        std::span<const uint8_t> out = row.bytes;
        if (packPlanes) {
            std::fill(packed.begin(), packed.end(), 0);
            GemPlanarToPacked(row.bytes, packed.data(), static_cast<size_t>(width), planes, outBits,
                              values.data());
            out = packed;
        }
        for (int c = 0; c < copies && y < height; ++c)
            StoreRow(img, y++, out);
    }
    return 0;
}

// MacPaint: 576 x 720 at 1 bit, 72 bytes a row, PackBits. The data follows a 512-byte header,
// itself behind a 128-byte MacBinary header when the file has one.
int32_t ReadMac(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    constexpr int kWidth = 576;
    constexpr int kHeight = 720;
    constexpr size_t kRowBytes = kWidth / 8;
    const auto data = in.data();
    if (data.size() < 69) return kBadHeader;
    size_t offset = 0;
    if (std::memcmp(&data[65], "PNTG", 4) == 0) {
        offset = 640;
    } else if (data[0] == 0) {
        offset = 512;
    }
    if (int32_t rc = Prepare(img, kWidth, kHeight, 1)) return rc;
    SetMonoPalette(img, true);
    in.seek(offset);
    for (int32_t y = 0; y < kHeight && !in.eof(); ++y) {
        uint8_t* dst = img.row(y);
        size_t fill = 0;
        while (fill < kRowBytes) {
            const int n = in.getc();
            if (n == ByteReader::kEof) break;
            if (n < 128) {
                // A literal run is read whole; only what fits in the row is kept.
                const auto lit = in.take(std::min<size_t>(n + 1, in.remaining()));
                const size_t k = std::min(lit.size(), kRowBytes - fill);
                std::memcpy(dst + fill, lit.data(), k);
                fill += k;
            } else if (n > 128) {
                const int b = in.getc();
                if (b == ByteReader::kEof) break;
                const size_t k = std::min<size_t>(257 - n, kRowBytes - fill);
                std::memset(dst + fill, b, k);
                fill += k;
            }
        }
    }
    return 0;
}

// Microsoft Paint: a 32-byte header (key words, width, height, ...). Version 1 files ("DanM")
// hold uncompressed rows right after it; version 2 files ("LinS") a table of row lengths and
// then run-length coded rows. A row the data ends in is white.
int32_t ReadMsp(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    const auto data = in.data();
    if (data.size() < 8) return kBadHeader;
    const uint16_t key1 = Le16(&data[0]);
    const uint16_t key2 = Le16(&data[2]);
    if ((key1 != 0x6144 && key1 != 0x694C) || (key2 != 0x4D6E && key2 != 0x536E)) return kBadHeader;
    const int64_t width = Le16(&data[4]);
    const int64_t height = Le16(&data[6]);
    const int64_t rowBytes = (width + 7) / 8;
    if (int32_t rc = Prepare(img, width, height, 1, rowBytes)) return rc;
    SetMonoPalette(img, false);
    const size_t row = static_cast<size_t>(rowBytes);

    if (key1 == 0x6144 && key2 == 0x4D6E) {
        in.seek(32);
        for (int32_t y = 0; y < height; ++y) {
            const auto src = in.take(row);
            if (src.empty()) {
                std::memset(img.row(y), 0xFF, row);
            } else {
                std::memcpy(img.row(y), src.data(), row);
            }
        }
        return 0;
    }

    in.seek(32 + 2 * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* dst = img.row(y);
        size_t fill = 0;
        while (fill < row) {
            const int n = in.getc();
            if (n == ByteReader::kEof) break;
            if (n == 0) {
                const int count = in.getc();
                const int value = in.getc();
                if (value == ByteReader::kEof) break;
                const size_t k = std::min<size_t>(count, row - fill);
                std::memset(dst + fill, value, k);
                fill += k;
            } else {
                // Literal bytes beyond the row's end stay unread.
                const size_t k = in.read(dst + fill, std::min<size_t>(n, row - fill));
                fill += k;
            }
        }
        if (fill < row) std::memset(dst, 0xFF, row);
    }
    return 0;
}

// WordPerfect Graphics: a 16-byte header naming the first record, then records of a type byte
// and a length. The bitmap record (0x0B) and the colour map (0x0E) are used; the scan ends at
// the end record (0x10). Bitmap rows are run-length coded and may repeat the row before.
int32_t ReadWpg(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    const auto h = in.take(16);
    if (h.empty() || h[0] != 0xFF || h[1] != 'W' || h[2] != 'P' || h[3] != 'C') return kBadHeader;
    const uint32_t first =
        uint32_t{h[4]} | uint32_t{h[5]} << 8 | uint32_t{h[6]} << 16 | uint32_t{h[7]} << 24;

    img.rgbPalette.fill(0);
    SetMonoPalette(img, false);
    WpgBitmap bitmap;
    in.seek(first);
    for (;;) {
        const int type = in.getc();
        if (type == ByteReader::kEof) return kNoBitmap;
        const int64_t length = ReadWpgLength(in);
        if (length < 0) return kNoBitmap;
        const size_t start = in.tell();
        if (type == 0x10) break;
        if (type == 0x0B) {
            const auto f = in.take(std::min<size_t>(10, in.remaining()));
            if (f.size() == 10) {
                bitmap = {Le16(&f[0]), Le16(&f[2]), Le16(&f[4]), in.tell()};
            }
        } else if (type == 0x0E) {
            const auto f = in.take(std::min<size_t>(4, in.remaining()));
            if (f.size() == 4) {
                const int firstIndex = Le16(&f[0]);
                const int count = Le16(&f[2]);
                for (int i = 0; i < count; ++i) {
                    const auto rgb = in.take(3);
                    if (rgb.empty()) break;
                    if (firstIndex + i < 256) SetEntry(img, firstIndex + i, rgb[0], rgb[1], rgb[2]);
                }
            }
        }
        // A length past the end of the file ends the scan there (no end record: no bitmap).
        if (static_cast<uint64_t>(length) > in.size() - start) return kNoBitmap;
        in.seek(start + static_cast<size_t>(length));
    }
    if (bitmap.width == 0 || bitmap.height == 0) return kNoBitmap;
    if (bitmap.depth < 1 || bitmap.depth > 8) return kBadHeader;

    // 2-bit pixels come two bits each and are widened to nibbles; 3 and 4 bits are stored
    // as nibbles.
    const int64_t bitsPerPixel = bitmap.depth == 1 ? 1 : bitmap.depth <= 4 ? bitmap.depth : 8;
    const int64_t fileBits = bitsPerPixel == 3 ? 4 : bitsPerPixel;
    const int64_t rowBytes = (bitmap.width * fileBits + 7) / 8;
    if (int32_t rc = Prepare(img, bitmap.width, bitmap.height, bitmap.depth, rowBytes)) return rc;

    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    std::vector<uint8_t> wide;
    const bool twoBit = fileBits == 2;
    if (twoBit) wide.resize(static_cast<size_t>(img.rowStride));
    auto store = [&](int32_t y) {
        if (!twoBit) return StoreRow(img, y, row);
        std::fill(wide.begin(), wide.end(), 0);
        ExpandTwoBits(row, wide.data(), bitmap.width);
        StoreRow(img, y, wide);
    };

    in.seek(bitmap.dataOffset);
    const size_t size = row.size();
    for (int32_t y = 0; y < bitmap.height && !in.eof();) {
        size_t fill = 0;
        int repeats = 0;
        while (fill < size) {
            const int code = in.getc();
            if (code == ByteReader::kEof) break;
            if (code > 0x80) {
                const int b = in.getc();
                if (b == ByteReader::kEof) break;
                const size_t k = std::min<size_t>(code & 0x7F, size - fill);
                std::memset(row.data() + fill, b, k);
                fill += k;
            } else if (code == 0x80) {
                const int n = in.getc();
                if (n == ByteReader::kEof) break;
                const size_t k = std::min<size_t>(n, size - fill);
                std::memset(row.data() + fill, 0xFF, k);
                fill += k;
            } else if (code == 0x00) {
                // The row ends here, keeping the previous row's bytes where nothing new was
                // written, and the next n rows repeat it.
                const int n = in.getc();
                repeats = n == ByteReader::kEof ? 0 : n;
                break;
            } else {
                const auto lit = in.take(std::min<size_t>(code, in.remaining()));
                const size_t k = std::min(lit.size(), size - fill);
                std::memcpy(row.data() + fill, lit.data(), k);
                fill += k;
            }
        }
        for (int c = 0; c <= repeats && y < bitmap.height; ++c)
            store(y++);
    }
    return 0;
}

}  // namespace decode
