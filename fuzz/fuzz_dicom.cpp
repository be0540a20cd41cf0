// The DICOM codec module on arbitrary bytes through its own entry point: the bytes are written
// to a temporary file whose name "ReadDCM" gets. The first image is read, and the second too
// when the file says it has more. The first and last byte of a returned block are read, so a
// block smaller than its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "decode/codec_contract.h"
#include "module_input.h"
#include "platform/os/global_memory.h"
#include "platform/os/module.h"

namespace {

ReadDCMProc Reader() {
    static const platform::Module module("LMDCM32.DLL");
    static const auto read = reinterpret_cast<ReadDCMProc>(module.GetProcAddress("ReadDCM"));
    if (!read) std::abort();  // the harness is useless without the module
    return read;
}

// Reads image `number`; the count the module gives back.
int32_t ReadImage(const std::string& path, int32_t number) {
    BITMAPINFOHEADER header{};
    uint8_t palette[768];
    const int32_t result = Reader()(path.c_str(), palette, &header, &number);
    if (result <= 0) return 0;
    const auto block = static_cast<HGLOBAL>(result);
    const size_t stride = (static_cast<size_t>(header.biWidth) * header.biBitCount / 8 + 3) & ~3u;
    const size_t size = stride * static_cast<size_t>(header.biHeight);
    if (size > platform::GlobalSize(block)) std::abort();
    if (auto* pixels = static_cast<volatile uint8_t*>(platform::GlobalLock(block))) {
        uint8_t edge = pixels[0];
        edge = pixels[size - 1];
        (void)edge;
        platform::GlobalUnlock(block);
    }
    platform::GlobalFree(block);
    return number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::WriteModuleInput("dicom", ".dcm", data, size);
    if (ReadImage(path, 1) > 1) ReadImage(path, 2);
    std::remove(path.c_str());
    return 0;
}
