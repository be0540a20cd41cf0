// The icon-file reader on arbitrary bytes. A made icon is drawn once at its own size into a
// small 32-bit surface, so an icon object built from a short image shows up under
// AddressSanitizer. PNG images reach the PNG codec module when LUMORA_CODEC_PATH names it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/readers.h"
#include "platform/gdi/gdi.h"
#include "platform/metafile/metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decode::DecodedImage img;
    const platform::HICON icon = decode::ReadIconBytes(img, std::span<const uint8_t>(data, size));
    if (icon) {
        const HDC dc = platform::CreateCompatibleDC(0);
        BITMAPINFO info{};
        info.bmiHeader.biSize = 40;
        info.bmiHeader.biWidth = 16;
        info.bmiHeader.biHeight = 16;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        const HBITMAP bitmap = platform::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits);
        const HGDIOBJ previous = platform::SelectObject(dc, bitmap);
        platform::DrawIconEx(dc, 0, 0, icon, 16, 16, 0, 0, platform::DI_NORMAL);
        platform::SelectObject(dc, previous);
        platform::DeleteObject(bitmap);
        platform::DeleteDC(dc);
        platform::DestroyIcon(icon);
    }
    return 0;
}
