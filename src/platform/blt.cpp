// Blits between DCs and from packed DIBs, rectangle fills and single pixels.
#include <cstdlib>

#include "platform/gdi.h"
#include "platform/gdi_objects.h"
#include "platform/pixel_format.h"
#include "platform/raster.h"
#include "platform/rop.h"

namespace platform {

using gdi::PixelFormat;

namespace {

// The DC's brush as a destination pixel value; false when the brush paints nothing.
bool BrushValue(const gdi::Dc& dc, const std::shared_ptr<gdi::Brush>& brush,
                const PixelFormat& format, uint32_t& value) {
    (void)dc;
    if (!brush || brush->hollow) return false;
    value = gdi::ColorToValue(format, brush->color);
    return true;
}

}  // namespace

bool StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, uint32_t rop) {
    auto dstDc = gdi::LookupDc(dst);
    if (!dstDc) return false;
    auto target = gdi::DcSurface(*dstDc);
    if (!target) return false;
    const uint8_t table = gdi::RopTable(rop);
    const PixelFormat dstFormat = gdi::FormatOf(*target);
    gdi::Surface dstSurface = gdi::SurfaceOf(*target, dstFormat);

    gdi::BlitRequest request;
    request.dx = x;
    request.dy = y;
    request.dw = width;
    request.dh = height;
    request.sx = srcX;
    request.sy = srcY;
    request.sw = srcWidth;
    request.sh = srcHeight;
    request.rop = table;
    if (gdi::RopUsesPattern(table) &&
        !BrushValue(*dstDc, dstDc->brushObject, dstFormat, request.pattern))
        return true;

    if (!gdi::RopUsesSource(table)) return gdi::Blit(dstSurface, nullptr, nullptr, request) >= 0;

    auto srcDc = gdi::LookupDc(src);
    if (!srcDc) return false;
    auto source = gdi::DcSurface(*srcDc);
    if (!source) return false;
    const PixelFormat srcFormat = gdi::FormatOf(*source);
    gdi::Surface srcSurface = gdi::SurfaceOf(*source, srcFormat);
    gdi::PixelConverter converter(srcFormat, dstFormat, gdi::PixelConverter::Rules::Blit,
                                  {dstDc->textColor, dstDc->bkColor, srcDc->bkColor});
    return gdi::Blit(dstSurface, &srcSurface, &converter, request) >= 0;
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
    const uint8_t table = gdi::RopTable(rop);
    const PixelFormat dstFormat = gdi::FormatOf(*target);
    gdi::Surface dstSurface = gdi::SurfaceOf(*target, dstFormat);

    gdi::BlitRequest request;
    request.dx = x;
    request.dy = y;
    request.dw = width;
    request.dh = height;
    request.sx = srcX;
    // The source rectangle of a bottom-up DIB is measured from its lower left corner.
    request.sy =
        layout.topDown ? srcY : static_cast<int>(int64_t{layout.height} - srcY - srcHeight);
    request.sw = srcWidth;
    request.sh = srcHeight;
    request.rop = table;
    if (gdi::RopUsesPattern(table) &&
        !BrushValue(*dstDc, dstDc->brushObject, dstFormat, request.pattern))
        return layout.height;

    gdi::Surface srcSurface{static_cast<uint8_t*>(const_cast<void*>(bits)),
                            layout.stride,
                            layout.width,
                            layout.height,
                            layout.topDown,
                            &layout.format};
    gdi::PixelConverter converter(layout.format, dstFormat, gdi::PixelConverter::Rules::Dib, {});
    if (gdi::Blit(dstSurface, &srcSurface, &converter, request) < 0) return 0;
    return layout.height;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    auto target = gdi::LookupDc(dc);
    auto brushObject = gdi::LookupBrush(brush);
    if (!target || !rect || !brushObject) return 0;
    auto surface = gdi::DcSurface(*target);
    if (!surface) return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 1;
    const PixelFormat format = gdi::FormatOf(*surface);
    gdi::BlitRequest request;
    request.dx = rect->left;
    request.dy = rect->top;
    request.dw = static_cast<int>(std::min<int64_t>(int64_t{rect->right} - rect->left, INT32_MAX));
    request.dh = static_cast<int>(std::min<int64_t>(int64_t{rect->bottom} - rect->top, INT32_MAX));
    request.rop = gdi::RopTable(PATCOPY);
    if (!BrushValue(*target, brushObject, format, request.pattern)) return 1;
    return gdi::Blit(gdi::SurfaceOf(*surface, format), nullptr, nullptr, request) >= 0 ? 1 : 0;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    auto target = gdi::LookupDc(dc);
    if (!target) return CLR_INVALID;
    auto surface = gdi::DcSurface(*target);
    if (!surface || x < 0 || y < 0 || x >= surface->width || y >= surface->height)
        return CLR_INVALID;
    const PixelFormat format = gdi::FormatOf(*surface);
    return gdi::ValueToColor(format, gdi::ReadPixel(surface->Row(y), surface->bitCount, x));
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    auto target = gdi::LookupDc(dc);
    if (!target) return CLR_INVALID;
    auto surface = gdi::DcSurface(*target);
    if (!surface || x < 0 || y < 0 || x >= surface->width || y >= surface->height)
        return CLR_INVALID;
    const PixelFormat format = gdi::FormatOf(*surface);
    const uint32_t value = gdi::ColorToValue(format, color & 0x00FFFFFF);
    gdi::WritePixel(surface->Row(y), surface->bitCount, x, value);
    return gdi::ValueToColor(format, value);
}

}  // namespace platform
