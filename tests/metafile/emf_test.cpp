// Enhanced metafiles built byte by byte: header checks, the fit of the frame into the target
// rectangle, the page and world transforms, clipping, paths, bitmaps, text and wrapped Windows
// metafiles.
#include <bit>

#include "metafile_support.h"

namespace meta_test {
namespace {

// Red brush in slot 1 selected, pen off.
EmfBuilder RedNoPen(RECT frame = {0, 0, 1000, 1000}) {
    EmfBuilder b(frame);
    b.Rec(39, {1, BS_SOLID, kRed, 0}).Rec(37, {1}).Rec(37, {kStock | NULL_PEN});
    return b;
}

// A record's leading bounds, then its words.
Bytes Payload(std::initializer_list<int32_t> words, size_t bounds = 4) {
    Bytes p(bounds * 4, 0);
    for (int32_t v : words)
        Put32(p, U(v));
    return p;
}

Bytes Points16(std::initializer_list<int> xy) {
    Bytes p = Payload({static_cast<int32_t>(xy.size() / 2)});
    for (int v : xy)
        Put16(p, static_cast<uint16_t>(v));
    return p;
}

TEST(EnhancedMetafile, HeaderIsCheckedAndReported) {
    const Bytes bytes = EmfBuilder(RECT{10, 20, 1010, 520}).Bytes();
    const HENHMETAFILE emf = MakeEmf(bytes);
    ASSERT_NE(emf, 0u);
    ENHMETAHEADER h{};
    EXPECT_EQ(GetEnhMetaFileHeader(emf, 0, nullptr), sizeof h);
    EXPECT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), sizeof h);
    EXPECT_EQ(std::tuple(h.rclFrame.left, h.rclFrame.bottom, h.szlDevice.cx, h.szlMillimeters.cy),
              std::tuple(10, 520, 1000, 100));
    EXPECT_EQ(h.nBytes, bytes.size());
    const HENHMETAFILE copy = CopyEnhMetaFile(emf, nullptr);
    ASSERT_NE(copy, 0u);
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
    EXPECT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), 0u);
    EXPECT_EQ(GetEnhMetaFileHeader(copy, sizeof h, &h), sizeof h);
    EXPECT_TRUE(DeleteEnhMetaFile(copy));

    // The record type, the header size beyond the data, the signature; a header cut short.
    for (auto [at, value] : {std::pair{0, 2}, {4, 200}, {40, 'X'}}) {
        Bytes bad = bytes;
        bad[at] = static_cast<uint8_t>(value);
        EXPECT_EQ(MakeEmf(bad), 0u) << at;
    }
    EXPECT_EQ(SetEnhMetaFileBits(40, bytes.data()), 0u);
}

TEST(EnhancedMetafile, FrameIsFittedIntoTheRectangle) {
    EmfBuilder b = RedNoPen(RECT{100, 100, 1100, 1100});  // reference pixels 10 to 110
    b.Rec(43, {10, 10, 60, 60});
    b.Rec(39, {2, BS_SOLID, kBlue, 0}).Rec(37, {2});
    b.Raw(86, Points16({70, 70, 110, 70, 70, 110}));  // Polygon16
    // The frame onto the rectangle at twice the reference size; without a pen a filled figure
    // leaves out its last column and row. The DC's objects are the caller's again.
    Board s(256, 256);
    PlayEmf(s, b, RECT{20, 10, 220, 210});
    ExpectPixels(s, {{20, 10, kRed}, {118, 108, kRed}, {119, 109, kWhite}, {19, 10, kWhite}});
    ExpectPixels(s, {{150, 140, kBlue}, {210, 200, kWhite}});
    EXPECT_EQ(GetCurrentObject(s, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));

    // Into a rectangle on a DC with a mapping of its own: the rectangle is logical.
    Board t(256, 256);
    SetMapMode(t, MM_ANISOTROPIC);
    SetWindowExtEx(t, 2, 2, nullptr);
    SetViewportExtEx(t, 1, 1, nullptr);
    PlayEmf(t, b, RECT{0, 0, 200, 200});
    ExpectPixels(t, {{48, 48, kRed}, {49, 49, kWhite}});
    EXPECT_EQ(GetMapMode(t), MM_ANISOTROPIC);
}

