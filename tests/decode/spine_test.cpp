// The decode area, colour reduction, bitmap construction and the loader dispatch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "decode/build_dib.h"
#include "decode/byte_reader.h"
#include "decode/loader.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"
#include "platform/os/handles.h"
#include "support/env_override.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace fs = std::filesystem;
using namespace decode;
using testsupport::Bytes;

namespace {

// A decode area holding a picture, as a reader leaves it.
DecodedImage MakeImage(int width, int height, int bits) {
    DecodedImage img;
    img.header.biWidth = width;
    img.header.biHeight = height;
    img.header.biBitCount = static_cast<uint16_t>(bits);
    img.rowStride = InitDibHeader(img);
    EXPECT_EQ(AllocatePixels(img), 0);
    return img;
}

void SetRgb(DecodedImage& img, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = img.row(y) + 3 * x;
    p[0] = b, p[1] = g, p[2] = r;
}

uint8_t Nibble(const uint8_t* row, int x) {
    return x & 1 ? row[x / 2] & 15 : row[x / 2] >> 4;
}

class DisplayDepth : public ::testing::Test {
  protected:
    void TearDown() override { platform::SetDisplayDepth(32); }
};

// The classic smallest GIF: 1 x 1, a two-colour table, pixel index 0.
const std::vector<uint8_t> kTinyGif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01,
                                       0x00, 0x80, 0x00, 0x00, 0x12, 0x34, 0x56, 0x00, 0x00,
                                       0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                       0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};

// A 2 x 1 24-bit bitmap: blue then red.
std::vector<uint8_t> TinyBmp() {
    std::vector<uint8_t> b(54 + 8, 0);
    b[0] = 'B', b[1] = 'M';
    b[2] = static_cast<uint8_t>(b.size());
    b[10] = 54;
    b[14] = 40;
    b[18] = 2;
    b[22] = 1;
    b[26] = 1;
    b[28] = 24;
    const uint8_t px[] = {255, 0, 0, 0, 0, 255};
    std::memcpy(&b[54], px, 6);
    return b;
}

}  // namespace

TEST(DecodeArea, InitDibHeaderNormalisesBitCountAndStride) {
    // Widths 1, 3, 8, 9 for each bit count.
    const struct {
        int bits, normal;
        int strides[4];
    } cases[] = {{1, 1, {4, 4, 4, 4}},      {4, 4, {4, 4, 4, 8}},     {8, 8, {4, 4, 8, 12}},
                 {24, 24, {4, 12, 24, 28}}, {2, 4, {4, 4, 4, 8}},     {5, 8, {4, 4, 8, 12}},
                 {16, 24, {4, 12, 24, 28}}, {32, 24, {4, 12, 24, 28}}};
    const int widths[] = {1, 3, 8, 9};
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) {
            DecodedImage img;
            img.header.biWidth = widths[i];
            img.header.biHeight = 5;
            img.header.biBitCount = static_cast<uint16_t>(c.bits);
            img.header.biClrUsed = 7;
            img.header.biCompression = BI_RLE8;
            img.bitInfo.bmiColors[200] = {1, 2, 3, 4};
            EXPECT_EQ(InitDibHeader(img), c.strides[i]) << c.bits << " bits, width " << widths[i];
            EXPECT_EQ(img.header.biBitCount, c.normal);
            EXPECT_EQ(img.header.biSize, 40u);
            EXPECT_EQ(img.header.biClrUsed, 0u);
            EXPECT_EQ(img.header.biCompression, static_cast<uint32_t>(BI_RGB));
            EXPECT_EQ(img.bitInfo.bmiColors[200].rgbRed, 0);
            EXPECT_EQ(std::memcmp(&img.bitInfo.bmiHeader, &img.header, 40), 0);
        }
    }
}

TEST(DecodeArea, SizesOutsideTheLimitsAreRefusedBeforeAllocating) {
    // A zero width: no reader reaches this test alone, their zero strides stop it first.
    EXPECT_EQ(CheckImageSize(0, 10, 4), kNoMemory);
    EXPECT_EQ(CheckImageSize(20000, 20000, 60000), kNoMemory);  // 1.2 GB of pixels
    const size_t before = platform::CountHandles(platform::HandleKind::Memory);
    DecodedImage img;
    img.header.biWidth = 30000;
    img.header.biHeight = 30000;
    img.header.biBitCount = 24;
    img.rowStride = InitDibHeader(img);
    EXPECT_EQ(AllocatePixels(img), kNoMemory);
    EXPECT_EQ(img.pixelHandle, 0u);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), before);
}

