// The TIFF reader on hand-made files: directory rules in both byte orders, palettes, strips,
// PackBits, sample conversions, the page table, the pixel aspect and hostile files.
#include <gtest/gtest.h>

#include "decode/loader_error.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

using testsupport::Rgb;
using testsupport::RunReader;

// A grey pixel.
Rgb G(uint8_t v) {
    return {v, v, v};
}

struct Pixel {
    int x, y;
    Rgb rgb;
};

enum Layout { kII = 0, kMM = 1, kStripLast = 2 };  // kStripLast: the strip runs to the file's end
constexpr int32_t kBad = decode::kBadHeader, kModule = decode::kTiffCompression;

// One single-strip picture: the header's bit count (or the reader's error code) and some pixels.
struct PictureCase {
    Picture picture;
    int layout;
    int32_t expect;
    std::vector<Pixel> pixels = {};
};
// A case built by a call, so that the table bin-packs its arguments.
PictureCase Row(Picture p, int layout, int32_t expect, std::vector<Pixel> pixels = {}) {
    return {std::move(p), layout, expect, std::move(pixels)};
}

// Picture fields: width, height, bits, samples, photometric, compression, strip, extra fields.
const PictureCase kPictures[] = {
    // A bit count of 0 from either factor, no width, a width beyond the largest picture.
    Row({4, 2, 0, 1, 1, 1, Bytes(8, 1)}, kII, kBad),
    Row({4, 2, 8, 0, 1, 1, Bytes(8, 1)}, kII, kBad),
    Row({0, 2, 8, 1, 1, 1, Bytes(8, 1)}, kII, kBad),
    Row({40000, 2, 8, 1, 1, 1, Bytes(8, 1)}, kII, decode::kNoMemory),
    // Layouts plain strip reading would get wrong go to the module: separate planes, floating
    // point, bit-reversed, Lab.
    Row({2, 2, 8, 3, 2, 1, Bytes(12, 7), {Short(284, 2)}}, kII, kModule),
    Row({2, 2, 8, 3, 2, 1, Bytes(12, 7), {Short(339, 3)}}, kII, kModule),
    Row({2, 2, 8, 3, 2, 1, Bytes(12, 7), {Short(266, 2)}}, kII, kModule),
    Row({2, 2, 8, 3, 8, 1, Bytes(12, 7)}, kII, kModule),
    // CMYK by 255 - ink - black clamped at 0.
    Row({2, 1, 8, 4, 5, 1, {10, 20, 30, 40, 200, 100, 0, 60}}, kII, 24,
        {{0, 0, {205, 195, 185}}, {1, 0, {0, 95, 195}}}),
    // 12-bit white-is-zero grey packed high bit first (0xABC, 0x123) becomes 24 bits; 5-bit RGB
    // (31, 0, 16).
    Row({2, 1, 12, 1, 0, 1, {0xAB, 0xC1, 0x23}}, kMM, 24, {{0, 0, G(0x54)}, {1, 0, G(0xED)}}),
    Row({1, 1, 5, 3, 2, 1, {0xF8, 0x20}}, kII, 24, {{0, 0, {255, 0, 131}}}),
    // PackBits: literal 3, a repeat of 2 (one 9 dropped), a no-op, a literal of 6 overrunning
    // row 1 (two bytes dropped), a repeat of 4.
    Row({4, 3, 8, 1, 1, 32773, {0x02, 1, 2, 3, 0xFF, 9, 0x80, 0x05, 5, 6, 7, 8, 0, 0, 0xFD, 4}},
        kII, 8, {{3, 0, G(9)}, {3, 1, G(8)}, {3, 2, G(4)}}),
    // The end of the file reads as 255, a repeat of 255s, also for a picture far larger than
    // its data; uncompressed data that ends early leaves the rest blank.
    Row({4, 3, 8, 1, 1, 32773, {0x01, 3, 4}}, kStripLast, 8, {{1, 0, G(4)}, {3, 2, G(255)}}),
    Row({3000, 2000, 8, 1, 1, 32773, {2, 1, 2, 3}}, kStripLast, 8, {{2999, 1999, G(255)}}),
    Row({4, 3, 8, 1, 1, 1, {1, 2, 3, 4, 5}}, kMM | kStripLast, 8, {{0, 1, G(5)}, {1, 1, G(0)}}),
};

// Every row runs without the codec modules: files the reader hands to a module fail with the
// module's code instead of showing a wrong picture.
TEST(TiffReader, PicturesOfEveryLayout) {
    testsupport::TempDir dir;
    EnvOverride noModules("LUMORA_CODEC_PATH", dir.dir);
    for (size_t i = 0; i < std::size(kPictures); ++i) {
        const PictureCase& c = kPictures[i];
        SCOPED_TRACE("row " + std::to_string(i));
        const Bytes file = MakeTiff(c.picture, c.layout & kMM, c.layout & kStripLast);
        const auto run = RunReader(decode::ReadTiff, file);
        ASSERT_EQ(run->rc, std::min(c.expect, 0));
        if (c.expect < 0) continue;
        EXPECT_EQ(run->img.header.biBitCount, c.expect);
        for (const Pixel& p : c.pixels)
            EXPECT_EQ(run->rgb(p.x, p.y), p.rgb) << p.x << "," << p.y;
    }
}

