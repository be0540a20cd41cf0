// Helpers shared by the raster engine, metafile and icon tests: owning wrappers for handles,
// DIB headers, an independent per-pixel reading of packed DIB rows, and a 32-bit board read back
// pixel by pixel or as characters.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/os/handles.h"

namespace gdi_test {

using namespace platform;

class Object {
  public:
    explicit Object(HGDIOBJ h = 0) : h_(h) {}
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    ~Object() {
        if (h_) DeleteObject(h_);
    }
    HGDIOBJ get() const { return h_; }
    operator HGDIOBJ() const { return h_; }

  private:
    HGDIOBJ h_;
};

// A memory DC with a bitmap selected; the bitmap goes back out before the DC is deleted.
class MemoryDc {
  public:
    explicit MemoryDc(HBITMAP bitmap = 0) : dc_(CreateCompatibleDC(0)) {
        if (bitmap) previous_ = SelectObject(dc_, bitmap);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (previous_) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    operator HDC() const { return dc_; }

  private:
    HDC dc_;
    HGDIOBJ previous_ = 0;
};

// The display's own DC, released at the end.
class WindowDc {
  public:
    WindowDc() : dc_(GetDC(0)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() { ReleaseDC(0, dc_); }
    operator HDC() const { return dc_; }

  private:
    HDC dc_;
};

// Restores the display to 32 bits and a fresh system palette whatever a test did.
class DisplayGuard {
  public:
    explicit DisplayGuard(int depth) { SetDisplayDepth(depth); }
    ~DisplayGuard() { SetDisplayDepth(32); }
};

inline int Stride(int width, int bits) {
    return ((width * bits + 31) / 32) * 4;
}

inline BITMAPINFO MakeInfo(int width, int height, int bits, uint32_t compression = BI_RGB) {
    BITMAPINFO info = DibHeader(width, height, bits);
    info.bmiHeader.biCompression = compression;
    return info;
}

inline void SetMasks(BITMAPINFO& info, uint32_t r, uint32_t g, uint32_t b) {
    const uint32_t masks[3] = {r, g, b};
    std::memcpy(info.bmiColors, masks, sizeof masks);
}

inline RGBQUAD Quad(uint8_t r, uint8_t g, uint8_t b) {
    return RGBQUAD{b, g, r, 0};
}

// Pixel (x, row from the top) of a packed DIB as stored: a table index, or the bits of a
// true-colour pixel in file order.
inline uint32_t PixelValue(const BITMAPINFO& info, const void* bits, int x, int y) {
    const BITMAPINFOHEADER& h = info.bmiHeader;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const auto* row =
        static_cast<const uint8_t*>(bits) +
        static_cast<size_t>(h.biHeight < 0 ? y : height - 1 - y) * Stride(h.biWidth, h.biBitCount);
    switch (h.biBitCount) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
        case 8:
            return row[x];
        default:
            break;
    }
    uint32_t v = 0;
    std::memcpy(&v, row + x * (h.biBitCount / 8), h.biBitCount / 8);
    return v;
}

// The same pixel as a colour, decoded here from first principles.
inline COLORREF DibColor(const BITMAPINFO& info, const uint8_t* bits, int x, int y) {
    const BITMAPINFOHEADER& h = info.bmiHeader;
    const uint32_t v = PixelValue(info, bits, x, y);
    if (h.biBitCount <= 8) {
        const RGBQUAD q = info.bmiColors[v];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    uint32_t masks[3];
    if (h.biCompression == BI_BITFIELDS)
        std::memcpy(masks, info.bmiColors, sizeof masks);
    else if (h.biBitCount == 16)
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    else
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    uint8_t c[3];
    for (int i = 0; i < 3; ++i) {
        int shift = 0, len = 0;
        while (!((masks[i] >> shift) & 1))
            ++shift;
        while ((masks[i] >> (shift + len)) & 1)
            ++len;
        const uint32_t raw = (v & masks[i]) >> shift;
        // Widen by repeating the bits: 5-bit 10110 becomes 10110101.
        uint32_t wide = 0;
        for (int bit = 0; bit < 8; ++bit)
            wide |= ((raw >> (len - 1 - bit % len)) & 1) << (7 - bit);
        c[i] = static_cast<uint8_t>(len >= 8 ? raw >> (len - 8) : wide);
    }
    return RGB(c[0], c[1], c[2]);
}

inline std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);
inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kBlue = RGB(0, 0, 255);

// A top-down 32-bit DIB section selected into a memory DC, cleared to one colour.
class Board {
  public:
    Board(int width, int height, COLORREF fill = kWhite) : width_(width), height_(height) {
        BITMAPINFO info = MakeInfo(width, -height, 32);
        bitmap_ = std::make_unique<Object>(CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits_));
        dc_ = std::make_unique<MemoryDc>(bitmap_->get());
        Clear(fill);
    }
    operator HDC() const { return *dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Clear(COLORREF c) {
        std::fill_n(Pixels(), width_ * height_,
                    uint32_t{GetRValue(c)} << 16 | GetGValue(c) << 8 | GetBValue(c));
    }
    COLORREF At(int x, int y) const {
        const uint32_t v = Pixels()[y * width_ + x];
        return RGB(v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF);
    }
    int Count(COLORREF color) const {
        int n = 0;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                n += At(x, y) == color;
        return n;
    }
    // One character per pixel: '.' for white, '#' for black, 'r' red, 'b' blue, '?' other.
    std::vector<std::string> Art() const {
        std::vector<std::string> rows(height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const COLORREF c = At(x, y);
                rows[y] += c == kWhite   ? '.'
                           : c == kBlack ? '#'
                           : c == kRed   ? 'r'
                           : c == kBlue  ? 'b'
                                         : '?';
            }
        return rows;
    }
    // Smallest rectangle holding every pixel that is not white; empty when there is none.
    RECT Changed() const {
        RECT box{width_, height_, 0, 0};
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (At(x, y) != kWhite) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                }
        return box.right == 0 ? RECT{0, 0, 0, 0} : box;
    }

  private:
    uint32_t* Pixels() const { return static_cast<uint32_t*>(bits_); }
    int width_, height_;
    void* bits_ = nullptr;
    std::unique_ptr<Object> bitmap_;
    std::unique_ptr<MemoryDc> dc_;
};

// Selects an object for a scope and puts the previous one back.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    ~Selected() {
        if (previous_) SelectObject(dc_, previous_);
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

inline bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace gdi_test
