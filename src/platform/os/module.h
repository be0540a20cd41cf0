// Loading a codec module by name and finding its entry points.
#pragma once

#include <string>

namespace platform {

// The file a module name stands for: lower case, ".dll" replaced by ".so", looked up in
// LUMORA_CODEC_PATH when it is set, else in lumora/codecs beside the library.
std::string ModulePath(const std::string& moduleName);

// An open module, closed when it goes out of scope.
class Module {
  public:
    explicit Module(const std::string& moduleName);
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module();
    bool loaded() const { return handle_ != nullptr; }
    // The address of an entry point, or null.
    void* GetProcAddress(const char* entryPoint) const;

  private:
    void* handle_ = nullptr;
};

}  // namespace platform
