// Option values shared by the verbs that host a control.
#pragma once

#include <string>

namespace cli {

// "WxH" with both sides from 1 to 32767.
bool ParseSize(const std::string& text, int& width, int& height);
// Sets the display's depth from "1", "4", "8", "16", "24" or "32"; false for anything else.
bool SetDisplayDepthOption(const std::string& text);

}  // namespace cli
