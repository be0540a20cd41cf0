// Pictures and fonts as dispatch objects, colour translation, and a small control living in a
// headless site: painting, events, scroll bars, window recreation and persistence.
#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "platform/ole/headless_site.h"
#include "platform/ole/ole_control.h"
#include "platform/ole/picture.h"
#include "platform/ole/system_colors.h"
#include "platform/os/handles.h"

using namespace platform;

namespace {

int32_t ReadI4(const Dispatch& object, DISPID id) {
    Variant v;
    EXPECT_EQ(object.GetProperty(id, v), S_OK);
    Variant i4;
    EXPECT_EQ(ChangeType(v, VT_I4, i4), S_OK);
    return i4.AsI4();
}

// Paints a red square of ForeColor's size in the top left corner over the stock background,
// reports a Paint event, and follows the horizontal bar.
class SquareControl : public OleControl {
  public:
    int16_t side = 4;
    int scrolled = 0;
    int creates = 0;

    std::string EventName(DISPID dispid) const override {
        return dispid == 1 ? "Paint" : OleControl::EventName(dispid);
    }

  protected:
    void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override {
        OleControl::OnDraw(dc, bounds, invalid);
        const HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
        const RECT square{bounds.left, bounds.top, bounds.left + side, bounds.top + side};
        FillRect(dc, &square, brush);
        DeleteObject(brush);
        FireEvent(1, {});
    }
    void OnHScroll(int code, int pos) override {
        if (code == SB_THUMBPOSITION) {
            SetScrollPos(SB_HORZ, pos, true);
            scrolled = GetScrollPos(SB_HORZ);
        }
    }
    void OnCreate() override { ++creates; }
    void DoPropExchange(PropExchange& px) override {
        px.ExchangeVersion(2, 0);
        OleControl::DoPropExchange(px);
        PX_Short(px, "Side", side);
    }
};

}  // namespace

TEST(Picture, HimetricConversionsAtDisplayResolution) {
    // Both conversions round to the nearest unit, negative values symmetrically.
    EXPECT_EQ(PixelsToHimetric(1, 96), 26);
    EXPECT_EQ(PixelsToHimetric(100, 120), 2117);
    EXPECT_EQ(PixelsToHimetric(-100, 96), -2646);
    EXPECT_EQ(HimetricToPixels(2540, 72), 72);
    EXPECT_EQ(HimetricToPixels(13, 96), 0);  // 0.49 px
    EXPECT_EQ(HimetricToPixels(14, 96), 1);  // 0.53 px

    SetDisplayResolution(96, 96);
    const HDC screen = GetDC(0);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 50);
    ReleaseDC(0, screen);
    HPALETTE palette;
    {
        LOGPALETTE log{0x300, 2, {}};
        palette = CreatePalette(&log);
    }
    const size_t bitmapsBefore = CountHandles(HandleKind::Bitmap);
    {
        PictureHolder holder;
        EXPECT_FALSE(holder.CreateFromBitmap(palette, 0, true));  // not a bitmap
        EXPECT_FALSE(holder.CreateFromIcon(bitmap, 32, 32));
        EXPECT_EQ(holder.GetType(), PICTYPE_NONE);
        ASSERT_TRUE(holder.CreateFromBitmap(bitmap, palette, true));
        const auto dispatch = holder.GetPictureDispatch();
        EXPECT_EQ(ReadI4(*dispatch, DISPID_PICT_HANDLE), static_cast<int32_t>(bitmap));
        EXPECT_EQ(ReadI4(*dispatch, DISPID_PICT_HPAL), static_cast<int32_t>(palette));
        EXPECT_EQ(ReadI4(*dispatch, DISPID_PICT_TYPE), PICTYPE_BITMAP);
        EXPECT_EQ(ReadI4(*dispatch, DISPID_PICT_WIDTH), 2646);
        EXPECT_EQ(ReadI4(*dispatch, DISPID_PICT_HEIGHT), 1323);
        Variant v;
        EXPECT_EQ(dispatch->GetProperty(77, v), DISP_E_MEMBERNOTFOUND);

        // Another holder shares the object; the bitmap dies with the last one.
        PictureHolder other;
        ASSERT_TRUE(other.SetPictureDispatch(dispatch));
        EXPECT_EQ(other.Picture()->Handle(), bitmap);
        EXPECT_FALSE(other.SetPictureDispatch(std::make_shared<FontObject>(FontDesc{})));
        EXPECT_EQ(other.GetType(), PICTYPE_BITMAP);
        holder.CreateEmpty();
        EXPECT_EQ(HandleKindOf(bitmap), HandleKind::Bitmap);
    }
    EXPECT_EQ(HandleKindOf(bitmap), static_cast<HandleKind>(0));
    EXPECT_EQ(HandleKindOf(palette), static_cast<HandleKind>(0));
    EXPECT_EQ(CountHandles(HandleKind::Bitmap), bitmapsBefore - 1);

    // Not owned: the caller's bitmap survives the picture.
    const HBITMAP kept = CreateCompatibleBitmap(0, 10, 10);
    {
        PictureHolder holder;
        ASSERT_TRUE(holder.CreateFromBitmap(kept, 0, false));
    }
    EXPECT_EQ(HandleKindOf(kept), HandleKind::Bitmap);
    DeleteObject(kept);
}

