#include "script_lexer.h"

#include <cctype>
#include <optional>

#include "script_values.h"

namespace cli {

namespace {

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsSuffix(char c) {
    return c == '%' || c == '&' || c == '!' || c == '#';
}

// Length of the number starting at i: digits, fraction, exponent, type suffix.
size_t NumberLength(std::string_view s, size_t i) {
    const size_t start = i;
    if (s.substr(i, 2) == "&H" || s.substr(i, 2) == "&h") {
        i += 2;
        while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])))
            ++i;
    } else {
        while (i < s.size() && IsDigit(s[i]))
            ++i;
        if (i < s.size() && s[i] == '.') {
            ++i;
            while (i < s.size() && IsDigit(s[i]))
                ++i;
        }
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
            size_t j = i + 1;
            if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
            if (j < s.size() && IsDigit(s[j])) {
                i = j;
                while (i < s.size() && IsDigit(s[i]))
                    ++i;
            }
        }
    }
    if (i < s.size() && IsSuffix(s[i])) ++i;
    return i - start;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The names that are values: True and False (VT_BOOL -1 and 0), Empty, Nothing and the
// line-break and tab texts.
std::optional<platform::Variant> KeywordValue(std::string_view name) {
    if (EqualsIgnoreCase(name, "vbCr")) return platform::Variant::Bstr("\r");
    if (EqualsIgnoreCase(name, "vbLf")) return platform::Variant::Bstr("\n");
    if (EqualsIgnoreCase(name, "vbCrLf")) return platform::Variant::Bstr("\r\n");
    if (EqualsIgnoreCase(name, "vbTab")) return platform::Variant::Bstr("\t");
    if (EqualsIgnoreCase(name, "True")) return platform::Variant::Bool(true);
    if (EqualsIgnoreCase(name, "False")) return platform::Variant::Bool(false);
    if (EqualsIgnoreCase(name, "Empty")) return platform::Variant();
    if (EqualsIgnoreCase(name, "Nothing")) return platform::Variant::Object(nullptr);
    return std::nullopt;
}

}  // namespace

std::vector<Token> TokenizeLine(std::string_view s) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '\'') {
            break;
        } else if (c == '"') {
            std::string text;
            ++i;
            for (;;) {
                if (i >= s.size()) throw ScriptSyntaxError("unterminated string");
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += s[i++];
            }
            tokens.push_back({TokenKind::Literal, text, platform::Variant::Bstr(text)});
        } else if (IsDigit(c) || (c == '.' && i + 1 < s.size() && IsDigit(s[i + 1])) ||
                   (c == '&' && i + 1 < s.size() && (s[i + 1] == 'H' || s[i + 1] == 'h'))) {
            const size_t n = NumberLength(s, i);
            const std::string text(s.substr(i, n));
            if (i + n < s.size() && IsNameChar(s[i + n]))
                throw ScriptSyntaxError("malformed number " + text + s[i + n]);
            const auto value = TypeNumberLiteral(text);
            if (!value) throw ScriptSyntaxError("bad number " + text);
            tokens.push_back({TokenKind::Literal, text, *value});
            i += n;
        } else if (IsNameStart(c)) {
            size_t n = 1;
            while (i + n < s.size() && IsNameChar(s[i + n]))
                ++n;
            std::string name(s.substr(i, n));
            i += n;
            if (const auto keyword = KeywordValue(name))
                tokens.push_back({TokenKind::Literal, name, *keyword});
            else
                tokens.push_back({TokenKind::Name, name, {}});
        } else {
            TokenKind kind;
            switch (c) {
                case ',':
                    kind = TokenKind::Comma;
                    break;
                case '(':
                    kind = TokenKind::LeftParen;
                    break;
                case ')':
                    kind = TokenKind::RightParen;
                    break;
                case '=':
                    kind = TokenKind::Equals;
                    break;
                case '-':
                    kind = TokenKind::Minus;
                    break;
                case '&':  // joins texts; &H starts a number and was taken above
                    kind = TokenKind::Ampersand;
                    break;
                default:
                    throw ScriptSyntaxError(std::string("unexpected character '") + c + "'");
            }
            tokens.push_back({kind, std::string(1, c), {}});
            ++i;
        }
    }
    tokens.push_back({TokenKind::End, "", {}});
    return tokens;
}

}  // namespace cli
