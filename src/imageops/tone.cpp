// Brightness, Contrast and ColorBalance: one frame, three per-colour rules.
#include <algorithm>
#include <cstring>

#include "control/lumora_ctrl.h"
#include "imageops/dib_block.h"
#include "imageops/rotate_bits.h"
#include "imageops/tone_tables.h"
#include "platform/gdi/gdi.h"

namespace control {

namespace {

constexpr size_t kStripBytes = size_t{256} << 10;  // a strip stays in the second-level cache

// A colour table lives in the DIB section itself: set it there, the indices stay as they are.
bool SetOwnColorTable(HBITMAP bitmap, const RGBQUAD* colors, uint32_t count) {
    const imageops::MemoryDc mem(0, bitmap);
    return mem && platform::SetDIBColorTable(mem.get(), 0, count, colors) == count;
}

}  // namespace

void CLumoraCtrl::Brightness(int16_t level) {
    AdjustTone(imageops::BrightnessTables(level));
}

void CLumoraCtrl::Contrast(int16_t level) {
    AdjustTone(imageops::ContrastTables(level));
}

void CLumoraCtrl::ColorBalance(int16_t red, int16_t green, int16_t blue) {
    AdjustTone(imageops::ColorBalanceTables(red, green, blue));
}

void CLumoraCtrl::AdjustTone(const imageops::ToneTables& tables) {
    const HBITMAP bitmap = image_.bitmap;
    const HDC dc = view_.controlDC;
    imageops::DibHeaderBlock format;
    if (!bitmap || !format.ReadFormat(dc, bitmap)) return;
    const int width = format.width();
    const int height = format.height();
    const int bits = format.bitCount();
    BITMAPINFOHEADER& header = format.header();
    header.biHeight = height;
    const size_t stride = imageops::DibRowBytes(width, bits);
    const auto rows = static_cast<uint32_t>(height);
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (header.biCompression == BI_BITFIELDS) std::memcpy(masks, format.masks(), 12);
    {
        imageops::PaletteScope scope(dc, image_.palette);
        if (bits <= 8) {
            const uint32_t count = 1u << bits;
            platform::GetDIBits(dc, bitmap, 0, rows, nullptr, format.info(), DIB_RGB_COLORS);
            imageops::ApplyToColors(tables, format.colors(), count);
            if (!SetOwnColorTable(bitmap, format.colors(), count)) {
                // A device bitmap has no table: its rows go back through the adjusted one.
                imageops::DibHeaderBlock read = format;
                imageops::LockedBlock pixels(stride * rows, GMEM_MOVEABLE);
                if (platform::GetDIBits(dc, bitmap, 0, rows, pixels.bits, read.info(),
                                        DIB_RGB_COLORS) == height)
                    platform::SetDIBits(dc, bitmap, 0, rows, pixels.bits, format.info(),
                                        DIB_RGB_COLORS);
            }
        } else if (uint8_t* section = imageops::SectionBits(bitmap)) {
            // The section's own rows, in place: the order of the rows does not matter here.
            imageops::ApplyToRows(tables, section, stride, width, height, bits, masks);
        } else {
            // Strip by strip, so the picture is read and written once and the copy stays small.
            const auto strip =
                static_cast<uint32_t>(std::clamp<size_t>(kStripBytes / stride, 1, rows));
            imageops::LockedBlock pixels(stride * strip, GMEM_MOVEABLE);
            for (uint32_t start = 0; start < rows; start += strip) {
                const uint32_t n = std::min(strip, rows - start);
                if (platform::GetDIBits(dc, bitmap, start, n, pixels.bits, format.info(),
                                        DIB_RGB_COLORS) != static_cast<int>(n))
                    break;
                imageops::ApplyToRows(tables, pixels.bits, stride, width, static_cast<int>(n), bits,
                                      masks);
                platform::SetDIBits(dc, bitmap, start, n, pixels.bits, format.info(),
                                    DIB_RGB_COLORS);
            }
        }
    }

    if (image_.palette) {
        PALETTEENTRY entries[256]{};
        const uint32_t n = platform::GetPaletteEntries(image_.palette, 0, 256, entries);
        if (n > 0) {
            imageops::ApplyToEntries(tables, entries, n);
            platform::SetPaletteEntries(OwnPalette(), 0, n, entries);
        }
    }
    picture_.CreateFromBitmap(image_.bitmap, image_.palette, false);
    SetModifiedFlag();
    NoteBitmapChanged(true);
}

}  // namespace control
