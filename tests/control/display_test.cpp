// The display through _DLumora by name in a headless site: client size, layout in every
// auto-size mode, scroll ranges and steps, scrolling, placement by Position, the thumbnail
// layout, the pixels a paint leaves and the Paint and Resize events.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "control_fixture.h"
#include "picture_files.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/picture.h"

using namespace platform;
using control::CLumoraCtrl;
using control_test::ExpectControlError;
using control_test::Get;
using control_test::MakeBmp24;
using control_test::SamplePath;
using control_test::ScratchDir;
using control_test::Set;
using control_test::WriteBytes;

namespace {

constexpr COLORREF kBack = RGB(0, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);

struct Sited {
    CLumoraCtrl ctrl;
    HeadlessSite site;
    Sited(int width, int height, int16_t border, int16_t appearance) : site(ctrl, width, height) {
        ctrl.InitNew();
        Set(ctrl, "BorderStyle", Variant::I2(border));
        Set(ctrl, "Appearance", Variant::I2(appearance));
        Set(ctrl, "BackColor", Variant::I4(static_cast<int32_t>(kBack)));
    }
};

COLORREF Gradient(int x, int y) {
    return RGB(10 + 2 * (x % 100), 10 + 2 * (y % 100), 77);
}

// Writes a picture into the scratch folder and loads it.
void LoadBmp(CLumoraCtrl& c, const ScratchDir& dir, int width, int height,
             COLORREF (*color)(int, int)) {
    const std::string path =
        dir.File("p" + std::to_string(width) + "x" + std::to_string(height) + ".bmp");
    WriteBytes(path, MakeBmp24(width, height, color));
    Set(c, "FileName", Variant::Bstr(path));
    ASSERT_EQ(Get(c, "bmpw"), Variant::I2(static_cast<int16_t>(width)));
    ASSERT_EQ(Get(c, "bmph"), Variant::I2(static_cast<int16_t>(height)));
}

int32_t Long(CLumoraCtrl& c, const char* name) {
    return Get(c, name).AsI4();
}

std::pair<int, int> Extent(const Sited& s) {
    return {s.site.ExtentWidth(), s.site.ExtentHeight()};
}

int CountEvents(const HeadlessSite& site, const std::string& name) {
    return static_cast<int>(std::count(site.Events().begin(), site.Events().end(), name));
}

}  // namespace

TEST(Display, ClientSizeFollowsBorderStyleAndAppearance) {
    Sited s(320, 240, 1, 1);
    CLumoraCtrl& c = s.ctrl;
    EXPECT_EQ(c.View().clientWidth, 314);
    EXPECT_EQ(c.View().clientHeight, 234);
    Set(c, "BorderStyle", Variant::I2(0));
    EXPECT_EQ(c.View().clientWidth, 316);
    EXPECT_EQ(c.View().clientHeight, 236);
    Set(c, "Appearance", Variant::I2(0));
    EXPECT_EQ(c.View().clientWidth, 320);
    EXPECT_EQ(c.View().clientHeight, 240);
    Set(c, "BorderStyle", Variant::I2(1));
    EXPECT_EQ(c.View().clientWidth, 318);

    s.site.ClearEvents();
    s.site.Resize(200, 100);
    EXPECT_EQ(Extent(s), std::make_pair(200, 100));
    EXPECT_EQ(c.View().clientWidth, 198);
    EXPECT_EQ(c.View().clientHeight, 98);
    EXPECT_EQ(CountEvents(s.site, "Resize"), 1);
}

