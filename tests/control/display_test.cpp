// The display through _DLumora by name in a headless site: layout in every auto-size mode,
// scroll ranges and steps, scrolling, placement by Position, the thumbnail layout, the pixels a
// paint leaves and the Paint and Resize events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control_fixture.h"
#include "picture_files.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/picture.h"

using namespace platform;
using namespace control_test;
using control::CLumoraCtrl;

namespace {

constexpr COLORREF kBack = kGreen;

COLORREF Gradient(int x, int y) {
    return RGB(10 + 2 * (x % 100), 10 + 2 * (y % 100), 77);
}

COLORREF Red(int, int) {
    return kRed;
}

// Writes a picture into the scratch folder and loads it.
void LoadBmp(CLumoraCtrl& c, const ScratchDir& dir, int width, int height,
             COLORREF (*color)(int, int) = Gradient) {
    const std::string path =
        dir.path("p" + std::to_string(width) + "x" + std::to_string(height) + ".bmp");
    WriteBytes(path, MakeBmp24(width, height, color));
    Set(c, "FileName", Variant::Bstr(path));
    ASSERT_EQ(Get(c, "bmpw"), Variant::I2(static_cast<int16_t>(width)));
    ASSERT_EQ(Get(c, "bmph"), Variant::I2(static_cast<int16_t>(height)));
}

int32_t Long(CLumoraCtrl& c, const char* name) {
    return Get(c, name).AsI4();
}

}  // namespace

TEST(Display, ScrollRangesStepsAndBars) {
    struct Row {
        int16_t appearance;
        float zoom, aspect;
        int width, height;
        int32_t horz, vert;  // ranges; steps and bars only where positive
        int32_t horzPage, horzLine, vertPage, vertLine;
    };
    const Row rows[] = {
        {1, 2, 1, 200, 100, 104, -96, 20, 10, 0, 0},
        {1, 1, 1, 200, 100, -96, -196, 0, 0, 0, 0},
        {0, 1, 1, 50, 400, -250, 101, 0, 0, 20, 10},  // a range of exactly 100 widens
        {0, 1, 1, 305, 307, 5, 7, 1, 1, 1, 1},        // too small for a step: one pixel
        {0, 1, 1, 303, 302, 3, 2, 1, 1, 1, 1},
        {0, 1, 2, 305, 307, 5, 314, 1, 1, 62, 31},  // aspect stretches the height only
        {0, 2, 1, 151, 151, 2, 2, 1, 1, 1, 1},      // zoomed past the window by two pixels
    };
    ScratchDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        Sited s(300, 300, 0, row.appearance, kBack);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, row.width, row.height);
        Set(c, "Zoom", Variant::R4(row.zoom));
        Set(c, "Aspect", Variant::R4(row.aspect));
        EXPECT_EQ(Long(c, "HorzRange"), row.horz);
        EXPECT_EQ(Long(c, "VertRange"), row.vert);
        EXPECT_EQ(s.site.ScrollBar(SB_HORZ).visible, row.horz > 0);
        EXPECT_EQ(s.site.ScrollBar(SB_VERT).visible, row.vert > 0);
        if (row.horz > 0) {
            EXPECT_EQ(s.site.ScrollBar(SB_HORZ).max, row.horz);
            EXPECT_EQ(c.View().horzPageStep, row.horzPage);
            EXPECT_EQ(c.View().horzLineStep, row.horzLine);
        }
        if (row.vert > 0) {
            EXPECT_EQ(s.site.ScrollBar(SB_VERT).max, row.vert);
            EXPECT_EQ(c.View().vertPageStep, row.vertPage);
            EXPECT_EQ(c.View().vertLineStep, row.vertLine);
        }
    }
}

