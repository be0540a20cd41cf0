// Blits between DCs and from packed DIBs, rectangle fills and single pixels.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/pixel_format.h"
#include "platform/gdi/raster.h"
#include "platform/gdi/rop.h"

namespace platform {

using gdi::PixelFormat;

namespace {

// The brush as the request's pattern; false when the brush paints nothing. A hatched brush's
// gaps take the DC's background colour, or nothing when the DC is transparent.
bool SetPattern(const gdi::Dc& dc, const std::shared_ptr<gdi::Brush>& brush,
                const PixelFormat& format, gdi::BlitRequest& request,
                std::array<uint8_t, 8>& hatchRows) {
    if (!brush || brush->hollow) return false;
    request.pattern = gdi::ColorToValue(format, brush->color);
    if (brush->hatched) {
        for (int y = 0; y < 8; ++y)
            hatchRows[y] = gdi::HatchRow(brush->hatch, y);
        request.hatch = hatchRows.data();
        request.hatchBack = gdi::ColorToValue(format, dc.bkColor);
        request.hatchOpaque = dc.bkMode == OPAQUE;
    }
    return true;
}

// Runs a blit once per rectangle of the DC's clip region.
int ClippedBlit(const gdi::Dc& dc, const gdi::Surface& dst, const gdi::Surface* src,
                gdi::PixelConverter* converter, gdi::BlitRequest request) {
    int rows = 0;
    for (const RECT& clip : gdi::EffectiveClip(dc, dst.width, dst.height)) {
        request.clipLeft = clip.left;
        request.clipTop = clip.top;
        request.clipRight = clip.right;
        request.clipBottom = clip.bottom;
        const int written = gdi::Blit(dst, src, converter, request);
        if (written < 0) return -1;
        rows += written;
    }
    return rows;
}

// A logical rectangle given by origin and extents in device terms; extents keep their sign.
void MapExtent(const gdi::Mapping& m, int x, int y, int width, int height, int& dx, int& dy,
               int& dw, int& dh) {
    const POINT a = gdi::ToDevice(m, x, y);
    const POINT b = gdi::ToDevice(m, int64_t{x} + width, int64_t{y} + height);
    dx = a.x;
    dy = a.y;
    dw = static_cast<int>(std::clamp<int64_t>(int64_t{b.x} - a.x, INT32_MIN, INT32_MAX));
    dh = static_cast<int>(std::clamp<int64_t>(int64_t{b.y} - a.y, INT32_MIN, INT32_MAX));
}

}  // namespace

bool StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, uint32_t rop) {
    auto dstDc = gdi::LookupDc(dst);
    if (!dstDc) return false;
    auto target = gdi::DcSurface(*dstDc);
    if (!target) return false;
    ++target->changes;
    const uint8_t table = gdi::RopTable(rop);
    const PixelFormat dstFormat = gdi::FormatOf(*target);
    gdi::Surface dstSurface = gdi::SurfaceOf(*target, dstFormat);

    gdi::BlitRequest request;
    MapExtent(dstDc->mapping, x, y, width, height, request.dx, request.dy, request.dw, request.dh);
    request.rop = table;
    std::array<uint8_t, 8> hatchRows{};
    if (gdi::RopUsesPattern(table) &&
        !SetPattern(*dstDc, dstDc->brushObject, dstFormat, request, hatchRows))
        return true;

    if (!gdi::RopUsesSource(table))
        return ClippedBlit(*dstDc, dstSurface, nullptr, nullptr, request) >= 0;

    auto srcDc = gdi::LookupDc(src);
    if (!srcDc) return false;
    auto source = gdi::DcSurface(*srcDc);
    if (!source) return false;
    MapExtent(srcDc->mapping, srcX, srcY, srcWidth, srcHeight, request.sx, request.sy, request.sw,
              request.sh);
    const PixelFormat srcFormat = gdi::FormatOf(*source);
    gdi::Surface srcSurface = gdi::SurfaceOf(*source, srcFormat);
    // Several clip rectangles on one surface: every part must read the pixels as they were.
    std::vector<uint8_t> before;
    if (source == target && dstDc->hasClip && dstDc->clip.size() > 1) {
        before.assign(source->pixels.get(), source->pixels.get() + source->sizeBytes);
        srcSurface.bits = before.data();
    }
    gdi::PixelConverter converter(srcFormat, dstFormat, gdi::PixelConverter::Rules::Blit,
                                  {dstDc->textColor, dstDc->bkColor, srcDc->bkColor});
    return ClippedBlit(*dstDc, dstSurface, &srcSurface, &converter, request) >= 0;
}

bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            uint32_t rop) {
    return StretchBlt(dst, x, y, width, height, src, srcX, srcY, width, height, rop);
}

int StretchDIBits(HDC dst, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, uint32_t usage,
                  uint32_t rop) {
    auto dstDc = gdi::LookupDc(dst);
    if (!dstDc || !bits) return 0;
    gdi::DibLayout layout;
    if (!gdi::ParseDibInfo(info, usage, dstDc.get(), layout)) return 0;
    auto target = gdi::DcSurface(*dstDc);
    if (!target) return 0;
    ++target->changes;
    const uint8_t table = gdi::RopTable(rop);
    const PixelFormat dstFormat = gdi::FormatOf(*target);
    gdi::Surface dstSurface = gdi::SurfaceOf(*target, dstFormat);

    gdi::BlitRequest request;
    MapExtent(dstDc->mapping, x, y, width, height, request.dx, request.dy, request.dw, request.dh);
    request.sx = srcX;
    // The source rectangle of a bottom-up DIB is measured from its lower left corner.
    request.sy =
        layout.topDown ? srcY : static_cast<int>(int64_t{layout.height} - srcY - srcHeight);
    request.sw = srcWidth;
    request.sh = srcHeight;
    request.rop = table;
    std::array<uint8_t, 8> hatchRows{};
    if (gdi::RopUsesPattern(table) &&
        !SetPattern(*dstDc, dstDc->brushObject, dstFormat, request, hatchRows))
        return layout.height;

    gdi::Surface srcSurface{static_cast<uint8_t*>(const_cast<void*>(bits)),
                            layout.stride,
                            layout.width,
                            layout.height,
                            layout.topDown,
                            &layout.format};
    gdi::PixelConverter converter(layout.format, dstFormat, gdi::PixelConverter::Rules::Dib, {});
    if (ClippedBlit(*dstDc, dstSurface, &srcSurface, &converter, request) < 0) return 0;
    return layout.height;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    auto target = gdi::LookupDc(dc);
    auto brushObject = gdi::LookupBrush(brush);
    if (!target || !rect || !brushObject) return 0;
    auto surface = gdi::DcSurface(*target);
    if (!surface) return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 1;
    ++surface->changes;
    const PixelFormat format = gdi::FormatOf(*surface);
    const RECT device =
        gdi::ToDeviceRect(target->mapping, rect->left, rect->top, rect->right, rect->bottom);
    gdi::BlitRequest request;
    request.dx = device.left;
    request.dy = device.top;
    request.dw =
        static_cast<int>(std::min<int64_t>(int64_t{device.right} - device.left, INT32_MAX));
    request.dh =
        static_cast<int>(std::min<int64_t>(int64_t{device.bottom} - device.top, INT32_MAX));
    request.rop = gdi::RopTable(PATCOPY);
    std::array<uint8_t, 8> hatchRows{};
    if (!SetPattern(*target, brushObject, format, request, hatchRows)) return 1;
    return ClippedBlit(*target, gdi::SurfaceOf(*surface, format), nullptr, nullptr, request) >= 0
               ? 1
               : 0;
}

namespace {

// The device pixel of a logical point, when it is on the surface and inside the clip region.
bool DevicePixel(const gdi::Dc& dc, const gdi::Bitmap& surface, int x, int y, POINT& p) {
    p = gdi::ToDevice(dc.mapping, x, y);
    for (const RECT& r : gdi::EffectiveClip(dc, surface.width, surface.height))
        if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) return true;
    return false;
}

}  // namespace

COLORREF GetPixel(HDC dc, int x, int y) {
    auto target = gdi::LookupDc(dc);
    if (!target) return CLR_INVALID;
    auto surface = gdi::DcSurface(*target);
    POINT p;
    if (!surface || !DevicePixel(*target, *surface, x, y, p)) return CLR_INVALID;
    x = p.x;
    y = p.y;
    const PixelFormat format = gdi::FormatOf(*surface);
    return gdi::ValueToColor(format, gdi::ReadPixel(surface->Row(y), surface->bitCount, x));
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    auto target = gdi::LookupDc(dc);
    if (!target) return CLR_INVALID;
    auto surface = gdi::DcSurface(*target);
    POINT p;
    if (!surface || !DevicePixel(*target, *surface, x, y, p)) return CLR_INVALID;
    x = p.x;
    y = p.y;
    const PixelFormat format = gdi::FormatOf(*surface);
    const uint32_t value = gdi::ColorToValue(format, color & 0x00FFFFFF);
    gdi::WritePixel(surface->Row(y), surface->bitCount, x, value);
    ++surface->changes;
    return gdi::ValueToColor(format, value);
}

}  // namespace platform
