// The reader contract. A reader fills the decode area from a file's bytes: header, palette
// and a pixel block allocated with AllocatePixels. It returns 0 when the picture is complete
// (the block still locked) or a negative loader code; the loader then builds the bitmap or
// releases what the reader left.
#pragma once

#include <cstdint>
#include <span>
#include <string>

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

int32_t ReadPcx(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadTga(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadRas(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadPic(DecodedImage& img, ByteReader& in, const LoadOptions& options);
// Reads the palette from the ".pal" file beside img.sourcePath when there is one.
int32_t ReadCut(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadArt(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadHrz(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadGem(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadMac(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadMsp(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadWpg(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadIff(DecodedImage& img, ByteReader& in, const LoadOptions& options);
int32_t ReadPnm(DecodedImage& img, ByteReader& in, const LoadOptions& options);

// The first page (or the page at options.startOffset) of a TIFF file; compressions the reader
// does not decode itself go to the TIFF codec module, which opens img.sourcePath.
int32_t ReadTiff(DecodedImage& img, ByteReader& in, const LoadOptions& options);
// A TIFF stream that starts baseOffset bytes into the file (the preview of a DOS EPS file): every
// offset inside it is relative to that start.
int32_t ReadTiffAt(DecodedImage& img, ByteReader& in, const LoadOptions& options,
                   int32_t baseOffset);
// The raster picture of an EPS or PostScript file, or its preview with options.epsPreview;
// -1 (kMetafileSignal) when the preview is a Windows metafile, left in img.epsMetafile.
int32_t ReadEps(DecodedImage& img, ByteReader& in, const LoadOptions& options);
// A Photo CD image pack at the resolution options.pcdSize (0 to 4).
int32_t ReadPhotoCd(DecodedImage& img, ByteReader& in, const LoadOptions& options);

// The first image of an icon or cursor file as an icon, its size left in img.imageWidth and
// img.imageHeight; 0 on any failure (no loader code is set).
HANDLE32 ReadIcon(DecodedImage& img, const std::string& fileName);  // an HICON
// The same over the file's bytes.
HANDLE32 ReadIconBytes(DecodedImage& img, std::span<const uint8_t> file);

}  // namespace decode
