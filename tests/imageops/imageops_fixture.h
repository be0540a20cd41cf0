// A control in a headless site, pictures of any depth written as files for it to load, and
// the control's bitmap read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "control/lumora_ctrl.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/control_error.h"
#include "platform/ole/headless_site.h"
#include "support/oracle.h"
#include "support/picture.h"

namespace imageops_test {

using platform::Variant;

struct Sited {
    control::CLumoraCtrl ctrl;
    platform::HeadlessSite site;
    testsupport::TempDir dir;
    explicit Sited(int width = 320, int height = 240) : site(ctrl, width, height) {
        ctrl.InitNew();
    }
    void Set(const char* name, const Variant& v) { ctrl.SetProperty(name, v); }
    Variant Get(const char* name) { return ctrl.GetProperty(name); }
    int16_t Short(const char* name) { return Get(name).AsI2(); }
};

// A packed bottom-up DIB: what a BMP file holds after its headers.
struct Dib {
    int width = 0;
    int height = 0;
    int bits = 24;
    std::vector<RGBQUAD> colors;  // 2^bits entries for 8 bits or less
    std::vector<uint8_t> rows;
};

// Deterministic bytes in every pixel (row padding zero).
Dib NoisyPicture(int width, int height, int bits, uint32_t salt);
// Loads a picture into the control: a DIB through a BMP file, an RGB picture through a PPM.
void Load(Sited& s, const Dib& dib);
void Load(Sited& s, const oracle::RgbImage& picture);

// The control's bitmap: its rows in its own depth (and colour table), or as RGB.
Dib ReadBitmap(control::CLumoraCtrl& ctrl, int bits);
oracle::RgbImage ReadPicture(control::CLumoraCtrl& ctrl);

// The error a call raised, as (number, description); (0, "") when it raised none.
template <typename F>
std::pair<int, std::string> ErrorOf(F&& f) {
    try {
        f();
    } catch (const platform::ControlError& e) {
        return {e.number(), e.description()};
    }
    return {0, ""};
}

}  // namespace imageops_test
