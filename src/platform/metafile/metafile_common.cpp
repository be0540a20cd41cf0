// Shared metafile machinery: DIBs inside records, the object table and polygon sets.
#include <algorithm>
#include <cmath>

#include "platform/metafile/metafile_internal.h"

namespace platform::meta {

bool CheckDib(std::span<const uint8_t> header, std::span<const uint8_t> pixels, uint32_t usage,
              CheckedDib& out) {
    const Reader r(header);
    out = CheckedDib{};
    BITMAPINFOHEADER& h = out.info.bmiHeader;
    const uint32_t size = r.U32(0);
    size_t tableOffset = size;
    size_t entrySize = usage == DIB_PAL_COLORS ? 2 : 4;
    if (size == 12) {
        // The old core header: 16-bit sizes and three-byte colour entries.
        h.biWidth = r.U16(4);
        h.biHeight = r.I16(6);
        h.biPlanes = r.U16(8);
        h.biBitCount = r.U16(10);
        h.biCompression = BI_RGB;
        if (usage == DIB_RGB_COLORS) entrySize = 3;
    } else if (size >= 40 && size <= 124) {
        h.biWidth = r.I32(4);
        h.biHeight = r.I32(8);
        h.biPlanes = r.U16(12);
        h.biBitCount = r.U16(14);
        h.biCompression = r.U32(16);
        h.biClrUsed = r.U32(32);
    } else {
        return false;
    }
    if (r.Failed()) return false;
    h.biSize = 40;
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (h.biPlanes != 1 || h.biWidth <= 0 || h.biWidth > 32767 || h.biHeight == 0 ||
        h.biHeight < -32767 || h.biHeight > 32767)
        return false;
    if (h.biCompression == BI_BITFIELDS) {
        if ((bits != 16 && bits != 32) || !r.Has(40, 12)) return false;
        std::memcpy(out.info.bmiColors, header.data() + 40, 12);
        if (size == 40) tableOffset += 12;
    } else if (h.biCompression != BI_RGB) {
        return false;  // run-length rows are not played
    }
    if (bits <= 8) {
        const uint32_t full = 1u << bits;
        const uint32_t count = h.biClrUsed != 0 && h.biClrUsed < full ? h.biClrUsed : full;
        if (!r.Has(tableOffset, count * entrySize)) return false;
        const uint8_t* table = header.data() + tableOffset;
        auto* raw = reinterpret_cast<uint8_t*>(out.info.bmiColors);
        for (uint32_t i = 0; i < count; ++i) {
            if (entrySize == 3) {
                raw[4 * i] = table[3 * i];
                raw[4 * i + 1] = table[3 * i + 1];
                raw[4 * i + 2] = table[3 * i + 2];
            } else {
                std::memcpy(raw + entrySize * i, table + entrySize * i, entrySize);
            }
        }
        h.biClrUsed = count;
    } else {
        h.biClrUsed = 0;
    }
    out.width = h.biWidth;
    out.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const size_t rows = static_cast<size_t>(gdi::DibStride(out.width, bits)) * out.height;
    if (pixels.size() < rows) return false;
    h.biSizeImage = static_cast<uint32_t>(rows);
    out.bits = pixels.data();
    return true;
}

bool CheckPackedDib(std::span<const uint8_t> packed, uint32_t usage, CheckedDib& out) {
    const Reader r(packed);
    const uint32_t size = r.U32(0);
    if (r.Failed() || (size != 12 && (size < 40 || size > 124))) return false;
    const uint16_t bits = size == 12 ? r.U16(10) : r.U16(14);
    const uint32_t compression = size == 12 ? 0 : r.U32(16);
    const uint32_t used = size == 12 ? 0 : r.U32(32);
    size_t offset = size;
    if (compression == BI_BITFIELDS && size == 40) offset += 12;
    if (bits >= 1 && bits <= 8) {
        const uint32_t full = 1u << bits;
        const uint32_t count = used != 0 && used < full ? used : full;
        const size_t entry = usage == DIB_PAL_COLORS ? 2 : size == 12 ? 3 : 4;
        offset += count * entry;
    }
    if (offset > packed.size()) return false;
    return CheckDib(packed, packed.subspan(offset), usage, out);
}

COLORREF AverageColor(const CheckedDib& dib) {
    // Drawn into a small 32-bit surface so every depth and table is read one way.
    const BITMAPINFO info = DibHeader(8, 8, 32);
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(0);
    const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits);
    COLORREF result = RGB(128, 128, 128);
    if (bitmap && bits) {
        const HGDIOBJ old = SelectObject(dc, bitmap);
        StretchDIBits(dc, 0, 0, 8, 8, 0, 0, std::min(dib.width, 8), std::min(dib.height, 8),
                      dib.bits, &dib.info, DIB_RGB_COLORS, SRCCOPY);
        uint32_t sum[3] = {0, 0, 0};
        const auto* px = static_cast<const uint8_t*>(bits);
        for (int i = 0; i < 64; ++i) {
            sum[0] += px[4 * i + 2];
            sum[1] += px[4 * i + 1];
            sum[2] += px[4 * i];
        }
        result = RGB(sum[0] / 64, sum[1] / 64, sum[2] / 64);
        SelectObject(dc, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(dc);
    return result;
}

std::vector<PointF> RoundRectOutline(double left, double top, double right, double bottom,
                                     double width, double height) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    const double rx = std::min(std::fabs(width) / 2, (right - left) / 2);
    const double ry = std::min(std::fabs(height) / 2, (bottom - top) / 2);
    // Corner centres and the angle each quarter starts at (screen y points down).
    const PointF centres[4] = {{right - rx, top + ry},
                               {right - rx, bottom - ry},
                               {left + rx, bottom - ry},
                               {left + rx, top + ry}};
    const double starts[4] = {-M_PI / 2, 0, M_PI / 2, M_PI};
    constexpr int kSteps = 8;
    std::vector<PointF> out;
    for (int corner = 0; corner < 4; ++corner) {
        for (int i = 0; i <= kSteps; ++i) {
            const double a = starts[corner] + (M_PI / 2) * i / kSteps;
            out.push_back(
                PointF{centres[corner].x + rx * std::cos(a), centres[corner].y + ry * std::sin(a)});
        }
    }
    return out;
}

void ObjectTable::Add(HGDIOBJ object) {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (!used_[i]) {
            slots_[i] = object;
            used_[i] = true;
            return;
        }
    }
    // A table too small for what the records create: the object cannot be referred to.
    if (object && !DeleteObject(object)) pending_.push_back(object);
}

