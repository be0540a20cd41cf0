// The lumora command: one program, several verbs.
#include <cstdio>
#include <initializer_list>
#include <cstring>

#include "decode_command.h"
#include "register_command.h"
#include "run_command.h"
#include "show_command.h"
#include "typelib_command.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "decode") == 0)
        return cli::DecodeCommand(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "typelib") == 0)
        return cli::TypelibCommand(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "show") == 0) return cli::ShowCommand(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0) return cli::RunCommand(argc - 2, argv + 2);
    for (const char* verb : {"register", "unregister", "registered"})
        if (argc >= 2 && std::strcmp(argv[1], verb) == 0)
            return cli::RegisterCommand(verb, argc - 2, argv + 2);
    const bool help = argc >= 2 && (std::strcmp(argv[1], "--help") == 0 ||
                                    std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "help") == 0);
    std::fputs(
        "usage: lumora decode FILE [-o OUT] [options]\n"
        "       lumora show FILE -o OUT.png [--size WxH] [--display-depth N]\n"
        "                   [--set Name=Value]...\n"
        "       lumora run SCRIPT [--size WxH] [--display-depth N] [--events]\n"
        "       lumora typelib\n"
        "       lumora register|unregister|registered [--registry FILE]\n",
        help ? stdout : stderr);
    return help ? 0 : 2;
}