TEST(TiffReader, WhatIsNoTiffIsRefused) {
    const Bytes noStripOffsets = [] {
        TiffBuilder b;
        b.Directory({Long(256, 4), Long(257, 2), Short(258, 8), Short(262, 1)});
        return b.bytes();
    }();
    // Wrong order mark, too short, empty, first directory outside the file.
    for (const Bytes& file : {Bytes{'I', 'M', 42, 0, 8, 0, 0, 0}, Bytes{'I'}, Bytes{},
                              Bytes{'I', 'I', 42, 0, 0xF0, 0, 0, 0}, noStripOffsets})
        EXPECT_EQ(RunReader(decode::ReadTiff, file)->rc, decode::kBadHeader);
}

TEST(TiffReader, ColorMapTakesTheHighByteAndStopsAtTheEndOfTheFile) {
    const auto withMap = [](const std::vector<uint32_t>& map, uint32_t mapOffset = 0) {
        TiffBuilder b(true);
        const uint32_t strip = b.Append({0, 1, 2, 3});
        const uint32_t at = b.AppendShorts(map);
        b.Directory({Long(256, 4), Long(257, 1), Short(258, 8), Short(262, 3), Long(273, strip),
                     Short(277, 1), At(320, kShort, 768, mapOffset ? mapOffset : at)});
        return RunReader(decode::ReadTiff, b.bytes());
    };
    std::vector<uint32_t> map(3 * 256, 0);
    map[0] = 0xFF00;            // red of entry 0: a 16-bit intensity
    map[256 + 1] = 200;         // green of entry 1: a dark 16-bit intensity, not 8-bit 200
    map[2 * 256 + 3] = 0x8000;  // blue of entry 3
    auto run = withMap(map);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(run->rgb(3, 0), (Rgb{0, 0, 128}));

    // A map whose values all fit in 8 bits was written with 8-bit values: taken as they are.
    map[0] = 0;
    map[2 * 256 + 3] = 255;
    run = withMap(map);
    EXPECT_EQ(run->rgb(1, 0), (Rgb{0, 200, 0}));
    EXPECT_EQ(run->rgb(3, 0), (Rgb{0, 0, 255}));

    // A map outside the file: nothing outside the file is touched, the palette stays black.
    run = withMap(map, 0xFFFFFFF0u);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(3, 0), (Rgb{0, 0, 0}));
}

TEST(TiffReader, RowsGoBottomUpFromEveryStripAndDropRowsPastTheHeight) {
    for (bool big : {false, true}) {
        for (uint16_t type : {kShort, kLong}) {
            SCOPED_TRACE(std::string(big ? "MM" : "II") + (type == kShort ? " SHORT" : " LONG"));
            TiffBuilder b(big);
            // Strips of two rows in reverse file order; the last strip has a row too many.
            const uint32_t s2 = b.Append({50, 51, 52, 53});
            const uint32_t s1 = b.Append({30, 31, 40, 41});
            const uint32_t s0 = b.Append({10, 11, 20, 21});
            const uint32_t table =
                type == kShort ? b.AppendShorts({s0, s1, s2}) : b.AppendLongs({s0, s1, s2});
            // A SHORT of count 2 holds its first value in the field.
            b.Directory({Long(256, 2),
                         Long(257, 5),
                         Short(258, 8),
                         Short(262, 1),
                         At(273, type, 3, table),
                         Short(277, 1),
                         {278, kShort, 2, 2}});
            const auto run = RunReader(decode::ReadTiff, b.bytes());
            ASSERT_EQ(run->rc, 0);
            for (int y = 0; y < 5; ++y)
                EXPECT_EQ(run->index(1, y), 11 + 10 * y) << y;
            // Row 0 of the picture is the last row of the block.
            EXPECT_EQ(run->img.pixels[4 * run->img.rowStride], 10);
        }
    }
}

TEST(TiffReader, HostileStripTablesGiveAPictureOfWhatWasThere) {
    // An enormous strip count whose table runs off the file ends with the picture's height; a
    // strip outside the file is blank.
    TiffBuilder b;
    const uint32_t s0 = b.Append({7, 7});
    const uint32_t table = b.AppendLongs({s0, 0xFFFFFF00u});
    b.Directory({Long(256, 2), Long(257, 3), Short(258, 8), Short(262, 1),
                 At(273, kLong, 0xFFFFFFFFu, table), Short(277, 1), Short(278, 1)});
    auto run = RunReader(decode::ReadTiff, b.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(1, 0), 7);
    EXPECT_EQ(run->index(0, 1), 0);
    EXPECT_EQ(run->index(0, 2), 0);

    TiffBuilder far;
    far.Directory({Long(256, 3), Long(257, 2), Short(258, 8), Short(262, 1), Long(273, 0x7FFFFFF0u),
                   Short(277, 1)});
    run = RunReader(decode::ReadTiff, far.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(2, 1), 0);
}

