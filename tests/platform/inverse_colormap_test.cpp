// The cell lists must give exactly what the plain search gives, ties and unmatchable entries
// included, for palettes that crowd some cells and leave others far from every entry.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/gdi/inverse_colormap.h"
#include "platform/gdi/pixel_format.h"

namespace {

using platform::gdi::InverseColormap;
using platform::gdi::NearestIndex;

struct PaletteCase {
    const char* name;
    std::vector<RGBQUAD> table;
    std::vector<uint8_t> matchable;  // empty: every entry
};

std::vector<PaletteCase> Cases() {
    std::mt19937 rng(7);
    auto byte = [&] { return static_cast<uint8_t>(rng()); };
    std::vector<PaletteCase> cases;
    PaletteCase random{"random256", {}, {}};
    for (int i = 0; i < 256; ++i)
        random.table.push_back({byte(), byte(), byte(), 0});
    cases.push_back(random);
    PaletteCase greys{"greys with duplicates", {}, {}};
    for (int i = 0; i < 256; ++i) {
        const uint8_t v = static_cast<uint8_t>(i / 2 * 2);  // each grey twice: ties everywhere
        greys.table.push_back({v, v, v, 0});
    }
    cases.push_back(greys);
    PaletteCase crowded{"crowded corner", {}, {}};
    for (int i = 0; i < 200; ++i)
        crowded.table.push_back({static_cast<uint8_t>(byte() % 12),
                                 static_cast<uint8_t>(byte() % 12),
                                 static_cast<uint8_t>(byte() % 12), 0});
    crowded.table.push_back({255, 255, 255, 0});
    cases.push_back(crowded);
    PaletteCase masked = random;
    masked.name = "half unmatchable";
    for (int i = 0; i < 256; ++i)
        masked.matchable.push_back(i % 2);
    cases.push_back(masked);
    cases.push_back({"single entry", {{10, 200, 30, 0}}, {}});
    // (7,7,7) is as far from both entries as the cell's bound allows: the lower index must win.
    cases.push_back({"tie at a cell's far corner", {{14, 14, 14, 0}, {0, 0, 0, 0}}, {}});
    return cases;
}

TEST(InverseColormap, AgreesWithThePlainSearch) {
    std::mt19937 rng(11);
    for (const PaletteCase& c : Cases()) {
        const uint8_t* matchable = c.matchable.empty() ? nullptr : c.matchable.data();
        InverseColormap map(c.table.data(), c.table.size(), matchable);
        // Random colours, then every corner of every cell, where ties sit on the bounds.
        for (int n = 0; n < 300000 + 64 * 64 * 64; ++n) {
            const uint32_t k = n - 300000;
            const auto corner = [&](int shift) {
                const uint32_t bits = (k >> shift) & 63;  // the cell along this axis, and which end
                return (bits >> 1) * 8 + (bits & 1) * 7;
            };
            const uint32_t v = n < 300000 ? rng() : corner(0) | corner(6) << 8 | corner(12) << 16;
            const uint8_t r = v, g = v >> 8, b = v >> 16;
            const uint32_t want = NearestIndex(c.table.data(), c.table.size(), matchable, r, g, b);
            ASSERT_EQ(map.Nearest(r, g, b), want)
                << c.name << " colour " << int{r} << "," << int{g} << "," << int{b};
        }
    }
}

}  // namespace
