// A control in a headless site, and checks on the errors it raises.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "control/lumora_ctrl.h"
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

}  // namespace control_test
