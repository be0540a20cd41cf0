// The per-colour rules of Brightness, Contrast and ColorBalance as one 256-entry table per
// component, and their application to rows of pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/os/wintypes.h"

namespace imageops {

struct ToneTables {
    std::array<uint8_t, 256> red{};
    std::array<uint8_t, 256> green{};
    std::array<uint8_t, 256> blue{};
};

// Levels are clamped to -100..100 and doubled.
ToneTables BrightnessTables(int level);
ToneTables ContrastTables(int level);
ToneTables ColorBalanceTables(int red, int green, int blue);

// Rewrites rows of a packed DIB in place: 24 bits (blue, green, red), 32 bits (the fourth byte is
// left alone) or 16 bits through the red, green and blue masks. Rows are stride bytes apart.
void ApplyToRows(const ToneTables& t, uint8_t* rows, size_t stride, int width, int height,
                 int bitCount, const uint32_t masks[3]);
void ApplyToColors(const ToneTables& t, RGBQUAD* colors, size_t count);
void ApplyToEntries(const ToneTables& t, PALETTEENTRY* entries, size_t count);

}  // namespace imageops
