// JPGSaveName and JPGtoArray: the picture, or a rectangle of it, written through the JPEG
// module's "WriteJPG".
#include <algorithm>
#include <fstream>

#include "control/lumora_ctrl.h"
#include "control/numeric_args.h"
#include "decode/codec_contract.h"
#include "decode/loader_error.h"
#include "imageops/dib_block.h"
#include "imageops/pixel_scale.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/control_error.h"
#include "platform/os/module.h"
#include "platform/os/temp_file.h"

namespace control {

namespace {

struct SaveError {
    int32_t code;
    uint32_t scode;
    const char* text;
};

// What a save raises for each result; every other result is a success. The module's memory
// failure is raised too: nothing was written then.
constexpr SaveError kSaveErrors[] = {
    {decode::kJpgSaveUnsupported, 0x800A4E31, "JPG saving not supported"},
    {decode::kCouldNotOpen, 0x800A4E21, "Could not open file"},
    {decode::kWriteError, 0x800A4E23, "Error writing to file"},
    {decode::kNoBitmap, 0x800A4E2B, "No bitmap found"},
    {decode::kNoMemory, 0x800A4E22, "Error allocating memory"},
};

// Deletes a bitmap this file made, on every path.
struct OwnedBitmap {
    HBITMAP handle = 0;
    ~OwnedBitmap() {
        if (handle) platform::DeleteObject(handle);
    }
};

int32_t ClampedPixels(double value) {
    return RoundToInt(std::clamp(value, -1e9, 1e9));
}

}  // namespace

std::pair<int, int> CLumoraCtrl::SaveSourceSize() {
    if (drawing_.imageSource == 1) {
        int width = 0, height = 0;
        GetControlSize(&width, &height);
        const int b = BorderAllowance();
        TakeClientSize(width - b, height - b);
        return {view_.clientWidth, view_.clientHeight};
    }
    if (drawing_.drawTo == 1)
        return {image_.bmpw, static_cast<int>(image_.bmph * double{image_.aspect})};
    return {view_.clientWidth, view_.clientHeight};
}

void CLumoraCtrl::JPGSaveName(const std::string& fileName, const platform::Variant& x,
                              const platform::Variant& y, const platform::Variant& width,
                              const platform::Variant& height) {
    if (!HasWindow()) RecreateControlWindow();
    const auto [w, h] = SaveSourceSize();
    if (fileName.empty()) return;
    const std::string previousCursor = SetCursor(platform::cursor::kWait);
    int32_t result = decode::kNoBitmap;
    try {
        result = WriteRegion(fileName, w, h, x, y, width, height);
    } catch (...) {
        SetCursor(previousCursor);
        throw;
    }
    SetCursor(previousCursor);
    for (const SaveError& e : kSaveErrors)
        if (e.code == result) ThrowError(e.scode, e.text);
}

int32_t CLumoraCtrl::WriteRegion(const std::string& fileName, int width, int height,
                                 const platform::Variant& xArg, const platform::Variant& yArg,
                                 const platform::Variant& wArg, const platform::Variant& hArg) {
    if (image_.bmpw <= 0 || image_.bmph < 1 || width < 1 || height < 1) return decode::kNoBitmap;
    const bool asShown = drawing_.imageSource == 1;
    OwnedBitmap shown;
    if (asShown && !(shown.handle = BuildAsShownBitmap(width, height))) return decode::kNoBitmap;

    const HDC dc = view_.controlDC;
    const int dpiX = platform::GetDeviceCaps(dc, LOGPIXELSX);
    const int dpiY = platform::GetDeviceCaps(dc, LOGPIXELSY);
    const int mode = drawing_.scaleMode;
    auto pixels = [&](const platform::Variant& v, double origin, bool vertical) {
        return ClampedPixels(imageops::ScaleToPixels(
            VariantToDouble(v) - origin, mode, vertical ? dpiY : dpiX, vertical ? height : width,
            vertical ? drawing_.scaleHeight : drawing_.scaleWidth, vertical));
    };
    int32_t w = platform::IsEmptyOrMissing(wArg) ? width : pixels(wArg, 0, false);
    int32_t h = platform::IsEmptyOrMissing(hArg) ? height : pixels(hArg, 0, true);
    int32_t x = platform::IsMissing(xArg) ? 0 : pixels(xArg, drawing_.scaleLeft, false);
    int32_t y = platform::IsMissing(yArg) ? 0 : pixels(yArg, drawing_.scaleTop, true);
    if (x < 0 || x > width) x = 0;
    if (y < 0 || y > height) y = 0;
    if (x + w > width) w = width - x;
    if (y + h > height) h = height - y;

    const platform::Module module("LMJPEG32.DLL");
    const auto write = module.loaded()
                           ? reinterpret_cast<WriteJPGProc>(module.GetProcAddress("WriteJPG"))
                           : nullptr;
    // Without the module nothing can be written, and a save that wrote nothing must say so.
    if (!write) return decode::kJpgSaveUnsupported;
    auto save = [&](HBITMAP bitmap) {
        return write(fileName.c_str(), dc, static_cast<uint16_t>(options_.dctMethod),
                     options_.jpgOptimize ? 1 : 0, static_cast<uint16_t>(options_.jpgSmoothing),
                     bitmap, image_.palette, static_cast<uint16_t>(options_.jpgQuality));
    };
    if (w == width && h == height) return save(asShown ? shown.handle : image_.bitmap);

    // An empty or negative region has no bitmap to write.
    if (w < 1 || h < 1) return decode::kNoBitmap;
    OwnedBitmap region{platform::CreateCompatibleBitmap(dc, w, h)};
    if (!region.handle) return decode::kNoBitmap;
    {
        const imageops::MemoryDc out(dc, region.handle);
        if (!out) return decode::kNoBitmap;
        const HPALETTE previous =
            platform::SelectPalette(out.get(), imageops::ExportPalette(image_.palette), false);
        platform::RealizePalette(out.get());
        if (asShown) {
            const imageops::MemoryDc in(dc, shown.handle);
            platform::BitBlt(out.get(), 0, 0, w, h, in.get(), x, y, SRCCOPY);
        } else {
            RenderPicture(out.get(), RECT{-x, -y, image_.bmpw - x, image_.bmph - y},
                          RECT{0, 0, w, h});
        }
        platform::SelectPalette(out.get(), previous, false);
    }
    return save(region.handle);
}

platform::Variant CLumoraCtrl::JPGtoArray(const platform::Variant& x, const platform::Variant& y,
                                          const platform::Variant& width,
                                          const platform::Variant& height) {
    // Removed when this returns or raises, whatever the save did.
    const platform::TempFile temp("lm");
    if (!temp.valid()) ThrowError(0x800A4E21, "Could not open temp file");
    JPGSaveName(temp.path(), x, y, width, height);

    std::ifstream file(temp.path(), std::ios::binary | std::ios::ate);
    const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : 0;
    if (size < 0 || size > INT32_MAX) ThrowError(0x800A4E22, "Error allocating memory");
    const platform::SafeArrayPtr array =
        platform::SafeArrayCreateVector(platform::VT_UI1, 0, static_cast<uint32_t>(size));
    if (!array) ThrowError(0x800A4E22, "Error allocating memory");
    if (size > 0) {
        void* data = nullptr;
        platform::SafeArrayAccessData(array.get(), &data);
        file.seekg(0);
        file.read(static_cast<char*>(data), size);
        platform::SafeArrayUnaccessData(array.get());
        if (file.gcount() != size) ThrowError(0x800A4E23, "Error reading file");
    }
    return platform::Variant::Array(array);
}

}  // namespace control
