// Writes LumoraWidget's members from the dispatch table at build time, so every _DLumora
// property becomes a Q_PROPERTY, every method an invokable and every event a signal, and a
// member added to the table appears in the widget without edits here.
//   lumora_qt_members TEMPLATE.h OUT.h OUT.cpp
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "control/dispatch.h"
#include "control/type_library.h"

namespace {

using control::MemberInfo;
using control::MemberKind;

std::string QtType(platform::VARTYPE vt) {
    switch (vt) {
        case platform::VT_BOOL:
            return "bool";
        case platform::VT_I2:
        case platform::VT_I4:
            return "int";
        case platform::VT_R4:
        case platform::VT_R8:
            return "double";
        case platform::VT_BSTR:
            return "QString";
        default:
            return "QVariant";
    }
}

std::string Params(std::size_t count, bool withDefaults) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out += ", ";
        out += "const QVariant& a" + std::to_string(i);
        if (withDefaults) out += " = QVariant()";
    }
    return out;
}

std::string Args(std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += (i ? ", a" : "a") + std::to_string(i);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: lumora_qt_members TEMPLATE.h OUT.h OUT.cpp\n", stderr);
        return 2;
    }
    std::ostringstream properties, accessors, invokables, signals, code;
    code << "// Generated from the dispatch table by lumora_qt_members; do not edit.\n"
            "#include \"lumora_widget.h\"\n\n";
    for (const MemberInfo& m : control::DispatchMembers()) {
        const std::string name(m.name);
        if (m.kind == MemberKind::Property) {
            const std::string type = QtType(m.type.vt);
            properties << "    Q_PROPERTY(" << type << ' ' << name << " READ get_" << name;
            if (m.put) properties << " WRITE set_" << name;
            properties << ")\n";
            accessors << "    " << type << " get_" << name << "() const;\n";
            code << type << " LumoraWidget::get_" << name << "() const {\n    return getMember(\""
                 << name << "\").value<" << type << ">();\n}\n";
            if (m.put) {
                accessors << "    void set_" << name << "(const " << type << "& value);\n";
                code << "void LumoraWidget::set_" << name << "(const " << type
                     << "& value) {\n    setMember(\"" << name
                     << "\", QVariant::fromValue(value));\n}\n";
            }
        } else if (m.kind == MemberKind::IndexedProperty) {
            const std::size_t n = m.params.size();
            invokables << "    Q_INVOKABLE QVariant " << name << '(' << Params(n, false) << ");\n";
            invokables << "    Q_INVOKABLE void set" << name << '(' << Params(n + 1, false)
                       << ");\n";
            code << "QVariant LumoraWidget::" << name << '(' << Params(n, false)
                 << ") {\n    return getIndexed(\"" << name << "\", {" << Args(n) << "});\n}\n";
            code << "void LumoraWidget::set" << name << '(' << Params(n + 1, false)
                 << ") {\n    setIndexed(\"" << name << "\", {" << Args(n + 1) << "});\n}\n";
        } else {
            const std::size_t n = m.params.size();
            invokables << "    Q_INVOKABLE QVariant " << name << '(' << Params(n, true) << ");\n";
            code << "QVariant LumoraWidget::" << name << '(' << Params(n, false)
                 << ") {\n    return callMethod(\"" << name << "\", {" << Args(n) << "});\n}\n";
        }
    }
    for (const control::EventInfo& e : control::EventMembers())
        signals << "    void " << e.name << '(' << Params(e.params.size(), false) << ");\n";

    std::ifstream in(argv[1]);
    std::ostringstream header;
    for (std::string line; std::getline(in, line);) {
        if (line == "    // @PROPERTIES@")
            header << properties.str();
        else if (line == "    // @ACCESSORS@")
            header << accessors.str();
        else if (line == "    // @INVOKABLES@")
            header << invokables.str();
        else if (line == "    // @SIGNALS@")
            header << signals.str();
        else
            header << line << '\n';
    }
    std::ofstream headerOut(argv[2]), codeOut(argv[3]);
    headerOut << header.str();
    codeOut << code.str();
    return headerOut && codeOut ? 0 : 1;
}
