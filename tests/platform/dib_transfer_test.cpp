// DIB sections and the transfer of packed DIB rows into and out of bitmaps.
#include "gdi_support.h"
#include "platform/os/global_memory.h"

using namespace gdi_test;

TEST(DibSection, RejectsWhatItCannotHold) {
    const struct {
        BITMAPINFOHEADER header;
        uint32_t masks[3];
        uint32_t usage = DIB_RGB_COLORS;
    } rows[] = {
        {MakeInfo(4, 4, 3).bmiHeader, {}},
        {MakeInfo(0, 4, 8).bmiHeader, {}},
        {MakeInfo(4, 0, 8).bmiHeader, {}},
        {MakeInfo(-4, 4, 8).bmiHeader, {}},
        {MakeInfo(4, 4, 8, BI_RLE8).bmiHeader, {}},
        {MakeInfo(4, 4, 24, BI_BITFIELDS).bmiHeader, {0xFF0000, 0xFF00, 0xFF}},
        {MakeInfo(4, 4, 8).bmiHeader, {}, 7},
        {{40, 4, 4, 2, 8, BI_RGB, 0, 0, 0, 0, 0}, {}},                           // two planes
        {MakeInfo(4, 4, 16, BI_BITFIELDS).bmiHeader, {0xF800, 0x0FE0, 0x001F}},  // overlap
        {MakeInfo(4, 4, 32, BI_BITFIELDS).bmiHeader, {0xF0F000, 0xFF00, 0xFF}},  // gap
        {MakeInfo(4, 4, 16, BI_BITFIELDS).bmiHeader, {0x70000, 0xFF00, 0xFF}},   // beyond 16 bits
        {MakeInfo(0x7FFFFFF, 0x7FFFFFF, 32).bmiHeader, {}},  // far too large, refused early
        {{12, 4, 4, 1, 8, BI_RGB, 0, 0, 0, 0, 0}, {}},       // a core header
    };
    for (const auto& row : rows) {
        BITMAPINFO info{row.header, {}};
        SetMasks(info, row.masks[0], row.masks[1], row.masks[2]);
        void* bits = reinterpret_cast<void*>(1);
        const HBITMAP h = CreateDIBSection(0, &info, row.usage, &bits);
        EXPECT_EQ(h, 0u) << (&row - rows);
        EXPECT_EQ(bits, nullptr);
        if (h) DeleteObject(h);
    }
}

TEST(DibTransfer, GetDIBitsWithoutBitsDescribesTheBitmap) {
    BITMAPINFO info = MakeInfo(10, 7, 16, BI_BITFIELDS);
    SetMasks(info, 0xF800, 0x07E0, 0x001F);
    Object bitmap(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr));
    MemoryDc dc;
    BITMAPINFO query{};
    query.bmiHeader.biSize = 40;
    EXPECT_GT(GetDIBits(dc, bitmap, 0, 0, nullptr, &query, DIB_RGB_COLORS), 0);
    const BITMAPINFOHEADER& got = query.bmiHeader;
    EXPECT_TRUE(got.biWidth == 10 && got.biHeight == 7 && got.biBitCount == 16);
    EXPECT_EQ(got.biCompression, static_cast<uint32_t>(BI_BITFIELDS));
    EXPECT_EQ(got.biSizeImage, 20u * 7);
    EXPECT_EQ(std::memcmp(query.bmiColors, info.bmiColors, 12), 0);  // the masks

    // A requested format gets its image size and, for 8 bits and less, its colour table.
    BITMAPINFO pal = MakeInfo(4, 3, 8);
    pal.bmiColors[5] = Quad(10, 20, 30);
    Object indexed(CreateDIBSection(0, &pal, DIB_RGB_COLORS, nullptr));
    BITMAPINFO q8 = MakeInfo(4, 3, 8);
    EXPECT_GT(GetDIBits(dc, indexed, 0, 3, nullptr, &q8, DIB_RGB_COLORS), 0);
    EXPECT_EQ(q8.bmiHeader.biSizeImage, 12u);
    EXPECT_EQ(std::memcmp(&q8.bmiColors[5], &pal.bmiColors[5], 4), 0);
    BITMAPINFO q1 = MakeInfo(33, 3, 1);
    EXPECT_GT(GetDIBits(dc, indexed, 0, 3, nullptr, &q1, DIB_RGB_COLORS), 0);
    EXPECT_EQ(q1.bmiHeader.biSizeImage, 8u * 3);
    EXPECT_EQ(q1.bmiColors[1].rgbGreen, 255);  // black and white for one bit
    EXPECT_EQ(q1.bmiColors[0].rgbGreen, 0);

    // A device bitmap of a 32-bit display is plain BI_RGB; a bit count of 0 with bits is refused.
    WindowDc window;
    Object device(CreateCompatibleBitmap(window, 5, 5));
    BITMAPINFO qd{};
    qd.bmiHeader.biSize = 40;
    EXPECT_GT(GetDIBits(dc, device, 0, 0, nullptr, &qd, DIB_RGB_COLORS), 0);
    EXPECT_TRUE(qd.bmiHeader.biBitCount == 32 && qd.bmiHeader.biCompression == BI_RGB);
    uint8_t scratch[128];
    qd.bmiHeader.biBitCount = 0;
    EXPECT_EQ(GetDIBits(dc, device, 0, 5, scratch, &qd, DIB_RGB_COLORS), 0);
}

