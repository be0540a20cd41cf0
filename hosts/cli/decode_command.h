#pragma once

namespace cli {

// lumora decode FILE [-o OUT] [options]: the loader alone.
int DecodeCommand(int argc, char** argv);

}  // namespace cli
