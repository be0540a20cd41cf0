// Icons of every depth built as an icon file stores them, drawn through their masks.
#include "metafile_support.h"
#include "platform/os/handles.h"

namespace meta_test {
namespace {

constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kColor = RGB(200, 40, 90);

// A 4 x 4 icon image: the left half opaque in kColor, the right half transparent; the pixel
// at (3, 0) inverts the background (mask set, image white). 32 bits: alpha carries the mask.
std::vector<uint8_t> IconImage(int bits) {
    std::vector<uint8_t> out;
    for (uint32_t v : {40u, 4u, 8u})
        Put32(out, v);
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(bits));
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    const uint32_t colors = bits <= 8 ? 1u << bits : 0;
    // Entry 0 black, entry 1 the colour (entry 1 white for one bit, so colour = white there).
    for (uint32_t i = 0; i < colors; ++i) {
        COLORREF c = i == 0 ? RGB(0, 0, 0) : i == 1 ? kColor : RGB(255, 255, 255);
        if (bits == 1 && i == 1) c = RGB(255, 255, 255);
        out.push_back(GetBValue(c));
        out.push_back(GetGValue(c));
        out.push_back(GetRValue(c));
        out.push_back(0);
    }
    const int stride = ((4 * bits + 31) / 32) * 4;
    const size_t rowsAt = out.size();
    out.resize(out.size() + static_cast<size_t>(stride) * 4, 0);
    auto put = [&](int x, int yTop, uint32_t value, COLORREF color) {
        uint8_t* row = out.data() + rowsAt + static_cast<size_t>(stride) * (3 - yTop);
        switch (bits) {
            case 1:
                row[0] |= static_cast<uint8_t>(value << (7 - x));
                break;
            case 4:
                row[x / 2] |= static_cast<uint8_t>(value << ((x & 1) ? 0 : 4));
                break;
            case 8:
                row[x] = static_cast<uint8_t>(value);
                break;
            default:
                row[x * (bits / 8)] = GetBValue(color);
                row[x * (bits / 8) + 1] = GetGValue(color);
                row[x * (bits / 8) + 2] = GetRValue(color);
                if (bits == 32) row[x * 4 + 3] = value ? 255 : 0;
        }
    };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x)
            put(x, y, 1, kColor);
    // The inverting pixel: white image over a set mask; none in 32 bits (alpha rules there).
    if (bits != 32) put(3, 0, bits == 1 ? 1 : 2, RGB(255, 255, 255));
    // AND mask: right half set (for 32 bits all clear: the alpha channel decides).
    for (int y = 0; y < 4; ++y) {
        Put32(out, bits == 32 ? 0u : 0x30u);
    }
    return out;
}

TEST(Icon, EveryDepthDrawsThroughItsMask) {
    for (int bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        const auto image = IconImage(bits);
        const HICON icon = CreateIconFromResource(image.data(), static_cast<uint32_t>(image.size()),
                                                  true, 0x30000);
        ASSERT_NE(icon, 0u);
        int w = 0, h = 0;
        ASSERT_TRUE(GetIconSize(icon, &w, &h));
        EXPECT_EQ(w, 4);
        EXPECT_EQ(h, 4);
        const COLORREF ink = bits == 1 ? RGB(255, 255, 255) : kColor;

        Board s(16, 16, kGreen);
        EXPECT_TRUE(DrawIconEx(s, 2, 2, icon, 8, 8, 0, 0, DI_NORMAL));
        EXPECT_EQ(s.At(2, 2), ink);
        EXPECT_EQ(s.At(5, 9), ink);
        EXPECT_EQ(s.At(6, 9), kGreen);  // transparent half keeps the background
        EXPECT_EQ(s.At(9, 5), kGreen);
        EXPECT_EQ(s.At(1, 1), kGreen);
        EXPECT_EQ(s.At(10, 10), kGreen);
        if (bits != 32) {
            EXPECT_EQ(s.At(8, 2), RGB(255, 95, 255));  // inverted green
        }

        Board m(8, 8, kGreen);
        EXPECT_TRUE(DrawIconEx(m, 0, 0, icon, 0, 0, 0, 0, DI_MASK));
        EXPECT_EQ(m.At(0, 0), RGB(0, 0, 0));
        EXPECT_EQ(m.At(3, 3), RGB(255, 255, 255));
        EXPECT_EQ(m.At(5, 5), kGreen);  // its own size: 4 x 4
        Board i(8, 8, kGreen);
        EXPECT_TRUE(DrawIconEx(i, 0, 0, icon, 0, 0, 0, 0, DI_IMAGE));
        EXPECT_EQ(i.At(1, 1), ink);
        EXPECT_EQ(i.At(3, 3), RGB(0, 0, 0));

        const HICON copy = CopyIcon(icon);
        ASSERT_NE(copy, 0u);
        EXPECT_TRUE(DestroyIcon(icon));
        EXPECT_FALSE(DestroyIcon(icon));
        EXPECT_FALSE(GetIconSize(icon, &w, &h));
        Board c(8, 8, kGreen);
        EXPECT_TRUE(DrawIconEx(c, 0, 0, copy, 0, 0, 0, 0, DI_NORMAL));
        EXPECT_EQ(c.At(0, 0), ink);
        EXPECT_EQ(c.At(2, 0), kGreen);
        EXPECT_TRUE(DestroyIcon(copy));
    }
}

