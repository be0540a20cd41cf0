// A control in a headless site, checks on the errors it raises, and pixels read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "control/lumora_ctrl.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/control_error.h"
#include "platform/ole/headless_site.h"

namespace control_test {

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
