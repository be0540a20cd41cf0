#include "script_parser.h"

#include <cctype>

#include "platform/ole/control_error.h"
#include "script_lexer.h"
#include "script_values.h"

namespace cli {

namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Describe(const Token& t) {
    return t.kind == TokenKind::End ? "end of line" : "'" + t.text + "'";
}

class LineParser {
  public:
    explicit LineParser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    bool Empty() const { return Peek().kind == TokenKind::End; }

    Statement ParseStatement() {
        Statement st;
        const Token first = Expect(TokenKind::Name, "a statement");
        if (EqualsIgnoreCase(first.text, "Print")) {
            st.kind = Statement::Kind::Print;
            st.name = first.text;
            if (!Empty()) st.args = ParseArgumentList(TokenKind::End);
        } else if (EqualsIgnoreCase(first.text, "Set")) {
            st.kind = Statement::Kind::Assign;
            st.isSet = true;
            st.name = Expect(TokenKind::Name, "a name after Set").text;
            Expect(TokenKind::Equals, "'='");
            st.value = ParseExpression();
        } else {
            st.name = first.text;
            if (Peek().kind == TokenKind::Equals) {
                Next();
                st.kind = Statement::Kind::Assign;
                st.value = ParseExpression();
            } else if (Peek().kind == TokenKind::LeftParen && IsIndexedAssignment()) {
                Next();
                st.kind = Statement::Kind::Assign;
                st.args = ParseArgumentList(TokenKind::RightParen);
                Expect(TokenKind::RightParen, "')'");
                Expect(TokenKind::Equals, "'='");
                st.value = ParseExpression();
            } else {
                st.kind = Statement::Kind::Call;
                if (!Empty()) st.args = ParseArgumentList(TokenKind::End);
            }
        }
        if (!Empty()) throw ScriptSyntaxError("unexpected " + Describe(Peek()));
        return st;
    }

  private:
    const Token& Peek(size_t ahead = 0) const {
        const size_t i = pos_ + ahead;
        return tokens_[i < tokens_.size() ? i : tokens_.size() - 1];
    }
    const Token& Next() {
        const Token& t = Peek();
        if (pos_ + 1 < tokens_.size()) ++pos_;
        return t;
    }
    const Token& Expect(TokenKind kind, const std::string& what) {
        if (Peek().kind != kind)
            throw ScriptSyntaxError("expected " + what + ", found " + Describe(Peek()));
        return Next();
    }

    // Name(...) = ...: the parenthesis after the name closes right before an '='.
    bool IsIndexedAssignment() const {
        int depth = 0;
        for (size_t i = pos_; i < tokens_.size(); ++i) {
            const TokenKind k = tokens_[i].kind;
            if (k == TokenKind::LeftParen) ++depth;
            if (k == TokenKind::RightParen && --depth == 0)
                return i + 1 < tokens_.size() && tokens_[i + 1].kind == TokenKind::Equals;
            if (k == TokenKind::End) return false;
        }
        return false;
    }

    // Comma-separated arguments up to (not including) the closing token; any may be empty.
    std::vector<Argument> ParseArgumentList(TokenKind close) {
        std::vector<Argument> args;
        for (;;) {
            if (Peek().kind == TokenKind::Comma || Peek().kind == close)
                args.emplace_back(std::nullopt);
            else
                args.emplace_back(ParseExpression());
            if (Peek().kind != TokenKind::Comma) break;
            Next();
        }
        if (Peek().kind != close)
            throw ScriptSyntaxError("unexpected " + Describe(Peek()) + " in the arguments");
        return args;
    }

    // Values joined with &, left to right. Parsing, evaluating and freeing an expression all
    // recurse once per level of its tree: a bound on nesting and joins keeps a hostile line from
    // exhausting the stack.
    ExprPtr ParseExpression() {
        ExprPtr e = ParsePrimary();
        int joins = 0;
        while (Peek().kind == TokenKind::Ampersand) {
            Next();
            if (depth_ + ++joins >= kMaxDepth) throw ScriptSyntaxError("expression nested too deeply");
            auto joined = std::make_unique<Expr>();
            joined->kind = Expr::Kind::Concat;
            joined->operand = std::move(e);
            joined->right = ParsePrimary();
            e = std::move(joined);
        }
        return e;
    }

    ExprPtr ParsePrimary() {
        if (depth_ >= kMaxDepth) throw ScriptSyntaxError("expression nested too deeply");
        ++depth_;
        ExprPtr e = ParseValue();
        --depth_;
        return e;
    }

    ExprPtr ParseValue() {
        const Token& t = Next();
        auto e = std::make_unique<Expr>();
        switch (t.kind) {
            case TokenKind::Literal:
                e->kind = Expr::Kind::Literal;
                e->value = t.value;
                return e;
            case TokenKind::Minus: {
                ExprPtr operand = ParsePrimary();
                // Folded on literals, so -32768 and -&H8000 read as BASIC types them. A literal
                // that cannot be negated (text that is no number, Nothing) stays an expression
                // and fails when it runs, as a statement's error.
                if (operand->kind == Expr::Kind::Literal) {
                    try {
                        operand->value = Negate(operand->value);
                        return operand;
                    } catch (const platform::ControlError&) {
                    }
                }
                e->kind = Expr::Kind::Negate;
                e->operand = std::move(operand);
                return e;
            }
            case TokenKind::LeftParen: {
                ExprPtr inner = ParseExpression();
                Expect(TokenKind::RightParen, "')'");
                return inner;
            }
            case TokenKind::Name:
                e->name = t.text;
                if (Peek().kind == TokenKind::LeftParen) {
                    Next();
                    e->kind = Expr::Kind::Call;
                    if (Peek().kind != TokenKind::RightParen)
                        e->args = ParseArgumentList(TokenKind::RightParen);
                    Expect(TokenKind::RightParen, "')'");
                } else {
                    e->kind = Expr::Kind::Name;
                }
                return e;
            default:
                throw ScriptSyntaxError("expected a value, found " + Describe(t));
        }
    }

    static constexpr int kMaxDepth = 200;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

std::vector<Statement> ParseScript(std::string_view text) {
    std::vector<Statement> statements;
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ++lineNumber;
        try {
            LineParser parser(TokenizeLine(text.substr(start, end - start)));
            if (!parser.Empty()) {
                statements.push_back(parser.ParseStatement());
                statements.back().line = lineNumber;
            }
        } catch (const ScriptSyntaxError& e) {
            throw ScriptSyntaxError("Error on line " + std::to_string(lineNumber) + ": " +
                                    e.what());
        }
        start = end + 1;
    }
    return statements;
}

}  // namespace cli
