// The six small legacy readers (ART, HRZ, GEM, MacPaint, MSP, WPG): hand-made files for their
// codes, headers and faults; files written by ImageMagick and netpbm compared with the tools'
// own reading; the public samples.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
using namespace testsupport;
using testsupport::ComparePictures;
using testsupport::RunReader;
using Rgb = std::array<uint8_t, 3>;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

std::string Q(const std::string& s) {
    return oracle::ShellQuote(s);
}

// ---------------------------------------------------------------------------------------------
// ART

Bytes Art(int width, int height, const Bytes& rows, uint16_t first = 0) {
    Bytes v;
    for (uint32_t w : {uint32_t{first}, uint32_t(width), 0u, uint32_t(height)})
        PutLe(v, w);
    return Cat(v, rows);
}

TEST(Art, RowsArePaddedToEvenBytes) {
    // 9 pixels: 2 bytes a row; 17 pixels: 3 bytes, padded to 4. 1 is white.
    const auto run =
        RunReader(ReadArt, Art(17, 2, {0x80, 0x00, 0x80, 0xEE, 0x00, 0x01, 0x00, 0xEE}));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    EXPECT_EQ(run->rgb(0, 0), kWhite);
    EXPECT_EQ(run->rgb(1, 0), kBlack);
    EXPECT_EQ(run->rgb(16, 0), kWhite);
    EXPECT_EQ(run->rgb(15, 1), kWhite);
    EXPECT_EQ(run->rgb(16, 1), kBlack);
    // Faults: a first word other than 0, a short header, sizes the loader refuses.
    EXPECT_EQ(RunReader(ReadArt, Art(8, 1, {0}, 1))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadArt, {0, 0, 8, 0, 0})->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadArt, Art(0, 1, {}))->rc, kNoMemory);
    // Rows past the end of the data stay 0 (black).
    const auto cut = RunReader(ReadArt, Art(8, 3, {0xFF, 0x00}));
    ASSERT_EQ(cut->rc, 0);
    EXPECT_EQ(cut->rgb(0, 0), kWhite);
    EXPECT_EQ(cut->rgb(0, 2), kBlack);
}

// ---------------------------------------------------------------------------------------------
// HRZ

TEST(Hrz, AllRowsOfSixBitSamples) {
    Bytes frame(256 * 240 * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>((i / 3 + i % 3 * 21) % 64);
    const auto run = RunReader(ReadHrz, frame);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->width(), 256);
    EXPECT_EQ(run->height(), 240);
    EXPECT_EQ(run->img.header.biBitCount, 24);
    for (int y : {0, 1, 128, 239})
        for (int x : {0, 7, 255}) {
            const size_t i = (static_cast<size_t>(y) * 256 + x) * 3;
            EXPECT_EQ(run->rgb(x, y), (Rgb{static_cast<uint8_t>(frame[i] * 4),
                                           static_cast<uint8_t>(frame[i + 1] * 4),
                                           static_cast<uint8_t>(frame[i + 2] * 4)}))
                << x << "," << y;
        }
    // A short frame loads with the rows it has.
    const auto cut = RunReader(ReadHrz, Bytes(256 * 3 + 3, 63));
    ASSERT_EQ(cut->rc, 0);
    EXPECT_EQ(cut->rgb(0, 1), (Rgb{252, 252, 252}));
    EXPECT_EQ(cut->rgb(1, 1), kBlack);
}

// ---------------------------------------------------------------------------------------------
// GEM

Bytes GemHeader(int planes, int width, int height, int patternLength = 1, int words = 8) {
    Bytes v;
    for (int w : {1, words, planes, patternLength, 0x55, 0x55, width, height})
        PutBe(v, static_cast<uint32_t>(w));
    return v;
}

TEST(Gem, RunCodes) {
    // 16 pixels, one plane: 2 bytes a row. 1 is black.
    const Bytes data = {
        0x81, 0x01,                    // row 0: FF, then 00
        0x80, 0x02, 0x0F, 0xF0,        // row 1: literal 0F F0
        0x00, 0x02, 0x3C,              // row 2: pattern 3C twice
        0x00, 0x00, 0xFF, 0x03,        // the next row appears 3 times
        0x80, 0x03, 0x11, 0x22, 0x33,  // rows 3-5: 11 22 (33 dropped)
        0x05,                          // row 6: 00 00 (the rest of the run dropped)
    };
    const auto run = RunReader(ReadGem, Cat(GemHeader(1, 16, 8), data));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    EXPECT_EQ(run->rgb(0, 0), kBlack);
    EXPECT_EQ(run->rgb(8, 0), kWhite);
    const uint8_t want[8][2] = {{0xFF, 0x00}, {0x0F, 0xF0}, {0x3C, 0x3C}, {0x11, 0x22},
                                {0x11, 0x22}, {0x11, 0x22}, {0x00, 0x00}, {0x00, 0x00}};
    for (int y = 0; y < 8; ++y)
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(run->img.row(y)[i], want[y][i]) << "row " << y;
}

