// The graphics methods Line, Circle, PSet and Point, and the pen and brush properties they
// draw with.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "control/lumora_ctrl.h"
#include "draw/surface.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"

namespace control {

using platform::CTL_E_INVALIDPROPERTYVALUE;
using platform::Variant;

namespace {

enum : int {
    kRelativeFirst = 0x01,
    kRelativeSecond = 0x08,
    kBox = 0x10,
    kFilledBox = 0x20,
};

HBRUSH FillBrush(int16_t fillStyle, COLORREF color) {
    switch (fillStyle) {
        case 0:
            return platform::CreateSolidBrush(color);
        case 1: {
            const platform::LOGBRUSH hollow{platform::BS_NULL, 0, 0};
            return platform::CreateBrushIndirect(&hollow);
        }
        default:
            // FillStyle 2..7 are the hatch styles HS_HORIZONTAL..HS_DIAGCROSS in order.
            return platform::CreateHatchBrush(fillStyle - 2, color);
    }
}

// 380 for a value outside [low, high], else stored.
void StoreInRange(const CLumoraCtrl& control, int16_t& field, int16_t value, int low, int high) {
    if (value < low || value > high) control.ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    field = value;
}

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

// ---- Pen and brush properties
// --------------------------------------------------------------------

void CLumoraCtrl::SetDrawWidth(int16_t value) {
    StoreInRange(*this, drawing_.drawWidth, value, 1, INT16_MAX);
    SetModifiedFlag();
}

void CLumoraCtrl::SetFillColor(OLE_COLOR value) {
    drawing_.fillColor = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetFillStyle(int16_t value) {
    StoreInRange(*this, drawing_.fillStyle, value, 0, 7);
    SetModifiedFlag();
}

void CLumoraCtrl::SetDrawMode(int16_t value) {
    StoreInRange(*this, drawing_.drawMode, value, 1, 16);
    SetModifiedFlag();
}

void CLumoraCtrl::SetDrawStyle(int16_t value) {
    StoreInRange(*this, drawing_.drawStyle, value, 0, 6);
    SetModifiedFlag();
}

// ---- Methods ------------------------------------------------------------------------------------

void CLumoraCtrl::Line(const Variant& flag, float x1, float y1, float x2, float y2,
                       const Variant& color) {
    const COLORREF pen = TranslateColor(ColorArgument(color, GetForeColor()), image_.palette);
    const COLORREF box = TranslateColor(ColorArgument(color, drawing_.fillColor), image_.palette);
    DrawSurface surface(*this);
    const HDC dc = surface.Dc();
    const int bits = FlagBits(flag);
    const int oldRop = platform::SetROP2(dc, drawing_.drawMode);
    {
        ScopedObject penObject(dc,
                               platform::CreatePen(drawing_.drawStyle, drawing_.drawWidth, pen));
        ScopedObject brushObject(dc, bits & kFilledBox ? platform::CreateSolidBrush(box)
                                                       : FillBrush(drawing_.fillStyle, box));
        if (bits & kRelativeFirst) {
            x1 += drawing_.currentX;
            y1 += drawing_.currentY;
        }
        if (bits & kRelativeSecond) {
            x2 += x1;
            y2 += y1;
        }
        const ScaleFrame frame = surface.Frame();
        const int px1 = frame.PixelX(x1), py1 = frame.PixelY(y1);
        const int px2 = frame.PixelX(x2), py2 = frame.PixelY(y2);
        if (bits & (kBox | kFilledBox)) {
            platform::Rectangle(dc, px1, py1, px2, py2);
        } else {
            platform::MoveToEx(dc, px1, py1, nullptr);
            platform::LineTo(dc, px2, py2);
        }
    }
    platform::SetROP2(dc, oldRop);
    drawing_.currentX = x2;
    drawing_.currentY = y2;
}

void CLumoraCtrl::Circle(const Variant& flag, float x, float y, float radius, const Variant& color,
                         const Variant& start, const Variant& end, const Variant& aspect) {
    const COLORREF pen = TranslateColor(ColorArgument(color, GetForeColor()), image_.palette);
    const COLORREF fill = TranslateColor(drawing_.fillColor, image_.palette);
    DrawSurface surface(*this);
    const HDC dc = surface.Dc();
    if (FlagBits(flag) & kRelativeFirst) {
        x += drawing_.currentX;
        y += drawing_.currentY;
    }
    const ScaleFrame frame = surface.Frame();
    const double radiusPixels = frame.PixelsX(radius);
    if (std::abs(radiusPixels) > kMaxDrawExtent) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    const int64_t cx = frame.PixelX(x), cy = frame.PixelY(y);
    const int64_t r = RoundToInt(radiusPixels);

    auto s = static_cast<float>(VariantToDouble(start));
    auto e = static_cast<float>(VariantToDouble(end));
    const auto a = static_cast<float>(VariantToDouble(aspect));
    const bool startMarked = s < 0, endMarked = e < 0;
    s = std::abs(s);
    e = std::abs(e);
    const double rd = static_cast<double>(r);
    int64_t left = cx - r, right = cx + r, top = cy - r, bottom = cy + r;
    int64_t xs = cx + RoundToInt(rd * std::cos(s)), ys = cy - RoundToInt(rd * std::sin(s));
    int64_t xe = cx + RoundToInt(rd * std::cos(e)), ye = cy - RoundToInt(rd * std::sin(e));
    if (a > 1.0f) {
        const double rx = rd / a;
        left = cx - RoundToInt(rx);
        right = cx + RoundToInt(rx);
        xs = cx + RoundToInt(rx * std::cos(s));
        xe = cx + RoundToInt(rx * std::cos(e));
    } else if (a > 0.0f && a < 1.0f) {
        top = cy - RoundToInt(a * rd);
        bottom = cy + RoundToInt(a * rd);
        ys = cy - RoundToInt(a * (rd * std::sin(s)));
        ye = cy - RoundToInt(a * (rd * std::sin(e)));
    }

    const int oldRop = platform::SetROP2(dc, drawing_.drawMode);
    {
        ScopedObject penObject(dc,
                               platform::CreatePen(drawing_.drawStyle, drawing_.drawWidth, pen));
        ScopedObject brushObject(dc, FillBrush(drawing_.fillStyle, fill));
        const int32_t l = Clamp32(left), t = Clamp32(top), rr = Clamp32(right), b = Clamp32(bottom);
        const int32_t sx = Clamp32(xs), sy = Clamp32(ys), ex = Clamp32(xe), ey = Clamp32(ye);
        if (s == 0.0f && e == 0.0f) {
            platform::Chord(dc, l, t, rr, b, sx, sy, sx, sy);
        } else if (startMarked && endMarked) {
            platform::Pie(dc, l, t, rr, b, sx, sy, ex, ey);
        } else {
            platform::Arc(dc, l, t, rr, b, sx, sy, ex, ey);
            const int32_t ccx = Clamp32(cx), ccy = Clamp32(cy);
            if (startMarked) {
                platform::MoveToEx(dc, ccx, ccy, nullptr);
                platform::LineTo(dc, sx, sy);
            }
            if (endMarked) {
                platform::MoveToEx(dc, ccx, ccy, nullptr);
                platform::LineTo(dc, ex, ey);
            }
        }
    }
    platform::SetROP2(dc, oldRop);
    drawing_.currentX = x;
    drawing_.currentY = y;
}

void CLumoraCtrl::PSet(const Variant& flag, float x, float y, const Variant& color) {
    const COLORREF c = TranslateColor(ColorArgument(color, GetForeColor()), image_.palette);
    DrawSurface surface(*this);
    const HDC dc = surface.Dc();
    if (FlagBits(flag) & kRelativeFirst) {
        x += drawing_.currentX;
        y += drawing_.currentY;
    }
    const ScaleFrame frame = surface.Frame();
    const int px = frame.PixelX(x), py = frame.PixelY(y);
    if (drawing_.drawWidth == 1) {
        platform::SetPixel(dc, px, py, c);
    } else {
        const int oldRop = platform::SetROP2(dc, drawing_.drawMode);
        {
            ScopedObject penObject(dc, platform::CreatePen(platform::PS_SOLID, 1, c));
            ScopedObject brushObject(dc, platform::CreateSolidBrush(c));
            const int64_t d = drawing_.drawWidth / 2;
            platform::Ellipse(dc, Clamp32(px - d), Clamp32(py - d), Clamp32(px + d),
                              Clamp32(py + d));
        }
        platform::SetROP2(dc, oldRop);
    }
    drawing_.currentX = x;
    drawing_.currentY = y;
}

OLE_COLOR CLumoraCtrl::Point(float x, float y) {
    constexpr OLE_COLOR kUnreadable = 0xFFFFFFFF;
    HDC dc = view_.controlDC;
    int width = view_.clientWidth, height = view_.clientHeight;
    HDC memoryDc = 0;
    HGDIOBJ displacedBitmap = 0;
    if (drawing_.imageSource == 0) {
        if (image_.thumbnail != 0 || !image_.bitmap) return kUnreadable;
        memoryDc = platform::CreateCompatibleDC(view_.controlDC);
        displacedBitmap = platform::SelectObject(memoryDc, image_.bitmap);
        dc = memoryDc;
        width = image_.bmpw;
        height = image_.bmph;
    }
    const HPALETTE displacedPalette = SelectControlPalette(dc, image_.palette);
    const ScaleFrame frame{drawing_, dc, width, height};
    const COLORREF colour = platform::GetPixel(dc, frame.PixelX(x), frame.PixelY(y));
    if (displacedPalette) platform::SelectPalette(dc, displacedPalette, false);
    if (memoryDc) {
        if (displacedBitmap) platform::SelectObject(memoryDc, displacedBitmap);
        platform::DeleteDC(memoryDc);
    }
    return colour == platform::CLR_INVALID ? kUnreadable : colour;
}

}  // namespace control
