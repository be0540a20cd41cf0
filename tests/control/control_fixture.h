// A control in a headless site, checks on the errors it raises, and pixels read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/lumora_ctrl.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/control_error.h"
#include "platform/ole/headless_site.h"

namespace control_test {

constexpr COLORREF kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kYellow = 0x00FFFF,
                   kWhite = 0xFFFFFF, kBlack = 0;

// Runs f and checks that it raised the given control error number and description.
template <typename F>
void ExpectControlError(F&& f, uint16_t number, std::string_view description,
                        const std::string& what) {
    SCOPED_TRACE(what);
    try {
        f();
        ADD_FAILURE() << "no error raised";
    } catch (const platform::ControlError& error) {
        EXPECT_EQ(error.number(), number);
        EXPECT_EQ(error.scode(), 0x800A0000u | number);
        EXPECT_EQ(error.description(), description);
    }
}

template <typename F>
void ExpectInvalidValue(F&& f, const std::string& what) {
    ExpectControlError(std::forward<F>(f), 380, "Invalid property value", what);
}

struct SitedControl {
    control::CLumoraCtrl ctrl;
    platform::HeadlessSite site{ctrl, 320, 240};
    SitedControl() { ctrl.InitNew(); }
};

inline platform::Variant Get(control::CLumoraCtrl& c, std::string_view name) {
    return c.GetProperty(name);
}

inline void Set(control::CLumoraCtrl& c, std::string_view name, const platform::Variant& v) {
    c.SetProperty(name, v);
}

// A control of the given size with the given frame, its background one plain colour.
struct Sited {
    control::CLumoraCtrl ctrl;
    platform::HeadlessSite site;
    Sited(int width, int height, int16_t border, int16_t appearance, COLORREF back)
        : site(ctrl, width, height) {
        ctrl.InitNew();
        Set(ctrl, "BorderStyle", platform::Variant::I2(border));
        Set(ctrl, "Appearance", platform::Variant::I2(appearance));
        Set(ctrl, "BackColor", platform::Variant::I4(static_cast<int32_t>(back)));
    }
    std::pair<int, int> Extent() const { return {site.ExtentWidth(), site.ExtentHeight()}; }
    int Count(const std::string& event) const {
        return static_cast<int>(std::count(site.Events().begin(), site.Events().end(), event));
    }
};

inline std::vector<COLORREF> SitePixels(const platform::HeadlessSite& site,
                                        const std::vector<POINT>& at) {
    std::vector<COLORREF> out;
    for (const POINT& p : at)
        out.push_back(site.Pixel(p.x, p.y));
    return out;
}

inline std::vector<COLORREF> BitmapPixels(HBITMAP bitmap, const std::vector<POINT>& at) {
    const HDC dc = platform::CreateCompatibleDC(0);
    const HGDIOBJ old = platform::SelectObject(dc, bitmap);
    std::vector<COLORREF> out;
    for (const POINT& p : at)
        out.push_back(platform::GetPixel(dc, p.x, p.y));
    platform::SelectObject(dc, old);
    platform::DeleteDC(dc);
    return out;
}

}  // namespace control_test
