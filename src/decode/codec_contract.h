/* Entry points of the codec modules. A positive result is a movable global memory block with
   the pixel rows in the decode area's layout (bottom-up, rows padded to four bytes, stride by
   the bit count as the loader computes it); zero or a negative loader code is a failure. */
#pragma once

#include <stdint.h>

#include "platform/os/wintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t (*ReadJPGProc)(const char* fileName, HDC dc, uint16_t dither,
                               int32_t fancyUpsampling, int32_t twoPassQuantize,
                               uint16_t jpegDither, uint16_t dctMethod, uint8_t* rgbPalette,
                               BITMAPINFOHEADER* header);
typedef int32_t (*ReadPNGProc)(const char* fileName, HDC dc, uint8_t* rgbPalette,
                               BITMAPINFOHEADER* header);
/* A PNG image held in memory (the PNG images inside icon files), as 32-bit blue, green, red,
   alpha rows (alpha not premultiplied), bottom-up, width x 4 bytes each; biBitCount 32. Images
   wider or higher than maxSide are refused with -20002 before anything is allocated. */
typedef int32_t (*ReadPNGMemoryProc)(const uint8_t* data, uint32_t size, int32_t maxSide,
                                     BITMAPINFOHEADER* header);
typedef int32_t (*ReadDCMProc)(const char* fileName, uint8_t* rgbPalette, BITMAPINFOHEADER* header,
                               int32_t* imageNumber);
typedef int32_t (*ReadTIFFProc)(const char* fileName, int32_t rowStride, BITMAPINFOHEADER* header,
                                int32_t offset);
typedef int32_t (*WriteJPGProc)(const char* outName, HDC dc, uint16_t dctMethod, uint16_t optimize,
                                uint16_t smoothing, HBITMAP bitmap, HPALETTE palette,
                                uint16_t quality);

/* Option values */
enum { DCT_SLOW_INTEGER = 0, DCT_FAST_INTEGER = 1, DCT_FLOATING_POINT = 2 };
enum { JPEG_DITHER_NONE = 0, JPEG_DITHER_ORDERED = 1, JPEG_DITHER_FLOYD_STEINBERG = 2 };

#ifdef __cplusplus
}
#endif