TEST(Gem, LongPatternsAndTrueColour) {
    // A two-byte pattern, three times, cut at the row's end.
    const auto run = RunReader(ReadGem, Cat(GemHeader(1, 40, 1, 2), {0x00, 0x03, 0xAA, 0x55}));
    ASSERT_EQ(run->rc, 0);
    const uint8_t want[5] = {0xAA, 0x55, 0xAA, 0x55, 0xAA};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(run->img.row(0)[i], want[i]);
    // Header of 9 words: 24 bits, the ninth word's low byte multiplies every count.
    const auto deep = RunReader(
        ReadGem, Cat(GemHeader(24, 2, 1, 1, 9), {0x00, 0x02, 0x82, 0x80, 0x01, 0x10, 0x20, 0x30}));
    ASSERT_EQ(deep->rc, 0);
    EXPECT_EQ(deep->img.header.biBitCount, 24);
    const uint8_t bytes[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x20};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(deep->img.row(0)[i], bytes[i]);
}

TEST(Gem, PlanesArePackedAndInverted) {
    // 4 planes, 8 pixels: pixel x has the stored value x (plane 0 the lowest bit).
    Bytes data;
    for (int p = 0; p < 4; ++p) {
        uint8_t b = 0;
        for (int x = 0; x < 8; ++x)
            if (x >> p & 1) b |= 0x80 >> x;
        data.insert(data.end(), {0x80, 0x01, b});
    }
    const auto run = RunReader(ReadGem, Cat(GemHeader(4, 8, 1), data));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 4);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(run->index(x, 0), 15 - x);
    EXPECT_EQ(run->rgb(0, 0), kWhite);  // stored 0 shows white
    EXPECT_EQ(run->rgb(1, 0), (Rgb{238, 238, 238}));
    // 6 planes: an 8-bit grey ramp of 64 steps.
    const auto six = RunReader(ReadGem, Cat(GemHeader(6, 8, 1), {0x86}));
    ASSERT_EQ(six->rc, 0);
    EXPECT_EQ(six->img.header.biBitCount, 8);
    EXPECT_EQ(six->index(0, 0), 0);
    EXPECT_EQ(six->rgb(0, 0), kBlack);
    EXPECT_EQ(six->img.rgbPalette[3 * 63], 252);
}

TEST(Gem, Failures) {
    // A longer header (a colour table, say) comes before the data; its words are not codes.
    Bytes extended = GemHeader(1, 8, 1, 1, 11);
    extended.insert(extended.end(), {'X', 'I', 'M', 'G', 0x00, 0x00, 0x81});
    const auto ximg = RunReader(ReadGem, extended);
    ASSERT_EQ(ximg->rc, 0);
    EXPECT_EQ(ximg->img.row(0)[0], 0xFF);

    EXPECT_EQ(RunReader(ReadGem, Bytes(15, 0))->rc, kBadHeader);
    Bytes coarse = GemHeader(1, 8, 1);
    coarse[9] = 0x56;  // 85 x 86 micrometres
    EXPECT_EQ(RunReader(ReadGem, coarse)->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadGem, GemHeader(0, 8, 1))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadGem, GemHeader(9, 8, 1))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadGem, GemHeader(1, 0, 1))->rc, kNoMemory);
    EXPECT_EQ(RunReader(ReadGem, GemHeader(8, 65535, 65535))->rc, kNoMemory);
    // Data that ends early leaves the rest blank: white at 1 plane and after inversion.
    const auto cut = RunReader(ReadGem, Cat(GemHeader(2, 8, 3), {0xFF}));
    ASSERT_EQ(cut->rc, 0);
    EXPECT_EQ(cut->rgb(0, 2), kWhite);
}

// ---------------------------------------------------------------------------------------------
// MacPaint

