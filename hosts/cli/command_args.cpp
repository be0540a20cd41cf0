#include "command_args.h"

#include <charconv>

#include "platform/gdi/gdi.h"

namespace cli {

bool ParseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    int w = 0, h = 0;
    const auto first = std::from_chars(begin, begin + x, w);
    const auto second = std::from_chars(begin + x + 1, end, h);
    if (first.ec != std::errc() || first.ptr != begin + x || second.ec != std::errc() ||
        second.ptr != end || w < 1 || h < 1 || w > 32767 || h > 32767)
        return false;
    width = w;
    height = h;
    return true;
}

bool SetDisplayDepthOption(const std::string& text) {
    int depth = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), depth);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() &&
           platform::SetDisplayDepth(depth);
}

}  // namespace cli