TEST(Font, DispatchPropertiesAndHolderCopies) {
    FontHolder holder;
    EXPECT_EQ(holder.Desc().name, "Sans");
    EXPECT_DOUBLE_EQ(holder.Desc().SizePoints(), 8.25);
    auto font = holder.GetFontDispatch();
    EXPECT_EQ(font->SetProperty(DISPID_FONT_BOLD, Variant::Bool(true)), S_OK);
    Variant v;
    ASSERT_EQ(font->GetProperty(DISPID_FONT_WEIGHT, v), S_OK);
    EXPECT_EQ(v, Variant::I2(700));
    EXPECT_EQ(font->SetProperty(DISPID_FONT_WEIGHT, Variant::I2(1001)), E_INVALIDARG);
    EXPECT_EQ(font->SetProperty(DISPID_FONT_WEIGHT, Variant::I2(500)), S_OK);
    ASSERT_EQ(font->GetProperty(DISPID_FONT_BOLD, v), S_OK);
    EXPECT_EQ(v, Variant::Bool(false));
    EXPECT_EQ(font->SetProperty(DISPID_FONT_SIZE, Variant::Bstr("12.5")), S_OK);
    EXPECT_EQ(holder.Desc().sizeCy, 125000);
    EXPECT_EQ(font->SetProperty(DISPID_FONT_SIZE, Variant::R8(-1)), E_INVALIDARG);
    EXPECT_EQ(font->SetProperty(DISPID_FONT_NAME, Variant::I2(3)), S_OK);
    EXPECT_EQ(holder.Desc().name, "3");

    FontHolder copy;
    copy.InitializeFont(FontDesc{}, font);
    EXPECT_EQ(copy.Desc(), holder.Desc());
    font->SetProperty(DISPID_FONT_ITALIC, Variant::Bool(true));
    EXPECT_FALSE(copy.Desc().italic);  // a copy, not a share
}

TEST(Colors, TranslationOfSystemPaletteAndRgbValues) {
    SquareControl control;
    EXPECT_EQ(control.TranslateColor(0x80000004), RGB(192, 192, 192));
    EXPECT_EQ(control.TranslateColor(0x80000018), RGB(255, 255, 225));
    EXPECT_EQ(control.TranslateColor(0x00123456), 0x00123456u);
    EXPECT_EQ(control.TranslateColor(0x02123456), 0x00123456u);
    EXPECT_EQ(GetSysColor(COLOR_MENU), RGB(192, 192, 192));
    EXPECT_EQ(GetSysColor(30), RGB(192, 192, 192));  // the last one, the menu bar
    EXPECT_EQ(GetSysColor(31), 0u);                  // one past the table

    LOGPALETTE log{0x300, 4, {}};
    const HPALETTE palette = CreatePalette(&log);
    EXPECT_EQ(control.TranslateColor(0x01000003, palette), 0x01000003u);
    EXPECT_EQ(control.TranslateColor(0x00123456, palette), 0x02123456u);

    const OLE_COLOR invalid[] = {0x8000001F, 0x80000040, 0x81000000,
                                 0x04000000, 0x01000004, 0xFF000000};
    for (OLE_COLOR c : invalid) {
        try {
            control.TranslateColor(c, c == 0x01000004 ? palette : 0);
            ADD_FAILURE() << std::hex << c;
        } catch (const ControlError& e) {
            EXPECT_EQ(e.number(), 380);
        }
    }
    EXPECT_TRUE(Failed(OleTranslateColor(0x01000000, 0, nullptr)));  // index without palette
    DeleteObject(palette);

    // The stock setters refuse what cannot be translated and keep the old value.
    EXPECT_THROW(control.SetBackColor(0x80000099), ControlError);
    EXPECT_EQ(control.GetBackColor(), kDefaultBackColor);
    control.SetForeColor(0x000000FF);
    EXPECT_EQ(control.GetForeColor(), 0x000000FFu);
    EXPECT_THROW(control.SetBorderStyle(2), ControlError);
    EXPECT_THROW(control.SetAppearance(-1), ControlError);
    control.SetBorderStyle(1);
    control.ResetStockProps();
    EXPECT_EQ(control.GetForeColor(), kDefaultForeColor);
    EXPECT_EQ(control.GetBorderStyle(), 0);
}

