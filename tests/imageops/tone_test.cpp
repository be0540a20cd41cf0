// Brightness, Contrast and ColorBalance: the worked examples of each rule, the 16-bit masks,
// and the frame on the control (colour tables, palettes, the stock palette, repaint).
#include <gtest/gtest.h>

#include <functional>

#include "imageops/tone_tables.h"
#include "imageops_fixture.h"

using namespace imageops_test;
using imageops::ToneTables;

namespace {

TEST(ToneTables, WorkedExamples) {
    const struct {
        const char* what;
        ToneTables t;
        int in;
        int red, green, blue;
    } rows[] = {
        {"Brightness(150) acts as 100", imageops::BrightnessTables(150), 10, 210, 210, 210},
        {"Brightness(100) clamps", imageops::BrightnessTables(100), 100, 255, 255, 255},
        {"Brightness(-100) keeps above 200", imageops::BrightnessTables(-100), 250, 50, 50, 50},
        {"Brightness(-100) blackens", imageops::BrightnessTables(-100), 200, 0, 0, 0},
        {"Contrast(10) low", imageops::ContrastTables(10), 100, 80, 80, 80},
        {"Contrast(10) high", imageops::ContrastTables(10), 200, 220, 220, 220},
        {"Contrast(10) 128 brightens", imageops::ContrastTables(10), 128, 148, 148, 148},
        {"Contrast(-100) 0", imageops::ContrastTables(-100), 0, 127, 127, 127},
        {"Contrast(-100) 255", imageops::ContrastTables(-100), 255, 128, 128, 128},
        {"Contrast(-100) 127", imageops::ContrastTables(-100), 127, 127, 127, 127},
        {"Contrast(-100) 128", imageops::ContrastTables(-100), 128, 128, 128, 128},
        {"Contrast(-300) clamps", imageops::ContrastTables(-300), 10, 127, 127, 127},
        {"Contrast(0)", imageops::ContrastTables(0), 37, 37, 37, 37},
        {"ColorBalance(10, 0, -10)", imageops::ColorBalanceTables(10, 0, -10), 100, 120, 100, 80},
        {"ColorBalance clamps", imageops::ColorBalanceTables(10, 0, -10), 250, 255, 250, 230},
        {"ColorBalance clamps low", imageops::ColorBalanceTables(10, 0, -10), 5, 25, 5, 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.t.red[r.in], r.red) << r.what;
        EXPECT_EQ(r.t.green[r.in], r.green) << r.what;
        EXPECT_EQ(r.t.blue[r.in], r.blue) << r.what;
    }
}

TEST(ToneTables, SixteenBitPixelsThroughTheirMasks) {
    const struct {
        uint16_t in;
        uint32_t masks[3];
        uint16_t out;
    } rows[] = {
        {0x7FFF, {0x7C00, 0x03E0, 0x001F}, 0x739C},  // 5-5-5: 248 - 20 = 228 each
        {0xFFFF, {0xF800, 0x07E0, 0x001F}, 0xE75C},  // 5-6-5 bit fields
        {0x0000, {0x7C00, 0x03E0, 0x001F}, 0x0000},
    };
    for (const auto& r : rows) {
        uint8_t pixel[4] = {static_cast<uint8_t>(r.in), static_cast<uint8_t>(r.in >> 8), 0x55,
                            0x55};
        imageops::ApplyToRows(imageops::BrightnessTables(-10), pixel, 4, 1, 1, 16, r.masks);
        EXPECT_EQ(pixel[0] | pixel[1] << 8, r.out) << std::hex << r.in;
        EXPECT_EQ(pixel[2], 0x55) << "row padding";
    }
}

TEST(ToneTables, RowsOfEveryTrueColourDepthFollowTheirTables) {
    const ToneTables tables[] = {imageops::BrightnessTables(-30),
                                 imageops::ColorBalanceTables(100, -100, 7),
                                 imageops::ContrastTables(40), imageops::ContrastTables(-70)};
    for (const int bits : {24, 32})
        for (const ToneTables& t : tables) {
            const Dib dib = NoisyPicture(37, 3, bits, 11);
            std::vector<uint8_t> rows = dib.rows;
            const size_t stride = rows.size() / 3;
            imageops::ApplyToRows(t, rows.data(), stride, 37, 3, bits, nullptr);
            // Blue, green, red change by their tables; a fourth byte and the padding do not.
            const std::array<uint8_t, 256>* channel[] = {&t.blue, &t.green, &t.red, nullptr};
            int wrong = 0;
            for (size_t i = 0; i < rows.size(); ++i) {
                const size_t x = i % stride;
                const auto* table = x < 37u * bits / 8 ? channel[x % (bits / 8)] : nullptr;
                wrong += rows[i] != (table ? (*table)[dib.rows[i]] : dib.rows[i]);
            }
            EXPECT_EQ(wrong, 0) << bits << " bits";
        }
}

TEST(Tone, TrueColourPixelsChangeAndTheWindowShowsIt) {
    Sited s;
    const oracle::RgbImage before = testsupport::TestPattern(37, 23);
    Load(s, before);
    s.site.Paint();
    s.ctrl.CallMethod("ColorBalance",
                      std::vector{Variant::I2(10), Variant::I2(0), Variant::I2(-10)});
    const oracle::RgbImage after = ReadPicture(s.ctrl);
    int wrong = 0;
    for (size_t i = 0; i < before.rgb.size(); ++i) {
        const int shift = i % 3 == 0 ? 20 : i % 3 == 2 ? -20 : 0;
        wrong += after.rgb[i] != std::clamp(before.rgb[i] + shift, 0, 255);
    }
    EXPECT_EQ(wrong, 0);
    s.site.Paint();
    const uint8_t* p = after.pixel(3, 4);
    EXPECT_EQ(s.site.Pixel(3, 4), RGB(p[0], p[1], p[2])) << "the paint shows the new colours";
}

TEST(Tone, PalettedPictureKeepsIndicesAndChangesItsColours) {
    Sited s;
    const Dib original = NoisyPicture(9, 4, 8, 5);
    Load(s, original);
    PALETTEENTRY first{};
    platform::GetPaletteEntries(s.ctrl.Image().palette, 0, 1, &first);
    s.ctrl.Brightness(-10);
    const Dib after = ReadBitmap(s.ctrl, 8);
    EXPECT_EQ(after.rows, original.rows);
    for (int i = 0; i < 256; i += 51) {
        EXPECT_EQ(after.colors[i].rgbRed, std::max(original.colors[i].rgbRed - 20, 0)) << i;
        EXPECT_EQ(after.colors[i].rgbBlue, std::max(original.colors[i].rgbBlue - 20, 0)) << i;
    }
    PALETTEENTRY now{};
    platform::GetPaletteEntries(s.ctrl.Image().palette, 0, 1, &now);
    EXPECT_EQ(now.peGreen, std::max(first.peGreen - 20, 0));
}

TEST(Tone, StockPaletteOfBlankBitmapStaysUntouched) {
    const HPALETTE stock = platform::GetStockObject(platform::DEFAULT_PALETTE);
    PALETTEENTRY before[20]{}, after[20]{};
    platform::GetPaletteEntries(stock, 0, 20, before);
    Sited s;
    s.ctrl.CreateBitmap(Variant::I2(4), Variant::I2(3));
    s.ctrl.Brightness(50);
    platform::GetPaletteEntries(stock, 0, 20, after);
    EXPECT_EQ(0, std::memcmp(before, after, sizeof before));
    PALETTEENTRY own{};
    platform::GetPaletteEntries(s.ctrl.Image().palette, 0, 1, &own);
    EXPECT_EQ(own.peRed, std::min(before[0].peRed + 100, 255));
    // Without a picture nothing happens and nothing is raised.
    Sited none;
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { none.ctrl.Brightness(5); }, [&] { none.ctrl.Contrast(5); },
             [&] { none.ctrl.ColorBalance(1, 2, 3); }})
        EXPECT_EQ(ErrorOf(call).first, 0);
}

}  // namespace
