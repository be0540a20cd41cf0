// Literal typing and value printing of the scripting host, checked on the functions themselves.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/ole/control_error.h"
#include "script_lexer.h"
#include "script_values.h"

namespace {

using platform::Variant;

Variant Literal(std::string_view text) {
    const auto tokens = cli::TokenizeLine(text);
    EXPECT_EQ(tokens.size(), 2u) << text;
    EXPECT_EQ(tokens[0].kind, cli::TokenKind::Literal) << text;
    return tokens[0].value;
}

TEST(ScriptValues, LiteralsAreTypedAsBasicTypesThem) {
    EXPECT_EQ(Literal("1"), Variant::I2(1));
    EXPECT_EQ(Literal("32767"), Variant::I2(32767));
    EXPECT_EQ(Literal("32768"), Variant::I4(32768));
    EXPECT_EQ(Literal("40000"), Variant::I4(40000));
    EXPECT_EQ(Literal("3000000000"), Variant::R8(3000000000.0));
    EXPECT_EQ(Literal("&HFFFF"), Variant::I2(-1));
    EXPECT_EQ(Literal("&h7fff"), Variant::I2(32767));
    EXPECT_EQ(Literal("&H10000"), Variant::I4(65536));
    EXPECT_EQ(Literal("&HFFFFFFFF"), Variant::I4(-1));
    EXPECT_EQ(Literal("&HFFFF&"), Variant::I4(65535));  // a Long: the digits' 32-bit value
    EXPECT_EQ(Literal("&HFF00&"), Variant::I4(65280));
    EXPECT_EQ(Literal("1.5"), Variant::R8(1.5));
    EXPECT_EQ(Literal(".25"), Variant::R8(0.25));
    EXPECT_EQ(Literal("1E3"), Variant::R8(1000.0));
    EXPECT_EQ(Literal("2!"), Variant::R4(2.0f));
    EXPECT_EQ(Literal("3#"), Variant::R8(3.0));
    EXPECT_EQ(Literal("7&"), Variant::I4(7));
    EXPECT_EQ(Literal("7%"), Variant::I2(7));
    EXPECT_EQ(Literal("\"a\"\"b\""), Variant::Bstr("a\"b"));
    EXPECT_EQ(Literal("\"\""), Variant::Bstr(""));
    EXPECT_EQ(Literal("True"), Variant::Bool(true));
    EXPECT_EQ(Literal("false"), Variant::Bool(false));
    EXPECT_EQ(Literal("Empty"), Variant());
    EXPECT_EQ(Literal("True").AsBool(), -1);

    // Suffixes that cannot hold the value, and malformed numbers.
    EXPECT_FALSE(cli::TypeNumberLiteral("40000%"));
    EXPECT_FALSE(cli::TypeNumberLiteral("1.5%"));
    EXPECT_FALSE(cli::TypeNumberLiteral("&H10000%"));
    EXPECT_FALSE(cli::TypeNumberLiteral("&H123456789"));
    EXPECT_THROW(cli::TokenizeLine("12abc"), cli::ScriptSyntaxError);
    EXPECT_THROW(cli::TokenizeLine("\"open"), cli::ScriptSyntaxError);
}

TEST(ScriptValues, NegationKeepsTheTypeAndWidensOnOverflow) {
    EXPECT_EQ(cli::Negate(Variant::I2(5)), Variant::I2(-5));
    EXPECT_EQ(cli::Negate(Variant::I2(-32768)), Variant::I4(32768));
    EXPECT_EQ(cli::Negate(Variant::I4(INT32_MIN)), Variant::R8(2147483648.0));
    EXPECT_EQ(cli::Negate(Variant::R4(0.5f)), Variant::R4(-0.5f));
    EXPECT_EQ(cli::Negate(Variant::Bool(true)), Variant::I2(1));
    EXPECT_EQ(cli::Negate(Variant::Bstr("2.5")), Variant::R8(-2.5));
    EXPECT_THROW(cli::Negate(Variant::Bstr("x")), platform::ControlError);
}

TEST(ScriptValues, ValuesPrintAsBasicPrintsThem) {
    EXPECT_EQ(cli::FormatValue(Variant::I2(-32767)), "-32767");
    EXPECT_EQ(cli::FormatValue(Variant::I4(104)), "104");
    EXPECT_EQ(cli::FormatValue(Variant::R8(2.0)), "2");
    EXPECT_EQ(cli::FormatValue(Variant::R8(0.5)), "0.5");
    EXPECT_EQ(cli::FormatValue(Variant::R8(0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(cli::FormatValue(Variant::R4(0.1f)), "0.1");  // not 0.100000001
    EXPECT_EQ(cli::FormatValue(Variant::R4(1.0f / 3.0f)), "0.33333334");
    EXPECT_EQ(cli::FormatValue(Variant::Bool(true)), "True");
    EXPECT_EQ(cli::FormatValue(Variant::Bool(false)), "False");
    EXPECT_EQ(cli::FormatValue(Variant::Bstr("a b")), "a b");
    EXPECT_EQ(cli::FormatValue(Variant()), "");
    EXPECT_EQ(cli::FormatValue(Variant::UI1(200)), "200");
    EXPECT_EQ(cli::FormatValue(Variant::Object(nullptr)), "Nothing");

    auto longs = platform::SafeArrayCreateVector(platform::VT_I4, 0, 3);
    const int32_t values[] = {7, -1, 100000};
    for (int32_t i = 0; i < 3; ++i)
        longs->PutElement(i, &values[i]);
    EXPECT_EQ(cli::FormatValue(Variant::Array(longs)), "7 -1 100000");
    auto bytes = platform::SafeArrayCreateVector(platform::VT_UI1, 1, 2);
    const uint8_t b[] = {255, 0};
    bytes->PutElement(1, &b[0]);
    bytes->PutElement(2, &b[1]);
    EXPECT_EQ(cli::FormatValue(Variant::Array(bytes)), "255 0");
    EXPECT_EQ(
        cli::FormatValue(Variant::Array(platform::SafeArrayCreateVector(platform::VT_I4, 0, 0))),
        "");
    Variant target = Variant::I2(9);
    EXPECT_EQ(cli::FormatValue(Variant::ByRef(target)), "9");
}

}  // namespace
