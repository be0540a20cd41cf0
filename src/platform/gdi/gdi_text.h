// Fonts and text on device contexts: one bundled face drawn through FreeType without
// anti-aliasing, in the DC's text colour, with an opaque background cell when asked.
#pragma once

#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/os/wintypes.h"

namespace platform {

typedef HANDLE32 HFONT;

struct LOGFONT {
    int32_t lfHeight;  // < 0: character height; > 0: cell height; 0: the default size
    int32_t lfWidth;   // average character width; 0: the face's own proportions
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;  // FW_BOLD (700) and up are drawn bold
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];  // every name gives the bundled face
};

struct TEXTMETRIC {
    int32_t tmHeight;
    int32_t tmAscent;
    int32_t tmDescent;
    int32_t tmInternalLeading;
    int32_t tmExternalLeading;
    int32_t tmAveCharWidth;
    int32_t tmMaxCharWidth;
    int32_t tmWeight;
    uint8_t tmItalic;
    uint8_t tmUnderlined;
    uint8_t tmStruckOut;
};

enum {
    TA_NOUPDATECP = 0,
    TA_UPDATECP = 1,
    TA_LEFT = 0,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_TOP = 0,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
};
enum { ETO_OPAQUE = 2, ETO_CLIPPED = 4 };

HFONT CreateFontIndirect(const LOGFONT* font);
uint32_t SetTextAlign(HDC dc, uint32_t align);  // the previous alignment
uint32_t GetTextAlign(HDC dc);
// Bytes are Latin-1 characters. Coordinates are logical.
bool TextOut(HDC dc, int x, int y, const char* text, int count);
bool ExtTextOutA(HDC dc, int x, int y, uint32_t options, const RECT* rect, const char* text,
                 int count);
// dx: logical advances of each character, or null for the font's own.
bool ExtTextOutW(HDC dc, int x, int y, uint32_t options, const RECT* rect, const char16_t* text,
                 int count, const int* dx);
bool GetTextExtentPoint32(HDC dc, const char* text, int count, SIZE* size);
bool GetTextMetrics(HDC dc, TEXTMETRIC* metrics);

// Text with tabs expanded: no positions gives a tab every 8 average character widths, one
// position a tab every that many pixels, more the columns themselves (after the last, the
// 8-character spacing goes on). Columns are measured from tabOrigin. Both return the extent as
// height << 16 | width (width in the low 16 bits).
uint32_t GetTabbedTextExtent(HDC dc, const char* text, int count, int tabCount,
                             const int32_t* tabPositions);
uint32_t TabbedTextOut(HDC dc, int x, int y, const char* text, int count, int tabCount,
                       const int32_t* tabPositions, int tabOrigin);

}  // namespace platform
