// From the decode area to the control's DIB section, logical palette and transparency mask.
#include "decode/build_dib.h"

#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"

namespace decode {
namespace {

// Fills a logical palette and the DIB colour table with the same n colours.
void FillPalette(DecodedImage& img, LOGPALETTE& log, int n, const uint8_t* rgb, int white) {
    log.palVersion = 0x300;
    log.palNumEntries = static_cast<uint16_t>(n);
    for (int i = 0; i < n; ++i) {
        uint8_t r, g, b;
        if (white < -1) {  // image colours
            r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        } else {  // mask colours: the transparent entry white, every other black
            r = g = b = (i == white) ? 255 : 0;
        }
        log.palPalEntry[i] = {r, g, b, 0};
        img.bitInfo.bmiColors[i] = {b, g, r, 0};
    }
}

constexpr int kImageColours = -2;

// Every failure frees the pixel block and whatever palette this build made.
HBITMAP Fail(DecodedImage& img, int32_t code) {
    ReleasePixels(img);
    if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
    img.paletteHandle = 0;
    img.errorCode = code;
    return 0;
}

// Creates, selects and realises a palette; the previous one is left in `previous`.
int32_t SelectNewPalette(HDC dc, const LOGPALETTE& log, HPALETTE& palette, HPALETTE& previous) {
    palette = platform::CreatePalette(&log);
    if (!palette) return kNoPalette;
    previous = platform::SelectPalette(dc, palette, false);
    if (!previous) {
        platform::DeleteObject(palette);
        palette = 0;
        return kNoPalette;
    }
    platform::RealizePalette(dc);
    return 0;
}

void RestorePalette(HDC dc, HPALETTE previous) {
    platform::SelectPalette(dc, previous, false);
    platform::RealizePalette(dc);
}

}  // namespace

HBITMAP BuildDib(DecodedImage& img, HDC dc, uint16_t dither) {
    BITMAPINFOHEADER& h = img.header;
    img.builtBitCount = static_cast<int8_t>(h.biBitCount & 0xFF);

    int depth = platform::GetDeviceCaps(dc, PLANES) * platform::GetDeviceCaps(dc, BITSPIXEL);
    if (depth >= 16) depth = 24;

    if (h.biBitCount > 8 && depth <= 8) {
        int32_t wanted = 1 << depth;
        if (MedianCutPalette(img, wanted) != 0) return Fail(img, kNoPalette);
    }

    if (dither != 0 && img.builtBitCount != 1 && (dither == 1 || img.builtBitCount > depth)) {
        if (int32_t rc = OrderedDither(img)) return Fail(img, rc);
    }

    HPALETTE previous = 0;
    const bool makePalette = !(h.biBitCount > 8 && depth > 8);
    if (makePalette) {
        const int n = h.biBitCount <= 8 ? 1 << h.biBitCount : 256;
        LOGPALETTE log{};
        FillPalette(img, log, n, img.rgbPalette.data(), kImageColours);
        if (int32_t rc = SelectNewPalette(dc, log, img.paletteHandle, previous))
            return Fail(img, rc);
    }
    auto failAfterPalette = [&](int32_t code) {
        if (makePalette) RestorePalette(dc, previous);
        return Fail(img, code);
    };

    img.imageWidth = static_cast<int16_t>(h.biWidth);
    img.imageHeight = static_cast<int16_t>(h.biHeight);

    if (platform::GlobalSize(img.pixelHandle) < 1) return failAfterPalette(kNoMemory);

    // The DIB section takes the pixel block over as its pixel memory: the rows already have
    // the DIB layout, so nothing is copied.
    void* bits = nullptr;
    platform::GlobalUnlock(img.pixelHandle);
    HBITMAP bitmap =
        platform::CreateDIBSection(dc, &img.bitInfo, DIB_RGB_COLORS, &bits, img.pixelHandle, 0);
    if (bitmap) {
        img.pixelHandle = 0;
        img.pixels = img.dibBits = static_cast<uint8_t*>(bits);
        platform::GdiFlush();
    } else {
        img.pixels = static_cast<uint8_t*>(platform::GlobalLock(img.pixelHandle));
        img.errorCode = kNoDibHandle;
    }

    if (makePalette) RestorePalette(dc, previous);

    if (img.transparentIndex != -1) {
        const int n = h.biBitCount <= 8 ? 1 << h.biBitCount : 256;
        LOGPALETTE log{};
        FillPalette(img, log, n, nullptr, img.transparentIndex);
        HPALETTE maskPalette = 0, before = 0;
        if (int32_t rc = SelectNewPalette(dc, log, maskPalette, before)) {
            if (bitmap) platform::DeleteObject(bitmap);
            return Fail(img, rc);
        }
        // A monochrome mask: transparent pixels white (1), everything else black (0).
        img.maskBitmap = platform::CreateBitmap(h.biWidth, h.biHeight, 1, 1, nullptr);
        if (!img.maskBitmap ||
            platform::SetDIBits(dc, img.maskBitmap, 0, static_cast<uint32_t>(h.biHeight),
                                img.pixels, &img.bitInfo, DIB_RGB_COLORS) <= 0) {
            if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
            img.maskBitmap = 0;
            img.errorCode = kNoDibHandle;
        }
        RestorePalette(dc, before);
        platform::DeleteObject(maskPalette);
    }

    ReleasePixels(img);
    return bitmap;
}

}  // namespace decode
