// What a Photo CD decode should give, computed the plain way (new planes instead of in-place
// doubling, formulas instead of tables), to check the decoder against.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace pcdref {

struct Plane {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> px;
    uint8_t& at(uint32_t x, uint32_t y) { return px[size_t{y} * width + x]; }
    uint8_t at(uint32_t x, uint32_t y) const { return px[size_t{y} * width + x]; }
};

// Twice the size: even pixels copied; odd columns of even rows the rounded mean of their
// left and right neighbours; even columns of odd rows the mean of the pixels above and below;
// the rest the mean of the four diagonal neighbours; the last column and row repeated.
inline Plane Double(const Plane& in) {
    const uint32_t w = in.width, h = in.height;
    Plane out{2 * w, 2 * h, std::vector<uint8_t>(size_t{4} * w * h)};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool right = x + 1 < w;
            out.at(2 * x, 2 * y) = in.at(x, y);
            out.at(2 * x + 1, 2 * y) =
                right ? static_cast<uint8_t>((in.at(x, y) + in.at(x + 1, y) + 1) / 2) : in.at(x, y);
        }
    for (uint32_t y = 0; y + 1 < h; ++y)
        for (uint32_t x = 0; x < 2 * w; ++x) {
            const uint8_t a = out.at(x, 2 * y), b = out.at(x, 2 * y + 2);
            if (x % 2 == 0 || x == 2 * w - 1) {
                out.at(x, 2 * y + 1) = static_cast<uint8_t>((a + b + 1) / 2);
            } else {
                const int sum = out.at(x - 1, 2 * y) + out.at(x + 1, 2 * y) +
                                out.at(x - 1, 2 * y + 2) + out.at(x + 1, 2 * y + 2);
                out.at(x, 2 * y + 1) = static_cast<uint8_t>((sum + 2) / 4);
            }
        }
    for (uint32_t x = 0; x < 2 * w; ++x)
        out.at(x, 2 * h - 1) = out.at(x, 2 * h - 2);
    return out;
}

// The layered resolutions' conversion: fixed-point sums, 10 bits kept, then a quarter.
inline std::array<uint8_t, 3> TableRgb(int y, int c1, int c2) {
    auto toByte = [](int sum) {
        int v = sum >= 0 ? sum / 256 : -((-sum + 255) / 256);  // floor, as an arithmetic shift
        return static_cast<uint8_t>(std::clamp(v, 0, 1023) / 4);
    };
    const int l = 1391 * y;
    return {toByte(l + 1865 * c2 - 255023), toByte(l - 441 * c1 + 199313 - 949 * c2),
            toByte(l + 2271 * c1 - 353784)};
}

// The small resolutions' conversion with the single-precision coefficients.
inline std::array<uint8_t, 3> FloatRgb(int y, int c1, int c2) {
    c1 -= 156;
    c2 -= 137;
    auto toByte = [](double exact) {
        const float v = static_cast<float>(exact);
        const double n = std::trunc(v);
        double r = n;
        if (v - n >= 0.5) r = n + 1;
        if (v - n <= -0.5) r = n - 1;
        return static_cast<uint8_t>(std::clamp(r, 0.0, 255.0));
    };
    const double luma = 1.407488f * static_cast<double>(y);
    return {toByte(c2 * double{1.3230336f} + luma),
            toByte(c1 * double{-0.3954176f} + c2 * double{-0.67392f} + luma),
            toByte(c1 * double{2.0360448f} + luma)};
}

}  // namespace pcdref