TEST(Display, AutoSizeModesResizeTheControl) {
    struct Row {
        int16_t mode;
        std::pair<int, int> start, fitted, hostAsks, afterHost;
    };
    const Row rows[] = {
        {0, {206, 156}, {206, 156}, {306, 206}, {306, 206}},  // ranges follow the client size
        {1, {320, 240}, {206, 156}, {500, 500}, {206, 156}},  // the host cannot change it
        {2, {206, 50}, {206, 156}, {306, 10}, {306, 231}},    // a new width keeps proportions
        {3, {50, 156}, {206, 156}, {10, 306}, {406, 306}},
        {4, {206, 156}, {206, 156}, {300, 200}, {300, 200}},  // fitted inside: extent left alone
    };
    ScratchDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        Sited s(row.start.first, row.start.second, 1, 1, kBack);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 400, 300);
        if (row.mode == 1) Set(c, "Zoom", Variant::R4(0.5f));
        s.site.ClearEvents();
        Set(c, "AutoSize", Variant::I2(row.mode));
        EXPECT_EQ(s.Extent(), row.fitted);
        EXPECT_EQ(s.Count("Resize"), row.fitted != row.start ? 1 : 0);
        // Only mode 0 scrolls; a picture fitted to the control (4) keeps no bars from before.
        EXPECT_EQ(s.site.ScrollBar(SB_HORZ).visible, row.mode == 0);
        s.site.ClearEvents();
        s.site.Resize(row.hostAsks.first, row.hostAsks.second);
        EXPECT_EQ(s.Extent(), row.afterHost);
        if (row.mode == 0) {
            EXPECT_EQ(c.View().clientWidth, 300);
            EXPECT_EQ(c.View().clientHeight, 200);
            EXPECT_EQ(s.Count("Resize"), 1);
            EXPECT_EQ(Long(c, "HorzRange"), 100);
            EXPECT_EQ(Long(c, "VertRange"), 101);
            EXPECT_EQ(s.site.ScrollBar(SB_HORZ).max, 100);
        }
    }
}

TEST(Display, ScrollingMovesTheViewByTheWidenedFactor) {
    ScratchDir dir;
    Sited s(300, 300, 0, 0, kBack);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 400, 300);
    ASSERT_EQ(Long(c, "HorzRange"), 100);
    ASSERT_EQ(Long(c, "VertRange"), 0);

    // Each step moves the bar within 0..100 and the view by 121 / 100, rounded.
    const struct {
        int code, pos, bar, view;
    } steps[] = {
        {SB_PAGERIGHT, 0, 20, 24},      {SB_LINERIGHT, 0, 30, 36},
        {SB_THUMBTRACK, 100, 100, 121}, {SB_LINERIGHT, 0, 100, 121},
        {SB_PAGELEFT, 0, 80, 97},       {SB_LINELEFT, 0, 70, 85},
        {SB_THUMBPOSITION, -40, 0, 0},  {SB_THUMBPOSITION, 50, 50, 60},
        {SB_ENDSCROLL, 0, 50, 60},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.code);
        c.HScroll(step.code, step.pos);
        EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, step.bar);
        EXPECT_EQ(Long(c, "HorzPos"), step.view);
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(10, 7), Gradient(10 + step.view, 7));
    }
    // Nothing to scroll vertically.
    c.VScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(Long(c, "VertPos"), 0);

    // The properties scroll without the factor, within the range only.
    Set(c, "HorzPos", Variant::I4(100));
    EXPECT_EQ(Long(c, "HorzPos"), 100);
    EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, 100);
    ExpectInvalidValue([&] { Set(c, "HorzPos", Variant::I4(101)); }, "HorzPos past the range");
}

TEST(Display, PositionPlacesASmallImage) {
    ScratchDir dir;
    Sited s(300, 300, 0, 0, kBack);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 100, 50);
    const std::pair<int, int> corners[] = {{0, 0},     {100, 0}, {200, 0}, {200, 125}, {200, 250},
                                           {100, 250}, {0, 250}, {0, 125}, {100, 125}};
    for (int16_t p = 0; p <= 8; ++p) {
        SCOPED_TRACE(p);
        const auto [left, top] = corners[p];
        Set(c, "Position", Variant::I2(p));
        s.site.Paint();
        EXPECT_EQ(Long(c, "HorzPos"), -left);
        EXPECT_EQ(Long(c, "VertPos"), -top);
        EXPECT_EQ(s.site.Pixel(left, top), Gradient(0, 0));
        EXPECT_EQ(s.site.Pixel(left + 99, top + 49), Gradient(99, 49));
        // The strips around the image are the background.
        for (const auto& [x, y] :
             {std::pair{left - 1, top}, {left + 100, top}, {left, top - 1}, {left, top + 50}})
            if (x >= 0 && y >= 0 && x < 300 && y < 300) {
                EXPECT_EQ(s.site.Pixel(x, y), kBack) << x << "," << y;
            }
    }
}

