// Icon images built as an icon file stores them, drawn through their masks. Every depth against
// ImageMagick and the public icon files are in the icon file tests; these are the drawing
// flags, copies, alpha blending, sizes and refusals.
#include "metafile_support.h"

namespace meta_test {
namespace {

constexpr COLORREF kBackground = RGB(0, 160, 0);
constexpr COLORREF kColor = RGB(200, 40, 90);

// A 4 x 4 icon image of 8 or 32 bits: the left half opaque in kColor, the right half
// transparent; in 8 bits the pixel at (3, 0) inverts the background (mask set, image white),
// in 32 bits alpha carries the mask.
Bytes IconImage(int bits) {
    Bytes out;
    for (uint32_t v : {40u, 4u, 8u, 1u | U(bits) << 16, 0u, 0u, 0u, 0u, 0u, 0u})
        Put32(out, v);
    // Entry 0 black, entry 1 the colour, entry 2 white.
    for (uint32_t i = 0; bits == 8 && i < 256; ++i)
        Put32(out, i == 0 ? 0 : i == 1 ? 0xC8285A : 0xFFFFFF);
    const int bytes = bits / 8, stride = 4 * bytes;
    const size_t rowsAt = out.size();
    out.resize(out.size() + stride * 4, 0);
    auto put = [&](int x, int yTop, uint32_t value) {
        for (int c = 0; c < bytes; ++c)  // an index, or blue, green, red, alpha
            out[rowsAt + stride * (3 - yTop) + x * bytes + c] =
                static_cast<uint8_t>(value >> 8 * c);
    };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x)
            put(x, y, bits == 8 ? 1 : 0xFFC8285A);
    if (bits == 8) put(3, 0, 2);
    for (int y = 0; y < 4; ++y)
        Put32(out, bits == 32 ? 0u : 0x30u);
    return out;
}

HICON Make(const Bytes& image, int width = 0, int height = 0) {
    return CreateIconFromResourceEx(image.data(), static_cast<uint32_t>(image.size()), true,
                                    0x30000, width, height, 0);
}

TEST(Icon, DrawsThroughItsMask) {
    const HICON icon = Make(IconImage(8));
    ASSERT_NE(icon, 0u);
    int w = 0, h = 0;
    ASSERT_TRUE(GetIconSize(icon, &w, &h));
    EXPECT_EQ(std::pair(w, h), std::pair(4, 4));
    // Doubled at (2, 2): the transparent half keeps the background; the inverting pixel
    // turns green to its inverse.
    Board s(16, 16, kBackground);
    EXPECT_TRUE(DrawIconEx(s, 2, 2, icon, 8, 8, 0, 0, DI_NORMAL));
    ExpectPixels(s, {{2, 2, kColor}, {5, 9, kColor}, {6, 9, kBackground}, {9, 5, kBackground}});
    ExpectPixels(s, {{1, 1, kBackground}, {10, 10, kBackground}, {8, 2, RGB(255, 95, 255)}});
    // The mask and the image alone, at their own size.
    Board m(8, 8, kBackground), i(8, 8, kBackground);
    EXPECT_TRUE(DrawIconEx(m, 0, 0, icon, 0, 0, 0, 0, DI_MASK));
    EXPECT_TRUE(DrawIconEx(i, 0, 0, icon, 0, 0, 0, 0, DI_IMAGE));
    ExpectPixels(m, {{0, 0, kBlack}, {3, 3, kWhite}, {5, 5, kBackground}});
    ExpectPixels(i, {{1, 1, kColor}, {3, 3, kBlack}});
    // A copy outlives the original.
    const HICON copy = CopyIcon(icon);
    ASSERT_NE(copy, 0u);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(GetIconSize(icon, &w, &h));
    Board c(8, 8, kBackground);
    EXPECT_TRUE(DrawIconEx(c, 0, 0, copy, 0, 0, 0, 0, DI_NORMAL));
    ExpectPixels(c, {{0, 0, kColor}, {2, 0, kBackground}});
    EXPECT_TRUE(DestroyIcon(copy));
}

TEST(Icon, AlphaImagesBlendWithTheBackground) {
    Bytes image = IconImage(32);
    image[40 + 16 * 3 + 3] = 100;  // pixel (0, 0), the top row, stored last: mostly transparent
    const HICON icon = Make(image);
    ASSERT_NE(icon, 0u);
    Board s(8, 8, kBackground);
    EXPECT_TRUE(DrawIconEx(s, 0, 0, icon, 4, 4, 0, 0, DI_NORMAL));
    const auto mix = [](int c, int g) { return (c * 100 + g * 155 + 127) / 255; };
    ExpectPixels(s, {{0, 0, RGB(mix(200, 0), mix(40, 160), mix(90, 0))}, {1, 0, kColor}});
    ExpectPixels(s, {{2, 0, kBackground}});
    // Only a fully transparent pixel is masked.
    Board k(8, 8, kBackground);
    EXPECT_TRUE(DrawIconEx(k, 0, 0, icon, 0, 0, 0, 0, DI_MASK));
    ExpectPixels(k, {{0, 0, kBlack}, {2, 0, kWhite}});
    // Logical 4 x 4 covers 8 x 8 pixels under a mapping.
    Board m(8, 8, kBackground);
    SetMapMode(m, MM_ANISOTROPIC);
    SetWindowExtEx(m, 1, 1, nullptr);
    SetViewportExtEx(m, 2, 2, nullptr);
    EXPECT_TRUE(DrawIconEx(m, 0, 0, icon, 4, 4, 0, 0, DI_NORMAL));
    ExpectPixels(m, {{3, 7, kColor}, {4, 7, kBackground}});
    EXPECT_EQ(GetMapMode(m), MM_ANISOTROPIC);
    DestroyIcon(icon);
}

TEST(Icon, SizedCreationAndRefusals) {
    const Bytes image = IconImage(8);
    const HICON big = Make(image, 12, 8);
    ASSERT_NE(big, 0u);
    int w = 0, h = 0;
    GetIconSize(big, &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(12, 8));
    Board s(16, 16, kBackground);
    DrawIconEx(s, 0, 0, big, 0, 0, 0, 0, DI_NORMAL);
    ExpectPixels(s, {{5, 7, kColor}, {6, 7, kBackground}});
    DestroyIcon(big);

    // Cut in the header, the colour table, the rows and the mask; a PNG image, a bad depth and
    // compression.
    std::vector<Bytes> refused = {Bytes(image.begin(), image.begin() + 20),
                                  Bytes(image.begin(), image.begin() + 40),
                                  Bytes(image.begin(), image.end() - 17),
                                  Bytes(image.begin(), image.end() - 4),
                                  {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}};
    for (auto [at, value] : {std::pair{14, 7}, {16, BI_RLE8}}) {
        refused.push_back(image);
        refused.back()[at] = static_cast<uint8_t>(value);
    }
    for (const Bytes& bad : refused)
        EXPECT_EQ(Make(bad), 0u) << bad.size();
    EXPECT_FALSE(DrawIconEx(s, 0, 0, 0, 0, 0, 0, 0, DI_NORMAL));
}

}  // namespace
}  // namespace meta_test
