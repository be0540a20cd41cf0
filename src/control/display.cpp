// How the control shows its image: layout and auto-size, the thumbnail mode, scrolling, the
// placement of a small image, the paint with its Paint event and the reaction to size changes.
#include <algorithm>
#include <vector>

#include "control/lumora_ctrl.h"
#include "control/numeric_args.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/metafile/metafile.h"

namespace control {

using platform::CTL_E_INVALIDPROPERTYVALUE;
using platform::SB_HORZ;
using platform::SB_VERT;

namespace {

void FillWith(HDC dc, const RECT& rect, COLORREF color) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    const HBRUSH brush = platform::CreateSolidBrush(color);
    platform::FillRect(dc, &rect, brush);
    platform::DeleteObject(brush);
}

}  // namespace

// ---- Layout -----------------------------------------------------------------------------------

int CLumoraCtrl::BorderAllowance() const {
    return (GetBorderStyle() != 0 ? 2 : 0) + (GetAppearance() != 0 ? 4 : 0);
}

void CLumoraCtrl::HideScrollBars() {
    SetScrollRange(SB_HORZ, 0, 0, false);
    SetScrollRange(SB_VERT, 0, 0, false);
}

void CLumoraCtrl::RebuildScrollState(int cx, int cy) {
    const double zoom = image_.zoom;
    const double aspect = image_.aspect;
    const int32_t horz = RoundToInt(image_.bmpw * zoom) - cx;
    const int32_t vert = RoundToInt(image_.bmph * aspect * zoom) - cy;
    // A bar whose image fits has nothing to scroll and stays hidden.
    SetScrollRange(SB_HORZ, 0, std::max(horz, 0), false);
    SetScrollRange(SB_VERT, 0, std::max(vert, 0), false);
    SetScrollPos(SB_HORZ, 0, true);
    SetScrollPos(SB_VERT, 0, true);
    view_.horzPos = 0;
    view_.vertPos = 0;
    view_.horzScrollPos = 0;
    view_.vertScrollPos = 0;
    view_.vertRange = vert;
    if (view_.vertRange == 100) {
        view_.vertRange = 101;
        SetScrollRange(SB_VERT, 0, 101, false);
    }
    view_.horzRange = horz;
    view_.horzPageStep = view_.horzRange / 5;
    view_.vertPageStep = view_.vertRange / 5;
    view_.horzLineStep = view_.horzRange / 10;
    view_.vertLineStep = view_.vertRange / 10;
    // Anything to scroll takes at least a pixel a step, the picture zoomed or not.
    if (horz > 0) {
        if (view_.horzPageStep == 0) view_.horzPageStep = 1;
        if (view_.horzLineStep == 0) view_.horzLineStep = 1;
    }
    if (vert > 0) {
        if (view_.vertPageStep == 0) view_.vertPageStep = 1;
        if (view_.vertLineStep == 0) view_.vertLineStep = 1;
    }
}

// The extent the zoomed picture needs, border included.
std::pair<int, int> CLumoraCtrl::ShownExtent() const {
    const int b = BorderAllowance();
    const double zoom = image_.zoom;
    const double aspect = image_.aspect;
    return {RoundToInt(image_.bmpw * zoom) + b, RoundToInt(image_.bmph * aspect * zoom) + b};
}

void CLumoraCtrl::UpdateLayout(int16_t mode) {
    view_.horzPos = 0;
    view_.vertPos = 0;
    int cx = 0;
    int cy = 0;
    GetControlSize(&cx, &cy);
    const int b = BorderAllowance();
    const double aspect = image_.aspect;
    const auto [sw, sh] = ShownExtent();
    cx -= b;
    cy -= b;
    view_.clientWidth = static_cast<int16_t>(cx);
    view_.clientHeight = static_cast<int16_t>(cy);

    if (mode < 0 || mode > 4) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    image_.autoSize = mode;
    // Fitted to the control (mode 4) the picture has nothing to scroll either: bars left over
    // from mode 0 would scroll nothing.
    HideScrollBars();
    if (mode == 4) {
        InvalidateControl();
        return;
    }

    if (image_.thumbnail != 0) {
        SetControlSize(image_.thumbnail, image_.thumbnail);
        view_.clientWidth = image_.thumbnail;
        view_.clientHeight = image_.thumbnail;
    } else if (image_.bmpw >= 1 && image_.bmph >= 1) {
        // The size handler that follows a resize keeps ClientSize as the extent less b.
        switch (mode) {
            case 0:
                RebuildScrollState(cx, cy);
                break;
            case 1:
                SetControlSize(sw, sh);
                break;
            case 2:
                SetControlSize(cx + b, RoundToInt(cx * image_.bmph * aspect / image_.bmpw) + b);
                break;
            case 3:
                SetControlSize(
                    static_cast<int>(
                        RoundToInt(static_cast<double>(cy) * image_.bmpw / image_.bmph) / aspect +
                        b),
                    cy + b);
                break;
            default:
                break;
        }
    }
    InvalidateControl();
}

