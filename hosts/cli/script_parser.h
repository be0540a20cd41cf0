// The statements of a script as a small tree: property puts, method calls, Print and Set.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/variant.h"

namespace cli {

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
// An argument left empty is passed as a missing optional argument.
using Argument = std::optional<ExprPtr>;

struct Expr {
    enum class Kind { Literal, Name, Call, Negate, Concat };
    Kind kind = Kind::Literal;
    platform::Variant value;     // Literal
    std::string name;            // Name, Call
    std::vector<Argument> args;  // Call
    ExprPtr operand;             // Negate; the left text of Concat
    ExprPtr right;               // Concat
};

struct Statement {
    enum class Kind {
        Assign,  // Name = expr, Name(i, ...) = expr, Set Name = expr
        Call,    // Name arg, arg, ...
        Print,   // Print expr, expr, ...
    };
    Kind kind = Kind::Call;
    int line = 0;
    bool isSet = false;
    std::string name;
    std::vector<Argument> args;  // call arguments, index arguments, or the printed values
    ExprPtr value;               // Assign
};

// One statement per line; blank and comment-only lines give none. A line that does not parse
// throws ScriptSyntaxError naming its line number.
std::vector<Statement> ParseScript(std::string_view text);

}  // namespace cli
