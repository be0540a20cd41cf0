#include "draw/draw_fixture.h"

#include <algorithm>

namespace draw_test {

Surface::Surface(int width, int height) : site(ctrl, width, height) {
    ctrl.InitNew();
    ctrl.SetBorderStyle(0);
    ctrl.SetAppearance(0);
    ctrl.SetBackColor(0xFFFFFF);
    Set("ScaleMode", I(3));
    site.Paint();
}

void Surface::UseBitmap(int bits, uint8_t grey, int width, int height) {
    const oracle::RgbImage picture{
        width, height, std::vector<uint8_t>(size_t{3} * width * height, grey), {}};
    const std::string path = dir.path("grey" + std::to_string(bits) + ".pnm");
    const auto write = bits == 1   ? testsupport::WritePbm
                       : bits == 8 ? testsupport::WritePgm
                                   : testsupport::WritePpm;
    ASSERT_TRUE(write(path, picture));
    Set("FileName", Variant::Bstr(path));
    ASSERT_EQ(Get("bmpc").AsI2(), bits);
    Set("DrawTo", I(1));
}

COLORREF Surface::Pixel(int x, int y) const {
    if (ctrl.Drawing().drawTo == 0) return site.Pixel(x, y);
    const HDC dc = platform::CreateCompatibleDC(0);
    const HGDIOBJ old = platform::SelectObject(dc, ctrl.Image().bitmap);
    const COLORREF c = platform::GetPixel(dc, x, y);
    platform::SelectObject(dc, old);
    platform::DeleteDC(dc);
    return c;
}

std::array<int, 4> Surface::Bounds(COLORREF background, int width, int height) const {
    std::array<int, 4> r{width, height, -1, -1};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (Pixel(x, y) != background)
                r = {std::min(r[0], x), std::min(r[1], y), std::max(r[2], x), std::max(r[3], y)};
    return r;
}

}  // namespace draw_test
