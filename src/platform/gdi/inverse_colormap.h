// Nearest palette colour for true-colour pixels, exactly as the plain search finds it (squared
// distance, lower index on ties), at a few comparisons a pixel. Colour space is cut into
// 32 x 32 x 32 cells; for each cell in use, the entries that can be nearest to some colour in it
// are listed once: an entry is kept when its distance to the cell's nearest point does not exceed
// the smallest distance any entry has to the cell's farthest corner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/wintypes.h"

namespace platform::gdi {

class InverseColormap {
  public:
    // `matchable`, when not null, marks the entries that may be chosen.
    InverseColormap(const RGBQUAD* table, size_t count, const uint8_t* matchable);

    // The map of a colour table, shared by the blits of one thread: a paint or an animation
    // blits through the same palette again and again, and the cells it built stay built.
    static std::shared_ptr<InverseColormap> For(const RGBQUAD* table, size_t count,
                                                const uint8_t* matchable);

    uint32_t Nearest(uint8_t r, uint8_t g, uint8_t b) {
        const uint32_t cell = (uint32_t{r} >> 3) << 10 | (uint32_t{g} >> 3) << 5 | (b >> 3);
        int32_t start = cellStart_[cell];
        if (start < 0) start = BuildCell(cell);
        const uint16_t n = candidates_[start];
        if (n == 1) return candidates_[start + 1];
        return Search(&candidates_[start + 1], n, r, g, b);
    }

  private:
    int32_t BuildCell(uint32_t cell);
    uint32_t Search(const uint16_t* list, uint16_t n, uint8_t r, uint8_t g, uint8_t b) const;

    std::string key_;  // the table and the matchable marks, as bytes
    std::vector<RGBQUAD> table_;
    std::vector<uint16_t> usable_;      // indices that may be chosen, ascending
    std::vector<int32_t> cellStart_;    // into candidates_; -1 until the cell is first used
    std::vector<uint16_t> candidates_;  // per built cell: count, then the indices, ascending
};

}  // namespace platform::gdi
