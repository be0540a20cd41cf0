#include "platform/ole/property_bag.h"

#include <unordered_set>

namespace platform {

namespace {

std::string Escape(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '=':
                out += "\\=";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    out += "\\x";
                    out += kHex[u >> 4];
                    out += kHex[u & 15];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Undoes Escape on text[begin, end); throws on an unknown or cut-off escape.
std::string Unescape(std::string_view text, size_t line) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) throw PropertyBagError(line, "escape at end of line");
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case '=':
                out += '=';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                const int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                const int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
                if (hi < 0 || lo < 0) throw PropertyBagError(line, "bad \\x escape");
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                throw PropertyBagError(line, std::string("unknown escape \\") + text[i]);
        }
    }
    return out;
}

}  // namespace

PropertyBagError::PropertyBagError(size_t line, const std::string& reason)
    : std::runtime_error("property set line " + std::to_string(line) + ": " + reason),
      line_(line) {}

void PropertyBag::Write(std::string_view name, std::string value) {
    for (auto& entry : entries_) {
        if (entry.first == name) {
            entry.second = std::move(value);
            return;
        }
    }
    entries_.emplace_back(std::string(name), std::move(value));
}

std::optional<std::string> PropertyBag::Read(std::string_view name) const {
    for (const auto& entry : entries_) {
        if (entry.first == name) return entry.second;
    }
    return std::nullopt;
}

std::string PropertyBag::ToText() const {
    std::string out;
    for (const auto& [name, value] : entries_) {
        out += Escape(name);
        out += '=';
        out += Escape(value);
        out += '\n';
    }
    return out;
}

PropertyBag PropertyBag::Parse(std::string_view text) {
    PropertyBag bag;
    // Names seen so far, so a long hostile file is not checked against every earlier line.
    std::unordered_set<std::string> names;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;

        size_t split = std::string_view::npos;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\') {
                ++i;  // the escaped character is never the separator
            } else if (line[i] == '=') {
                split = i;
                break;
            }
        }
        if (split == std::string_view::npos) throw PropertyBagError(lineNumber, "missing '='");
        std::string name = Unescape(line.substr(0, split), lineNumber);
        if (name.empty()) throw PropertyBagError(lineNumber, "empty property name");
        if (!names.insert(name).second)
            throw PropertyBagError(lineNumber, "'" + name + "' given twice");
        bag.entries_.emplace_back(std::move(name), Unescape(line.substr(split + 1), lineNumber));
    }
    return bag;
}

}  // namespace platform
