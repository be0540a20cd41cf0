// Pixel formats of bitmaps and packed DIBs, and the conversion of pixel values between them.
// A pixel value is what a pixel holds in its own format: an index for 8 bits and less, the
// packed channels (by the masks) for 16, 24 and 32 bits.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/inverse_colormap.h"
#include "platform/os/wintypes.h"

namespace platform::gdi {

struct PixelFormat {
    int bitCount = 0;
    std::array<uint32_t, 3> masks{};  // red, green, blue; 24 bits use 0xFF0000, 0xFF00, 0xFF
    std::vector<RGBQUAD> table;       // 2^bitCount entries for 8 bits and less
    std::vector<uint8_t> matchable;   // entries a colour may be mapped to (empty: all)
    bool monochrome = false;          // a monochrome device bitmap
    bool systemPalette = false;       // indices into the system palette

    bool Indexed() const { return bitCount <= 8; }
    uint32_t ValueMask() const;  // bits a pixel value may carry
};

// The format of a bitmap; device bitmaps on a palette display take the system palette as it
// is now.
PixelFormat FormatOf(const Bitmap& bitmap);

// A packed DIB's description, checked.
struct DibLayout {
    int width = 0;
    int height = 0;  // rows, always positive
    bool topDown = false;
    int stride = 0;
    PixelFormat format;
};
// Reads a BITMAPINFO; DIB_PAL_COLORS tables are resolved through the DC's palette. False for
// anything the engine cannot take (compressed, bad bit count or masks, zero size).
bool ParseDibInfo(const BITMAPINFO* info, uint32_t usage, const Dc* dc, DibLayout& layout);
// Standard masks for a bit count and BI_RGB (555 for 16 bits, 888 for 24 and 32).
std::array<uint32_t, 3> DefaultMasks(int bitCount);
// Masks with one contiguous run each, not overlapping, within the pixel.
bool ValidMasks(const std::array<uint32_t, 3>& masks, int bitCount);

COLORREF ValueToColor(const PixelFormat& format, uint32_t value);
// The value whose colour is nearest (squared distance; the lower index wins a tie).
uint32_t ColorToValue(const PixelFormat& format, COLORREF color);
uint32_t NearestIndex(const RGBQUAD* table, size_t count, const uint8_t* matchable, uint8_t r,
                      uint8_t g, uint8_t b);

// Row access. x positions count from the row start; values as above.
void ReadPixels(const uint8_t* row, int bitCount, const int32_t* xs, int count, uint32_t* out);
void ReadPixelsContiguous(const uint8_t* row, int bitCount, int x0, int count, uint32_t* out);
void WritePixels(uint8_t* row, int bitCount, int x0, int count, const uint32_t* values);
uint32_t ReadPixel(const uint8_t* row, int bitCount, int x);
void WritePixel(uint8_t* row, int bitCount, int x, uint32_t value);

// Converts source pixel values into destination pixel values.
class PixelConverter {
  public:
    enum class Rules {
        Blit,  // between DCs: monochrome device bitmaps go through text and background colours
        Dib,   // DIB transfers: every colour goes to its nearest
    };
    struct Colors {
        COLORREF dstText = 0;
        COLORREF dstBk = 0xFFFFFF;
        COLORREF srcBk = 0xFFFFFF;
    };
    PixelConverter(const PixelFormat& src, const PixelFormat& dst, Rules rules, Colors colors);

    bool Identity() const { return kind_ == Kind::Identity; }
    // The table source values index, for sources of 8 bits and less; null otherwise.
    const uint32_t* Table() const { return kind_ == Kind::Lut ? lut_.data() : nullptr; }
    void Convert(uint32_t* values, int count);
    // For 24- and 32-bit sources in blue, green, red byte order going to 8-bit indices: the map
    // that takes their bytes straight to indices; null otherwise.
    InverseColormap* ByteMap() const;

  private:
    enum class Kind { Identity, Lut, ToMono, Channels, ToIndexed };

    Kind kind_ = Kind::Identity;
    const PixelFormat& src_;
    const PixelFormat& dst_;
    std::vector<uint32_t> lut_;
    uint32_t monoBkValue_ = 0;
    uint32_t dstMask_ = 0;
    std::shared_ptr<InverseColormap> nearest_;  // for true colour to indexed
    // Source channels widened to 8 bits: shift, length and, for short channels, a table.
    struct SourceChannel {
        uint32_t mask = 0;
        int shift = 0;
        int length = 0;
        std::vector<uint8_t> widen;
    };
    SourceChannel channels_[3];
    int dstShift_[3] = {};
    int dstLength_[3] = {};
};

}  // namespace platform::gdi
