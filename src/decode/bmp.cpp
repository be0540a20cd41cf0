// Windows and OS/2 bitmap files: uncompressed 1 to 32 bits, RLE8, RLE4 and bit-field masks.
// Everything the file says is checked before the pixel block is allocated; once it is, the
// picture always loads, and rows a short file never reaches stay zero.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "decode/loader_error.h"
#include "decode/readers.h"

namespace decode {
namespace {

constexpr uint16_t kSignatureBitmap = 0x4D42;  // "BM"
constexpr uint16_t kSignatureArray = 0x4142;   // "BA": OS/2 bitmap array, first image used
constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kMinInfoHeaderSize = 16;  // OS/2 2.x headers may stop after the bit count
constexpr uint32_t kMaxInfoHeaderSize = 124;
constexpr uint32_t kBiAlphaBitFields = 6;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Header sizes that only Windows uses; any other size from 16 to 64 is an OS/2 2.x header, in
// which compression 3 means Huffman 1D and 4 means RLE24 rather than bit fields and JPEG.
bool IsWindowsHeaderSize(uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size > 64;
}

// One colour channel of a bit-field pixel: its bits are masked, shifted down to at most eight
// significant bits, and widened to 0..255 by repeating the bit pattern (so 5 bits of 31 give
// 255, and 8-bit channels pass through unchanged).
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    std::array<uint8_t, 256> scale{};

    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;  // absent channel: always 0
        const int low = std::countr_zero(m);
        const int width = 32 - std::countl_zero(m) - low;
        const int kept = std::min(width, 8);
        shift = low + width - kept;
        for (uint32_t v = 0; v < (1u << kept); ++v) {
            uint32_t out = 0;
            for (int pos = 8 - kept;; pos -= kept) {
                out |= pos >= 0 ? v << pos : v >> -pos;
                if (pos <= 0) break;
            }
            scale[v] = static_cast<uint8_t>(out);
        }
    }
    uint8_t operator()(uint32_t pixel) const { return scale[(pixel & mask) >> shift]; }
};

struct BitFields {
    Channel red, green, blue, alpha;
    explicit BitFields(const std::array<uint32_t, 4>& m)
        : red(m[0]), green(m[1]), blue(m[2]), alpha(m[3]) {}
};

// What the headers say, checked.
struct Layout {
    int64_t width = 0;
    int64_t height = 0;
    bool topDown = false;
    uint16_t bitCount = 0;
    uint32_t compression = BI_RGB;
    std::array<uint32_t, 4> masks{};  // red, green, blue, alpha
    size_t fileRowBytes = 0;
};

int64_t PaddedRow(int64_t bits) {
    return (bits + 31) / 32 * 4;
}

// 2-bit pixels are widened to nibbles: the bitmap has no 2-bit format.
void ExpandTwoBitRow(std::span<const uint8_t> src, uint8_t* dst, int64_t width) {
    const int64_t count = std::min<int64_t>(width, static_cast<int64_t>(src.size()) * 4);
    for (int64_t x = 0; x < count; ++x) {
        const uint8_t v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        dst[x >> 1] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
    }
}

void ConvertRow16(std::span<const uint8_t> src, uint8_t* dst, int64_t width, const BitFields& bf) {
    const int64_t count = std::min<int64_t>(width, static_cast<int64_t>(src.size()) / 2);
    const uint8_t* p = src.data();
    for (int64_t x = 0; x < count; ++x, p += 2, dst += 3) {
        const uint32_t pixel = uint32_t{p[0]} | uint32_t{p[1]} << 8;
        dst[0] = bf.blue(pixel);
        dst[1] = bf.green(pixel);
        dst[2] = bf.red(pixel);
    }
}

// To blue, green, red and alpha (0 when the masks have no alpha channel).
void ConvertRow32(std::span<const uint8_t> src, uint8_t* dst, int64_t width, const BitFields& bf) {
    const int64_t count = std::min<int64_t>(width, static_cast<int64_t>(src.size()) / 4);
    const uint8_t* p = src.data();
    for (int64_t x = 0; x < count; ++x, p += 4, dst += 4) {
        const uint32_t pixel = Le32(p);
        dst[0] = bf.blue(pixel);
        dst[1] = bf.green(pixel);
        dst[2] = bf.red(pixel);
        dst[3] = bf.alpha(pixel);
    }
}

bool IsPlainBgrx(const std::array<uint32_t, 4>& m) {
    return m[0] == 0x00FF0000 && m[1] == 0x0000FF00 && m[2] == 0x000000FF;
}

// Uncompressed pictures whose file rows are the block's rows: one copy per row, or one for
// the whole block when the rows are bottom-up as in the block.
void CopyRows(DecodedImage& img, ByteReader& in, const Layout& l) {
    const size_t stride = static_cast<size_t>(img.rowStride);
    if (!l.topDown) {
        in.read(img.pixels, stride * static_cast<size_t>(l.height));
        return;
    }
    for (int64_t r = 0; r < l.height && !in.eof(); ++r)
        in.read(img.row(static_cast<int32_t>(r)), stride);
}

