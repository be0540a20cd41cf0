#pragma once

namespace cli {

// lumora run SCRIPT [--size WxH] [--display-depth N] [--events]: the scripting host.
int RunCommand(int argc, char** argv);

}  // namespace cli
