#include "platform/gdi/inverse_colormap.h"

#include <algorithm>
#include <climits>

namespace platform::gdi {
namespace {

constexpr int kCells = 32 * 32 * 32;
constexpr int kBlocks = 8 * 8 * 8;  // of 4 x 4 x 4 cells
constexpr uint32_t kNoList = ~0u;
constexpr uint8_t kAnswerAfter = 32;  // searches in a cell before its answers are tabled
constexpr size_t kEntries = 256;
constexpr size_t kMapsKept = 4;

// Squared distances from c to the nearest and the farthest point of [lo, lo + size - 1].
int NearAxis(int c, int lo, int size) {
    const int d = c < lo ? lo - c : (c > lo + size - 1 ? c - (lo + size - 1) : 0);
    return d * d;
}
int FarAxis(int c, int lo, int size) {
    const int d = std::max(c - lo, lo + size - 1 - c);
    return d * d;
}

// Appends the count and then those of the n entries in `from` that can be nearest to some colour
// of the box with corner lo and side `size`. Any entry's distance to the farthest corner bounds
// the nearest distance of every colour in the box, so entries beyond the least such bound drop.
// Taken from the list of a box around this one, the result is the same as from the whole table.
void ListCandidates(const std::vector<RGBQUAD>& table, const uint16_t* from, size_t n,
                    const int lo[3], int size, std::vector<uint16_t>& out) {
    int bound = INT_MAX;
    for (size_t k = 0; k < n; ++k) {
        const RGBQUAD& e = table[from[k]];
        bound = std::min(bound, FarAxis(e.rgbRed, lo[0], size) + FarAxis(e.rgbGreen, lo[1], size) +
                                    FarAxis(e.rgbBlue, lo[2], size));
    }
    const size_t start = out.size();
    out.push_back(0);
    for (size_t k = 0; k < n; ++k) {
        const RGBQUAD& e = table[from[k]];
        if (NearAxis(e.rgbRed, lo[0], size) + NearAxis(e.rgbGreen, lo[1], size) +
                NearAxis(e.rgbBlue, lo[2], size) <=
            bound)
            out.push_back(from[k]);
    }
    out[start] = static_cast<uint16_t>(out.size() - start - 1);
}

std::string KeyOf(const RGBQUAD* table, size_t count, const uint8_t* matchable) {
    std::string key(reinterpret_cast<const char*>(table), count * sizeof(RGBQUAD));
    if (matchable) key.append(reinterpret_cast<const char*>(matchable), count);
    key.push_back(matchable ? 'm' : 'a');
    return key;
}

}  // namespace

std::shared_ptr<InverseColormap> InverseColormap::For(const RGBQUAD* table, size_t count,
                                                      const uint8_t* matchable) {
    // Per thread, because cells are built on first use.
    thread_local std::vector<std::shared_ptr<InverseColormap>> recent;
    std::string key = KeyOf(table, count, matchable);
    for (size_t i = 0; i < recent.size(); ++i) {
        if (recent[i]->key_ != key) continue;
        std::rotate(recent.begin(), recent.begin() + i, recent.begin() + i + 1);
        return recent.front();
    }
    auto map = std::make_shared<InverseColormap>(table, count, matchable);
    map->key_ = std::move(key);
    if (recent.size() == kMapsKept) recent.pop_back();
    recent.insert(recent.begin(), map);
    return map;
}

InverseColormap::InverseColormap(const RGBQUAD* table, size_t count, const uint8_t* matchable)
    : table_(table, table + count),
      coarse_(kBlocks, kNoList),
      code_(kCells, kUnbuilt),
      hits_(kCells, 0),
      answers_(kEntries * 512) {
    for (size_t i = 0; i < kEntries; ++i)
        std::fill_n(answers_.begin() + i * 512, 512, static_cast<uint8_t>(i));
    for (size_t i = 0; i < std::min(count, kEntries); ++i)
        if (!matchable || matchable[i]) usable_.push_back(static_cast<uint16_t>(i));
    // With nothing to choose from the plain search answers 0; so does every cell.
    if (usable_.empty()) usable_.push_back(0);
    if (table_.empty()) table_.push_back(RGBQUAD{});
}

uint32_t InverseColormap::BuildCell(uint32_t cell) {
    const int r = static_cast<int>(cell >> 10), g = static_cast<int>((cell >> 5) & 31),
              b = static_cast<int>(cell & 31);
    // The entries of the block of 4 x 4 x 4 cells around it first: a cell then weighs a few
    // dozen entries instead of the whole table.
    const uint32_t block = static_cast<uint32_t>((r >> 2) << 6 | (g >> 2) << 3 | (b >> 2));
    if (coarse_[block] == kNoList) {
        const int lo[3] = {(r >> 2) << 5, (g >> 2) << 5, (b >> 2) << 5};
        coarse_[block] = static_cast<uint32_t>(coarseLists_.size());
        ListCandidates(table_, usable_.data(), usable_.size(), lo, 32, coarseLists_);
    }
    const uint16_t* from = &coarseLists_[coarse_[block]];
    const int lo[3] = {r << 3, g << 3, b << 3};
    const size_t start = candidates_.size();
    ListCandidates(table_, from + 1, from[0], lo, 8, candidates_);
    code_[cell] = candidates_[start] == 1 ? candidates_[start + 1] * 512u
                                          : kSlow | static_cast<uint32_t>(start);
    return code_[cell];
}

void InverseColormap::BuildAnswers(uint32_t cell, const uint16_t* list) {
    const size_t start = answers_.size();
    answers_.resize(start + 512);
    const int r = static_cast<int>(cell >> 10) << 3, g = static_cast<int>((cell >> 5) & 31) << 3,
              b = static_cast<int>(cell & 31) << 3;
    for (int i = 0; i < 512; ++i)
        answers_[start + i] = static_cast<uint8_t>(Search(list, static_cast<uint8_t>(r + (i >> 6)),
                                                          static_cast<uint8_t>(g + ((i >> 3) & 7)),
                                                          static_cast<uint8_t>(b + (i & 7))));
    code_[cell] = static_cast<uint32_t>(start);
}

uint32_t InverseColormap::Resolve(uint32_t cell, uint8_t r, uint8_t g, uint8_t b) {
    if (code_[cell] == kUnbuilt && !(BuildCell(cell) & kSlow)) return Nearest(r, g, b);
    const uint16_t* list = &candidates_[code_[cell] & ~kSlow];
    if (++hits_[cell] < kAnswerAfter) return Search(list, r, g, b);
    BuildAnswers(cell, list);
    return Nearest(r, g, b);
}

uint32_t InverseColormap::Search(const uint16_t* list, uint8_t r, uint8_t g, uint8_t b) const {
    uint32_t best = list[1];
    int bestDistance = INT_MAX;
    for (uint16_t k = 1; k <= list[0]; ++k) {
        const RGBQUAD& e = table_[list[k]];
        const int dr = int{e.rgbRed} - r, dg = int{e.rgbGreen} - g, db = int{e.rgbBlue} - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = list[k];
        }
    }
    return best;
}

void InverseColormap::MapRow(const uint8_t* row, int step, const int32_t* xs, int x0, uint8_t* out,
                             int count) {
    if (xs) {
        for (int i = 0; i < count; ++i) {
            const uint8_t* p = row + static_cast<size_t>(step) * xs[i];
            out[i] = static_cast<uint8_t>(Nearest(p[2], p[1], p[0]));
        }
        return;
    }
    const uint8_t* p = row + static_cast<size_t>(step) * x0;
    for (int i = 0; i < count; ++i, p += step)
        out[i] = static_cast<uint8_t>(Nearest(p[2], p[1], p[0]));
}

}  // namespace platform::gdi