// Every paint after the first copies the stretched picture it kept: both must show the picture
// at its zoom and aspect, and the background beside it.
TEST(Display, PaintsDrawTheImageAtZoomAndAspect) {
    ScratchDir dir;
    Sited s(64, 48, 0, 0, kBack);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 10, 8);
    for (const auto& [zoom, aspect] : {std::pair{1, 1}, {2, 1}, {1, 2}, {3, 1}}) {
        SCOPED_TRACE(std::to_string(zoom) + "/" + std::to_string(aspect));
        Set(c, "Zoom", Variant::R4(static_cast<float>(zoom)));
        Set(c, "Aspect", Variant::R4(static_cast<float>(aspect)));
        for (int paint = 0; paint < 2; ++paint) {
            s.site.Paint();
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x) {
                    const int ix = x / zoom, iy = y / (zoom * aspect);
                    ASSERT_EQ(s.site.Pixel(x, y), ix < 10 && iy < 8 ? Gradient(ix, iy) : kBack)
                        << x << "," << y << " paint " << paint;
                }
        }
    }
    // Fitted to the control, the image fills the client area.
    Set(c, "Zoom", Variant::R4(1.0f));
    Set(c, "Aspect", Variant::R4(1.0f));
    Set(c, "AutoSize", Variant::I2(4));
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(0, 0), Gradient(0, 0));
    EXPECT_EQ(s.site.Pixel(63, 47), Gradient(9, 7));
}

// A change to the picture's own pixels, as a drawing method makes, shows at the next paint.
TEST(Display, RepaintsShowTheCurrentPicture) {
    ScratchDir dir;
    Sited s(64, 48, 0, 0, kBack);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 10, 8);
    Set(c, "Zoom", Variant::R4(3.0f));
    s.site.Paint();

    const HBITMAP image = c.Image().bitmap;
    ASSERT_NE(image, 0u);
    const HDC mem = CreateCompatibleDC(0);
    const HGDIOBJ old = SelectObject(mem, image);
    const HBRUSH red = CreateSolidBrush(kRed);
    const RECT spot{2, 1, 4, 2};
    FillRect(mem, &spot, red);
    DeleteObject(red);
    SelectObject(mem, old);
    DeleteDC(mem);
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(6, 3), kRed);
    EXPECT_EQ(s.site.Pixel(11, 5), kRed);
    EXPECT_EQ(s.site.Pixel(12, 3), Gradient(4, 1));

    // A re-zoomed view is stretched afresh.
    Set(c, "Zoom", Variant::R4(1.0f));
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(2, 1), kRed);
    EXPECT_EQ(s.site.Pixel(5, 5), Gradient(5, 5));
}

struct Probe {
    int x, y;
    COLORREF colour;
};

void ExpectThumbnail(int width, int height, int16_t appearance, int16_t thumbnail,
                     const std::vector<Probe>& probes) {
    SCOPED_TRACE(std::to_string(width) + "/" + std::to_string(appearance));
    ScratchDir dir;
    Sited s(320, 240, 0, appearance, kBack);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, width, height, Red);
    Set(c, "Thumbnail", Variant::I2(thumbnail));
    EXPECT_EQ(s.Extent(), std::make_pair(int{thumbnail}, int{thumbnail}));
    s.site.Paint();
    for (const Probe& p : probes)
        EXPECT_EQ(s.site.Pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
    // Back to the normal layout.
    Set(c, "Thumbnail", Variant::I2(0));
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(0, 0), kRed);
    if (width < 80) {
        EXPECT_EQ(s.site.Pixel(width, 0), kBack);
    }
}