TEST(DibTransfer, ScanLineRangesCountFromTheBottom) {
    const int w = 2, h = 5;
    BITMAPINFO info = MakeInfo(w, h, 24);
    Object bitmap(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr));
    MemoryDc dc(bitmap);
    // Three scan lines starting at scan line 1: rows 3, 2 and 1 from the top.
    std::vector<uint8_t> rows(Stride(w, 24) * 3);
    for (int s = 0; s < 3; ++s)
        rows[s * Stride(w, 24) + 2] = static_cast<uint8_t>(100 + s);
    EXPECT_EQ(SetDIBits(dc, bitmap, 1, 3, rows.data(), &info, DIB_RGB_COLORS), 3);
    for (int y = 0; y < h; ++y)
        EXPECT_EQ(GetPixel(dc, 0, y), y == 0 || y == 4 ? 0 : RGB(103 - y, 0, 0)) << y;
    // Lines past the top are dropped; a start past the top copies nothing.
    EXPECT_EQ(SetDIBits(dc, bitmap, 3, 10, rows.data(), &info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(101, 0, 0));
    EXPECT_EQ(SetDIBits(dc, bitmap, 5, 1, rows.data(), &info, DIB_RGB_COLORS), 0);

    std::vector<uint8_t> back(Stride(w, 24) * 2, 0xEE);
    BITMAPINFO out = MakeInfo(w, h, 24);
    EXPECT_EQ(GetDIBits(dc, bitmap, 2, 2, back.data(), &out, DIB_RGB_COLORS), 2);
    EXPECT_EQ(back[2], 101);                  // scan line 2 = row 2 from the top
    EXPECT_EQ(back[Stride(w, 24) + 2], 100);  // scan line 3 = row 1, rewritten above
    EXPECT_EQ(GetDIBits(dc, bitmap, 9, 2, back.data(), &out, DIB_RGB_COLORS), 0);

    // A top-down request lists rows from the top.
    BITMAPINFO td = MakeInfo(w, -h, 24);
    std::vector<uint8_t> all(Stride(w, 24) * h);
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, h, all.data(), &td, DIB_RGB_COLORS), h);
    EXPECT_EQ(all[2], 101);
    EXPECT_EQ(all[3 * Stride(w, 24) + 2], 100);
}

