// Icon and cursor files: the header and directory rules, every image depth and PNG images
// compared with ImageMagick's decode, the public samples, and loads through the control.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "control/control_fixture.h"
#include "decode/readers.h"
#include "platform/gdi/gdi.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/picture.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

namespace fs = std::filesystem;
using platform::HICON;
using testsupport::Bytes;

void Put16(Bytes& out, uint32_t v) {
    testsupport::PutLe(out, v, 2);
}
void Put32(Bytes& out, uint32_t v) {
    testsupport::PutLe(out, v, 4);
}

// A pixel of a hand-made image: colour, and whether the AND mask is set (transparent).
struct Texel {
    uint8_t r, g, b, a;  // a: alpha for 32-bit images, else 255 opaque / 0 masked
};
using Pattern = std::function<Texel(int x, int y)>;

// A DIB icon image of the given depth: header with double height, colour table, colour rows,
// AND rows, all bottom-up. Indexed depths get a palette in which entry i is PaletteColour(i).
Texel PaletteColour(int i) {
    if (i == 0) return Texel{0, 0, 0, 255};  // masked pixels use it, so the background shows
    return Texel{static_cast<uint8_t>(40 * i + 10), static_cast<uint8_t>(200 - 12 * i),
                 static_cast<uint8_t>(17 * i), 255};
}