TEST(Display, ThumbnailBoxesTheImage) {
    // Box left 4, top 26, right 91, bottom 69.
    ExpectThumbnail(400, 200, 1, 100,
                    {{4, 26, kRed},
                     {90, 68, kRed},
                     {3, 40, kBack},
                     {91, 40, kBack},
                     {50, 25, kBack},
                     {50, 69, kBack}});
    // A small image sits centred at its own size.
    ExpectThumbnail(
        20, 10, 1, 100,
        {{40, 45, kRed}, {59, 54, kRed}, {39, 45, kBack}, {60, 54, kBack}, {40, 55, kBack}});
    // Flat: the bevelled frame picture fills the control behind the image.
    ExpectThumbnail(20, 10, 0, 94,
                    {{0, 0, RGB(255, 255, 255)},
                     {93, 93, RGB(128, 128, 128)},
                     {10, 50, RGB(192, 192, 192)},
                     {37, 42, kRed}});
}

TEST(Display, EveryPaintRaisesPaint) {
    Sited s(100, 80, 1, 1, kBack);
    CLumoraCtrl& c = s.ctrl;
    s.site.ClearEvents();
    s.site.Paint();
    EXPECT_EQ(s.site.Events(), std::vector<std::string>{"Paint"});
    EXPECT_EQ(s.site.Pixel(50, 40), kBack);  // no image: all background

    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    s.site.ClearEvents();
    c.CallMethod("Refresh");
    EXPECT_EQ(s.Count("Paint"), 1);

    // AutoRefresh repaints before the decode as well.
    s.site.ClearEvents();
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset8.bmp")));
    EXPECT_EQ(s.Count("Paint"), 1);
    Set(c, "AutoRefresh", Variant::Bool(false));
    s.site.ClearEvents();
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    EXPECT_EQ(s.Count("Paint"), 0);
}

TEST(Display, PictureAsShownCopiesTheView) {
    Sited s(120, 90, 0, 0, kBack);
    CLumoraCtrl& c = s.ctrl;
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    Set(c, "Position", Variant::I2(8));
    s.site.Paint();
    const auto picture = std::dynamic_pointer_cast<PictureObject>(Get(c, "Picture").AsDispatch());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Type(), PICTYPE_BITMAP);
    EXPECT_EQ(picture->Width(), PixelsToHimetric(120, 96));
    EXPECT_EQ(picture->Height(), PixelsToHimetric(90, 96));
    const std::vector<POINT> at = {{0, 0}, {12, 13}, {60, 45}, {119, 89}};
    EXPECT_EQ(BitmapPixels(picture->Handle(), at), SitePixels(s.site, at));
}

// On a palette display the window keeps the mapped view between paints; it shows what drawing
// the control afresh into a display-compatible bitmap gives, before and after another window
// realises a palette of its own.
TEST(Display, PaletteDisplayRepaintsMatchAFreshDraw) {
    ASSERT_TRUE(SetDisplayDepth(8));
    struct Restore {
        ~Restore() { SetDisplayDepth(32); }
    } restore;
    ScratchDir dir;
    Sited s(64, 48, 0, 0, kBack);
    LoadBmp(s.ctrl, dir, 64, 48);
    const HDC screen = GetDC(0);
    auto expectFreshDraw = [&](const char* when) {
        s.site.Paint();
        const HDC mem = CreateCompatibleDC(screen);
        const HBITMAP fresh = CreateCompatibleBitmap(screen, 64, 48);
        const HGDIOBJ old = SelectObject(mem, fresh);
        s.ctrl.DrawInto(mem, RECT{0, 0, 64, 48});
        for (int y = 0; y < 48; y += 3)
            for (int x = 0; x < 64; x += 3)
                ASSERT_EQ(s.site.Pixel(x, y), GetPixel(mem, x, y)) << when << " " << x << "," << y;
        SelectObject(mem, old);
        DeleteObject(fresh);
        DeleteDC(mem);
    };
    expectFreshDraw("first paint");
    expectFreshDraw("second paint");

    std::vector<uint8_t> storage(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = 1;
    logical->palPalEntry[0] = {90, 30, 200, 0};
    const HPALETTE other = CreatePalette(logical);
    const HPALETTE previous = SelectPalette(screen, other, false);
    ASSERT_GT(RealizePalette(screen), 0u);
    expectFreshDraw("after another palette");
    SelectPalette(screen, previous, false);
    ReleaseDC(0, screen);
    DeleteObject(other);
}
