// Pieces shared by the Windows and enhanced metafile players: a bounds-checked record reader,
// packed DIBs taken out of records, and the table of objects that records create.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/metafile/metafile.h"

namespace platform::meta {

// Little-endian reads from a byte span; every read past the end yields zero and sets a flag.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}
    bool Has(size_t offset, size_t count) const {
        return offset <= data_.size() && count <= data_.size() - offset;
    }
    uint8_t U8(size_t offset) const { return Has(offset, 1) ? data_[offset] : Fail(); }
    uint16_t U16(size_t offset) const {
        if (!Has(offset, 2)) return Fail();
        return static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8);
    }
    int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
    uint32_t U32(size_t offset) const {
        if (!Has(offset, 4)) return Fail();
        return static_cast<uint32_t>(data_[offset]) |
               static_cast<uint32_t>(data_[offset + 1]) << 8 |
               static_cast<uint32_t>(data_[offset + 2]) << 16 |
               static_cast<uint32_t>(data_[offset + 3]) << 24;
    }
    int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
    float F32(size_t offset) const {
        const uint32_t v = U32(offset);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    std::span<const uint8_t> Sub(size_t offset, size_t count) const {
        return Has(offset, count) ? data_.subspan(offset, count) : std::span<const uint8_t>{};
    }
    size_t Size() const { return data_.size(); }
    bool Failed() const { return failed_; }

  private:
    uint8_t Fail() const {
        failed_ = true;
        return 0;
    }
    std::span<const uint8_t> data_;
    mutable bool failed_ = false;
};

// A packed DIB checked against the bytes it came in: header, colour table and rows all inside.
struct CheckedDib {
    BITMAPINFO info{};
    const uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;  // absolute
};
// header: the BITMAPINFO part; pixels: the rows (may be the rest of header's bytes).
bool CheckDib(std::span<const uint8_t> header, std::span<const uint8_t> pixels, uint32_t usage,
              CheckedDib& out);
// A packed DIB: header, colour table and rows in one run of bytes.
bool CheckPackedDib(std::span<const uint8_t> packed, uint32_t usage, CheckedDib& out);

// The average colour of a DIB, used for pattern brushes that the raster engine lacks.
COLORREF AverageColor(const CheckedDib& dib);

// The objects records create, by slot; what is left at the end is deleted.
class ObjectTable {
  public:
    explicit ObjectTable(size_t capacity) : slots_(capacity, 0), used_(capacity, false) {}
    ObjectTable(const ObjectTable&) = delete;
    ObjectTable& operator=(const ObjectTable&) = delete;
    ~ObjectTable() { Clear(); }
    // The lowest free slot receives the object (0 handles still occupy a slot).
    void Add(HGDIOBJ object);
    // Puts an object in a given slot, replacing what was there.
    void Put(size_t slot, HGDIOBJ object);
    HGDIOBJ Get(size_t slot) const { return slot < slots_.size() ? slots_[slot] : 0; }
    void Delete(size_t slot);
    // Deletes everything still held; objects still selected must have been deselected first.
    void Clear();

  private:
    std::vector<HGDIOBJ> slots_;
    std::vector<bool> used_;
    std::vector<HGDIOBJ> pending_;  // deleted by a record while still selected
};

// Fills a set of polygons as one figure (holes stay open under the DC's fill mode), then
// outlines each with the pen.
void DrawPolyPolygon(HDC dc, const std::vector<std::vector<POINT>>& polygons);

// The outline of a rectangle with corners rounded by an ellipse of width x height (the raster
// engine has no rounded rectangles), clockwise on the screen from the top edge.
struct PointF {
    double x, y;
};
std::vector<PointF> RoundRectOutline(double left, double top, double right, double bottom,
                                     double width, double height);


// Plays the records of a Windows metafile (its 18-byte header first) on a DC as it stands.
bool PlayWindowsRecords(HDC dc, std::span<const uint8_t> bits);

// The window extent and origin a Windows metafile sets, if any: used to size a wrapper.
bool FindWindowExtent(std::span<const uint8_t> bits, POINT& origin, SIZE& extent);

// A Windows metafile's bytes when they form a valid header and record chain.
bool ValidWindowsMetafile(std::span<const uint8_t> bits);

}  // namespace platform::meta
