// The member table of _DLumora: every property and method with its DISPID, type, arguments and
// handlers. Invoke, the name lookup and the type library all read this one table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/ole/variant.h"

namespace control {

class CLumoraCtrl;

enum class MemberKind { Property, Method, IndexedProperty };

// A type as the interface declares it: the VARIANT type it travels as, plus the declared name
// where that says more (an enumeration, OLE_COLOR, a picture or font interface).
struct TypeRef {
    platform::VARTYPE vt = platform::VT_EMPTY;  // VT_EMPTY: no result
    std::string_view name = {};
};

struct ParamInfo {
    std::string_view name;
    TypeRef type;
    bool optional = false;
};

// Arguments arrive converted to the declared types; a put gets the value last.
using MemberHandler = platform::Variant (*)(CLumoraCtrl& control,
                                            std::span<const platform::Variant> args);

struct MemberInfo {
    std::string_view name;
    platform::DISPID dispid;
    MemberKind kind;
    TypeRef type;                       // property type, or a method's result
    std::span<const ParamInfo> params;  // a method's arguments, or an indexed property's index
    MemberHandler get = nullptr;        // null: write-only (394)
    MemberHandler put = nullptr;        // null: read-only (383)
    MemberHandler invoke = nullptr;     // methods
};

// Every member, custom ones first in DISPID order, then the stock ones.
std::span<const MemberInfo> DispatchMembers();
// Case-insensitive; null when unknown.
const MemberInfo* FindMember(std::string_view name);
const MemberInfo* FindMember(platform::DISPID dispid);

// The one place a member without its implementation ends up: error 438.
[[noreturn]] void MemberNotSupported();

// Calls a member as IDispatch::Invoke would, converting the arguments with OLE's rules. Errors:
// 13 type mismatch, 6 overflow, 450 wrong argument count, 438 unknown member or call kind.
platform::Variant InvokeMember(CLumoraCtrl& control, platform::DISPID dispid, uint16_t flags,
                               std::span<const platform::Variant> args);

}  // namespace control