TEST(Display, ScrollRangesAndStepsOfTheOffMode) {
    ScratchDir dir("ranges");
    {
        Sited s(300, 300, 0, 1);
        CLumoraCtrl& c = s.ctrl;
        Set(c, "Zoom", Variant::R4(2.0f));
        LoadBmp(c, dir, 200, 100, Gradient);
        EXPECT_EQ(c.View().clientWidth, 296);
        EXPECT_EQ(c.View().clientHeight, 296);
        EXPECT_EQ(Long(c, "HorzRange"), 104);
        EXPECT_EQ(Long(c, "VertRange"), -96);
        EXPECT_EQ(c.View().horzPageStep, 20);
        EXPECT_EQ(c.View().horzLineStep, 10);
        EXPECT_TRUE(s.site.ScrollBar(SB_HORZ).visible);
        EXPECT_EQ(s.site.ScrollBar(SB_HORZ).max, 104);
        EXPECT_FALSE(s.site.ScrollBar(SB_VERT).visible);

        // Halving the zoom makes the image fit: both bars go.
        Set(c, "Zoom", Variant::R4(1.0f));
        EXPECT_EQ(Long(c, "HorzRange"), -96);
        EXPECT_FALSE(s.site.ScrollBar(SB_HORZ).visible);
    }
    {
        // A zoomed height of exactly the client height plus 100 gives a range of 101.
        Sited s(300, 300, 0, 0);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 50, 400, Gradient);
        EXPECT_EQ(Long(c, "VertRange"), 101);
        EXPECT_EQ(s.site.ScrollBar(SB_VERT).max, 101);
        EXPECT_EQ(c.View().vertPageStep, 20);
        EXPECT_EQ(c.View().vertLineStep, 10);
        EXPECT_EQ(Long(c, "HorzRange"), -250);
    }
    {
        // A range too small for a step still steps by one pixel.
        Sited s(300, 300, 0, 0);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 305, 307, Gradient);
        EXPECT_EQ(Long(c, "HorzRange"), 5);
        EXPECT_EQ(c.View().horzPageStep, 1);
        EXPECT_EQ(c.View().horzLineStep, 1);
        EXPECT_EQ(c.View().vertPageStep, 1);
        EXPECT_EQ(c.View().vertLineStep, 1);
        // Aspect stretches the height only.
        Set(c, "Aspect", Variant::R4(2.0f));
        EXPECT_EQ(Long(c, "VertRange"), 314);
        EXPECT_EQ(Long(c, "HorzRange"), 5);
    }
}

TEST(Display, AutoSizeModesResizeTheControl) {
    ScratchDir dir("autosize");
    {
        Sited s(320, 240, 1, 1);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 400, 300, Gradient);
        Set(c, "Zoom", Variant::R4(0.5f));
        s.site.ClearEvents();
        Set(c, "AutoSize", Variant::I2(1));
        EXPECT_EQ(Extent(s), std::make_pair(206, 156));
        EXPECT_EQ(c.View().clientWidth, 200);
        EXPECT_EQ(c.View().clientHeight, 150);
        EXPECT_EQ(CountEvents(s.site, "Resize"), 1);
        EXPECT_FALSE(s.site.ScrollBar(SB_HORZ).visible);
        // The host cannot give a fitted control another size.
        s.site.Resize(500, 500);
        EXPECT_EQ(Extent(s), std::make_pair(206, 156));
        // Mode 4 leaves the extent alone; out of range raises.
        Set(c, "AutoSize", Variant::I2(4));
        EXPECT_EQ(Extent(s), std::make_pair(206, 156));
        ExpectControlError([&] { Set(c, "AutoSize", Variant::I2(5)); }, 380,
                           "Invalid property value", "AutoSize 5");
        ExpectControlError([&] { Set(c, "AutoSize", Variant::I2(-1)); }, 380,
                           "Invalid property value", "AutoSize -1");
        EXPECT_EQ(Get(c, "AutoSize"), Variant::I2(4));
    }
    {
        Sited s(206, 50, 1, 1);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 400, 300, Gradient);
        Set(c, "AutoSize", Variant::I2(2));
        EXPECT_EQ(Extent(s), std::make_pair(206, 156));
        // A new width keeps the picture's proportions.
        s.site.Resize(306, 10);
        EXPECT_EQ(Extent(s), std::make_pair(306, 231));
    }
    {
        Sited s(50, 156, 1, 1);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 400, 300, Gradient);
        Set(c, "AutoSize", Variant::I2(3));
        EXPECT_EQ(Extent(s), std::make_pair(206, 156));
        s.site.Resize(10, 306);
        EXPECT_EQ(Extent(s), std::make_pair(406, 306));
    }
    {
        // Off: a host resize rebuilds the scroll state for the new client size.
        Sited s(206, 156, 1, 1);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 400, 300, Gradient);
        EXPECT_EQ(Long(c, "HorzRange"), 200);
        s.site.Resize(306, 206);
        EXPECT_EQ(Long(c, "HorzRange"), 100);
        EXPECT_EQ(Long(c, "VertRange"), 100 + 1);
        EXPECT_EQ(s.site.ScrollBar(SB_HORZ).max, 100);
    }
}