TEST(EnhancedMetafile, PageAndWorldTransformsAndSaveRestore) {
    const auto f = [](float v) { return std::bit_cast<uint32_t>(v); };
    EmfBuilder b = RedNoPen();
    b.Rec(33, {});                           // SaveDC
    b.Rec(17, {MM_ANISOTROPIC});             // SetMapMode
    b.Rec(9, {10, 10}).Rec(11, {100, 100});  // window 10 x 10 on viewport 100 x 100
    b.Rec(43, {0, 0, 3, 2});                 // 30 x 20 reference pixels
    b.Rec(34, {U(-1)});                      // RestoreDC: MM_TEXT again
    b.Rec(35, {f(2), 0, 0, f(2), f(50), f(60)});
    b.Rec(39, {2, BS_SOLID, kBlue, 0}).Rec(37, {2});
    b.Rec(43, {0, 0, 10, 10});  // world: 50..70 x 60..80
    Board s(128, 128);
    PlayEmf(s, b);
    ExpectPixels(s, {{28, 18, kRed}, {30, 5, kWhite}, {5, 20, kWhite}, {50, 60, kBlue}});
    ExpectPixels(s, {{68, 78, kBlue}, {70, 70, kWhite}, {49, 70, kWhite}});
}

TEST(EnhancedMetafile, ClipRectanglesAndRegions) {
    EmfBuilder b = RedNoPen();
    b.Rec(30, {0, 0, 20, 100});   // IntersectClipRect
    b.Rec(43, {0, 0, 100, 10});   // red up to x 20 only
    b.Rec(75, {0, 5});            // ExtSelectClipRgn, copy, no region: reset
    b.Rec(43, {0, 10, 100, 20});  // red across
    // A region of one rectangle, 60..80 across, copied in.
    b.Raw(75, Payload({48, 5, 32, 1, 1, 16, 60, 0, 80, 100, 60, 0, 80, 100}, 0));
    b.Rec(39, {2, BS_SOLID, kBlue, 0}).Rec(37, {2});
    b.Rec(43, {0, 30, 100, 40});  // blue from x 60 to 80 only
    b.Rec(29, {65, 0, 70, 100});  // ExcludeClipRect
    b.Rec(43, {0, 50, 100, 60});
    Board s(100, 100);
    PlayEmf(s, b);
    ExpectPixels(s, {{19, 5, kRed}, {21, 5, kWhite}, {50, 15, kRed}, {59, 35, kWhite}});
    ExpectPixels(s, {{60, 35, kBlue}, {79, 35, kBlue}, {80, 35, kWhite}});
    ExpectPixels(s, {{62, 55, kBlue}, {67, 55, kWhite}, {70, 55, kBlue}});
    RECT box{};
    GetClipBox(s, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 100);
}

TEST(EnhancedMetafile, PathsBeziersAndLines) {
    EmfBuilder b = RedNoPen();
    b.Rec(59, {}).Rec(27, {10, 10});  // BeginPath, MoveToEx
    b.Rec(54, {40, 10}).Rec(54, {40, 40}).Rec(54, {10, 40});
    b.Rec(61, {}).Rec(60, {}).Rec(62, {0, 0, 0, 0});        // CloseFigure, EndPath, FillPath
    b.Rec(38, {3, PS_SOLID, 1, 0, kBlue}).Rec(37, {3});     // CreatePen
    b.Raw(85, Points16({50, 90, 60, 50, 80, 50, 90, 90}));  // PolyBezier16
    b.Rec(27, {0, 95}).Rec(54, {50, 95});
    Board s(100, 100);
    PlayEmf(s, b);
    // The curve starts on its first point and rises to about three quarters of the control
    // height; the line leaves out its last pixel.
    ExpectPixels(s, {{25, 25, kRed}, {45, 25, kWhite}, {50, 90, kBlue}, {70, 90, kWhite}});
    ExpectPixels(s, {{0, 95, kBlue}, {49, 95, kBlue}, {50, 95, kWhite}});
    int curve = 0;
    for (int y = 55; y < 65; ++y)
        curve += s.At(70, y) == kBlue;
    EXPECT_GT(curve, 0);
}