void CLumoraCtrl::Relayout() {
    if (image_.thumbnail != 0)
        ThumbnailLayout(image_.thumbnail);
    else
        UpdateLayout(image_.autoSize);
}

void CLumoraCtrl::ThumbnailLayout(int16_t value) {
    StopAnimation();
    FreeComposeSurface();
    if (value > 0) player_.frameCount = 0;
    if (value < 0) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    image_.thumbnail = value;
    player_.thumbnail = value;
    HideScrollBars();
    if (value == 0) {
        UpdateLayout(image_.autoSize);
    } else {
        SetControlSize(value, value);
        SetModifiedFlag();
        InvalidateControl();
    }
}

void CLumoraCtrl::SetThumbnail(int16_t value) {
    ThumbnailLayout(value);
}

void CLumoraCtrl::SetAutoSize(int16_t value) {
    UpdateLayout(value);
}

void CLumoraCtrl::SetZoom(float value) {
    // The player reads its own copy; a running animation keeps its size.
    if (player_.running.load() != 0) return;
    if (!(value > 0.0f)) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    image_.zoom = value;
    player_.zoom = value;
    HideScrollBars();
    Relayout();
}

void CLumoraCtrl::SetAspect(float value) {
    image_.aspect = value;
    Relayout();
    SetModifiedFlag();
}

void CLumoraCtrl::OnBorderStyleChanged() {
    Relayout();
}

void CLumoraCtrl::OnAppearanceChanged() {
    Relayout();
}

// ---- Scrolling --------------------------------------------------------------------------------

void CLumoraCtrl::Scroll(int bar, int code, int pos) {
    const bool horizontal = bar == SB_HORZ;
    const int32_t range = horizontal ? view_.horzRange : view_.vertRange;
    int32_t& scrollPos = horizontal ? view_.horzScrollPos : view_.vertScrollPos;
    const int32_t line = horizontal ? view_.horzLineStep : view_.vertLineStep;
    const int32_t page = horizontal ? view_.horzPageStep : view_.vertPageStep;
    // An image that fits has nothing to scroll.
    if (range <= 0) return;
    const double factor = (range + 21.0) / range;
    const int32_t p = scrollPos;
    int32_t q = p;
    switch (code) {
        case platform::SB_LINELEFT:
            q = p - line;
            break;
        case platform::SB_LINERIGHT:
            q = p + line;
            break;
        case platform::SB_PAGELEFT:
            q = p - page;
            break;
        case platform::SB_PAGERIGHT:
            q = p + page;
            break;
        case platform::SB_THUMBPOSITION:
        case platform::SB_THUMBTRACK:
            q = pos;
            break;
        default:
            break;
    }
    q = std::clamp(q, 0, range);
    if (q == p) return;
    (horizontal ? view_.horzPos : view_.vertPos) = RoundToInt(q * factor);
    scrollPos = q;
    InvalidateControl();
    SetScrollPos(bar, q, true);
}

void CLumoraCtrl::OnHScroll(int code, int pos) {
    Scroll(SB_HORZ, code, pos);
}

void CLumoraCtrl::OnVScroll(int code, int pos) {
    Scroll(SB_VERT, code, pos);
}

// ---- Size changes -----------------------------------------------------------------------------

void CLumoraCtrl::OnSizeRequest(int& width, int& height) {
    int cx = width;
    int cy = height;
    const int b = BorderAllowance();
    const double aspect = image_.aspect;
    const auto [sw, sh] = ShownExtent();
    cx -= b;
    cy -= b;
    const bool changed = cx != view_.clientWidth || cy != view_.clientHeight || image_.autoSize > 1;
    if (changed && cx > 0 && cy > 0) {
        view_.horzPos = 0;
        view_.vertPos = 0;
        if (image_.autoSize != 0) HideScrollBars();
        if (image_.thumbnail != 0) {
            width = image_.thumbnail;
            height = image_.thumbnail;
        } else if (image_.bmpw > 0 && image_.bmph > 0) {
            switch (image_.autoSize) {
                case 0:
                    RebuildScrollState(cx, cy);
                    break;
                case 1:
                    width = sw;
                    height = sh;
                    break;
                case 2:
                    height = RoundToInt(b + cx * (image_.bmph * aspect / image_.bmpw));
                    break;
                case 3:
                    width = RoundToInt(b + cy * (static_cast<double>(image_.bmpw) / image_.bmph) /
                                               aspect);
                    break;
                default:
                    break;
            }
        }
    }
    SetControlSize(width, height);
}

