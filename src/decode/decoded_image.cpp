#include "decode/decoded_image.h"

#include <cstring>

#include "decode/loader_error.h"
#include "platform/os/global_memory.h"

namespace decode {

int32_t InitDibHeader(DecodedImage& img) {
    BITMAPINFOHEADER& h = img.header;
    h.biSize = 40;
    h.biPlanes = 1;
    h.biCompression = BI_RGB;
    h.biSizeImage = 0;
    h.biXPelsPerMeter = h.biYPelsPerMeter = 0;
    h.biClrUsed = h.biClrImportant = 0;
    std::memset(img.bitInfo.bmiColors, 0, sizeof img.bitInfo.bmiColors);

    const int64_t w = h.biWidth;
    int64_t stride;
    if (h.biBitCount <= 1) {
        h.biBitCount = 1;
        stride = (w + 7) / 8;
    } else if (h.biBitCount <= 4) {
        h.biBitCount = 4;
        stride = ((w + 7) / 8) * 4;
    } else if (h.biBitCount <= 8) {
        h.biBitCount = 8;
        stride = w;
    } else {
        h.biBitCount = 24;
        stride = 3 * w;
    }
    stride = (stride + 3) & ~int64_t{3};
    img.bitInfo.bmiHeader = h;
    // Widths are checked against kMaxDimension before allocation; clamp so a hostile width
    // never wraps the stride into something small.
    return stride > INT32_MAX ? INT32_MAX : static_cast<int32_t>(stride);
}

int32_t CheckImageSize(int64_t width, int64_t height, int64_t rowBytes) {
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension)
        return kNoMemory;
    if (rowBytes < 1 ||
        static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height) > kMaxPixelBlock)
        return kNoMemory;
    return 0;
}

int32_t AllocatePixels(DecodedImage& img, bool zeroed) {
    const int64_t height = img.header.biHeight;
    if (int32_t rc = CheckImageSize(img.header.biWidth, height, img.rowStride)) return rc;
    const size_t bytes = static_cast<size_t>(img.rowStride) * static_cast<size_t>(height);
    img.pixelHandle = platform::GlobalAlloc(zeroed ? GHND : GMEM_MOVEABLE, bytes);
    if (!img.pixelHandle) return kNoMemory;
    img.pixels = static_cast<uint8_t*>(platform::GlobalLock(img.pixelHandle));
    if (!img.pixels) {
        platform::GlobalFree(img.pixelHandle);
        img.pixelHandle = 0;
        return kNoHugeMemory;
    }
    return 0;
}

int32_t AdoptModuleBlock(DecodedImage& img, int32_t result) {
    img.pixelHandle = static_cast<HGLOBAL>(result);
    img.pixels = nullptr;
    img.rowStride = InitDibHeader(img);
    const int64_t needed = int64_t{img.rowStride} * img.header.biHeight;
    if (CheckImageSize(img.header.biWidth, img.header.biHeight, img.rowStride) != 0 ||
        platform::GlobalSize(img.pixelHandle) < static_cast<size_t>(needed)) {
        ReleasePixels(img);
        return kBadCopy;
    }
    img.pixels = static_cast<uint8_t*>(platform::GlobalLock(img.pixelHandle));
    if (!img.pixels) {
        ReleasePixels(img);
        return kNoHugeMemory;
    }
    return 0;
}

void ReleasePixels(DecodedImage& img) {
    if (img.pixelHandle) {
        if (img.pixels) platform::GlobalUnlock(img.pixelHandle);
        platform::GlobalFree(img.pixelHandle);
    }
    img.pixelHandle = 0;
    img.pixels = nullptr;
}

}  // namespace decode
