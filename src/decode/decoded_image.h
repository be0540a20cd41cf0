// The decode area: what one load fills and what the control reads after it. The loader makes
// one for each load and passes it to the reader, so loads on different controls never share it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/wintypes.h"

namespace decode {

// What the GIF reader leaves for the control's frame walk and player.
struct GifFrameInfo {
    uint16_t screenWidth = 0;
    uint16_t screenHeight = 0;
    uint16_t frameLeft = 0;
    uint16_t frameTop = 0;
    uint16_t frameDelay = 0;    // milliseconds; kept from the previous frame when absent
    uint8_t frameDisposal = 4;  // 4 when the frame has no graphic control extension
    std::array<uint8_t, 3> transparentColor{};  // red, green, blue as the file had them
    int32_t frameDescriptorOffset = 0;
    int32_t nextFrameOffset = 0;  // 0 when the end of the file was reached
    std::array<uint8_t, 6> lastGraphicControl{};
};

// A Windows metafile preview inside a DOS EPS file.
struct EpsMetafilePreview {
    int32_t offset = 0;
    int32_t length = 0;
};

struct DecodedImage {
    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> rgbPalette{};  // 256 entries of red, green, blue
    BITMAPINFO bitInfo{};                   // header copy and colour table for the DIB
    HGLOBAL pixelHandle = 0;
    uint8_t* pixels = nullptr;  // locked address of pixelHandle
    int32_t rowStride = 0;
    int8_t builtBitCount = 0;
    int32_t errorCode = 0;
    HPALETTE paletteHandle = 0;
    HBITMAP maskBitmap = 0;
    int32_t transparentIndex = -1;
    int16_t imageWidth = 0;
    int16_t imageHeight = 0;
    uint8_t* dibBits = nullptr;
    std::string workPath;
    std::string sourcePath;  // the file name as the caller gave it: what modules and companion
                             // files are opened from (workPath is lower-cased)
    std::string format;      // what the loader routed the file to: "gif", "bmp", "jpeg", ...
    float pixelAspect = 1.0f;
    // The dither BuildDib applies after the reader: the loader sets it from the option (0 for
    // families that are never dithered); a reader that hands the file to another family's reader
    // (an EPS file's TIFF preview) sets what that family would get.
    uint16_t buildDither = 0;
    int32_t dicomImage = 0;  // in: image wanted; out: images in the file

    GifFrameInfo gif;
    std::vector<int32_t> tiffPageOffsets;  // one entry per page of a TIFF file
    EpsMetafilePreview epsMetafile;

    // Buffer row of picture row r (r = 0 at the top): rows are stored bottom-up.
    uint8_t* row(int32_t r) const {
        return pixels +
               static_cast<size_t>(header.biHeight - 1 - r) * static_cast<size_t>(rowStride);
    }
};

// Largest picture side and pixel block a reader may ask for.
constexpr int32_t kMaxDimension = 32767;
constexpr uint64_t kMaxPixelBlock = uint64_t{1} << 30;

// Prepares the header after a reader set biWidth, biHeight and biBitCount: normalises the bit
// count to 1, 4, 8 or 24, clears the colour table, copies the header into bitInfo and returns
// the row stride.
int32_t InitDibHeader(DecodedImage& img);

// 0 when a picture of this size (and a pixel block of rowBytes x height) may be allocated,
// else kNoMemory. Readers call it before allocating anything for the picture.
int32_t CheckImageSize(int64_t width, int64_t height, int64_t rowBytes);

// Allocates and locks the zeroed pixel block of rowStride x biHeight bytes: 0, kNoMemory
// (size refused or no memory) or kNoHugeMemory (lock failed; the block is freed).
// zeroed false: the block is left as the allocator hands it out, for a reader that writes
// every byte of every row itself (padding included).
int32_t AllocatePixels(DecodedImage& img, bool zeroed = true);

// Takes a pixel block that a codec module returned (result > 0) for the header it left: the
// header is prepared, the block checked to hold rowStride x height bytes and locked. 0, or
// kBadCopy (block too small or size refused) or kNoHugeMemory (lock failed); on failure the
// block is freed.
int32_t AdoptModuleBlock(DecodedImage& img, int32_t result);

// Unlocks and frees the pixel block, if any.
void ReleasePixels(DecodedImage& img);

}  // namespace decode