TEST(EnhancedMetafile, StretchDibitsAndPatternBlits) {
    const Bytes dib = PackedDib24(2, 2, {kRed, kBlue, kBlue, kGreen});
    // Destination x, y; source x, y, w, h; bitmap header and bits where they lie, colour use,
    // raster operation, destination size.
    Bytes p = Payload({10, 10, 0, 0, 2, 2, 80, 40, 120, static_cast<int32_t>(dib.size() - 40), 0,
                       static_cast<int32_t>(SRCCOPY), 40, 40});
    testsupport::Append(p, dib);
    EmfBuilder b;
    b.Raw(81, p);
    // BitBlt without a source: PATCOPY with the selected brush.
    b.Rec(39, {1, BS_SOLID, RGB(0, 128, 0), 0}).Rec(37, {1});
    Bytes blt = Payload({60, 60, 20, 20, static_cast<int32_t>(PATCOPY)});
    blt.resize(blt.size() + 14 * 4, 0);
    b.Raw(76, blt);
    // The source's lower right pixel (source y counts from the bottom row) to 80..90.
    Bytes corner = p;
    for (auto [at, v] :
         {std::pair{16, 80}, {20, 80}, {24, 1}, {32, 1}, {36, 1}, {64, 10}, {68, 10}})
        corner[at] = static_cast<uint8_t>(v);
    b.Raw(81, corner);
    // A StretchDIBits whose bits run past the record is skipped.
    p[52] = 0xFF;
    b.Raw(81, p);
    Board s(100, 100);
    PlayEmf(s, b);
    ExpectPixels(s, {{10, 10, kRed}, {35, 15, kBlue}, {49, 49, kGreen}, {50, 50, kWhite}});
    ExpectPixels(s, {{60, 60, RGB(0, 128, 0)}, {79, 79, RGB(0, 128, 0)}, {80, 80, kGreen}});
    ExpectPixels(s, {{89, 89, kGreen}, {90, 90, kWhite}});
}

TEST(EnhancedMetafile, BadRecordsEndPlaybackSafely) {
    // A record size that is not a multiple of four stops playback: the rectangle hidden at
    // that size inside the record is not drawn.
    Bytes hidden(9, 0);
    for (uint32_t v : {43u, 24u, 0u, 0u, 50u, 50u})
        Put32(hidden, v);
    Bytes odd = RedNoPen().Raw(70, hidden).Bytes();
    odd[88 + 48 + 4] = 17;
    const HENHMETAFILE emf = MakeEmf(odd);
    ASSERT_NE(emf, 0u);
    Board s(100, 100);
    const RECT target{0, 0, 100, 100};
    EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
    EXPECT_EQ(s.Count(kWhite), 100 * 100);
    DeleteEnhMetaFile(emf);
    // Object indexes outside the handle table and stock values out of range are ignored: the
    // caller's white brush paints, and no brush is left behind.
    EmfBuilder c(RECT{0, 0, 1000, 1000}, 2);
    c.Rec(39, {7, BS_SOLID, kRed, 0}).Rec(37, {7}).Rec(37, {kStock | 40}).Rec(40, {99});
    c.Rec(43, {0, 0, 50, 50});
    const size_t brushes = CountHandles(HandleKind::Brush);
    PlayEmf(s, c);
    EXPECT_EQ(s.At(10, 10), kWhite);
    EXPECT_EQ(CountHandles(HandleKind::Brush), brushes);
}

