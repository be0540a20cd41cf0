// Drawing on device contexts: pens, binary raster operations, patterned brushes, lines and
// filled figures, logical coordinates and clip regions.
//
// Pixel rules: a line leaves out its last pixel; a figure given by (left, top, right, bottom)
// covers left <= x < right and top <= y < bottom; arcs run counter-clockwise (on the screen)
// from the start radial to the end radial, and radial points that coincide give the whole
// ellipse. Every pixel a call touches is written once, as D' = (D & a) ^ x with the masks the
// DC's binary raster operation makes of the pen or brush value in the destination's format.
#pragma once

#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/os/wintypes.h"

namespace platform {

// ---- Pens, brushes and modes ---------------------------------------------------------------
enum PenStyle {
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
};
enum BrushStyle { BS_SOLID = 0, BS_NULL = 1, BS_HOLLOW = 1, BS_HATCHED = 2 };
enum HatchStyle {
    HS_HORIZONTAL = 0,
    HS_VERTICAL = 1,
    HS_FDIAGONAL = 2,
    HS_BDIAGONAL = 3,
    HS_CROSS = 4,
    HS_DIAGCROSS = 5,
};
enum BinaryRop {
    R2_BLACK = 1,
    R2_NOTMERGEPEN = 2,
    R2_MASKNOTPEN = 3,
    R2_NOTCOPYPEN = 4,
    R2_MASKPENNOT = 5,
    R2_NOT = 6,
    R2_XORPEN = 7,
    R2_NOTMASKPEN = 8,
    R2_MASKPEN = 9,
    R2_NOTXORPEN = 10,
    R2_NOP = 11,
    R2_MERGENOTPEN = 12,
    R2_COPYPEN = 13,
    R2_MERGEPENNOT = 14,
    R2_MERGEPEN = 15,
    R2_WHITE = 16,
};
enum { TRANSPARENT = 1, OPAQUE = 2 };
enum { ALTERNATE = 1, WINDING = 2 };

struct LOGBRUSH {
    uint32_t lbStyle;
    COLORREF lbColor;
    uintptr_t lbHatch;
};

// Widths above 1 are in logical units and draw solid whatever the style; 0 means one pixel.
HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
int SetROP2(HDC dc, int mode);  // the previous mode, 0 on failure
int GetROP2(HDC dc);
int SetBkMode(HDC dc, int mode);  // gaps of styled pens and hatch backgrounds when OPAQUE
int GetBkMode(HDC dc);
int SetPolyFillMode(HDC dc, int mode);
int GetPolyFillMode(HDC dc);

// ---- Lines and figures (logical coordinates) -------------------------------------------------
bool MoveToEx(HDC dc, int x, int y, POINT* previous);
bool GetCurrentPositionEx(HDC dc, POINT* position);
bool LineTo(HDC dc, int x, int y);
bool Polyline(HDC dc, const POINT* points, int count);
bool Polygon(HDC dc, const POINT* points, int count);
bool Rectangle(HDC dc, int left, int top, int right, int bottom);
bool Ellipse(HDC dc, int left, int top, int right, int bottom);
bool Arc(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd);
bool Pie(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd);
bool Chord(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
           int yEnd);

// ---- Coordinates -----------------------------------------------------------------------------
enum MapMode {
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8,
};
int SetMapMode(HDC dc, int mode);  // the previous mode, 0 on failure
int GetMapMode(HDC dc);
bool SetWindowOrgEx(HDC dc, int x, int y, POINT* previous);
bool SetWindowExtEx(HDC dc, int x, int y, SIZE* previous);
bool SetViewportOrgEx(HDC dc, int x, int y, POINT* previous);
bool SetViewportExtEx(HDC dc, int x, int y, SIZE* previous);
bool GetWindowOrgEx(HDC dc, POINT* origin);
bool GetWindowExtEx(HDC dc, SIZE* extent);
bool GetViewportOrgEx(HDC dc, POINT* origin);
bool GetViewportExtEx(HDC dc, SIZE* extent);
bool LPtoDP(HDC dc, POINT* points, int count);
bool DPtoLP(HDC dc, POINT* points, int count);

// Pushes the drawing state (selected objects, colours, modes, mapping, clip region, current
// position); returns the new level, 0 on failure.
int SaveDC(HDC dc);
// A positive level restores that level and drops it and all above; -n goes n levels back.
bool RestoreDC(HDC dc, int level);

// ---- Regions and clipping ---------------------------------------------------------------------
enum { RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3 };
HRGN CreateRectRgn(int left, int top, int right, int bottom);  // device coordinates
HRGN CreateRectRgnIndirect(const RECT* rect);
int GetRgnBox(HRGN region, RECT* box);
// A copy of the region becomes the clip region; region 0 removes the clip.
int SelectClipRgn(HDC dc, HRGN region);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);  // logical
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);    // logical
// The smallest rectangle around what can be drawn, in logical coordinates.
int GetClipBox(HDC dc, RECT* box);

}  // namespace platform
