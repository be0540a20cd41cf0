// For harnesses that reach a codec module: the modules are found where the build puts them, and
// each input is written to a file of its own per process, since a module reads a file name.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Writes the input to this process's file for the harness and returns the file's name.
inline const std::string& WriteModuleInput(const char* harness, const char* extension,
                                           const uint8_t* data, size_t size) {
    static const std::string path = [&] {
        setenv("LUMORA_CODEC_PATH", LUMORA_CODEC_DIR, 1);
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp ? tmp : "/tmp") + "/lm_fuzz_" + harness + "_" +
               std::to_string(getpid()) + extension;
    }();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

}  // namespace fuzz
