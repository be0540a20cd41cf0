#pragma once

namespace cli {

// lumora show FILE -o OUT.png [--size WxH] [--set Name=Value]...: one control, one paint.
int ShowCommand(int argc, char** argv);

}  // namespace cli
