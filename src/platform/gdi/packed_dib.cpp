#include "platform/gdi/packed_dib.h"

#include <cstdlib>
#include <cstring>

#include "platform/gdi/gdi.h"

namespace platform {

namespace {

int64_t Stride(int width, int bitCount) {
    return ((static_cast<int64_t>(width) * bitCount + 31) / 32) * 4;
}

}  // namespace

std::vector<uint8_t> PackBitmap(HBITMAP bitmap) {
    BITMAP bm{};
    if (GetObject(bitmap, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return {};
    const int bitCount = bm.bmBitsPixel == 16 ? 24 : bm.bmBitsPixel;
    const uint32_t colors = bitCount <= 8 ? 1u << bitCount : 0;

    BITMAPINFO info = DibHeader(bm.bmWidth, bm.bmHeight, bitCount);
    BITMAPINFOHEADER& h = info.bmiHeader;
    const size_t rows = static_cast<size_t>(Stride(bm.bmWidth, bitCount)) * bm.bmHeight;
    std::vector<uint8_t> pixels(rows);

    const HDC dc = CreateCompatibleDC(0);
    const int copied = GetDIBits(dc, bitmap, 0, static_cast<uint32_t>(bm.bmHeight), pixels.data(),
                                 &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    if (copied != bm.bmHeight) return {};

    h.biSizeImage = static_cast<uint32_t>(rows);
    h.biClrUsed = colors;
    h.biClrImportant = 0;
    std::vector<uint8_t> packed(sizeof(BITMAPINFOHEADER) + colors * sizeof(RGBQUAD) + rows);
    uint8_t* out = packed.data();
    std::memcpy(out, &h, sizeof h);
    std::memcpy(out + sizeof h, info.bmiColors, colors * sizeof(RGBQUAD));
    std::memcpy(out + sizeof h + colors * sizeof(RGBQUAD), pixels.data(), rows);
    return packed;
}

HBITMAP UnpackBitmap(std::span<const uint8_t> packed, HPALETTE* palette) {
    if (palette) *palette = 0;
    BITMAPINFO info{};
    BITMAPINFOHEADER& h = info.bmiHeader;
    if (packed.size() < sizeof h) return 0;
    std::memcpy(&h, packed.data(), sizeof h);
    if (h.biSize < sizeof h || h.biSize > packed.size() || h.biPlanes != 1 ||
        h.biCompression != BI_RGB)
        return 0;
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
    const int height = std::abs(h.biHeight);
    if (h.biWidth < 1 || h.biWidth > 32767 || height < 1 || height > 32767) return 0;
    const uint32_t maxColors = bits <= 8 ? 1u << bits : 0;
    const uint32_t colors = h.biClrUsed ? h.biClrUsed : maxColors;
    if (colors > maxColors && bits <= 8) return 0;
    const uint32_t tableColors = bits <= 8 ? colors : 0;
    const size_t tableOffset = h.biSize;
    const size_t rowsOffset = tableOffset + tableColors * sizeof(RGBQUAD);
    const size_t rowBytes = static_cast<size_t>(Stride(h.biWidth, bits)) * height;
    if (packed.size() < rowsOffset || packed.size() - rowsOffset < rowBytes) return 0;

    h.biSize = sizeof h;
    h.biClrUsed = tableColors;
    std::memcpy(info.bmiColors, packed.data() + tableOffset, tableColors * sizeof(RGBQUAD));
    void* pixels = nullptr;
    const HBITMAP bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, &pixels);
    if (!bitmap || !pixels) return 0;
    std::memcpy(pixels, packed.data() + rowsOffset, rowBytes);

    if (palette && tableColors > 0) {
        LOGPALETTE log{};
        log.palVersion = 0x300;
        log.palNumEntries = static_cast<uint16_t>(tableColors);
        for (uint32_t i = 0; i < tableColors; ++i) {
            log.palPalEntry[i] = {info.bmiColors[i].rgbRed, info.bmiColors[i].rgbGreen,
                                  info.bmiColors[i].rgbBlue, 0};
        }
        *palette = CreatePalette(&log);
    }
    return bitmap;
}

}  // namespace platform
