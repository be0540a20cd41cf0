#include "platform/gdi/pixel_format.h"

#include <bit>
#include <cstring>

namespace platform::gdi {
namespace {


static_assert(std::endian::native == std::endian::little, "pixel rows are read as little endian");

struct Channel {
    int shift = 0;
    int length = 0;
};

Channel ChannelOf(uint32_t mask) {
    if (mask == 0) return {};
    return {std::countr_zero(mask), std::popcount(mask)};
}

// Widens a channel of `length` bits to 8 by repeating its bits, as 5-bit 0x1F becomes 0xFF.
uint32_t Expand(uint32_t x, int length) {
    if (length >= 8) return x >> (length - 8);
    uint32_t r = 0;
    for (int pos = 8 - length;; pos -= length) {
        if (pos >= 0) {
            r |= x << pos;
        } else {
            r |= x >> -pos;
            break;
        }
        if (pos == 0) break;
    }
    return r & 0xFF;
}

uint32_t Narrow(uint32_t c, int length) {
    if (length >= 8) return c << (length - 8);
    return c >> (8 - length);
}

bool SameTable(const std::vector<RGBQUAD>& a, const std::vector<RGBQUAD>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].rgbRed != b[i].rgbRed || a[i].rgbGreen != b[i].rgbGreen ||
            a[i].rgbBlue != b[i].rgbBlue)
            return false;
    }
    return true;
}

}  // namespace

uint32_t PixelFormat::ValueMask() const {
    if (bitCount <= 8) return (1u << bitCount) - 1;
    if (bitCount == 24) return 0xFFFFFF;
    return masks[0] | masks[1] | masks[2];
}

std::array<uint32_t, 3> DefaultMasks(int bitCount) {
    if (bitCount == 16) return {0x7C00, 0x03E0, 0x001F};
    if (bitCount == 24 || bitCount == 32) return {0xFF0000, 0x00FF00, 0x0000FF};
    return {0, 0, 0};
}

bool ValidMasks(const std::array<uint32_t, 3>& masks, int bitCount) {
    const uint64_t limit = bitCount >= 32 ? 0xFFFFFFFFull : ((1ull << bitCount) - 1);
    uint32_t seen = 0;
    for (uint32_t m : masks) {
        if (m == 0 || m > limit || (seen & m)) return false;
        const uint32_t shifted = m >> std::countr_zero(m);
        if ((shifted & (shifted + 1)) != 0) return false;  // not one contiguous run
        seen |= m;
    }
    return true;
}

PixelFormat FormatOf(const Bitmap& bitmap) {
    PixelFormat f;
    f.bitCount = bitmap.bitCount;
    if (bitmap.monochrome) {
        f.monochrome = true;
        f.table = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
        return f;
    }
    if (bitmap.bitCount > 8) {
        f.masks = bitmap.bitCount == 24 ? DefaultMasks(24) : bitmap.masks;
        return f;
    }
    if (bitmap.systemPalette) {
        f.systemPalette = true;
        if (bitmap.bitCount == 8) {
            const SystemPalette sys = SnapshotSystemPalette();
            f.table.assign(sys.colors.begin(), sys.colors.end());
            f.matchable.assign(256, 0);
            for (int i = 0; i < 256; ++i)
                f.matchable[i] = sys.used[i] ? 1 : 0;
        } else {
            f.table = DefaultColorTable(bitmap.bitCount);
        }
        return f;
    }
    f.table = bitmap.colors;
    f.table.resize(size_t{1} << bitmap.bitCount, RGBQUAD{0, 0, 0, 0});
    return f;
}