void CLumoraCtrl::OnSize(int width, int height) {
    const int b = BorderAllowance();
    TakeClientSize(width - b, height - b);
    FireEvent(DISPID_RESIZE_EVENT, {});
}

void CLumoraCtrl::TakeClientSize(int w, int h) {
    // A user scale keeps its units per pixel: it grows with the window.
    if (drawing_.scaleMode == 0 && drawing_.drawTo == 0) {
        if (w != view_.clientWidth && view_.clientWidth != 0)
            drawing_.scaleWidth += static_cast<float>(
                (w - view_.clientWidth) * double{drawing_.scaleWidth} / view_.clientWidth);
        if (h != view_.clientHeight && view_.clientHeight != 0)
            drawing_.scaleHeight += static_cast<float>(
                (h - view_.clientHeight) * double{drawing_.scaleHeight} / view_.clientHeight);
    }
    view_.clientWidth = static_cast<int16_t>(w);
    view_.clientHeight = static_cast<int16_t>(h);
    if (view_.controlDC) ApplyScaleMode(drawing_.scaleMode);
}

void CLumoraCtrl::OnCreate() {
    view_.controlDC = GetDC();
    player_.controlDC = view_.controlDC;
    player_.hwnd = GetHwnd();
}

void CLumoraCtrl::OnDestroy() {
    // The image survives a recreated window; the player, the cursor and the dead DC go.
    StopAnimation();
    ReleaseCustomCursor();
    view_.controlDC = 0;
    player_.controlDC = 0;
}

// ---- Paint ------------------------------------------------------------------------------------

void CLumoraCtrl::OnDraw(HDC dc, const RECT& bounds, const RECT& /*invalid*/) {
    view_.foreignDC = false;
    if (!HasWindow()) {
        RecreateControlWindow();
        view_.foreignDC = true;
    }
    view_.controlDC = GetDC();
    player_.controlDC = view_.controlDC;
    view_.backColorSnapshot = GetBackColor();
    player_.backColor = view_.backColorSnapshot;
    double sx = 1.0;
    double sy = 1.0;
    if (dc != view_.controlDC) {
        if (view_.clientWidth > 0) sx = double(bounds.right - bounds.left) / view_.clientWidth;
        if (view_.clientHeight > 0) sy = double(bounds.bottom - bounds.top) / view_.clientHeight;
        view_.foreignDC = true;
    }

    PaintView(dc, bounds, sx, sy);
    FireEvent(DISPID_PAINT_EVENT, {});
}

void CLumoraCtrl::PaintView(HDC dc, const RECT& bounds, double sx, double sy) {
    FillBackground(dc, bounds);
    if (image_.thumbnail == 0 && player_.frameCount != 0 &&
        (image_.autoSize == 0 || image_.autoSize == 1)) {
        DrawAnimation(dc);
    } else if (image_.enhMetaFile != 0 && image_.thumbnail == 0) {
        RECT rect = bounds;
        if (image_.autoSize == 0) {
            const double zoom = image_.zoom;
            rect = RECT{RoundToInt(-view_.horzPos * sx), RoundToInt(-view_.vertPos * sy),
                        RoundToInt((image_.bmpw * zoom - view_.horzPos) * sx),
                        RoundToInt((image_.bmph * zoom - view_.vertPos) * sy)};
        }
        PlayEnhancedMetafile(dc, rect);
    } else {
        DrawPictureBranch(dc, bounds, sx, sy);
    }
}

void CLumoraCtrl::PlayEnhancedMetafile(HDC dc, const RECT& rect) {
    const int level = platform::SaveDC(dc);
    platform::PlayEnhMetaFile(dc, image_.enhMetaFile, &rect);
    platform::RestoreDC(dc, level);
}