TEST(DecodeArea, ByteOrderHelpers) {
    EXPECT_EQ(SwapWord(0x1234, 1), 0x1234);
    EXPECT_EQ(SwapWord(0x1234, 0), 0x3412);
    EXPECT_EQ(SwapWord(0xABCD1234, 0), 0x3412);  // only the two low bytes survive

    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    ByteReader in(bytes);
    EXPECT_EQ(ReadWord(in, 1), 0x0102);
    EXPECT_EQ(ReadWord(in, 0), 0x0403);
    EXPECT_EQ(ReadWord(in, 0), -1);  // one byte left: end of file
    ByteReader longs(bytes);
    EXPECT_EQ(ReadLong(longs, 1), 0x01020304);
    ByteReader little(bytes);
    EXPECT_EQ(ReadLong(little, 0), 0x04030201);
    // At the end the -1 values enter the sum: 0x05 then three times -1.
    ByteReader tail(std::span<const uint8_t>(bytes + 4, 1));
    EXPECT_EQ(ReadLong(tail, 1), static_cast<int32_t>(0x05u * 16777216u - 65536u - 256u - 1u));
}

TEST(LoaderErrors, EveryCodeHasItsStatusAndMessage) {
    const struct {
        int32_t code;
        uint32_t scode;
        const char* message;
    } table[] = {{-20001, 0x800A4E21, "Could not open file"},
                 {-20002, 0x800A4E22, "Error allocating memory"},
                 {-20003, 0x800A4E23, "Error reading file"},
                 {-20004, 0x800A4E24, "Memory error - bad copy"},
                 {-20005, 0x800A4E25, "Could not create DIB handle"},
                 {-20006, 0x800A4E26, "Error allocating huge memory"},
                 {-20007, 0x800A4E27, "Bad code in GIF file"},
                 {-20008, 0x800A4E28, "Bad first code in GIF file"},
                 {-20009, 0x800A4E29, "Bad bit in GIF file"},
                 {-20010, 0x800A4E2A, "Bad header in file"},
                 {-20011, 0x800A4E2B, "Could not find bitmap in file"},
                 {-20012, 0x800A4E2C, "Could not create palette"},
                 {-20013, 0x800A4E2D, "File type not supported"},
                 {-20014, 0x800A4E2E, "Could not load LMJPEG32.DLL"},
                 {-20015, 0x800A4E2F, "Unsupported TIFF compression method"},
                 {-20016, 0x800A4E30, "Could not load LMPNG32.DLL"},
                 {-20017, 0x800A4E31, "JPG saving not supported"},
                 {-20018, 0x800A4E23, "Error writing to file"},
                 {-20022, 0x800A4E36, "Could not load LMDCM32.DLL"}};
    for (const auto& e : table) {
        const LoaderErrorInfo* info = FindLoaderError(e.code);
        ASSERT_NE(info, nullptr) << e.code;
        EXPECT_EQ(info->scode, e.scode) << e.code;
        EXPECT_STREQ(info->message, e.message);
    }
    for (int32_t silent : {0, -1, -2, -20019, -20020, -20021, -20023, -5})
        EXPECT_EQ(FindLoaderError(silent), nullptr) << silent;
}

