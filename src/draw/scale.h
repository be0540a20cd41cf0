// The drawing surface's coordinate system: the drawing fields of the control and the unit
// arithmetic every drawing, text, painting and export operation turns scale coordinates into
// pixels with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "control/numeric_args.h"  // RoundToInt, VariantToDouble
#include "platform/ole/variant.h"
#include "platform/os/wintypes.h"

namespace control {

constexpr size_t kMaxTabStops = 100;

// Units of enumScaleMode.
enum ScaleUnit : int16_t {
    kUserUnit = 0,
    kTwips = 1,
    kPoints = 2,
    kPixels = 3,
    kCharacters = 4,
    kInches = 5,
    kMillimetres = 6,
    kCentimetres = 7,
    kHimetric = 8,
};

// The drawing fields of the control; the drawing surface works on these.
struct DrawingState {
    float currentX = 0.0f;
    float currentY = 0.0f;
    int16_t drawMode = 13;
    int16_t drawWidth = 1;
    int16_t drawStyle = 0;
    platform::OLE_COLOR fillColor = 0;
    int16_t fillStyle = 1;
    float scaleLeft = 0.0f;
    float scaleTop = 0.0f;
    float scaleWidth = 0.0f;
    float scaleHeight = 0.0f;
    int16_t scaleMode = 1;
    int16_t drawTo = 0;
    int16_t imageSource = 1;
    bool fontTransparent = true;
    int16_t numTabs = 0;
    std::array<int32_t, kMaxTabStops> tabStops{};
    bool autoRefresh = true;
};

// value converted from unit `from` to unit `to` (values outside 0..8 count as HiMetric). The
// DC supplies the resolution (the display's when it has none); pixelExtent pixels make
// userExtent user units. A conversion to pixels snaps to the nearer whole pixel when the
// fraction is at least a half; a user unit without extent gives 0, never infinity.
double ConvertUnitsX(double value, int from, int to, HDC dc, int pixelExtent, double userExtent);
double ConvertUnitsY(double value, int from, int to, HDC dc, int pixelExtent, double userExtent);

// Scale coordinates against one drawing target: the DC that supplies the resolution and the
// target's size in pixels.
struct ScaleFrame {
    const DrawingState& state;
    HDC dc;
    int width;
    int height;

    // A length in the current scale as pixels, snapped but not rounded.
    double PixelsX(double length) const;
    double PixelsY(double length) const;
    // The pixel column (row) of a scale coordinate, and a length in whole pixels.
    int32_t PixelX(double x) const { return RoundToInt(PixelsX(x - double{state.scaleLeft})); }
    int32_t PixelY(double y) const { return RoundToInt(PixelsY(y - double{state.scaleTop})); }
    int32_t LengthX(double length) const { return RoundToInt(PixelsX(length)); }
    int32_t LengthY(double length) const { return RoundToInt(PixelsY(length)); }
    // A pixel length in the current scale (no origin added).
    double ScaleLengthX(double pixels) const;
    double ScaleLengthY(double pixels) const;
};

}  // namespace control
