// Binary raster operations, pen footprints and the final pass that combines a rasterised
// figure with the surface.
#include <algorithm>
#include <cstdlib>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi_draw.h"

namespace platform::gdi {

Rop2Masks ReduceRop2(int mode, uint32_t p, uint32_t valueMask) {
    // Truth table index (P << 1) | D. For each pen bit the result is 0, 1, D or ~D of the
    // destination bit: AND keeps D where the result follows it, XOR sets or inverts.
    const unsigned table = static_cast<unsigned>(mode - 1) & 0xF;
    const auto all = [](unsigned bit) { return bit ? 0xFFFFFFFFu : 0u; };
    const unsigned f00 = table & 1, f01 = (table >> 1) & 1;
    const unsigned f10 = (table >> 2) & 1, f11 = (table >> 3) & 1;
    Rop2Masks m;
    m.andMask = ((p & all(f10 ^ f11)) | (~p & all(f00 ^ f01))) & valueMask;
    m.xorMask = ((p & all(f10)) | (~p & all(f00))) & valueMask;
    return m;
}

Coverage::Coverage(const RECT& window, bool sparse) : window_(window), sparse_(sparse) {
    if (IsEmpty(window_)) window_ = RECT{0, 0, 0, 0};
    width_ = window_.right - window_.left;
    if (!sparse_)
        cells_.assign(
            static_cast<size_t>(width_) * static_cast<size_t>(window_.bottom - window_.top), kNone);
}

bool PenTraits::On(int64_t position) const {
    if (dashes.empty()) return true;
    int64_t period = 0;
    for (int d : dashes)
        period += d;
    int64_t at = ((position % period) + period) % period;
    for (size_t i = 0; i < dashes.size(); ++i) {
        if (at < dashes[i]) return i % 2 == 0;
        at -= dashes[i];
    }
    return true;
}

PenTraits ResolvePen(const Dc& dc) {
    PenTraits traits;
    const Pen* pen = dc.penObject.get();
    if (!pen || pen->style == PS_NULL) return traits;
    traits.visible = true;
    traits.width = pen->width > 1 ? ToDeviceWidth(dc.mapping, pen->width) : 1;
    // A wide pen costs the square of its width per path pixel; one wider than twice the
    // surface paints over it what a pen of that width paints, so it is drawn at that width.
    if (traits.width > 16) {
        if (auto surface = DcSurface(dc))
            traits.width =
                std::min(traits.width, std::max(16, 2 * std::max(surface->width, surface->height)));
    }
    traits.insideFrame = pen->style == PS_INSIDEFRAME;
    // Cosmetic patterns; a wide pen draws solid.
    if (traits.width == 1) {
        switch (pen->style) {
            case PS_DASH:
                traits.dashes = {18, 6};
                break;
            case PS_DOT:
                traits.dashes = {3, 3};
                break;
            case PS_DASHDOT:
                traits.dashes = {9, 6, 3, 6};
                break;
            case PS_DASHDOTDOT:
                traits.dashes = {9, 3, 3, 3, 3, 3};
                break;
            default:
                break;
        }
    }
    return traits;
}

void StampDisc(Coverage& cover, int64_t x, int64_t y, int width) {
    // Centred on the pixel for odd widths, on its lower right corner for even ones.
    const int64_t half = width / 2;
    const int64_t odd = width % 2;
    const int64_t limit = int64_t{width} * width;
    for (int64_t dy = -half; dy < half + odd; ++dy) {
        const int64_t ey = 2 * dy + 1 - odd;
        for (int64_t dx = -half; dx < half + odd; ++dx) {
            const int64_t ex = 2 * dx + 1 - odd;
            if (ex * ex + ey * ey <= limit) cover.Mark(x + dx, y + dy, kPenOn);
        }
    }
}

void StrokeLine(Coverage& cover, POINT a, POINT b, const PenTraits& pen, int64_t& stylePos) {
    if (!pen.visible) return;
    const int64_t dx = int64_t{b.x} - a.x, dy = int64_t{b.y} - a.y;
    const int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    const bool xMajor = adx >= ady;
    const int64_t major = xMajor ? adx : ady;
    const int64_t minor = xMajor ? ady : adx;
    const int64_t sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int64_t sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const bool wide = pen.width > 1;
    const int64_t steps = wide ? major + 1 : major;  // a wide line keeps its end cap
    // Only the steps whose major coordinate can reach the window are walked.
    const RECT& w = cover.Window();
    const int64_t reach = pen.width;
    const int64_t lo = (xMajor ? w.left : w.top) - reach;
    const int64_t hi = (xMajor ? w.right : w.bottom) + reach;
    const int64_t start = xMajor ? a.x : a.y;
    int64_t first = 0, last = steps - 1;
    if (sMajor > 0) {
        first = std::max<int64_t>(first, lo - start);
        last = std::min<int64_t>(last, hi - start);
    } else {
        first = std::max<int64_t>(first, start - hi);
        last = std::min<int64_t>(last, start - lo);
    }
    // Nearest pixel to the ideal line, halves rounding away from the start: the minor offset
    // at step i is (2 i minor + major) / (2 major), carried from step to step as a quotient and
    // a remainder. The first one takes a 128-bit product: 32-bit coordinates can make 2 i minor
    // overflow 64 bits; the remainder stays below 2 major.
    const int64_t denominator = 2 * std::max<int64_t>(major, 1);
    int64_t m = 0, remainder = 0;
    if (first <= last) {
        const __int128 numerator = __int128{2} * first * minor + major;
        m = static_cast<int64_t>(numerator / denominator);
        remainder = static_cast<int64_t>(numerator % denominator);
    }
    for (int64_t i = first; i <= last; ++i) {
        if (i > first) {
            remainder += 2 * minor;
            if (remainder >= denominator) {
                remainder -= denominator;
                ++m;
            }
        }
        const int64_t px = xMajor ? a.x + sMajor * i : a.x + sMinor * m;
        const int64_t py = xMajor ? a.y + sMinor * m : a.y + sMajor * i;
        if (wide)
            StampDisc(cover, px, py, pen.width);
        else
            cover.Mark(px, py, pen.On(stylePos + i) ? kPenOn : kPenGap);
    }
    if (!wide) stylePos += major;
}

namespace {

// One value into pixels [x0, x1) of a row.
void WriteRun(uint8_t* row, int bits, int x0, int x1, uint32_t value) {
    switch (bits) {
        case 8:
            std::fill(row + x0, row + x1, static_cast<uint8_t>(value));
            break;
        case 24:
            for (uint8_t* p = row + 3 * static_cast<size_t>(x0); x0 < x1; ++x0, p += 3) {
                p[0] = static_cast<uint8_t>(value);
                p[1] = static_cast<uint8_t>(value >> 8);
                p[2] = static_cast<uint8_t>(value >> 16);
            }
            break;
        case 32:
            std::fill(reinterpret_cast<uint32_t*>(row) + x0, reinterpret_cast<uint32_t*>(row) + x1,
                      value);
            break;
        default:
            for (int x = x0; x < x1; ++x)
                WritePixel(row, bits, x, value);
            break;
    }
}

}  // namespace

Canvas::Canvas(Dc& dc) : dc_(dc), surface_(DcSurface(dc)) {
    if (surface_) ++surface_->changes;
    if (!surface_) return;
    format_ = FormatOf(*surface_);
    clip_ = EffectiveClip(dc, surface_->width, surface_->height);
    bounds_ = BoundingBox(clip_);
}

RECT Canvas::Window(int64_t left, int64_t top, int64_t right, int64_t bottom, int penWidth) const {
    const int64_t margin = penWidth + 1;
    RECT w{static_cast<int32_t>(std::max<int64_t>(left - margin, bounds_.left)),
           static_cast<int32_t>(std::max<int64_t>(top - margin, bounds_.top)),
           static_cast<int32_t>(std::min<int64_t>(right + 1 + margin, bounds_.right)),
           static_cast<int32_t>(std::min<int64_t>(bottom + 1 + margin, bounds_.bottom))};
    if (IsEmpty(w)) w = RECT{0, 0, 0, 0};
    return w;
}

void Canvas::Paint(const Coverage& cover) const {
    if (!surface_) return;
    const uint32_t valueMask = format_.ValueMask();
    const auto masksFor = [&](COLORREF color) {
        return ReduceRop2(dc_.rop2, ColorToValue(format_, color & 0x00FFFFFF) & valueMask,
                          valueMask);
    };
    const Pen* pen = dc_.penObject.get();
    const Brush* brush = dc_.brushObject.get();
    const bool opaque = dc_.bkMode == OPAQUE;
    const Rop2Masks penMasks = masksFor(pen ? pen->color : 0);
    const Rop2Masks brushMasks = masksFor(brush ? brush->color : 0);
    const Rop2Masks bkMasks = masksFor(dc_.bkColor);
    const bool brushPaints = brush && !brush->hollow;
    const int bits = surface_->bitCount;
    if (cover.Sparse()) {
        // Pen pixels only, each once.
        for (const Coverage::Marked& m : cover.Marks()) {
            const Rop2Masks* masks =
                m.cover == kPenOn ? &penMasks : (m.cover == kPenGap && opaque ? &bkMasks : nullptr);
            if (!masks) continue;
            const bool visible = std::any_of(clip_.begin(), clip_.end(), [&](const RECT& c) {
                return m.x >= c.left && m.x < c.right && m.y >= c.top && m.y < c.bottom;
            });
            if (!visible) continue;
            uint8_t* row = surface_->Row(m.y);
            const uint32_t d = masks->andMask ? ReadPixel(row, bits, m.x) : 0;
            WritePixel(row, bits, m.x, (d & masks->andMask) ^ masks->xorMask);
        }
        return;
    }
    for (const RECT& clip : clip_) {
        RECT area;
        if (!Intersect(clip, cover.Window(), area)) continue;
        for (int y = area.top; y < area.bottom; ++y) {
            uint8_t* row = surface_->Row(y);
            const uint8_t hatch = brushPaints && brush->hatched ? HatchRow(brush->hatch, y) : 0;
            const uint8_t* cells = cover.Cells(area.left, y);
            for (int x = area.left; x < area.right;) {
                const uint8_t c = cells[x - area.left];
                const Rop2Masks* m = nullptr;
                bool uniform = false;  // the same masks for every pixel of a run of this cover
                switch (c) {
                    case kPenOn:
                        m = &penMasks;
                        uniform = true;
                        break;
                    case kPenGap:
                        if (opaque) m = &bkMasks;
                        uniform = true;
                        break;
                    case kFill:
                        if (!brushPaints) {
                            uniform = true;
                        } else if (!brush->hatched) {
                            m = &brushMasks;
                            uniform = true;
                        } else if ((hatch >> (7 - (x & 7))) & 1) {
                            m = &brushMasks;
                        } else if (opaque) {
                            m = &bkMasks;
                        }
                        break;
                    default:
                        uniform = true;
                        break;
                }
                int end = x + 1;
                if (uniform)
                    while (end < area.right && cells[end - area.left] == c)
                        ++end;
                if (m) {
                    if (m->andMask == 0) {
                        // Modes that ignore the destination (copy, black, white) need not read it.
                        WriteRun(row, bits, x, end, m->xorMask);
                    } else {
                        for (int i = x; i < end; ++i)
                            WritePixel(row, bits, i,
                                       (ReadPixel(row, bits, i) & m->andMask) ^ m->xorMask);
                    }
                }
                x = end;
            }
        }
    }
}

}  // namespace platform::gdi