TEST(DibTransfer, IndexedTargetsTakeTheNearestColourOfTheirTable) {
    // A colour image read as 8 bits through a selected palette: indices of the nearest entries.
    LOGPALETTE lp{};
    lp.palVersion = 0x300;
    lp.palNumEntries = 4;
    lp.palPalEntry[0] = {0, 0, 0, 0};
    lp.palPalEntry[1] = {200, 0, 0, 0};
    lp.palPalEntry[2] = {0, 0, 200, 0};
    lp.palPalEntry[3] = {200, 0, 0, 0};  // repeats entry 1: the lower index wins
    Object palette(CreatePalette(&lp));
    BITMAPINFO info = MakeInfo(4, 1, 24);
    Object bitmap(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr));
    const uint8_t row[12] = {0, 0, 190, 150, 0, 0, 10, 10, 10, 0, 0, 255};  // BGR
    MemoryDc dc;
    ASSERT_EQ(SetDIBits(dc, bitmap, 0, 1, row, &info, DIB_RGB_COLORS), 1);
    const HPALETTE old = SelectPalette(dc, palette, false);
    BITMAPINFO out = MakeInfo(4, 1, 8);
    uint8_t idx[4] = {};
    ASSERT_EQ(GetDIBits(dc, bitmap, 0, 1, idx, &out, DIB_RGB_COLORS), 1);
    EXPECT_EQ(std::vector<uint8_t>(idx, idx + 4), (std::vector<uint8_t>{1, 2, 0, 1}));
    EXPECT_EQ(out.bmiColors[2].rgbBlue, 200);
    // DIB_PAL_COLORS reports the table as indices into that palette.
    BITMAPINFO outPal = MakeInfo(4, 1, 8);
    ASSERT_EQ(GetDIBits(dc, bitmap, 0, 1, idx, &outPal, DIB_PAL_COLORS), 1);
    uint16_t indices[4];
    std::memcpy(indices, outPal.bmiColors, sizeof indices);
    EXPECT_EQ(indices[3], 3);
    // And SetDIBits reads such a table through the DC's palette.
    BITMAPINFO in = MakeInfo(2, 1, 8);
    const uint16_t table[3] = {2, 1, 0};
    std::memcpy(in.bmiColors, table, sizeof table);
    const uint8_t pix[4] = {0, 1, 0, 0};
    ASSERT_EQ(SetDIBits(dc, bitmap, 0, 1, pix, &in, DIB_PAL_COLORS), 1);
    SelectPalette(dc, old, false);
    MemoryDc view(bitmap);
    EXPECT_EQ(GetPixel(view, 0, 0), RGB(0, 0, 200));
    EXPECT_EQ(GetPixel(view, 1, 0), RGB(200, 0, 0));
    // Between equal tables indices go over as they are, even where a table repeats a colour.
    BITMAPINFO twice = MakeInfo(1, 1, 8);
    twice.bmiColors[0] = twice.bmiColors[2] = Quad(9, 9, 9);
    void* kept = nullptr;
    Object same(CreateDIBSection(0, &twice, DIB_RGB_COLORS, &kept));
    const uint8_t two[4] = {2};
    ASSERT_EQ(SetDIBits(view, same, 0, 1, two, &twice, DIB_RGB_COLORS), 1);
    EXPECT_EQ(*static_cast<uint8_t*>(kept), 2);
}

TEST(DeviceBitmaps, CreationRulesAndPadding) {
    // CreateBitmap rows are padded to 16 bits, top row first.
    const uint8_t mono[6] = {0x80, 0x40, 0x00, 0x00, 0x01, 0xFF};
    Object bitmap(CreateBitmap(10, 3, 1, 1, mono));
    MemoryDc dc(bitmap);
    const char* rows[] = {"#........#", "..........", ".......###"};  // '#' white
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(GetPixel(dc, x, y), rows[y][x] == '#' ? kWhite : kBlack) << x << "," << y;
    BITMAP bm{};
    GetObject(bitmap, sizeof bm, &bm);
    EXPECT_TRUE(bm.bmWidthBytes == 2 && bm.bmBitsPixel == 1 && bm.bmBits == nullptr);

    // A fresh memory DC holds a monochrome bitmap, so bitmaps compatible with it are monochrome.
    MemoryDc fresh;
    Object monoCompatible(CreateCompatibleBitmap(fresh, 4, 4));
    GetObject(monoCompatible, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    // Compatible with the display (or a display DC): the display's depth.
    Object display(CreateCompatibleBitmap(0, 4, 4));
    GetObject(display, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, DisplayDepth());
    // With a DIB section selected: a DIB section of the same format and table.
    BITMAPINFO info = MakeInfo(2, 2, 4);
    info.bmiColors[3] = Quad(1, 2, 3);
    Object section(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr));
    MemoryDc holder(section);
    Object like(CreateCompatibleBitmap(holder, 3, 3));
    GetObject(like, sizeof bm, &bm);
    EXPECT_TRUE(bm.bmBitsPixel == 4 && bm.bmBits != nullptr);
    BITMAPINFO q = MakeInfo(3, 3, 4);
    GetDIBits(holder, like, 0, 3, nullptr, &q, DIB_RGB_COLORS);
    EXPECT_EQ(q.bmiColors[3].rgbRed, 1);
    // Zero size gives the shared 1 x 1 bitmap, which cannot be deleted.
    const HBITMAP empty = CreateCompatibleBitmap(0, 0, 5);
    ASSERT_NE(empty, 0u);
    EXPECT_FALSE(DeleteObject(empty));
    EXPECT_EQ(CreateCompatibleBitmap(0, -1, 5), 0u);
    EXPECT_EQ(CreateBitmap(4, 4, 2, 1, nullptr), 0u);
}

