// Enhanced metafiles built byte by byte: header checks, the fit of the frame into the target
// rectangle, the page and world transforms, paths, bitmaps, and wrapped Windows metafiles.
#include <bit>

#include "metafile_support.h"
#include "platform/gdi/gdi_text.h"
#include "platform/os/handles.h"

namespace meta_test {
namespace {

constexpr RECT kFrame{0, 0, 1000, 1000};  // 100 reference pixels square

HENHMETAFILE Make(const EmfBuilder& b) {
    const auto bytes = b.Bytes();
    return SetEnhMetaFileBits(static_cast<uint32_t>(bytes.size()), bytes.data());
}

// Plays the built metafile into the rectangle of the board, by default the whole of a 100 x 100
// board.
void Play(Board& s, const EmfBuilder& b, RECT target = RECT{0, 0, 100, 100}) {
    const HENHMETAFILE emf = Make(b);
    ASSERT_NE(emf, 0u);
    EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
}

// Red brush in slot 1 selected, pen off.
EmfBuilder RedNoPen(RECT frame = kFrame) {
    EmfBuilder b(frame);
    b.Rec(39, {1, BS_SOLID, kRed, 0}).Rec(37, {1}).Rec(37, {kStock | NULL_PEN});
    return b;
}

std::vector<uint8_t> Points16(std::initializer_list<int> xy) {
    std::vector<uint8_t> p;
    for (int i = 0; i < 4; ++i)
        Put32(p, 0);  // bounds
    Put32(p, static_cast<uint32_t>(xy.size() / 2));
    for (int v : xy)
        Put16(p, static_cast<uint16_t>(v));
    return p;
}

TEST(EnhancedMetafile, HeaderIsCheckedAndReported) {
    EmfBuilder b(RECT{10, 20, 1010, 520});
    const auto bytes = b.Bytes();
    const HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<uint32_t>(bytes.size()), bytes.data());
    ASSERT_NE(emf, 0u);
    ENHMETAHEADER h{};
    EXPECT_EQ(GetEnhMetaFileHeader(emf, 0, nullptr), sizeof h);
    EXPECT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), sizeof h);
    EXPECT_EQ(h.rclFrame.left, 10);
    EXPECT_EQ(h.rclFrame.bottom, 520);
    EXPECT_EQ(h.szlDevice.cx, 1000);
    EXPECT_EQ(h.szlMillimeters.cy, 100);
    EXPECT_EQ(h.nBytes, bytes.size());
    const HENHMETAFILE copy = CopyEnhMetaFile(emf, nullptr);
    ASSERT_NE(copy, 0u);
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
    EXPECT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), 0u);
    EXPECT_EQ(GetEnhMetaFileHeader(copy, sizeof h, &h), sizeof h);
    EXPECT_TRUE(DeleteEnhMetaFile(copy));

    auto bad = bytes;
    bad[40] = 'X';  // signature
    EXPECT_EQ(SetEnhMetaFileBits(static_cast<uint32_t>(bad.size()), bad.data()), 0u);
    bad = bytes;
    bad[0] = 2;  // record type
    EXPECT_EQ(SetEnhMetaFileBits(static_cast<uint32_t>(bad.size()), bad.data()), 0u);
    bad = bytes;
    bad[4] = 200;  // header size beyond the data
    EXPECT_EQ(SetEnhMetaFileBits(static_cast<uint32_t>(bad.size()), bad.data()), 0u);
    EXPECT_EQ(SetEnhMetaFileBits(40, bytes.data()), 0u);
}

TEST(EnhancedMetafile, FrameIsFittedIntoTheRectangle) {
    EmfBuilder b = RedNoPen();
    b.Rec(43, {0, 0, 50, 50});
    b.Rec(39, {2, BS_SOLID, kBlue, 0}).Rec(37, {2});
    b.Raw(86, Points16({60, 60, 100, 60, 60, 100}));  // Polygon16
    const HENHMETAFILE emf = Make(b);
    ASSERT_NE(emf, 0u);
    Board s(256, 256);
    const RECT target{20, 10, 220, 210};  // twice the reference size
    EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
    // Without a pen a filled figure leaves out its last column and row.
    EXPECT_EQ(s.At(20, 10), kRed);
    EXPECT_EQ(s.At(118, 108), kRed);
    EXPECT_EQ(s.At(119, 109), kWhite);
    EXPECT_EQ(s.At(19, 10), kWhite);
    EXPECT_EQ(s.At(150, 140), kBlue);
    EXPECT_EQ(s.At(210, 200), kWhite);
    // The DC's objects are the caller's again.
    EXPECT_EQ(GetCurrentObject(s, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));

    // Into a rectangle on a DC with a mapping of its own: the rectangle is logical.
    Board t(256, 256);
    SetMapMode(t, MM_ANISOTROPIC);
    SetWindowExtEx(t, 2, 2, nullptr);
    SetViewportExtEx(t, 1, 1, nullptr);
    const RECT logical{0, 0, 200, 200};
    EXPECT_TRUE(PlayEnhMetaFile(t, emf, &logical));
    EXPECT_EQ(t.At(48, 48), kRed);
    EXPECT_EQ(t.At(49, 49), kWhite);
    EXPECT_EQ(GetMapMode(t), MM_ANISOTROPIC);
    DeleteEnhMetaFile(emf);
}

