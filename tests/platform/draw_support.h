// Helpers for the drawing tests: a small 32-bit canvas read back as characters, and scoped
// selection of pens and brushes.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gdi_support.h"
#include "platform/gdi/gdi_draw.h"

namespace draw_test {

using namespace gdi_test;

inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);
inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kBlue = RGB(0, 0, 255);

// A top-down 32-bit DIB section selected into a memory DC, cleared to white.
class Board {
  public:
    Board(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = MakeInfo(width, -height, 32);
        bitmap_ = std::make_unique<Object>(CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits_));
        dc_ = std::make_unique<MemoryDc>(bitmap_->get());
        Clear(kWhite);
    }
    operator HDC() const { return *dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Clear(COLORREF color) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                Pixels()[y * width_ + x] = Value(color);
    }
    COLORREF At(int x, int y) const {
        const uint32_t v = Pixels()[y * width_ + x];
        return RGB(v >> 16, v >> 8, v);
    }
    // One character per pixel: '.' for white, '#' for black, 'r' red, 'b' blue, '?' other.
    std::vector<std::string> Art() const {
        std::vector<std::string> rows;
        for (int y = 0; y < height_; ++y) {
            std::string row;
            for (int x = 0; x < width_; ++x) {
                switch (At(x, y)) {
                    case kWhite:
                        row += '.';
                        break;
                    case kBlack:
                        row += '#';
                        break;
                    case kRed:
                        row += 'r';
                        break;
                    case kBlue:
                        row += 'b';
                        break;
                    default:
                        row += '?';
                }
            }
            rows.push_back(row);
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
    static uint32_t Value(COLORREF c) {
        return (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
    }
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

}  // namespace draw_test