void CLumoraCtrl::RenderVectorPicture(HDC dc, const platform::PictureObject& picture,
                                      const RECT& rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (picture.Type() == platform::PICTYPE_METAFILE) {
        // The metafile sets its own window; the viewport maps it onto the rectangle.
        platform::SetMapMode(dc, platform::MM_ANISOTROPIC);
        platform::SetViewportOrgEx(dc, rect.left, rect.top, nullptr);
        platform::SetViewportExtEx(dc, width, height, nullptr);
        platform::PlayMetaFile(dc, picture.Handle());
    } else if (picture.Type() == platform::PICTYPE_ICON) {
        platform::DrawIconEx(dc, rect.left, rect.top, picture.Handle(), width, height, 0, 0,
                             platform::DI_NORMAL);
    }
}

void CLumoraCtrl::FillBackground(HDC dc, const RECT& bounds) {
    const bool holdsBitmap = picture_.GetType() == platform::PICTYPE_BITMAP;
    if (image_.autoSize >= 1 && image_.autoSize <= 3 && holdsBitmap && !view_.foreignDC) {
        // The picture covers the client area; only the frame outside it needs the colour.
        const RECT client{0, 0, view_.clientWidth, view_.clientHeight};
        const COLORREF color = TranslateColor(GetBackColor(), image_.palette);
        FillWith(dc, RECT{client.right, bounds.top, bounds.right, bounds.bottom}, color);
        FillWith(dc, RECT{bounds.left, client.bottom, client.right, bounds.bottom}, color);
        return;
    }
    const COLORREF color = TranslateColor(GetBackColor(), image_.palette);
    if (!holdsBitmap || view_.foreignDC) {
        FillWith(dc, bounds, color);
        return;
    }
    const double zw = image_.bmpw * double{image_.zoom};
    const double zh = image_.bmph * double{image_.aspect} * image_.zoom;
    const double boundsWidth = bounds.right - bounds.left;
    const double boundsHeight = bounds.bottom - bounds.top;
    const int16_t position = image_.position;
    if (bounds.right > zw) {
        if (position == 1 || position == 5 || position == 8)
            view_.horzPos = static_cast<int32_t>(-((boundsWidth - zw) * 0.5));
        else if (position == 2 || position == 3 || position == 4)
            view_.horzPos = static_cast<int32_t>(-(boundsWidth - zw));
        else
            view_.horzPos = 0;
    }
    if (bounds.bottom > zh) {
        if (position == 3 || position == 7 || position == 8)
            view_.vertPos = static_cast<int32_t>(-((boundsHeight - zh) * 0.5));
        else if (position == 4 || position == 5 || position == 6)
            view_.vertPos = static_cast<int32_t>(-(boundsHeight - zh));
        else
            view_.vertPos = 0;
    }
    const int32_t horzPos = view_.horzPos;
    const int32_t vertPos = view_.vertPos;
    if (zw - horzPos < bounds.right)
        FillWith(dc, RECT{RoundToInt(zw) - horzPos, bounds.top, bounds.right, bounds.bottom},
                 color);
    if (RoundToInt(zh) - vertPos < bounds.bottom)
        FillWith(dc, RECT{0, RoundToInt(zh) - vertPos, bounds.right, bounds.bottom}, color);
    if (horzPos < 0) FillWith(dc, RECT{0, bounds.top, -horzPos, bounds.bottom}, color);
    if (vertPos < 0) FillWith(dc, RECT{0, bounds.top, bounds.right, -vertPos}, color);
}

RECT CLumoraCtrl::ThumbnailImageRect() const {
    const double aspect = image_.aspect;
    const int bmpw = image_.bmpw;
    const int bmph = image_.bmph;
    const int t = image_.thumbnail;
    int left = 0, top = 0, right = 0, bottom = 0;
    if (bmpw >= 1 && bmph >= 1) {
        const int inset = GetAppearance() == 1 ? 4 : 0;
        if (bmph * aspect < bmpw) {
            left = 4;
            right = t - 5 - inset;
            const int h = RoundToInt((right - 4) * aspect * bmph / bmpw);
            top = (t - h - 4) / 2;
            bottom = h + top;
        } else {
            top = 4;
            bottom = t - 5 - inset;
            const int w = RoundToInt((bottom - 4) * static_cast<double>(bmpw) / bmph / aspect);
            left = (t - w - 4) / 2;
            right = w + left;
        }
        if (bottom - top > bmph * aspect && right - left > bmpw) {
            left = (t - bmpw) / 2;
            right = left + bmpw;
            top = static_cast<int>((t - bmph * aspect) * 0.5);
            bottom = static_cast<int>(top + bmph * aspect);
        }
    }
    return RECT{left, top, right, bottom};
}