TEST(Icon, AlphaImagesBlendWithTheBackground) {
    auto image = IconImage(32);
    // Pixel (0, 0), the top row, stored last: half transparent.
    const size_t topRow = 40 + 16 * 3;
    image[topRow + 3] = 128;
    const HICON icon =
        CreateIconFromResource(image.data(), static_cast<uint32_t>(image.size()), true, 0x30000);
    ASSERT_NE(icon, 0u);
    Board s(8, 8, kGreen);
    EXPECT_TRUE(DrawIconEx(s, 0, 0, icon, 4, 4, 0, 0, DI_NORMAL));
    const auto mix = [](int c, int g) { return (c * 128 + g * 127 + 127) / 255; };
    EXPECT_EQ(s.At(0, 0), RGB(mix(200, 0), mix(40, 160), mix(90, 0)));
    EXPECT_EQ(s.At(1, 0), kColor);
    EXPECT_EQ(s.At(2, 0), kGreen);
    Board m(8, 8, kGreen);
    SetMapMode(m, MM_ANISOTROPIC);
    SetWindowExtEx(m, 1, 1, nullptr);
    SetViewportExtEx(m, 2, 2, nullptr);  // logical 4 x 4 covers 8 x 8 pixels
    EXPECT_TRUE(DrawIconEx(m, 0, 0, icon, 4, 4, 0, 0, DI_NORMAL));
    EXPECT_EQ(m.At(3, 7), kColor);
    EXPECT_EQ(m.At(4, 7), kGreen);
    EXPECT_EQ(GetMapMode(m), MM_ANISOTROPIC);
    DestroyIcon(icon);
}

TEST(Icon, SizedCreationAndRefusals) {
    const auto image = IconImage(8);
    const HICON big = CreateIconFromResourceEx(image.data(), static_cast<uint32_t>(image.size()),
                                               true, 0x30000, 12, 8, 0);
    ASSERT_NE(big, 0u);
    int w = 0, h = 0;
    GetIconSize(big, &w, &h);
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 8);
    Board s(16, 16, kGreen);
    DrawIconEx(s, 0, 0, big, 0, 0, 0, 0, DI_NORMAL);
    EXPECT_EQ(s.At(5, 7), kColor);
    EXPECT_EQ(s.At(6, 7), kGreen);
    DestroyIcon(big);

    // Truncated rows, a PNG image, a bad depth and compression.
    for (size_t cut : {size_t{20}, size_t{40}, image.size() - 17}) {
        EXPECT_EQ(CreateIconFromResource(image.data(), static_cast<uint32_t>(cut), true, 0x30000),
                  0u)
            << cut;
    }
    const uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
    EXPECT_EQ(CreateIconFromResource(png, sizeof png, true, 0x30000), 0u);
    auto bad = image;
    bad[14] = 7;
    EXPECT_EQ(CreateIconFromResource(bad.data(), static_cast<uint32_t>(bad.size()), true, 0x30000),
              0u);
    bad = image;
    bad[16] = BI_RLE8;
    EXPECT_EQ(CreateIconFromResource(bad.data(), static_cast<uint32_t>(bad.size()), true, 0x30000),
              0u);
    EXPECT_FALSE(DrawIconEx(s, 0, 0, 0, 0, 0, 0, 0, DI_NORMAL));
}

}  // namespace
}  // namespace meta_test