bool ParseDibInfo(const BITMAPINFO* info, uint32_t usage, const Dc* dc, DibLayout& layout) {
    if (!info) return false;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < 40 || h.biSize > 124) return false;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
    if (h.biPlanes != 1) return false;
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return false;

    layout = DibLayout{};
    layout.width = h.biWidth;
    layout.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    layout.topDown = h.biHeight < 0;
    const int64_t stride = ((static_cast<int64_t>(h.biWidth) * bits + 31) / 32) * 4;
    if (stride > INT32_MAX || stride * layout.height > INT32_MAX) return false;
    layout.stride = static_cast<int>(stride);
    PixelFormat& f = layout.format;
    f.bitCount = bits;

    const auto* raw = reinterpret_cast<const uint8_t*>(info);
    if (h.biCompression == BI_BITFIELDS) {
        if (bits != 16 && bits != 32) return false;
        std::memcpy(f.masks.data(), raw + 40, 12);
        if (!ValidMasks(f.masks, bits)) return false;
    } else if (h.biCompression == BI_RGB) {
        f.masks = DefaultMasks(bits);
    } else {
        return false;
    }
    if (bits > 8) return true;

    const uint32_t full = 1u << bits;
    const uint32_t count = h.biClrUsed != 0 && h.biClrUsed < full ? h.biClrUsed : full;
    f.table.assign(full, RGBQUAD{0, 0, 0, 0});
    const uint8_t* colors = raw + h.biSize;
    if (usage == DIB_RGB_COLORS) {
        for (uint32_t i = 0; i < count; ++i) {
            std::memcpy(&f.table[i], colors + 4 * i, 4);
            f.table[i].rgbReserved = 0;
        }
        return true;
    }
    std::shared_ptr<Palette> palette;
    if (dc) palette = dc->paletteObject;
    if (!palette) palette = LookupPalette(StockPalette());
    if (!palette) return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t index;
        std::memcpy(&index, colors + 2 * i, 2);
        if (index < palette->entries.size()) {
            const PALETTEENTRY& e = palette->entries[index];
            f.table[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
        }
    }
    return true;
}

COLORREF ValueToColor(const PixelFormat& format, uint32_t value) {
    if (format.Indexed()) {
        if (value >= format.table.size()) return 0;
        const RGBQUAD& q = format.table[value];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    uint32_t c[3];
    for (int i = 0; i < 3; ++i) {
        const Channel ch = ChannelOf(format.masks[i]);
        c[i] = ch.length ? Expand((value & format.masks[i]) >> ch.shift, ch.length) : 0;
    }
    return RGB(c[0], c[1], c[2]);
}

uint32_t NearestIndex(const RGBQUAD* table, size_t count, const uint8_t* matchable, uint8_t r,
                      uint8_t g, uint8_t b) {
    uint32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (size_t i = 0; i < count; ++i) {
        if (matchable && !matchable[i]) continue;
        const int dr = int{table[i].rgbRed} - r;
        int64_t d = dr * dr;
        if (d >= bestDistance) continue;
        const int dg = int{table[i].rgbGreen} - g;
        d += dg * dg;
        if (d >= bestDistance) continue;
        const int db = int{table[i].rgbBlue} - b;
        d += db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<uint32_t>(i);
            if (d == 0) break;
        }
    }
    return best;
}

uint32_t ColorToValue(const PixelFormat& format, COLORREF color) {
    const uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    if (format.Indexed()) {
        return NearestIndex(format.table.data(), format.table.size(),
                            format.matchable.empty() ? nullptr : format.matchable.data(), r, g, b);
    }
    const uint32_t c[3] = {r, g, b};
    uint32_t v = 0;
    for (int i = 0; i < 3; ++i) {
        const Channel ch = ChannelOf(format.masks[i]);
        if (ch.length) v |= (Narrow(c[i], ch.length) << ch.shift) & format.masks[i];
    }
    return v;
}

uint32_t ReadPixel(const uint8_t* row, int bitCount, int x) {
    switch (bitCount) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
        case 8:
            return row[x];
        case 16: {
            const uint8_t* p = row + 2 * static_cast<size_t>(x);
            return p[0] | (uint32_t{p[1]} << 8);
        }
        case 24: {
            const uint8_t* p = row + 3 * static_cast<size_t>(x);
            return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        }
        default: {
            uint32_t v;
            std::memcpy(&v, row + 4 * static_cast<size_t>(x), 4);
            return v;
        }
    }
}

