// The window frame, the mouse pointer and printing into raster pages.
#include <gtest/gtest.h>

#include "control_fixture.h"
#include "decode/decoded_image.h"
#include "decode/readers.h"
#include "picture_files.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/packed_dib.h"
#include "platform/gdi/page_dc.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/picture.h"

namespace control_test {
namespace {

using control::CLumoraCtrl;
using platform::Variant;

constexpr COLORREF kShadow = 0x808080, kLight = 0xDFDFDF;

// Pixels of the whole window as the site shows it, frame included.
std::vector<COLORREF> WindowPixels(platform::HeadlessSite& site, const std::vector<POINT>& at) {
    HPALETTE palette = 0;
    const HBITMAP bitmap = platform::UnpackBitmap(site.Capture(), &palette);
    std::vector<COLORREF> out = BitmapPixels(bitmap, at);
    platform::DeleteObject(bitmap);
    if (palette) platform::DeleteObject(palette);
    return out;
}

TEST(WindowFrame, EachBorderStyleAndAppearanceDrawsItsFrame) {
    struct Row {
        int16_t border, appearance;
        int inset;
        std::vector<COLORREF> upperLeft;   // (0, 0) to (3, 3)
        std::vector<COLORREF> lowerRight;  // (w - 1, h - 1) inwards
    };
    const Row rows[] = {
        {0, 0, 0, {kRed, kRed, kRed, kRed}, {kRed, kRed, kRed, kRed}},
        {1, 0, 1, {kBlack, kRed, kRed, kRed}, {kBlack, kRed, kRed, kRed}},
        {0, 1, 2, {kShadow, kBlack, kRed, kRed}, {kWhite, kLight, kRed, kRed}},
        {1, 1, 3, {kBlack, kShadow, kBlack, kRed}, {kBlack, kWhite, kLight, kRed}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.border) + "/" + std::to_string(row.appearance));
        Sited s(20, 16, row.border, row.appearance, kRed);
        CLumoraCtrl& c = s.ctrl;
        platform::HeadlessSite& site = s.site;
        site.Paint();
        std::vector<POINT> at;
        for (int i = 0; i < 4; ++i)
            at.push_back({i, i});
        for (int i = 0; i < 4; ++i)
            at.push_back({19 - i, 15 - i});
        std::vector<COLORREF> expected = row.upperLeft;
        expected.insert(expected.end(), row.lowerRight.begin(), row.lowerRight.end());
        EXPECT_EQ(WindowPixels(site, at), expected);
        // The control's DC and the site's pixels start at the client area's corner.
        int w = 0, h = 0;
        c.GetClientSize(&w, &h);
        EXPECT_EQ(w, 20 - 2 * row.inset);
        EXPECT_EQ(h, 16 - 2 * row.inset);
        EXPECT_EQ(site.Pixel(0, 0), kRed);
        EXPECT_EQ(site.Pixel(w, 0), platform::CLR_INVALID);
    }
}

// An icon picture made from the sample icon.
std::shared_ptr<platform::Dispatch> IconPicture() {
    decode::DecodedImage img;
    const platform::HICON icon = decode::ReadIcon(img, SamplePath("logo.ico"));
    platform::PictureHolder holder;
    if (!icon || !holder.CreateFromIcon(icon, img.imageWidth, img.imageHeight, true)) return {};
    return holder.GetPictureDispatch();
}

TEST(Pointer, EachValueShowsItsCursorAtOnceAndOnEveryMove) {
    const std::pair<int16_t, std::string_view> table[] = {
        {0, "arrow"},    {1, "arrow"},        {2, "cross"},    {3, "ibeam"},
        {4, "arrow"},    {5, "sizeall"},      {6, "sizenesw"}, {7, "sizens"},
        {8, "sizenwse"}, {9, "sizewe"},       {10, "uparrow"}, {11, "wait"},
        {12, "no"},      {13, "appstarting"}, {14, "help"},    {15, "sizeall"},
    };
    SitedControl s;
    for (const auto& [value, name] : table) {
        SCOPED_TRACE(value);
        Set(s.ctrl, "MousePointer", Variant::I2(value));
        EXPECT_EQ(s.site.Cursor(), name);
        s.ctrl.SetCursor("ibeam");  // what the platform may set in between
        s.ctrl.MouseMove(0, 0, 1, 2);
        EXPECT_EQ(s.site.Cursor(), name);
        EXPECT_EQ(s.site.Events().back(), "MouseMove 0, 0, 1, 2");
    }
}

TEST(Pointer, CustomCursorComesFromIconPicturesOnly) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    // 99 waits for a move; without a custom cursor the pointer is hidden.
    Set(c, "MousePointer", Variant::I2(99));
    EXPECT_EQ(s.site.Cursor(), "arrow");
    c.MouseMove(0, 0, 1, 1);
    EXPECT_EQ(s.site.Cursor(), "none");