TEST(DeviceBitmaps, CreateDIBitmapMakesMasksMonochrome) {
    // Only a 1-bit DIB with a black-then-white table gives a monochrome bitmap.
    BITMAPINFO info = MakeInfo(8, 2, 1);
    info.bmiColors[1] = Quad(255, 255, 255);
    const uint8_t bits[8] = {0xF0, 0, 0, 0, 0x0F, 0, 0, 0};
    WindowDc window;
    Object mask(CreateDIBitmap(window, &info.bmiHeader, CBM_INIT, bits, &info, DIB_RGB_COLORS));
    BITMAP bm{};
    GetObject(mask, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    MemoryDc dc(mask);
    EXPECT_EQ(GetPixel(dc, 0, 1), kWhite);  // bottom scan line 0xF0
    EXPECT_EQ(GetPixel(dc, 0, 0), kBlack);
    EXPECT_EQ(GetPixel(dc, 7, 0), kWhite);

    // An 8-bit mask DIB as the loader builds one: a display-depth bitmap of black and white.
    BITMAPINFO eight = MakeInfo(4, 1, 8);
    eight.bmiColors[2] = Quad(255, 255, 255);
    const uint8_t idx[4] = {0, 2, 1, 2};
    Object colour(CreateDIBitmap(window, &eight.bmiHeader, CBM_INIT, idx, &eight, DIB_RGB_COLORS));
    GetObject(colour, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, DisplayDepth());
    MemoryDc cdc(colour);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(GetPixel(cdc, x, 0), idx[x] == 2 ? kWhite : kBlack) << x;

    // A header the engine cannot take leaves nothing behind.
    const size_t before = CountHandles(HandleKind::Bitmap);
    BITMAPINFO bad = MakeInfo(4, 1, 8, BI_RLE8);
    EXPECT_EQ(CreateDIBitmap(0, &bad.bmiHeader, CBM_INIT, idx, &bad, DIB_RGB_COLORS), 0u);
    EXPECT_EQ(CountHandles(HandleKind::Bitmap), before);
}

// A DIB section made over a memory block takes the block's storage as its pixels.
TEST(DibSection, TakesOverAMemoryBlock) {
    BITMAPINFO info = MakeInfo(5, 3, 24, BI_RGB);
    const size_t size = static_cast<size_t>(Stride(5, 24)) * 3;
    HGLOBAL block = platform::GlobalAlloc(GHND, size);
    auto* p = static_cast<uint8_t*>(platform::GlobalLock(block));
    p[0] = 10, p[1] = 20, p[2] = 30;  // bottom row, first pixel (blue, green, red)
    platform::GlobalUnlock(block);

    HGLOBAL tooSmall = platform::GlobalAlloc(GHND, size - 1);
    void* bits = nullptr;
    EXPECT_EQ(platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, tooSmall, 0), 0u);
    EXPECT_EQ(platform::GlobalSize(tooSmall), size - 1);  // refused and left alone
    platform::GlobalFree(tooSmall);
    EXPECT_EQ(platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, block, 4), 0u);

    HBITMAP bmp = platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, block, 0);
    ASSERT_NE(bmp, 0u);
    EXPECT_EQ(bits, p);                          // no copy
    EXPECT_EQ(platform::GlobalSize(block), 0u);  // the block's handle is gone
    EXPECT_EQ(platform::GlobalLock(block), nullptr);
    EXPECT_EQ(GetPixel(MemoryDc(bmp), 0, 2), RGB(30, 20, 10));
    EXPECT_TRUE(platform::DeleteObject(bmp));
}