TEST(EnhancedMetafile, PageAndWorldTransformsAndSaveRestore) {
    EmfBuilder b = RedNoPen();
    b.Rec(33, {});                           // SaveDC
    b.Rec(17, {MM_ANISOTROPIC});             // SetMapMode
    b.Rec(9, {10, 10}).Rec(11, {100, 100});  // window 10 x 10 on viewport 100 x 100
    b.Rec(43, {0, 0, 3, 2});                 // 30 x 20 reference pixels
    b.Rec(34, {U(-1)});                      // RestoreDC: MM_TEXT again
    b.Rec(35, {std::bit_cast<uint32_t>(2.0f), 0, 0, std::bit_cast<uint32_t>(2.0f),
               std::bit_cast<uint32_t>(50.0f), std::bit_cast<uint32_t>(60.0f)});
    b.Rec(39, {2, BS_SOLID, kBlue, 0}).Rec(37, {2});
    b.Rec(43, {0, 0, 10, 10});  // world: 50..70 x 60..80
    Board s(128, 128);
    Play(s, b);
    EXPECT_EQ(s.At(28, 18), kRed);
    EXPECT_EQ(s.At(30, 5), kWhite);
    EXPECT_EQ(s.At(5, 20), kWhite);
    EXPECT_EQ(s.At(50, 60), kBlue);
    EXPECT_EQ(s.At(68, 78), kBlue);
    EXPECT_EQ(s.At(70, 70), kWhite);
    EXPECT_EQ(s.At(49, 70), kWhite);
}

TEST(EnhancedMetafile, ClipRectanglesAndRegions) {
    EmfBuilder b = RedNoPen();
    b.Rec(30, {0, 0, 20, 100});   // IntersectClipRect
    b.Rec(43, {0, 0, 100, 10});   // red up to x 20 only
    b.Rec(75, {0, 5});            // ExtSelectClipRgn, copy, no region: reset
    b.Rec(43, {0, 10, 100, 20});  // red across
    std::vector<uint8_t> region;
    Put32(region, 48);  // region bytes
    Put32(region, 5);   // RGN_COPY
    for (uint32_t v : {32u, 1u, 1u, 16u, 60u, 0u, 80u, 100u, 60u, 0u, 80u, 100u})
        Put32(region, v);
    b.Raw(75, region);
    b.Rec(39, {2, BS_SOLID, kBlue, 0}).Rec(37, {2});
    b.Rec(43, {0, 30, 100, 40});  // blue from x 60 to 80 only
    b.Rec(29, {65, 0, 70, 100});  // ExcludeClipRect
    b.Rec(43, {0, 50, 100, 60});
    Board s(100, 100);
    Play(s, b);
    EXPECT_EQ(s.At(19, 5), kRed);
    EXPECT_EQ(s.At(21, 5), kWhite);
    EXPECT_EQ(s.At(50, 15), kRed);
    EXPECT_EQ(s.At(59, 35), kWhite);
    EXPECT_EQ(s.At(60, 35), kBlue);
    EXPECT_EQ(s.At(79, 35), kBlue);
    EXPECT_EQ(s.At(80, 35), kWhite);
    EXPECT_EQ(s.At(62, 55), kBlue);
    EXPECT_EQ(s.At(67, 55), kWhite);
    EXPECT_EQ(s.At(72, 55), kBlue);
    RECT box{};
    GetClipBox(s, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 100);
}

