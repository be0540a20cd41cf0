// JPEG-compressed YCbCr pages whose YCbCrCoefficients or ReferenceBlackWhite differ from the
// values libjpeg's colour conversion assumes (BT.601, full range). libjpeg then only decodes and
// upsamples the strips or tiles, and libtiff's converter turns their YCbCr into RGB with the
// file's values.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>

namespace lmtiff {

// True when the page's YCbCr values are not what libjpeg's conversion assumes.
bool NeedsOwnYCbCrConversion(TIFF* tif);

// Decodes the page into bottom-up 24-bit blue-green-red rows. 0, or a loader code.
int32_t DecodeYCbCr(TIFF* tif, uint32_t width, uint32_t height, uint8_t* pixels, size_t stride);

}  // namespace lmtiff
