// Icon and cursor files: the header and directory rules, every image depth and PNG images
// compared with ImageMagick's decode, the public samples, and loads through the control.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "control/control_fixture.h"
#include "decode/readers.h"
#include "platform/gdi/gdi.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/picture.h"
#include "support/env_override.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

namespace fs = std::filesystem;
using platform::HICON;
using testsupport::Bytes;
using testsupport::PutLe;

// A DIB icon image (header with double height, colour table, colour rows, AND rows, bottom-up)
// with a masked left column and top-right corner. An odd width pads the rows; 32-bit images
// mask by alpha 0 instead. Palette entry i is {40i + 10, 200 - 12i, 17i}, entry 0 black.
Bytes Image(int bits, int width = 7, int height = 5) {
    Bytes out;
    for (uint32_t v : {40u, uint32_t(width), uint32_t(height) * 2, 1u | uint32_t(bits) << 16})
        PutLe(out, v, 4);
    out.resize(40, 0);
    for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
        out.insert(out.end(), {uint8_t(i ? 17 * i : 0), uint8_t(i ? 200 - 12 * i : 0),
                               uint8_t(i ? 40 * i + 10 : 0), 0});
    const size_t stride = static_cast<size_t>((width * bits + 31) / 32) * 4;
    const size_t maskStride = static_cast<size_t>((width + 31) / 32) * 4;
    const size_t at = out.size();
    out.resize(at + (stride + maskStride) * height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data() + at + stride * (height - 1 - y);
        uint8_t* mask = out.data() + at + stride * height + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const bool masked = x == 0 || (x == width - 1 && y == 0);
            if (bits <= 8) {
                const int v = masked ? 0 : (x + 2 * y + 1) % (1 << bits);
                row[x * bits / 8] |= static_cast<uint8_t>(v << (8 - bits - x * bits % 8));
            } else if (!masked) {
                const uint8_t bgra[] = {99, uint8_t(50 * y + 3), uint8_t(30 * x + 5), 255};
                std::copy_n(bgra, bits / 8, row + x * (bits / 8));
            }
            if (masked && bits != 32) mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return out;
}

// An icon (type 1) or cursor (type 2) file of the given images, in order.
Bytes IconFile(const std::vector<Bytes>& images, uint16_t type = 1, uint16_t reserved = 0) {
    Bytes out;
    for (uint32_t v : {uint32_t{reserved}, uint32_t{type}, uint32_t(images.size())})
        PutLe(out, v, 2);
    size_t offset = 6 + 16 * images.size();
    for (const Bytes& image : images) {
        const bool dib = image.size() >= 12;  // width, and half the DIB's doubled height
        out.insert(out.end(), {uint8_t(dib ? image[4] : 0), uint8_t(dib ? image[8] / 2 : 0), 0, 0});
        PutLe(out, type == 2 ? 0x00040003 : 0x00200001, 4);  // hot spot 3,4, else planes, bits
        PutLe(out, static_cast<uint32_t>(image.size()), 4);
        PutLe(out, static_cast<uint32_t>(offset), 4);
        offset += image.size();
    }
    for (const Bytes& image : images)
        testsupport::Append(out, image);
    return out;
}

// The icon drawn at its own size on a 32-bit surface of one grey level, read back.
oracle::RgbImage Render(HICON icon, uint8_t background) {
    oracle::RgbImage out;
    if (!platform::GetIconSize(icon, &out.width, &out.height)) return out;
    const HDC dc = platform::CreateCompatibleDC(0);
    BITMAPINFO info{};
    info.bmiHeader = {40, out.width, -out.height, 1, 32, 0, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = platform::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits);
    platform::SelectObject(dc, bitmap);
    auto* bgrx = static_cast<uint8_t*>(bits);
    const size_t size = 4 * static_cast<size_t>(out.width) * out.height;
    std::fill(bgrx, bgrx + size, background);
    EXPECT_TRUE(platform::DrawIconEx(dc, 0, 0, icon, 0, 0, 0, 0, platform::DI_NORMAL));
    for (size_t i = 0; i < size; i += 4)
        out.rgb.insert(out.rgb.end(), {bgrx[i + 2], bgrx[i + 1], bgrx[i]});
    platform::DeleteDC(dc);  // first, so the bitmap is no longer selected
    platform::DeleteObject(bitmap);
    return out;
}

// Compares the icon with ImageMagick's decode of the file's first image, drawn on black and on
// white: where the oracle's alpha is 0 the two differ (mask or alpha); opaque pixels equal the
// oracle's colour on both; partial alpha blends to the oracle's colour over black.
std::string CompareWithImageMagick(HICON icon, const std::string& path) {
    const auto frames = oracle::ImageMagickFrames(path, 0);
    if (frames.empty()) return "ImageMagick could not read " + path;
    const oracle::RgbImage& want = frames[0];
    const oracle::RgbImage black = Render(icon, 0), white = Render(icon, 255);
    if (black.width != want.width || black.height != want.height) return "sizes differ";
    int bad = 0;
    for (int i = 0; i < want.width * want.height; ++i) {
        const int a = want.alpha.empty() ? 255 : want.alpha[i];
        const uint8_t *b = &black.rgb[3 * i], *w = &white.rgb[3 * i], *p = &want.rgb[3 * i];
        bool ok = a == 0 ? !std::equal(b, b + 3, w) : a < 255 || std::equal(b, b + 3, w);
        for (int c = 0; c < 3 && a > 0; ++c)
            ok = ok && std::abs(b[c] - (p[c] * a + 127) / 255) <= (a == 255 ? 1 : 2);
        bad += !ok;
    }
    return bad ? std::to_string(bad) + " pixels differ" : "";
}

// The icon made from a file's bytes; a failure leaves the size 77 x 66 alone.
struct Loaded {
    explicit Loaded(const Bytes& file) {
        img.imageWidth = 77, img.imageHeight = 66;
        icon = decode::ReadIconBytes(img, file);
    }
    ~Loaded() {
        if (icon) platform::DestroyIcon(icon);
    }
    decode::DecodedImage img;
    HICON icon = 0;
};

// Every depth, a cursor, a file's first image whatever the images after it, and icons
// ImageMagick wrote: 32-bit with partial alpha, and a PNG image for 256 x 256. The PNG image needs
// the codec module; a damaged one or one too large gives no icon.
TEST(IconFile, ImagesMatchImageMagickWithTheirMasks) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick absent";
    testsupport::TempDir dir;
    auto convert = [&](const std::string& args, const std::string& name) {
        EXPECT_TRUE(
            oracle::RunCommand("convert " + args + " " + oracle::ShellQuote(dir.path(name))));
        return testsupport::ReadBytes(dir.path(name));
    };
    const Bytes large = convert(
        "-size 256x256 xc:none -fill '#10a040' -draw 'circle 128,128 128,20' "
        "-define icon:auto-resize=256",
        "large.ico");
    std::vector<std::pair<std::string, Bytes>> files = {
        {"cursor.cur", IconFile({Image(24)}, 2)},
        {"first.ico", IconFile({Image(4, 3, 9), Image(24), Image(32)})},
        {"alpha.ico", convert("-size 32x32 xc:none -fill '#c04020' -draw 'circle 16,16 16,4' "
                              "-fill '#2040c080' -draw 'rectangle 0,0 10,31'",
                              "alpha.ico")},
        {"large.ico", large}};
    for (int bits : {1, 4, 8, 24, 32})
        files.push_back({"d" + std::to_string(bits) + ".ico", IconFile({Image(bits)})});
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        testsupport::WriteBytes(dir.path(name), bytes);
        Loaded r(bytes);
        ASSERT_NE(r.icon, 0u);
        EXPECT_EQ(CompareWithImageMagick(r.icon, dir.path(name)), "");
    }
    {
        testsupport::EnvOverride noModules("LUMORA_CODEC_PATH", dir.path("none"));
        EXPECT_EQ(Loaded(large).img.imageWidth, 77);
    }
    EXPECT_EQ(Loaded(IconFile({Bytes(large.begin() + 22, large.end() - 200)})).icon, 0u);
    EXPECT_EQ(Loaded(IconFile({convert("-size 1100x4 xc:red", "huge.png")})).icon, 0u);
}

