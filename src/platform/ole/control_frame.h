// The non-client frame a site draws around a control's client area: a 1-pixel border in the
// window-frame colour for BorderStyle 1, inside it a 2-pixel sunken edge for Appearance 1.
#pragma once

#include <cstdint>

#include "platform/os/wintypes.h"

namespace platform {

// Draws the frame of a control of the given extent at the DC's (0, 0); the client area inside
// it is left alone.
void DrawControlFrame(HDC dc, int width, int height, int16_t borderStyle, int16_t appearance);

}  // namespace platform
