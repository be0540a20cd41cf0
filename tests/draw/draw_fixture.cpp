#include "draw/draw_fixture.h"

#include <algorithm>

namespace draw_test {

namespace {

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> GreyBmp(int bits, int width, int height, uint8_t grey) {
    const int colours = bits == 1 ? 2 : bits == 8 ? 256 : 0;
    const int stride = (width * bits + 31) / 32 * 4;
    std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
    for (int x = 0; x < width; ++x) {
        switch (bits) {
            case 1:
                if (grey) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
                break;
            case 8:
                row[static_cast<size_t>(x)] = grey;
                break;
            default:
                for (int c = 0; c < 3; ++c)
                    row[static_cast<size_t>(x * bits / 8 + c)] = grey;
        }
    }
    const uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(colours);
    const uint32_t size = static_cast<uint32_t>(stride * height);
    std::vector<uint8_t> out{'B', 'M'};
    Put(out, offset + size, 4);
    Put(out, 0, 4);
    Put(out, offset, 4);
    for (uint32_t v : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
        Put(out, v, 4);
    Put(out, 1, 2);
    Put(out, static_cast<uint32_t>(bits), 2);
    for (uint32_t v : {0u, size, 2835u, 2835u, static_cast<uint32_t>(colours), 0u})
        Put(out, v, 4);
    for (int i = 0; i < colours; ++i) {
        const auto v = static_cast<uint8_t>(bits == 1 ? 255 * i : i);
        out.insert(out.end(), {v, v, v, 0});
    }
    for (int y = 0; y < height; ++y)
        out.insert(out.end(), row.begin(), row.end());
    return out;
}

Surface::Surface(int width, int height) : site(ctrl, width, height) {
    ctrl.InitNew();
    ctrl.SetBorderStyle(0);
    ctrl.SetAppearance(0);
    ctrl.SetBackColor(0xFFFFFF);
    Set("ScaleMode", I(3));
    site.Paint();
}

void Surface::UseBitmap(int bits, uint8_t grey, int width, int height) {
    const std::string path = dir.path("grey" + std::to_string(bits) + ".bmp");
    testsupport::WriteBytes(path, GreyBmp(bits, width, height, grey));
    Set("FileName", Variant::Bstr(path));
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

RECT Surface::Bounds(COLORREF background, int width, int height) const {
    RECT r{width, height, -1, -1};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (Pixel(x, y) != background)
                r = RECT{std::min<int32_t>(r.left, x), std::min<int32_t>(r.top, y),
                         std::max<int32_t>(r.right, x), std::max<int32_t>(r.bottom, y)};
    return r;
}

}  // namespace draw_test
