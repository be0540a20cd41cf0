// The script language of `lumora run` on arbitrary bytes: the text through the lexer and the
// parser, each numeric literal's printed form read back through the literal typing, and a script
// that parses run against a headless control. Statements that would reach files, wait or resize
// the window are left out, so every input stays fast and inside the process.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ole/control_error.h"
#include "script_host.h"
#include "script_lexer.h"
#include "script_parser.h"
#include "script_values.h"

namespace {

using platform::Variant;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

// Names whose statements open, write or wait on something outside the control.
bool Excluded(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "FileName",    "LoadPicture",     "SaveView", "SaveBitmap",     "Sleep",        "Resize",
        "JPGSaveName", "DisplayGIFFrame", "TIFFPage", "OpenFileAnswer", "LMOpenPicture"};
    for (const std::string_view n : kNames)
        if (EqualsIgnoreCase(name, n)) return true;
    return false;
}

bool Reaches(const cli::Expr& e);

bool Reaches(const std::vector<cli::Argument>& args) {
    for (const cli::Argument& a : args)
        if (a && Reaches(**a)) return true;
    return false;
}

bool Reaches(const cli::Expr& e) {
    if (Excluded(e.name) || Reaches(e.args)) return true;
    return e.operand && Reaches(*e.operand);
}

// A printed number must read back as the same number ("shortest form that reads back").
void CheckReadBack(const Variant& v) {
    if (v.vt() != platform::VT_R8 && v.vt() != platform::VT_R4) return;
    const double value = v.vt() == platform::VT_R8 ? v.AsR8() : v.AsR4();
    if (!std::isfinite(value) || std::signbit(value)) return;
    const auto back = cli::TypeNumberLiteral(cli::FormatValue(v));
    if (!back) std::abort();
    const double read = back->vt() == platform::VT_R8   ? back->AsR8()
                        : back->vt() == platform::VT_R4 ? back->AsR4()
                        : back->vt() == platform::VT_I4 ? back->AsI4()
                                                        : back->AsI2();
    const bool same =
        v.vt() == platform::VT_R8 ? read == value : static_cast<float>(read) == v.AsR4();
    if (!same) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<cli::Statement> statements;
    try {
        statements = cli::ParseScript(text);
    } catch (const cli::ScriptSyntaxError&) {
        return 0;
    }
    for (const cli::Statement& st : statements) {
        if (st.value && st.value->kind == cli::Expr::Kind::Literal) CheckReadBack(st.value->value);
        for (const cli::Argument& a : st.args)
            if (a && (*a)->kind == cli::Expr::Kind::Literal) CheckReadBack((*a)->value);
    }

    cli::ScriptHost host(64, 48, false);
    int executed = 0;
    for (const cli::Statement& st : statements) {
        if (Excluded(st.name) || Reaches(st.args) || (st.value && Reaches(*st.value))) continue;
        if (++executed > 64) break;
        try {
            host.Execute(st);
        } catch (const platform::ControlError&) {
            // A run-time error of the script is an answer, not a fault.
        }
    }
    return 0;
}
