// Windows metafiles built byte by byte, played and checked pixel by pixel.
#include <filesystem>

#include "metafile_support.h"
#include "platform/gdi/gdi_text.h"
#include "support/picture.h"

namespace meta_test {
namespace {

using W = WmfBuilder;

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
    b.Rec(0x061C, {12, 12, 24, 62, 0, 34});                // RoundRect(34, 0, 62, 24), 12 x 12
    PlayWmf(s, b.Bytes());
    // The outline is the pen's, the inside the brush's; a line leaves out its last pixel; the
    // round rectangle's corners are cut off.
    ExpectPixels(s, {{10, 10, kBlue}, {29, 19, kBlue}, {15, 15, kRed}, {30, 15, kWhite}});
    ExpectPixels(s, {{15, 20, kWhite}, {0, 40, kBlue}, {19, 40, kBlue}, {20, 40, kWhite}});
    ExpectPixels(s, {{50, 36, kRed}, {42, 45, kWhite}, {5, 60, kGreen}});
    ExpectPixels(s, {{34, 0, kWhite}, {61, 23, kWhite}, {48, 0, kBlue}, {34, 12, kBlue}});
    ExpectPixels(s, {{48, 12, kRed}});
}

TEST(WindowsMetafile, PolyPolygonLeavesHolesOpen) {
    Board s(64, 64);
    W b = RedBlue();
    b.Rec(0x0538, {2, 4, 4, 10, 10, 50, 10, 50, 50, 10, 50, 20, 20, 40, 20, 40, 40, 20, 40});
    PlayWmf(s, b.Bytes());
    ExpectPixels(s, {{15, 15, kRed}, {30, 30, kWhite}, {10, 30, kBlue}, {20, 30, kBlue}});
    ExpectPixels(s, {{55, 30, kWhite}});
}

TEST(WindowsMetafile, DibRecordsStretchTheEmbeddedBitmap) {
    // 2 x 2: red, green on top; blue, black below. StretchDIB with colour usage takes the
    // lower half only (source y 0 of a bottom-up DIB is its lowest row) to (40, 40) 10 x 10.
    const Bytes dib = PackedDib24(2, 2, {kRed, kGreen, kBlue, kBlack});
    const std::vector<int> words = {0x0020, 0x00CC, 2, 2, 0, 0, 20, 20, 10, 10};
    W b;
    b.Rec(0x0B41, words, dib);
    b.Rec(0x0F43, {0x0020, 0x00CC, DIB_RGB_COLORS, 1, 2, 0, 0, 10, 10, 40, 40}, dib);
    Board s(64, 64);
    PlayWmf(s, b.Bytes());
    ExpectPixels(s, {{10, 10, kRed}, {19, 19, kRed}, {20, 10, kGreen}, {10, 20, kBlue}});
    ExpectPixels(s, {{29, 29, kBlack}, {30, 30, kWhite}});
    ExpectPixels(s, {{40, 40, kBlue}, {49, 49, kBlack}, {50, 45, kWhite}});

    // A record too short for its bitmap draws nothing.
    Board t(64, 64);
    PlayWmf(t, W().Rec(0x0B41, words, Bytes(dib.begin(), dib.end() - 6)).Bytes());
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
    PlayWmf(s, b.Bytes());
    // Logical 100..600 is 0..40 along x and 0..20 along y in the viewport; without a pen the
    // last column and row stay out. The caller's state comes back.
    ExpectPixels(s, {{10, 20, kRed}, {48, 38, kRed}, {49, 39, kWhite}, {50, 30, kWhite}});
    ExpectPixels(s, {{30, 40, kWhite}, {9, 25, kWhite}});
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
    PlayWmf(s, b.Bytes());

    ExpectPixels(s, {{5, 5, kRed}, {25, 5, kWhite}, {25, 25, kGreen}, {25, 35, kBlue}});
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
    std::vector<int> font(25, 0);  // CreateFontIndirect: height -24, weight 700, no face name
    font[0] = -24;
    font[4] = 700;
    W c;
    c.Rec(0x02FB, font).Rec(0x012D, {0}).Rec(0x0209, {W::Lo(kBlue), W::Hi(kBlue)});
    c.Rec(0x0102, {TRANSPARENT}).Rec(0x012E, {24});
    // "H" at (10, 40), the baseline: the coordinates follow the string padded to a word.
    c.Rec(0x0521, {1}, {'H', 0, 40, 0, 10, 0});
    Board s(120, 60);
    const size_t fonts = CountHandles(HandleKind::Font);
    PlayWmf(s, c.Bytes());
    const RECT ink = s.Changed();
    EXPECT_GT(s.Count(kBlue), 40);
    EXPECT_EQ(s.Count(kBlue) + s.Count(kWhite), 120 * 60);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.bottom, 41);         // on the baseline
    EXPECT_NEAR(ink.top, 40 - 18, 3);  // capital height of a 24-pixel face
    EXPECT_EQ(GetTextAlign(s), 0u);
    EXPECT_EQ(CountHandles(HandleKind::Font), fonts);
}

