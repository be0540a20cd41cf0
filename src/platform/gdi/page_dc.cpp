#include "platform/gdi/page_dc.h"

#include <cstring>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"

namespace platform {

HDC CreatePageDC(int width, int height, int dpiX, int dpiY) {
    if (width <= 0 || height <= 0 || dpiX <= 0 || dpiY <= 0) return 0;
    const BITMAPINFO info = DibHeader(width, height, 24);
    void* bits = nullptr;
    const HBITMAP surface = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits);
    if (!surface) return 0;
    const HDC dc = CreateCompatibleDC(0);
    const auto object = gdi::LookupDc(dc);
    if (!object || !SelectObject(dc, surface)) {
        if (dc) DeleteDC(dc);
        DeleteObject(surface);
        return 0;
    }
    object->page = gdi::PageCaps{width, height, dpiX, dpiY};
    const RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return dc;
}

bool IsPageDC(HDC dc) {
    const auto object = gdi::LookupDc(dc);
    return object && object->page.width > 0;
}

bool DeletePageDC(HDC page) {
    if (!IsPageDC(page)) return false;
    // Deleting the DC deselects the surface, which can then go too.
    const HBITMAP surface = GetCurrentObject(page, OBJ_BITMAP);
    DeleteDC(page);
    DeleteObject(surface);
    return true;
}

}  // namespace platform
