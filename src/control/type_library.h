// The type library LumoraLib: the enumerations, the event interface and a readable IDL-like
// text of the whole library, generated from the same tables the dispatch code uses.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "control/dispatch.h"

namespace control {

struct EnumMember {
    std::string_view name;
    int32_t value;
    std::string_view help = {};
};

struct EnumInfo {
    std::string_view name;
    std::span<const EnumMember> members;
};

struct EventParam {
    std::string_view name;
    TypeRef type;
    bool byRef = false;
};

struct EventInfo {
    std::string_view name;
    platform::DISPID dispid;
    std::span<const EventParam> params;
};

std::span<const EnumInfo> TypeLibraryEnums();
std::span<const EventInfo> EventMembers();
const EnumInfo* FindEnum(std::string_view name);

// The library as IDL-like text: library header, enumerations, _DLumora, _DLumoraEvents.
std::string TypeLibraryText();

}  // namespace control
