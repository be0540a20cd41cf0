// The portable anymap reader on arbitrary bytes. The first and last byte of a loaded picture's
// block are read, so a block smaller than its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/readers.h"
#include "reader_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunReader(decode::ReadPnm, std::span<const uint8_t>(data, size));
    return 0;
}
