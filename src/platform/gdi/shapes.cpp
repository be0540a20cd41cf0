// Closed figures and arcs: rectangles, polygons, ellipses, arcs, pies and chords. Each is
// rasterised into a coverage buffer (outline over interior) and then painted once.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi_draw.h"

namespace platform {

namespace {

using gdi::Coverage;
using gdi::PenTraits;

bool BrushPaints(const gdi::Dc& dc) {
    return dc.brushObject && !dc.brushObject->hollow;
}

// Marks a closed outline through device points (last back to first).
void StrokeClosed(Coverage& cover, const std::vector<POINT>& points, const PenTraits& pen) {
    int64_t style = 0;
    for (size_t i = 0; i < points.size(); ++i)
        gdi::StrokeLine(cover, points[i], points[(i + 1) % points.size()], pen, style);
}

// A line whose both end pixels belong to it: the sides of pies and chords.
void StrokeSide(Coverage& cover, POINT a, POINT b, const PenTraits& pen) {
    int64_t style = 0;
    gdi::StrokeLine(cover, a, b, pen, style);
    if (pen.width > 1)
        gdi::StampDisc(cover, b.x, b.y, pen.width);
    else
        cover.Mark(b.x, b.y, pen.On(style) ? gdi::kPenOn : gdi::kPenGap);
}

// The box of a closed figure, inclusive, after the pen's rules: without a pen the right and
// bottom edges are left out once more, an inside-frame pen keeps its width within the box.
bool FigureBox(const RECT& device, const PenTraits& pen, bool closed, int64_t& l, int64_t& t,
               int64_t& r, int64_t& b) {
    l = device.left;
    t = device.top;
    r = int64_t{device.right} - 1;
    b = int64_t{device.bottom} - 1;
    if (r < l || b < t) return false;
    if (!closed) return true;
    if (!pen.visible) {
        --r;
        --b;
        return r >= l && b >= t;
    }
    if (pen.insideFrame && pen.width > 1) {
        const int64_t before = pen.width / 2, after = (pen.width - 1) / 2;
        l += before;
        t += before;
        r -= after;
        b -= after;
        // Too small for the pen: the figure shrinks to its middle.
        if (r < l) l = r = (l + r) / 2;
        if (b < t) t = b = (t + b) / 2;
    }
    return true;
}

}  // namespace

bool Rectangle(HDC dc, int left, int top, int right, int bottom) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    gdi::Canvas canvas(*target);
    if (!canvas.Ready()) return false;
    const PenTraits pen = gdi::ResolvePen(*target);
    const RECT device = gdi::ToDeviceRect(target->mapping, left, top, right, bottom);
    int64_t l, t, r, b;
    if (!FigureBox(device, pen, true, l, t, r, b)) return true;
    Coverage cover(canvas.Window(l, t, r, b, pen.width));
    const RECT& w = cover.Window();
    if (BrushPaints(*target)) {
        for (int64_t y = std::max<int64_t>(t, w.top); y <= std::min<int64_t>(b, w.bottom - 1); ++y)
            for (int64_t x = std::max<int64_t>(l, w.left); x <= std::min<int64_t>(r, w.right - 1);
                 ++x)
                cover.Mark(x, y, gdi::kFill);
    }
    if (pen.visible) {
        const auto p = [](int64_t x, int64_t y) {
            return POINT{static_cast<int32_t>(x), static_cast<int32_t>(y)};
        };
        StrokeClosed(cover, {p(l, t), p(r, t), p(r, b), p(l, b)}, pen);
    }
    canvas.Paint(cover);
    return true;
}

bool Polygon(HDC dc, const POINT* points, int count) {
    auto target = gdi::LookupDc(dc);
    if (!target || !points || count < 2) return false;
    gdi::Canvas canvas(*target);
    if (!canvas.Ready()) return false;
    const PenTraits pen = gdi::ResolvePen(*target);
    std::vector<POINT> device;
    device.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        device.push_back(gdi::ToDevice(target->mapping, points[i].x, points[i].y));
    int64_t l = device[0].x, r = l, t = device[0].y, b = t;
    for (const POINT& p : device) {
        l = std::min<int64_t>(l, p.x);
        r = std::max<int64_t>(r, p.x);
        t = std::min<int64_t>(t, p.y);
        b = std::max<int64_t>(b, p.y);
    }
    Coverage cover(canvas.Window(l, t, r, b, pen.width));
    const RECT& w = cover.Window();
    if (BrushPaints(*target) && !gdi::IsEmpty(w)) {
        // Pixel centres on each row against the edges: an edge counts for rows from its upper
        // end up to, not including, its lower end; a span covers [enter, leave).
        const bool winding = target->polyFillMode == WINDING;
        std::vector<std::pair<double, int>> crossings;
        for (int64_t y = w.top; y < w.bottom; ++y) {
            crossings.clear();
            for (size_t i = 0; i < device.size(); ++i) {
                const POINT a = device[i], c = device[(i + 1) % device.size()];
                if (a.y == c.y) continue;
                const int64_t y0 = std::min(a.y, c.y), y1 = std::max(a.y, c.y);
                if (y < y0 || y >= y1) continue;
                const double x = a.x + static_cast<double>(y - a.y) * (c.x - a.x) / (c.y - a.y);
                crossings.emplace_back(x, c.y > a.y ? 1 : -1);
            }
            std::sort(crossings.begin(), crossings.end());
            int depth = 0;
            for (size_t i = 0; i + 1 < crossings.size(); ++i) {
                depth += winding ? crossings[i].second : 1;
                const bool inside = winding ? depth != 0 : depth % 2 == 1;
                if (!inside) continue;
                const int64_t x0 =
                    std::max<int64_t>(static_cast<int64_t>(std::ceil(crossings[i].first)), w.left);
                const int64_t x1 = std::min<int64_t>(
                    static_cast<int64_t>(std::ceil(crossings[i + 1].first)), w.right);
                for (int64_t x = x0; x < x1; ++x)
                    cover.Mark(x, y, gdi::kFill);
            }
        }
    }
    if (pen.visible) StrokeClosed(cover, device, pen);
    canvas.Paint(cover);
    return true;
}

