#pragma once

namespace cli {

// lumora typelib: prints the type library LumoraLib as text.
int TypelibCommand(int argc, char** argv);

}  // namespace cli
