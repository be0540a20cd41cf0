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

// Random colours and every corner of every cell (where ties sit on the bounds) reach every kind
// of cell a few times; whole cells swept twice over through MapRow reach the tabled answers of
// busy cells.
TEST(InverseColormap, AgreesWithThePlainSearch) {
    std::mt19937 rng(11);
    for (const PaletteCase& c : Cases()) {
        const uint8_t* matchable = c.matchable.empty() ? nullptr : c.matchable.data();
        InverseColormap map(c.table.data(), c.table.size(), matchable);
        const auto check = [&](uint8_t r, uint8_t g, uint8_t b, uint32_t got) {
            const uint32_t want = NearestIndex(c.table.data(), c.table.size(), matchable, r, g, b);
            ASSERT_EQ(got, want) << c.name << " colour " << int{r} << "," << int{g} << ","
                                 << int{b};
        };
        for (int n = 0; n < 200000 + 64 * 64 * 64; ++n) {
            const uint32_t k = n - 200000;
            const auto corner = [&](int shift) {
                const uint32_t bits = (k >> shift) & 63;  // the cell along this axis, and which end
                return (bits >> 1) * 8 + (bits & 1) * 7;
            };
            const uint32_t v = n < 200000 ? rng() : corner(0) | corner(6) << 8 | corner(12) << 16;
            check(v, v >> 8, v >> 16, map.Nearest(v, v >> 8, v >> 16));
        }
        for (int cell = 0; cell < 400; ++cell) {
            const uint32_t base = rng() & 0xF8F8F8;
            std::vector<uint8_t> row(4 * 512), out(512);
            for (int i = 0; i < 512; ++i) {
                row[4 * i] = static_cast<uint8_t>((base >> 16) | (i & 7));
                row[4 * i + 1] = static_cast<uint8_t>((base >> 8) | ((i >> 3) & 7));
                row[4 * i + 2] = static_cast<uint8_t>(base | (i >> 6));
            }
            for (int pass = 0; pass < 2; ++pass) {
                map.MapRow(row.data(), 4, nullptr, 0, out.data(), 512);
                for (int i = 0; i < 512; ++i)
                    check(row[4 * i + 2], row[4 * i + 1], row[4 * i], out[i]);
            }
        }
    }
}

}  // namespace
