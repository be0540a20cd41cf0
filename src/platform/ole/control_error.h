// The error a host sees when a property or method fails: an SCODE in the control error range
// (0x800A0000 | number), the number itself and a description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/ole/variant.h"

namespace platform {

// Standard control error numbers.
enum : uint16_t {
    CTL_E_ILLEGALFUNCTIONCALL = 5,
    CTL_E_INVALIDPROPERTYVALUE = 380,
    CTL_E_SETNOTSUPPORTED = 383,
    CTL_E_GETNOTSUPPORTED = 394,
    CTL_E_INVALIDPICTURE = 481,
};

constexpr SCODE ControlScode(uint16_t number) {
    return 0x800A0000u | number;
}

class ControlError : public std::runtime_error {
  public:
    ControlError(SCODE scode, std::string description);

    SCODE scode() const { return scode_; }
    // What the host reports as the error number: the SCODE's low word.
    uint16_t number() const { return static_cast<uint16_t>(scode_ & 0xFFFF); }
    const std::string& description() const { return description_; }

  private:
    SCODE scode_;
    std::string description_;
};

// The platform's text for a standard error number; empty for any other number.
std::string_view StandardErrorText(uint16_t number);

// Raises a ControlError. A value up to 0xFFFF is an error number and becomes the SCODE
// 0x800A0000 | number; a larger one is taken as a full SCODE. An empty description is replaced
// by the standard text of the number, when it has one.
[[noreturn]] void ThrowError(SCODE scodeOrNumber, std::string_view description = {});

}  // namespace platform
