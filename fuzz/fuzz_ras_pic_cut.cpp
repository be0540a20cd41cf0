// The Sun raster, PC Paint and Dr. Halo readers on arbitrary bytes, each on every input. Inputs
// that start like a Dr. Halo palette ("AH") are also written beside a cut file name, so the
// palette reader sees hostile palettes too. The first and last byte of a loaded picture's block
// are read, so a block smaller than its header promises shows up under AddressSanitizer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "decode/readers.h"
#include "reader_run.h"

namespace {

// A folder of this process's own for the palette file, removed with it when the process ends.
struct PaletteFolder {
    std::string path;
    PaletteFolder() {
        std::string pattern = "/tmp/lumora_fuzz_cut_XXXXXX";
        path = mkdtemp(pattern.data()) ? pattern : std::string("/nonexistent");
    }
    ~PaletteFolder() {
        std::remove((path + "/picture.pal").c_str());
        rmdir(path.c_str());
    }
};

const std::string& Folder() {
    static const PaletteFolder folder;
    return folder.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    fuzz::RunReader(decode::ReadRas, bytes);
    fuzz::RunReader(decode::ReadPic, bytes);
    std::string cut = "/nonexistent/picture.cut";
    if (size >= 2 && data[0] == 'A' && data[1] == 'H') {
        cut = Folder() + "/picture.cut";
        if (FILE* f = std::fopen((Folder() + "/picture.pal").c_str(), "wb")) {
            std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
    }
    fuzz::RunReader(decode::ReadCut, bytes, {}, cut);
    return 0;
}
