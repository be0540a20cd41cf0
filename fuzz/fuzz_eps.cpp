// The EPS and PostScript reader on arbitrary bytes, once without and once with the preview
// option. The first and last byte of a loaded picture's block are read, so a block smaller than
// its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/readers.h"
#include "reader_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool preview : {false, true}) {
        decode::LoadOptions options;
        options.epsPreview = preview;
        fuzz::RunReader(decode::ReadEps, std::span<const uint8_t>(data, size), options);
    }
    return 0;
}
