// Shared machinery of the drawing calls: binary raster operations reduced to masks, the
// logical-to-device transform, clip rectangles, and a coverage buffer that figures are
// rasterised into before their pixels are combined with the surface, each exactly once.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/pixel_format.h"

namespace platform::gdi {

// D' = (D & andMask) ^ xorMask.
struct Rop2Masks {
    uint32_t andMask = 0xFFFFFFFF;
    uint32_t xorMask = 0;
};
// A binary raster operation (R2_BLACK .. R2_WHITE) with pen value p, for pixel values that may
// carry the bits of valueMask.
Rop2Masks ReduceRop2(int mode, uint32_t p, uint32_t valueMask);

// ---- Coordinates ---------------------------------------------------------------------------
POINT ToDevice(const Mapping& m, int64_t x, int64_t y);
POINT ToLogical(const Mapping& m, int64_t x, int64_t y);
// A device rectangle with left <= right and top <= bottom from two logical corners.
RECT ToDeviceRect(const Mapping& m, int left, int top, int right, int bottom);
// A logical length along x in device pixels (at least 1).
int ToDeviceWidth(const Mapping& m, int width);

// The clip rectangles of a DC intersected with a surface of the given size.
std::vector<RECT> EffectiveClip(const Dc& dc, int width, int height);
RECT BoundingBox(const std::vector<RECT>& rects);  // empty rectangle for none
bool Intersect(const RECT& a, const RECT& b, RECT& out);
bool IsEmpty(const RECT& r);

// ---- Coverage ------------------------------------------------------------------------------
// What a pixel of a figure receives.
enum Cover : uint8_t { kNone = 0, kFill = 1, kPenGap = 2, kPenOn = 3 };

class Coverage {
  public:
    // Dense: one cell per pixel of the window. Sparse: a list of the marks in the order made,
    // for figures that mark each pixel at most once (a single line one pixel wide), so that
    // work and memory follow the figure rather than its bounding box.
    explicit Coverage(const RECT& window, bool sparse = false);
    const RECT& Window() const { return window_; }
    bool Contains(int64_t x, int64_t y) const {
        return x >= window_.left && x < window_.right && y >= window_.top && y < window_.bottom;
    }
    uint8_t Get(int64_t x, int64_t y) const {
        return Contains(x, y) ? cells_[Index(x, y)] : uint8_t{kNone};
    }
    // Keeps the stronger of the present and the new cover: pen over gap over fill.
    void Mark(int64_t x, int64_t y, Cover cover) {
        if (!Contains(x, y)) return;
        if (sparse_) {
            marks_.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y), cover});
            return;
        }
        uint8_t& cell = cells_[Index(x, y)];
        if (cover > cell) cell = cover;
    }
    struct Marked {
        int32_t x, y;
        Cover cover;
    };
    bool Sparse() const { return sparse_; }
    // The cells of row y from column x on (dense coverage, a point inside the window).
    const uint8_t* Cells(int64_t x, int64_t y) const { return &cells_[Index(x, y)]; }
    const std::vector<Marked>& Marks() const { return marks_; }

  private:
    size_t Index(int64_t x, int64_t y) const {
        return static_cast<size_t>(y - window_.top) * static_cast<size_t>(width_) +
               static_cast<size_t>(x - window_.left);
    }
    RECT window_;
    int width_ = 0;
    bool sparse_ = false;
    std::vector<uint8_t> cells_;
    std::vector<Marked> marks_;
};

// ---- Pens ------------------------------------------------------------------------------------
struct PenTraits {
    bool visible = false;  // false for PS_NULL
    int width = 1;         // device pixels
    bool insideFrame = false;
    std::vector<int> dashes;  // on, off, on, ... lengths in pixels; empty for solid
    bool On(int64_t position) const;
};
PenTraits ResolvePen(const Dc& dc);

// Marks the pixels of a line from a to b as the pen draws them. Width 1: the Bresenham pixels
// without the last one, styled from stylePos on (which advances by the pixels covered). Wider:
// a disc of the pen's width around every pixel, the last included.
void StrokeLine(Coverage& cover, POINT a, POINT b, const PenTraits& pen, int64_t& stylePos);
// The pen's footprint around one path pixel.
void StampDisc(Coverage& cover, int64_t x, int64_t y, int width);

// ---- Painting --------------------------------------------------------------------------------
// A DC's surface, opened for drawing.
class Canvas {
  public:
    explicit Canvas(Dc& dc);
    bool Ready() const { return surface_ != nullptr; }
    // Where anything can land: the surface within the clip region.
    RECT Bounds() const { return bounds_; }
    // The part of Bounds() a figure inside the device box [left, right] x [top, bottom]
    // (inclusive) can reach with a pen of the given width.
    RECT Window(int64_t left, int64_t top, int64_t right, int64_t bottom, int penWidth) const;
    // Writes every covered pixel within the clip: pen pixels in the pen colour, pen gaps and
    // hatch gaps in the background colour when the DC is opaque, fill pixels with the brush.
    void Paint(const Coverage& cover) const;

  private:
    Dc& dc_;
    std::shared_ptr<Bitmap> surface_;
    PixelFormat format_;
    std::vector<RECT> clip_;
    RECT bounds_{};
};

}  // namespace platform::gdi
