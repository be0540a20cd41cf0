#include "platform/gdi/raster.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>

#include "platform/gdi/rop.h"

namespace platform::gdi {
namespace {

// One axis of the mapping: the clipped run of destination positions [first, first + count)
// and, when the source is read, the source position of each.
struct Axis {
    int first = 0;
    int count = 0;
    std::vector<int32_t> source;
    bool contiguous = false;  // source[i] == source[0] + i
};

bool MapAxis(int d, int dExtent, int dMin, int dLimit, int s, int sExtent, int sLimit,
             bool withSource, Axis& axis) {
    const int64_t lo = std::min<int64_t>(d, int64_t{d} + dExtent);
    const int64_t hi = std::max<int64_t>(d, int64_t{d} + dExtent);
    const int64_t c0 = std::max<int64_t>(lo, dMin);
    const int64_t c1 = std::min<int64_t>(hi, dLimit);
    if (c0 >= c1) return false;
    if (!withSource) {
        axis.first = static_cast<int>(c0);
        axis.count = static_cast<int>(c1 - c0);
        return true;
    }
    if (dExtent == sExtent && dExtent > 0) {
        // A plain copy: x reads s + (x - d), wherever that lies inside the source.
        const int64_t first = std::max<int64_t>(c0, int64_t{d} - s);
        const int64_t end = std::min<int64_t>(c1, int64_t{d} - s + sLimit);
        if (first >= end) return false;
        axis.first = static_cast<int>(first);
        axis.count = static_cast<int>(end - first);
        axis.source.resize(static_cast<size_t>(axis.count));
        std::iota(axis.source.begin(), axis.source.end(), static_cast<int32_t>(first - d + s));
        axis.contiguous = true;
        return true;
    }
    const int64_t n = dExtent < 0 ? -int64_t{dExtent} : dExtent;
    const int64_t m = sExtent < 0 ? -int64_t{sExtent} : sExtent;
    const int64_t count = c1 - c0;
    std::vector<int32_t>& source = axis.source;
    source.resize(static_cast<size_t>(count));
    // k, the step along the destination extent, runs up with x for a positive extent and down
    // for a negative one. Its source step StretchIndex(k) = floor((2k + 1) m / 2n) is carried
    // from one k to the next as quotient and remainder, without a division per position.
    const int64_t kFirst = dExtent > 0 ? c0 - d : int64_t{d} - c1;
    const int64_t twoN = 2 * n, q = 2 * m / twoN, r = 2 * m % twoN;
    int64_t j = StretchIndex(kFirst, n, m);
    int64_t rem = (2 * kFirst + 1) * m % twoN;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t sx = sExtent > 0 ? s + j : int64_t{s} - 1 - j;
        source[static_cast<size_t>(dExtent > 0 ? i : count - 1 - i)] =
            sx >= 0 && sx < sLimit ? static_cast<int32_t>(sx) : -1;
        j += q;
        rem += r;
        if (rem >= twoN) {
            rem -= twoN;
            ++j;
        }
    }
    // The positions whose source lies inside it: one run, as the mapping is monotonic.
    size_t first = 0, end = source.size();
    while (first < end && source[first] < 0)
        ++first;
    while (end > first && source[end - 1] < 0)
        --end;
    if (first == end) return false;
    source.erase(source.begin() + static_cast<std::ptrdiff_t>(end), source.end());
    source.erase(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(first));
    axis.first = static_cast<int>(c0 + static_cast<int64_t>(first));
    axis.count = static_cast<int>(end - first);
    axis.contiguous = true;
    for (int i = 0; i < axis.count; ++i) {
        if (axis.source[i] < 0) return false;  // mapping is monotonic, so this cannot happen
        if (axis.source[i] != axis.source[0] + i) axis.contiguous = false;
    }
    return true;
}

// Applies the operation to len bytes at d, leaving the bits of pixels outside the run alone
// where the format packs several pixels into a byte. s and p line up with d.
void RopBytes(uint8_t rop, uint8_t* d, const uint8_t* s, const uint8_t* p, size_t len,
              uint8_t firstMask, uint8_t lastMask) {
    if (firstMask == 0xFF && lastMask == 0xFF) {  // whole bytes: nothing to keep
        ApplyRop(rop, d, s, p, len);
        return;
    }
    const uint8_t keepFirst = d[0];
    const uint8_t keepLast = d[len - 1];
    ApplyRop(rop, d, s, p, len);
    if (len == 1) {
        const uint8_t mask = firstMask & lastMask;
        d[0] = static_cast<uint8_t>((keepFirst & ~mask) | (d[0] & mask));
        return;
    }
    d[0] = static_cast<uint8_t>((keepFirst & ~firstMask) | (d[0] & firstMask));
    d[len - 1] = static_cast<uint8_t>((keepLast & ~lastMask) | (d[len - 1] & lastMask));
}

// Clears bits a pixel value may not carry (the unused top of 555 and 888 pixels) after an
// operation that sets bits where all inputs were 0.
void Canonicalise(uint8_t* row, const PixelFormat& format, int x0, int n) {
    const uint32_t mask = format.ValueMask();
    if (format.bitCount == 16 && mask != 0xFFFF) {
        for (int x = x0; x < x0 + n; ++x)
            WritePixel(row, 16, x, ReadPixel(row, 16, x) & mask);
    } else if (format.bitCount == 32 && mask != 0xFFFFFFFF) {
        for (int x = x0; x < x0 + n; ++x)
            WritePixel(row, 32, x, ReadPixel(row, 32, x) & mask);
    }
}

// Reads, maps through a table (or not) and writes in one pass: the row copy that painting
// big pictures spends its time in.
template <int SB, int DB>
void CopyRowFused(const uint8_t* src, const int32_t* xs, int s0, uint8_t* dst, int x0, int n,
                  const uint32_t* table) {
    for (int i = 0; i < n; ++i) {
        const int sx = xs ? xs[i] : s0 + i;
        uint32_t v;
        if constexpr (SB == 1) {
            v = (src[sx >> 3] >> (7 - (sx & 7))) & 1;
        } else if constexpr (SB == 4) {
            v = (src[sx >> 1] >> ((sx & 1) ? 0 : 4)) & 0xF;
        } else if constexpr (SB == 8) {
            v = src[sx];
        } else if constexpr (SB == 16) {
            const uint8_t* p = src + 2 * static_cast<size_t>(sx);
            v = p[0] | (uint32_t{p[1]} << 8);
        } else if constexpr (SB == 24) {
            const uint8_t* p = src + 3 * static_cast<size_t>(sx);
            v = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        } else {
            std::memcpy(&v, src + 4 * static_cast<size_t>(sx), 4);
        }
        if (table) v = table[v];
        const size_t x = static_cast<size_t>(x0 + i);
        if constexpr (DB == 8) {
            dst[x] = static_cast<uint8_t>(v);
        } else if constexpr (DB == 16) {
            dst[2 * x] = static_cast<uint8_t>(v);
            dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        } else if constexpr (DB == 24) {
            dst[3 * x] = static_cast<uint8_t>(v);
            dst[3 * x + 1] = static_cast<uint8_t>(v >> 8);
            dst[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        } else {
            std::memcpy(dst + 4 * x, &v, 4);
        }
    }
}

using FusedCopy = void (*)(const uint8_t*, const int32_t*, int, uint8_t*, int, int,
                           const uint32_t*);

template <int SB>
FusedCopy FusedFor(int dstBits) {
    switch (dstBits) {
        case 8:
            return CopyRowFused<SB, 8>;
        case 16:
            return CopyRowFused<SB, 16>;
        case 24:
            return CopyRowFused<SB, 24>;
        case 32:
            return CopyRowFused<SB, 32>;
        default:
            return nullptr;
    }
}

// A one-pass copy for sources whose values go over unchanged or through a table, into
// byte-aligned destinations; null when none applies.
FusedCopy SelectFusedCopy(int srcBits, int dstBits, const PixelConverter& converter) {
    if (!converter.Identity() && !converter.Table()) return nullptr;
    switch (srcBits) {
        case 1:
            return FusedFor<1>(dstBits);
        case 4:
            return FusedFor<4>(dstBits);
        case 8:
            return FusedFor<8>(dstBits);
        case 16:
            return FusedFor<16>(dstBits);
        case 24:
            return FusedFor<24>(dstBits);
        case 32:
            return FusedFor<32>(dstBits);
        default:
            return nullptr;
    }
}

}  // namespace

int Blit(const Surface& dst, const Surface* src, PixelConverter* converter, const BlitRequest& r) {
    const uint8_t rop = r.rop;
    const bool usesSource = RopUsesSource(rop);
    const bool usesPattern = RopUsesPattern(rop);
    if (usesSource && (!src || !converter)) return 0;
    if (r.dw == 0 || r.dh == 0) return 0;
    if (usesSource && (r.sw == 0 || r.sh == 0)) return 0;

    Axis ax, ay;
    try {
        if (!MapAxis(r.dx, r.dw, std::max(0, r.clipLeft), std::min(dst.width, r.clipRight), r.sx,
                     r.sw, usesSource ? src->width : 0, usesSource, ax))
            return 0;
        if (!MapAxis(r.dy, r.dh, std::max(0, r.clipTop), std::min(dst.height, r.clipBottom), r.sy,
                     r.sh, usesSource ? src->height : 0, usesSource, ay))
            return 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }

    const int bpp = dst.format->bitCount;
    const int x0 = ax.first;
    const int n = ax.count;
    const size_t firstByte = static_cast<size_t>(x0) * bpp / 8;
    const size_t endBit = static_cast<size_t>(x0 + n) * bpp;
    const size_t endByte = (endBit + 7) / 8;
    const uint8_t firstMask = static_cast<uint8_t>(0xFF >> ((static_cast<size_t>(x0) * bpp) % 8));
    const uint8_t lastMask = endBit % 8 ? static_cast<uint8_t>(0xFF << (8 - endBit % 8)) : 0xFF;

    std::vector<uint8_t> patternRow, sourceRow, sourceCopy, keptRow;
    std::vector<uint32_t> values, hatchValues;
    Surface source = usesSource ? *src : Surface{};
    bool bytewise = false;  // the source row can be combined byte for byte as it stands
    FusedCopy fused = nullptr;
    InverseColormap* toIndex = nullptr;  // true colour bytes straight to 8-bit indices
    try {
        if (usesPattern) {
            patternRow.resize(static_cast<size_t>(dst.stride));
            std::vector<uint32_t> fill(static_cast<size_t>(dst.width), r.pattern);
            WritePixels(patternRow.data(), bpp, 0, dst.width, fill.data());
            if (r.hatch) hatchValues.resize(static_cast<size_t>(n));
            if (r.hatch && !r.hatchOpaque) keptRow.resize(static_cast<size_t>(dst.stride));
        }
        if (usesSource) {
            if (source.bits == dst.bits) {
                // Same memory on both sides: read from a copy so overlapping moves come out right.
                sourceCopy.assign(src->bits,
                                  src->bits + static_cast<size_t>(src->stride) * src->height);
                source.bits = sourceCopy.data();
            }
            const int64_t srcBit = int64_t{ax.source[0]} * source.format->bitCount;
            bytewise = converter->Identity() && ax.contiguous && source.format->bitCount == bpp &&
                       srcBit % 8 == int64_t{x0} * bpp % 8;
            if (!bytewise) fused = SelectFusedCopy(source.format->bitCount, bpp, *converter);
            if (!bytewise && !fused) toIndex = converter->ByteMap();
            if (!bytewise && !fused && !toIndex) values.resize(static_cast<size_t>(n));
            if (!bytewise && rop != 0xCC) sourceRow.resize(static_cast<size_t>(dst.stride));
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }

    const bool canonicalise = (rop & 1) && (bpp == 16 || bpp == 32);
    for (int i = 0; i < ay.count; ++i) {
        const int y = ay.first + i;
        uint8_t* row = dst.Row(y);
        const uint8_t* s = nullptr;  // source bytes lined up with the destination row
        if (usesSource) {
            const uint8_t* srcRow = source.Row(ay.source[i]);
            if (bytewise) {
                const size_t srcFirst = static_cast<size_t>(ax.source[0]) * bpp / 8;
                s = srcRow + srcFirst;
                if (rop == 0xCC && bpp >= 8) {
                    std::memmove(row + firstByte, srcRow + srcFirst, endByte - firstByte);
                    continue;
                }
            } else if (fused || toIndex) {
                const int32_t* xs = ax.contiguous ? nullptr : ax.source.data();
                const auto copyRow = [&](uint8_t* out) {
                    if (fused)
                        fused(srcRow, xs, ax.source[0], out, x0, n, converter->Table());
                    else
                        toIndex->MapRow(srcRow, source.format->bitCount / 8, xs, ax.source[0],
                                        out + x0, n);
                };
                if (rop == 0xCC) {
                    // Stretched up, a source row serves several rows in a row: the repeats copy
                    // the row just made.
                    if (i > 0 && bpp >= 8 && ay.source[i] == ay.source[i - 1])
                        std::memcpy(row + firstByte, dst.Row(y - 1) + firstByte,
                                    endByte - firstByte);
                    else
                        copyRow(row);
                    continue;
                }
                copyRow(sourceRow.data());
                s = sourceRow.data() + firstByte;
            } else {
                if (ax.contiguous)
                    ReadPixelsContiguous(srcRow, source.format->bitCount, ax.source[0], n,
                                         values.data());
                else
                    ReadPixels(srcRow, source.format->bitCount, ax.source.data(), n, values.data());
                converter->Convert(values.data(), n);
                if (rop == 0xCC) {
                    WritePixels(row, bpp, x0, n, values.data());
                    continue;
                }
                WritePixels(sourceRow.data(), bpp, x0, n, values.data());
                s = sourceRow.data() + firstByte;
            }
        }
        const uint8_t hatchBits = r.hatch && usesPattern ? r.hatch[y & 7] : 0;
        const auto hatchSet = [&](int x) { return (hatchBits >> (7 - (x & 7))) & 1; };
        if (r.hatch && usesPattern) {
            for (int k = 0; k < n; ++k)
                hatchValues[k] = hatchSet(x0 + k) ? r.pattern : r.hatchBack;
            WritePixels(patternRow.data(), bpp, x0, n, hatchValues.data());
            if (!r.hatchOpaque)
                std::memcpy(keptRow.data() + firstByte, row + firstByte, endByte - firstByte);
        }
        RopBytes(rop, row + firstByte, s, usesPattern ? patternRow.data() + firstByte : nullptr,
                 endByte - firstByte, firstMask, lastMask);
        if (r.hatch && usesPattern && !r.hatchOpaque) {
            // A transparent hatch leaves the destination alone between its lines.
            for (int x = x0; x < x0 + n; ++x)
                if (!hatchSet(x)) WritePixel(row, bpp, x, ReadPixel(keptRow.data(), bpp, x));
        }
        if (canonicalise) Canonicalise(row, *dst.format, x0, n);
    }
    return ay.count;
}

}  // namespace platform::gdi
