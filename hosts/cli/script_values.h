// Values of the scripting host: literals typed as BASIC types them, and values printed as
// BASIC prints them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ole/variant.h"

namespace cli {

// A numeric literal as written (digits, an optional decimal point and exponent, or &H hex
// digits, then an optional type suffix % & ! #). Nothing when the text is not a number or does
// not fit the type its suffix asks for.
std::optional<platform::Variant> TypeNumberLiteral(std::string_view text);

// Unary minus keeping the operand's type, widening an integer that would overflow (I2 to I4,
// I4 to R8). Booleans negate as integers, text as a double; other types raise 13.
platform::Variant Negate(const platform::Variant& value);

// Numbers in their shortest form that reads back, True/False, text as it is, nothing for
// Empty, array elements separated by single spaces, an object as its value property.
std::string FormatValue(const platform::Variant& value);

}  // namespace cli
