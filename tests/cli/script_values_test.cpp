// Literal typing and value printing of the scripting host, checked on the functions themselves.
#include <gtest/gtest.h>

#include "platform/ole/control_error.h"
#include "script_lexer.h"
#include "script_values.h"

namespace {

using platform::Variant;

TEST(ScriptValues, LiteralsAreTypedAsBasicTypesThem) {
    // A Long suffix on hex digits keeps their 32-bit value.
    const std::pair<const char*, Variant> rows[] = {
        {"1", Variant::I2(1)},           {"32767", Variant::I2(32767)},
        {"32768", Variant::I4(32768)},   {"3000000000", Variant::R8(3000000000.0)},
        {"&HFFFF", Variant::I2(-1)},     {"&h7fff", Variant::I2(32767)},
        {"&H10000", Variant::I4(65536)}, {"&HFFFFFFFF", Variant::I4(-1)},
        {"&HFFFF&", Variant::I4(65535)}, {"&HFFFF!", Variant::R4(-1.0f)},
        {"1.5", Variant::R8(1.5)},       {".25", Variant::R8(0.25)},
        {"1E3", Variant::R8(1000.0)},    {"2!", Variant::R4(2.0f)},
        {"3#", Variant::R8(3.0)},        {"7&", Variant::I4(7)},
        {"7%", Variant::I2(7)},          {"\"a\"\"b\"", Variant::Bstr("a\"b")},
        {"\"\"", Variant::Bstr("")},     {"True", Variant::Bool(true)},
        {"false", Variant::Bool(false)}, {"Empty", Variant()}};
    for (const auto& [text, want] : rows) {
        const auto tokens = cli::TokenizeLine(text);
        ASSERT_EQ(tokens.size(), 2u) << text;
        EXPECT_EQ(tokens[0].kind, cli::TokenKind::Literal) << text;
        EXPECT_EQ(tokens[0].value, want) << text;
    }
    // Suffixes that cannot hold the value, and malformed numbers.
    for (const char* bad : {"40000%", "1.5%", "&H10000%", "&H123456789"})
        EXPECT_FALSE(cli::TypeNumberLiteral(bad)) << bad;
    EXPECT_THROW(cli::TokenizeLine("12abc"), cli::ScriptSyntaxError);
    EXPECT_THROW(cli::TokenizeLine("\"open"), cli::ScriptSyntaxError);
}

TEST(ScriptValues, NegationKeepsTheTypeAndWidensOnOverflow) {
    const std::pair<Variant, Variant> rows[] = {{Variant::I2(5), Variant::I2(-5)},
                                                {Variant::I2(-32768), Variant::I4(32768)},
                                                {Variant::I4(INT32_MIN), Variant::R8(2147483648.0)},
                                                {Variant::R4(0.5f), Variant::R4(-0.5f)},
                                                {Variant::Bool(true), Variant::I2(1)},
                                                {Variant::Bstr("2.5"), Variant::R8(-2.5)}};
    for (const auto& [in, want] : rows)
        EXPECT_EQ(cli::Negate(in), want) << cli::FormatValue(in);
    EXPECT_THROW(cli::Negate(Variant::Bstr("x")), platform::ControlError);
}

TEST(ScriptValues, ValuesPrintAsBasicPrintsThem) {
    auto longs = platform::SafeArrayCreateVector(platform::VT_I4, 0, 3);
    const int32_t values[] = {7, -1, 100000};
    for (int32_t i = 0; i < 3; ++i)
        longs->PutElement(i, &values[i]);
    auto bytes = platform::SafeArrayCreateVector(platform::VT_UI1, 1, 2);
    const uint8_t b[] = {255, 0};
    bytes->PutElement(1, &b[0]);
    bytes->PutElement(2, &b[1]);
    Variant target = Variant::I2(9);
    // Single precision prints its shortest form (0.1, not 0.100000001).
    const std::pair<Variant, const char*> rows[] = {
        {Variant::I2(-32767), "-32767"},
        {Variant::R8(2.0), "2"},
        {Variant::R8(0.1 + 0.2), "0.30000000000000004"},
        {Variant::R4(0.1f), "0.1"},
        {Variant::R4(1.0f / 3.0f), "0.33333334"},
        {Variant::Bool(false), "False"},
        {Variant(), ""},
        {Variant::UI1(200), "200"},
        {Variant::Object(nullptr), "Nothing"},
        {Variant::Array(longs), "7 -1 100000"},
        {Variant::Array(bytes), "255 0"},
        {Variant::Array(platform::SafeArrayCreateVector(platform::VT_I4, 0, 0)), ""},
        {Variant::ByRef(target), "9"}};
    for (const auto& [value, want] : rows)
        EXPECT_EQ(cli::FormatValue(value), want);
}

}  // namespace
