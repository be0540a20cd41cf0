// A control's saved state: named text values in the order they were written, stored as one
// `Name=Value` line each. Backslash escapes keep newlines, '=' and backslashes inside names and
// values, so any text survives a round trip.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Malformed property-set text; line() is 1-based.
class PropertyBagError : public std::runtime_error {
  public:
    PropertyBagError(size_t line, const std::string& reason);
    size_t line() const { return line_; }

  private:
    size_t line_;
};

class PropertyBag {
  public:
    // Replaces an existing value in place, so a name keeps its first position.
    void Write(std::string_view name, std::string value);
    std::optional<std::string> Read(std::string_view name) const;
    bool Contains(std::string_view name) const { return Read(name).has_value(); }
    const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

    std::string ToText() const;
    // Empty lines are skipped; a line without an unescaped '=', an empty name, a bad escape or
    // a name given twice throws PropertyBagError.
    static PropertyBag Parse(std::string_view text);

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace platform
