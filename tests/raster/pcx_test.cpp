// The PCX reader: hand-made files for every plane layout and the run-length edge cases, files
// written by netpbm and ImageMagick compared with their source and with both tools' decodes,
// and the public samples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
using namespace testsupport;
using testsupport::RunReader;

// Run-length codes one scan line the way PCX writers do: repeats and bytes with both top bits
// set go out as runs of at most 63, every other byte as itself.
Bytes EncodeLine(const Bytes& line) {
    Bytes out;
    for (size_t i = 0; i < line.size();) {
        size_t n = 1;
        while (i + n < line.size() && line[i + n] == line[i] && n < 63)
            ++n;
        if (n > 1 || line[i] >= 0xC0) {
            out.push_back(static_cast<uint8_t>(0xC0 | n));
            out.push_back(line[i]);
        } else {
            out.push_back(line[i]);
        }
        i += n;
    }
    return out;
}

// A PCX file, built field by field; `data` is the encoded pixel data.
struct Pcx {
    uint8_t manufacturer = 0x0A;
    uint8_t version = 5;
    uint8_t bits = 8;
    uint8_t planes = 1;
    uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    uint16_t bytesPerLine = 0;
    std::vector<Rgb> map16;
    Bytes data;
    std::vector<Rgb> palette256;  // appended behind `marker` when not empty
    uint8_t marker = 0x0C;

    Pcx(uint8_t b, uint8_t p, int width, int height, uint16_t bpl)
        : bits(b), planes(p), xMax(width - 1), yMax(height - 1), bytesPerLine(bpl) {}

    // Encodes each scan line (bytesPerLine x planes bytes) on its own.
    Pcx& lines(const std::vector<Bytes>& scanLines) {
        for (const Bytes& l : scanLines)
            Append(data, EncodeLine(l));
        return *this;
    }

    Bytes bytes() const {
        Bytes out = {manufacturer, version, 1, bits};
        for (uint16_t v : {xMin, yMin, xMax, yMax, uint16_t{72}, uint16_t{72}})
            PutLe16(out, v);
        for (size_t i = 0; i < 16; ++i) {
            const Rgb c = i < map16.size() ? map16[i] : Rgb{};
            out.insert(out.end(), c.begin(), c.end());
        }
        out.push_back(0);
        out.push_back(planes);
        PutLe16(out, bytesPerLine);
        out.resize(128, 0);
        Append(out, data);
        if (!palette256.empty()) {
            out.push_back(marker);
            for (size_t i = 0; i < 256; ++i) {
                const Rgb c = i < palette256.size() ? palette256[i] : Rgb{};
                out.insert(out.end(), c.begin(), c.end());
            }
        }
        return out;
    }
};

TEST(Pcx, RejectsWhatIsNotAPicture) {
    Pcx good(8, 1, 4, 2, 4);
    good.lines({Bytes(4, 1), Bytes(4, 2)});
    EXPECT_EQ(RunReader(ReadPcx, good.bytes())->rc, 0);

    Bytes shortHeader = good.bytes();
    shortHeader.resize(127);
    EXPECT_EQ(RunReader(ReadPcx, shortHeader)->rc, kBadHeader);

    Pcx wrongMaker = good;
    wrongMaker.manufacturer = 0x0B;
    EXPECT_EQ(RunReader(ReadPcx, wrongMaker.bytes())->rc, kBadHeader);

    // A window whose right edge lies left of its left edge has no pixels at all.
    Pcx inverted = good;
    inverted.xMin = 10;
    inverted.xMax = 3;
    EXPECT_EQ(RunReader(ReadPcx, inverted.bytes())->rc, kBadHeader);
    Pcx upside = good;
    upside.yMin = 5;
    upside.yMax = 4;
    EXPECT_EQ(RunReader(ReadPcx, upside.bytes())->rc, kBadHeader);

    Pcx noLines = good;
    noLines.bytesPerLine = 0;
    EXPECT_EQ(RunReader(ReadPcx, noLines.bytes())->rc, kBadHeader);

    // Plane layouts the format does not define.
    for (auto [bits, planes] : {std::pair{8, 2}, {1, 5}, {2, 2}, {4, 2}, {0, 1}, {8, 0}}) {
        Pcx odd = good;
        odd.bits = static_cast<uint8_t>(bits);
        odd.planes = static_cast<uint8_t>(planes);
        EXPECT_EQ(RunReader(ReadPcx, odd.bytes())->rc, kUnsupported) << bits << "x" << planes;
    }

    // Too wide: refused before anything is allocated.
    Pcx wide = good;
    wide.xMax = 40000;
    const auto run = RunReader(ReadPcx, wide.bytes());
    EXPECT_EQ(run->rc, kNoMemory);
    EXPECT_EQ(run->img.pixelHandle, 0u);
}