namespace {

enum class Curve { Ellipse, Arc, Pie, Chord };

// An ellipse inscribed in an inclusive pixel box. A pixel belongs to it when its centre lies
// within the ellipse grown by half a pixel; the middle row and column always span the box, so
// the figure reaches all four sides.
struct EllipseShape {
    int64_t l, t, r, b;
    double cx, cy, rx, ry;

    EllipseShape(int64_t left, int64_t top, int64_t right, int64_t bottom)
        : l(left),
          t(top),
          r(right),
          b(bottom),
          cx((left + right) / 2.0),
          cy((top + bottom) / 2.0),
          rx((right - left) / 2.0),
          ry((bottom - top) / 2.0) {}

    bool Inside(int64_t x, int64_t y) const {
        if (x < l || x > r || y < t || y > b) return false;
        const double dx = x - cx, dy = y - cy;
        if (std::abs(dx) <= 0.5 || std::abs(dy) <= 0.5) return true;
        const double ex = dx / (rx + 0.5), ey = dy / (ry + 0.5);
        return ex * ex + ey * ey <= 1.0;
    }
    // The columns of row y inside the figure, [lo, hi] (hi < lo for none): an interval
    // symmetric about the centre, found from the ellipse's equation and settled on Inside.
    std::pair<int64_t, int64_t> Span(int64_t y) const {
        if (y < t || y > b) return {1, 0};
        const double dy = y - cy, ey = dy / (ry + 0.5);
        double half = 0.5;
        if (std::abs(dy) <= 0.5)
            half = static_cast<double>(r - l);
        else if (ey * ey < 1.0)
            half = std::max(0.5, (rx + 0.5) * std::sqrt(1.0 - ey * ey));
        int64_t lo = std::max<int64_t>(l, static_cast<int64_t>(std::ceil(cx - half)));
        int64_t hi = std::min<int64_t>(r, static_cast<int64_t>(std::floor(cx + half)));
        while (lo > l && Inside(lo - 1, y))
            --lo;
        while (lo <= hi && !Inside(lo, y))
            ++lo;
        while (hi < r && Inside(hi + 1, y))
            ++hi;
        while (hi >= lo && !Inside(hi, y))
            --hi;
        return {lo, hi};
    }
    bool Edge(int64_t x, int64_t y) const {
        return Inside(x, y) &&
               (!Inside(x - 1, y) || !Inside(x + 1, y) || !Inside(x, y - 1) || !Inside(x, y + 1));
    }
    // Counter-clockwise on the screen, from the positive x axis.
    double Angle(double x, double y) const { return std::atan2(cy - y, x - cx); }
    // Where the ray from the centre at this angle leaves the ellipse, to the nearest pixel.
    POINT PointAt(double angle) const {
        const double c = std::cos(angle), s = std::sin(angle);
        const double ax = std::max(rx, 1e-9), ay = std::max(ry, 1e-9);
        const double k = 1.0 / std::sqrt((c / ax) * (c / ax) + (s / ay) * (s / ay));
        return POINT{static_cast<int32_t>(std::lround(cx + k * c)),
                     static_cast<int32_t>(std::lround(cy - k * s))};
    }
};

double Turn(double a) {
    constexpr double kTwoPi = 2 * std::numbers::pi;
    a = std::fmod(a, kTwoPi);
    return a < 0 ? a + kTwoPi : a;
}

bool DrawCurve(HDC dc, Curve kind, int left, int top, int right, int bottom, int xStart, int yStart,
               int xEnd, int yEnd) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    gdi::Canvas canvas(*target);
    if (!canvas.Ready()) return false;
    const PenTraits pen = gdi::ResolvePen(*target);
    const bool closed = kind != Curve::Arc;
    if (!closed && !pen.visible) return true;
    const RECT device = gdi::ToDeviceRect(target->mapping, left, top, right, bottom);
    int64_t l, t, r, b;
    if (!FigureBox(device, pen, closed, l, t, r, b)) return true;
    const EllipseShape shape(l, t, r, b);

