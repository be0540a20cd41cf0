// The raster engine: bitmaps, device contexts, palettes, brushes and the blits between them,
// with the Win32 names and pixel rules the rest of the control is written against.
//
// Bitmaps are either DIB sections (1, 4, 8, 16, 24 or 32 bits, bottom-up rows padded to four
// bytes, a colour table for 8 bits and less) or device-compatible bitmaps in the display's
// format (monochrome when made for a monochrome DC or by CreateBitmap with one bit). A memory
// DC starts with a 1 x 1 monochrome bitmap selected, like GDI's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os/wintypes.h"

namespace platform {

// ---- The display device -------------------------------------------------------------------
// Process-wide. Depth 32 and 96 dpi unless changed; 1, 4, 8, 16, 24 and 32 bits are valid.
// On 8 bits or less the display has a system palette (the static colours plus what the last
// realised foreground palette asked for) and whatever is drawn on a display-compatible surface
// is mapped to it.
bool SetDisplayDepth(int bitsPerPixel);
int DisplayDepth();
// How many times the system palette's colours (or the display's depth) changed: pixels kept in
// the display's format stay valid while it stays the same.
uint64_t GetSystemPaletteChangeCount();
void SetDisplayResolution(int dpiX, int dpiY);

// ---- Calls that codec modules make: C linkage ------------------------------------------------
extern "C" {
int GetDeviceCaps(HDC dc, int index);
// BITMAP for a bitmap; for a palette a 16-bit entry count. Returns the bytes written, 0 on
// failure (and the size needed when out is null).
int GetObject(HGDIOBJ object, int size, void* out);
// Reads rows [start, start + lines) of a bitmap as a DIB in the format info->bmiHeader asks
// for (1, 4, 8, 16, 24 or 32 bits). With bits null only the header (biSizeImage included) and,
// for 8 bits and less, the colour table are filled in. Returns the number of rows copied.
int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* info,
              uint32_t usage);
}

// ---- Bitmaps --------------------------------------------------------------------------------
// An uncompressed DIB header without colour table; a negative height makes it top-down.
inline BITMAPINFO DibHeader(int width, int height, int bitCount) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<uint16_t>(bitCount);
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, uint32_t usage, void** bits);
// With a section: the bitmap's pixels are the storage of a global memory block that already
// holds the rows in the DIB's layout (offset must be 0). The block is taken over on success,
// its handle then no longer valid, and left alone on failure.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, uint32_t usage, void** bits,
                         HGLOBAL section, uint32_t offset);
// Writes rows [start, start + lines) of packed DIB bits into a bitmap, converting the format.
int SetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, const void* bits,
              const BITMAPINFO* info, uint32_t usage);
// A device-compatible bitmap of the header's size, initialised from the DIB when init is CBM_INIT.
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, uint32_t init, const void* bits,
                       const BITMAPINFO* info, uint32_t usage);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A device-dependent bitmap; rows of the given bits are padded to 16 bits, as GDI's are.
HBITMAP CreateBitmap(int width, int height, uint32_t planes, uint32_t bitsPerPixel,
                     const void* bits);
bool GdiFlush();
// Replaces colour table entries of the DIB section (8 bits or less) selected into a memory DC;
// returns how many were set.
uint32_t SetDIBColorTable(HDC dc, uint32_t start, uint32_t count, const RGBQUAD* colors);
// How many times a bitmap's pixels were written through these calls (0 for no bitmap): what
// keeps a copy of it, such as a stretched view, knows when it is stale. Code that writes a DIB
// section's bits directly reports it with NoteBitmapChanged.
uint64_t GetBitmapChangeCount(HBITMAP bitmap);
void NoteBitmapChanged(HBITMAP bitmap);

// ---- Device contexts ------------------------------------------------------------------------
HDC CreateCompatibleDC(HDC dc);  // dc 0: compatible with the display
bool DeleteDC(HDC dc);
// The display's own DC: drawing on it lands on a display-sized surface nobody looks at.
HDC GetDC(uint32_t window);
int ReleaseDC(uint32_t window, HDC dc);
// Bitmap, brush or pen: the previous one, 0 on failure. A region becomes the clip region (a
// copy) and the region's kind is returned.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, uint32_t objectType);
bool DeleteObject(HGDIOBJ object);  // fails for an object selected into a DC and for stock objects

COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);

// ---- Palettes -------------------------------------------------------------------------------
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
// Maps the DC's palette into the system palette on a palette display; returns how many
// entries changed there (0 on a true-colour display).
uint32_t RealizePalette(HDC dc);
uint32_t GetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count, PALETTEENTRY* entries);
uint32_t SetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count,
                           const PALETTEENTRY* entries);
uint32_t GetNearestPaletteIndex(HPALETTE palette, COLORREF color);

// ---- Brushes and stock objects
// -------------------------------------------------------------------
enum StockObject {
    WHITE_BRUSH = 0,
    LTGRAY_BRUSH = 1,
    GRAY_BRUSH = 2,
    DKGRAY_BRUSH = 3,
    BLACK_BRUSH = 4,
    NULL_BRUSH = 5,
    WHITE_PEN = 6,
    BLACK_PEN = 7,
    NULL_PEN = 8,
    DEFAULT_PALETTE = 15
};
HGDIOBJ GetStockObject(int object);
HBRUSH CreateSolidBrush(COLORREF color);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// ---- Pixels and blits ------------------------------------------------------------------------
COLORREF GetPixel(HDC dc, int x, int y);  // CLR_INVALID outside the bitmap
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Any of the 256 ternary raster operations (the truth table in bits 16 to 23; P = brush,
// S = source, D = destination). Source colours are converted to the destination's format
// first: colour to monochrome gives 1 where the source pixel equals the source DC's background
// colour; monochrome to colour gives the destination DC's text colour for 0 and its
// background colour for 1; paletted destinations take the nearest colour of their table.
bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            uint32_t rop);
// Negative extents mirror. Every stretch mode is applied as COLORONCOLOR (nearest pixel).
bool StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, uint32_t rop);
int StretchDIBits(HDC dst, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, uint32_t usage,
                  uint32_t rop);

}  // namespace platform