TEST(Pcx, EightBitsTakeThePaletteBehindTheMarker) {
    const std::vector<Rgb> palette = Colours(256, 3);
    Pcx pcx(8, 1, 5, 3, 6);  // one pad byte per line
    pcx.xMin = 10;           // the window need not start at 0
    pcx.xMax = 14;
    pcx.yMin = 20;
    pcx.yMax = 22;
    pcx.lines({{0, 1, 2, 3, 4, 99}, {200, 200, 200, 200, 255, 0}, {7, 7, 7, 7, 7, 7}});
    pcx.palette256 = palette;
    auto run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->width(), 5);
    EXPECT_EQ(run->height(), 3);
    EXPECT_EQ(run->img.header.biBitCount, 8);
    const int want[3][5] = {{0, 1, 2, 3, 4}, {200, 200, 200, 200, 255}, {7, 7, 7, 7, 7}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;
            EXPECT_EQ(run->rgb(x, y), palette[want[y][x]]);
        }

    // Without the marker byte the palette stays black; the indexes are unchanged.
    pcx.marker = 0x0B;
    run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(4, 1), 255);
    for (uint8_t c : run->img.rgbPalette)
        ASSERT_EQ(c, 0);

    // Before version 5 there is no such palette.
    pcx.marker = 0x0C;
    pcx.version = 4;
    run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{0, 0, 0}));
}

TEST(Pcx, RunsStopAtTheEndOfTheScanLine) {
    Pcx pcx(8, 1, 4, 3, 4);
    // Line 0: a run of 6 fills the line; its last two bytes are dropped, not carried on.
    // Line 1: literal 5, a run of 0 (nothing), a run of 2 of 0xC5, literal 9.
    // Line 2: 0xC1 0xC0 writes the byte 0xC0 once; then a run of 3.
    pcx.data = {0xC6, 0x11, 0x05, 0xC0, 0x77, 0xC2, 0xC5, 0x09, 0xC1, 0xC0, 0xC3, 0x22};
    const auto run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    const int want[3][4] = {{0x11, 0x11, 0x11, 0x11}, {5, 0xC5, 0xC5, 9}, {0xC0, 0x22, 0x22, 0x22}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;
}

TEST(Pcx, ShortDataLeavesTheRestBlack) {
    Pcx pcx(8, 1, 4, 4, 4);
    pcx.data = {1, 2, 3, 4, 5, 6};  // one line and a half
    const auto run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(3, 0), 4);
    EXPECT_EQ(run->index(1, 1), 6);
    EXPECT_EQ(run->index(2, 1), 0);
    EXPECT_EQ(run->index(0, 3), 0);
}

TEST(Pcx, SixteenColoursFromFourPlanes) {
    // Pixel x has colour x: plane p holds bit p.
    const int width = 16;
    Bytes line;
    for (int p = 0; p < 4; ++p)
        for (int i = 0; i < 2; ++i) {
            uint8_t b = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (((i * 8 + bit) >> p) & 1) b |= static_cast<uint8_t>(0x80 >> bit);
            line.push_back(b);
        }
    Pcx pcx(1, 4, width, 2, 2);
    pcx.map16 = Colours(16, 9);
    pcx.lines({line, line});
    auto run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 4);
    for (int x = 0; x < width; ++x) {
        EXPECT_EQ(run->index(x, 1), x);
        EXPECT_EQ(run->rgb(x, 0), pcx.map16[x]);
    }

    // Version 3 files carry no palette: the standard EGA colours stand in.
    pcx.version = 3;
    run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{0, 0, 170}));
    EXPECT_EQ(run->rgb(6, 0), (Rgb{170, 85, 0}));
    EXPECT_EQ(run->rgb(9, 0), (Rgb{85, 85, 255}));
    EXPECT_EQ(run->rgb(15, 0), (Rgb{255, 255, 255}));

    // Two and three planes give four and eight colours.
    for (uint8_t planes : {2, 3}) {
        Pcx fewer(1, planes, width, 1, 2);
        fewer.map16 = pcx.map16;
        fewer.lines({Bytes(line.begin(), line.begin() + 2 * planes)});
        run = RunReader(ReadPcx, fewer.bytes());
        ASSERT_EQ(run->rc, 0);
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(run->index(x, 0), x & ((1 << planes) - 1));
    }
}

