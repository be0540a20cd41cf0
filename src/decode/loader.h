// The single entry through which a picture file is loaded.
#pragma once

#include <string>

#include "decode/decoded_image.h"
#include "decode/readers.h"

namespace decode {

// Chooses a reader by the name's extension (or by the first bytes), runs it and builds the
// bitmap. Returns the bitmap, or 0 with img.errorCode set (a signal code for icons, cursors and
// metafiles). The caller sets img.dicomImage and clears the rest of img before the call.
HBITMAP LoadImageFile(DecodedImage& img, const std::string& fileName, HDC dc,
                      const LoadOptions& options);

// The extension as the dispatch sees it: up to three characters after the last "." anywhere
// in the lower-cased name.
std::string DispatchExtension(const std::string& fileName);

}  // namespace decode
