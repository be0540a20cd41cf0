// The six legacy readers (ART, HRZ, GEM, MacPaint, MSP, WPG) on arbitrary bytes: the first byte
// picks the reader, the rest is the file. The first and last byte of a loaded picture's block
// are read, so a block smaller than its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "decode/readers.h"
#include "reader_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static constexpr decode::ReaderFn kReaders[] = {decode::ReadArt, decode::ReadHrz,
                                                    decode::ReadGem, decode::ReadMac,
                                                    decode::ReadMsp, decode::ReadWpg};
    if (size < 1) return 0;
    fuzz::RunReader(kReaders[data[0] % std::size(kReaders)],
                    std::span<const uint8_t>(data + 1, size - 1));
    return 0;
}