TEST(EnhancedMetafile, PathsBeziersAndLines) {
    EmfBuilder b = RedNoPen();
    b.Rec(59, {});        // BeginPath
    b.Rec(27, {10, 10});  // MoveToEx
    b.Rec(54, {40, 10}).Rec(54, {40, 40}).Rec(54, {10, 40});
    b.Rec(61, {});                                          // CloseFigure
    b.Rec(60, {});                                          // EndPath
    b.Rec(62, {0, 0, 0, 0});                                // FillPath
    b.Rec(38, {3, PS_SOLID, 1, 0, kBlue}).Rec(37, {3});     // CreatePen
    b.Raw(85, Points16({50, 90, 60, 50, 80, 50, 90, 90}));  // PolyBezier16
    b.Rec(27, {0, 95}).Rec(54, {50, 95});
    Board s(100, 100);
    Play(s, b);
    EXPECT_EQ(s.At(25, 25), kRed);
    EXPECT_EQ(s.At(45, 25), kWhite);
    EXPECT_EQ(s.At(50, 90), kBlue);  // the curve starts on its first point
    EXPECT_EQ(s.At(70, 90), kWhite);
    int curve = 0;  // and rises to about three quarters of the control height
    for (int y = 55; y < 65; ++y)
        curve += s.At(70, y) == kBlue;
    EXPECT_GT(curve, 0);
    EXPECT_EQ(s.At(0, 95), kBlue);
    EXPECT_EQ(s.At(49, 95), kBlue);
    EXPECT_EQ(s.At(50, 95), kWhite);
}

TEST(EnhancedMetafile, StretchDibitsAndPatternBlits) {
    const auto dib = PackedDib24(2, 2, {kRed, kBlue, kBlue, kRed});
    std::vector<uint8_t> p;
    for (int i = 0; i < 4; ++i)
        Put32(p, 0);
    for (int32_t v : {10, 10, 0, 0, 2, 2})
        Put32(p, U(v));  // dest x, y; src x, y, w, h
    const uint32_t headerBytes = 40, offset = 80;
    for (uint32_t v : {offset, headerBytes, offset + headerBytes,
                       static_cast<uint32_t>(dib.size() - headerBytes), 0u,
                       static_cast<uint32_t>(SRCCOPY), 40u, 40u})
        Put32(p, v);
    p.insert(p.end(), dib.begin(), dib.end());
    EmfBuilder b(kFrame);
    b.Raw(81, p);
    // BitBlt without a source: PATCOPY with the selected brush.
    b.Rec(39, {1, BS_SOLID, RGB(0, 128, 0), 0}).Rec(37, {1});
    std::vector<uint8_t> blt;
    for (int i = 0; i < 4; ++i)
        Put32(blt, 0);
    for (int32_t v : {60, 60, 20, 20})
        Put32(blt, U(v));
    Put32(blt, PATCOPY);
    for (int i = 0; i < 14; ++i)
        Put32(blt, 0);
    b.Raw(76, blt);
    // A StretchDIBits whose bits run past the record is skipped.
    auto cut = p;
    cut[60 - 8] = 0xFF;
    b.Raw(81, cut);
    Board s(100, 100);
    Play(s, b);
    EXPECT_EQ(s.At(10, 10), kRed);
    EXPECT_EQ(s.At(35, 15), kBlue);
    EXPECT_EQ(s.At(49, 49), kRed);
    EXPECT_EQ(s.At(50, 50), kWhite);
    EXPECT_EQ(s.At(60, 60), RGB(0, 128, 0));
    EXPECT_EQ(s.At(79, 79), RGB(0, 128, 0));
    EXPECT_EQ(s.At(80, 80), kWhite);
}

TEST(EnhancedMetafile, BadRecordsEndPlaybackSafely) {
    EmfBuilder b = RedNoPen();
    b.Rec(43, {0, 0, 50, 50});
    auto bytes = b.Bytes();
    // A record size that is not a multiple of four stops playback before the rectangle.
    auto odd = bytes;
    odd[88 + 4] = 17;
    HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<uint32_t>(odd.size()), odd.data());
    ASSERT_NE(emf, 0u);
    Board s(100, 100);
    const RECT target{0, 0, 100, 100};
    EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
    EXPECT_EQ(s.Count(kWhite), 100 * 100);
    DeleteEnhMetaFile(emf);
    // Object indexes outside the handle table and stock values out of range are ignored.
    EmfBuilder c(kFrame, 2);
    c.Rec(39, {7, BS_SOLID, kRed, 0}).Rec(37, {7}).Rec(37, {kStock | 40}).Rec(40, {99});
    c.Rec(43, {0, 0, 50, 50});
    emf = Make(c);
    ASSERT_NE(emf, 0u);
    const size_t brushes = CountHandles(HandleKind::Brush);
    EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
    EXPECT_EQ(s.At(10, 10), kWhite);  // the caller's white brush
    EXPECT_EQ(CountHandles(HandleKind::Brush), brushes);
    DeleteEnhMetaFile(emf);
}