void WritePixel(uint8_t* row, int bitCount, int x, uint32_t value) {
    switch (bitCount) {
        case 1: {
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            if (value & 1)
                row[x >> 3] |= bit;
            else
                row[x >> 3] &= static_cast<uint8_t>(~bit);
            break;
        }
        case 4: {
            uint8_t& byte = row[x >> 1];
            if (x & 1)
                byte = static_cast<uint8_t>((byte & 0xF0) | (value & 0xF));
            else
                byte = static_cast<uint8_t>((byte & 0x0F) | ((value & 0xF) << 4));
            break;
        }
        case 8:
            row[x] = static_cast<uint8_t>(value);
            break;
        case 16: {
            uint8_t* p = row + 2 * static_cast<size_t>(x);
            p[0] = static_cast<uint8_t>(value);
            p[1] = static_cast<uint8_t>(value >> 8);
            break;
        }
        case 24: {
            uint8_t* p = row + 3 * static_cast<size_t>(x);
            p[0] = static_cast<uint8_t>(value);
            p[1] = static_cast<uint8_t>(value >> 8);
            p[2] = static_cast<uint8_t>(value >> 16);
            break;
        }
        default:
            std::memcpy(row + 4 * static_cast<size_t>(x), &value, 4);
            break;
    }
}

void ReadPixels(const uint8_t* row, int bitCount, const int32_t* xs, int count, uint32_t* out) {
    switch (bitCount) {
        case 1:
            for (int i = 0; i < count; ++i)
                out[i] = (row[xs[i] >> 3] >> (7 - (xs[i] & 7))) & 1;
            break;
        case 4:
            for (int i = 0; i < count; ++i)
                out[i] = (row[xs[i] >> 1] >> ((xs[i] & 1) ? 0 : 4)) & 0xF;
            break;
        case 8:
            for (int i = 0; i < count; ++i)
                out[i] = row[xs[i]];
            break;
        case 16:
            for (int i = 0; i < count; ++i) {
                const uint8_t* p = row + 2 * static_cast<size_t>(xs[i]);
                out[i] = p[0] | (uint32_t{p[1]} << 8);
            }
            break;
        case 24:
            for (int i = 0; i < count; ++i) {
                const uint8_t* p = row + 3 * static_cast<size_t>(xs[i]);
                out[i] = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
            }
            break;
        default:
            for (int i = 0; i < count; ++i)
                std::memcpy(&out[i], row + 4 * static_cast<size_t>(xs[i]), 4);
            break;
    }
}

void ReadPixelsContiguous(const uint8_t* row, int bitCount, int x0, int count, uint32_t* out) {
    switch (bitCount) {
        case 8:
            for (int i = 0; i < count; ++i)
                out[i] = row[x0 + i];
            break;
        case 24: {
            const uint8_t* p = row + 3 * static_cast<size_t>(x0);
            for (int i = 0; i < count; ++i, p += 3)
                out[i] = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
            break;
        }
        case 32:
            std::memcpy(out, row + 4 * static_cast<size_t>(x0), 4 * static_cast<size_t>(count));
            break;
        default:
            for (int i = 0; i < count; ++i)
                out[i] = ReadPixel(row, bitCount, x0 + i);
            break;
    }
}

void WritePixels(uint8_t* row, int bitCount, int x0, int count, const uint32_t* values) {
    switch (bitCount) {
        case 8:
            for (int i = 0; i < count; ++i)
                row[x0 + i] = static_cast<uint8_t>(values[i]);
            break;
        case 24: {
            uint8_t* p = row + 3 * static_cast<size_t>(x0);
            for (int i = 0; i < count; ++i, p += 3) {
                p[0] = static_cast<uint8_t>(values[i]);
                p[1] = static_cast<uint8_t>(values[i] >> 8);
                p[2] = static_cast<uint8_t>(values[i] >> 16);
            }
            break;
        }
        case 32:
            std::memcpy(row + 4 * static_cast<size_t>(x0), values, 4 * static_cast<size_t>(count));
            break;
        default:
            for (int i = 0; i < count; ++i)
                WritePixel(row, bitCount, x0 + i, values[i]);
            break;
    }
}

