#include "control/numeric_args.h"

#include <algorithm>
#include <cmath>

namespace control {

using namespace platform;

double VariantToDouble(const Variant& value) {
    const Variant& v = value.Deref();
    switch (v.vt()) {
        case VT_I2:
            return v.AsI2();
        case VT_I4:
            return v.AsI4();
        case VT_R4:
            return v.AsR4();
        case VT_R8:
            return v.AsR8();
        case VT_UI1:
            return v.AsUI1();
        default:
            return kOmittedArgument;
    }
}

int32_t RoundToInt(double value) {
    // Coordinates far outside any surface still give an integer: the nearest one that exists.
    if (std::isnan(value)) return 0;
    value = std::clamp(value, double{INT32_MIN}, double{INT32_MAX});
    double t = std::trunc(value);
    // A positive half first goes up and then comes back down, so every half ends below.
    if (value - t >= 0.5) t += 1.0;
    if (value - t <= -0.5) t -= 1.0;
    return static_cast<int32_t>(t);
}

}  // namespace control
