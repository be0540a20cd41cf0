// The six small legacy readers (ART, HRZ, GEM, MacPaint, MSP, WPG): hand-made files for their
// codes, headers and faults; the public samples, MacPaint also compared with macptopbm.
#include <gtest/gtest.h>

#include <string>

#include "legacy/reader_cases.h"
#include "support/oracle.h"
#include "support/testdata.h"

namespace legacy_test {
namespace {

using namespace decode;
using testsupport::Cat;
using testsupport::PutBe;
using testsupport::PutLe;

Bytes Art(int width, int height, const Bytes& rows, uint16_t first = 0) {
    Bytes v;
    for (uint32_t w : {uint32_t{first}, uint32_t(width), 0u, uint32_t(height)})
        PutLe(v, w);
    return Cat(v, rows);
}

Bytes Gem(int planes, int width, int height, const Bytes& data, int patternLength = 1,
          int words = 8) {
    Bytes v;
    for (int w : {1, words, planes, patternLength, 0x55, 0x55, width, height})
        PutBe(v, static_cast<uint32_t>(w));
    return Cat(v, data);
}

// 720 rows of 72 bytes, PackBits-coded one row at a time: row y holds bytes of value y but
// the second, which holds ~y.
Bytes MacRows() {
    Bytes v;
    for (int y = 0; y < 720; ++y) {
        v.insert(v.end(), {0x01, static_cast<uint8_t>(y), static_cast<uint8_t>(~y)});  // literal
        v.insert(v.end(), {0xBB, static_cast<uint8_t>(y)});                            // 70 copies
    }
    return v;
}

Bytes Msp(uint16_t key1, uint16_t key2, int width, int height, const Bytes& data = {}) {
    Bytes v;
    for (uint32_t w : {uint32_t{key1}, uint32_t{key2}, uint32_t(width), uint32_t(height)})
        PutLe(v, w);
    v.resize(32, 0);
    return Cat(v, data);
}

// A WPG file of the given records, each (type, data, length form), and the end record.
struct Record {
    uint8_t type;
    Bytes data;
    int lengthForm = 1;  // 1: a byte when short, 2: 0xFF and a word, 3: 0xFF and two words
};
Bytes Wpg(const std::vector<Record>& records, bool end = true) {
    Bytes out = {0xFF, 'W', 'P', 'C', 16, 0, 0, 0, 1, 0x16, 1, 0, 0, 0, 0, 0};
    for (const Record& r : records) {
        out.push_back(r.type);
        const uint32_t n = static_cast<uint32_t>(r.data.size());
        if (r.lengthForm == 1 && n < 0xFF) {
            out.push_back(static_cast<uint8_t>(n));
        } else {
            out.push_back(0xFF);
            if (r.lengthForm == 3) PutLe(out, 0x8000 | n >> 16);
            PutLe(out, r.lengthForm == 3 ? n & 0xFFFF : n);
        }
        out.insert(out.end(), r.data.begin(), r.data.end());
    }
    if (end) out.insert(out.end(), {0x10, 0});
    return out;
}

Bytes WpgBitmap(int width, int height, int depth, const Bytes& codes) {
    Bytes v;
    for (int w : {width, height, depth, 75, 75})
        PutLe(v, static_cast<uint32_t>(w));
    return Cat(v, codes);
}

Bytes ColourMap(int first, const std::vector<Rgb>& colours) {
    Bytes v;
    PutLe(v, static_cast<uint32_t>(first));
    PutLe(v, static_cast<uint32_t>(colours.size()));
    for (const Rgb& c : colours)
        v.insert(v.end(), c.begin(), c.end());
    return v;
}

Bytes With(Bytes b, size_t at, uint8_t value) {
    b[at] = value;
    return b;
}

TEST(Legacy, HandMadeFiles) {
    // GEM planes: pixel x has the stored value x (plane 0 the lowest bit).
    const Bytes gemPlanes = {0x80, 1, 0x55, 0x80, 1, 0x33, 0x80, 1, 0x0F, 0x80, 1, 0x00};
    // WPG, 6 pixels of 8 bits a row: 2 2 2 2 5 6; FF FF FF 1 1 1; 7 and the row ends (the
    // rest as the row before) with 2 more copies; then a copy of row 4 at once and one more.
    const Bytes wpgCodes = {0x84, 0x02, 0x02, 0x05, 0x06, 0x80, 0x03, 0x83,
                            0x01, 0x01, 0x07, 0x00, 0x02, 0x00, 0x01};
    const Bytes wpgColour = Wpg({{0x0F, Bytes(16, 0)},
                                 {0x0E, ColourMap(1, {{10, 20, 30}, {40, 50, 60}})},
                                 {0x0B, WpgBitmap(6, 7, 8, wpgCodes), 2}});
    const Bytes wpgHeader = Wpg({}, false);
    const Case cases[] = {
        // ART (rows padded to even bytes) and HRZ pictures are in the oracle table.
        Row("art rows past the data stay 0", ReadArt, Art(8, 3, {0xFF, 0x00}), 1,
            {{0, {0xFF}}, {2, {0x00}}}),
        Row("art first word not 0", ReadArt, Art(8, 1, {0}, 1), kBadHeader),
        Row("art short header", ReadArt, {0, 0, 8, 0, 0}, kBadHeader),
        Row("art no width", ReadArt, Art(0, 1, {}), kNoMemory),
        // HRZ: six-bit samples times 4; a short frame has the rows it has.
        Row("hrz short", ReadHrz, Bytes(256 * 3 + 3, 63), 24, {},
            {{0, 1, Grey(252)}, {1, 1, kBlack}}),
        // GEM, 16 pixels and one plane: 2 bytes a row, 1 is black. FF then 00; a literal; a
        // pattern twice; the next row 3 times; a literal cut at the row's end; a run cut.
        Row("gem codes", ReadGem,
            Gem(1, 16, 8,
                {0x81, 0x01, 0x80, 0x02, 0x0F, 0xF0, 0x00, 0x02, 0x3C, 0x00, 0x00, 0xFF, 0x03, 0x80,
                 0x03, 0x11, 0x22, 0x33, 0x05}),
            1,
            {{0, {0xFF, 0x00}},
             {1, {0x0F, 0xF0}},
             {2, {0x3C, 0x3C}},
             {3, {0x11, 0x22}},
             {5, {0x11, 0x22}},
             {6, {0x00, 0x00}},
             {7, {0x00, 0x00}}},
            {{0, 0, kBlack}, {8, 0, kWhite}}),
        Row("gem one row copy", ReadGem,
            Gem(1, 8, 2, {0x00, 0x00, 0xFF, 0x01, 0x81, 0x80, 1, 0x0F}), 1,
            {{0, {0xFF}}, {1, {0x0F}}}),
        Row("gem two-byte pattern cut at the row's end", ReadGem,
            Gem(1, 40, 1, {0x00, 0x03, 0xAA, 0x55}, 2), 1, {{0, {0xAA, 0x55, 0xAA, 0x55, 0xAA}}}),
        // 9 header words: 24 bits, the ninth word's low byte multiplies every count.
        Row("gem true colour", ReadGem,
            Gem(24, 2, 1, {0x00, 0x02, 0x82, 0x80, 0x01, 0x10, 0x20, 0x30}, 1, 9), 24,
            {{0, {0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x20}}}),
        // Planes are packed and inverted: stored 0 shows white.
        Row("gem 4 planes", ReadGem, Gem(4, 8, 1, gemPlanes), 4, {{0, {0xFE, 0xDC, 0xBA, 0x98}}},
            {{0, 0, kWhite}, {1, 0, Grey(238)}}),
        Row("gem 6 planes: a ramp of 64 steps", ReadGem, Gem(6, 8, 2, {0x86, 0x06}), 8,
            {{0, {0}}, {1, {63}}}, {{0, 0, kBlack}, {0, 1, Grey(252)}}),
        // A longer header (a colour table, say) comes before the data; its words are not codes.
        Row("gem extended header", ReadGem,
            Gem(1, 8, 1, {'X', 'I', 'M', 'G', 0x00, 0x00, 0x81}, 1, 11), 1, {{0, {0xFF}}}),
        // Data that ends early leaves the rest blank: white after inversion.
        Row("gem cut", ReadGem, Gem(2, 8, 3, {0xFF}), 4, {}, {{0, 2, kWhite}}),
        Row("gem short header", ReadGem, Bytes(15, 0), kBadHeader),
        Row("gem 85 x 86 micrometres", ReadGem, With(Gem(1, 8, 1, {}), 9, 0x56), kBadHeader),
        Row("gem 0 planes", ReadGem, Gem(0, 8, 1, {}), kBadHeader),
        Row("gem 9 planes", ReadGem, Gem(9, 8, 1, {}), kBadHeader),
        Row("gem no width", ReadGem, Gem(1, 0, 1, {}), kNoMemory),
        Row("gem too large", ReadGem, Gem(8, 65535, 65535, {}), kNoMemory),
        // MacPaint without its 512-byte header when the first byte is not 0 (128 is a no-op
        // code); the public samples have the header, behind MacBinary and not.
        Row("mac without header", ReadMac, Cat({0x80}, MacRows()), 1,
            {{0, {0, 0xFF, 0}}, {1, {1}, 71}, {719, {0xCF, 0x30, 0xCF}}},
            {{0, 0, kWhite}, {0, 255, kBlack}}),  // 1 is black
        Row("mac short", ReadMac, Bytes(68, 0), kBadHeader),
        // A run that passes the row's end is cut; rows past the data stay white.
        Row("mac cut", ReadMac, Cat(Bytes(512, 0), {0xC1, 0xAA, 0xB9, 0x55, 0x00, 0x0F}), 1,
            {{0, {0x55}, 71}, {1, {0x0F}}, {2, {0x00}}}),
        // MSP version 2: a table of row lengths (not used), then coded rows: F0 F0 (run cut);
        // 12 34 with 56 unread; code 56 reads AB CD; the data ends: white. 1 is white.
        Row("msp", ReadMsp,
            Msp(0x694C, 0x536E, 16, 4,
                Cat(Bytes(8, 0),
                    {0x00, 0x05, 0xF0, 0x03, 0x12, 0x34, 0x56, 0xAB, 0xCD, 0x00, 0x01})),
            1, {{0, {0xF0, 0xF0}}, {1, {0x12, 0x34}}, {2, {0xAB, 0xCD}}, {3, {0xFF, 0xFF}}},
            {{0, 0, kWhite}, {4, 0, kBlack}}),
        // Mixed key words ("Da", "nS") take the run-length road too.
        Row("msp mixed keys", ReadMsp, Msp(0x6144, 0x536E, 8, 1, {0, 0, 0x01, 0x3C}), 1,
            {{0, {0x3C}}}),
        // Version 1 is uncompressed; the third row is cut short.
        Row("msp version 1", ReadMsp, Msp(0x6144, 0x4D6E, 12, 3, {0x12, 0x30, 0x45, 0x60, 0x78}), 1,
            {{0, {0x12, 0x30}}, {1, {0x45, 0x60}}, {2, {0xFF}}}),
        Row("msp short", ReadMsp, Bytes(7, 0), kBadHeader),
        Row("msp second key", ReadMsp, Msp(0x6144, 0x1234, 8, 1), kBadHeader),
        Row("msp first key", ReadMsp, Msp(0x4D42, 0x4D6E, 8, 1), kBadHeader),
        Row("msp no width", ReadMsp, Msp(0x6144, 0x4D6E, 0, 1), kNoMemory),
        Row("wpg records and codes", ReadWpg, wpgColour, 8,
            {{0, {2, 2, 2, 2, 5, 6}},
             {1, {255, 255, 255, 1, 1, 1}},
             {2, {7, 255, 255, 1, 1, 1}},
             {6, {7, 255, 255, 1, 1, 1}}},
            {{3, 1, {10, 20, 30}}, {0, 0, {40, 50, 60}}}),
        // 0x00 n where a row starts gives n + 1 further copies of the row before; the default
        // palette is 0 black, 1 white.
        Row("wpg repeat at a row's start", ReadWpg,
            Wpg({{0x0B, WpgBitmap(8, 5, 1, {0x01, 0xA5, 0x00, 0x02, 0x01, 0x3C}), 3}}), 1,
            {{0, {0xA5}}, {3, {0xA5}}, {4, {0x3C}}}, {{0, 0, kWhite}, {1, 0, kBlack}}),
        Row("wpg 4 bits", ReadWpg, Wpg({{0x0B, WpgBitmap(3, 1, 4, {0x02, 0x12, 0x30})}}), 4,
            {{0, {0x12, 0x30}}}),
        Row("wpg 2 bits widen to 4", ReadWpg, Wpg({{0x0B, WpgBitmap(5, 1, 2, {0x02, 0x1B, 0x80})}}),
            4, {{0, {0x01, 0x23, 0x20}}}),
        Row("wpg wrong magic", ReadWpg, With(wpgHeader, 1, 'X'), kBadHeader),
        Row("wpg short header", ReadWpg, Bytes(wpgHeader.begin(), wpgHeader.end() - 1), kBadHeader),
        Row("wpg no end record", ReadWpg, Wpg({{0x0B, WpgBitmap(8, 1, 1, {0x01, 0xFF})}}, false),
            kNoBitmap),
        Row("wpg no bitmap", ReadWpg, Wpg({{0x0E, ColourMap(0, {{1, 2, 3}})}}), kNoBitmap),
        Row("wpg no width", ReadWpg, Wpg({{0x0B, WpgBitmap(0, 4, 1, {})}}), kNoBitmap),
        Row("wpg length past the end", ReadWpg,
            Cat(wpgHeader, {0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x00}), kNoBitmap),
        Row("wpg first record 1 GiB in", ReadWpg, With(Wpg({}), 7, 0x40), kNoBitmap),
        Row("wpg 24 bits", ReadWpg, Wpg({{0x0B, WpgBitmap(4, 4, 24, {})}}), kBadHeader),
        Row("wpg too large", ReadWpg, Wpg({{0x0B, WpgBitmap(65535, 65535, 8, {})}}), kNoMemory),
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Legacy, MacPaintSamplesWithAndWithoutHeader) {
    REQUIRE_TESTDATA("mac");
    const auto noHeader = testsupport::TestData("mac") / "noheader.mac";
    const auto a = testsupport::LoadFile((testsupport::TestData("mac") / "header.mac").string());
    const auto b = testsupport::LoadFile(noHeader.string());
    ASSERT_EQ(a.rc, 0);
    ASSERT_EQ(b.rc, 0);
    EXPECT_EQ(testsupport::ComparePictures(a.picture, b.picture), "");
    // ImageMagick's MacPaint reading is not used: it disagrees with macptopbm and with the
    // bitmaps pbmtomacp was given.
    if (!oracle::ToolAvailable("macptopbm")) return;
    const auto want = oracle::FirstPicture("macptopbm " + oracle::ShellQuote(noHeader.string()));
    EXPECT_EQ(testsupport::ComparePictures(b.picture, want), "");
}

// The public MSP samples are 1-bit pictures; the checksum is not looked at, so the damaged copy
// shows the same picture. The WPG sample loads or fails with a loader code.
TEST(Legacy, PublicSamples) {
    const auto msp = testsupport::SampleFiles("msp", ".msp");
    const auto wpg = testsupport::SampleFiles("wpg", ".wpg");
    if (msp.empty() && wpg.empty())
        GTEST_SKIP() << "no public samples at " << testsupport::TestData();
    std::vector<oracle::RgbImage> pictures;
    for (const auto& path : msp) {
        const auto load = testsupport::LoadFile(path.string());
        ASSERT_EQ(load.rc, 0) << path;
        EXPECT_EQ(load.pixelBits, 1);
        EXPECT_EQ(testsupport::ComparePictures(load.picture,
                                               pictures.empty() ? load.picture : pictures[0]),
                  "");
        pictures.push_back(load.picture);
    }
    for (const auto& path : wpg)
        EXPECT_TRUE(testsupport::IsLoaderCode(testsupport::LoadFile(path.string()).rc)) << path;
}

}  // namespace
}  // namespace legacy_test