TEST(Display, ScrollingMovesTheViewByTheWidenedFactor) {
    ScratchDir dir("scroll");
    Sited s(300, 300, 0, 0);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 400, 300, Gradient);
    ASSERT_EQ(Long(c, "HorzRange"), 100);
    ASSERT_EQ(Long(c, "VertRange"), 0);

    c.HScroll(SB_PAGERIGHT, 0);
    EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, 20);
    EXPECT_EQ(Long(c, "HorzPos"), 24);
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(0, 0), Gradient(24, 0));
    EXPECT_EQ(s.site.Pixel(10, 7), Gradient(34, 7));

    c.HScroll(SB_LINERIGHT, 0);
    EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, 30);
    EXPECT_EQ(Long(c, "HorzPos"), 36);
    c.HScroll(SB_THUMBTRACK, 100);
    EXPECT_EQ(Long(c, "HorzPos"), 121);  // the end of the bar is 21 pixels past the range
    c.HScroll(SB_LINERIGHT, 0);
    EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, 100);
    EXPECT_EQ(Long(c, "HorzPos"), 121);
    c.HScroll(SB_PAGELEFT, 0);
    EXPECT_EQ(Long(c, "HorzPos"), 97);
    c.HScroll(SB_THUMBPOSITION, -40);
    EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, 0);
    EXPECT_EQ(Long(c, "HorzPos"), 0);
    c.HScroll(SB_THUMBPOSITION, 50);
    c.HScroll(SB_ENDSCROLL, 0);
    EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, 50);

    // Nothing to scroll vertically.
    c.VScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(Long(c, "VertPos"), 0);

    // The properties scroll without the factor, within the range only.
    Set(c, "HorzPos", Variant::I4(50));
    EXPECT_EQ(Long(c, "HorzPos"), 50);
    EXPECT_EQ(s.site.ScrollBar(SB_HORZ).pos, 50);
    ExpectControlError([&] { Set(c, "HorzPos", Variant::I4(101)); }, 380, "Invalid property value",
                       "HorzPos past the range");
    ExpectControlError([&] { Set(c, "VertPos", Variant::I4(1)); }, 380, "Invalid property value",
                       "VertPos without a range");
    EXPECT_EQ(Long(c, "HorzPos"), 50);
}

TEST(Display, PositionPlacesASmallImage) {
    ScratchDir dir("position");
    Sited s(300, 300, 0, 0);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 100, 50, Gradient);
    const std::pair<int, int> expected[] = {{0, 0},       {-100, 0},    {-200, 0},
                                            {-200, -125}, {-200, -250}, {-100, -250},
                                            {0, -250},    {0, -125},    {-100, -125}};
    for (int16_t p = 0; p <= 8; ++p) {
        SCOPED_TRACE(p);
        Set(c, "Position", Variant::I2(p));
        s.site.Paint();
        EXPECT_EQ(Long(c, "HorzPos"), expected[p].first);
        EXPECT_EQ(Long(c, "VertPos"), expected[p].second);
        const int left = -expected[p].first;
        const int top = -expected[p].second;
        EXPECT_EQ(s.site.Pixel(left, top), Gradient(0, 0));
        EXPECT_EQ(s.site.Pixel(left + 99, top + 49), Gradient(99, 49));
        // The strips around the image are the background.
        if (left > 0) {
            EXPECT_EQ(s.site.Pixel(left - 1, top), kBack);
        }
        if (left + 100 < 300) {
            EXPECT_EQ(s.site.Pixel(left + 100, top), kBack);
        }
        if (top > 0) {
            EXPECT_EQ(s.site.Pixel(left, top - 1), kBack);
        }
        if (top + 50 < 300) {
            EXPECT_EQ(s.site.Pixel(left, top + 50), kBack);
        }
    }
    ExpectControlError([&] { Set(c, "Position", Variant::I2(9)); }, 380, "Invalid property value",
                       "Position 9");
}

