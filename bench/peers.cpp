#include "peers.h"

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include "decode/loader.h"
#include "platform/os/file_map.h"
#include "platform/gdi/gdi.h"

namespace bench {

std::string LumoraLoad(const std::string& path, HDC dc, const decode::LoadOptions& options) {
    decode::DecodedImage img;
    const HBITMAP bitmap = decode::LoadImageFile(img, path, dc, options);
    if (bitmap) platform::DeleteObject(bitmap);
    if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
    if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
    return bitmap ? "" : "LoadImageFile failed with " + std::to_string(img.errorCode);
}

std::string LumoraReaderOnly(const std::string& path, decode::ReaderFn reader,
                             const decode::LoadOptions& options) {
    decode::DecodedImage img;
    img.sourcePath = path;  // for readers that hand the file to a codec module
    const platform::MappedFile file(path);
    if (!file.is_open()) return "cannot map " + path;
    decode::ByteReader in(file.bytes());
    const int32_t rc = reader(img, in, options);
    benchmark::DoNotOptimize(img.pixels);
    decode::ReleasePixels(img);
    return rc == 0 ? "" : "reader failed with " + std::to_string(rc);
}

std::string StbLoad(const std::string& path, bool bottomUp) {
    int w = 0, h = 0, channels = 0;
    stbi_set_flip_vertically_on_load_thread(bottomUp);
    stbi_uc* pixels = stbi_load(path.c_str(), &w, &h, &channels, 0);
    stbi_set_flip_vertically_on_load_thread(false);
    if (!pixels) return std::string("stbi_load: ") + stbi_failure_reason();
    benchmark::DoNotOptimize(pixels[0]);
    stbi_image_free(pixels);
    return "";
}

}  // namespace bench