TEST(HeadlessSite, PaintsIntoTheWindowSurfaceAndLogsEvents) {
    SetDisplayDepth(32);
    SquareControl control;
    HeadlessSite site(control, 20, 10);
    ASSERT_TRUE(control.HasWindow());
    EXPECT_EQ(control.creates, 1);
    EXPECT_EQ(HandleKindOf(control.GetHwnd()), HandleKind::Window);

    control.InvalidateControl();
    EXPECT_TRUE(control.IsDirty());
    EXPECT_EQ(site.Invalidations(), 1);
    site.Paint();
    EXPECT_FALSE(control.IsDirty());
    EXPECT_EQ(site.Pixel(3, 3), RGB(255, 0, 0));
    EXPECT_EQ(site.Pixel(4, 0), RGB(192, 192, 192));  // the menu colour background
    EXPECT_EQ(site.Pixel(19, 9), RGB(192, 192, 192));
    EXPECT_EQ(site.Pixel(20, 0), CLR_INVALID);
    ASSERT_EQ(site.Events().size(), 1u);
    EXPECT_EQ(site.Events()[0], "Paint");

    control.SetBackColor(RGB(0, 0, 255));
    EXPECT_TRUE(control.IsModified());
    EXPECT_EQ(site.Invalidations(), 2);
    site.Paint();
    EXPECT_EQ(site.Pixel(10, 5), RGB(0, 0, 255));

    site.ClearEvents();
    control.MouseMove(1, 2, 5, 6);
    control.Click();
    Variant key = Variant::I2(65);
    control.FireEvent(DISPID_KEYDOWN, {Variant::ByRef(key), Variant::I2(0)});
    control.FireEvent(9, {Variant::Missing(), Variant::Bstr("x"), Variant::Null()});
    const std::vector<std::string> expected = {"MouseMove 1, 2, 5, 6", "Click", "KeyDown 65, 0",
                                               "Event9 <missing>, x, Null"};
    EXPECT_EQ(site.Events(), expected);
}

TEST(HeadlessSite, ScrollBarsFollowTheRangeAndClampThePosition) {
    SquareControl control;
    HeadlessSite site(control, 50, 40);

    EXPECT_FALSE(site.ScrollBar(SB_HORZ).visible);
    control.SetScrollRange(SB_HORZ, 0, 120, false);
    EXPECT_EQ(site.ScrollBar(SB_HORZ), (ScrollBarState{0, 120, 0, true}));
    EXPECT_EQ(control.SetScrollPos(SB_HORZ, 500, true), 0);
    EXPECT_EQ(control.GetScrollPos(SB_HORZ), 120);  // clamped to the range
    control.HScroll(SB_THUMBPOSITION, 30);
    EXPECT_EQ(control.scrolled, 30);
    EXPECT_EQ(site.ScrollBar(SB_HORZ).pos, 30);
    control.SetScrollRange(SB_HORZ, 0, 0, false);  // an empty range hides the bar
    EXPECT_EQ(site.ScrollBar(SB_HORZ), (ScrollBarState{0, 0, 0, false}));
    control.ShowScrollBar(SB_BOTH, true);
    EXPECT_TRUE(site.ScrollBar(SB_HORZ).visible);
    EXPECT_TRUE(site.ScrollBar(SB_VERT).visible);
    EXPECT_THROW(control.GetScrollPos(2), ControlError);
}

