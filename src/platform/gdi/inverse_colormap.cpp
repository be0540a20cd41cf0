#include "platform/gdi/inverse_colormap.h"

#include <algorithm>
#include <climits>

namespace platform::gdi {
namespace {

constexpr int kCells = 32 * 32 * 32;

// Squared distances from c to the nearest and the farthest point of [lo, lo + 7].
int NearAxis(int c, int lo) {
    const int d = c < lo ? lo - c : (c > lo + 7 ? c - (lo + 7) : 0);
    return d * d;
}
int FarAxis(int c, int lo) {
    const int d = std::max(c - lo, lo + 7 - c);
    return d * d;
}

constexpr size_t kMapsKept = 4;

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
    : table_(table, table + count), cellStart_(kCells, -1) {
    for (size_t i = 0; i < count && i <= UINT16_MAX; ++i)
        if (!matchable || matchable[i]) usable_.push_back(static_cast<uint16_t>(i));
    // With nothing to choose from the plain search answers 0; so does every cell.
    if (usable_.empty()) usable_.push_back(0);
    if (table_.empty()) table_.push_back(RGBQUAD{});
}

int32_t InverseColormap::BuildCell(uint32_t cell) {
    const int lo[3] = {static_cast<int>(cell >> 10) << 3, static_cast<int>((cell >> 5) & 31) << 3,
                       static_cast<int>(cell & 31) << 3};
    int bound = INT_MAX;
    for (uint16_t i : usable_) {
        const RGBQUAD& e = table_[i];
        bound = std::min(bound, FarAxis(e.rgbRed, lo[0]) + FarAxis(e.rgbGreen, lo[1]) +
                                    FarAxis(e.rgbBlue, lo[2]));
    }
    const int32_t start = static_cast<int32_t>(candidates_.size());
    candidates_.push_back(0);
    for (uint16_t i : usable_) {
        const RGBQUAD& e = table_[i];
        if (NearAxis(e.rgbRed, lo[0]) + NearAxis(e.rgbGreen, lo[1]) + NearAxis(e.rgbBlue, lo[2]) <=
            bound)
            candidates_.push_back(i);
    }
    candidates_[start] = static_cast<uint16_t>(candidates_.size() - start - 1);
    cellStart_[cell] = start;
    return start;
}

uint32_t InverseColormap::Search(const uint16_t* list, uint16_t n, uint8_t r, uint8_t g,
                                 uint8_t b) const {
    uint32_t best = list[0];
    int bestDistance = INT_MAX;
    for (uint16_t k = 0; k < n; ++k) {
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

}  // namespace platform::gdi
