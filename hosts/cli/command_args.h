// Option values shared by the verbs that host a control.
#pragma once

#include <string>

namespace cli {

// "WxH" with both sides from 1 to 32767.
bool ParseSize(const std::string& text, int& width, int& height);

}  // namespace cli