TEST(Display, PaintDrawsTheImageAtZoomAndAspect) {
    ScratchDir dir("zoom");
    Sited s(64, 48, 0, 0);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 10, 8, Gradient);
    s.site.Paint();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(s.site.Pixel(x, y), Gradient(x, y)) << x << "," << y;
    EXPECT_EQ(s.site.Pixel(10, 0), kBack);
    EXPECT_EQ(s.site.Pixel(0, 8), kBack);
    EXPECT_EQ(s.site.Pixel(63, 47), kBack);

    Set(c, "Zoom", Variant::R4(2.0f));
    s.site.Paint();
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            ASSERT_EQ(s.site.Pixel(2 * x, 2 * y), Gradient(x, y)) << x << "," << y;
            ASSERT_EQ(s.site.Pixel(2 * x + 1, 2 * y + 1), Gradient(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(s.site.Pixel(20, 5), kBack);
    EXPECT_EQ(s.site.Pixel(5, 16), kBack);

    Set(c, "Zoom", Variant::R4(1.0f));
    Set(c, "Aspect", Variant::R4(2.0f));
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(3, 0), Gradient(3, 0));
    EXPECT_EQ(s.site.Pixel(3, 1), Gradient(3, 0));
    EXPECT_EQ(s.site.Pixel(3, 15), Gradient(3, 7));
    EXPECT_EQ(s.site.Pixel(3, 16), kBack);

    // Fitted to the control, the image fills the client area.
    Set(c, "Aspect", Variant::R4(1.0f));
    Set(c, "AutoSize", Variant::I2(4));
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(0, 0), Gradient(0, 0));
    EXPECT_EQ(s.site.Pixel(63, 47), Gradient(9, 7));
}

TEST(Display, ThumbnailBoxesTheImage) {
    ScratchDir dir("thumb");
    {
        Sited s(320, 240, 0, 1);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 400, 200, [](int, int) { return kRed; });
        Set(c, "Thumbnail", Variant::I2(100));
        EXPECT_EQ(Extent(s), std::make_pair(100, 100));
        s.site.Paint();
        // Box left 4, top 26, right 91, bottom 69.
        EXPECT_EQ(s.site.Pixel(4, 26), kRed);
        EXPECT_EQ(s.site.Pixel(90, 68), kRed);
        EXPECT_EQ(s.site.Pixel(3, 40), kBack);
        EXPECT_EQ(s.site.Pixel(91, 40), kBack);
        EXPECT_EQ(s.site.Pixel(50, 25), kBack);
        EXPECT_EQ(s.site.Pixel(50, 69), kBack);
        ExpectControlError([&] { Set(c, "Thumbnail", Variant::I2(-1)); }, 380,
                           "Invalid property value", "negative thumbnail");
        EXPECT_EQ(Get(c, "Thumbnail"), Variant::I2(100));
    }
    {
        // A small image sits centred at its own size.
        Sited s(320, 240, 0, 1);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 20, 10, [](int, int) { return kRed; });
        Set(c, "Thumbnail", Variant::I2(100));
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(40, 45), kRed);
        EXPECT_EQ(s.site.Pixel(59, 54), kRed);
        EXPECT_EQ(s.site.Pixel(39, 45), kBack);
        EXPECT_EQ(s.site.Pixel(60, 54), kBack);
        EXPECT_EQ(s.site.Pixel(40, 55), kBack);
    }
    {
        // Flat: the bevelled frame picture fills the control behind the image.
        Sited s(320, 240, 0, 0);
        CLumoraCtrl& c = s.ctrl;
        LoadBmp(c, dir, 20, 10, [](int, int) { return kRed; });
        Set(c, "Thumbnail", Variant::I2(94));
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(0, 0), RGB(255, 255, 255));
        EXPECT_EQ(s.site.Pixel(93, 93), RGB(128, 128, 128));
        EXPECT_EQ(s.site.Pixel(10, 50), RGB(192, 192, 192));
        EXPECT_EQ(s.site.Pixel(37, 42), kRed);
        // Back to the normal layout.
        Set(c, "Thumbnail", Variant::I2(0));
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(0, 0), kRed);
        EXPECT_EQ(s.site.Pixel(20, 0), kBack);
    }
}

