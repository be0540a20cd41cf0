// How an image operation hands its result to the control: the private palette, the swap of the
// picture bitmap, and the repaint of bits that changed in place.
#include "control/lumora_ctrl.h"
#include "decode/loader_error.h"
#include "imageops/dib_block.h"
#include "platform/gdi/gdi.h"

namespace imageops {

bool DibHeaderBlock::ReadFormat(HDC dc, HBITMAP bitmap) {
    bytes.fill(0);
    header().biSize = sizeof(BITMAPINFOHEADER);
    return platform::GetDIBits(dc, bitmap, 0, 0, nullptr, info(), DIB_RGB_COLORS) > 0 &&
           width() > 0 && height() > 0;
}

uint8_t* SectionBits(HBITMAP bitmap) {
    BITMAP bm{};
    if (platform::GetObject(bitmap, sizeof bm, &bm) < static_cast<int>(sizeof bm)) return nullptr;
    return static_cast<uint8_t*>(bm.bmBits);
}

PaletteScope::PaletteScope(HDC dc, HPALETTE palette) : dc_(dc) {
    if (!dc_ || !palette) return;
    previous_ = platform::SelectPalette(dc_, palette, true);
    platform::RealizePalette(dc_);
}

PaletteScope::~PaletteScope() {
    if (previous_) platform::SelectPalette(dc_, previous_, true);
}

MemoryDc::MemoryDc(HDC compatibleWith, HBITMAP bitmap)
    : dc_(platform::CreateCompatibleDC(compatibleWith)) {
    if (dc_ && bitmap) previous_ = platform::SelectObject(dc_, bitmap);
}

MemoryDc::~MemoryDc() {
    if (previous_) platform::SelectObject(dc_, previous_);
    if (dc_) platform::DeleteDC(dc_);
}

HPALETTE ExportPalette(HPALETTE palette) {
    uint16_t entries = 0;
    if (palette && platform::GetObject(palette, sizeof entries, &entries) && entries >= 3)
        return palette;
    return platform::GetStockObject(platform::DEFAULT_PALETTE);
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    const HBRUSH brush = platform::CreateSolidBrush(color);
    platform::FillRect(dc, &rect, brush);
    platform::DeleteObject(brush);
}

void ThrowNoMemory() {
    const decode::LoaderErrorInfo* e = decode::FindLoaderError(decode::kNoMemory);
    platform::ThrowError(e->scode, e->message);
}

LockedBlock::LockedBlock(size_t bytes, uint32_t flags)
    : block(platform::GlobalAlloc(flags, bytes)) {
    if (block) bits = static_cast<uint8_t*>(platform::GlobalLock(block.get()));
    if (!bits) ThrowNoMemory();
}

LockedBlock::~LockedBlock() {
    if (bits) platform::GlobalUnlock(block.get());
}

HGLOBAL LockedBlock::Unlock() {
    if (bits) platform::GlobalUnlock(block.get());
    bits = nullptr;
    return block.get();
}

}  // namespace imageops

namespace control {

HPALETTE CLumoraCtrl::OwnPalette() {
    const HPALETTE stock = platform::GetStockObject(platform::DEFAULT_PALETTE);
    if (!image_.palette || image_.palette != stock) return image_.palette;
    // Other pictures show through the stock palette too; changing it would change them.
    LOGPALETTE logical{};
    logical.palVersion = 0x300;
    logical.palNumEntries =
        static_cast<uint16_t>(platform::GetPaletteEntries(stock, 0, 256, logical.palPalEntry));
    const HPALETTE copy = platform::CreatePalette(&logical);
    if (!copy) imageops::ThrowNoMemory();
    if (player_.frames[0].palette == image_.palette) player_.frames[0].palette = copy;
    image_.palette = copy;
    return copy;
}

void CLumoraCtrl::ReplaceBitmap(HBITMAP bitmap) {
    const HBITMAP old = image_.bitmap;
    picture_.CreateEmpty();
    FreeViewCache();
    // Frame 0 of an animation shares the picture bitmap; the player must not be reading it
    // while it goes.
    if (old && player_.frames[0].bitmap == old) {
        StopAnimation();
        player_.frames[0].bitmap = bitmap;
    }
    if (old) platform::DeleteObject(old);
    image_.bitmap = bitmap;
    picture_.CreateFromBitmap(bitmap, image_.palette, false);
}

}  // namespace control