TEST(HeadlessSite, ResizeKeepsTheDcAndRecreationReplacesIt) {
    SquareControl control;
    HeadlessSite site(control, 16, 16);
    const HDC dc = control.GetDC();
    const uint32_t hwnd = control.GetHwnd();

    site.Resize(30, 12);
    int w = 0, h = 0;
    control.GetControlSize(&w, &h);
    EXPECT_TRUE(w == 30 && h == 12 && site.ExtentWidth() == 30);
    EXPECT_EQ(control.GetDC(), dc);
    site.Paint();
    EXPECT_EQ(site.Pixel(29, 11), RGB(192, 192, 192));
    EXPECT_EQ(site.Pixel(30, 11), CLR_INVALID);

    control.RecreateControlWindow();
    const HDC fresh = control.GetDC();
    EXPECT_NE(fresh, dc);
    EXPECT_NE(control.GetHwnd(), hwnd);
    EXPECT_EQ(control.creates, 2);
    // The old handles are dead: the table refuses them.
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 0);
    EXPECT_EQ(HandleKindOf(hwnd), static_cast<HandleKind>(0));
    EXPECT_EQ(GetDeviceCaps(fresh, LOGPIXELSX), 96);
    site.Paint();
    EXPECT_EQ(site.Pixel(29, 11), RGB(192, 192, 192));
    EXPECT_EQ(site.Pixel(0, 0), RGB(255, 0, 0));
}

TEST(HeadlessSite, WindowResourcesAreReleased) {
    // Stock objects are made on first use; make them before counting.
    DeleteDC(CreateCompatibleDC(0));
    const size_t dcs = CountHandles(HandleKind::Dc);
    const size_t bitmaps = CountHandles(HandleKind::Bitmap);
    const size_t windows = CountHandles(HandleKind::Window);
    {
        SquareControl control;
        HeadlessSite site(control, 8, 8);
        control.RecreateControlWindow();
        site.Resize(9, 9);
        site.Paint();
        EXPECT_EQ(CountHandles(HandleKind::Window), windows + 1);
    }
    EXPECT_EQ(CountHandles(HandleKind::Dc), dcs);
    EXPECT_EQ(CountHandles(HandleKind::Bitmap), bitmaps);
    EXPECT_EQ(CountHandles(HandleKind::Window), windows);
}

TEST(OleControl, PersistenceOfExtentStockPropertiesAndModifiedFlag) {
    SetDisplayResolution(96, 96);
    SquareControl control;
    HeadlessSite site(control, 100, 50);
    control.InitNew();
    EXPECT_FALSE(control.IsModified());
    control.SetBorderStyle(1);
    control.SetBackColor(0x00FF8000);
    control.side = 9;
    EXPECT_TRUE(control.IsModified());
    const std::string text = control.Save().ToText();
    EXPECT_FALSE(control.IsModified());
    EXPECT_NE(text.find("_ExtentX=2646\n_ExtentY=1323\n"), std::string::npos) << text;
    EXPECT_NE(text.find("BackColor=0x00FF8000\n"), std::string::npos) << text;

    SquareControl other;
    HeadlessSite otherSite(other, 10, 10);
    other.SetBorderStyle(1);  // loading does not clear what is absent
    other.Load(
        PropertyBag::Parse("_ExtentX=2646\n_ExtentY=1323\nSide=9\nBackColor=0x00FF8000\n"
                           "ForeColor=0x80000099\n"));
    int w = 0, h = 0;
    other.GetControlSize(&w, &h);
    EXPECT_TRUE(w == 100 && h == 50);
    EXPECT_EQ(other.side, 9);
    EXPECT_EQ(other.GetBackColor(), 0x00FF8000u);
    EXPECT_EQ(other.GetForeColor(), kDefaultForeColor);  // an invalid colour is not taken
    EXPECT_EQ(other.GetBorderStyle(), 1);
    EXPECT_FALSE(other.IsModified());
    EXPECT_TRUE(other.IsDirty());

    other.Load(PropertyBag::Parse(text));
    EXPECT_EQ(other.Save().ToText(), text);
    // An extent under one pixel is refused like any other value the control cannot take.
    other.Load(PropertyBag::Parse("_ExtentX=2646\n_ExtentY=6\n"));
    other.GetControlSize(&w, &h);
    EXPECT_EQ(h, 50);
}