TEST(Pcx, PackedTwoAndFourBitPixels) {
    // Two bits in one plane: four colours from the header map.
    Pcx two(2, 1, 6, 1, 2);
    two.map16 = Colours(16, 4);
    two.lines({{0b00011011, 0b11100000}});
    auto run = RunReader(ReadPcx, two.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 4);
    const int want2[6] = {0, 1, 2, 3, 3, 2};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(run->index(x, 0), want2[x]);
        EXPECT_EQ(run->rgb(x, 0), two.map16[want2[x]]);
    }

    Pcx four(4, 1, 3, 1, 2);
    four.map16 = two.map16;
    four.lines({{0x4F, 0xA0}});
    run = RunReader(ReadPcx, four.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(0, 0), 4);
    EXPECT_EQ(run->index(1, 0), 15);
    EXPECT_EQ(run->index(2, 0), 10);
}

TEST(Pcx, OneBitIsBlackAndWhite) {
    Pcx pcx(1, 1, 10, 2, 2);
    pcx.map16 = {{200, 0, 0}, {0, 200, 0}};  // not used: one-bit pictures are black and white
    pcx.lines({{0b10110000, 0b01000000}, {0xFF, 0xC0}});
    const auto run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    const int want[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(run->index(x, 0), want[x]);
        EXPECT_EQ(run->rgb(x, 0), want[x] ? (Rgb{255, 255, 255}) : (Rgb{0, 0, 0}));
        EXPECT_EQ(run->index(x, 1), 1);
    }
}

TEST(Pcx, TrueColourPlanesAreRedGreenBlue) {
    Pcx pcx(8, 3, 3, 2, 4);
    pcx.lines(
        {{10, 11, 12, 0, 20, 21, 22, 0, 30, 31, 32, 0}, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}});
    auto run = RunReader(ReadPcx, pcx.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 24);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(run->rgb(2, 0), (Rgb{12, 22, 32}));
    EXPECT_EQ(run->rgb(1, 1), (Rgb{2, 5, 8}));
    EXPECT_EQ(run->img.row(0)[0], 30);  // stored blue first

    // A fourth plane is read over and ignored.
    Pcx alpha(8, 4, 2, 1, 2);
    alpha.lines({{1, 2, 3, 4, 5, 6, 99, 99}});
    run = RunReader(ReadPcx, alpha.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{1, 3, 5}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{2, 4, 6}));
}

// A PCX file with another extension is found by the content test, after GIF and BMP.
TEST(Pcx, FoundByContentUnderAnyName) {
    Pcx pcx(8, 1, 2, 2, 2);
    pcx.lines({{1, 2}, {3, 4}});
    pcx.palette256 = Colours(256, 5);
    testsupport::TempDir dir;
    testsupport::WriteBytes(dir.path("picture.dat"), pcx.bytes());
    const auto load = testsupport::LoadFile(dir.path("picture.dat"));
    EXPECT_EQ(load.rc, 0);
    EXPECT_EQ(load.format, "pcx");
    ASSERT_EQ(load.picture.width, 2);
    const uint8_t* p = load.picture.pixel(1, 1);
    EXPECT_EQ((Rgb{p[0], p[1], p[2]}), pcx.palette256[4]);

    testsupport::WriteBytes(dir.path("text.dat"), Bytes(300, 'x'));
    EXPECT_EQ(testsupport::LoadFile(dir.path("text.dat")).rc, kUnsupported);
}

// Every public sample loads or fails with a loader code; where ImageMagick reads it, the
// pictures agree (one-bit files in their drawing only: see OneBitIsBlackAndWhite).
TEST(Pcx, PublicSamples) {
    const auto files = SampleFiles("pcx");
    if (files.empty()) GTEST_SKIP() << "no public test pictures at " << TestData("pcx");
    const bool magick = oracle::ToolAvailable("convert");
    int compared = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto load = testsupport::LoadFile(file.string());
        if (load.rc != 0) {
            EXPECT_LE(load.rc, -20001);
            EXPECT_GE(load.rc, -20022);
            EXPECT_TRUE(load.picture.rgb.empty());
            continue;
        }
        if (!magick) continue;
        const auto want = oracle::ImageMagickUpright(file.string());
        if (want.rgb.empty()) continue;
        ++compared;
        if (load.pixelBits == 1) {
            EXPECT_TRUE(SamePattern(load.picture, want));
        } else {
            EXPECT_EQ(testsupport::ComparePictures(load.picture, want), "");
        }
    }
    if (magick) {
        EXPECT_GT(compared, 50);
    }
}

}  // namespace