PixelConverter::PixelConverter(const PixelFormat& src, const PixelFormat& dst, Rules rules,
                               Colors colors)
    : src_(src), dst_(dst), dstMask_(dst.ValueMask()) {
    const bool blit = rules == Rules::Blit;
    if (src.monochrome && dst.monochrome) {
        kind_ = Kind::Identity;
    } else if (blit && src.monochrome) {
        kind_ = Kind::Lut;
        lut_ = {ColorToValue(dst, colors.dstText), ColorToValue(dst, colors.dstBk)};
    } else if (blit && dst.monochrome) {
        kind_ = Kind::ToMono;
        monoBkValue_ = ColorToValue(src, colors.srcBk);
    } else if (src.Indexed()) {
        if (dst.Indexed() && src.bitCount == dst.bitCount &&
            src.systemPalette == dst.systemPalette && SameTable(src.table, dst.table)) {
            kind_ = Kind::Identity;
        } else {
            kind_ = Kind::Lut;
            lut_.resize(size_t{1} << src.bitCount);
            for (uint32_t i = 0; i < lut_.size(); ++i)
                lut_[i] = ColorToValue(dst, ValueToColor(src, i));
        }
    } else if (dst.Indexed()) {
        kind_ = Kind::ToIndexed;
        nearest_ = InverseColormap::For(
            dst.table.data(), dst.table.size(), dst.matchable.empty() ? nullptr : dst.matchable.data());
    } else if (src.masks == dst.masks) {
        kind_ = Kind::Identity;
    } else {
        kind_ = Kind::Channels;
    }
    if (kind_ == Kind::ToIndexed || kind_ == Kind::Channels) {
        for (int c = 0; c < 3; ++c) {
            const Channel ch = ChannelOf(src.masks[c]);
            SourceChannel& sc = channels_[c];
            sc.mask = src.masks[c];
            sc.shift = ch.shift;
            sc.length = ch.length;
            if (ch.length < 8) {
                sc.widen.resize(size_t{1} << ch.length);
                for (uint32_t i = 0; i < sc.widen.size(); ++i)
                    sc.widen[i] = static_cast<uint8_t>(Expand(i, ch.length));
            }
            const Channel d = ChannelOf(dst.masks[c]);
            dstShift_[c] = d.shift;
            dstLength_[c] = d.length;
        }
    }
}

InverseColormap* PixelConverter::ByteMap() const {
    const bool bytes = (src_.bitCount == 24 || src_.bitCount == 32) &&
                       src_.masks == std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    return kind_ == Kind::ToIndexed && bytes && dst_.bitCount == 8 ? nearest_.get() : nullptr;
}

void PixelConverter::Convert(uint32_t* values, int count) {
    switch (kind_) {
        case Kind::Identity:
            return;
        case Kind::Lut: {
            const uint32_t last = static_cast<uint32_t>(lut_.size() - 1);
            for (int i = 0; i < count; ++i)
                values[i] = lut_[values[i] & last];
            return;
        }
        case Kind::ToMono: {
            const uint32_t mask = src_.ValueMask();
            for (int i = 0; i < count; ++i)
                values[i] = (values[i] & mask) == monoBkValue_ ? 1 : 0;
            return;
        }
        case Kind::ToIndexed:
            if (src_.masks == std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}) {
                for (int i = 0; i < count; ++i) {
                    const uint32_t v = values[i];
                    values[i] = nearest_->Nearest(static_cast<uint8_t>(v >> 16),
                                                  static_cast<uint8_t>(v >> 8),
                                                  static_cast<uint8_t>(v));
                }
                return;
            }
            [[fallthrough]];
        case Kind::Channels: {
            const bool indexed = kind_ == Kind::ToIndexed;
            for (int i = 0; i < count; ++i) {
                const uint32_t v = values[i];
                uint32_t rgb[3];
                for (int c = 0; c < 3; ++c) {
                    const SourceChannel& sc = channels_[c];
                    const uint32_t x = (v & sc.mask) >> sc.shift;
                    rgb[c] = sc.length < 8 ? sc.widen[x] : x >> (sc.length - 8);
                }
                if (indexed) {
                    values[i] = nearest_->Nearest(static_cast<uint8_t>(rgb[0]), static_cast<uint8_t>(rgb[1]),
                                                 static_cast<uint8_t>(rgb[2]));
                } else {
                    uint32_t out = 0;
                    for (int c = 0; c < 3; ++c)
                        out |= (Narrow(rgb[c], dstLength_[c]) << dstShift_[c]) & dst_.masks[c];
                    values[i] = out & dstMask_;
                }
            }
            return;
        }
    }
}

}  // namespace platform::gdi
