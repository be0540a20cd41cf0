// The metafile and icon players on arbitrary bytes: as a Windows metafile, as an enhanced
// metafile, wrapped by SetWinMetaFileBits, and as icon image data, each drawn into a small DIB.
#include <cstddef>
#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/metafile/metafile.h"

namespace {

struct Surface {
    Surface() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = 40;
        info.bmiHeader.biWidth = 64;
        info.bmiHeader.biHeight = 48;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        bitmap = platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits);
        dc = platform::CreateCompatibleDC(0);
        old = platform::SelectObject(dc, bitmap);
    }
    ~Surface() {
        platform::SelectObject(dc, old);
        platform::DeleteDC(dc);
        platform::DeleteObject(bitmap);
    }
    HBITMAP bitmap;
    HDC dc;
    HGDIOBJ old;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    Surface s;
    const auto n = static_cast<uint32_t>(size);
    const RECT rect{2, 3, 60, 45};
    if (platform::HMETAFILE wmf = platform::SetMetaFileBitsEx(n, data)) {
        platform::PlayMetaFile(s.dc, wmf);
        platform::DeleteMetaFile(wmf);
    }
    if (platform::HENHMETAFILE emf = platform::SetEnhMetaFileBits(n, data)) {
        platform::PlayEnhMetaFile(s.dc, emf, &rect);
        platform::DeleteEnhMetaFile(emf);
    }
    if (platform::HENHMETAFILE wrapped = platform::SetWinMetaFileBits(n, data, s.dc, nullptr)) {
        platform::PlayEnhMetaFile(s.dc, wrapped, &rect);
        platform::DeleteEnhMetaFile(wrapped);
    }
    if (platform::HICON icon =
            platform::CreateIconFromResourceEx(data, n, true, 0x00030000, 0, 0, 0)) {
        platform::DrawIconEx(s.dc, 1, 1, icon, 40, 30, 0, 0, platform::DI_NORMAL);
        platform::DestroyIcon(icon);
    }
    return 0;
}
