#include "platform/ole/variant.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

// ---- SafeArray ------------------------------------------------------------------------------

SafeArray::SafeArray(VARTYPE elementType, int32_t lowerBound, uint32_t count)
    : elementType_(elementType), lowerBound_(lowerBound), count_(count) {}

SafeArrayPtr SafeArray::Create(VARTYPE elementType, int32_t lowerBound, uint32_t count) {
    if (elementType != VT_UI1 && elementType != VT_I4) return nullptr;
    // The upper bound must stay representable.
    if (count > 0 && static_cast<int64_t>(lowerBound) + count - 1 > INT32_MAX) return nullptr;
    const uint32_t size = elementType == VT_UI1 ? 1 : 4;
    if (static_cast<uint64_t>(count) * size > 0x7FFFFFFFu) return nullptr;
    SafeArrayPtr array(new SafeArray(elementType, lowerBound, count));
    array->storage_.assign(static_cast<size_t>(count) * size, 0);
    return array;
}

HRESULT SafeArray::AccessData(void** data) {
    if (!data) return E_INVALIDARG;
    ++locks_;
    *data = storage_.data();
    return S_OK;
}

HRESULT SafeArray::UnaccessData() {
    if (locks_ == 0) return E_UNEXPECTED;
    --locks_;
    return S_OK;
}

bool SafeArray::Index(int32_t index, size_t* offset) const {
    const int64_t relative = static_cast<int64_t>(index) - lowerBound_;
    if (relative < 0 || relative >= count_) return false;
    *offset = static_cast<size_t>(relative) * ElementSize();
    return true;
}

HRESULT SafeArray::GetElement(int32_t index, void* out) const {
    size_t offset;
    if (!out) return E_INVALIDARG;
    if (!Index(index, &offset)) return DISP_E_BADINDEX;
    std::memcpy(out, storage_.data() + offset, ElementSize());
    return S_OK;
}

HRESULT SafeArray::PutElement(int32_t index, const void* in) {
    size_t offset;
    if (!in) return E_INVALIDARG;
    if (!Index(index, &offset)) return DISP_E_BADINDEX;
    std::memcpy(storage_.data() + offset, in, ElementSize());
    return S_OK;
}

bool SafeArray::operator==(const SafeArray& other) const {
    return elementType_ == other.elementType_ && lowerBound_ == other.lowerBound_ &&
           storage_ == other.storage_;
}

SafeArrayPtr SafeArrayCreateVector(VARTYPE elementType, int32_t lowerBound, uint32_t count) {
    return SafeArray::Create(elementType, lowerBound, count);
}

HRESULT SafeArrayAccessData(SafeArray* array, void** data) {
    return array ? array->AccessData(data) : E_INVALIDARG;
}

HRESULT SafeArrayUnaccessData(SafeArray* array) {
    return array ? array->UnaccessData() : E_INVALIDARG;
}

HRESULT SafeArrayGetLBound(const SafeArray* array, uint32_t dimension, int32_t* bound) {
    if (!array || !bound) return E_INVALIDARG;
    if (dimension != 1) return DISP_E_BADINDEX;
    *bound = array->LowerBound();
    return S_OK;
}

HRESULT SafeArrayGetUBound(const SafeArray* array, uint32_t dimension, int32_t* bound) {
    if (!array || !bound) return E_INVALIDARG;
    if (dimension != 1) return DISP_E_BADINDEX;
    *bound = array->UpperBound();
    return S_OK;
}

// ---- Variant --------------------------------------------------------------------------------

