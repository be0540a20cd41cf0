// Numbers from method arguments and their rounding to pixels, shared by the drawing methods.
#pragma once

#include <cstdint>

#include "platform/ole/variant.h"

namespace control {

// What an omitted or non-numeric optional argument reads as.
constexpr double kOmittedArgument = -32767.0;

// An optional argument's numeric value, looked through a reference; I2, I4, R4, R8 and UI1 give
// their value, anything else kOmittedArgument.
double VariantToDouble(const platform::Variant& value);

// Nearest integer; exact halves go towards minus infinity (2.5 -> 2, -2.5 -> -3).
int32_t RoundToInt(double value);

}  // namespace control