TEST(ColourReduction, MedianCutSplitsByPixelCountAndAveragesCells) {
    using testsupport::Rgb;
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
    std::vector<Rgb> sixteen(10, red);  // a row wide enough to be counted sixteen at a time
    sixteen.insert(sixteen.end(), 3, green);
    sixteen.insert(sixteen.end(), 3, blue);
    std::vector<Rgb> flat(16, blue);  // a first row of one cell, then 9 green and 23 red
    flat.insert(flat.end(), 9, green);
    flat.insert(flat.end(), 23, red);
    std::vector<Rgb> cells;  // distinct 4-bit cells along a row
    for (int x = 0; x < 20; ++x)
        cells.push_back({static_cast<uint8_t>(x * 16 % 256), uint8_t(x >= 16 ? 128 : 0), 0});
    const struct {
        std::vector<Rgb> pixels;
        int height, wanted, found;
        Bytes palette;  // the first entries when checked; the rest up to `wanted` are black
    } kCases[] = {
        // Box 0 splits on red: the blue cell (red 0) stays, the red cell moves to box 1.
        {{red, red, red, blue}, 1, 4, 2, {0, 0, 240, 240, 0, 0}},
        // Sorted on red: blue and green (6 pixels) stay below the half of 16, red moves.
        {sixteen, 1, 2, 2, {0, 120, 120, 240, 0, 0}},
        // Green (9) and blue (16) together pass the half of 48 by one: blue goes up with red.
        {flat, 3, 2, 2, {0, 240, 0, 120, 0, 120}},
        // One colour over three rows: its cell's corner.
        {std::vector<Rgb>(15, {0x37, 0x9A, 0xFF}), 3, 256, 1, {0x30, 0x90, 0xF0}},
        {cells, 1, 16, 16, {}},
        {{cells.begin(), cells.begin() + 3}, 1, 256, 3, {}},
        {{cells.begin(), cells.begin() + 5}, 1, 2, 2, {}},
    };
    for (const auto& c : kCases) {
        const int width = static_cast<int>(c.pixels.size()) / c.height;
        DecodedImage img = MakeImage(width, c.height, 24);
        for (size_t i = 0; i < c.pixels.size(); ++i)
            SetRgb(img, i % width, i / width, c.pixels[i][0], c.pixels[i][1], c.pixels[i][2]);
        img.rgbPalette.fill(99);
        int32_t wanted = c.wanted;
        ASSERT_EQ(MedianCutPalette(img, wanted), 0);
        EXPECT_EQ(wanted, c.found) << c.pixels.size() << " pixels, " << c.wanted << " wanted";
        if (!c.palette.empty()) {
            // Entries up to the count asked for are written, the rest left alone.
            Bytes want(768, 99);
            std::fill_n(want.begin(), 3 * c.wanted, 0);
            std::copy(c.palette.begin(), c.palette.end(), want.begin());
            EXPECT_EQ(Bytes(img.rgbPalette.begin(), img.rgbPalette.end()), want);
        }
        ReleasePixels(img);
    }
}

TEST(ColourReduction, OrderedDitherThresholdsAndNibbles) {
    // Width 9 (odd), 24-bit: white, black, and grey 128 against the threshold matrix.
    DecodedImage img = MakeImage(9, 8, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 9; ++x)
            SetRgb(img, x, y, 128, 128, 128);
    SetRgb(img, 0, 0, 255, 255, 255);
    SetRgb(img, 2, 0, 0, 0, 0);
    SetRgb(img, 4, 0, 255, 0, 0);  // matrix 2: red only
    ASSERT_EQ(OrderedDither(img), 0);
    EXPECT_EQ(img.header.biBitCount, 4);
    EXPECT_EQ(img.builtBitCount, 4);
    EXPECT_EQ(img.rowStride, 8);
    // Grey 128 against 4 x the matrix entry: 4 x 32 is not above it, 4 x 40 and 4 x 34 are,
    // 4 x 10 is below; x 8 wraps to matrix column 0; row 7: 4 x 31 below, 4 x 63 above.
    const struct {
        int x, y, nibble;
    } kPixels[] = {{0, 0, 7}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 1},
                   {5, 0, 0}, {6, 0, 7}, {8, 0, 7}, {1, 7, 7}, {0, 7, 0}};
    for (const auto& p : kPixels)
        EXPECT_EQ(Nibble(img.row(p.y), p.x), p.nibble) << p.x << "," << p.y;
    EXPECT_EQ(img.row(0)[4] & 15, 0);  // the odd width leaves the last low nibble 0
    const uint8_t eight[] = {0, 0, 0,   255, 0, 0,   0, 255, 0,   255, 255, 0,
                             0, 0, 255, 255, 0, 255, 0, 255, 255, 255, 255, 255};
    EXPECT_EQ(std::memcmp(img.rgbPalette.data(), eight, sizeof eight), 0);
    ReleasePixels(img);
}