Variant Variant::Null() {
    return Variant(VT_NULL, std::monostate{});
}
Variant Variant::I2(int16_t value) {
    return Variant(VT_I2, value);
}
Variant Variant::I4(int32_t value) {
    return Variant(VT_I4, value);
}
Variant Variant::R4(float value) {
    return Variant(VT_R4, value);
}
Variant Variant::R8(double value) {
    return Variant(VT_R8, value);
}
Variant Variant::Bool(bool value) {
    return Variant(VT_BOOL, static_cast<int16_t>(value ? VARIANT_TRUE : VARIANT_FALSE));
}
Variant Variant::Bstr(std::string value) {
    return Variant(VT_BSTR, std::move(value));
}
Variant Variant::UI1(uint8_t value) {
    return Variant(VT_UI1, value);
}
Variant Variant::Error(SCODE code) {
    return Variant(VT_ERROR, code);
}
Variant Variant::Missing() {
    return Error(DISP_E_PARAMNOTFOUND);
}
Variant Variant::Object(std::shared_ptr<Dispatch> object) {
    return Variant(VT_DISPATCH, std::move(object));
}
Variant Variant::Array(SafeArrayPtr array) {
    if (!array) return Variant();
    const VARTYPE vt = VT_ARRAY | array->ElementType();
    return Variant(vt, std::move(array));
}
Variant Variant::ByRef(Variant& target) {
    return Variant(VT_BYREF | VT_VARIANT, &target);
}

const Variant& Variant::Deref() const {
    const Variant* v = this;
    // A reference chain longer than this is a cycle, not a real argument.
    for (int depth = 0; v->IsByRef() && depth < 16; ++depth)
        v = std::get<Variant*>(v->value_);
    return *v;
}

Variant& Variant::Deref() {
    return const_cast<Variant&>(static_cast<const Variant&>(*this).Deref());
}

bool Variant::operator==(const Variant& other) const {
    if (vt_ != other.vt_) return false;
    if (vt_ & VT_ARRAY) {
        const auto& a = AsArray();
        const auto& b = other.AsArray();
        return a == b || (a && b && *a == *b);
    }
    return value_ == other.value_;
}

bool IsMissing(const Variant& value) {
    const Variant& v = value.Deref();
    return v.vt() == VT_ERROR && v.AsError() == DISP_E_PARAMNOTFOUND;
}

bool IsEmptyOrMissing(const Variant& value) {
    return value.Deref().vt() == VT_EMPTY || IsMissing(value);
}

// ---- Text -----------------------------------------------------------------------------------