TEST(EnhancedMetafile, WrappedWindowsMetafilePlaysScaledToTheRectangle) {
    WmfBuilder w;
    w.Rec(0x020C, {100, 200});  // window 200 x 100
    w.Rec(0x02FC, {BS_SOLID, WmfBuilder::Lo(kRed), WmfBuilder::Hi(kRed), 0}).Rec(0x012D, {0});
    w.Rec(0x02FA, {PS_NULL, 0, 0, 0, 0}).Rec(0x012D, {1});
    w.Rec(0x041B, {50, 100, 0, 0});  // the upper left quarter
    const Bytes bits = w.Bytes();
    const auto wrap = [&bits](const METAFILEPICT* pict) {
        return SetWinMetaFileBits(static_cast<uint32_t>(bits.size()), bits.data(), 0, pict);
    };
    const METAFILEPICT pict{MM_ANISOTROPIC, 5000, 2500, 0};
    const HENHMETAFILE emf = wrap(&pict);
    ASSERT_NE(emf, 0u);
    ENHMETAHEADER h{};
    ASSERT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), sizeof h);
    EXPECT_EQ(h.rclFrame.right - h.rclFrame.left, 5000);
    EXPECT_EQ(h.rclFrame.bottom - h.rclFrame.top, 2500);
    Board s(128, 128);
    const RECT target{10, 20, 90, 60};
    EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
    ExpectPixels(s, {{10, 20, kRed}, {48, 38, kRed}, {50, 30, kWhite}, {30, 41, kWhite}});
    EXPECT_EQ(GetMapMode(s), MM_TEXT);
    DeleteEnhMetaFile(emf);

    // Without a description the window extent sizes the frame (96 dpi: 200 px = 5292) and the
    // bounds (200 x 100 reference pixels).
    const HENHMETAFILE own = wrap(nullptr);
    ASSERT_NE(own, 0u);
    ASSERT_EQ(GetEnhMetaFileHeader(own, sizeof h, &h), sizeof h);
    EXPECT_NEAR(h.rclFrame.right, 5292, 1);
    EXPECT_NEAR(h.rclFrame.bottom, 2646, 1);
    EXPECT_NEAR(h.rclBounds.right, 200, 1);
    EXPECT_NEAR(h.rclBounds.bottom, 100, 1);
    Board t(128, 128);
    const RECT whole{0, 0, 128, 64};
    EXPECT_TRUE(PlayEnhMetaFile(t, own, &whole));
    ExpectPixels(t, {{62, 30, kRed}, {64, 30, kWhite}});
    DeleteEnhMetaFile(own);
    EXPECT_EQ(SetWinMetaFileBits(4, bits.data(), 0, nullptr), 0u);
}

TEST(EnhancedMetafile, TextRecordDrawsInTheTextColour) {
    Bytes font = Payload({1, -20, 0, 0, 0, 400}, 0);  // slot 1, height -20, weight 400
    font.resize(font.size() + 8 + 64 + 256, 0);       // flags, face, extra
    // Graphics mode, scale, reference point, two characters at offset 76, no options, no
    // rectangle, no advances.
    Bytes text = Payload({1, 0, 0, 10, 10, 2, 76, 0, 0, 0, 0, 0, 0});
    for (char16_t c : std::u16string(u"Hi"))
        Put16(text, c);
    EmfBuilder b;
    b.Raw(82, font).Rec(37, {1}).Rec(24, {kBlue}).Rec(18, {TRANSPARENT}).Raw(84, text);
    Board s(100, 100);
    PlayEmf(s, b);
    EXPECT_GT(s.Count(kBlue), 20);
    EXPECT_EQ(s.Count(kBlue) + s.Count(kWhite), 100 * 100);
    EXPECT_EQ(s.At(5, 5), kWhite);
}

}  // namespace
}  // namespace meta_test