    const auto icon = IconPicture();
    ASSERT_TRUE(icon);
    Set(c, "MouseIcon", Variant::Object(icon));
    EXPECT_EQ(s.site.Cursor(), "custom");
    const HANDLE32 custom = c.Pointer().customCursor;
    EXPECT_NE(custom, 0u);
    EXPECT_EQ(Get(c, "MouseIcon").AsDispatch(), nullptr);

    // A bitmap picture is ignored; the custom cursor stays.
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    c.SetModifiedFlag(false);
    Set(c, "MouseIcon", Get(c, "Picture"));
    EXPECT_TRUE(c.IsModified());
    EXPECT_EQ(c.Pointer().customCursor, custom);
    c.SetCursor("arrow");
    c.MouseMove(0, 0, 1, 1);
    EXPECT_EQ(s.site.Cursor(), "custom");

    // A reset frees it.
    c.InitNew();
    EXPECT_EQ(c.Pointer().customCursor, 0u);
}

TEST(Pointer, HourglassShowsDuringLoadsAndAlwaysWhileFramesAreGathered) {
    struct Row {
        bool hourglass;
        const char* file;
        std::vector<std::string> changes;
    };
    const Row rows[] = {
        {true, "sunset.bmp", {"wait", "arrow"}},
        {false, "sunset.bmp", {}},
        {false, "spin.gif", {"wait", "arrow"}},
        {true, "spin.gif", {"wait", "arrow", "wait", "arrow"}},
        {true, "missing.bmp", {"wait", "arrow"}},  // a failed load restores it too
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file + std::string(row.hourglass ? " with" : " without"));
        SitedControl s;
        Set(s.ctrl, "HourglassOn", Variant::Bool(row.hourglass));
        const size_t before = s.site.CursorChanges().size();
        try {
            Set(s.ctrl, "FileName", Variant::Bstr(SamplePath(row.file)));
        } catch (const platform::ControlError&) {
        }
        const auto& all = s.site.CursorChanges();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
                  row.changes);
    }
}

TEST(Printing, DrawsIntoTheRectangleForSquareAndNonSquarePixels) {
    ScratchDir dir;
    const std::string file = dir.path("blue.bmp");
    WriteBytes(file, MakeBmp24(100, 50, [](int, int) { return kBlue; }));
    struct Row {
        int dpiX, dpiY;
        float aspect;
        RECT expected;
    };
    const Row rows[] = {
        {600, 600, 1.0f, {300, 300, 900, 600}},
        {600, 300, 1.0f, {300, 300, 900, 450}},  // h = RoundToInt(300 / 600 x 300)
        {300, 600, 1.0f, {300, 300, 600, 600}},
        {600, 600, 2.0f, {300, 300, 900, 900}},
    };
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    Set(c, "FileName", Variant::Bstr(file));
    Set(c, "PrintZoom", Variant::R4(6.0f));
    Set(c, "PrintX", Variant::I2(300));
    Set(c, "PrintY", Variant::I2(300));
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.dpiX) + "x" + std::to_string(row.dpiY));
        Set(c, "Aspect", Variant::R4(row.aspect));
        const HDC page = platform::CreatePageDC(1200, 1000, row.dpiX, row.dpiY);
        ASSERT_NE(page, 0u);
        Set(c, "PrintHDC", Variant::I4(static_cast<int32_t>(page)));
        const RECT& r = row.expected;
        const std::pair<POINT, COLORREF> probes[] = {
            {{r.left, r.top}, kBlue},          {{r.right - 1, r.bottom - 1}, kBlue},
            {{r.left - 1, r.top}, kWhite},     {{r.left, r.top - 1}, kWhite},
            {{r.right, r.bottom - 1}, kWhite}, {{r.right - 1, r.bottom}, kWhite},
        };
        for (const auto& [p, colour] : probes)
            EXPECT_EQ(platform::GetPixel(page, p.x, p.y), colour) << p.x << "," << p.y;
        EXPECT_TRUE(platform::DeletePageDC(page));
    }
    // Not a device context: nothing happens.
    Set(c, "PrintHDC", Variant::I4(12345));
}

}  // namespace
}  // namespace control_test