Bytes Patched(Bytes b, std::vector<std::pair<size_t, uint8_t>> changes, size_t size = 0) {
    if (size) b.resize(size);
    for (auto [at, value] : changes)
        b[at] = value;
    return b;
}

TEST(IconFile, HeaderAndDirectoryRules) {
    const Bytes good = IconFile({Image(8)});
    const struct {
        const char* what;
        Bytes bytes;
        bool sizeSet = false;  // refused by the icon object, after the size was taken
    } kRefused[] = {
        {"reserved 1", IconFile({Image(8)}, 1, 1)},
        {"type 3", IconFile({Image(8)}, 3)},
        {"type 0", IconFile({Image(8)}, 0)},
        {"header cut", {0, 0, 1}},
        {"no images", {0, 0, 1, 0, 0, 0}},
        {"count 0 before a whole entry", Patched(good, {{4, 0}})},
        {"directory cut", Patched(good, {}, 21)},
        {"directory shorter than its count", Patched(good, {{4, 0xFF}, {5, 0xFF}})},
        {"image cut", Patched(good, {}, good.size() - 1)},
        {"offset past the end", Patched(good, {{18, 0xFF}, {21, 0x7F}})},
        {"size past the end", Patched(good, {{17, 0xF0}})},
        {"size wrapping", Patched(good, {{14, 0xFF}, {15, 0xFF}, {16, 0xFF}, {17, 0xFF}})},
        {"image shorter than its header", IconFile({Bytes(20, 0)})},
        {"image rows missing", IconFile({Patched(Image(24), {}, 60)}), true},
        {"zero width", IconFile({Image(8, 0, 4)}), true},
    };
    for (const auto& c : kRefused) {
        Loaded r(c.bytes);
        EXPECT_EQ(r.icon, 0u) << c.what;
        EXPECT_EQ(r.img.imageWidth != 77 || r.img.imageHeight != 66, c.sizeSet) << c.what;
    }
    // A 32-bit image may leave its mask out: its alpha channel masks it.
    EXPECT_NE(Loaded(IconFile({Patched(Image(32), {}, 40 + 28 * 5)})).icon, 0u);
    // A colour table of biClrUsed entries: the colour rows follow its last entry.
    Bytes shortTable = Patched(Image(4), {{32, 2}});
    shortTable.erase(shortTable.begin() + 48, shortTable.begin() + 104);
    EXPECT_NE(Loaded(IconFile({shortTable})).icon, 0u);
}