    const POINT start = gdi::ToDevice(target->mapping, xStart, yStart);
    const POINT end = gdi::ToDevice(target->mapping, xEnd, yEnd);
    const double from = shape.Angle(start.x, start.y);
    const double to = shape.Angle(end.x, end.y);
    const bool whole = kind == Curve::Ellipse || from == to;
    const double span = Turn(to - from);
    const auto onArc = [&](double angle) { return whole || Turn(angle - from) <= span; };
    const POINT first = shape.PointAt(from), last = shape.PointAt(to);

    Coverage cover(canvas.Window(l, t, r, b, pen.width));
    const RECT& w = cover.Window();
    if (gdi::IsEmpty(w)) return true;
    // Row spans of the rows the fill and the outline look at, each worked out once.
    const int64_t spanTop = w.top - pen.width - 1;
    std::vector<std::pair<int64_t, int64_t>> spans(
        static_cast<size_t>(w.bottom + pen.width + 1 - spanTop + 1));
    for (size_t i = 0; i < spans.size(); ++i)
        spans[i] = shape.Span(spanTop + static_cast<int64_t>(i));
    const auto spanOf = [&](int64_t y) { return spans[static_cast<size_t>(y - spanTop)]; };

    if (closed && BrushPaints(*target)) {
        // The chord's side: right of the directed line from first to last, y pointing up.
        const double ux = last.x - first.x, uy = first.y - last.y;
        for (int64_t y = w.top; y < w.bottom; ++y) {
            const auto [lo, hi] = spanOf(y);
            for (int64_t x = std::max<int64_t>(lo, w.left); x <= std::min<int64_t>(hi, w.right - 1);
                 ++x) {
                bool in = true;
                if (!whole && kind == Curve::Pie) {
                    in = (x == std::lround(shape.cx) && y == std::lround(shape.cy)) ||
                         onArc(shape.Angle(x, y));
                } else if (!whole && kind == Curve::Chord) {
                    const double px = x - first.x, py = first.y - y;
                    in = ux * py - uy * px <= 0;
                }
                if (in) cover.Mark(x, y, gdi::kFill);
            }
        }
    }

    if (pen.visible) {
        // Outline pixels that can reach the window with the pen's width.
        const int64_t reach = pen.width;
        const int64_t y0 = std::max<int64_t>(w.top - reach, t);
        const int64_t y1 = std::min<int64_t>(w.bottom + reach, b + 1);
        const int64_t x0 = std::max<int64_t>(w.left - reach, l);
        const int64_t x1 = std::min<int64_t>(w.right + reach, r + 1);
        const double perimeterScale = (shape.rx + shape.ry) / 2.0;
        for (int64_t y = y0; y < y1; ++y) {
            // Edge pixels: the row's ends and those without a neighbour above or below; the
            // columns between are inside all three rows.
            const auto [lo, hi] = spanOf(y);
            const auto above = spanOf(y - 1), below = spanOf(y + 1);
            const int64_t innerLo = std::max({lo + 1, above.first, below.first});
            const int64_t innerHi = std::min({hi - 1, above.second, below.second});
            for (int64_t x = std::max(x0, lo); x < std::min(x1, hi + 1); ++x) {
                if (x >= innerLo && x <= innerHi) {
                    x = innerHi;
                    continue;
                }
                // The angle matters only to part of a curve and to dashes.
                const bool needAngle = !whole || (pen.width == 1 && !pen.dashes.empty());
                const double angle = needAngle ? shape.Angle(x, y) : 0.0;
                if (!onArc(angle)) continue;
                if (pen.width > 1) {
                    gdi::StampDisc(cover, x, y, pen.width);
                } else {
                    // Dashes are measured along the curve from its start.
                    const auto along = static_cast<int64_t>(Turn(angle - from) * perimeterScale);
                    cover.Mark(x, y, pen.On(along) ? gdi::kPenOn : gdi::kPenGap);
                }
            }
        }
        if (!whole && kind == Curve::Pie) {
            const POINT centre{static_cast<int32_t>(std::lround(shape.cx)),
                               static_cast<int32_t>(std::lround(shape.cy))};
            StrokeSide(cover, centre, first, pen);
            StrokeSide(cover, centre, last, pen);
        } else if (!whole && kind == Curve::Chord) {
            StrokeSide(cover, first, last, pen);
        }
    }
    canvas.Paint(cover);
    return true;
}

}  // namespace

bool Ellipse(HDC dc, int left, int top, int right, int bottom) {
    return DrawCurve(dc, Curve::Ellipse, left, top, right, bottom, 0, 0, 0, 0);
}

bool Arc(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd) {
    return DrawCurve(dc, Curve::Arc, left, top, right, bottom, xStart, yStart, xEnd, yEnd);
}

bool Pie(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd) {
    return DrawCurve(dc, Curve::Pie, left, top, right, bottom, xStart, yStart, xEnd, yEnd);
}

bool Chord(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
           int yEnd) {
    return DrawCurve(dc, Curve::Chord, left, top, right, bottom, xStart, yStart, xEnd, yEnd);
}

}  // namespace platform
