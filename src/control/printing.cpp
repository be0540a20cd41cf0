// Printing: the picture drawn into a device context the host hands over (a printer's, or a
// raster page), at PrintX, PrintY and scaled by PrintZoom, keeping its proportions on devices
// whose pixels are not square.
#include "control/lumora_ctrl.h"
#include "control/numeric_args.h"
#include "platform/gdi/gdi.h"

namespace control {

void CLumoraCtrl::SetPrintHDC(int32_t target) {
    const HDC dc = static_cast<HDC>(target);
    const int pageWidth = platform::GetDeviceCaps(dc, HORZRES);
    const int pageHeight = platform::GetDeviceCaps(dc, VERTRES);
    const int dpiX = platform::GetDeviceCaps(dc, LOGPIXELSX);
    const int dpiY = platform::GetDeviceCaps(dc, LOGPIXELSY);
    // Not a device context: there is no page to draw on.
    if (dpiX <= 0 || dpiY <= 0) return;

    const double zoom = print_.printZoom;
    int w = RoundToInt(image_.bmpw * zoom);
    int h = RoundToInt(image_.bmph * double{image_.aspect} * zoom);
    if (dpiX < dpiY) w = RoundToInt(double(dpiX) / dpiY * w);
    if (dpiY < dpiX) h = RoundToInt(double(dpiY) / dpiX * h);

    HPALETTE displaced = 0;
    if (image_.palette) {
        displaced = platform::SelectPalette(dc, image_.palette, false);
        platform::RealizePalette(dc);
    }
    const RECT rect{print_.printX, print_.printY, print_.printX + w, print_.printY + h};
    RenderPicture(dc, rect, RECT{0, 0, pageWidth, pageHeight});
    if (displaced) {
        platform::SelectPalette(dc, displaced, false);
        platform::RealizePalette(dc);
    }
}

}  // namespace control
