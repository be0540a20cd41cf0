// Windows metafiles built byte by byte, played and checked pixel by pixel.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "metafile_support.h"
#include "platform/gdi/gdi_text.h"
#include "platform/os/handles.h"

namespace meta_test {
namespace {

constexpr COLORREF kGreen = RGB(0, 255, 0);

using W = WmfBuilder;

void Play(HDC dc, const std::vector<uint8_t>& bytes) {
    const HMETAFILE mf = SetMetaFileBitsEx(static_cast<uint32_t>(bytes.size()), bytes.data());
    ASSERT_NE(mf, 0u);
    EXPECT_TRUE(PlayMetaFile(dc, mf));
    EXPECT_TRUE(DeleteMetaFile(mf));
}

// A solid red brush in slot 0 and a one-pixel blue pen in slot 1, both selected.
W RedBlue() {
    W b;
    b.Rec(0x02FC, {BS_SOLID, W::Lo(kRed), W::Hi(kRed), 0})
        .Rec(0x02FA, {PS_SOLID, 1, 0, W::Lo(kBlue), W::Hi(kBlue)})
        .Rec(0x012D, {0})
        .Rec(0x012D, {1});
    return b;
}

TEST(WindowsMetafile, FiguresAndLinesFollowThePixelRules) {
    Board s(64, 64);
    W b = RedBlue();
    b.Rec(0x041B, {20, 30, 10, 10});                       // Rectangle(10, 10, 30, 20)
    b.Rec(0x0214, {40, 0}).Rec(0x0213, {40, 20});          // MoveTo(0, 40) LineTo(20, 40)
    b.Rec(0x0324, {3, 40, 30, 60, 30, 50, 50});            // Polygon (40,30) (60,30) (50,50)
    b.Rec(0x041F, {W::Lo(kGreen), W::Hi(kGreen), 60, 5});  // SetPixel(5, 60)
    b.Rec(0x061C, {12, 12, 24, 62, 0, 34});                // RoundRect
    Play(s, b.Bytes());

    EXPECT_EQ(s.At(10, 10), kBlue);
    EXPECT_EQ(s.At(29, 19), kBlue);
    EXPECT_EQ(s.At(15, 15), kRed);
    EXPECT_EQ(s.At(30, 15), kWhite);
    EXPECT_EQ(s.At(15, 20), kWhite);
    EXPECT_EQ(s.At(0, 40), kBlue);
    EXPECT_EQ(s.At(19, 40), kBlue);
    EXPECT_EQ(s.At(20, 40), kWhite);  // a line leaves out its last pixel
    EXPECT_EQ(s.At(50, 36), kRed);
    EXPECT_EQ(s.At(42, 45), kWhite);
    EXPECT_EQ(s.At(5, 60), kGreen);
    // RoundRect(34, 0, 62, 24) with 12 x 12 corners: the corners are cut off.
    EXPECT_EQ(s.At(34, 0), kWhite);
    EXPECT_EQ(s.At(61, 23), kWhite);
    EXPECT_EQ(s.At(48, 0), kBlue);
    EXPECT_EQ(s.At(34, 12), kBlue);
    EXPECT_EQ(s.At(48, 12), kRed);
}

TEST(WindowsMetafile, PolyPolygonLeavesHolesOpen) {
    Board s(64, 64);
    W b = RedBlue();
    b.Rec(0x0538, {2, 4, 4, 10, 10, 50, 10, 50, 50, 10, 50, 20, 20, 40, 20, 40, 40, 20, 40});
    Play(s, b.Bytes());
    EXPECT_EQ(s.At(15, 15), kRed);
    EXPECT_EQ(s.At(30, 30), kWhite);
    EXPECT_EQ(s.At(10, 30), kBlue);  // outlines of both rings
    EXPECT_EQ(s.At(20, 30), kBlue);
    EXPECT_EQ(s.At(55, 30), kWhite);
}

TEST(WindowsMetafile, DibRecordsStretchTheEmbeddedBitmap) {
    Board s(64, 64);
    // 2 x 2: red, green on top; blue, white below.
    const auto dib = PackedDib24(2, 2, {kRed, kGreen, kBlue, RGB(0, 0, 0)});
    std::vector<int> words = {0x0020, 0x00CC, 2, 2, 0, 0, 20, 20, 10, 10};
    W b;
    b.RecBytes(0x0B41, words, dib);
    // StretchDIB with colour usage, the lower half only, at (40, 40) 10 x 10.
    b.RecBytes(0x0F43, {0x0020, 0x00CC, DIB_RGB_COLORS, 1, 2, 0, 0, 10, 10, 40, 40}, dib);
    Play(s, b.Bytes());
    EXPECT_EQ(s.At(10, 10), kRed);
    EXPECT_EQ(s.At(19, 19), kRed);
    EXPECT_EQ(s.At(20, 10), kGreen);
    EXPECT_EQ(s.At(10, 20), kBlue);
    EXPECT_EQ(s.At(29, 29), RGB(0, 0, 0));
    EXPECT_EQ(s.At(30, 30), kWhite);
    // Source y 0 of a bottom-up DIB is its lowest row.
    EXPECT_EQ(s.At(40, 40), kBlue);
    EXPECT_EQ(s.At(49, 49), RGB(0, 0, 0));
    EXPECT_EQ(s.At(50, 45), kWhite);

    // A record too short for its bitmap draws nothing.
    Board t(64, 64);
    const std::vector<uint8_t> cut(dib.begin(), dib.end() - 6);
    W c;
    c.RecBytes(0x0B41, words, cut);
    Play(t, c.Bytes());
    EXPECT_EQ(t.Count(kWhite), 64 * 64);
}

TEST(WindowsMetafile, WindowMapsIntoTheCallersViewport) {
    Board s(100, 100);
    W b = RedBlue();
    b.Rec(0x020B, {100, 100}).Rec(0x020C, {1000, 1000});  // window (100,100) 1000 x 1000
    b.Rec(0x012D, {0});
    b.Rec(0x02FA, {PS_NULL, 1, 0, 0, 0}).Rec(0x012D, {2});
    b.Rec(0x041B, {600, 600, 100, 100});
    SetMapMode(s, MM_ANISOTROPIC);
    SetViewportOrgEx(s, 10, 20, nullptr);
    SetViewportExtEx(s, 80, 40, nullptr);
    Play(s, b.Bytes());
    // Logical 100..600 is 0..40 along x and 0..20 along y in the viewport.
    EXPECT_EQ(s.At(10, 20), kRed);
    EXPECT_EQ(s.At(48, 38), kRed);
    EXPECT_EQ(s.At(49, 39), kWhite);  // no pen: the last column and row stay out
    EXPECT_EQ(s.At(50, 30), kWhite);
    EXPECT_EQ(s.At(30, 40), kWhite);
    EXPECT_EQ(s.At(9, 25), kWhite);
    // The caller's state comes back.
    SIZE ext{};
    GetWindowExtEx(s, &ext);
    EXPECT_EQ(ext.cx, 1);
    EXPECT_EQ(GetMapMode(s), MM_ANISOTROPIC);
}

TEST(WindowsMetafile, SaveRestoreAndObjectsLeaveNothingBehind) {
    Board s(64, 64);
    const HBRUSH green = CreateSolidBrush(kGreen);
    const HGDIOBJ oldBrush = SelectObject(s, green);
    SelectObject(s, GetStockObject(NULL_PEN));
    const size_t brushes = CountHandles(HandleKind::Brush);
    const size_t pens = CountHandles(HandleKind::Pen);

    W b;
    b.Rec(0x001E, {});  // SaveDC
    b.Rec(0x02FC, {BS_SOLID, W::Lo(kRed), W::Hi(kRed), 0}).Rec(0x012D, {0});
    b.Rec(0x0416, {64, 20, 0, 0});   // IntersectClipRect(0, 0, 20, 64)
    b.Rec(0x041B, {10, 64, 0, 0});   // red, clipped to x < 20
    b.Rec(0x0127, {0xFFFF});         // RestoreDC(-1)
    b.Rec(0x0127, {0xFFFF});         // one more than the records saved: ignored
    b.Rec(0x041B, {30, 64, 20, 0});  // the caller's green, unclipped
    // Slot reuse: the lowest free slot takes the next object.
    b.Rec(0x01F0, {0});
    b.Rec(0x02FC, {BS_SOLID, W::Lo(kBlue), W::Hi(kBlue), 0}).Rec(0x012D, {0});
    b.Rec(0x041B, {40, 64, 30, 0});
    b.Rec(0x0103, {MM_LOMETRIC});  // the mapping mode goes back afterwards
    Play(s, b.Bytes());

    EXPECT_EQ(s.At(5, 5), kRed);
    EXPECT_EQ(s.At(25, 5), kWhite);
    EXPECT_EQ(s.At(25, 25), kGreen);
    EXPECT_EQ(s.At(25, 35), kBlue);
    EXPECT_EQ(GetCurrentObject(s, OBJ_BRUSH), green);
    EXPECT_EQ(GetMapMode(s), MM_TEXT);
    EXPECT_EQ(CountHandles(HandleKind::Brush), brushes);
    EXPECT_EQ(CountHandles(HandleKind::Pen), pens);
    RECT box{};
    GetClipBox(s, &box);
    EXPECT_EQ(box.right, 64);
    SelectObject(s, oldBrush);
    DeleteObject(green);
}

TEST(WindowsMetafile, TextRecordsUseTheRecordedFont) {
    Board s(120, 60);
    W c;
    std::vector<int> font(25, 0);  // CreateFontIndirect: height -24, weight 700, no face name
    font[0] = -24;
    font[4] = 700;
    c.Rec(0x02FB, font);
    c.Rec(0x012D, {0});
    c.Rec(0x0209, {W::Lo(kBlue), W::Hi(kBlue)});
    c.Rec(0x0102, {TRANSPARENT});
    c.Rec(0x012E, {24});
    c.Rec(0x0521, {2, 'H' | 'i' << 8, 40, 10});  // "Hi" at (10, 40), the baseline
    Play(s, c.Bytes());
    int top = 60, bottom = 0, count = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x)
            if (s.At(x, y) == kBlue) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                ++count;
            }
    EXPECT_GT(count, 40);
    EXPECT_EQ(count + s.Count(kWhite), 120 * 60);
    EXPECT_LE(bottom, 40);         // on the baseline
    EXPECT_NEAR(top, 40 - 18, 3);  // capital height of a 24-pixel face
    EXPECT_EQ(GetTextAlign(s), 0u);
    EXPECT_EQ(CountHandles(HandleKind::Font), 0u);
}