TEST(EnhancedMetafile, WrappedWindowsMetafilePlaysScaledToTheRectangle) {
    WmfBuilder w;
    w.Rec(0x020C, {100, 200});  // window 200 x 100
    w.Rec(0x02FC, {BS_SOLID, WmfBuilder::Lo(kRed), WmfBuilder::Hi(kRed), 0}).Rec(0x012D, {0});
    w.Rec(0x02FA, {PS_NULL, 0, 0, 0, 0}).Rec(0x012D, {1});
    w.Rec(0x041B, {50, 100, 0, 0});  // the upper left quarter
    const auto bits = w.Bytes();
    METAFILEPICT pict{MM_ANISOTROPIC, 5000, 2500, 0};
    const HENHMETAFILE emf =
        SetWinMetaFileBits(static_cast<uint32_t>(bits.size()), bits.data(), 0, &pict);
    ASSERT_NE(emf, 0u);
    ENHMETAHEADER h{};
    ASSERT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), sizeof h);
    EXPECT_EQ(h.rclFrame.right - h.rclFrame.left, 5000);
    EXPECT_EQ(h.rclFrame.bottom - h.rclFrame.top, 2500);
    Board s(128, 128);
    const RECT target{10, 20, 90, 60};
    EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
    EXPECT_EQ(s.At(10, 20), kRed);
    EXPECT_EQ(s.At(48, 38), kRed);
    EXPECT_EQ(s.At(50, 30), kWhite);
    EXPECT_EQ(s.At(30, 41), kWhite);
    EXPECT_EQ(GetMapMode(s), MM_TEXT);
    DeleteEnhMetaFile(emf);

    // Without a description the window extent sizes the frame (96 dpi: 200 px = 5292).
    const HENHMETAFILE own =
        SetWinMetaFileBits(static_cast<uint32_t>(bits.size()), bits.data(), 0, nullptr);
    ASSERT_NE(own, 0u);
    ASSERT_EQ(GetEnhMetaFileHeader(own, sizeof h, &h), sizeof h);
    EXPECT_NEAR(h.rclFrame.right, 5292, 1);
    EXPECT_NEAR(h.rclFrame.bottom, 2646, 1);
    Board t(128, 128);
    const RECT whole{0, 0, 128, 64};
    EXPECT_TRUE(PlayEnhMetaFile(t, own, &whole));
    EXPECT_EQ(t.At(62, 30), kRed);
    EXPECT_EQ(t.At(64, 30), kWhite);
    DeleteEnhMetaFile(own);
    EXPECT_EQ(SetWinMetaFileBits(4, bits.data(), 0, nullptr), 0u);
}

TEST(EnhancedMetafile, TextRecordDrawsInTheTextColour) {
    std::vector<uint8_t> font;
    Put32(font, 1);
    Put32(font, U(-20));  // lfHeight
    for (int i = 0; i < 3; ++i)
        Put32(font, 0);
    Put32(font, 400);
    for (int i = 0; i < 8 + 64 + 256; ++i)
        font.push_back(0);  // flags, face, extra
    std::vector<uint8_t> text;
    for (int i = 0; i < 4; ++i)
        Put32(text, 0);
    Put32(text, 1);  // graphics mode
    Put32(text, 0);
    Put32(text, 0);
    for (int32_t v : {10, 10})
        Put32(text, U(v));
    const std::u16string hello = u"Hi";
    Put32(text, static_cast<uint32_t>(hello.size()));
    Put32(text, 76);  // string offset from the record start
    Put32(text, 0);   // options
    for (int i = 0; i < 4; ++i)
        Put32(text, 0);
    Put32(text, 0);  // no advances
    for (char16_t c : hello)
        Put16(text, c);
    EmfBuilder b(kFrame);
    b.Raw(82, font).Rec(37, {1}).Rec(24, {kBlue}).Rec(18, {TRANSPARENT}).Raw(84, text);
    Board s(100, 100);
    Play(s, b);
    EXPECT_GT(s.Count(kBlue), 20);
    EXPECT_EQ(s.Count(kBlue) + s.Count(kWhite), 100 * 100);
    EXPECT_EQ(s.At(5, 5), kWhite);
}

}  // namespace
}  // namespace meta_test
