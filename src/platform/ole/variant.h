// Automation values: the VARIANT types the control's interface passes, one-dimensional safe
// arrays of bytes and 32-bit integers, and the dispatch objects (pictures, fonts) that travel
// as VT_DISPATCH. Conversions follow OLE's rules: integers from floats round half to even,
// out-of-range values give DISP_E_OVERFLOW, impossible ones DISP_E_TYPEMISMATCH.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/os/wintypes.h"

namespace platform {

using HRESULT = uint32_t;  // unsigned, so the 0x8... codes read as written
using SCODE = HRESULT;
using DISPID = int32_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using OLE_COLOR = uint32_t;

constexpr bool Failed(HRESULT hr) {
    return (hr & 0x80000000u) != 0;
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_INVALIDARG = 0x80070057;
constexpr HRESULT E_OUTOFMEMORY = 0x8007000E;
constexpr HRESULT E_UNEXPECTED = 0x8000FFFF;
constexpr HRESULT DISP_E_MEMBERNOTFOUND = 0x80020003;
constexpr HRESULT DISP_E_PARAMNOTFOUND = 0x80020004;
constexpr HRESULT DISP_E_TYPEMISMATCH = 0x80020005;
constexpr HRESULT DISP_E_OVERFLOW = 0x8002000A;
constexpr HRESULT DISP_E_BADINDEX = 0x8002000B;
constexpr HRESULT DISP_E_ARRAYISLOCKED = 0x8002000D;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UI1 = 17,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

constexpr DISPID DISPID_VALUE = 0;

class Variant;

// What a VT_DISPATCH value points at: an object whose properties are read and written by
// DISPID, as IDispatch::Invoke with DISPATCH_PROPERTYGET/PUT would.
class Dispatch {
  public:
    virtual ~Dispatch() = default;
    virtual HRESULT GetProperty(DISPID id, Variant& out) const = 0;
    virtual HRESULT SetProperty(DISPID id, const Variant& value) = 0;
};

// A one-dimensional array of VT_UI1 or VT_I4 elements with a lower bound. Data access is
// bracketed by AccessData/UnaccessData as in OLE; element access is refused while locked only
// where OLE refuses it (resizing is not offered at all).
class SafeArray {
  public:
    // Null for an unsupported element type or a size that does not fit in memory.
    static std::shared_ptr<SafeArray> Create(VARTYPE elementType, int32_t lowerBound,
                                             uint32_t count);

    VARTYPE ElementType() const { return elementType_; }
    uint32_t ElementSize() const { return elementType_ == VT_UI1 ? 1 : 4; }
    int32_t LowerBound() const { return lowerBound_; }
    int32_t UpperBound() const { return lowerBound_ + static_cast<int32_t>(count_) - 1; }
    uint32_t Count() const { return count_; }
    int Locks() const { return locks_; }

    HRESULT AccessData(void** data);
    HRESULT UnaccessData();
    // Element index in the array's own numbering; DISP_E_BADINDEX outside the bounds.
    HRESULT GetElement(int32_t index, void* out) const;
    HRESULT PutElement(int32_t index, const void* in);
    const uint8_t* Bytes() const { return storage_.data(); }

    bool operator==(const SafeArray& other) const;

  private:
    SafeArray(VARTYPE elementType, int32_t lowerBound, uint32_t count);
    bool Index(int32_t index, size_t* offset) const;

    VARTYPE elementType_;
    int32_t lowerBound_;
    uint32_t count_;
    int locks_ = 0;
    std::vector<uint8_t> storage_;
};

using SafeArrayPtr = std::shared_ptr<SafeArray>;

// Win32-named wrappers over SafeArray for code that reads like the OLE calls.
SafeArrayPtr SafeArrayCreateVector(VARTYPE elementType, int32_t lowerBound, uint32_t count);
HRESULT SafeArrayAccessData(SafeArray* array, void** data);
HRESULT SafeArrayUnaccessData(SafeArray* array);
HRESULT SafeArrayGetLBound(const SafeArray* array, uint32_t dimension, int32_t* bound);
HRESULT SafeArrayGetUBound(const SafeArray* array, uint32_t dimension, int32_t* bound);

class Variant {
  public:
    Variant() = default;  // VT_EMPTY
    static Variant Null();
    static Variant I2(int16_t value);
    static Variant I4(int32_t value);
    static Variant R4(float value);
    static Variant R8(double value);
    static Variant Bool(bool value);
    static Variant Bstr(std::string value);
    static Variant UI1(uint8_t value);
    static Variant Error(SCODE code);
    // An omitted optional argument: VT_ERROR holding DISP_E_PARAMNOTFOUND.
    static Variant Missing();
    static Variant Object(std::shared_ptr<Dispatch> object);
    // VT_ARRAY | the array's element type; null arrays give VT_EMPTY.
    static Variant Array(SafeArrayPtr array);
    // VT_BYREF | VT_VARIANT: refers to a variant that the caller keeps alive.
    static Variant ByRef(Variant& target);

    VARTYPE vt() const { return vt_; }
    bool IsByRef() const { return (vt_ & VT_BYREF) != 0; }
    // The variant itself, or what a by-reference chain ends at.
    const Variant& Deref() const;
    Variant& Deref();

    // Typed access to the stored value; only valid for the matching vt (not dereferenced).
    int16_t AsI2() const { return std::get<int16_t>(value_); }
    int32_t AsI4() const { return std::get<int32_t>(value_); }
    float AsR4() const { return std::get<float>(value_); }
    double AsR8() const { return std::get<double>(value_); }
    VARIANT_BOOL AsBool() const { return std::get<int16_t>(value_); }
    const std::string& AsBstr() const { return std::get<std::string>(value_); }
    uint8_t AsUI1() const { return std::get<uint8_t>(value_); }
    SCODE AsError() const { return std::get<SCODE>(value_); }
    const std::shared_ptr<Dispatch>& AsDispatch() const {
        return std::get<std::shared_ptr<Dispatch>>(value_);
    }
    const SafeArrayPtr& AsArray() const { return std::get<SafeArrayPtr>(value_); }

    // Same type and same value; dispatch objects and references compare by identity, arrays
    // by bounds and contents.
    bool operator==(const Variant& other) const;

  private:
    // VT_BOOL shares int16_t with VT_I2 and VT_ERROR holds its unsigned SCODE; vt_ tells them
    // apart.
    using Value = std::variant<std::monostate, int16_t, int32_t, float, double, std::string,
                               uint8_t, SCODE, std::shared_ptr<Dispatch>, SafeArrayPtr, Variant*>;
    Variant(VARTYPE vt, Value value) : vt_(vt), value_(std::move(value)) {}

    VARTYPE vt_ = VT_EMPTY;
    Value value_;
};

// VariantChangeType for the scalar targets VT_I2, VT_I4, VT_R4, VT_R8, VT_BOOL, VT_BSTR and
// VT_UI1 (plus VT_EMPTY and VT_ERROR as identities). The source is dereferenced first; a
// dispatch source converts through its value property. out is only written on success.
HRESULT ChangeType(const Variant& source, VARTYPE target, Variant& out);

// True for an omitted optional argument (after dereferencing).
bool IsMissing(const Variant& value);
// True for VT_EMPTY or an omitted argument: the usual test for "not given".
bool IsEmptyOrMissing(const Variant& value);

// Shortest text that reads back as the same float or double.
std::string FormatShortest(float value);
std::string FormatShortest(double value);

}  // namespace platform
