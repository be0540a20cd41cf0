// The GIF reader on arbitrary bytes: the first frame, then the frame walk the control does,
// reusing one decode area as it does.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decode::DecodedImage img;
    decode::ByteReader in(std::span<const uint8_t>(data, size));
    decode::LoadOptions options;
    // The control keeps at most 100 frames; a few more exercise the end of the walk.
    for (int frame = 0; frame < 128; ++frame) {
        const int32_t rc = decode::ReadGif(img, in, options);
        decode::ReleasePixels(img);
        if (rc != 0 || img.gif.nextFrameOffset <= options.startOffset) break;
        options.startOffset = img.gif.nextFrameOffset;
    }
    // A frame reached straight at its descriptor, as a chosen frame is reloaded.
    if (img.gif.frameDescriptorOffset > 0) {
        options.startOffset = img.gif.frameDescriptorOffset;
        decode::ReadGif(img, in, options);
        decode::ReleasePixels(img);
    }
    return 0;
}
