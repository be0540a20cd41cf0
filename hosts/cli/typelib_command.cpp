#include "typelib_command.h"

#include <cstdio>

#include "control/type_library.h"

namespace cli {

int TypelibCommand(int argc, char** /*argv*/) {
    if (argc != 0) {
        std::fputs("usage: lumora typelib\n", stderr);
        return 2;
    }
    const std::string text = control::TypeLibraryText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace cli
