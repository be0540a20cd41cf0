// What the image operations share: the header block a bitmap's format is read into, the
// palette selection around reading and writing bits, and their "Error allocating memory".
#pragma once

#include <array>
#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"
#include "platform/os/wintypes.h"

namespace imageops {

// A BITMAPINFO with room for the three masks of bit-field formats or a 256-entry colour table.
struct DibHeaderBlock {
    alignas(4) std::array<uint8_t, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 4> bytes{};

    BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(bytes.data()); }
    BITMAPINFOHEADER& header() { return info()->bmiHeader; }
    RGBQUAD* colors() {
        return reinterpret_cast<RGBQUAD*>(bytes.data() + sizeof(BITMAPINFOHEADER));
    }
    const uint32_t* masks() {
        return reinterpret_cast<const uint32_t*>(bytes.data() + sizeof(BITMAPINFOHEADER));
    }
    // Reads the bitmap's own format (size, bit count, masks); false for a dead handle.
    bool ReadFormat(HDC dc, HBITMAP bitmap);
    int width() { return header().biWidth; }
    int height() { return header().biHeight < 0 ? -header().biHeight : header().biHeight; }
    int bitCount() { return header().biBitCount; }
};

// The pixel memory of a DIB section (rows as its header says), null for other bitmaps. Who
// writes it directly reports the change (NoteBitmapChanged).
uint8_t* SectionBits(HBITMAP bitmap);

// Selects a palette into a DC in the background and realises it for the length of a scope.
class PaletteScope {
  public:
    PaletteScope(HDC dc, HPALETTE palette);
    ~PaletteScope();
    PaletteScope(const PaletteScope&) = delete;
    PaletteScope& operator=(const PaletteScope&) = delete;

  private:
    HDC dc_;
    HPALETTE previous_ = 0;
};

// A memory DC compatible with another, holding a bitmap, for the length of a scope.
class MemoryDc {
  public:
    MemoryDc(HDC compatibleWith, HBITMAP bitmap);
    ~MemoryDc();
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    // False when the DC could not be made or the bitmap not selected.
    explicit operator bool() const { return previous_ != 0; }
    HDC get() const { return dc_; }

  private:
    HDC dc_ = 0;
    HGDIOBJ previous_ = 0;
};

// The palette an export draws through: the picture's when it has at least three colours, else
// the stock one.
HPALETTE ExportPalette(HPALETTE palette);

// Fills a rectangle with a solid colour.
void FillSolid(HDC dc, const RECT& rect, COLORREF color);

[[noreturn]] void ThrowNoMemory();

// A locked movable block; ThrowNoMemory when it cannot be had.
struct LockedBlock {
    platform::GlobalBlock block;
    uint8_t* bits = nullptr;

    LockedBlock(size_t bytes, uint32_t flags);
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    ~LockedBlock();
    // Unlocks the block and hands out its handle, still owned here.
    HGLOBAL Unlock();
};

}  // namespace imageops
