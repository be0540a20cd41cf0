#include "draw/surface.h"

#include <cmath>

#include "platform/gdi/gdi.h"

namespace control {

using platform::Variant;

HPALETTE SelectControlPalette(HDC dc, HPALETTE palette) {
    uint16_t entries = 0;
    if (!palette || platform::GetObject(palette, sizeof entries, &entries) == 0 || entries < 3)
        palette = static_cast<HPALETTE>(platform::GetStockObject(platform::DEFAULT_PALETTE));
    const HPALETTE displaced = platform::SelectPalette(dc, palette, false);
    platform::RealizePalette(dc);
    return displaced;
}

DrawSurface::DrawSurface(CLumoraCtrl& control, Refresh refresh)
    : control_(control), refresh_(refresh) {
    std::tie(width_, height_) = control.TargetExtent();
    const ImageState& image = control.Image();
    const HDC controlDc = control.View().controlDC;
    if (control.Drawing().drawTo == 1) {
        if (image.thumbnail != 0 || !image.bitmap)
            control.ThrowError(platform::CTL_E_INVALIDPICTURE);
        memoryDc_ = platform::CreateCompatibleDC(controlDc);
        displacedBitmap_ = platform::SelectObject(memoryDc_, image.bitmap);
        dc_ = memoryDc_;
    } else {
        dc_ = controlDc;
    }
    displacedPalette_ = SelectControlPalette(dc_, image.palette);
}

DrawSurface::~DrawSurface() {
    if (displacedPalette_) {
        platform::SelectPalette(dc_, displacedPalette_, false);
        platform::RealizePalette(dc_);
    }
    if (!memoryDc_) return;
    if (displacedBitmap_) platform::SelectObject(memoryDc_, displacedBitmap_);
    platform::DeleteDC(memoryDc_);
    control_.NoteBitmapChanged(refresh_ == Refresh::Always);
}

ScopedObject::ScopedObject(HDC dc, HGDIOBJ object)
    : dc_(dc), object_(object), displaced_(object ? platform::SelectObject(dc, object) : 0) {}

ScopedObject::~ScopedObject() {
    if (displaced_) platform::SelectObject(dc_, displaced_);
    if (object_) platform::DeleteObject(object_);
}

platform::OLE_COLOR ColorArgument(const Variant& color, platform::OLE_COLOR fallback) {
    const Variant& v = color.Deref();
    return v.vt() == platform::VT_I4 ? static_cast<platform::OLE_COLOR>(v.AsI4()) : fallback;
}

int FlagBits(const Variant& flag) {
    const double value = VariantToDouble(flag);
    return value == kOmittedArgument ? 0 : RoundToInt(std::trunc(value)) & 0xFFFF;
}

// ---- The control's side ------------------------------------------------------------------------

void CLumoraCtrl::NoteBitmapChanged(bool force) {
    platform::NoteBitmapChanged(image_.bitmap);
    // A colour table written alone leaves the pixels' change count as it was.
    FreeViewCache();
    if (force || drawing_.autoRefresh) InvalidateControl();
}

}  // namespace control
