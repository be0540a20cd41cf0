// The current position, lines and polylines.
#include <algorithm>
#include <vector>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi_draw.h"

namespace platform {

namespace {

// Strokes an open path of device points with the DC's pen; the dash pattern runs on from one
// segment to the next.
bool StrokePath(gdi::Dc& dc, const std::vector<POINT>& points) {
    gdi::Canvas canvas(dc);
    if (!canvas.Ready()) return false;
    const gdi::PenTraits pen = gdi::ResolvePen(dc);
    if (!pen.visible || points.size() < 2) return true;
    int64_t left = points[0].x, right = left, top = points[0].y, bottom = top;
    for (const POINT& p : points) {
        left = std::min<int64_t>(left, p.x);
        right = std::max<int64_t>(right, p.x);
        top = std::min<int64_t>(top, p.y);
        bottom = std::max<int64_t>(bottom, p.y);
    }
    // One thin segment never meets itself: its pixels can be listed instead of rasterised
    // into a box-sized buffer.
    const bool sparse = points.size() == 2 && pen.width == 1;
    gdi::Coverage cover(canvas.Window(left, top, right, bottom, pen.width), sparse);
    if (gdi::IsEmpty(cover.Window())) return true;
    int64_t style = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        gdi::StrokeLine(cover, points[i], points[i + 1], pen, style);
    canvas.Paint(cover);
    return true;
}

}  // namespace

bool MoveToEx(HDC dc, int x, int y, POINT* previous) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    if (previous) *previous = target->position;
    target->position = POINT{x, y};
    return true;
}

bool GetCurrentPositionEx(HDC dc, POINT* position) {
    auto target = gdi::LookupDc(dc);
    if (!target || !position) return false;
    *position = target->position;
    return true;
}

bool LineTo(HDC dc, int x, int y) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    const gdi::Mapping& m = target->mapping;
    const std::vector<POINT> path{gdi::ToDevice(m, target->position.x, target->position.y),
                                  gdi::ToDevice(m, x, y)};
    const bool drawn = StrokePath(*target, path);
    target->position = POINT{x, y};
    return drawn;
}

bool Polyline(HDC dc, const POINT* points, int count) {
    auto target = gdi::LookupDc(dc);
    if (!target || !points || count < 2) return false;
    std::vector<POINT> path;
    path.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        path.push_back(gdi::ToDevice(target->mapping, points[i].x, points[i].y));
    return StrokePath(*target, path);
}

}  // namespace platform
