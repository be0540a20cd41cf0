// Scale modes: the unit arithmetic, the scale properties, Scale, ScaleX/ScaleY and the drawing
// position, which always keeps its pixel when the scale under it changes.
#include "draw/scale.h"

#include <cmath>

#include "control/lumora_ctrl.h"
#include "platform/gdi/gdi.h"

namespace control {

using platform::CTL_E_ILLEGALFUNCTIONCALL;
using platform::CTL_E_INVALIDPICTURE;
using platform::CTL_E_INVALIDPROPERTYVALUE;
using platform::Variant;

namespace {

// Logical pixels per inch of a DC along one axis; the display's without a DC.
double Resolution(HDC dc, int index) {
    int r = dc ? platform::GetDeviceCaps(dc, index) : 0;
    if (r <= 0) {
        const HDC screen = platform::GetDC(0);
        r = platform::GetDeviceCaps(screen, index);
        platform::ReleaseDC(0, screen);
    }
    return r > 0 ? r : 96.0;
}

// Size of one unit in twips; the user unit is pixelExtent / userExtent pixels.
double UnitTwips(int unit, bool vertical, double resolution, int pixelExtent, double userExtent) {
    switch (unit) {
        case kUserUnit:
            return pixelExtent / userExtent * 1440.0 / resolution;
        case kTwips:
            return 1.0;
        case kPoints:
            return 20.0;
        case kPixels:
            return 1440.0 / resolution;
        case kCharacters:
            return vertical ? 240.0 : 120.0;
        case kInches:
            return 1440.0;
        case kMillimetres:
            return 1440.0 / 25.4;
        case kCentimetres:
            return 1440.0 / 2.54;
        default:
            return 1440.0 / 2540.0;
    }
}

double Convert(double value, int from, int to, HDC dc, int pixelExtent, double userExtent,
               bool vertical, bool snap) {
    if (from < 0 || from > 8) from = kHimetric;
    if (to < 0 || to > 8) to = kHimetric;
    if (from == to) return value;
    double result;
    if (from == kUserUnit && to == kPixels) {
        result = value * pixelExtent / userExtent;
    } else if (from == kPixels && to == kUserUnit) {
        result = value * userExtent / pixelExtent;
    } else {
        const double r = Resolution(dc, vertical ? LOGPIXELSY : LOGPIXELSX);
        result = value * UnitTwips(from, vertical, r, pixelExtent, userExtent) /
                 UnitTwips(to, vertical, r, pixelExtent, userExtent);
    }
    // A user scale of no extent has no size to convert through.
    if (!std::isfinite(result)) return 0.0;
    if (snap && to == kPixels) {
        const double t = std::trunc(result);
        if (result - t >= 0.5) return t + 1.0;
        if (result - t <= -0.5) return t - 1.0;
    }
    return result;
}

using Converter = double (*)(double, int, int, HDC, int, double);

bool Omitted(const Variant& v) {
    return platform::IsEmptyOrMissing(v);
}

// A unit argument of ScaleX/ScaleY: truncated, or the fallback when outside 0..8.
int UnitArgument(const Variant& v, int fallback) {
    const double d = VariantToDouble(v);
    return d > -1.0 && d < 9.0 ? static_cast<int>(d) : fallback;
}

}  // namespace

double ConvertUnitsX(double value, int from, int to, HDC dc, int pixelExtent, double userExtent) {
    return Convert(value, from, to, dc, pixelExtent, userExtent, false, true);
}

double ConvertUnitsY(double value, int from, int to, HDC dc, int pixelExtent, double userExtent) {
    return Convert(value, from, to, dc, pixelExtent, userExtent, true, true);
}

double ScaleFrame::PixelsX(double length) const {
    return ConvertUnitsX(length, state.scaleMode, kPixels, dc, width, state.scaleWidth);
}
double ScaleFrame::PixelsY(double length) const {
    return ConvertUnitsY(length, state.scaleMode, kPixels, dc, height, state.scaleHeight);
}
double ScaleFrame::ScaleLengthX(double pixels) const {
    return ConvertUnitsX(pixels, kPixels, state.scaleMode, dc, width, state.scaleWidth);
}
double ScaleFrame::ScaleLengthY(double pixels) const {
    return ConvertUnitsY(pixels, kPixels, state.scaleMode, dc, height, state.scaleHeight);
}

// ---- The target and the scale under the drawing position -----------------------------------

std::pair<int, int> CLumoraCtrl::TargetExtent() const {
    if (drawing_.drawTo == 1) return {image_.bmpw, image_.bmph};
    return {view_.clientWidth, view_.clientHeight};
}

void CLumoraCtrl::MoveScale(const DrawingState& next) {
    const auto [width, height] = TargetExtent();
    const HDC dc = view_.controlDC;
    const DrawingState& s = drawing_;
    // The position's exact pixel under the old scale, then its coordinate under the new one.
    const double px = Convert(double{s.currentX} - s.scaleLeft, s.scaleMode, kPixels, dc, width,
                              s.scaleWidth, false, false);
    const double py = Convert(double{s.currentY} - s.scaleTop, s.scaleMode, kPixels, dc, height,
                              s.scaleHeight, true, false);
    DrawingState moved = next;
    moved.currentX =
        static_cast<float>(next.scaleLeft + Convert(px, kPixels, next.scaleMode, dc, width,
                                                    next.scaleWidth, false, false));
    moved.currentY =
        static_cast<float>(next.scaleTop + Convert(py, kPixels, next.scaleMode, dc, height,
                                                   next.scaleHeight, true, false));
    drawing_ = moved;
}

void CLumoraCtrl::ApplyScaleMode(int16_t mode) {
    if (mode == kUserUnit) {
        // A user scale starts equal to the one before it.
        drawing_.scaleMode = mode;
        return;
    }
    const auto [w, h] = TargetExtent();
    const HDC dc = view_.controlDC;
    DrawingState next = drawing_;
    next.scaleMode = mode;
    next.scaleLeft = 0.0f;
    next.scaleTop = 0.0f;
    next.scaleWidth = static_cast<float>(ConvertUnitsX(w, kPixels, mode, dc, w, w));
    next.scaleHeight = static_cast<float>(ConvertUnitsY(h, kPixels, mode, dc, h, h));
    MoveScale(next);
}

// ---- Properties ---------------------------------------------------------------------------------

void CLumoraCtrl::SetScaleMode(int16_t value) {
    if (value < 0 || value > 8) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    ApplyScaleMode(value);
    SetModifiedFlag();
}

void CLumoraCtrl::SetUserScale(float DrawingState::*field, float value) {
    DrawingState next = drawing_;
    next.*field = value;
    next.scaleMode = kUserUnit;
    MoveScale(next);
    SetModifiedFlag();
}

void CLumoraCtrl::SetScaleWidth(float value) {
    if (value == 0.0f) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    SetUserScale(&DrawingState::scaleWidth, value);
}

void CLumoraCtrl::SetScaleHeight(float value) {
    if (value == 0.0f) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    SetUserScale(&DrawingState::scaleHeight, value);
}

void CLumoraCtrl::SetScaleLeft(float value) {
    SetUserScale(&DrawingState::scaleLeft, value);
}

void CLumoraCtrl::SetScaleTop(float value) {
    SetUserScale(&DrawingState::scaleTop, value);
}

float CLumoraCtrl::GetCurrentX() const {
    RequireUserMode();
    return drawing_.currentX;
}

void CLumoraCtrl::SetCurrentX(float value) {
    drawing_.currentX = value;
    SetModifiedFlag();
}

float CLumoraCtrl::GetCurrentY() const {
    RequireUserMode();
    return drawing_.currentY;
}

void CLumoraCtrl::SetCurrentY(float value) {
    drawing_.currentY = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetImageSource(int16_t value) {
    if (value < 0 || value > 1) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    drawing_.imageSource = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetDrawTo(int16_t value) {
    if (value < 0 || value > 1) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    drawing_.drawTo = value;
    // The physical scales follow the new target's size.
    if (view_.controlDC) ApplyScaleMode(drawing_.scaleMode);
    SetModifiedFlag();
}

// ---- Methods ----------------------------------------------------------------------------------

void CLumoraCtrl::Scale(const Variant&, const Variant& x1, const Variant& y1, const Variant& x2,
                        const Variant& y2) {
    if (Omitted(x1) || Omitted(x2) || Omitted(y1) || Omitted(y2)) {
        if (view_.controlDC) SetScaleMode(kTwips);
        return;
    }
    const double left = VariantToDouble(x1), top = VariantToDouble(y1);
    const auto w = static_cast<float>(VariantToDouble(x2) - left);
    const auto h = static_cast<float>(VariantToDouble(y2) - top);
    if (w == 0.0f || h == 0.0f) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    DrawingState next = drawing_;
    next.scaleLeft = static_cast<float>(left);
    next.scaleTop = static_cast<float>(top);
    next.scaleWidth = w;
    next.scaleHeight = h;
    next.scaleMode = kUserUnit;
    MoveScale(next);
    SetModifiedFlag();
}

float CLumoraCtrl::ScaleX(float width, const Variant& fromScale, const Variant& toScale) {
    return ScaleAxis(width, fromScale, toScale, false);
}

float CLumoraCtrl::ScaleY(float height, const Variant& fromScale, const Variant& toScale) {
    return ScaleAxis(height, fromScale, toScale, true);
}

float CLumoraCtrl::ScaleAxis(float value, const Variant& fromScale, const Variant& toScale,
                             bool vertical) {
    if (!HasWindow()) {
        RecreateControlWindow();
        view_.controlDC = GetDC();
        view_.foreignDC = true;
    } else {
        view_.foreignDC = false;
    }
    int extent = vertical ? view_.clientHeight : view_.clientWidth;
    if (drawing_.drawTo == 1) {
        if (image_.bmpw == 0 || image_.bmph == 0) ThrowError(CTL_E_INVALIDPICTURE);
        extent = vertical ? image_.bmph : image_.bmpw;
    }
    const int from = UnitArgument(fromScale, kHimetric);
    const int to = UnitArgument(toScale, drawing_.scaleMode);
    if (drawing_.scaleMode != kUserUnit && (from == kUserUnit || to == kUserUnit))
        ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
    const Converter convert = vertical ? ConvertUnitsY : ConvertUnitsX;
    return static_cast<float>(convert(value, from, to, view_.controlDC, extent,
                                      vertical ? drawing_.scaleHeight : drawing_.scaleWidth));
}

}  // namespace control