TEST(TiffReader, AspectIsTheResolutionRatioWithItsLimits) {
    const auto aspect = [](bool big, uint32_t xn, uint32_t xd, uint32_t yn, uint32_t padding) {
        TiffBuilder b(big);
        const uint32_t strip = b.Append(Bytes(padding + 1, 0));
        const uint32_t x = b.AppendLongs({xn, xd});
        const uint32_t y = b.AppendLongs({yn, 1});
        b.Directory({Long(256, 1), Long(257, 1), Short(258, 8), Short(262, 1), Long(273, strip),
                     Short(277, 1), At(282, kRational, 1, x), At(283, kRational, 1, y)});
        return RunReader(decode::ReadTiff, b.bytes())->img.pixelAspect;
    };
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        EXPECT_FLOAT_EQ(aspect(big, 300, 1, 150, 0), 2.0f);
        EXPECT_FLOAT_EQ(aspect(big, 144, 2, 144, 0), 0.5f);
        EXPECT_FLOAT_EQ(aspect(big, 600, 1, 100, 0), 1.0f);        // above 5
        EXPECT_FLOAT_EQ(aspect(big, 72, 1, 0, 0), 1.0f);           // YResolution 0
        EXPECT_FLOAT_EQ(aspect(big, 0, 1, 72, 0), 1.0f);           // XResolution 0
        EXPECT_FLOAT_EQ(aspect(big, 90, 0, 45, 0), 1.0f / 45.0f);  // denominator 0: 1.0 kept
        // Values past the first 64 KiB of the file, where writers that put the directory after
        // the image data keep them.
        EXPECT_FLOAT_EQ(aspect(big, 200, 1, 100, 70000), 2.0f);
    }
}

TEST(TiffReader, PageTableWalksTheChainAndSurvivesBadLinks) {
    const auto twoPages = [](bool big) {
        TiffBuilder b(big);
        AddPicture(b, {2, 1, 8, 1, 1, 1, {1, 2}});
        AddPicture(b, {3, 2, 8, 3, 2, 1, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8}});
        return b;
    };
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TiffBuilder b = twoPages(big);
        auto run = RunReader(decode::ReadTiff, b.bytes());
        const auto pages = run->img.tiffPageOffsets;
        ASSERT_EQ(pages.size(), 2u);

        // The later page is read from its own directory; only a first load records pages.
        decode::LoadOptions second;
        second.startOffset = pages[1];
        run = RunReader(decode::ReadTiff, b.bytes(), second);
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 24);
        EXPECT_EQ(run->rgb(2, 1), (Rgb{6, 7, 8}));
        EXPECT_TRUE(run->img.tiffPageOffsets.empty());
        second.startOffset = 0x7FFFFFF0;
        EXPECT_EQ(RunReader(decode::ReadTiff, b.bytes(), second)->rc, decode::kBadHeader);

        // A second directory beyond the end, one that links to itself, two that link to each
        // other.
        const uint32_t firstLink = pages[0] + 2 + 12 * 9;
        for (uint32_t link : {b.size() + 100, uint32_t(pages[0])}) {
            TiffBuilder bad = twoPages(big);
            bad.Patch32(firstLink, link);
            EXPECT_EQ(RunReader(decode::ReadTiff, bad.bytes())->img.tiffPageOffsets,
                      std::vector<int32_t>{pages[0]});
        }
        TiffBuilder pair = twoPages(big);
        pair.Patch32(pair.lastLink(), pages[0]);
        EXPECT_EQ(RunReader(decode::ReadTiff, pair.bytes())->img.tiffPageOffsets, pages);
    }
}

// A chain of empty directories, each linking to the next six bytes on: the walk stops at its
// limit instead of growing with the file.
TEST(TiffReader, LongChainsOfDirectoriesAreCut) {
    TiffBuilder b;
    AddPicture(b, {1, 1, 8, 1, 1, 1, {5}});
    const uint32_t chain = b.size();
    b.Patch32(b.lastLink(), chain);
    Bytes bytes = b.bytes();
    const uint32_t count = 70000;
    for (uint32_t i = 1; i <= count; ++i) {
        testsupport::PutLe(bytes, 0, 2);
        testsupport::PutLe(bytes, i < count ? chain + 6 * i : 0, 4);
    }
    const auto run = RunReader(decode::ReadTiff, bytes);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.tiffPageOffsets.size(), 65536u);
    EXPECT_EQ(run->img.tiffPageOffsets[2], static_cast<int32_t>(chain + 6));
}

}  // namespace
}  // namespace tiff_test
