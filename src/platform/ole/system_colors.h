// The system colour table and the translation of OLE colours (RGB, palette index,
// palette-relative RGB and system colour references) into COLORREFs.
#pragma once

#include <cstdint>

#include "platform/ole/variant.h"
#include "platform/os/wintypes.h"

namespace platform {

enum {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_BTNTEXT = 18,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_INFOBK = 24,
    COLOR_MENUBAR = 30,
};

// The standard desktop scheme's colour for an index; 0 (black) for an unknown index.
COLORREF GetSysColor(int index);

// OleTranslateColor: 0x00bbggrr gives itself (palette-relative 0x02bbggrr when a palette is
// given); 0x02bbggrr gives 0x00bbggrr without a palette; 0x0100iiii needs a palette holding
// entry iiii; 0x800000nn is system colour nn. Anything else is E_INVALIDARG.
HRESULT OleTranslateColor(OLE_COLOR color, HPALETTE palette, COLORREF* out);

}  // namespace platform
