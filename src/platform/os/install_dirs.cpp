#include "platform/os/install_dirs.h"

#include <dlfcn.h>

#include <cstdlib>

// Both are relative to the library's folder; CMake derives them from the install layout.
#ifndef LUMORA_CODEC_SUBDIR
#define LUMORA_CODEC_SUBDIR "lumora/codecs"
#endif
#ifndef LUMORA_FONT_SUBDIR
#define LUMORA_FONT_SUBDIR "../share/lumora/fonts"
#endif

namespace platform {

std::string LibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

std::string LibraryDirectory() {
    const std::string path = LibraryPath();
    if (path.empty()) return {};
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

std::string CodecDirectory() {
    if (const char* dir = std::getenv("LUMORA_CODEC_PATH")) return dir;
    return LibraryDirectory() + "/" LUMORA_CODEC_SUBDIR;
}

std::string FontDirectory() {
    return LibraryDirectory() + "/" LUMORA_FONT_SUBDIR;
}

}  // namespace platform
