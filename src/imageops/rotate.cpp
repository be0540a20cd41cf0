// Rotate: a quarter turn of the picture bitmap, keeping its depth and colours.
#include <optional>
#include <utility>

#include "control/lumora_ctrl.h"
#include "imageops/dib_block.h"
#include "imageops/rotate_bits.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/control_error.h"
#include "platform/os/global_memory.h"

namespace control {

void CLumoraCtrl::Rotate(int16_t direction) {
    const HBITMAP bitmap = image_.bitmap;
    const HDC dc = view_.controlDC;
    imageops::DibHeaderBlock format;
    if (!bitmap || !format.ReadFormat(dc, bitmap)) ThrowError(platform::CTL_E_INVALIDPICTURE);
    const int w = format.width();
    const int h = format.height();
    const int bits = format.bitCount();
    // A bottom-up DIB section is turned straight from its own rows; anything else is read out
    // as such a DIB first.
    const uint8_t* rows = format.header().biHeight > 0 ? imageops::SectionBits(bitmap) : nullptr;
    format.header().biHeight = h;

    imageops::LockedBlock turned(imageops::TurnedRowBytes(h, bits) * static_cast<size_t>(w),
                                 bits < 8 ? GHND : GMEM_MOVEABLE);
    {
        std::optional<imageops::LockedBlock> source;
        {
            imageops::PaletteScope scope(dc, image_.palette);
            if (!rows)
                source.emplace(imageops::DibRowBytes(w, bits) * static_cast<size_t>(h),
                               GMEM_MOVEABLE);
            // Without a buffer this reads the colour table alone.
            if (platform::GetDIBits(dc, bitmap, 0, static_cast<uint32_t>(h),
                                    source ? source->bits : nullptr, format.info(),
                                    DIB_RGB_COLORS) != h)
                imageops::ThrowNoMemory();
        }
        imageops::TurnBits(source ? source->bits : rows, w, h, bits, direction != 0, turned.bits);
    }
    BITMAPINFOHEADER& header = format.header();
    header.biWidth = h;
    header.biHeight = w;
    header.biSizeImage = static_cast<uint32_t>(imageops::TurnedRowBytes(h, bits) * w);

    // The new bitmap is made before the old one goes, so a failure leaves the picture as it was.
    HBITMAP result = 0;
    bool inverted = false;
    {
        imageops::PaletteScope scope(dc, image_.palette);
        if (bits != 1) {
            result = platform::CreateDIBSection(dc, format.info(), DIB_RGB_COLORS, nullptr,
                                                turned.Unlock(), 0);
            if (result) turned.block.release();  // the section owns the memory now
        } else {
            // A monochrome bitmap shows 0 as black: a picture whose first colour is light is
            // inverted and its palette put in that order, so it looks the same.
            PALETTEENTRY first[2]{};
            const RGBQUAD* table = format.colors();
            if (!image_.palette || platform::GetPaletteEntries(image_.palette, 0, 2, first) < 2)
                for (int i = 0; i < 2; ++i)
                    first[i] =
                        PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
            inverted = first[0].peRed != 0;
            if (inverted)
                for (size_t i = 0; i < header.biSizeImage; ++i)
                    turned.bits[i] = static_cast<uint8_t>(~turned.bits[i]);
            result = platform::CreateBitmap(h, w, 1, 1, turned.bits);
        }
    }
    if (!result) imageops::ThrowNoMemory();
    if (inverted && image_.palette) {
        const PALETTEENTRY blackWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        platform::SetPaletteEntries(OwnPalette(), 0, 2, blackWhite);
    }
    ReplaceBitmap(result);
    std::swap(image_.bmpw, image_.bmph);
    SetModifiedFlag();
    Relayout();
}

}  // namespace control