TEST(IconFile, PublicSamplesMatchImageMagick) {
    std::vector<fs::path> files = testsupport::SampleFiles("ico"),
                          cur = testsupport::SampleFiles("cur");
    files.insert(files.end(), cur.begin(), cur.end());
    if (files.empty()) GTEST_SKIP() << "public samples absent (../shared/testdata/ico, cur)";
    const bool oracleHere = oracle::ToolAvailable("convert");
    int iconFiles = 0, loaded = 0, compared = 0;
    for (const fs::path& path : files) {
        // Many old .ICO files are OS/2 bitmap arrays ("BA", "CI"), which are not icon files.
        const Bytes bytes = testsupport::ReadBytes(path.string());
        iconFiles += bytes.size() >= 4 && bytes[0] == 0 && bytes[1] == 0 && bytes[3] == 0 &&
                     (bytes[2] == 1 || bytes[2] == 2);
        Loaded r(bytes);
        if (!r.icon) continue;
        ++loaded;
        // ImageMagick reads the colour rows of an image with a larger-than-40-byte header from
        // the wrong place; such images are checked by the depth tests instead.
        const uint32_t first = bytes[18] | bytes[19] << 8 | bytes[20] << 16 | bytes[21] << 24;
        if (!oracleHere || (first + 1 < bytes.size() && bytes[first] != 40 && bytes[first] != 0x89))
            continue;
        const std::string diff = CompareWithImageMagick(r.icon, path.string());
        if (diff.starts_with("ImageMagick could not read")) continue;
        ++compared;
        EXPECT_EQ(diff, "") << path;
    }
    EXPECT_GT(loaded, iconFiles * 2 / 3);
    EXPECT_GT(compared, oracleHere ? loaded / 2 : -1);
}

// ---- Through the control --------------------------------------------------------------------

TEST(IconFile, ControlShowsIconsAndCursors) {
    using control_test::Get, control_test::Set, platform::Variant;
    testsupport::TempDir dir;
    for (const std::string name : {"hand.ico", "arrow.cur", "UPPER.ICO"}) {
        SCOPED_TRACE(name);
        testsupport::WriteBytes(dir.path(name), IconFile({Image(24)}, name.ends_with("cur") + 1));
        control_test::SitedControl s;
        Set(s.ctrl, "BorderStyle", Variant::I2(0));
        Set(s.ctrl, "Appearance", Variant::I2(0));
        Set(s.ctrl, "BackColor", Variant::I4(RGB(0, 0, 255)));
        Set(s.ctrl, "FileName", Variant::Bstr(dir.path(name)));
        ASSERT_EQ(s.ctrl.PictureHolder().GetType(), platform::PICTYPE_ICON);
        EXPECT_EQ(Get(s.ctrl, "bmpw").AsI2(), 7);
        EXPECT_EQ(Get(s.ctrl, "bmph").AsI2(), 5);
        EXPECT_EQ(Get(s.ctrl, "bmpc").AsI2(), 0);
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(2, 1), RGB(65, 53, 99));
        EXPECT_EQ(s.site.Pixel(0, 0), RGB(0, 0, 255));  // masked: the background shows
    }
}

}  // namespace
