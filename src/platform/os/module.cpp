#include "platform/os/module.h"

#include "platform/os/install_dirs.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>

namespace platform {

std::string ModulePath(const std::string& moduleName) {
    std::string file = moduleName;
    std::transform(file.begin(), file.end(), file.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (file.size() >= 4 && file.compare(file.size() - 4, 4, ".dll") == 0)
        file.replace(file.size() - 4, 4, ".so");
    std::string base = CodecDirectory();
    if (!base.empty() && base.back() != '/') base += '/';
    return base + file;
}

Module::Module(const std::string& moduleName) {
    // Kept mapped after the last close: loads that follow find it without mapping it again.
    handle_ = dlopen(ModulePath(moduleName).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
}

Module::~Module() {
    if (handle_) dlclose(handle_);
}

void* Module::GetProcAddress(const char* entryPoint) const {
    return handle_ ? dlsym(handle_, entryPoint) : nullptr;
}

}  // namespace platform
