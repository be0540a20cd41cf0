// Nearest palette colour for true-colour pixels, exactly as the plain search finds it (squared
// distance, lower index on ties), at a table lookup or a few comparisons a pixel. Colour space is
// cut into 32 x 32 x 32 cells; for each cell in use, the entries that can be nearest to some colour
// in it are listed once: an entry is kept when its distance to the cell's nearest point does not
// exceed the smallest distance any entry has to the cell's farthest corner. A cell with one such
// entry answers at once; a cell with several that is used often gets the answers for all its 512
// colours worked out, so a paint repeated through the same palette costs two lookups a pixel.
// Indexed destinations hold at most 256 entries; entries past those are never chosen.
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
        const uint32_t code = code_[cell];
        if (code & kSlow) return Resolve(cell, r, g, b);
        return answers_[code + ((r & 7u) << 6 | (g & 7u) << 3 | (b & 7u))];
    }

    // `count` pixels of a 24- or 32-bit row (blue, green, red bytes, `step` bytes apart) to
    // indices: pixel i is at x = xs[i], or x0 + i when xs is null.
    void MapRow(const uint8_t* row, int step, const int32_t* xs, int x0, uint8_t* out, int count);

  private:
    // A cell's code: the offset of its 512 answers (by the colour's low bits) in answers_, which
    // begins with a block for each index answering that index alone; or kSlow and the offset of
    // its candidate list (count, then indices ascending), until the cell has been used often.
    static constexpr uint32_t kSlow = 1u << 31;
    static constexpr uint32_t kUnbuilt = ~0u;

    uint32_t Resolve(uint32_t cell, uint8_t r, uint8_t g, uint8_t b);
    uint32_t BuildCell(uint32_t cell);
    void BuildAnswers(uint32_t cell, const uint16_t* list);
    uint32_t Search(const uint16_t* list, uint8_t r, uint8_t g, uint8_t b) const;

    std::string key_;  // the table and the matchable marks, as bytes
    std::vector<RGBQUAD> table_;
    std::vector<uint16_t> usable_;       // indices that may be chosen, ascending
    std::vector<uint32_t> coarse_;       // per block of 4 x 4 x 4 cells: offset into coarseLists_
    std::vector<uint16_t> coarseLists_;  // per built block: count, then the indices ascending
    std::vector<uint32_t> code_;         // per cell
    std::vector<uint8_t> hits_;          // per cell, searches so far while listed
    std::vector<uint16_t> candidates_;
    std::vector<uint8_t> answers_;
};

}  // namespace platform::gdi