TEST(Display, EveryPaintRaisesPaint) {
    Sited s(100, 80, 1, 1);
    CLumoraCtrl& c = s.ctrl;
    s.site.ClearEvents();
    s.site.Paint();
    EXPECT_EQ(s.site.Events(), std::vector<std::string>{"Paint"});
    EXPECT_EQ(s.site.Pixel(50, 40), kBack);  // no image: all background
    s.site.Paint();
    EXPECT_EQ(CountEvents(s.site, "Paint"), 2);

    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    s.site.ClearEvents();
    c.CallMethod("Refresh");
    EXPECT_EQ(CountEvents(s.site, "Paint"), 1);

    // AutoRefresh repaints before the decode as well.
    s.site.ClearEvents();
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset8.bmp")));
    EXPECT_EQ(CountEvents(s.site, "Paint"), 1);
    Set(c, "AutoRefresh", Variant::Bool(false));
    s.site.ClearEvents();
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    EXPECT_EQ(CountEvents(s.site, "Paint"), 0);
}

TEST(Display, AnimatedGifShowsItsFirstFrame) {
    Sited s(100, 100, 0, 0);
    CLumoraCtrl& c = s.ctrl;
    Set(c, "FileName", Variant::Bstr(SamplePath("spin.gif")));
    ASSERT_EQ(c.Player().frameCount, 3);
    s.site.Paint();
    const HDC mem = CreateCompatibleDC(0);
    const HGDIOBJ old = SelectObject(mem, c.Player().frames[0].bitmap);
    for (const auto& [x, y] :
         std::vector<std::pair<int, int>>{{0, 0}, {24, 24}, {10, 40}, {47, 47}})
        EXPECT_EQ(s.site.Pixel(x, y), GetPixel(mem, x, y)) << x << "," << y;
    SelectObject(mem, old);
    DeleteDC(mem);
    EXPECT_EQ(s.site.Pixel(48, 10), kBack);
}

TEST(Display, TransparentGifFrameComposesOverTheBackground) {
    // 2 x 1 pixels: index 0 (blue) is transparent, index 1 is red.
    const std::vector<uint8_t> gif = {
        'G',  'I',  'F',  '8',  '9', 'a', 2, 0, 1, 0, 0x80, 0, 0,  // screen, 2-entry table
        0,    0,    255,  255,  0,   0,                            // blue, red
        0x21, 0xF9, 4,    0x01, 0,   0,   0, 0,                    // transparent index 0
        0x2C, 0,    0,    0,    0,   2,   0, 1, 0, 0,              // the image
        2,    2,    0x44, 0x0A, 0,                                 // clear, 0, 1, end
        0x3B};
    ScratchDir dir("transparent");
    const std::string path = dir.File("dot.gif");
    WriteBytes(path, gif);
    {
        Sited s(20, 20, 0, 0);
        CLumoraCtrl& c = s.ctrl;
        Set(c, "FileName", Variant::Bstr(path));
        EXPECT_EQ(c.Player().frameCount, 1);
        EXPECT_EQ(c.Player().frames[0].transparentIndex, 0);
        EXPECT_NE(c.Player().frames[0].mask, 0u);
        EXPECT_NE(c.Player().surface.dc, 0u);
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(0, 0), kBack);
        EXPECT_EQ(s.site.Pixel(1, 0), kRed);
        EXPECT_EQ(s.site.Pixel(5, 5), kBack);
        Set(c, "Zoom", Variant::R4(3.0f));
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(2, 2), kBack);
        EXPECT_EQ(s.site.Pixel(3, 0), kRed);
        EXPECT_EQ(s.site.Pixel(5, 2), kRed);
        EXPECT_EQ(s.site.Pixel(6, 0), kBack);
    }
    {
        // AutoBackground takes the transparent colour as a palette-relative back colour.
        Sited s(20, 20, 0, 0);
        CLumoraCtrl& c = s.ctrl;
        Set(c, "AutoBackground", Variant::Bool(true));
        Set(c, "FileName", Variant::Bstr(path));
        EXPECT_EQ(c.GetBackColor(), 0x02FF0000u);
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(0, 0), RGB(0, 0, 255));
        EXPECT_EQ(s.site.Pixel(1, 0), kRed);
        EXPECT_EQ(s.site.Pixel(10, 10), RGB(0, 0, 255));
    }
}

