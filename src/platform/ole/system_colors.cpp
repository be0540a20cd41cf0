#include "platform/ole/system_colors.h"

#include <array>

#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"

namespace platform {

namespace {

// The classic standard scheme, indices 0 to 30; 25 is unused and reads black.
constexpr std::array<COLORREF, 31> kSystemColors = {
    RGB(192, 192, 192),  // scroll bar
    RGB(0, 128, 128),    // desktop
    RGB(0, 0, 128),      // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(192, 192, 192),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(192, 192, 192),  // active border
    RGB(192, 192, 192),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(0, 0, 128),      // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(192, 192, 192),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(192, 192, 192),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(0, 0, 0),        // 3D dark shadow
    RGB(223, 223, 223),  // 3D light
    RGB(0, 0, 0),        // tooltip text
    RGB(255, 255, 225),  // tooltip background
    RGB(0, 0, 0),        // unused
    RGB(0, 0, 255),      // hot-tracked item
    RGB(16, 132, 208),   // active caption gradient
    RGB(181, 181, 181),  // inactive caption gradient
    RGB(0, 0, 128),      // menu highlight
    RGB(192, 192, 192),  // menu bar
};

}  // namespace

COLORREF GetSysColor(int index) {
    if (index < 0 || index >= static_cast<int>(kSystemColors.size())) return 0;
    return kSystemColors[static_cast<size_t>(index)];
}

HRESULT OleTranslateColor(OLE_COLOR color, HPALETTE palette, COLORREF* out) {
    if (palette != 0 && HandleKindOf(palette) != HandleKind::Palette) return E_INVALIDARG;
    COLORREF result;
    switch (color >> 24) {
        case 0x00:
            result = palette ? (color | 0x02000000u) : color;
            break;
        case 0x02:
            result = palette ? color : (color & 0x00FFFFFFu);
            break;
        case 0x01: {
            if (!palette || (color & 0x00FF0000u) != 0) return E_INVALIDARG;
            const uint32_t entries = GetPaletteEntries(palette, 0, 0, nullptr);
            if ((color & 0xFFFFu) >= entries) return E_INVALIDARG;
            result = color;
            break;
        }
        case 0x80: {
            const uint32_t index = color & 0x00FFFFFFu;
            if (index >= kSystemColors.size()) return E_INVALIDARG;
            result = kSystemColors[index];
            break;
        }
        default:
            return E_INVALIDARG;
    }
    if (out) *out = result;
    return S_OK;
}

}  // namespace platform