template <typename RowFn>
void ConvertRows(DecodedImage& img, ByteReader& in, const Layout& l, RowFn convert) {
    for (int64_t i = 0; i < l.height && !in.eof(); ++i) {
        const int64_t r = l.topDown ? i : l.height - 1 - i;
        convert(in.take(std::min(l.fileRowBytes, in.remaining())),
                img.row(static_cast<int32_t>(r)));
    }
}

// RLE8 and RLE4 straight into the zeroed block, in the file's row order. Runs are cut at the
// row's end; a delta moves right and on by rows, leaving skipped pixels 0; end of picture or of
// the data ends decoding.
void DecodeRle(DecodedImage& img, ByteReader& in, const Layout& l) {
    const bool four = l.compression == BI_RLE4;
    const int64_t width = l.width;
    int64_t x = 0;
    int64_t y = 0;  // rows from the first in the file
    auto put = [&](uint8_t* row, int64_t at, uint8_t v) {
        uint8_t& b = row[at >> 1];
        b = (at & 1) ? static_cast<uint8_t>((b & 0xF0) | v)
                     : static_cast<uint8_t>((b & 0x0F) | v << 4);
    };
    while (y < l.height) {
        const int count = in.getc();
        const int value = in.getc();
        if (value == ByteReader::kEof) return;
        const int64_t blockRow = l.topDown ? l.height - 1 - y : y;
        uint8_t* row =
            img.pixels + static_cast<size_t>(blockRow) * static_cast<size_t>(img.rowStride);
        if (count > 0) {
            const int64_t n = std::min<int64_t>(count, width - x);
            if (!four) {
                std::memset(row + x, value, static_cast<size_t>(n));
            } else {
                const uint8_t hi = static_cast<uint8_t>(value >> 4), lo = value & 0x0F;
                for (int64_t i = 0; i < n; ++i)
                    put(row, x + i, (i & 1) ? lo : hi);
            }
            x += n;
            continue;
        }
        switch (value) {
            case 0:  // end of row
                x = 0;
                ++y;
                break;
            case 1:  // end of picture
                return;
            case 2: {  // delta
                const int dx = in.getc();
                const int dy = in.getc();
                if (dy == ByteReader::kEof) return;
                x = std::min(x + dx, width);
                y += dy;
                break;
            }
            default: {  // absolute run of `value` pixels
                const size_t bytes = four ? (static_cast<size_t>(value) + 1) / 2 : value;
                const auto src = in.take(std::min(bytes, in.remaining()));
                const int64_t have = static_cast<int64_t>(src.size()) * (four ? 2 : 1);
                const int64_t n = std::min({int64_t{value}, have, width - x});
                if (!four) {
                    std::memcpy(row + x, src.data(), static_cast<size_t>(n));
                } else {
                    for (int64_t i = 0; i < n; ++i)
                        put(row, x + i, (i & 1) ? src[i >> 1] & 0x0F : src[i >> 1] >> 4);
                }
                x += n;
                if (src.size() < bytes) return;
                if (in.tell() & 1) in.skip(1);
                break;
            }
        }
    }
}

}  // namespace

