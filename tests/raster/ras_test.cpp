// The Sun raster reader on hand-made files: each depth, colour map and encoding.
#include "raster_support.h"

namespace raster_test {
namespace {

// A Sun raster file, built field by field; `data` is the pixel data as it stands in the file.
struct Ras {
    uint32_t magic = 0x59A66A95, width, height, depth, type = 1, mapType = 0;
    Bytes map, data;

    // A colour map of red, green, blue entries when `m` is not empty.
    Ras(uint32_t d, uint32_t w, uint32_t h, Bytes pixels = {}, uint32_t t = 1, Bytes m = {})
        : width(w), height(h), depth(d), type(t), mapType(!m.empty()), map(m), data(pixels) {}

    Bytes bytes() const {
        Bytes out;
        for (uint32_t v : {magic, width, height, depth, static_cast<uint32_t>(data.size()), type,
                           mapType, static_cast<uint32_t>(map.size())})
            PutBe32(out, v);
        return Cat(Cat(out, map), data);
    }
};

std::vector<Case> Cases() {
    const Ras good(8, 2, 1, {1, 2});
    Bytes longMap = good.bytes();
    longMap[31] = 200;  // a colour map longer than the file

    Bytes big(900);  // 300 entries a channel: the first 256 are kept, each from its own third
    for (int i = 0; i < 900; ++i)
        big[i] = static_cast<uint8_t>(i / 300 * 80 + i % 300 % 50);
    const Bytes mono = {0b10100000, 0b01000000, 0xFF, 0xC0};  // width 10: two bytes a row
    std::vector<Case> rows = {
        Refused("short header", Head(good.bytes(), 31), kBadHeader),
        // The magic of a file written in the other byte order.
        Refused("magic", With(good, [](Ras& r) { r.magic = 0x956AA659; }), kBadHeader),
        Refused("experimental", With(good, [](Ras& r) { r.type = 0xFFFF; }), kBadHeader),
        Refused("raw map", With(good, [](Ras& r) { r.mapType = 2; }), kBadHeader),
        Refused("no rows", With(good, [](Ras& r) { r.height = 0; }), kBadHeader),
        Refused("negative width", With(good, [](Ras& r) { r.width = 0x80000000u; }), kBadHeader),
        Refused("huge", Ras(24, 30000, 30000).bytes(), kNoMemory, true),
        Refused("raw rows cut", Ras(8, 2, 2, {1, 2, 3}).bytes(), kReadError),
        Refused("encoded rows cut", Ras(8, 2, 3, {0x80, 3, 9}, 2).bytes(), kReadError),
        Refused("long map", longMap, kReadError),
        // A file that cannot hold its rows is refused before the pixel block is allocated.
        Refused("hollow raw", Ras(8, 20000, 20000, {1, 2, 3, 4}).bytes(), kReadError, true),
        Refused("hollow encoded", Ras(8, 20000, 20000, {0x80, 0xFF, 7, 0x80, 0xFF, 7}, 2).bytes(),
                kReadError, true),
        // 32 bits: the first byte of each pixel is dropped.
        Case("32 bits", Ras(32, 3, 1, {0xAA, 1, 2, 3, 0xAA, 4, 5, 6, 0xAA, 7, 8, 9}).bytes(), 24,
             {}, {{0, 0, {3, 2, 1}}, {2, 0, {9, 8, 7}}}),
        Case("32 bits RGB", Ras(32, 3, 1, {0xAA, 1, 2, 3, 0xAA, 4, 5, 6, 0xAA, 7, 8, 9}, 3).bytes(),
             24, {}, {{0, 0, {1, 2, 3}}, {2, 0, {7, 8, 9}}}),
        // Without a map 1 bits are black and 0 bits white; with one its two entries are used.
        Case("one bit", Ras(1, 10, 2, mono).bytes(), 1, {},
             {{0, 0, {0, 0, 0}}, {1, 0, {255, 255, 255}}, {9, 0, {0, 0, 0}}, {5, 1, {0, 0, 0}}}),
        Case("one bit, map", Ras(1, 10, 2, mono, 1, {10, 20, 30, 40, 50, 60}).bytes(), 1, {},
             {{0, 0, {20, 40, 60}}, {1, 0, {10, 30, 50}}}),
        Case("long map", Ras(8, 2, 1, {255, 7}, 1, big).bytes(), 8, {},
             {{0, 0, {5, 85, 165}}, {1, 0, {7, 87, 167}}}),
        // The encoded stream runs over the padded rows: a literal 0x80, two literals, then a
        // run of five 0x33 (row 0's pad, row 1 and its pad), a run of three, row 2's pad.
        Case("byte-encoded",
             Ras(8, 3, 3, {0x80, 0x00, 0x11, 0x12, 0x80, 0x04, 0x33, 0x80, 0x02, 0x44, 0x55}, 2)
                 .bytes(),
             8, {{0x80, 0x11, 0x12}, {0x33, 0x33, 0x33}, {0x44, 0x44, 0x44}}),
    };
    for (uint32_t depth : {0u, 4u, 16u, 33u})
        rows.push_back(Refused("depth " + std::to_string(depth),
                               With(good, [&](Ras& r) { r.depth = depth; }), kBadHeader));
    return rows;
}

TEST(Ras, HandMadeFiles) {
    CheckCases(ReadRas, Cases());
}

}  // namespace
}  // namespace raster_test
