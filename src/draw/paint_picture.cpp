// PaintPicture: another picture (bitmap, Windows metafile, icon, enhanced metafile) stretched
// from a source rectangle onto the window or into the bitmap; and Cls.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "control/lumora_ctrl.h"
#include "draw/surface.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/picture.h"

namespace control {

using platform::CTL_E_INVALIDPICTURE;
using platform::CTL_E_INVALIDPROPERTYVALUE;
using platform::Variant;

namespace {

// A property of the picture object; 0 when it cannot be read.
int32_t PictureValue(const platform::Dispatch* picture, platform::DISPID id) {
    Variant value, converted;
    if (!picture || platform::Failed(picture->GetProperty(id, value)) ||
        platform::Failed(platform::ChangeType(value, platform::VT_I4, converted)))
        return 0;
    return converted.AsI4();
}

// Where the picture goes and which part of it, in pixels.
struct Placement {
    int x1, y1, w1, h1;  // destination, after clipping the source
    int x2, y2, w2, h2;  // source, clipped to the picture
    int sw, sh;          // the whole picture at the destination's scale
};

void PaintBitmap(HDC dc, HBITMAP bitmap, HPALETTE palette, HDC controlDc, const Placement& p,
                 uint32_t rop) {
    const HDC source = platform::CreateCompatibleDC(controlDc);
    const HGDIOBJ displaced = platform::SelectObject(source, bitmap);
    const int oldMode = platform::SetStretchBltMode(dc, COLORONCOLOR);
    HPALETTE displacedPalette = 0;
    if (palette) {
        displacedPalette = platform::SelectPalette(source, palette, false);
        platform::RealizePalette(source);
    }
    platform::StretchBlt(dc, p.x1, p.y1, p.w1, p.h1, source, p.x2, p.y2, p.w2, p.h2, rop);
    if (oldMode) platform::SetStretchBltMode(dc, oldMode);
    if (displacedPalette) platform::SelectPalette(source, displacedPalette, false);
    if (displaced) platform::SelectObject(source, displaced);
    platform::DeleteDC(source);
}

// The clip is the destination rectangle; the whole picture is drawn at (p.x1, p.y1).
void PaintVector(HDC dc, int16_t type, HANDLE32 handle, const RECT& destination, const Placement& p,
                 bool mirrorX, bool mirrorY, int targetWidth, int targetHeight) {
    const HRGN clip = platform::CreateRectRgnIndirect(&destination);
    platform::SelectClipRgn(dc, clip);
    if (type == platform::PICTYPE_ICON) {
        platform::DrawIconEx(dc, p.x1, p.y1, handle, p.sw, p.sh, 0, 0, platform::DI_NORMAL);
    } else if (type == platform::PICTYPE_METAFILE) {
        const int level = platform::SaveDC(dc);
        platform::SetMapMode(dc, platform::MM_ANISOTROPIC);
        platform::SetWindowOrgEx(dc, mirrorX ? targetWidth : 0, mirrorY ? targetHeight : 0,
                                 nullptr);
        platform::SetWindowExtEx(dc, mirrorX ? -targetWidth : targetWidth,
                                 mirrorY ? -targetHeight : targetHeight, nullptr);
        platform::SetViewportOrgEx(dc, p.x1, p.y1, nullptr);
        platform::SetViewportExtEx(dc, p.sw, p.sh, nullptr);
        platform::PlayMetaFile(dc, handle);
        platform::RestoreDC(dc, level);
    } else if (type == platform::PICTYPE_ENHMETAFILE) {
        const int level = platform::SaveDC(dc);
        RECT frame{p.x1, p.y1, p.x1 + p.sw, p.y1 + p.sh};
        if (mirrorX) std::swap(frame.left, frame.right);
        if (mirrorY) std::swap(frame.top, frame.bottom);
        platform::PlayEnhMetaFile(dc, handle, &frame);
        platform::RestoreDC(dc, level);
    }
    platform::SelectClipRgn(dc, 0);
    if (clip) platform::DeleteObject(clip);
}

}  // namespace

void CLumoraCtrl::PaintPicture(const std::shared_ptr<platform::Dispatch>& picture, float x1,
                               float y1, std::span<const Variant> optional) {
    if (drawing_.drawTo == 1 && image_.thumbnail != 0) return;
    const platform::Dispatch* object = picture.get();
    const int32_t type = PictureValue(object, platform::DISPID_PICT_TYPE);
    const int32_t himetricWidth = PictureValue(object, platform::DISPID_PICT_WIDTH);
    const int32_t himetricHeight = PictureValue(object, platform::DISPID_PICT_HEIGHT);
    const auto palette = static_cast<HPALETTE>(PictureValue(object, platform::DISPID_PICT_HPAL));
    const auto handle = static_cast<HANDLE32>(PictureValue(object, platform::DISPID_PICT_HANDLE));
    if (type <= 0 || !handle || himetricWidth <= 0 || himetricHeight <= 0 ||
        (drawing_.drawTo == 1 && !image_.bitmap))
        ThrowError(CTL_E_INVALIDPICTURE);

    const auto [targetWidth, targetHeight] = TargetExtent();
    DrawSurface surface(*this, DrawSurface::Refresh::Always);
    const HDC dc = surface.Dc();
    const ScaleFrame frame = surface.Frame();
    const int pw =
        platform::HimetricToPixels(himetricWidth, platform::GetDeviceCaps(dc, LOGPIXELSX));
    const int ph =
        platform::HimetricToPixels(himetricHeight, platform::GetDeviceCaps(dc, LOGPIXELSY));

    const auto given = [&](size_t i) {
        return i < optional.size() && !platform::IsEmptyOrMissing(optional[i]);
    };
    const auto number = [&](size_t i) { return VariantToDouble(optional[i]); };
    int64_t dx = frame.PixelX(x1), dy = frame.PixelY(y1);
    const double w1 = given(0) ? frame.PixelsX(number(0)) : pw;
    const double h1 = given(1) ? frame.PixelsY(number(1)) : ph;
    if (std::abs(w1) > kMaxDrawExtent || std::abs(h1) > kMaxDrawExtent)
        ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    const int64_t dw = RoundToInt(w1), dh = RoundToInt(h1);
    const int64_t sx = given(2) ? frame.PixelX(number(2)) : 0;
    const int64_t sy = given(3) ? frame.PixelY(number(3)) : 0;
    int64_t sw = given(4) ? frame.LengthX(number(4)) : pw - sx;
    int64_t sh = given(5) ? frame.LengthY(number(5)) : ph - sy;
    const uint32_t rop =
        given(6) ? static_cast<uint32_t>(RoundToInt(number(6))) : static_cast<uint32_t>(SRCCOPY);
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;

    // The scale factors of the unclipped rectangles hold for what is left after clipping.
    const auto fx = static_cast<float>(static_cast<double>(dw) / static_cast<double>(sw));
    const auto fy = static_cast<float>(static_cast<double>(dh) / static_cast<double>(sh));
    int64_t cx = sx, cy = sy;
    if (cx < 0) {
        sw += cx;
        cx = 0;
    }
    if (cx + sw > pw) sw = pw - cx;
    if (cy < 0) {
        sh += cy;
        cy = 0;
    }
    if (cy + sh > ph) sh = ph - cy;
    if (sx < 0) dx -= RoundToInt(fx * static_cast<double>(sx));
    if (sy < 0) dy -= RoundToInt(fy * static_cast<double>(sy));

    Placement p{};
    p.x1 = static_cast<int>(dx);
    p.y1 = static_cast<int>(dy);
    p.w1 = RoundToInt(fx * static_cast<double>(sw));
    p.h1 = RoundToInt(fy * static_cast<double>(sh));
    p.x2 = static_cast<int>(cx);
    p.y2 = static_cast<int>(cy);
    p.w2 = static_cast<int>(sw);
    p.h2 = static_cast<int>(sh);
    const double wholeWidth = pw * double{fx}, wholeHeight = ph * double{fy};
    if (std::abs(wholeWidth) > kMaxDrawExtent || std::abs(wholeHeight) > kMaxDrawExtent)
        ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    p.sw = RoundToInt(wholeWidth);
    p.sh = RoundToInt(wholeHeight);

    if (type == platform::PICTYPE_BITMAP) {
        if (sw > 0 && sh > 0) PaintBitmap(dc, handle, palette, view_.controlDC, p, rop);
    } else if (type <= platform::PICTYPE_ENHMETAFILE) {
        const int left = std::min(p.x1, p.x1 + p.w1), top = std::min(p.y1, p.y1 + p.h1);
        const RECT destination{left, top, left + std::abs(p.w1), top + std::abs(p.h1)};
        // The whole picture is drawn with the source corner on the destination corner.
        if (sx > 0) p.x1 -= RoundToInt(static_cast<double>(sx) * fx);
        if (sy > 0) p.y1 -= RoundToInt(static_cast<double>(sy) * fy);
        PaintVector(dc, static_cast<int16_t>(type), handle, destination, p, dw < 0, dh < 0,
                    targetWidth, targetHeight);
    }
}

void CLumoraCtrl::Cls() {
    // The next paint puts the picture back over everything drawn on the window.
    InvalidateControl(nullptr, true);
    drawing_.currentX = 0.0f;
    drawing_.currentY = 0.0f;
}

}  // namespace control