int32_t ReadBmp(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    in.seek(0);
    auto fileHeader = in.take(kFileHeaderSize);
    if (fileHeader.empty()) return kBadHeader;
    if (Le16(fileHeader.data()) == kSignatureArray) {
        fileHeader = in.take(kFileHeaderSize);
        if (fileHeader.empty()) return kBadHeader;
    }
    if (Le16(fileHeader.data()) != kSignatureBitmap) return kBadHeader;
    const uint32_t offBits = Le32(fileHeader.data() + 10);  // from the start of the file

    // The info header, whatever its version, into the layout of the longest one; fields past
    // the header's own size read as zero.
    std::array<uint8_t, kMaxInfoHeaderSize> h{};
    const auto sizeField = in.take(4);
    if (sizeField.empty()) return kBadHeader;
    const uint32_t headerSize = Le32(sizeField.data());
    const bool core = headerSize == kCoreHeaderSize;
    if (!core && (headerSize < kMinInfoHeaderSize || headerSize > kMaxInfoHeaderSize))
        return kBadHeader;
    const auto rest = in.take(headerSize - 4);
    if (rest.empty()) return kBadHeader;
    std::memcpy(h.data() + 4, rest.data(), rest.size());

    Layout l;
    uint32_t clrUsed = 0;
    if (core) {
        l.width = Le16(&h[4]);
        l.height = Le16(&h[6]);
        l.bitCount = Le16(&h[10]);
    } else {
        l.width = static_cast<int32_t>(Le32(&h[4]));
        const int32_t height = static_cast<int32_t>(Le32(&h[8]));
        l.topDown = height < 0;
        l.height = l.topDown ? -int64_t{height} : height;
        l.bitCount = Le16(&h[14]);
        l.compression = Le32(&h[16]);
        clrUsed = Le32(&h[32]);
    }

    switch (l.bitCount) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return kBadHeader;
    }
    const bool bitFields = l.compression == BI_BITFIELDS || l.compression == kBiAlphaBitFields;
    switch (l.compression) {
        case BI_RGB:
            break;
        case BI_RLE8:
            if (l.bitCount != 8) return kBadHeader;
            break;
        case BI_RLE4:
            if (l.bitCount != 4) return kBadHeader;
            break;
        case BI_BITFIELDS:
        case kBiAlphaBitFields:
            if (!IsWindowsHeaderSize(headerSize)) return kBadHeader;
            if (l.bitCount != 16 && l.bitCount != 32) return kBadHeader;
            break;
        default:
            return kBadHeader;  // JPEG, PNG, Huffman, RLE24 and anything unknown
    }

    if (bitFields) {
        if (headerSize >= 52) {  // the masks are part of the header
            for (int i = 0; i < 4; ++i)
                l.masks[i] = Le32(&h[40 + 4 * i]);
        } else {  // they follow a 40-byte header
            const int count = l.compression == kBiAlphaBitFields ? 4 : 3;
            const auto m = in.take(4 * static_cast<size_t>(count));
            if (m.empty()) return kBadHeader;
            for (int i = 0; i < count; ++i)
                l.masks[i] = Le32(m.data() + 4 * i);
        }
    } else if (l.bitCount == 16) {
        l.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (l.bitCount == 32) {
        l.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    }
    if (l.bitCount == 16)
        for (uint32_t& m : l.masks)
            m &= 0xFFFF;

    // The block: 2-bit pictures become 4-bit, 16-bit ones 24-bit; 32-bit rows stay 4 bytes a
    // pixel.
    const uint16_t outBits = l.bitCount == 2 ? 4 : l.bitCount == 16 ? 24 : l.bitCount;
    const int64_t outStride = PaddedRow(l.width * outBits);
    if (int32_t rc = CheckImageSize(l.width, l.height, outStride)) return rc;
    l.fileRowBytes = static_cast<size_t>(PaddedRow(l.width * l.bitCount));

    // The colour table: 2^bits entries, fewer when biClrUsed says so or when the pixel data
    // starts before the full table would end.
    const size_t tableStart = in.tell();
    const size_t entrySize = core ? 3 : 4;
    size_t entries = 0;
    if (l.bitCount <= 8) {
        entries = size_t{1} << l.bitCount;
        if (clrUsed > 0 && clrUsed < entries) entries = clrUsed;
        if (offBits >= tableStart) entries = std::min(entries, (offBits - tableStart) / entrySize);
    }
    const auto table = in.take(entries * entrySize);
    if (entries && table.empty()) return kReadError;
    img.rgbPalette.fill(0);
    if (l.bitCount == 1) std::fill_n(img.rgbPalette.begin() + 3, 3, uint8_t{255});
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* e = table.data() + i * entrySize;
        img.rgbPalette[i * 3] = e[2];
        img.rgbPalette[i * 3 + 1] = e[1];
        img.rgbPalette[i * 3 + 2] = e[0];
    }

    // bfOffBits places the pixels; one pointing into the headers can only be wrong, and then
    // the pixels are taken to follow the colour table.
    const size_t dataStart = offBits >= tableStart ? offBits : in.tell();
    if (dataStart >= in.size()) return kReadError;

    img.header = {};
    img.header.biWidth = static_cast<int32_t>(l.width);
    img.header.biHeight = static_cast<int32_t>(l.height);
    img.header.biBitCount = outBits;
    img.rowStride = InitDibHeader(img);
    if (outBits == 32) {  // passed on as it is; the colour reduction takes 32-bit rows
        img.header.biBitCount = img.bitInfo.bmiHeader.biBitCount = 32;
        img.rowStride = static_cast<int32_t>(outStride);
    }
    if (int32_t rc = AllocatePixels(img)) return rc;

    in.seek(dataStart);
    if (l.compression == BI_RLE8 || l.compression == BI_RLE4) {
        DecodeRle(img, in, l);
    } else if (l.bitCount == 2) {
        ConvertRows(img, in, l, [&](std::span<const uint8_t> src, uint8_t* dst) {
            ExpandTwoBitRow(src, dst, l.width);
        });
    } else if (l.bitCount == 16) {
        const BitFields bf(l.masks);
        ConvertRows(img, in, l, [&](std::span<const uint8_t> src, uint8_t* dst) {
            ConvertRow16(src, dst, l.width, bf);
        });
    } else if (l.bitCount == 32 && !IsPlainBgrx(l.masks)) {
        const BitFields bf(l.masks);
        ConvertRows(img, in, l, [&](std::span<const uint8_t> src, uint8_t* dst) {
            ConvertRow32(src, dst, l.width, bf);
        });
    } else {
        CopyRows(img, in, l);
    }
    return 0;
}

}  // namespace decode
