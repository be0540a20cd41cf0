#include "decode/loader_error.h"

namespace decode {
namespace {

constexpr LoaderErrorInfo kErrors[] = {
    {kCouldNotOpen, 0x800A4E21, "Could not open file"},
    {kNoMemory, 0x800A4E22, "Error allocating memory"},
    {kReadError, 0x800A4E23, "Error reading file"},
    {kBadCopy, 0x800A4E24, "Memory error - bad copy"},
    {kNoDibHandle, 0x800A4E25, "Could not create DIB handle"},
    {kNoHugeMemory, 0x800A4E26, "Error allocating huge memory"},
    {kGifBadCode, 0x800A4E27, "Bad code in GIF file"},
    {kGifBadFirstCode, 0x800A4E28, "Bad first code in GIF file"},
    {kGifBadBit, 0x800A4E29, "Bad bit in GIF file"},
    {kBadHeader, 0x800A4E2A, "Bad header in file"},
    {kNoBitmap, 0x800A4E2B, "Could not find bitmap in file"},
    {kNoPalette, 0x800A4E2C, "Could not create palette"},
    {kUnsupported, 0x800A4E2D, "File type not supported"},
    {kNoJpegModule, 0x800A4E2E, "Could not load LMJPEG32.DLL"},
    {kTiffCompression, 0x800A4E2F, "Unsupported TIFF compression method"},
    {kNoPngModule, 0x800A4E30, "Could not load LMPNG32.DLL"},
    {kJpgSaveUnsupported, 0x800A4E31, "JPG saving not supported"},
    // The write error shares its status code with the read error, as hosts have always seen it.
    {kWriteError, 0x800A4E23, "Error writing to file"},
    {kNoDicomModule, 0x800A4E36, "Could not load LMDCM32.DLL"},
};

}  // namespace

const LoaderErrorInfo* FindLoaderError(int32_t code) {
    for (const LoaderErrorInfo& e : kErrors)
        if (e.code == code) return &e;
    return nullptr;
}

}  // namespace decode
