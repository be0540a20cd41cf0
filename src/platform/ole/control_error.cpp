#include "platform/ole/control_error.h"

namespace platform {

ControlError::ControlError(SCODE scode, std::string description)
    : std::runtime_error("Error " + std::to_string(scode & 0xFFFF) + ": " + description),
      scode_(scode),
      description_(std::move(description)) {}

std::string_view StandardErrorText(uint16_t number) {
    switch (number) {
        case CTL_E_ILLEGALFUNCTIONCALL:
            return "Invalid procedure call or argument";
        case CTL_E_INVALIDPROPERTYVALUE:
            return "Invalid property value";
        case CTL_E_SETNOTSUPPORTED:
            return "Property is read-only";
        case CTL_E_GETNOTSUPPORTED:
            return "Property is write-only";
        case CTL_E_INVALIDPICTURE:
            return "Invalid picture";
        default:
            return {};
    }
}

void ThrowError(SCODE scodeOrNumber, std::string_view description) {
    const SCODE scode = scodeOrNumber <= 0xFFFF ? ControlScode(static_cast<uint16_t>(scodeOrNumber))
                                                : scodeOrNumber;
    std::string text(description);
    if (text.empty()) text = StandardErrorText(static_cast<uint16_t>(scode & 0xFFFF));
    throw ControlError(scode, std::move(text));
}

}  // namespace platform
