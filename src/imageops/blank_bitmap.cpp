// CreateBitmap: a new blank 24-bit picture in the background colour, to draw on.
#include <cmath>

#include "control/lumora_ctrl.h"
#include "control/numeric_args.h"
#include "decode/decoded_image.h"
#include "imageops/dib_block.h"
#include "imageops/rotate_bits.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/control_error.h"

namespace control {

namespace {

constexpr uint32_t kCouldNotCreateBitmap = 0x800A4E33;

// Pixels from an optional argument, truncated towards zero; the fallback when it is left out.
double SizeArgument(const platform::Variant& value, int fallback) {
    if (platform::IsEmptyOrMissing(value)) return fallback;
    return std::trunc(VariantToDouble(value));
}

}  // namespace

void CLumoraCtrl::CreateBitmap(const platform::Variant& widthArg,
                               const platform::Variant& heightArg) {
    if (!HasWindow()) RecreateControlWindow();
    const double width = SizeArgument(widthArg, view_.clientWidth);
    const double height = SizeArgument(heightArg, view_.clientHeight);
    // Every size is judged before the current picture is let go of: a refused one leaves it.
    if (width < 0 || height < 0) ThrowError(platform::CTL_E_INVALIDPROPERTYVALUE);
    if (width == 0 || height == 0) ThrowError(kCouldNotCreateBitmap, "Could not create bitmap");
    const auto w = static_cast<int32_t>(std::min(width, 1e9));
    const auto h = static_cast<int32_t>(std::min(height, 1e9));
    if (decode::CheckImageSize(w, h, static_cast<int64_t>(imageops::DibRowBytes(w, 24))))
        ThrowError(platform::CTL_E_INVALIDPROPERTYVALUE);

    const HDC dc = view_.controlDC;
    const BITMAPINFO info = platform::DibHeader(w, h, 24);
    const HBITMAP bitmap = platform::CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr);
    if (!bitmap) ThrowError(kCouldNotCreateBitmap, "Could not create bitmap");
    {
        const imageops::MemoryDc mem(dc, bitmap);
        imageops::FillSolid(mem.get(), RECT{0, 0, w, h}, TranslateColor(GetBackColor()));
    }

    SetScrollRange(platform::SB_HORZ, 0, 0, false);
    SetScrollRange(platform::SB_VERT, 0, 0, false);
    SetScrollPos(platform::SB_HORZ, 0, false);
    SetScrollPos(platform::SB_VERT, 0, false);
    view_.horzPos = view_.vertPos = 0;
    view_.horzScrollPos = view_.vertScrollPos = 0;
    StopAnimation();
    image_.fileName.clear();
    picture_.CreateEmpty();
    ReleaseImage();
    image_.bmpw = image_.bmph = image_.bmpc = 0;

    image_.palette = platform::GetStockObject(platform::DEFAULT_PALETTE);
    if (!picture_.CreateFromBitmap(bitmap, image_.palette, false)) {
        platform::DeleteObject(bitmap);
        image_.palette = 0;
        ThrowError(kCouldNotCreateBitmap, "Could not create bitmap");
    }
    image_.bitmap = bitmap;
    image_.bmph = static_cast<int16_t>(h);
    image_.bmpw = static_cast<int16_t>(w);
    image_.bmpc = static_cast<int16_t>(platform::GetDeviceCaps(dc, BITSPIXEL) *
                                       platform::GetDeviceCaps(dc, PLANES));
    SetModifiedFlag();
    Relayout();
}

}  // namespace control