TEST(Display, PictureAsShownCopiesTheView) {
    Sited s(120, 90, 0, 0);
    CLumoraCtrl& c = s.ctrl;
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    Set(c, "Position", Variant::I2(8));
    s.site.Paint();
    const auto picture = std::dynamic_pointer_cast<PictureObject>(Get(c, "Picture").AsDispatch());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Type(), PICTYPE_BITMAP);
    EXPECT_EQ(picture->Width(), PixelsToHimetric(120, 96));
    EXPECT_EQ(picture->Height(), PixelsToHimetric(90, 96));
    const HDC mem = CreateCompatibleDC(0);
    const HGDIOBJ old = SelectObject(mem, picture->Handle());
    for (const auto& [x, y] :
         std::vector<std::pair<int, int>>{{0, 0}, {12, 13}, {60, 45}, {119, 89}})
        EXPECT_EQ(GetPixel(mem, x, y), s.site.Pixel(x, y)) << x << "," << y;
    SelectObject(mem, old);
    DeleteDC(mem);
}

// Repaints copy the stretched picture they kept; they must show what a fresh stretch shows, and
// a change to the picture's pixels must show at the next paint.
TEST(Display, RepaintsShowTheCurrentPicture) {
    ScratchDir dir("repaint");
    Sited s(64, 48, 0, 0);
    CLumoraCtrl& c = s.ctrl;
    LoadBmp(c, dir, 10, 8, Gradient);
    Set(c, "Zoom", Variant::R4(3.0f));
    s.site.Paint();
    s.site.Paint();
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(s.site.Pixel(x, y), Gradient(x / 3, y / 3)) << x << "," << y;
    EXPECT_EQ(s.site.Pixel(30, 0), kBack);

    // Paint red into the picture itself, through the raster calls a drawing method uses.
    const HBITMAP image = c.Image().bitmap;
    ASSERT_NE(image, 0u);
    const HDC mem = platform::CreateCompatibleDC(0);
    const HGDIOBJ old = platform::SelectObject(mem, image);
    const HBRUSH red = platform::CreateSolidBrush(kRed);
    const RECT spot{2, 1, 4, 2};
    platform::FillRect(mem, &spot, red);
    platform::DeleteObject(red);
    platform::SelectObject(mem, old);
    platform::DeleteDC(mem);
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(6, 3), kRed);
    EXPECT_EQ(s.site.Pixel(11, 5), kRed);
    EXPECT_EQ(s.site.Pixel(12, 3), Gradient(4, 1));

    // A scrolled or re-zoomed view is stretched afresh.
    Set(c, "Zoom", Variant::R4(1.0f));
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(2, 1), kRed);
    EXPECT_EQ(s.site.Pixel(5, 5), Gradient(5, 5));
    EXPECT_EQ(s.site.Pixel(12, 3), kBack);
}