TEST(ColourReduction, OrderedDitherReadsIndexedPixelsThroughThePalette) {
    DecodedImage img = MakeImage(3, 1, 4);
    img.rgbPalette[3 * 2 + 1] = 255;  // entry 2 green
    img.rgbPalette[3 * 5 + 2] = 255;  // entry 5 blue
    img.row(0)[0] = 0x25;
    img.row(0)[1] = 0x20;
    ASSERT_EQ(OrderedDither(img), 0);
    EXPECT_EQ(Nibble(img.row(0), 0), 2);
    EXPECT_EQ(Nibble(img.row(0), 1), 4);
    EXPECT_EQ(Nibble(img.row(0), 2), 2);
    ReleasePixels(img);
}

// What BuildDib made, deleted with the object.
struct Built {
    Built(DecodedImage& picture, uint16_t dither)
        : img(picture), dc(platform::GetDC(0)), bmp(BuildDib(img, dc, dither)) {}
    ~Built() {
        for (HGDIOBJ o : {HGDIOBJ(bmp), HGDIOBJ(img.paletteHandle), HGDIOBJ(img.maskBitmap)})
            if (o) platform::DeleteObject(o);
        platform::ReleaseDC(0, dc);
    }
    // A pixel of the bitmap (or of the mask) through a memory DC.
    COLORREF pixel(HBITMAP which, int x, int y) const {
        HDC mem = platform::CreateCompatibleDC(dc);
        HGDIOBJ old = platform::SelectObject(mem, which);
        const COLORREF c = platform::GetPixel(mem, x, y);
        platform::SelectObject(mem, old);
        platform::DeleteDC(mem);
        return c;
    }
    DecodedImage& img;
    HDC dc;
    HBITMAP bmp;
};

TEST_F(DisplayDepth, BuildDibDithersOnlyWhereAsked) {
    // One-bit pictures are never dithered; 8 bits on true colour only with "dither extra
    // colours"; 24 bits on a palette display only with "dither always" (else a palette is made).
    const struct {
        int bits, display, dither, built;
    } kCases[] = {{1, 32, 0, 1}, {1, 32, 1, 1},   {1, 32, 2, 1},  {8, 32, 2, 8}, {8, 32, 1, 4},
                  {8, 8, 2, 8},  {24, 32, 2, 24}, {24, 8, 0, 24}, {24, 8, 2, 4}};
    for (const auto& c : kCases) {
        ASSERT_TRUE(platform::SetDisplayDepth(c.display));
        DecodedImage img = MakeImage(16, 4, c.bits);
        Built b(img, static_cast<uint16_t>(c.dither));
        ASSERT_NE(b.bmp, 0u) << c.bits << " bits, dither " << c.dither;
        EXPECT_EQ(img.builtBitCount, c.built) << c.bits << " bits, dither " << c.dither;
        EXPECT_EQ(img.pixelHandle, 0u);
        EXPECT_EQ(img.paletteHandle != 0, c.bits <= 8 || c.display <= 8);
        BITMAP bm{};
        platform::GetObject(b.bmp, sizeof bm, &bm);
        EXPECT_EQ(bm.bmBitsPixel, c.built) << c.bits << " bits, dither " << c.dither;
    }
}