// 720 rows of 72 bytes, PackBits-coded one row at a time: row y holds bytes of value y.
Bytes MacRows() {
    Bytes v;
    for (int y = 0; y < 720; ++y) {
        v.insert(v.end(), {0x01, static_cast<uint8_t>(y), static_cast<uint8_t>(~y)});  // literal
        v.insert(v.end(), {0xBB, static_cast<uint8_t>(y)});                            // 70 copies
    }
    return v;
}

void ExpectMacRows(const testsupport::ReaderRun& run) {
    ASSERT_EQ(run.rc, 0);
    EXPECT_EQ(run.width(), 576);
    EXPECT_EQ(run.height(), 720);
    for (int y : {0, 1, 300, 719}) {
        EXPECT_EQ(run.img.row(y)[0], static_cast<uint8_t>(y));
        EXPECT_EQ(run.img.row(y)[1], static_cast<uint8_t>(~y));
        EXPECT_EQ(run.img.row(y)[71], static_cast<uint8_t>(y));
    }
    EXPECT_EQ(run.rgb(0, 255), kBlack);  // 1 is black
    EXPECT_EQ(run.rgb(0, 0), kWhite);
}

TEST(Mac, HeadersAndPackBits) {
    Bytes header(512, 0);
    const Bytes plain = Cat(header, MacRows());
    Bytes macBinary(128, 0);
    std::memcpy(&macBinary[65], "PNTGMPNT", 8);
    ExpectMacRows(*RunReader(ReadMac, plain));
    ExpectMacRows(*RunReader(ReadMac, Cat(macBinary, plain)));
    // No header at all when the first byte is not 0.
    const Bytes bare = MacRows();
    ASSERT_NE(bare[0], 0);
    ExpectMacRows(*RunReader(ReadMac, Cat({0x80}, bare)));  // 128 is a no-op code
    EXPECT_EQ(RunReader(ReadMac, Bytes(68, 0))->rc, kBadHeader);
    // A run that passes the row's end is cut; rows past the data stay white.
    const auto cut = RunReader(ReadMac, Cat(header, {0xC1, 0xAA, 0xB9, 0x55, 0x00, 0x0F}));
    ASSERT_EQ(cut->rc, 0);
    EXPECT_EQ(cut->img.row(0)[71], 0x55);
    EXPECT_EQ(cut->img.row(1)[0], 0x0F);
    EXPECT_EQ(cut->img.row(2)[0], 0x00);
}

TEST(Mac, SamplesWithAndWithoutHeader) {
    const auto header = testsupport::TestData("mac") / "header.mac";
    const auto noHeader = testsupport::TestData("mac") / "noheader.mac";
    REQUIRE_TESTDATA("mac");
    const auto a = testsupport::LoadFile(header.string());
    const auto b = testsupport::LoadFile(noHeader.string());
    ASSERT_EQ(a.rc, 0);
    ASSERT_EQ(b.rc, 0);
    EXPECT_EQ(ComparePictures(a.picture, b.picture), "");
    if (oracle::ToolAvailable("macptopbm")) {
        EXPECT_EQ(
            ComparePictures(b.picture, oracle::FirstPicture("macptopbm " + Q(noHeader.string()))),
            "");
    }
    // ImageMagick's MacPaint reading is not used: it disagrees with macptopbm and with the
    // bitmaps pbmtomacp was given.
}

// ---------------------------------------------------------------------------------------------
// MSP

Bytes MspHeader(uint16_t key1, uint16_t key2, int width, int height) {
    Bytes v;
    for (uint32_t w : {uint32_t{key1}, uint32_t{key2}, uint32_t(width), uint32_t(height)})
        PutLe(v, w);
    v.resize(32, 0);
    return v;
}

TEST(Msp, RunLengthRows) {
    // Version 2: a table of row lengths (not used), then coded rows of 2 bytes (16 pixels).
    Bytes file = MspHeader(0x694C, 0x536E, 16, 4);
    file.resize(32 + 2 * 4, 0);
    file.insert(file.end(), {
                                0x00, 0x05, 0xF0,        // row 0: F0 F0 (run cut)
                                0x03, 0x12, 0x34, 0x56,  // row 1: 12 34, 56 unread
                                0xAB, 0xCD,              // row 2: code 56 reads AB CD
                                0x00, 0x01,              // row 3: the data ends: white
                            });
    const auto run = RunReader(ReadMsp, file);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    const uint8_t want[4][2] = {{0xF0, 0xF0}, {0x12, 0x34}, {0xAB, 0xCD}, {0xFF, 0xFF}};
    for (int y = 0; y < 4; ++y)
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(run->img.row(y)[i], want[y][i]) << y;
    EXPECT_EQ(run->rgb(0, 0), kWhite);  // 1 is white
    EXPECT_EQ(run->rgb(4, 0), kBlack);

    // Mixed key words ("Da", "nS") take the run-length road too.
    Bytes mixed = MspHeader(0x6144, 0x536E, 8, 1);
    mixed.insert(mixed.end(), {0, 0, 0x01, 0x3C});
    const auto m = RunReader(ReadMsp, mixed);
    ASSERT_EQ(m->rc, 0);
    EXPECT_EQ(m->img.row(0)[0], 0x3C);
}