void CLumoraCtrl::DrawPictureBranch(HDC dc, const RECT& bounds, double sx, double sy) {
    HPALETTE displaced = 0;
    if (image_.palette) {
        displaced = platform::SelectPalette(dc, image_.palette, false);
        platform::RealizePalette(dc);
    }
    const double zoom = image_.zoom;
    const double aspect = image_.aspect;
    const int bmpw = image_.bmpw;
    const int bmph = image_.bmph;
    RECT rect{};
    bool render = true;
    if (const int t = image_.thumbnail; t != 0) {
        const RECT box = ThumbnailImageRect();
        rect = RECT{RoundToInt(box.left * sx), RoundToInt(box.top * sy), RoundToInt(box.right * sx),
                    RoundToInt(box.bottom * sy)};
        if (GetAppearance() != 0) {
            FillWith(dc, bounds, TranslateColor(GetBackColor(), image_.palette));
        } else if (const HBITMAP frame = ThumbnailFrameBitmap()) {
            const HDC mem = platform::CreateCompatibleDC(dc);
            const HGDIOBJ old = platform::SelectObject(mem, frame);
            platform::StretchBlt(dc, bounds.left, bounds.top, bounds.right - bounds.left,
                                 bounds.bottom - bounds.top, mem, 0, 0, kThumbnailFrameSize,
                                 kThumbnailFrameSize, SRCCOPY);
            platform::SelectObject(mem, old);
            platform::DeleteDC(mem);
        }
        if (image_.enhMetaFile != 0) {
            PlayEnhancedMetafile(dc, rect);
            render = false;
        } else if (view_.foreignDC) {
            rect.left += bounds.left;
            rect.right += bounds.left;
            rect.top += bounds.top;
            rect.bottom += bounds.top;
        }
    } else if (view_.foreignDC) {
        if (image_.autoSize != 0) {
            rect = bounds;
        } else {
            int extentWidth = 0;
            GetControlSize(&extentWidth, nullptr);
            const double f =
                extentWidth > 0 ? double(bounds.right - bounds.left) / extentWidth : 1.0;
            rect = RECT{bounds.left - view_.horzPos, bounds.top - view_.vertPos,
                        RoundToInt((bmpw * zoom - view_.horzPos) * f) + bounds.left,
                        RoundToInt((bmph * zoom - view_.vertPos) * aspect * f) + bounds.top};
        }
    } else if (image_.autoSize != 0) {
        rect = RECT{0, 0, view_.clientWidth, view_.clientHeight};
    } else {
        rect = RECT{RoundToInt(-view_.horzPos * sx), RoundToInt(-view_.vertPos * sy),
                    RoundToInt((bmpw * zoom - view_.horzPos) * sx),
                    RoundToInt((bmph * aspect * zoom - view_.vertPos) * sy)};
    }
    if (render) RenderPicture(dc, rect, bounds);
    if (displaced) {
        platform::SelectPalette(dc, displaced, false);
        platform::RealizePalette(dc);
    }
}

void CLumoraCtrl::RenderPicture(HDC dc, const RECT& rect, const RECT& clip) {
    const auto& picture = picture_.Picture();
    if (!picture || picture->Type() <= platform::PICTYPE_NONE) return;
    const int level = platform::SaveDC(dc);
    platform::IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    if (picture->Type() == platform::PICTYPE_BITMAP) {
        BITMAP info{};
        const HBITMAP bitmap = picture->Handle();
        if (platform::GetObject(bitmap, sizeof(info), &info) &&
            !PaintFromViewCache(dc, bitmap, picture->Palette(), info, rect, clip)) {
            const HDC mem = platform::CreateCompatibleDC(dc);
            const HGDIOBJ old = platform::SelectObject(mem, bitmap);
            HPALETTE oldPalette = 0;
            if (picture->Palette())
                oldPalette = platform::SelectPalette(mem, picture->Palette(), false);
            platform::SetStretchBltMode(dc, COLORONCOLOR);
            platform::StretchBlt(dc, rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top, mem, 0, 0, info.bmWidth, info.bmHeight,
                                 SRCCOPY);
            if (oldPalette) platform::SelectPalette(mem, oldPalette, false);
            platform::SelectObject(mem, old);
            platform::DeleteDC(mem);
        }
    } else {
        RenderVectorPicture(dc, *picture, rect);
    }
    platform::RestoreDC(dc, level);
}

