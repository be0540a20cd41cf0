// The PCX and TGA readers on arbitrary bytes: both run on every input, so one corpus of PCX and
// TGA files feeds both. The first and last byte of a loaded picture's block are read, so a block
// smaller than its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/readers.h"
#include "reader_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    fuzz::RunReader(decode::ReadPcx, bytes);
    fuzz::RunReader(decode::ReadTga, bytes);
    return 0;
}
