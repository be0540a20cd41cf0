// Automation values: conversions with their rounding and overflow rules, references, omitted
// arguments, safe arrays, and the control error type.
#include <gtest/gtest.h>

#include "platform/ole/control_error.h"
#include "platform/ole/variant.h"

using namespace platform;

namespace {

Variant Convert(const Variant& v, VARTYPE vt) {
    Variant out;
    const HRESULT hr = ChangeType(v, vt, out);
    EXPECT_EQ(hr, S_OK) << "vt " << vt;
    return out;
}

HRESULT ConvertStatus(const Variant& v, VARTYPE vt) {
    Variant out = Variant::Bstr("untouched");
    const HRESULT hr = ChangeType(v, vt, out);
    if (Failed(hr)) {
        EXPECT_EQ(out, Variant::Bstr("untouched"));
    }
    return hr;
}

}  // namespace

TEST(Variant, IntegerTargetsRoundHalfToEvenAndReportOverflow) {
    EXPECT_EQ(Convert(Variant::R8(2.5), VT_I2), Variant::I2(2));
    EXPECT_EQ(Convert(Variant::R8(3.5), VT_I2), Variant::I2(4));
    EXPECT_EQ(Convert(Variant::R8(-2.5), VT_I2), Variant::I2(-2));
    EXPECT_EQ(Convert(Variant::R8(2.6), VT_I4), Variant::I4(3));
    EXPECT_EQ(Convert(Variant::R4(-7.4f), VT_I4), Variant::I4(-7));
    EXPECT_EQ(Convert(Variant::R8(32767.4), VT_I2), Variant::I2(32767));
    EXPECT_EQ(ConvertStatus(Variant::R8(32767.5), VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertStatus(Variant::I4(-32769), VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(Convert(Variant::I4(-32768), VT_I2), Variant::I2(-32768));
    EXPECT_EQ(ConvertStatus(Variant::R8(2147483648.0), VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertStatus(Variant::I2(256), VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertStatus(Variant::I2(-1), VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(Convert(Variant::I2(255), VT_UI1), Variant::UI1(255));
    EXPECT_EQ(ConvertStatus(Variant::R8(1e39), VT_R4), DISP_E_OVERFLOW);
    EXPECT_EQ(Convert(Variant::Bool(true), VT_I2), Variant::I2(-1));
    EXPECT_EQ(Convert(Variant(), VT_I4), Variant::I4(0));
}

TEST(Variant, TextAndTruthConversions) {
    EXPECT_EQ(Convert(Variant::Bstr(" 42 "), VT_I2), Variant::I2(42));
    EXPECT_EQ(Convert(Variant::Bstr("12.5"), VT_I4), Variant::I4(12));
    EXPECT_EQ(Convert(Variant::Bstr("1.5e2"), VT_R8), Variant::R8(150.0));
    EXPECT_EQ(ConvertStatus(Variant::Bstr("12abc"), VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertStatus(Variant::Bstr(""), VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertStatus(Variant::Bstr("nan"), VT_R8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertStatus(Variant::Bstr("70000"), VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(Convert(Variant::Bstr("TRUE"), VT_BOOL), Variant::Bool(true));
    EXPECT_EQ(Convert(Variant::Bstr("0"), VT_BOOL), Variant::Bool(false));
    EXPECT_EQ(Convert(Variant::R8(0.25), VT_BOOL), Variant::Bool(true));
    EXPECT_EQ(Convert(Variant::Bool(true), VT_BOOL).AsBool(), VARIANT_TRUE);

    EXPECT_EQ(Convert(Variant::I2(-12), VT_BSTR), Variant::Bstr("-12"));
    EXPECT_EQ(Convert(Variant::R8(0.1), VT_BSTR), Variant::Bstr("0.1"));
    EXPECT_EQ(Convert(Variant::R8(1e20), VT_BSTR), Variant::Bstr("1E+20"));
    EXPECT_EQ(Convert(Variant::R4(1.1f), VT_BSTR), Variant::Bstr("1.1"));
    EXPECT_EQ(Convert(Variant::Bool(false), VT_BSTR), Variant::Bstr("False"));
    EXPECT_EQ(Convert(Variant(), VT_BSTR), Variant::Bstr(""));

    EXPECT_EQ(ConvertStatus(Variant::Null(), VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertStatus(Variant::Missing(), VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Convert(Variant::Error(0x800A017C), VT_I4),
              Variant::I4(static_cast<int32_t>(0x800A017C)));
    EXPECT_EQ(ConvertStatus(Variant::Array(SafeArrayCreateVector(VT_UI1, 0, 2)), VT_I4),
              DISP_E_TYPEMISMATCH);
}

TEST(Variant, DispatchConvertsThroughItsValueProperty) {
    struct Valued : Dispatch {
        HRESULT GetProperty(DISPID id, Variant& out) const override {
            if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
            out = Variant::I4(1234);
            return S_OK;
        }
        HRESULT SetProperty(DISPID, const Variant&) override { return DISP_E_MEMBERNOTFOUND; }
    };
    auto object = std::make_shared<Valued>();
    EXPECT_EQ(Convert(Variant::Object(object), VT_I2), Variant::I2(1234));
    EXPECT_EQ(Convert(Variant::Object(object), VT_BSTR), Variant::Bstr("1234"));
    EXPECT_EQ(ConvertStatus(Variant::Object(nullptr), VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(Variant, ReferencesAreFollowedAndWritable) {
    Variant target = Variant::I2(7);
    Variant ref = Variant::ByRef(target);
    Variant refRef = Variant::ByRef(ref);
    EXPECT_EQ(ref.vt(), VT_BYREF | VT_VARIANT);
    EXPECT_EQ(&refRef.Deref(), &target);
    EXPECT_EQ(Convert(refRef, VT_R8), Variant::R8(7.0));

    // The callee writes through the reference, as a KeyDown handler changes KeyCode.
    ref.Deref() = Variant::I2(0);
    EXPECT_EQ(target, Variant::I2(0));

    Variant missing = Variant::Missing();
    EXPECT_TRUE(IsMissing(Variant::ByRef(missing)));
    EXPECT_TRUE(IsEmptyOrMissing(missing));
    Variant empty;
    EXPECT_TRUE(IsEmptyOrMissing(Variant::ByRef(empty)));
    EXPECT_FALSE(IsMissing(Variant::Error(DISP_E_TYPEMISMATCH)));
    EXPECT_FALSE(IsEmptyOrMissing(Variant::I2(0)));
    EXPECT_FALSE(IsEmptyOrMissing(Variant::Null()));
}

TEST(Variant, EqualityComparesTypeAndValue) {
    EXPECT_NE(Variant::I2(1), Variant::I4(1));
    EXPECT_NE(Variant::I2(-1), Variant::Bool(true));
    EXPECT_NE(Variant(), Variant::Null());
    EXPECT_EQ(Variant::Bstr("a"), Variant::Bstr("a"));
    EXPECT_NE(Variant::Error(1), Variant::I4(1));

    auto a = SafeArrayCreateVector(VT_I4, 1, 2);
    auto b = SafeArrayCreateVector(VT_I4, 1, 2);
    EXPECT_EQ(Variant::Array(a), Variant::Array(b));
    const int32_t value = 9;
    ASSERT_EQ(b->PutElement(2, &value), S_OK);
    EXPECT_NE(Variant::Array(a), Variant::Array(b));
    EXPECT_NE(Variant::Array(SafeArrayCreateVector(VT_I4, 0, 2)), Variant::Array(a));
}

TEST(SafeArray, BoundsElementsAndLocking) {
    EXPECT_EQ(SafeArrayCreateVector(VT_R8, 0, 4), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_I4, INT32_MAX, 2), nullptr);

    auto bytes = SafeArrayCreateVector(VT_UI1, 5, 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(Variant::Array(bytes).vt(), VT_ARRAY | VT_UI1);
    int32_t lo = 0, hi = 0;
    ASSERT_EQ(SafeArrayGetLBound(bytes.get(), 1, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(bytes.get(), 1, &hi), S_OK);
    EXPECT_EQ(lo, 5);
    EXPECT_EQ(hi, 7);
    EXPECT_EQ(SafeArrayGetLBound(bytes.get(), 2, &lo), DISP_E_BADINDEX);

    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(bytes.get(), &data), S_OK);
    EXPECT_EQ(bytes->Locks(), 1);
    static_cast<uint8_t*>(data)[2] = 0xAB;
    ASSERT_EQ(SafeArrayUnaccessData(bytes.get()), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(bytes.get()), E_UNEXPECTED);

    uint8_t element = 0;
    ASSERT_EQ(bytes->GetElement(7, &element), S_OK);
    EXPECT_EQ(element, 0xAB);
    EXPECT_EQ(bytes->GetElement(4, &element), DISP_E_BADINDEX);
    EXPECT_EQ(bytes->GetElement(8, &element), DISP_E_BADINDEX);

    auto longs = SafeArrayCreateVector(VT_I4, -1, 2);
    const int32_t v = -123456;
    ASSERT_EQ(longs->PutElement(0, &v), S_OK);
    ASSERT_EQ(SafeArrayAccessData(longs.get(), &data), S_OK);
    EXPECT_EQ(static_cast<int32_t*>(data)[1], -123456);
    SafeArrayUnaccessData(longs.get());

    auto none = SafeArrayCreateVector(VT_I4, 0, 0);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->UpperBound(), -1);
}

TEST(ControlError, NumbersScodesAndStandardTexts) {
    const struct {
        uint16_t number;
        SCODE scode;
        const char* text;
    } cases[] = {
        {5, 0x800A0005, "Invalid procedure call or argument"},
        {380, 0x800A017C, "Invalid property value"},
        {383, 0x800A017F, "Property is read-only"},
        {394, 0x800A018A, "Property is write-only"},
        {481, 0x800A01E1, "Invalid picture"},
    };
    for (const auto& c : cases) {
        try {
            ThrowError(c.number);
            ADD_FAILURE() << "no throw for " << c.number;
        } catch (const ControlError& e) {
            EXPECT_EQ(e.scode(), c.scode);
            EXPECT_EQ(e.number(), c.number);
            EXPECT_EQ(e.description(), c.text);
        }
    }
    try {
        ThrowError(0x800A4E21, "Custom failure");
        ADD_FAILURE();
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), 20001);
        EXPECT_EQ(e.scode(), 0x800A4E21u);
        EXPECT_EQ(e.description(), "Custom failure");
    }
    try {
        ThrowError(20005, "Another");
        ADD_FAILURE();
    } catch (const ControlError& e) {
        EXPECT_EQ(e.scode(), 0x800A4E25u);
        EXPECT_EQ(e.description(), "Another");
    }
    // A custom text replaces the standard one.
    try {
        ThrowError(380, "Zoom must be positive");
        ADD_FAILURE();
    } catch (const ControlError& e) {
        EXPECT_EQ(e.description(), "Zoom must be positive");
    }
}
