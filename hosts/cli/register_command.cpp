#include "register_command.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "control/registration.h"

namespace cli {

int RegisterCommand(const char* verb, int argc, char** argv) {
    std::filesystem::path registry = control::DefaultRegistryPath();
    if (argc == 2 && std::strcmp(argv[0], "--registry") == 0 && argv[1][0] != '\0') {
        registry = argv[1];
    } else if (argc != 0) {
        std::fprintf(stderr, "usage: lumora %s [--registry FILE]\n", verb);
        return 2;
    }
    if (std::strcmp(verb, "registered") == 0) {
        for (const std::string& entry : control::RegisteredEntries(registry))
            std::printf("%s\n", entry.c_str());
        return 0;
    }
    const int32_t hr = std::strcmp(verb, "register") == 0 ? control::RegisterServer(registry)
                                                          : control::UnregisterServer(registry);
    if (hr == 0) return 0;
    const bool typeLib = hr == control::kSelfRegTypeLibError;
    std::fprintf(stderr, "Error 0x%08X: %s self-registration failed (%s)\n",
                 static_cast<unsigned>(hr), typeLib ? "type library" : "class", registry.c_str());
    return 1;
}

}  // namespace cli
