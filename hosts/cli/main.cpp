// The lumora command: one program, several verbs.
#include <cstdio>
#include <cstring>

#include "decode_command.h"
#include "typelib_command.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "decode") == 0)
        return cli::DecodeCommand(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "typelib") == 0)
        return cli::TypelibCommand(argc - 2, argv + 2);
    std::fputs(
        "usage: lumora decode FILE [-o OUT] [options]\n"
        "       lumora typelib\n",
        stderr);
    return 2;
}