TEST(Msp, UncompressedVersionOneAndFaults) {
    Bytes file = MspHeader(0x6144, 0x4D6E, 12, 3);
    file.insert(file.end(), {0x12, 0x30, 0x45, 0x60, 0x78});  // the third row is cut short
    const auto run = RunReader(ReadMsp, file);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.row(0)[0], 0x12);
    EXPECT_EQ(run->img.row(1)[1], 0x60);
    EXPECT_EQ(run->img.row(2)[0], 0xFF);
    EXPECT_EQ(RunReader(ReadMsp, Bytes(7, 0))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadMsp, MspHeader(0x6144, 0x1234, 8, 1))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadMsp, MspHeader(0x4D42, 0x4D6E, 8, 1))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadMsp, MspHeader(0x6144, 0x4D6E, 0, 1))->rc, kNoMemory);
}

TEST(Msp, PublicSamples) {
    const auto files = SampleFiles("msp", ".msp");
    if (files.empty()) GTEST_SKIP() << "no public MSP samples at " << TestData();
    std::vector<oracle::RgbImage> pictures;
    for (const auto& path : files) {
        const auto load = testsupport::LoadFile(path.string());
        ASSERT_EQ(load.rc, 0) << path;
        EXPECT_EQ(load.pixelBits, 1);
        pictures.push_back(load.picture);
    }
    // The checksum is not looked at: the damaged copy shows the same picture.
    for (const auto& p : pictures)
        EXPECT_EQ(ComparePictures(p, pictures.front()), "");
}

// ---------------------------------------------------------------------------------------------
// WPG

Bytes WpgHeader() {
    Bytes v = {0xFF, 'W', 'P', 'C'};
    PutLe(v, 16, 4);
    v.insert(v.end(), {1, 0x16, 1, 0, 0, 0, 0, 0});
    return v;
}

void Record(Bytes& out, uint8_t type, const Bytes& data, int lengthForm = 1) {
    out.push_back(type);
    const uint32_t n = static_cast<uint32_t>(data.size());
    if (lengthForm == 1 && n < 0xFF) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (lengthForm <= 2) {
        out.push_back(0xFF);
        PutLe(out, n);
    } else {
        out.push_back(0xFF);
        PutLe(out, 0x8000 | n >> 16);
        PutLe(out, n & 0xFFFF);
    }
    out.insert(out.end(), data.begin(), data.end());
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

TEST(Wpg, RecordsAndRunCodes) {
    // 6 pixels of 8 bits a row.
    const Bytes codes = {
        0x84, 0x02, 0x02, 0x05, 0x06,  // row 0: 2 2 2 2 5 6
        0x80, 0x03, 0x83, 0x01,        // row 1: FF FF FF 1 1 1
        0x01, 0x07, 0x00, 0x02,        // row 2: 7, then the row ends (rest as row 1), 2 more
        0x00, 0x01,                    // row 5: a copy of row 4 at once, and one more
    };
    Bytes file = WpgHeader();
    Record(file, 0x0F, Bytes(16, 0));  // a record of length 16 before the picture
    Record(file, 0x0E, ColourMap(1, {{10, 20, 30}, {40, 50, 60}}));
    Record(file, 0x0B, WpgBitmap(6, 7, 8, codes), 2);
    Record(file, 0x10, {});
    const auto run = RunReader(ReadWpg, file);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 8);
    const int want[7][6] = {{2, 2, 2, 2, 5, 6},     {255, 255, 255, 1, 1, 1},
                            {7, 255, 255, 1, 1, 1}, {7, 255, 255, 1, 1, 1},
                            {7, 255, 255, 1, 1, 1}, {7, 255, 255, 1, 1, 1},
                            {7, 255, 255, 1, 1, 1}};
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;
    EXPECT_EQ(run->rgb(3, 1), (Rgb{10, 20, 30}));
    EXPECT_EQ(run->rgb(0, 0), (Rgb{40, 50, 60}));
    EXPECT_EQ(run->img.rgbPalette[0], 0);  // entry 0 stays black
}