std::string FormatShortest(float value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatShortest(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

namespace {

// Automation's number-to-text: 15 significant digits for doubles, 7 for singles, exponent
// form for very large and very small magnitudes.
std::string FormatNumber(double value, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
    return buffer;
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

bool EqualsNoCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    }
    return true;
}

// A source reduced to a number: its value and whether it is already integral.
struct Number {
    double value = 0;
    HRESULT status = S_OK;
};

Number ToNumber(const Variant& v, VARTYPE target) {
    switch (v.vt()) {
        case VT_EMPTY:
            return {0, S_OK};
        case VT_I2:
            return {static_cast<double>(v.AsI2()), S_OK};
        case VT_I4:
            return {static_cast<double>(v.AsI4()), S_OK};
        case VT_UI1:
            return {static_cast<double>(v.AsUI1()), S_OK};
        case VT_BOOL:
            return {static_cast<double>(v.AsBool()), S_OK};
        case VT_R4:
            return {static_cast<double>(v.AsR4()), S_OK};
        case VT_R8:
            return {v.AsR8(), S_OK};
        case VT_ERROR:
            // Only a 32-bit integer can carry an SCODE.
            if (target == VT_I4)
                return {static_cast<double>(static_cast<int32_t>(v.AsError())), S_OK};
            return {0, DISP_E_TYPEMISMATCH};
        case VT_BSTR: {
            const std::string text = Trim(v.AsBstr());
            if (target == VT_BOOL) {
                if (EqualsNoCase(text, "true")) return {-1, S_OK};
                if (EqualsNoCase(text, "false")) return {0, S_OK};
            }
            if (text.empty()) return {0, DISP_E_TYPEMISMATCH};
            char* end = nullptr;
            errno = 0;
            const double d = std::strtod(text.c_str(), &end);
            if (end != text.c_str() + text.size()) return {0, DISP_E_TYPEMISMATCH};
            if (errno == ERANGE && std::isinf(d)) return {0, DISP_E_OVERFLOW};
            // Rejects "nan" and "inf", which automation does not parse.
            if (!std::isfinite(d)) return {0, DISP_E_TYPEMISMATCH};
            return {d, S_OK};
        }
        default:
            return {0, DISP_E_TYPEMISMATCH};
    }
}

// Round half to even, then range-check.
bool ToInteger(double d, double lo, double hi, int64_t* out) {
    if (!std::isfinite(d)) return false;
    double r = std::nearbyint(d);
    if (std::fabs(d - std::trunc(d)) == 0.5) r = 2.0 * std::nearbyint(d / 2.0);
    if (r < lo || r > hi) return false;
    *out = static_cast<int64_t>(r);
    return true;
}

HRESULT ToText(const Variant& v, std::string* out) {
    switch (v.vt()) {
        case VT_EMPTY:
            *out = "";
            return S_OK;
        case VT_I2:
            *out = std::to_string(v.AsI2());
            return S_OK;
        case VT_I4:
            *out = std::to_string(v.AsI4());
            return S_OK;
        case VT_UI1:
            *out = std::to_string(v.AsUI1());
            return S_OK;
        case VT_R4:
            *out = FormatNumber(v.AsR4(), 7);
            return S_OK;
        case VT_R8:
            *out = FormatNumber(v.AsR8(), 15);
            return S_OK;
        case VT_BOOL:
            *out = v.AsBool() ? "True" : "False";
            return S_OK;
        case VT_BSTR:
            *out = v.AsBstr();
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

HRESULT ChangeType(const Variant& source, VARTYPE target, Variant& out) {
    const Variant& v = source.Deref();
    if (v.vt() == VT_DISPATCH) {
        if (target == VT_DISPATCH) {
            out = v;
            return S_OK;
        }
        if (!v.AsDispatch()) return DISP_E_TYPEMISMATCH;
        Variant value;
        const HRESULT hr = v.AsDispatch()->GetProperty(DISPID_VALUE, value);
        if (Failed(hr)) return hr;
        if (value.Deref().vt() == VT_DISPATCH) return DISP_E_TYPEMISMATCH;
        return ChangeType(value, target, out);
    }
    if (v.vt() == target) {
        out = v;
        return S_OK;
    }
    if (v.vt() == VT_NULL || (v.vt() & VT_ARRAY)) return DISP_E_TYPEMISMATCH;

    if (target == VT_EMPTY) {
        out = Variant();
        return S_OK;
    }
    if (target == VT_BSTR) {
        std::string text;
        const HRESULT hr = ToText(v, &text);
        if (Failed(hr)) return hr;
        out = Variant::Bstr(std::move(text));
        return S_OK;
    }

    const Number n = ToNumber(v, target);
    if (Failed(n.status)) return n.status;
    int64_t i = 0;
    switch (target) {
        case VT_I2:
            if (!ToInteger(n.value, INT16_MIN, INT16_MAX, &i)) return DISP_E_OVERFLOW;
            out = Variant::I2(static_cast<int16_t>(i));
            return S_OK;
        case VT_I4:
            if (!ToInteger(n.value, INT32_MIN, INT32_MAX, &i)) return DISP_E_OVERFLOW;
            out = Variant::I4(static_cast<int32_t>(i));
            return S_OK;
        case VT_UI1:
            if (!ToInteger(n.value, 0, 255, &i)) return DISP_E_OVERFLOW;
            out = Variant::UI1(static_cast<uint8_t>(i));
            return S_OK;
        case VT_R4:
            if (std::fabs(n.value) > FLT_MAX) return DISP_E_OVERFLOW;
            out = Variant::R4(static_cast<float>(n.value));
            return S_OK;
        case VT_R8:
            out = Variant::R8(n.value);
            return S_OK;
        case VT_BOOL:
            out = Variant::Bool(n.value != 0);
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace platform