TEST(WindowsMetafile, FilesBitsAndCopies) {
    const Bytes bytes = RedBlue().Rec(0x041B, {20, 30, 10, 10}).Bytes();
    const Bytes file = testsupport::Cat(PlaceableBytes(-5, 10, 300, 200, 1440), bytes);
    PlaceableHeader header{};
    ASSERT_TRUE(ReadPlaceableHeader(file.data(), file.size(), &header));
    EXPECT_EQ(std::tuple(header.left, header.top, header.right, header.bottom, header.inch),
              std::tuple(-5, 10, 300, 200, 1440));
    EXPECT_TRUE(header.checksumValid);
    EXPECT_FALSE(ReadPlaceableHeader(bytes.data(), bytes.size(), &header));
    Bytes badSum = file;
    badSum[20] ^= 1;
    ASSERT_TRUE(ReadPlaceableHeader(badSum.data(), badSum.size(), &header));
    EXPECT_FALSE(header.checksumValid);

    // A placeable file loads without its header; a copy goes to a file of the bare bits.
    testsupport::TempDir dir;
    testsupport::WriteBytes(dir.path("placeable.wmf"), file);
    const HMETAFILE mf = GetMetaFile(dir.path("placeable.wmf").c_str());
    ASSERT_NE(mf, 0u);
    ASSERT_EQ(GetMetaFileBitsEx(mf, 0, nullptr), bytes.size());
    Bytes back(bytes.size());
    EXPECT_EQ(GetMetaFileBitsEx(mf, static_cast<uint32_t>(back.size()), back.data()), bytes.size());
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(GetMetaFileBitsEx(mf, 4, back.data()), 0u);
    const HMETAFILE copy = CopyMetaFile(mf, dir.path("copy.wmf").c_str());
    ASSERT_NE(copy, 0u);
    EXPECT_EQ(std::filesystem::file_size(dir.path("copy.wmf")), bytes.size());
    EXPECT_TRUE(DeleteMetaFile(mf));
    EXPECT_FALSE(DeleteMetaFile(mf));
    EXPECT_FALSE(PlayMetaFile(0, copy));
    Board s(64, 64);
    EXPECT_TRUE(PlayMetaFile(s, copy));
    EXPECT_EQ(s.At(15, 15), kRed);
    EXPECT_TRUE(DeleteMetaFile(copy));

    // Not a metafile, a header alone, a first record longer than the data or shorter than its
    // own header, and a missing file.
    EXPECT_EQ(SetMetaFileBitsEx(20, PlaceableBytes(0, 0, 1, 1, 1).data()), 0u);
    EXPECT_EQ(SetMetaFileBitsEx(18, bytes.data()), 0u);
    for (uint8_t size : {0x7F, 0x02}) {
        Bytes broken = bytes;
        broken[18] = size == 0x7F ? 0xFF : size;
        broken[19] = size == 0x7F ? 0x7F : 0;
        EXPECT_EQ(SetMetaFileBitsEx(static_cast<uint32_t>(broken.size()), broken.data()), 0u);
    }
    EXPECT_EQ(GetMetaFile("/nonexistent/file.wmf"), 0u);
}

TEST(WindowsMetafile, TruncatedChainsStopWithoutHarm) {
    const Bytes bytes =
        RedBlue().Rec(0x041B, {20, 30, 10, 10}).Rec(0x0324, {3, 40, 30, 60, 30, 50, 50}).Bytes();
    // Every cut that holds a whole first record (a brush, 14 bytes) plays.
    for (size_t cut = 18; cut < bytes.size(); ++cut) {
        const HMETAFILE mf = SetMetaFileBitsEx(static_cast<uint32_t>(cut), bytes.data());
        ASSERT_EQ(mf != 0u, cut >= 32) << cut;
        Board s(64, 64);
        EXPECT_TRUE(!mf || PlayMetaFile(s, mf));
        DeleteMetaFile(mf);
    }
    // A polygon whose count runs past its record, by a single point, is skipped.
    Board s(64, 64);
    PlayWmf(s, RedBlue().Rec(0x0324, {3, 40, 30, 60, 30}).Bytes());
    EXPECT_EQ(s.Count(kWhite), 64 * 64);
}

}  // namespace
}  // namespace meta_test