TEST(Wpg, RepeatAtTheStartOfARow) {
    // 0x00 n where a row starts gives n + 1 further copies of the row before.
    Bytes file = WpgHeader();
    Record(file, 0x0B, WpgBitmap(8, 5, 1, {0x01, 0xA5, 0x00, 0x02, 0x01, 0x3C}), 3);
    Record(file, 0x10, {});
    const auto run = RunReader(ReadWpg, file);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(run->img.row(y)[0], 0xA5) << y;
    EXPECT_EQ(run->img.row(4)[0], 0x3C);
    EXPECT_EQ(run->rgb(0, 0), kWhite);  // default palette: 0 black, 1 white
    EXPECT_EQ(run->rgb(1, 0), kBlack);
}

TEST(Wpg, FourAndTwoBitPixels) {
    Bytes file = WpgHeader();
    Record(file, 0x0B, WpgBitmap(3, 1, 4, {0x02, 0x12, 0x30}));
    Record(file, 0x10, {});
    const auto four = RunReader(ReadWpg, file);
    ASSERT_EQ(four->rc, 0);
    EXPECT_EQ(four->img.header.biBitCount, 4);
    EXPECT_EQ(four->index(0, 0), 1);
    EXPECT_EQ(four->index(1, 0), 2);
    EXPECT_EQ(four->index(2, 0), 3);
    file = WpgHeader();
    Record(file, 0x0B, WpgBitmap(5, 1, 2, {0x02, 0x1B, 0x80}));
    Record(file, 0x10, {});
    const auto two = RunReader(ReadWpg, file);
    ASSERT_EQ(two->rc, 0);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(two->index(x, 0), (x < 4 ? std::array{0, 1, 2, 3}[x] : 2)) << x;
}

TEST(Wpg, Failures) {
    Bytes wrong = WpgHeader();
    wrong[1] = 'X';
    EXPECT_EQ(RunReader(ReadWpg, wrong)->rc, kBadHeader);
    Bytes shortHeader = WpgHeader();
    shortHeader.pop_back();
    EXPECT_EQ(RunReader(ReadWpg, shortHeader)->rc, kBadHeader);
    // No end record, no bitmap record, a length past the end of the file.
    Bytes noEnd = WpgHeader();
    Record(noEnd, 0x0B, WpgBitmap(8, 1, 1, {0x01, 0xFF}));
    EXPECT_EQ(RunReader(ReadWpg, noEnd)->rc, kNoBitmap);
    Bytes noBitmap = WpgHeader();
    Record(noBitmap, 0x0E, ColourMap(0, {{1, 2, 3}}));
    Record(noBitmap, 0x10, {});
    EXPECT_EQ(RunReader(ReadWpg, noBitmap)->rc, kNoBitmap);
    Bytes zero = WpgHeader();
    Record(zero, 0x0B, WpgBitmap(0, 4, 1, {}));
    Record(zero, 0x10, {});
    EXPECT_EQ(RunReader(ReadWpg, zero)->rc, kNoBitmap);
    Bytes past = WpgHeader();
    past.insert(past.end(), {0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x00});
    EXPECT_EQ(RunReader(ReadWpg, past)->rc, kNoBitmap);
    Bytes firstPast = WpgHeader();
    firstPast[7] = 0x40;  // first record 1 GiB in
    EXPECT_EQ(RunReader(ReadWpg, firstPast)->rc, kNoBitmap);
    Bytes deep = WpgHeader();
    Record(deep, 0x0B, WpgBitmap(4, 4, 24, {}));
    Record(deep, 0x10, {});
    EXPECT_EQ(RunReader(ReadWpg, deep)->rc, kBadHeader);
    Bytes huge = WpgHeader();
    Record(huge, 0x0B, WpgBitmap(65535, 65535, 8, {}));
    Record(huge, 0x10, {});
    EXPECT_EQ(RunReader(ReadWpg, huge)->rc, kNoMemory);
}

TEST(Wpg, PublicSample) {
    const auto files = SampleFiles("wpg", ".wpg");
    if (files.empty()) GTEST_SKIP() << "no public WPG samples at " << TestData();
    for (const auto& path : files) {
        const auto load = testsupport::LoadFile(path.string());
        EXPECT_TRUE(IsLoaderCode(load.rc)) << path << " " << load.rc;
    }
}

}  // namespace