Bytes DibImage(int bits, int width, int height, const std::function<int(int, int)>& index,
               const Pattern& direct, const std::function<bool(int, int)>& masked) {
    Bytes out;
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height * 2));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i) {
            const Texel c = PaletteColour(i);
            out.insert(out.end(), {c.b, c.g, c.r, 0});
        }
    }
    const size_t stride = static_cast<size_t>((width * bits + 31) / 32) * 4;
    const size_t maskStride = static_cast<size_t>((width + 31) / 32) * 4;
    const size_t colourAt = out.size();
    out.resize(colourAt + (stride + maskStride) * height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data() + colourAt + stride * (height - 1 - y);
        uint8_t* mask = out.data() + colourAt + stride * height + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            if (bits <= 8) {
                const int v = index(x, y);
                const int bit = x * bits;
                row[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
            } else {
                const Texel t = direct(x, y);
                uint8_t* p = row + x * (bits / 8);
                p[0] = t.b;
                p[1] = t.g;
                p[2] = t.r;
                if (bits == 32) p[3] = t.a;
            }
            if (masked(x, y)) mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return out;
}

// An icon (type 1) or cursor (type 2) file of the given images, in order.
Bytes IconFile(const std::vector<Bytes>& images, uint16_t type = 1, uint16_t reserved = 0) {
    Bytes out;
    Put16(out, reserved);
    Put16(out, type);
    Put16(out, static_cast<uint32_t>(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (const Bytes& image : images) {
        const uint32_t width = image.size() >= 8 ? image[4] : 0;
        out.insert(out.end(), {static_cast<uint8_t>(width), static_cast<uint8_t>(width), 0, 0});
        Put16(out, type == 2 ? 3 : 1);  // a cursor's hot spot x, else planes
        Put16(out, type == 2 ? 4 : 32);
        Put32(out, static_cast<uint32_t>(image.size()));
        Put32(out, static_cast<uint32_t>(offset));
        offset += image.size();
    }
    for (const Bytes& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

// The standard pattern of the hand-made images: 7 x 5 (an odd width, so rows are padded), a
// masked left column and top-right corner.
bool StandardMask(int x, int y) {
    return x == 0 || (x == 6 && y == 0);
}
Bytes StandardImage(int bits) {
    const int colours = bits <= 8 ? 1 << bits : 0;
    return DibImage(
        bits, 7, 5,
        [&](int x, int y) { return StandardMask(x, y) ? 0 : (x + 2 * y + 1) % colours; },
        [&](int x, int y) {
            const bool masked = StandardMask(x, y);
            return Texel{static_cast<uint8_t>(masked ? 0 : 30 * x + 5),
                         static_cast<uint8_t>(masked ? 0 : 50 * y + 3),
                         static_cast<uint8_t>(masked ? 0 : 99),
                         static_cast<uint8_t>(masked ? 0 : 255)};
        },
        [&](int x, int y) { return bits != 32 && StandardMask(x, y); });
}

// The icon drawn at its own size on a 32-bit surface filled with one colour, read back.
struct Rendered {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Rendered Render(HICON icon, COLORREF background) {
    Rendered out;
    if (!platform::GetIconSize(icon, &out.width, &out.height)) return out;
    const HDC dc = platform::CreateCompatibleDC(0);
    BITMAPINFO info{};
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = out.width;
    info.bmiHeader.biHeight = -out.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HBITMAP bitmap = platform::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits);
    const HGDIOBJ previous = platform::SelectObject(dc, bitmap);
    auto* words = static_cast<uint32_t*>(bits);
    const size_t count = static_cast<size_t>(out.width) * out.height;
    const uint32_t fill = static_cast<uint32_t>(GetRValue(background)) << 16 |
                          GetGValue(background) << 8 | GetBValue(background);
    std::fill(words, words + count, fill);
    EXPECT_TRUE(platform::DrawIconEx(dc, 0, 0, icon, 0, 0, 0, 0, platform::DI_NORMAL));
    for (size_t i = 0; i < count; ++i)
        out.pixels.push_back(RGB(words[i] >> 16 & 0xFF, words[i] >> 8 & 0xFF, words[i] & 0xFF));
    platform::SelectObject(dc, previous);
    platform::DeleteObject(bitmap);
    platform::DeleteDC(dc);
    return out;
}

// Compares the icon with ImageMagick's decode of the file's first image. Drawn once on black
// and once on white: where the mask is set (or alpha is 0) the two differ, which is what the
// oracle's alpha 0 must match; opaque pixels must equal the oracle's colour on both; partial
// alpha must blend to the oracle's colour over black.
std::string CompareWithImageMagick(HICON icon, const std::string& path) {
    const auto frames = oracle::ImageMagickFrames(path, 0);
    if (frames.empty()) return "ImageMagick could not read " + path;
    const oracle::RgbImage& want = frames[0];
    const Rendered black = Render(icon, RGB(0, 0, 0));
    const Rendered white = Render(icon, RGB(255, 255, 255));
    if (black.width != want.width || black.height != want.height)
        return "size " + std::to_string(black.width) + "x" + std::to_string(black.height) +
               " against " + std::to_string(want.width) + "x" + std::to_string(want.height);
    int bad = 0;
    std::string first;
    for (int y = 0; y < want.height; ++y) {
        for (int x = 0; x < want.width; ++x) {
            const uint8_t* p = want.pixel(x, y);
            const int a =
                want.alpha.empty() ? 255 : want.alpha[static_cast<size_t>(y) * want.width + x];
            const COLORREF b = black.at(x, y);
            const COLORREF w = white.at(x, y);
            bool ok;
            if (a == 255) {
                ok = b == w && std::abs(GetRValue(b) - p[0]) <= 1 &&
                     std::abs(GetGValue(b) - p[1]) <= 1 && std::abs(GetBValue(b) - p[2]) <= 1;
            } else if (a == 0) {
                ok = b != w;
            } else {
                auto over = [a](int c) { return (c * a + 127) / 255; };
                ok = std::abs(GetRValue(b) - over(p[0])) <= 2 &&
                     std::abs(GetGValue(b) - over(p[1])) <= 2 &&
                     std::abs(GetBValue(b) - over(p[2])) <= 2;
            }
            if (!ok && bad++ == 0)
                first = "first difference at " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    return bad ? std::to_string(bad) + " pixels differ; " + first : "";
}

struct IconResult {
    decode::DecodedImage img;
    HICON icon = 0;
    ~IconResult() {
        if (icon) platform::DestroyIcon(icon);
    }
};

std::unique_ptr<IconResult> ReadFile(const std::string& path) {
    auto r = std::make_unique<IconResult>();
    r->img.imageWidth = 77;  // what a failure must leave alone
    r->img.imageHeight = 66;
    r->icon = decode::ReadIcon(r->img, path);
    return r;
}

TEST(IconFile, EveryDepthMatchesImageMagickWithItsMask) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick absent";
    testsupport::TempDir dir;
    for (int bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::string path = dir.path("d" + std::to_string(bits) + ".ico");
        testsupport::WriteBytes(path, IconFile({StandardImage(bits)}));
        auto r = ReadFile(path);
        ASSERT_NE(r->icon, 0u);
        EXPECT_EQ(r->img.imageWidth, 7);
        EXPECT_EQ(r->img.imageHeight, 5);
        EXPECT_EQ(CompareWithImageMagick(r->icon, path), "");
        // The masked corner keeps the background; an opaque pixel shows its colour.
        const Rendered on = Render(r->icon, RGB(1, 2, 3));
        EXPECT_EQ(on.at(6, 0), RGB(1, 2, 3));
        EXPECT_EQ(on.at(0, 4), RGB(1, 2, 3));
        const Texel ink = bits > 8 ? Texel{65, 53, 99, 255} : PaletteColour(5 % (1 << bits));
        EXPECT_EQ(on.at(2, 1), RGB(ink.r, ink.g, ink.b));
    }
}

TEST(IconFile, IconsMadeByImageMagickMatchItsDecode) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick absent";
    testsupport::TempDir dir;
    // ImageMagick writes 1-bit images for two colours, 8-bit for a palette, 32-bit with alpha
    // for transparency, and PNG for 256 x 256.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"two.ico", "-size 16x16 pattern:checkerboard -colors 2 -type palette"},
        {"palette.ico", "-size 24x24 gradient:red-blue -colors 40 -type palette"},
        {"alpha.ico",
         "-size 32x32 xc:none -fill '#c04020' -draw 'circle 16,16 16,4' "
         "-fill '#2040c080' -draw 'rectangle 0,0 10,31'"},
        {"large.ico",
         "-size 256x256 xc:none -fill '#10a040' -draw 'circle 128,128 128,20' "
         "-define icon:auto-resize=256"},
    };
    for (const auto& [name, args] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.path(name);
        ASSERT_TRUE(oracle::RunCommand("convert " + args + " " + oracle::ShellQuote(path)));
        auto r = ReadFile(path);
        ASSERT_NE(r->icon, 0u);
        EXPECT_EQ(CompareWithImageMagick(r->icon, path), "");
    }
    // The 256 x 256 image is a PNG: its size comes from the PNG header.
    auto large = ReadFile(dir.path("large.ico"));
    const Bytes bytes = testsupport::ReadBytes(dir.path("large.ico"));
    ASSERT_GT(bytes.size(), 30u);
    EXPECT_EQ(bytes[22], 0x89);
    EXPECT_EQ(large->img.imageWidth, 256);
    EXPECT_EQ(large->img.imageHeight, 256);
}

TEST(IconFile, PngImagesNeedTheCodecModule) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick absent";
    testsupport::TempDir dir;
    const std::string path = dir.path("big.ico");
    ASSERT_TRUE(
        oracle::RunCommand("convert -size 256x256 gradient:red-blue " + oracle::ShellQuote(path)));
    fs::create_directories(dir.path("none"));
    const char* saved = std::getenv("LUMORA_CODEC_PATH");
    const std::string keep = saved ? saved : "";
    setenv("LUMORA_CODEC_PATH", dir.path("none").c_str(), 1);
    auto without = ReadFile(path);
    if (saved)
        setenv("LUMORA_CODEC_PATH", keep.c_str(), 1);
    else
        unsetenv("LUMORA_CODEC_PATH");
    EXPECT_EQ(without->icon, 0u);
    EXPECT_EQ(without->img.imageWidth, 77);
    auto with = ReadFile(path);
    EXPECT_NE(with->icon, 0u);

    // A damaged PNG image, and one too large for an icon, give no icon.
    Bytes damaged = testsupport::ReadBytes(path);
    damaged.resize(damaged.size() - 200);
    Put32(damaged, 0);
    // Directory size follows the cut so the entry itself stays in the file.
    const uint32_t size = static_cast<uint32_t>(damaged.size() - 22);
    for (int i = 0; i < 4; ++i)
        damaged[14 + i] = static_cast<uint8_t>(size >> (8 * i));
    testsupport::WriteBytes(dir.path("damaged.ico"), damaged);
    EXPECT_EQ(ReadFile(dir.path("damaged.ico"))->icon, 0u);
    const std::string huge = dir.path("huge.png");
    ASSERT_TRUE(oracle::RunCommand("convert -size 1100x4 xc:red " + oracle::ShellQuote(huge)));
    const Bytes png = testsupport::ReadBytes(huge);
    testsupport::WriteBytes(dir.path("huge.ico"), IconFile({png}));
    EXPECT_EQ(ReadFile(dir.path("huge.ico"))->icon, 0u);
}

TEST(IconFile, HeaderAndDirectoryRules) {
    testsupport::TempDir dir;
    auto read = [&](const Bytes& bytes) {
        testsupport::WriteBytes(dir.path("x.ico"), bytes);
        return ReadFile(dir.path("x.ico"));
    };
    const Bytes good = IconFile({StandardImage(8)});
    EXPECT_NE(read(good)->icon, 0u);

    // The first of three images, whatever the others are.
    const Bytes three = IconFile(
        {DibImage(
             4, 3, 9, [](int x, int) { return x; }, nullptr, [](int, int) { return false; }),
         StandardImage(24), StandardImage(32)});
    auto first = read(three);
    ASSERT_NE(first->icon, 0u);
    EXPECT_EQ(first->img.imageWidth, 3);
    EXPECT_EQ(first->img.imageHeight, 9);
    EXPECT_EQ(Render(first->icon, 0).at(2, 4), RGB(90, 176, 34));  // palette entry 2

    // A cursor is read as an icon of its image.
    auto cursor = read(IconFile({StandardImage(24)}, 2));
    ASSERT_NE(cursor->icon, 0u);
    EXPECT_EQ(cursor->img.imageWidth, 7);

    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> refused = {
        {"reserved 1", IconFile({StandardImage(8)}, 1, 1)},
        {"type 3", IconFile({StandardImage(8)}, 3)},
        {"type 0", IconFile({StandardImage(8)}, 0)},
        {"empty file", {}},
        {"header cut", {0, 0, 1}},
        {"no images", {0, 0, 1, 0, 0, 0}},
        {"directory cut", Bytes(good.begin(), good.begin() + 21)},
        {"image cut", Bytes(good.begin(), good.end() - 1)},
        {"image shorter than its header", IconFile({Bytes(20, 0)})},
        {"image rows missing",
         [&] {
             Bytes b = StandardImage(24);
             b.resize(60);
             return IconFile({b});
         }()},
        {"zero width",
         IconFile({DibImage(
             8, 0, 4, [](int, int) { return 0; }, nullptr, [](int, int) { return false; })})},
    };
    // Whole directory: a count of 5 with only one entry present.
    Bytes shortDirectory = good;
    shortDirectory[4] = 0xFF;
    shortDirectory[5] = 0xFF;
    refused.push_back({"directory shorter than its count", shortDirectory});
    Bytes farOffset = good;
    farOffset[18] = 0xFF;
    farOffset[21] = 0x7F;
    refused.push_back({"offset past the end", farOffset});
    Bytes longSize = good;
    longSize[17] = 0xF0;
    refused.push_back({"size past the end", longSize});
    Bytes wrapping = good;
    for (int i = 14; i < 18; ++i)
        wrapping[i] = 0xFF;  // offset + size wraps around 32 bits
    refused.push_back({"size wrapping", wrapping});
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        auto r = read(c.bytes);
        EXPECT_EQ(r->icon, 0u);
        // Only a refusal before the icon is made leaves the size alone.
        const std::string what = c.what;
        if (what != "zero width" && what != "image rows missing") {
            EXPECT_EQ(r->img.imageWidth, 77);
            EXPECT_EQ(r->img.imageHeight, 66);
        }
    }
    auto missing = ReadFile(dir.path("absent.ico"));
    EXPECT_EQ(missing->icon, 0u);
    EXPECT_EQ(missing->img.imageWidth, 77);
}

TEST(IconFile, PublicSamplesMatchImageMagick) {
    std::vector<fs::path> files;
    for (const char* folder : {"ico", "cur"}) {
        const fs::path d = testsupport::TestData() / folder;
        std::error_code ec;
        if (!fs::is_directory(d, ec)) continue;
        for (const auto& e : fs::directory_iterator(d))
            files.push_back(e.path());
    }
    if (files.empty()) GTEST_SKIP() << "public samples absent (../shared/testdata/ico, cur)";
    const bool oracleHere = oracle::ToolAvailable("convert");
    int windowsFiles = 0, loaded = 0, compared = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        // Many old .ICO files are OS/2 bitmap arrays ("BA", "CI"), which are not icon files.
        const Bytes bytes = testsupport::ReadBytes(path.string());
        windowsFiles += bytes.size() >= 4 && bytes[0] == 0 && bytes[1] == 0 && bytes[3] == 0 &&
                        (bytes[2] == 1 || bytes[2] == 2);
        auto r = ReadFile(path.string());
        if (!r->icon) continue;
        ++loaded;
        EXPECT_GT(r->img.imageWidth, 0);
        // ImageMagick reads the colour rows of an image with a larger-than-40-byte header from
        // the wrong place; such images are checked by the depth tests instead.
        const uint32_t first = bytes[18] | bytes[19] << 8 | bytes[20] << 16 | bytes[21] << 24;
        if (!oracleHere || (first + 1 < bytes.size() && bytes[first] != 40 && bytes[first] != 0x89))
            continue;
        const std::string diff = CompareWithImageMagick(r->icon, path.string());
        if (diff.rfind("ImageMagick could not read", 0) == 0) continue;
        ++compared;
        EXPECT_EQ(diff, "");
    }
    EXPECT_GT(loaded, windowsFiles * 2 / 3);
    if (oracleHere) {
        EXPECT_GT(compared, loaded / 2);
    }
    // The sample whose directory claims more bytes than the file has gives no icon.
    const fs::path bad = testsupport::TestData() / "ico" / "Bad_smile-incorrect-image-length.ico";
    if (fs::exists(bad)) {
        EXPECT_EQ(ReadFile(bad.string())->icon, 0u);
    }
}

// ---- Through the control --------------------------------------------------------------------

using control_test::ExpectControlError;
using control_test::Get;
using control_test::Set;
using control_test::SitedControl;
using platform::Variant;

TEST(IconFile, ControlShowsIconsAndCursors) {
    testsupport::TempDir dir;
    for (const char* name : {"hand.ico", "arrow.cur", "UPPER.ICO"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.path(name);
        const bool cursor = std::string(name).find("cur") != std::string::npos;
        testsupport::WriteBytes(path, IconFile({StandardImage(24)}, cursor ? 2 : 1));
        SitedControl s;
        Set(s.ctrl, "BorderStyle", Variant::I2(0));
        Set(s.ctrl, "Appearance", Variant::I2(0));
        Set(s.ctrl, "BackColor", Variant::I4(RGB(0, 0, 255)));
        Set(s.ctrl, "FileName", Variant::Bstr(path));
        EXPECT_EQ(Get(s.ctrl, "bmpw").AsI2(), 7);
        EXPECT_EQ(Get(s.ctrl, "bmph").AsI2(), 5);
        EXPECT_EQ(Get(s.ctrl, "bmpc").AsI2(), 0);
        ASSERT_EQ(s.ctrl.PictureHolder().GetType(), platform::PICTYPE_ICON);
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(2, 1), RGB(65, 53, 99));
        EXPECT_EQ(s.site.Pixel(0, 0), RGB(0, 0, 255));  // masked: the background shows
    }

    // A file the reader refuses: no picture, 481, size 0.
    SitedControl s;
    const std::string bad = dir.path("bad.ico");
    testsupport::WriteBytes(bad, IconFile({StandardImage(8)}, 3));
    ExpectControlError([&] { Set(s.ctrl, "FileName", Variant::Bstr(bad)); }, 481, "Invalid picture",
                       "type 3");
    EXPECT_EQ(Get(s.ctrl, "bmpw").AsI2(), 0);
    EXPECT_EQ(Get(s.ctrl, "bmph").AsI2(), 0);

    // A public cursor sample through the control.
    const fs::path sample = testsupport::TestData() / "cur" / "deerstalker.cur";
    if (fs::exists(sample)) {
        SitedControl t;
        Set(t.ctrl, "FileName", Variant::Bstr(sample.string()));
        EXPECT_EQ(t.ctrl.PictureHolder().GetType(), platform::PICTYPE_ICON);
        EXPECT_GT(Get(t.ctrl, "bmpw").AsI2(), 0);
    }
}

}  // namespace
