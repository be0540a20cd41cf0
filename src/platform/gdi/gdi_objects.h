// The raster engine's object model: what a bitmap, palette, brush and device context hold
// behind their handles, and the display device they are measured against. Other platform
// files (pens, fonts, text, printing) build on these types; the rest of the control only sees
// gdi.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/os/global_memory.h"
#include "platform/os/handles.h"
#include "platform/os/wintypes.h"

namespace platform::gdi {

// Guards selection state (which object sits in which DC) and the system palette. Pixel work
// runs outside it.
std::recursive_mutex& ObjectMutex();

// Common part of every selectable object: stock objects are never deleted, and an object
// selected into a DC cannot be deleted either.
struct GdiObject {
    bool stock = false;
    int selections = 0;
    virtual ~GdiObject() = default;
};

// A bitmap: a DIB section or a device-compatible bitmap. Rows are stored bottom-up unless
// topDown is set (a DIB section made from a negative height).
struct Bitmap : GdiObject {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    int stride = 0;  // bytes per stored row, a multiple of 4
    bool topDown = false;
    bool dibSection = false;
    // Device bitmap of one bit: 0 is black, 1 is white, and blits between it and colour
    // surfaces go through the DCs' text and background colours.
    bool monochrome = false;
    // Device bitmap on a palette display: pixels are indices into the system palette.
    bool systemPalette = false;
    std::vector<RGBQUAD> colors;  // 2^bitCount entries for 1, 4 and 8 bits (unless systemPalette)
    std::array<uint32_t, 3> masks{};  // red, green, blue for 16 and 32 bits
    uint64_t changes = 0;  // counts writes to the pixels, so copies made of them can tell
    BlockStorage pixels;
    size_t sizeBytes = 0;
    HDC selectedInto = 0;

    uint8_t* Row(int y) {
        return pixels.get() + static_cast<size_t>(topDown ? y : height - 1 - y) * stride;
    }
    const uint8_t* Row(int y) const {
        return pixels.get() + static_cast<size_t>(topDown ? y : height - 1 - y) * stride;
    }
};

struct Palette : GdiObject {
    std::vector<PALETTEENTRY> entries;
};

struct Brush : GdiObject {
    COLORREF color = 0;
    bool hollow = false;  // NULL_BRUSH: paints nothing
    bool hatched = false;
    int hatch = 0;  // HS_* when hatched
};

// The 8 x 8 hatch pattern: bit x of row y is set where the hatch line is. Rows and columns
// count from the device origin, so neighbouring fills line up.
uint8_t HatchRow(int hatch, int y);

struct Pen : GdiObject {
    int style = 0;  // PS_*
    int width = 1;  // logical units; 0 and 1 both mean one pixel
    COLORREF color = 0;
};

// A region as disjoint rectangles in device coordinates (empty rectangles are never stored).
struct Region : GdiObject {
    std::vector<RECT> rects;
};

// The logical-to-device transform: device = (logical - windowOrg) * viewportExt / windowExt
// + viewportOrg on each axis.
struct Mapping {
    int mode = 1;  // MM_TEXT
    int32_t windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    int32_t viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
};

// What SaveDC keeps and RestoreDC puts back.
struct DcState {
    HBITMAP bitmap = 0;
    HBRUSH brush = 0;
    HPEN pen = 0;
    HPALETTE palette = 0;
    bool paletteBackground = false;
    COLORREF bkColor = 0;
    COLORREF textColor = 0;
    int stretchMode = 0;
    int rop2 = 0;
    int bkMode = 0;
    int polyFillMode = 0;
    Mapping mapping;
    POINT position{};
    bool hasClip = false;
    std::vector<RECT> clip;
    HGDIOBJ font = 0;
    uint32_t textAlign = 0;
};

// What a raster page reports as its device; width 0 for every other DC.
struct PageCaps {
    int width = 0;
    int height = 0;
    int dpiX = 0;
    int dpiY = 0;
};

struct Dc {
    bool memory = true;  // false: a display DC from GetDC
    PageCaps page;
    HDC self = 0;
    HBITMAP bitmap = 0;
    std::shared_ptr<Bitmap> bitmapObject;
    HBRUSH brush = 0;
    std::shared_ptr<Brush> brushObject;
    HPALETTE palette = 0;
    std::shared_ptr<Palette> paletteObject;
    bool paletteBackground = false;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    int stretchMode = 1;  // BLACKONWHITE
    HPEN pen = 0;
    std::shared_ptr<Pen> penObject;
    int rop2 = 13;         // R2_COPYPEN
    int bkMode = 2;        // OPAQUE
    int polyFillMode = 1;  // ALTERNATE
    Mapping mapping;
    POINT position{};  // logical
    // The clip region in device coordinates; without one everything on the surface is drawn.
    bool hasClip = false;
    std::vector<RECT> clip;
    std::vector<DcState> saved;  // SaveDC levels 1 .. saved.size()
    // The selected font (0: the default face at its default size) and TA_* alignment.
    HGDIOBJ font = 0;
    std::shared_ptr<GdiObject> fontObject;
    uint32_t textAlign = 0;

