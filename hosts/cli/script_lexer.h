// Splits one line of a script into tokens. A ' outside a string ends the line's text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/variant.h"

namespace cli {

enum class TokenKind { Name, Literal, Comma, LeftParen, RightParen, Equals, Minus, Ampersand, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;         // as written; for a string literal, its contents
    platform::Variant value;  // a literal's typed value
};

// A line that cannot be read or parsed; what() says why.
class ScriptSyntaxError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The tokens of the line, always ending with one End token.
std::vector<Token> TokenizeLine(std::string_view line);

}  // namespace cli
