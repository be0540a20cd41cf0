#include "script_values.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/ole/control_error.h"

namespace cli {

using namespace platform;

namespace {

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// The smallest integer type that holds the value, R8 beyond I4.
Variant SmallestInteger(double value) {
    if (value >= INT16_MIN && value <= INT16_MAX) return Variant::I2(static_cast<int16_t>(value));
    if (value >= INT32_MIN && value <= INT32_MAX) return Variant::I4(static_cast<int32_t>(value));
    return Variant::R8(value);
}

std::optional<Variant> TypeHex(std::string_view digits, char suffix) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    // Up to four digits is a 16-bit pattern (&HFFFF is -1), more is a 32-bit one.
    const bool wide = digits.size() > 4;
    switch (suffix) {
        case 0:
            return wide ? Variant::I4(static_cast<int32_t>(value))
                        : Variant::I2(static_cast<int16_t>(value));
        case '%':
            if (wide) return std::nullopt;
            return Variant::I2(static_cast<int16_t>(value));
        case '&':
            // Long: the digits are the 32-bit value (&HFF00& is 65280).
            return Variant::I4(static_cast<int32_t>(value));
        case '!':
            return Variant::R4(static_cast<float>(wide ? static_cast<int32_t>(value)
                                                       : static_cast<int16_t>(value)));
        case '#':
            return Variant::R8(wide ? static_cast<int32_t>(value) : static_cast<int16_t>(value));
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<Variant> TypeNumberLiteral(std::string_view text) {
    if (text.empty()) return std::nullopt;
    char suffix = 0;
    const char last = text.back();
    if (last == '%' || last == '&' || last == '!' || last == '#') {
        suffix = last;
        text.remove_suffix(1);
    }
    if (text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h'))
        return TypeHex(text.substr(2), suffix);
    if (text.empty() || !(IsDecimalDigit(text[0]) || text[0] == '.')) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    const bool integral = text.find_first_of(".eE") == std::string_view::npos;
    switch (suffix) {
        case '%':
            if (!integral || value > INT16_MAX) return std::nullopt;
            return Variant::I2(static_cast<int16_t>(value));
        case '&':
            if (!integral || value > INT32_MAX) return std::nullopt;
            return Variant::I4(static_cast<int32_t>(value));
        case '!':
            if (value > std::numeric_limits<float>::max()) return std::nullopt;
            return Variant::R4(static_cast<float>(value));
        case '#':
            return Variant::R8(value);
        default:
            return integral ? SmallestInteger(value) : Variant::R8(value);
    }
}

Variant Negate(const Variant& input) {
    const Variant& v = input.Deref();
    switch (v.vt()) {
        case VT_EMPTY:
            return Variant::I2(0);
        case VT_I2:
            return v.AsI2() == INT16_MIN ? Variant::I4(-static_cast<int32_t>(v.AsI2()))
                                         : Variant::I2(static_cast<int16_t>(-v.AsI2()));
        case VT_BOOL:
            return Variant::I2(static_cast<int16_t>(-v.AsBool()));
        case VT_UI1:
            return Variant::I2(static_cast<int16_t>(-v.AsUI1()));
        case VT_I4:
            return v.AsI4() == INT32_MIN ? Variant::R8(-static_cast<double>(v.AsI4()))
                                         : Variant::I4(-v.AsI4());
        case VT_R4:
            return Variant::R4(-v.AsR4());
        case VT_R8:
            return Variant::R8(-v.AsR8());
        case VT_BSTR: {
            Variant number;
            if (!Failed(ChangeType(v, VT_R8, number))) return Variant::R8(-number.AsR8());
            break;
        }
        default:
            break;
    }
    ThrowError(13, "Type mismatch");
}

std::string FormatValue(const Variant& input) {
    const Variant& v = input.Deref();
    if (v.vt() & VT_ARRAY) {
        const SafeArrayPtr& array = v.AsArray();
        std::string text;
        if (!array) return text;
        for (int32_t i = array->LowerBound(); i <= array->UpperBound(); ++i) {
            if (i != array->LowerBound()) text += ' ';
            if (array->ElementType() == VT_UI1) {
                uint8_t element = 0;
                array->GetElement(i, &element);
                text += std::to_string(element);
            } else {
                int32_t element = 0;
                array->GetElement(i, &element);
                text += std::to_string(element);
            }
        }
        return text;
    }
    switch (v.vt()) {
        case VT_EMPTY:
            return "";
        case VT_NULL:
            return "Null";
        case VT_I2:
            return std::to_string(v.AsI2());
        case VT_I4:
            return std::to_string(v.AsI4());
        case VT_UI1:
            return std::to_string(v.AsUI1());
        case VT_R4:
            return FormatShortest(v.AsR4());
        case VT_R8:
            return FormatShortest(v.AsR8());
        case VT_BOOL:
            return v.AsBool() ? "True" : "False";
        case VT_BSTR:
            return v.AsBstr();
        case VT_ERROR:
            return "Error " + std::to_string(v.AsError() & 0xFFFF);
        case VT_DISPATCH: {
            if (!v.AsDispatch()) return "Nothing";
            Variant value;
            if (Failed(v.AsDispatch()->GetProperty(DISPID_VALUE, value))) return "<object>";
            return FormatValue(value);
        }
        default:
            return "<?>";
    }
}

}  // namespace cli
