// Logical coordinates: mapping modes, window and viewport, and the conversions between
// logical and device points.
#include <algorithm>
#include <cstdlib>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi_draw.h"

namespace platform {

namespace gdi {

namespace {

// n / d rounded to nearest, halves away from zero.
int64_t RoundDiv(int64_t n, int64_t d) {
    if (d < 0) n = -n, d = -d;
    return n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d));
}

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

POINT ToDevice(const Mapping& m, int64_t x, int64_t y) {
    return POINT{
        Clamp32(RoundDiv((x - m.windowOrgX) * m.viewportExtX, m.windowExtX) + m.viewportOrgX),
        Clamp32(RoundDiv((y - m.windowOrgY) * m.viewportExtY, m.windowExtY) + m.viewportOrgY)};
}

POINT ToLogical(const Mapping& m, int64_t x, int64_t y) {
    return POINT{
        Clamp32(RoundDiv((x - m.viewportOrgX) * m.windowExtX, m.viewportExtX) + m.windowOrgX),
        Clamp32(RoundDiv((y - m.viewportOrgY) * m.windowExtY, m.viewportExtY) + m.windowOrgY)};
}

RECT ToDeviceRect(const Mapping& m, int left, int top, int right, int bottom) {
    const POINT a = ToDevice(m, left, top);
    const POINT b = ToDevice(m, right, bottom);
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

int ToDeviceWidth(const Mapping& m, int width) {
    const int64_t w = std::llabs(RoundDiv(int64_t{width} * m.viewportExtX, m.windowExtX));
    return static_cast<int>(std::clamp<int64_t>(w, 1, 1 << 20));
}

}  // namespace gdi

namespace {

// Isotropic mapping keeps one scale on both axes: the viewport extent of the axis with the
// larger scale shrinks to match the other.
void MakeIsotropic(gdi::Mapping& m) {
    if (m.mode != MM_ISOTROPIC) return;
    const int64_t wx = std::llabs(m.windowExtX), wy = std::llabs(m.windowExtY);
    const int64_t vx = std::llabs(m.viewportExtX), vy = std::llabs(m.viewportExtY);
    if (vx * wy < vy * wx) {
        const int64_t v = std::max<int64_t>(1, vx * wy / wx);
        m.viewportExtY = static_cast<int32_t>(m.viewportExtY < 0 ? -v : v);
    } else if (vx * wy > vy * wx) {
        const int64_t v = std::max<int64_t>(1, vy * wx / wy);
        m.viewportExtX = static_cast<int32_t>(m.viewportExtX < 0 ? -v : v);
    }
}

bool ScalableMode(int mode) {
    return mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC;
}

}  // namespace

int SetMapMode(HDC dc, int mode) {
    auto target = gdi::LookupDc(dc);
    if (!target || mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
    gdi::Mapping& m = target->mapping;
    const int previous = m.mode;
    m.mode = mode;
    // Fixed modes measure in physical units; y grows upwards in all but MM_TEXT.
    int unitsPerInch = 0;
    switch (mode) {
        case MM_TEXT:
            m.windowExtX = m.windowExtY = m.viewportExtX = m.viewportExtY = 1;
            break;
        case MM_LOMETRIC:
            unitsPerInch = 254;
            break;
        case MM_HIMETRIC:
            unitsPerInch = 2540;
            break;
        case MM_LOENGLISH:
            unitsPerInch = 100;
            break;
        case MM_HIENGLISH:
            unitsPerInch = 1000;
            break;
        case MM_TWIPS:
            unitsPerInch = 1440;
            break;
        default:
            MakeIsotropic(m);
            break;
    }
    if (unitsPerInch) {
        m.windowExtX = m.windowExtY = unitsPerInch;
        m.viewportExtX = GetDeviceCaps(dc, LOGPIXELSX);
        m.viewportExtY = -GetDeviceCaps(dc, LOGPIXELSY);
    }
    return previous;
}

int GetMapMode(HDC dc) {
    auto target = gdi::LookupDc(dc);
    return target ? target->mapping.mode : 0;
}

namespace {

bool SetOrigin(HDC dc, int x, int y, POINT* previous, int32_t gdi::Mapping::*ox,
               int32_t gdi::Mapping::*oy) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    gdi::Mapping& m = target->mapping;
    if (previous) *previous = POINT{m.*ox, m.*oy};
    m.*ox = x;
    m.*oy = y;
    return true;
}

bool SetExtent(HDC dc, int x, int y, SIZE* previous, int32_t gdi::Mapping::*ex,
               int32_t gdi::Mapping::*ey) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    gdi::Mapping& m = target->mapping;
    if (previous) *previous = SIZE{m.*ex, m.*ey};
    if (!ScalableMode(m.mode)) return true;  // fixed modes ignore extents
    if (x == 0 || y == 0) return false;
    m.*ex = x;
    m.*ey = y;
    MakeIsotropic(m);
    return true;
}

bool GetPair(HDC dc, int32_t gdi::Mapping::*a, int32_t gdi::Mapping::*b, int32_t& outA,
             int32_t& outB) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    outA = target->mapping.*a;
    outB = target->mapping.*b;
    return true;
}

}  // namespace

bool SetWindowOrgEx(HDC dc, int x, int y, POINT* previous) {
    return SetOrigin(dc, x, y, previous, &gdi::Mapping::windowOrgX, &gdi::Mapping::windowOrgY);
}
bool SetViewportOrgEx(HDC dc, int x, int y, POINT* previous) {
    return SetOrigin(dc, x, y, previous, &gdi::Mapping::viewportOrgX, &gdi::Mapping::viewportOrgY);
}
bool SetWindowExtEx(HDC dc, int x, int y, SIZE* previous) {
    return SetExtent(dc, x, y, previous, &gdi::Mapping::windowExtX, &gdi::Mapping::windowExtY);
}
bool SetViewportExtEx(HDC dc, int x, int y, SIZE* previous) {
    return SetExtent(dc, x, y, previous, &gdi::Mapping::viewportExtX, &gdi::Mapping::viewportExtY);
}

bool GetWindowOrgEx(HDC dc, POINT* origin) {
    return origin &&
           GetPair(dc, &gdi::Mapping::windowOrgX, &gdi::Mapping::windowOrgY, origin->x, origin->y);
}
bool GetWindowExtEx(HDC dc, SIZE* extent) {
    return extent && GetPair(dc, &gdi::Mapping::windowExtX, &gdi::Mapping::windowExtY, extent->cx,
                             extent->cy);
}
bool GetViewportOrgEx(HDC dc, POINT* origin) {
    return origin && GetPair(dc, &gdi::Mapping::viewportOrgX, &gdi::Mapping::viewportOrgY,
                             origin->x, origin->y);
}
bool GetViewportExtEx(HDC dc, SIZE* extent) {
    return extent && GetPair(dc, &gdi::Mapping::viewportExtX, &gdi::Mapping::viewportExtY,
                             extent->cx, extent->cy);
}

bool LPtoDP(HDC dc, POINT* points, int count) {
    auto target = gdi::LookupDc(dc);
    if (!target || (count > 0 && !points)) return false;
    for (int i = 0; i < count; ++i)
        points[i] = gdi::ToDevice(target->mapping, points[i].x, points[i].y);
    return true;
}

bool DPtoLP(HDC dc, POINT* points, int count) {
    auto target = gdi::LookupDc(dc);
    if (!target || (count > 0 && !points)) return false;
    for (int i = 0; i < count; ++i)
        points[i] = gdi::ToLogical(target->mapping, points[i].x, points[i].y);
    return true;
}

}  // namespace platform