TEST(WindowsMetafile, FilesBitsAndCopies) {
    W b = RedBlue();
    b.Rec(0x041B, {20, 30, 10, 10});
    const auto bytes = b.Bytes();
    std::vector<uint8_t> file = PlaceableBytes(-5, 10, 300, 200, 1440);
    file.insert(file.end(), bytes.begin(), bytes.end());

    PlaceableHeader header{};
    ASSERT_TRUE(ReadPlaceableHeader(file.data(), file.size(), &header));
    EXPECT_EQ(header.left, -5);
    EXPECT_EQ(header.top, 10);
    EXPECT_EQ(header.right, 300);
    EXPECT_EQ(header.bottom, 200);
    EXPECT_EQ(header.inch, 1440);
    EXPECT_TRUE(header.checksumValid);
    EXPECT_FALSE(ReadPlaceableHeader(bytes.data(), bytes.size(), &header));

    const auto dir = std::filesystem::temp_directory_path();
    const std::string path = (dir / "lm_meta_placeable.wmf").string();
    const std::string copyPath = (dir / "lm_meta_copy.wmf").string();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    }
    const HMETAFILE mf = GetMetaFile(path.c_str());
    ASSERT_NE(mf, 0u);
    ASSERT_EQ(GetMetaFileBitsEx(mf, 0, nullptr), bytes.size());
    std::vector<uint8_t> back(bytes.size());
    EXPECT_EQ(GetMetaFileBitsEx(mf, static_cast<uint32_t>(back.size()), back.data()), bytes.size());
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(GetMetaFileBitsEx(mf, 4, back.data()), 0u);

    const HMETAFILE copy = CopyMetaFile(mf, copyPath.c_str());
    ASSERT_NE(copy, 0u);
    EXPECT_EQ(std::filesystem::file_size(copyPath), bytes.size());
    EXPECT_TRUE(DeleteMetaFile(mf));
    EXPECT_FALSE(DeleteMetaFile(mf));
    EXPECT_FALSE(PlayMetaFile(0, copy));
    Board s(64, 64);
    EXPECT_TRUE(PlayMetaFile(s, copy));
    EXPECT_EQ(s.At(15, 15), kRed);
    EXPECT_TRUE(DeleteMetaFile(copy));
    std::filesystem::remove(path);
    std::filesystem::remove(copyPath);

    // Not a metafile, a header alone, and a record longer than the data.
    const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    EXPECT_EQ(SetMetaFileBitsEx(sizeof junk, junk), 0u);
    EXPECT_EQ(SetMetaFileBitsEx(18, bytes.data()), 0u);
    auto broken = bytes;
    broken[18] = 0xFF;
    broken[19] = 0x7F;
    EXPECT_EQ(SetMetaFileBitsEx(static_cast<uint32_t>(broken.size()), broken.data()), 0u);
    EXPECT_EQ(GetMetaFile("/nonexistent/file.wmf"), 0u);
}

TEST(WindowsMetafile, TruncatedChainsStopWithoutHarm) {
    W b = RedBlue();
    b.Rec(0x041B, {20, 30, 10, 10});
    b.Rec(0x0324, {3, 40, 30, 60, 30, 50, 50});
    auto bytes = b.Bytes();
    // Every cut that still holds a whole first record plays what precedes the cut.
    for (size_t cut = 18; cut < bytes.size(); ++cut) {
        const HMETAFILE mf = SetMetaFileBitsEx(static_cast<uint32_t>(cut), bytes.data());
        // The first record (a brush, 14 bytes) must be whole.
        if (cut < 32) {
            EXPECT_EQ(mf, 0u) << cut;
            continue;
        }
        ASSERT_NE(mf, 0u) << cut;
        Board s(64, 64);
        EXPECT_TRUE(PlayMetaFile(s, mf));
        DeleteMetaFile(mf);
    }
    // A polygon whose count runs past its record is skipped.
    W c = RedBlue();
    c.Rec(0x0324, {400, 40, 30, 60, 30});
    Board s(64, 64);
    Play(s, c.Bytes());
    EXPECT_EQ(s.Count(kWhite), 64 * 64);
}

}  // namespace
}  // namespace meta_test
