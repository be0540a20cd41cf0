// The TGA reader on hand-made files: each pixel depth, colour map, row order and run-length
// edge case.
#include "raster_support.h"

namespace raster_test {
namespace {

constexpr uint8_t kTopDown = 0x20, kRightToLeft = 0x10;

// A TGA file, built field by field; `data` is the pixel data as it stands in the file.
struct Tga {
    Bytes id;
    uint8_t mapType = 0, type, depth, mapBits = 0, descriptor = 0;
    uint16_t mapFirst = 0, mapLength = 0, width, height;
    Bytes map, data;

    Tga(uint8_t t, uint8_t d, uint16_t w, uint16_t h, Bytes pixels = {}, uint8_t desc = 0)
        : type(t), depth(d), descriptor(desc), width(w), height(h), data(std::move(pixels)) {}
    Tga& colourMap(uint16_t first, uint16_t length, uint8_t bits, Bytes entries) {
        mapType = 1, mapFirst = first, mapLength = length, mapBits = bits;
        map = std::move(entries);
        return *this;
    }

    Bytes bytes() const {
        Bytes out = {static_cast<uint8_t>(id.size()), mapType, type};
        for (uint16_t v : {mapFirst, mapLength})
            PutLe16(out, v);
        out.push_back(mapBits);
        for (uint16_t v : {uint16_t{0}, uint16_t{0}, width, height})
            PutLe16(out, v);
        out.insert(out.end(), {depth, descriptor});
        return Cat(Cat(Cat(out, id), map), data);
    }
};

Bytes Bgr(std::initializer_list<Rgb> pixels) {
    Bytes out;
    for (const Rgb& c : pixels)
        out.insert(out.end(), {c[2], c[1], c[0]});
    return out;
}

std::vector<Case> Cases() {
    const Rgb a{10, 20, 30}, b{40, 50, 60}, c{70, 80, 90};
    Bytes past;  // a map running past entry 255: what lies beyond is read over, not kept
    for (int i = 0; i < 20; ++i)
        Append(past, Bgr({{static_cast<uint8_t>(i), 0, 0}}));
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    std::vector<Case> rows = {
        Refused("short header", Head(Tga(2, 24, 1, 1, Bgr({{1, 2, 3}})).bytes(), 17), kBadHeader),
        Refused("no width", Tga(2, 24, 0, 1, Bgr({{1, 2, 3}})).bytes(), kBadHeader),
        Refused("too wide", Tga(2, 24, 40000, 1).bytes(), kNoMemory, true),
        // Pixels missing, raw or run-length: a read error.
        Refused("raw rows cut", Tga(2, 24, 2, 2, Bytes(9, 1)).bytes(), kReadError),
        Refused("run of three for four", Tga(10, 24, 2, 2, {0x82, 1, 2, 3}).bytes(), kReadError),
        Refused("raw packet cut", Tga(10, 24, 2, 2, {0x03, 1, 2, 3, 4, 5, 6}).bytes(), kReadError),
        // A file that cannot hold its rows is refused before the pixel block is allocated.
        Refused("hollow raw", Tga(2, 24, 18000, 18000, Bgr({{1, 2, 3}})).bytes(), kReadError, true),
        Refused("hollow runs", Tga(10, 24, 18000, 18000, {0xFF, 1, 2, 3}).bytes(), kReadError,
                true),
        // Right to left reverses each row, at 1 bit too (the public samples hold every origin).
        Case("1 bit right to left",
             Tga(3, 1, 10, 1, {0b11001000, 0b01000000}, kRightToLeft).bytes(), 1,
             {{1, 0, 0, 0, 0, 1, 0, 0, 1, 1}}, {{0, 0, white}}),
        // x, 5 bits red, green, blue, little-endian; each channel times 8.
        Case("16 bits", Tga(2, 16, 3, 1, {0x00, 0x7C, 0xE0, 0x03, 0x21, 0x84}).bytes(), 24, {},
             {{0, 0, {248, 0, 0}}, {1, 0, {0, 248, 0}}, {2, 0, {8, 8, 8}}}),
        Case("15 bits", Tga(2, 15, 1, 1, {0x00, 0x7C}).bytes(), 24, {}, {{0, 0, {248, 0, 0}}}),
        Case("32 bits drop alpha", Tga(2, 32, 2, 1, {1, 2, 3, 0, 4, 5, 6, 255}).bytes(), 24, {},
             {{0, 0, {3, 2, 1}}, {1, 0, {6, 5, 4}}}),
        // Map entries land from the first-entry index on; those below it stay black.
        Case("24-bit map from 5",
             Tga(1, 8, 3, 1, {5, 6, 0}).colourMap(5, 2, 24, Bgr({{1, 2, 3}, {4, 5, 6}})).bytes(), 8,
             {}, {{0, 0, {1, 2, 3}}, {1, 0, {4, 5, 6}}, {2, 0, black}}),
        Case("15-bit map",
             Tga(1, 8, 2, 1, {0, 1}).colourMap(0, 2, 15, {0x1F, 0x00, 0xFF, 0x7F}).bytes(), 8, {},
             {{0, 0, {0, 0, 248}}, {1, 0, {248, 248, 248}}}),
        Case("32-bit map", Tga(1, 8, 1, 1, {0}).colourMap(0, 1, 32, {9, 8, 7, 0}).bytes(), 8, {},
             {{0, 0, {7, 8, 9}}}),
        Case("map past 255", Tga(1, 8, 2, 1, {250, 255}).colourMap(250, 20, 24, past).bytes(), 8,
             {}, {{0, 0, black}, {1, 0, {5, 0, 0}}}),
        // Entries of a size the palette cannot hold are skipped whole.
        Case("8-bit map entries", Tga(1, 8, 1, 1, {42}).colourMap(0, 3, 8, {1, 2, 3}).bytes(), 8,
             {{42}}),
        Case("map on true colour",
             Tga(2, 24, 1, 1, Bgr({c})).colourMap(0, 2, 24, Bgr({a, b})).bytes(), 24, {},
             {{0, 0, c}}),
        // Grey with alpha: the grey level is the first byte of each pixel.
        Case("grey with alpha", Tga(3, 16, 3, 1, {10, 255, 200, 0, 77, 128}).bytes(), 8, {},
             {{0, 0, {10, 10, 10}}, {1, 0, {200, 200, 200}}, {2, 0, {77, 77, 77}}}),
        Case("grey with alpha, runs", Tga(11, 16, 3, 1, {0x82, 90, 1}).bytes(), 8, {},
             {{2, 0, {90, 90, 90}}}),
        // Packets run on across rows: a run of 2, a raw packet of 3, a run of 1.
        Case("packets across rows",
             Tga(11, 8, 3, 2, {0x81, 50, 0x02, 1, 2, 3, 0x80, 9}, kTopDown).bytes(), 8,
             {{50, 50, 1}, {2, 3, 9}}),
    };
    for (uint8_t type : {0, 4, 8, 12, 32, 33})
        rows.push_back(Refused("type " + std::to_string(type),
                               Tga(type, 24, 1, 1, Bgr({{1, 2, 3}})).bytes(), kBadHeader));
    for (uint8_t depth : {0, 2, 4, 7, 12, 48, 64})
        rows.push_back(Refused("depth " + std::to_string(depth),
                               Tga(2, depth, 1, 1, Bytes(8)).bytes(), kBadHeader));
    return rows;
}

TEST(Tga, HandMadeFiles) {
    CheckCases(ReadTga, Cases());
}

}  // namespace
}  // namespace raster_test