TEST_F(DisplayDepth, BuildDibKeepsThePictureColours) {
    DecodedImage one = MakeImage(10, 2, 1);
    one.rgbPalette[3] = one.rgbPalette[4] = one.rgbPalette[5] = 255;
    one.row(0)[0] = 0x80;
    Built b1(one, 2);
    PALETTEENTRY e[3]{};
    EXPECT_EQ(platform::GetPaletteEntries(one.paletteHandle, 0, 3, e), 2u);
    EXPECT_EQ(b1.pixel(b1.bmp, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(b1.pixel(b1.bmp, 1, 0), RGB(0, 0, 0));

    DecodedImage eight = MakeImage(4, 4, 8);
    eight.rgbPalette[3 * 7] = 200;
    eight.row(0)[0] = 7;
    Built b8(eight, 2);
    BITMAPINFO info{};
    info.bmiHeader.biSize = 40;
    // The first call fills the header, the second the colours.
    for (int call = 0; call < 2; ++call)
        EXPECT_GT(platform::GetDIBits(b8.dc, b8.bmp, 0, 4, nullptr, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(info.bmiColors[7].rgbRed, 200);
    uint16_t count = 0;
    platform::GetObject(eight.paletteHandle, sizeof count, &count);
    EXPECT_EQ(count, 256);
}

TEST_F(DisplayDepth, BuildDibMakesAMaskOfTheTransparentIndex) {
    DecodedImage img = MakeImage(3, 2, 8);
    img.transparentIndex = 5;
    img.row(0)[1] = 5;
    img.row(1)[2] = 5;
    const size_t blocks = platform::CountHandles(platform::HandleKind::Memory) - 1;
    Built b(img, 0);
    ASSERT_NE(b.bmp, 0u);
    ASSERT_NE(img.maskBitmap, 0u);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), blocks);  // pixel block freed
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const bool transparent = (x == 1 && y == 0) || (x == 2 && y == 1);
            EXPECT_EQ(b.pixel(img.maskBitmap, x, y),
                      transparent ? RGB(255, 255, 255) : RGB(0, 0, 0))
                << x << "," << y;
        }
}

TEST(LoaderDispatch, ExtensionRules) {
    EXPECT_EQ(DispatchExtension("photo.JPG"), "jpg");
    EXPECT_EQ(DispatchExtension("/a/b/photo.jpeg"), "jpe");
    EXPECT_EQ(DispatchExtension("scan.tiff"), "tif");
    EXPECT_EQ(DispatchExtension("/data/my.dir/picture"), "dir");
    EXPECT_EQ(DispatchExtension("/data/picture"), "");
    EXPECT_EQ(DispatchExtension("a.gi"), "gi");
}

// Each row writes a file under its name (none when the bytes are empty) and loads it.
struct Dispatch {
    const char* name;
    Bytes bytes;
    std::optional<int32_t> rc;
    const char* format = nullptr;
    bool withoutModules = false;
};

TEST(LoaderDispatch, ExtensionFirstThenContentThenTheModules) {
    const std::string words = "just some words\n";
    const Bytes text(words.begin(), words.end());
    const Dispatch kCases[] = {
        {"x.dat", kTinyGif, 0, "gif"},
        // The GIF reader fails first; its code is discarded once the BMP reader succeeds.
        {"y.dat", TinyBmp(), 0, "bmp"},
        {"z.dat", text, kUnsupported},
        {"a.gi", text, kUnsupported},
        {"frame.GIF", kTinyGif, 0, "gif"},  // upper case: lower-cased first
        {"icon.ico", {0, 0, 1, 0}, kIconSignal},
        {"arrow.cur", {0, 0, 2, 0}, kIconSignal},
        {"clip.wmf", {1}, kMetafileSignal},
        {"clip.emf", {1}, kEnhMetafileSignal},
        {"scan.psd", {1}, std::nullopt, "eps"},
        // A BMP under .gif goes to the GIF reader, which refuses it: the extension decides.
        {"wrong.gif", TinyBmp(), kBadHeader},
        {"absent.xyz", {}, kCouldNotOpen},
        {"absent.bmp", {}, kCouldNotOpen},
        // Modules open the file by the name as given: a lower-cased copy would not open.
        {"Mixed Case/Logo.PNG",
         testsupport::ReadBytes((testsupport::SourceDir() / "samples" / "logo.png").string()), 0,
         "png"},
        {"photo.dat", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}, kNoJpegModule, nullptr, true},
        {"photo.JPG", {1, 2, 3}, kNoJpegModule, nullptr, true},
        {"p.png", {1}, kNoPngModule, nullptr, true},
        {"s.dcm", {1}, kNoDicomModule, nullptr, true},
    };
    testsupport::TempDir dir;
    fs::create_directories(dir.path("Mixed Case"));
    const std::string noModules = dir.path("no_codecs");
    fs::create_directories(noModules);
    for (const Dispatch& c : kCases) {
        const std::string path = dir.path(c.name);
        if (!c.bytes.empty()) testsupport::WriteBytes(path, c.bytes);
        std::optional<testsupport::EnvOverride> env;
        if (c.withoutModules) env.emplace("LUMORA_CODEC_PATH", noModules);
        const testsupport::FileLoad load = testsupport::LoadFile(path);
        EXPECT_EQ(c.rc.value_or(load.rc), load.rc) << c.name;
        EXPECT_EQ(c.format ? c.format : load.format, load.format) << c.name;
        EXPECT_EQ(load.picture.width > 0, load.rc == 0) << c.name;
    }
}