    Dc() = default;
    Dc(const Dc&) = delete;
    Dc& operator=(const Dc&) = delete;
    ~Dc();  // releases what is selected
};

// ---- Handles ----------------------------------------------------------------------------------
// Registers a new object; 0 when the table is full. Every selectable kind (pens and fonts too)
// goes through here, so that DeleteObject can read its stock and selection state.
HANDLE32 RegisterObject(HandleKind kind, std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> LookupObject(HANDLE32 handle, HandleKind kind);
std::shared_ptr<Bitmap> LookupBitmap(HBITMAP handle);
std::shared_ptr<Palette> LookupPalette(HPALETTE handle);
std::shared_ptr<Brush> LookupBrush(HBRUSH handle);
std::shared_ptr<Dc> LookupDc(HDC handle);
std::shared_ptr<Pen> LookupPen(HPEN handle);
std::shared_ptr<Region> LookupRegion(HRGN handle);

// A bitmap with zeroed pixel memory of the given geometry, or null when the size is not
// acceptable or memory is short.
std::shared_ptr<Bitmap> AllocateBitmap(int width, int height, int bitCount, bool topDown);

// Bytes per row of a packed DIB.
inline int DibStride(int width, int bitCount) {
    return static_cast<int>(((static_cast<int64_t>(width) * bitCount + 31) / 32) * 4);
}

// Stock objects are made on first use, all at once.
HGDIOBJ StockObject(int index);
HBITMAP StockBitmap();     // the 1 x 1 monochrome bitmap a memory DC starts with
HPEN StockPen(int index);  // WHITE_PEN, BLACK_PEN or NULL_PEN
HPALETTE StockPalette();

// ---- The display device ---------------------------------------------------------------------
struct SystemPalette {
    std::array<RGBQUAD, 256> colors{};
    std::array<bool, 256> used{};  // entries a colour may be mapped to
    int size = 0;                  // 0 on a display of more than 8 bits
};

SystemPalette SnapshotSystemPalette();
// Maps a logical palette into the system palette; returns the number of entries changed.
uint32_t RealizeInSystemPalette(const std::vector<PALETTEENTRY>& entries, bool background);
// The twenty static colours of an 8-bit palette display, in the order of the default palette.
const std::array<RGBQUAD, 20>& StaticColors();
// The sixteen colours of a 4-bit display.
const std::array<RGBQUAD, 16>& VgaColors();
// Colour table that GetDIBits reports for a bitmap with no table of its own.
std::vector<RGBQUAD> DefaultColorTable(int bitCount);
// A device-compatible bitmap in the display's present format.
std::shared_ptr<Bitmap> CreateDisplayBitmap(int width, int height);
// A monochrome device bitmap.
std::shared_ptr<Bitmap> CreateMonochromeBitmap(int width, int height);
// The surface behind display DCs: display-sized, made on first use.
std::shared_ptr<Bitmap> ScreenSurface();
int DisplayWidth();
int DisplayHeight();

// The bitmap a DC draws on: its selected bitmap, or the screen for a display DC.
std::shared_ptr<Bitmap> DcSurface(const Dc& dc);

}  // namespace platform::gdi
