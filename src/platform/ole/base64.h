// Base64 with the standard alphabet and '=' padding, used to carry binary property values
// (pictures) in a text property set.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::string Base64Encode(std::span<const uint8_t> bytes);
// Null for text that is not canonical padded base64 (wrong length, foreign characters,
// padding in the middle, non-zero bits left over).
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);

}  // namespace platform
