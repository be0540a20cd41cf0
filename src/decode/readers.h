// The reader contract. A reader fills the decode area from a file's bytes: header, palette
// and a pixel block allocated with AllocatePixels. It returns 0 when the picture is complete
// (the block still locked) or a negative loader code; the loader then builds the bitmap or
// releases what the reader left.
#pragma once

#include <cstdint>

#include "decode/byte_reader.h"
#include "decode/decoded_image.h"

namespace decode {

// Options the loader takes from the control's properties, with the control's defaults.
struct LoadOptions {
    uint16_t dither = 0;
    bool fancyUpsampling = false;
    bool twoPassQuantize = false;
    uint16_t jpegDither = 1;
    uint16_t dctMethod = 1;
    int32_t startOffset = 0;  // TIFF page or GIF frame
    int32_t pcdSize = 2;
    bool epsPreview = false;
};

using ReaderFn = int32_t (*)(DecodedImage& img, ByteReader& in, const LoadOptions& options);

int32_t ReadBmp(DecodedImage& img, ByteReader& in, const LoadOptions& options);
// One frame per call, from options.startOffset (0: the first image).
int32_t ReadGif(DecodedImage& img, ByteReader& in, const LoadOptions& options);

}  // namespace decode
