// Automation values: conversions with their rounding and overflow rules, references, omitted
// arguments and safe arrays.
#include <gtest/gtest.h>

#include <vector>

#include "platform/ole/variant.h"

using namespace platform;

namespace {

struct Conversion {
    Variant from;
    VARTYPE vt;
    Variant want;  // what a failed conversion must leave in the target: its old value
    HRESULT hr = S_OK;
};

const Variant kUntouched = Variant::Bstr("untouched");

void ExpectConversions(const std::vector<Conversion>& rows) {
    for (const Conversion& c : rows) {
        Variant out = kUntouched;
        EXPECT_EQ(ChangeType(c.from, c.vt, out), c.hr) << "row " << (&c - rows.data());
        EXPECT_EQ(out, c.want) << "row " << (&c - rows.data());
    }
}

Conversion Fails(Variant from, VARTYPE vt, HRESULT hr) {
    return {std::move(from), vt, kUntouched, hr};
}

Variant Convert(const Variant& v, VARTYPE vt) {
    Variant out;
    EXPECT_EQ(ChangeType(v, vt, out), S_OK) << "vt " << vt;
    return out;
}

}  // namespace

// Integer targets round half to even and report overflow.
TEST(Variant, NumericConversions) {
    ExpectConversions({
        {Variant::R8(2.5), VT_I2, Variant::I2(2)},
        {Variant::R8(3.5), VT_I2, Variant::I2(4)},
        {Variant::R8(-2.5), VT_I2, Variant::I2(-2)},
        {Variant::R8(2.6), VT_I4, Variant::I4(3)},
        {Variant::R4(-7.4f), VT_I4, Variant::I4(-7)},
        {Variant::R8(32767.4), VT_I2, Variant::I2(32767)},
        Fails(Variant::R8(32767.5), VT_I2, DISP_E_OVERFLOW),
        Fails(Variant::I4(-32769), VT_I2, DISP_E_OVERFLOW),
        {Variant::I4(-32768), VT_I2, Variant::I2(-32768)},
        Fails(Variant::R8(2147483648.0), VT_I4, DISP_E_OVERFLOW),
        Fails(Variant::I2(256), VT_UI1, DISP_E_OVERFLOW),
        Fails(Variant::I2(-1), VT_UI1, DISP_E_OVERFLOW),
        {Variant::I2(255), VT_UI1, Variant::UI1(255)},
        Fails(Variant::R8(1e39), VT_R4, DISP_E_OVERFLOW),
        {Variant::Bool(true), VT_I2, Variant::I2(-1)},
        {Variant(), VT_I4, Variant::I4(0)},
        {Variant::Error(0x800A017C), VT_I4, Variant::I4(static_cast<int32_t>(0x800A017C))},
        Fails(Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH),
        Fails(Variant::Missing(), VT_I2, DISP_E_TYPEMISMATCH),
        Fails(Variant::Array(SafeArrayCreateVector(VT_UI1, 0, 2)), VT_I4, DISP_E_TYPEMISMATCH),
    });
}

TEST(Variant, TextAndTruthConversions) {
    ExpectConversions({
        {Variant::Bstr(" 42 "), VT_I2, Variant::I2(42)},
        {Variant::Bstr("12.5"), VT_I4, Variant::I4(12)},
        {Variant::Bstr("1.5e2"), VT_R8, Variant::R8(150.0)},
        Fails(Variant::Bstr("12abc"), VT_I4, DISP_E_TYPEMISMATCH),
        Fails(Variant::Bstr(""), VT_I4, DISP_E_TYPEMISMATCH),
        Fails(Variant::Bstr("nan"), VT_R8, DISP_E_TYPEMISMATCH),
        Fails(Variant::Bstr("70000"), VT_I2, DISP_E_OVERFLOW),
        {Variant::Bstr("TRUE"), VT_BOOL, Variant::Bool(true)},
        {Variant::Bstr("0"), VT_BOOL, Variant::Bool(false)},
        {Variant::R8(0.25), VT_BOOL, Variant::Bool(true)},
        {Variant::I2(-12), VT_BSTR, Variant::Bstr("-12")},
        {Variant::R8(0.1), VT_BSTR, Variant::Bstr("0.1")},
        {Variant::R8(1e20), VT_BSTR, Variant::Bstr("1E+20")},
        {Variant::R4(1.1f), VT_BSTR, Variant::Bstr("1.1")},
        {Variant::Bool(false), VT_BSTR, Variant::Bstr("False")},
        {Variant(), VT_BSTR, Variant::Bstr("")},
    });
    EXPECT_EQ(Convert(Variant::Bool(true), VT_BOOL).AsBool(), VARIANT_TRUE);
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
    ExpectConversions({Fails(Variant::Object(nullptr), VT_I4, DISP_E_TYPEMISMATCH)});
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
    Variant empty;
    EXPECT_TRUE(IsMissing(Variant::ByRef(missing)));
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
    EXPECT_TRUE(lo == 5 && hi == 7);
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
    EXPECT_EQ(bytes->PutElement(8, &element), DISP_E_BADINDEX);

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
