// The common frame of the drawing methods: the target DC (the window's, or a memory DC with the
// bitmap in it), the control's palette realised in it, and on the way out everything restored,
// with the bitmap reported changed.
#pragma once

#include <utility>

#include "control/lumora_ctrl.h"
#include "draw/scale.h"
#include "platform/ole/variant.h"

namespace control {

// Sizes (radii, picture extents) beyond this many pixels ask for a figure no surface can hold;
// they are refused with 380 rather than let the integer arithmetic of the figure overflow.
constexpr double kMaxDrawExtent = 1 << 24;

class DrawSurface {
  public:
    enum class Refresh { ByAutoRefresh, Always };
    // Raises 481 when drawing goes into the bitmap and there is none, or a thumbnail is shown.
    explicit DrawSurface(CLumoraCtrl& control, Refresh refresh = Refresh::ByAutoRefresh);
    ~DrawSurface();
    DrawSurface(const DrawSurface&) = delete;
    DrawSurface& operator=(const DrawSurface&) = delete;

    HDC Dc() const { return dc_; }
    ScaleFrame Frame() const { return {control_.Drawing(), dc_, width_, height_}; }

  private:
    CLumoraCtrl& control_;
    Refresh refresh_;
    HDC dc_ = 0;
    HDC memoryDc_ = 0;
    HGDIOBJ displacedBitmap_ = 0;
    HPALETTE displacedPalette_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// Selects the control's palette (the default one when it has fewer than 3 entries) and realises
// it; returns the palette it displaced.
HPALETTE SelectControlPalette(HDC dc, HPALETTE palette);

// A GDI object selected into a DC for one scope, then deselected and deleted.
class ScopedObject {
  public:
    ScopedObject(HDC dc, HGDIOBJ object);
    ~ScopedObject();
    ScopedObject(const ScopedObject&) = delete;
    ScopedObject& operator=(const ScopedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ displaced_;
};

// A colour argument counts only as a 32-bit integer; anything else gives the fallback.
platform::OLE_COLOR ColorArgument(const platform::Variant& color, platform::OLE_COLOR fallback);
// The bits of a Flag argument: its integer value (0 for a value that is not a number).
int FlagBits(const platform::Variant& flag);

}  // namespace control
