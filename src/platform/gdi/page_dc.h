// Raster pages: what a printer's device context is on this platform. A page is a memory DC
// over a white 24-bit surface of the given size that reports the page's size and resolution
// (HORZRES, VERTRES, LOGPIXELSX, LOGPIXELSY) as a printer does.
#pragma once

#include "platform/os/wintypes.h"

namespace platform {

// 0 when the size or resolution is not positive or the surface cannot be had.
HDC CreatePageDC(int width, int height, int dpiX, int dpiY);
// Frees a page and its surface; false for a handle that is not a live page.
bool DeletePageDC(HDC page);
bool IsPageDC(HDC dc);

}  // namespace platform
