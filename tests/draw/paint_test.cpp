// PaintPicture: placement, stretching, mirroring, clipping with the unclipped factors, raster
// operations; Cls.
#include <cstring>

#include "draw/draw_fixture.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/picture.h"

namespace draw_test {
namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

// A 100 x 50 picture whose every pixel tells where it came from: red = x, green = 4 y.
COLORREF Source(int x, int y) {
    return RGB(x, 4 * y, 0x80);
}

Variant Picture() {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 100, -50, 1, 32, 0, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = platform::CreateDIBSection(0, &info, 0, &bits);
    auto* px = static_cast<uint32_t*>(bits);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            px[y * 100 + x] = static_cast<uint32_t>(x << 16 | 4 * y << 8 | 0x80);
    platform::PictureHolder holder;
    holder.CreateFromBitmap(bitmap, 0, true);
    return Variant::Object(holder.GetPictureDispatch());
}

TEST(PaintPicture, PlacesStretchesMirrorsAndClips) {
    const struct {
        const char* what;
        std::vector<Variant> rest;  // width1, height1, X2, Y2, width2, height2, opcode
        int x, y;                   // a destination pixel
        int sx, sy;                 // the source pixel it shows, or -1 for untouched
    } rows[] = {
        {"1:1", {}, 10, 10, 0, 0},
        {"1:1 far corner", {}, 109, 59, 99, 49},
        {"1:1 ends", {}, 110, 10, -1, -1},
        {"doubled", {F(200), F(100)}, 10 + 2 * 30 + 1, 10 + 2 * 20 + 1, 30, 20},
        {"mirrored", {F(-100)}, 9, 10, 0, 0},
        {"mirrored, left of the corner", {F(-100)}, 10, 10, -1, -1},
        // Source from x = -20, width 120 implied: clipped to 0..99, drawn 83 wide by the
        // unclipped factor 100 / 120 and moved right by 17.
        {"clipped left", {Miss(), Miss(), F(-20)}, 27, 10, 0, 0},
        {"clipped left, before it", {Miss(), Miss(), F(-20)}, 26, 10, -1, -1},
        {"clipped left, its end", {Miss(), Miss(), F(-20)}, 27 + 83, 10, -1, -1},
        // Source beyond the right edge: cut to 40 pixels, destination in proportion.
        {"clipped right", {F(120), F(50), F(60), F(0), F(60), F(50)}, 10 + 2 * 39, 10, 99, 0},
        {"clipped right ends", {F(120), F(50), F(60), F(0), F(60), F(50)}, 10 + 80, 10, -1, -1},
    };
    const Variant picture = Picture();
    for (const auto& r : rows) {
        Surface s(240, 120);
        std::vector<Variant> args{picture, F(10), F(10)};
        args.insert(args.end(), r.rest.begin(), r.rest.end());
        s.Call("PaintPicture", args);
        EXPECT_EQ(s.Pixel(r.x, r.y), r.sx < 0 ? kWhite : Source(r.sx, r.sy)) << r.what;
    }
}

TEST(PaintPicture, RasterOperationsCombineWithTheDestination) {
    Surface s(240, 120);
    const Variant srcInvert = Variant::I4(0x00660046);
    const std::vector<Variant> args{Picture(), F(0),   F(0),   Miss(), Miss(),
                                    Miss(),    Miss(), Miss(), Miss(), srcInvert};
    s.Call("PaintPicture", args);
    EXPECT_EQ(s.Pixel(3, 2), Source(3, 2) ^ kWhite);
    s.Call("PaintPicture", args);
    EXPECT_EQ(s.Pixel(3, 2), kWhite);
    EXPECT_EQ(s.Float("CurrentX"), 0.0f);
}

TEST(PaintPicture, InvalidPicturesAndBitmapTargets) {
    Surface s;
    platform::PictureHolder empty;
    for (const Variant& bad :
         {Variant::Object(nullptr), Variant::Object(empty.GetPictureDispatch())})
        ExpectError([&] { s.Call("PaintPicture", {bad, F(0), F(0)}); }, 481);
    // No bitmap to draw into: 481 before the size is looked at.
    s.Set("DrawTo", I(1));
    ExpectError([&] { s.Call("PaintPicture", {Picture(), F(0), F(0), F(1e9)}); }, 481);
    // Into a bitmap: drawn, and the control repaints whatever AutoRefresh says.
    s.UseBitmap(24, 0xFF, 40, 30);
    s.Set("AutoRefresh", Variant::Bool(false));
    s.site.Paint();
    s.Call("PaintPicture", {Picture(), F(5), F(5)});
    EXPECT_EQ(s.Pixel(6, 7), Source(1, 2));
    EXPECT_TRUE(s.ctrl.IsDirty());
    ExpectError([&] { s.Call("PaintPicture", {Picture(), F(0), F(0), F(1e9)}); }, 380);
}

TEST(PaintPicture, ClsClearsTheWindowAtTheNextPaintAndSendsThePositionHome) {
    Surface s;
    s.Call("Line", {I(0), F(0), F(5), F(20), F(5), Colour(0)});
    EXPECT_EQ(s.Pixel(3, 5), 0u);
    s.Call("Cls", {});
    s.site.Paint();
    EXPECT_EQ(s.Pixel(3, 5), kWhite);
    EXPECT_EQ(s.Float("CurrentX"), 0.0f);
    EXPECT_EQ(s.Float("CurrentY"), 0.0f);
}

TEST(PaintPicture, IconsAreScaledAndClippedToTheDestination) {
    // An 8 x 8 opaque red icon as stored in an icon file (XOR rows, then an all-zero mask).
    std::vector<uint8_t> data(40 + 8 * 8 * 4 + 8 * 4, 0);
    const int32_t header[] = {40, 8, 16, 1 | 32 << 16};  // size, width, height, planes, bits
    std::memcpy(data.data(), header, sizeof header);
    for (size_t i = 0; i < 64; ++i)
        data[40 + 4 * i + 2] = 0xFF;
    platform::PictureHolder icon;
    icon.CreateFromIcon(platform::CreateIconFromResource(
                            data.data(), static_cast<uint32_t>(data.size()), true, 0x00030000),
                        8, 8, true);
    // Source from (4, 0), 4 x 8, drawn 8 x 8: the clip keeps the destination, and the whole
    // icon, twice as wide, is shifted so that its column 4 lands on x = 10.
    Surface s;
    s.Call("PaintPicture", {Variant::Object(icon.GetPictureDispatch()), F(10), F(10), F(8), F(8),
                            F(4), F(0), F(4), F(8)});
    EXPECT_EQ(s.Bounds(kWhite, 64, 48), (std::array{10, 10, 17, 17}));
    EXPECT_EQ(s.Pixel(12, 12), 0x0000FFu);
}

}  // namespace
}  // namespace draw_test
