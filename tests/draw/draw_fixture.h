// A control ready to be drawn on: a window of a given size without frame, pixel scale, and
// optionally a grey bitmap of a given depth loaded from a file the test writes.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "control/lumora_ctrl.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/control_error.h"
#include "platform/ole/headless_site.h"
#include "support/picture.h"

namespace draw_test {

using platform::Variant;

struct Surface {
    control::CLumoraCtrl ctrl;
    platform::HeadlessSite site;
    testsupport::TempDir dir;

    // A window of width x height client pixels, white, in pixel scale.
    Surface(int width = 64, int height = 48);
    // Loads a bitmap of one grey level (1 bit: black or white; 8 bits: grey table; 24 bits)
    // and draws into it from now on (DrawTo 1).
    void UseBitmap(int bits, uint8_t grey, int width = 32, int height = 24);

    void Set(std::string_view name, const Variant& v) { ctrl.SetProperty(name, v); }
    Variant Get(std::string_view name) { return ctrl.GetProperty(name); }
    float Float(std::string_view name) { return Get(name).AsR4(); }
    Variant Call(std::string_view name, std::vector<Variant> args) {
        return ctrl.CallMethod(name, args);
    }
    // A pixel of the drawing target (the bitmap with DrawTo 1, else the window), as RGB.
    COLORREF Pixel(int x, int y) const;
    // The pixels that differ from the background within (0, 0)..(width, height): left, top,
    // right, bottom (inclusive), or right < left when there are none.
    std::array<int, 4> Bounds(COLORREF background, int width, int height) const;
};

// Runs f and checks the control error number it raises.
template <typename F>
void ExpectError(F&& f, uint16_t number) {
    try {
        f();
        ADD_FAILURE() << "no error raised, expected " << number;
    } catch (const platform::ControlError& e) {
        EXPECT_EQ(e.number(), number);
    }
}

// Missing optional argument, and colour/number helpers for argument lists.
inline Variant Miss() {
    return Variant::Missing();
}
inline Variant F(double v) {
    return Variant::R4(static_cast<float>(v));
}
inline Variant I(int v) {
    return Variant::I2(static_cast<int16_t>(v));
}
inline Variant Colour(COLORREF c) {
    return Variant::I4(static_cast<int32_t>(c));
}

}  // namespace draw_test
