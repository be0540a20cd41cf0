// Rectangular regions and the clip region of a DC. A region is a set of disjoint rectangles,
// which is enough for intersecting and excluding rectangles.
#include <algorithm>
#include <climits>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi_draw.h"

namespace platform {

namespace gdi {

bool IsEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

bool Intersect(const RECT& a, const RECT& b, RECT& out) {
    out = RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    return !IsEmpty(out);
}

RECT BoundingBox(const std::vector<RECT>& rects) {
    if (rects.empty()) return RECT{0, 0, 0, 0};
    RECT box = rects.front();
    for (const RECT& r : rects) {
        box.left = std::min(box.left, r.left);
        box.top = std::min(box.top, r.top);
        box.right = std::max(box.right, r.right);
        box.bottom = std::max(box.bottom, r.bottom);
    }
    return box;
}

std::vector<RECT> EffectiveClip(const Dc& dc, int width, int height) {
    const RECT surface{0, 0, width, height};
    if (!dc.hasClip) return IsEmpty(surface) ? std::vector<RECT>{} : std::vector<RECT>{surface};
    std::vector<RECT> out;
    for (const RECT& r : dc.clip) {
        RECT part;
        if (Intersect(r, surface, part)) out.push_back(part);
    }
    return out;
}

}  // namespace gdi

namespace {

int KindOf(const std::vector<RECT>& rects) {
    if (rects.empty()) return NULLREGION;
    return rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RECT Normalised(int left, int top, int right, int bottom) {
    return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
                std::max(top, bottom)};
}

// The area a DC without a clip region can draw on.
RECT Unclipped(const gdi::Dc& dc) {
    auto surface = gdi::DcSurface(dc);
    return surface ? RECT{0, 0, surface->width, surface->height} : RECT{0, 0, 0, 0};
}

std::vector<RECT> Subtract(const std::vector<RECT>& rects, const RECT& cut) {
    std::vector<RECT> out;
    for (const RECT& a : rects) {
        RECT i;
        if (!gdi::Intersect(a, cut, i)) {
            out.push_back(a);
            continue;
        }
        const RECT parts[4] = {
            RECT{a.left, a.top, a.right, i.top}, RECT{a.left, i.bottom, a.right, a.bottom},
            RECT{a.left, i.top, i.left, i.bottom}, RECT{i.right, i.top, a.right, i.bottom}};
        for (const RECT& p : parts)
            if (!gdi::IsEmpty(p)) out.push_back(p);
    }
    return out;
}

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    auto region = std::make_shared<gdi::Region>();
    const RECT r = Normalised(left, top, right, bottom);
    if (!gdi::IsEmpty(r)) region->rects.push_back(r);
    return gdi::RegisterObject(HandleKind::Region, region);
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
    return rect ? CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom) : 0;
}

int GetRgnBox(HRGN region, RECT* box) {
    auto object = gdi::LookupRegion(region);
    if (!object || !box) return RGN_ERROR;
    *box = gdi::BoundingBox(object->rects);
    return KindOf(object->rects);
}

int SelectClipRgn(HDC dc, HRGN region) {
    auto target = gdi::LookupDc(dc);
    if (!target) return RGN_ERROR;
    if (region == 0) {
        target->hasClip = false;
        target->clip.clear();
        return SIMPLEREGION;
    }
    auto object = gdi::LookupRegion(region);
    if (!object) return RGN_ERROR;
    target->hasClip = true;
    target->clip = object->rects;
    return KindOf(target->clip);
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
    auto target = gdi::LookupDc(dc);
    if (!target) return RGN_ERROR;
    const RECT cut = gdi::ToDeviceRect(target->mapping, left, top, right, bottom);
    std::vector<RECT> out;
    if (!target->hasClip) {
        if (!gdi::IsEmpty(cut)) out.push_back(cut);
    } else {
        for (const RECT& r : target->clip) {
            RECT part;
            if (gdi::Intersect(r, cut, part)) out.push_back(part);
        }
    }
    target->hasClip = true;
    target->clip = std::move(out);
    return KindOf(target->clip);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
    auto target = gdi::LookupDc(dc);
    if (!target) return RGN_ERROR;
    const RECT cut = gdi::ToDeviceRect(target->mapping, left, top, right, bottom);
    if (!target->hasClip) {
        const RECT all = Unclipped(*target);
        target->clip.clear();
        if (!gdi::IsEmpty(all)) target->clip.push_back(all);
    }
    target->hasClip = true;
    target->clip = Subtract(target->clip, cut);
    return KindOf(target->clip);
}

int GetClipBox(HDC dc, RECT* box) {
    auto target = gdi::LookupDc(dc);
    if (!target || !box) return RGN_ERROR;
    const RECT all = Unclipped(*target);
    const std::vector<RECT> rects =
        gdi::EffectiveClip(*target, all.right - all.left, all.bottom - all.top);
    const RECT device = gdi::BoundingBox(rects);
    const POINT a = gdi::ToLogical(target->mapping, device.left, device.top);
    const POINT b = gdi::ToLogical(target->mapping, device.right, device.bottom);
    *box = Normalised(a.x, a.y, b.x, b.y);
    return KindOf(rects);
}

}  // namespace platform