void ObjectTable::Put(size_t slot, HGDIOBJ object) {
    if (slot >= slots_.size() || slot > 65535) {
        if (object && !DeleteObject(object)) pending_.push_back(object);
        return;
    }
    Delete(slot);
    slots_[slot] = object;
    used_[slot] = true;
}

void ObjectTable::Delete(size_t slot) {
    if (slot >= slots_.size()) return;
    const HGDIOBJ object = slots_[slot];
    if (object && !DeleteObject(object)) pending_.push_back(object);
    slots_[slot] = 0;
    used_[slot] = false;
}

void ObjectTable::Clear() {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i]) DeleteObject(slots_[i]);
        slots_[i] = 0;
        used_[i] = false;
    }
    for (const HGDIOBJ object : pending_)
        DeleteObject(object);
    pending_.clear();
}

void DrawPolyPolygon(HDC dc, const std::vector<std::vector<POINT>>& polygons) {
    // One outline visiting every polygon from the first one's start and returning there, so
    // the connecting edges cancel out under both fill modes.
    std::vector<POINT> joined;
    POINT anchor{};
    bool first = true;
    for (const auto& polygon : polygons) {
        if (polygon.empty()) continue;
        if (first) {
            anchor = polygon.front();
            first = false;
        }
        joined.insert(joined.end(), polygon.begin(), polygon.end());
        joined.push_back(polygon.front());
        joined.push_back(anchor);
    }
    if (joined.size() < 3) return;
    const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Polygon(dc, joined.data(), static_cast<int>(joined.size()));
    if (oldPen) SelectObject(dc, oldPen);
    for (const auto& polygon : polygons) {
        if (polygon.size() < 2) continue;
        std::vector<POINT> closed = polygon;
        closed.push_back(polygon.front());
        Polyline(dc, closed.data(), static_cast<int>(closed.size()));
    }
}

}  // namespace platform::meta
