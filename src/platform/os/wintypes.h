// Plain data types and constants shared by the control, its readers and the codec modules.
// The layouts are the published Windows ones, so packed DIBs can be read and written as they
// stand; everything here is usable from C.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// A handle is a 32-bit value from the process-wide handle table; 0 is no handle.
typedef uint32_t HANDLE32;
typedef HANDLE32 HGLOBAL;
typedef HANDLE32 HGDIOBJ;
typedef HANDLE32 HDC;
typedef HANDLE32 HBITMAP;
typedef HANDLE32 HPALETTE;
typedef HANDLE32 HBRUSH;
typedef HANDLE32 HPEN;
typedef HANDLE32 HRGN;
typedef uint32_t COLORREF;  // 0x00BBGGRR

typedef struct BITMAPFILEHEADER_ {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
} __attribute__((packed)) BITMAPFILEHEADER;

typedef struct BITMAPINFOHEADER_ {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BITMAPINFOHEADER;

typedef struct RGBQUAD_ {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
} RGBQUAD;

// Header and a full 256-entry colour table. Functions that take one read only the entries the
// bit count needs (2^bits for 1, 4 and 8 bits, three masks for BI_BITFIELDS).
typedef struct BITMAPINFO_ {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
} BITMAPINFO;

typedef struct BITMAP_ {
    int32_t bmType;
    int32_t bmWidth;
    int32_t bmHeight;
    int32_t bmWidthBytes;
    uint16_t bmPlanes;
    uint16_t bmBitsPixel;
    void* bmBits;  // pixel memory of a DIB section, null for device-compatible bitmaps
} BITMAP;

typedef struct PALETTEENTRY_ {
    uint8_t peRed;
    uint8_t peGreen;
    uint8_t peBlue;
    uint8_t peFlags;
} PALETTEENTRY;

typedef struct LOGPALETTE_ {
    uint16_t palVersion;
    uint16_t palNumEntries;
    PALETTEENTRY palPalEntry[256];
} LOGPALETTE;

typedef struct RECT_ {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} RECT;

typedef struct POINT_ {
    int32_t x;
    int32_t y;
} POINT;

typedef struct SIZE_ {
    int32_t cx;
    int32_t cy;
} SIZE;

#define RGB(r, g, b) ((COLORREF)(((uint32_t)(uint8_t)(r)) | ((uint32_t)(uint8_t)(g) << 8) | ((uint32_t)(uint8_t)(b) << 16)))
#define GetRValue(c) ((uint8_t)((c)&0xFF))
#define GetGValue(c) ((uint8_t)(((c) >> 8) & 0xFF))
#define GetBValue(c) ((uint8_t)(((c) >> 16) & 0xFF))

enum {
    GMEM_FIXED = 0x0000,
    GMEM_MOVEABLE = 0x0002,
    GMEM_ZEROINIT = 0x0040,
    GHND = GMEM_MOVEABLE | GMEM_ZEROINIT,
};

enum { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };
enum { DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1 };
enum { CBM_INIT = 4 };

// GetDeviceCaps indices
enum {
    TECHNOLOGY = 2,
    HORZSIZE = 4,
    VERTSIZE = 6,
    HORZRES = 8,
    VERTRES = 10,
    BITSPIXEL = 12,
    PLANES = 14,
    NUMCOLORS = 24,
    RASTERCAPS = 38,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    SIZEPALETTE = 104,
    NUMRESERVED = 106,
    COLORRES = 108,
};
enum { DT_RASDISPLAY = 1, DT_RASPRINTER = 2 };
enum { RC_BITBLT = 0x0001, RC_PALETTE = 0x0100, RC_DI_BITMAP = 0x0080, RC_STRETCHBLT = 0x0800 };

// Ternary raster operations: the truth table is in bits 16 to 23.
enum {
    SRCCOPY = 0x00CC0020,
    SRCPAINT = 0x00EE0086,
    SRCAND = 0x008800C6,
    SRCINVERT = 0x00660046,
    SRCERASE = 0x00440328,
    NOTSRCCOPY = 0x00330008,
    NOTSRCERASE = 0x001100A6,
    MERGECOPY = 0x00C000CA,
    MERGEPAINT = 0x00BB0226,
    PATCOPY = 0x00F00021,
    PATPAINT = 0x00FB0A09,
    PATINVERT = 0x005A0049,
    DSTINVERT = 0x00550009,
    BLACKNESS = 0x00000042,
    WHITENESS = 0x00FF0062,
};

enum { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };
enum { OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_DC = 3, OBJ_PAL = 5, OBJ_FONT = 6, OBJ_BITMAP = 7, OBJ_MEMDC = 10 };

#ifdef __cplusplus
}
#endif