// Only the window's own DC is served from the cache: other DCs are one-off targets. On a palette
// display the cache holds system-palette indices, valid until the system palette changes.
bool CLumoraCtrl::PaintFromViewCache(HDC dc, HBITMAP bitmap, HPALETTE palette, const BITMAP& info,
                                     const RECT& rect, const RECT& clip) {
    const int depth = platform::GetDeviceCaps(dc, BITSPIXEL);
    if (dc != view_.controlDC) return false;
    BITMAP window{};
    if (!platform::GetObject(platform::GetCurrentObject(dc, OBJ_BITMAP), sizeof(window), &window))
        return false;
    RECT area{std::max({rect.left, clip.left, 0}), std::max({rect.top, clip.top, 0}),
              std::min({rect.right, clip.right, window.bmWidth}),
              std::min({rect.bottom, clip.bottom, window.bmHeight})};
    if (area.right <= area.left || area.bottom <= area.top) return true;  // nothing shows

    const uint64_t changes = platform::GetBitmapChangeCount(bitmap);
    const uint64_t systemPalette = depth <= 8 ? platform::GetSystemPaletteChangeCount() : 0;
    auto same = [](const RECT& a, const RECT& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    ViewCache& c = viewCache_;
    if (!(c.bitmap && c.source == bitmap && c.palette == palette && c.sourceChanges == changes &&
          same(c.rect, rect) && same(c.area, area) && c.depth == depth &&
          c.systemPalette == systemPalette)) {
        FreeViewCache();
        const int w = area.right - area.left, h = area.bottom - area.top;
        const HBITMAP cache = platform::CreateCompatibleBitmap(dc, w, h);
        const HDC cacheDC = cache ? platform::CreateCompatibleDC(dc) : 0;
        const HDC mem = cacheDC ? platform::CreateCompatibleDC(dc) : 0;
        if (!mem) {
            if (cacheDC) platform::DeleteDC(cacheDC);
            if (cache) platform::DeleteObject(cache);
            return false;
        }
        const HGDIOBJ oldCache = platform::SelectObject(cacheDC, cache);
        const HGDIOBJ oldSource = platform::SelectObject(mem, bitmap);
        const HPALETTE oldPalette = palette ? platform::SelectPalette(mem, palette, false) : 0;
        platform::SetStretchBltMode(cacheDC, COLORONCOLOR);
        // The same stretch as straight onto the window, shifted so the area lands at (0, 0):
        // every pixel samples the picture where the window's pixel would have.
        platform::StretchBlt(cacheDC, rect.left - area.left, rect.top - area.top,
                             rect.right - rect.left, rect.bottom - rect.top, mem, 0, 0,
                             info.bmWidth, info.bmHeight, SRCCOPY);
        if (oldPalette) platform::SelectPalette(mem, oldPalette, false);
        platform::SelectObject(mem, oldSource);
        platform::SelectObject(cacheDC, oldCache);
        platform::DeleteDC(mem);
        platform::DeleteDC(cacheDC);
        c = ViewCache{cache, bitmap, palette, changes, rect, area, depth, systemPalette};
    }
    const HDC cacheDC = platform::CreateCompatibleDC(dc);
    const HGDIOBJ old = platform::SelectObject(cacheDC, c.bitmap);
    platform::BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     cacheDC, 0, 0, SRCCOPY);
    platform::SelectObject(cacheDC, old);
    platform::DeleteDC(cacheDC);
    return true;
}

HBITMAP CLumoraCtrl::ThumbnailFrameBitmap() {
    if (thumbnailFrame_) return thumbnailFrame_;
    // A grey tile with a raised bevel: light upper and left edges, dark lower and right ones.
    constexpr int n = kThumbnailFrameSize;
    const HDC mem = platform::CreateCompatibleDC(view_.controlDC);
    if (!mem) return 0;
    const HBITMAP bitmap = platform::CreateCompatibleBitmap(view_.controlDC, n, n);
    if (bitmap) {
        const HGDIOBJ old = platform::SelectObject(mem, bitmap);
        FillWith(mem, RECT{0, 0, n, n}, RGB(192, 192, 192));
        FillWith(mem, RECT{0, 0, n, 2}, RGB(255, 255, 255));
        FillWith(mem, RECT{0, 0, 2, n}, RGB(255, 255, 255));
        FillWith(mem, RECT{0, n - 2, n, n}, RGB(128, 128, 128));
        FillWith(mem, RECT{n - 2, 0, n, n}, RGB(128, 128, 128));
        platform::SelectObject(mem, old);
    }
    platform::DeleteDC(mem);
    thumbnailFrame_ = bitmap;
    return thumbnailFrame_;
}

}  // namespace control
