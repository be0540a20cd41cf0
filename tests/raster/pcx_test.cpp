// The PCX reader on hand-made files: palette rules, run-length edge cases and the content test.
#include "raster_support.h"

namespace raster_test {
namespace {

// Run-length codes one scan line the way PCX writers do: repeats and bytes with both top bits
// set go out as runs of at most 63, every other byte as itself.
Bytes EncodeLine(const Bytes& line) {
    Bytes out;
    for (size_t i = 0, n = 1; i < line.size(); i += n, n = 1) {
        while (i + n < line.size() && line[i + n] == line[i] && n < 63)
            ++n;
        if (n > 1 || line[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | n));
        out.push_back(line[i]);
    }
    return out;
}

// A PCX file, built field by field; `data` is the encoded pixel data.
struct Pcx {
    uint8_t manufacturer = 0x0A, version = 5, bits, planes;
    uint16_t xMin = 0, yMin = 0, xMax, yMax, bytesPerLine;
    Bytes data;
    std::vector<Rgb> palette256;  // appended behind `marker` when not empty
    uint8_t marker = 0x0C;

    Pcx(uint8_t b, uint8_t p, int w, int h, uint16_t bpl, const std::vector<Bytes>& lines = {})
        : bits(b), planes(p), xMax(w - 1), yMax(h - 1), bytesPerLine(bpl) {
        for (const Bytes& l : lines)
            Append(data, EncodeLine(l));
    }

    Bytes bytes() const {
        Bytes out = {manufacturer, version, 1, bits};
        for (uint16_t v : {xMin, yMin, xMax, yMax, uint16_t{72}, uint16_t{72}})
            PutLe16(out, v);
        out.resize(65, 0);  // the 16-colour map, black
        out.push_back(planes);
        PutLe16(out, bytesPerLine);
        out.resize(128, 0);
        Append(out, data);
        if (!palette256.empty()) {
            out.push_back(marker);
            for (size_t i = 0; i < 256; ++i)
                out.insert(out.end(), palette256[i].begin(), palette256[i].end());
        }
        return out;
    }
};

std::vector<Case> Cases() {
    const Pcx good(8, 1, 4, 2, 4, {Bytes(4, 1), Bytes(4, 2)});
    const std::vector<Rgb> palette = Colours(256, 3);
    // Five pixels in a window that does not start at 0, one pad byte a line.
    Pcx eight(8, 1, 5, 3, 6,
              {{0, 1, 2, 3, 4, 99}, {200, 200, 200, 200, 255, 0}, {7, 7, 7, 7, 7, 7}});
    eight.xMin = 10, eight.xMax = 14, eight.yMin = 20, eight.yMax = 22;
    eight.palette256 = palette;
    const std::vector<std::vector<int>> eightRows = {
        {0, 1, 2, 3, 4}, {200, 200, 200, 200, 255}, {7, 7, 7, 7, 7}};
    Pcx runs(8, 1, 4, 3, 4), cut(8, 1, 4, 3, 4);
    // Line 0: a run of 6 fills the line; its last two bytes are dropped, not carried on.
    // Line 1: literal 5, a run of 0 (nothing), a run of 2 of 0xC5, literal 9.
    // Line 2: 0xC1 0xC0 writes the byte 0xC0 once; then a run of 3.
    runs.data = {0xC6, 0x11, 0x05, 0xC0, 0x77, 0xC2, 0xC5, 0x09, 0xC1, 0xC0, 0xC3, 0x22};
    cut.data = {1, 2, 3, 4, 5, 6};  // one line and a half: the rest stays black
    // Version 3 files carry no palette: the standard EGA colours stand in. One-bit pictures
    // are black and white.
    Pcx ega(4, 1, 5, 1, 3, {{0x01, 0x69, 0xF0}});
    ega.version = 3;
    const Pcx mono(1, 1, 10, 2, 2, {{0b10110000, 0b01000000}, {0xFF, 0xC0}});
    const Rgb black{0, 0, 0};
    std::vector<Case> rows = {
        Refused("short header", Head(good.bytes(), 127), kBadHeader),
        Refused("manufacturer", With(good, [](Pcx& p) { p.manufacturer = 0x0B; }), kBadHeader),
        Refused("right of left", With(good, [](Pcx& p) { p.xMin = 10, p.xMax = 3; }), kBadHeader),
        Refused("bottom over top", With(good, [](Pcx& p) { p.yMin = 5, p.yMax = 4; }), kBadHeader),
        Refused("no line bytes", With(good, [](Pcx& p) { p.bytesPerLine = 0; }), kBadHeader),
        Refused("too wide", With(good, [](Pcx& p) { p.xMax = 40000; }), kNoMemory, true),
        Case("8 bits, palette behind the marker", eight.bytes(), 8, eightRows,
             {{0, 0, palette[0]}, {4, 1, palette[255]}, {2, 2, palette[7]}}),
        Case("8 bits without the marker: black", With(eight, [](Pcx& p) { p.marker = 0x0B; }), 8,
             eightRows, {{4, 1, black}, {2, 2, black}}),
        Case("8 bits before version 5: black", With(eight, [](Pcx& p) { p.version = 4; }), 8, {},
             {{2, 2, black}}),
        Case("runs stop at the line end", runs.bytes(), 8,
             {{0x11, 0x11, 0x11, 0x11}, {5, 0xC5, 0xC5, 9}, {0xC0, 0x22, 0x22, 0x22}}),
        Case("short data", cut.bytes(), 8, {{1, 2, 3, 4}, {5, 6, 0, 0}, {0, 0, 0, 0}}),
        Case("EGA colours", ega.bytes(), 4, {{0, 1, 6, 9, 15}},
             {{1, 0, {0, 0, 170}}, {2, 0, {170, 85, 0}}, {4, 0, {255, 255, 255}}}),
        Case("one bit", mono.bytes(), 1, {{1, 0, 1, 1, 0, 0, 0, 0, 0, 1}, std::vector<int>(10, 1)},
             {{0, 0, {255, 255, 255}}, {1, 0, black}}),
        Case("a fourth plane is ignored", Pcx(8, 4, 2, 1, 2, {{1, 2, 3, 4, 5, 6, 99, 99}}).bytes(),
             24, {}, {{0, 0, {1, 3, 5}}, {1, 0, {2, 4, 6}}}),
    };
    // Plane layouts the format does not define.
    for (auto [bits, planes] : {std::pair{8, 2}, {1, 5}, {2, 2}, {4, 2}, {0, 1}, {8, 0}})
        rows.push_back(
            Refused(std::to_string(bits) + "x" + std::to_string(planes),
                    Pcx(static_cast<uint8_t>(bits), static_cast<uint8_t>(planes), 4, 2, 4).bytes(),
                    kUnsupported));
    return rows;
}

TEST(Pcx, HandMadeFiles) {
    CheckCases(ReadPcx, Cases());
}

// A PCX file with another extension is found by the content test, after GIF and BMP.
TEST(Pcx, FoundByContentUnderAnyName) {
    TempDir dir;
    WriteBytes(dir.path("picture.dat"), Pcx(8, 1, 2, 1, 2, {{1, 2}}).bytes());
    const auto load = LoadFile(dir.path("picture.dat"));
    EXPECT_EQ(load.rc, 0);
    EXPECT_EQ(load.format, "pcx");
}

}  // namespace
}  // namespace raster_test
