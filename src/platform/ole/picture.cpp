#include "platform/ole/picture.h"

#include <cstdlib>

#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"

namespace platform {

namespace {

int32_t MulDivRounded(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return -1;
    const int64_t product = a * b;
    const int64_t half = std::llabs(c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (std::llabs(product) + half) / std::llabs(c);
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

struct DisplayDpi {
    int x = 96;
    int y = 96;
};

DisplayDpi QueryDisplayDpi() {
    DisplayDpi dpi;
    const HDC screen = GetDC(0);
    if (screen) {
        dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
        dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(0, screen);
    }
    return dpi;
}

void FreeHandle(int16_t type, HANDLE32 handle) {
    switch (type) {
        case PICTYPE_BITMAP:
            DeleteObject(handle);
            break;
        case PICTYPE_METAFILE:
            RemoveHandle(handle, HandleKind::MetaFile);
            break;
        case PICTYPE_ICON:
            RemoveHandle(handle, HandleKind::Icon);
            break;
        case PICTYPE_ENHMETAFILE:
            RemoveHandle(handle, HandleKind::EnhMetaFile);
            break;
        default:
            break;
    }
}

}  // namespace

int32_t PixelsToHimetric(int32_t pixels, int dpi) {
    return MulDivRounded(pixels, 2540, dpi);
}

int32_t HimetricToPixels(int32_t himetric, int dpi) {
    return MulDivRounded(himetric, dpi, 2540);
}

// ---- PictureObject --------------------------------------------------------------------------

PictureObject::PictureObject(int16_t type, HANDLE32 handle, HPALETTE palette, int32_t width,
                             int32_t height, bool owned)
    : type_(type),
      handle_(handle),
      palette_(palette),
      width_(width),
      height_(height),
      owned_(owned) {}

PictureObject::~PictureObject() {
    if (!owned_) return;
    FreeHandle(type_, handle_);
    if (palette_) DeleteObject(palette_);
}

HRESULT PictureObject::GetProperty(DISPID id, Variant& out) const {
    switch (id) {
        case DISPID_PICT_HANDLE:
            out = Variant::I4(static_cast<int32_t>(handle_));
            return S_OK;
        case DISPID_PICT_HPAL:
            out = Variant::I4(static_cast<int32_t>(palette_));
            return S_OK;
        case DISPID_PICT_TYPE:
            out = Variant::I2(type_);
            return S_OK;
        case DISPID_PICT_WIDTH:
            out = Variant::I4(width_);
            return S_OK;
        case DISPID_PICT_HEIGHT:
            out = Variant::I4(height_);
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT PictureObject::SetProperty(DISPID id, const Variant& value) {
    if (id != DISPID_PICT_HPAL) return DISP_E_MEMBERNOTFOUND;
    if (type_ != PICTYPE_BITMAP) return E_INVALIDARG;
    Variant handle;
    const HRESULT hr = ChangeType(value, VT_I4, handle);
    if (Failed(hr)) return hr;
    const auto palette = static_cast<HPALETTE>(handle.AsI4());
    if (palette != 0 && HandleKindOf(palette) != HandleKind::Palette) return E_INVALIDARG;
    // A palette handed in afterwards stays the caller's.
    if (owned_ && palette_ && palette_ != palette) DeleteObject(palette_);
    palette_ = palette;
    return S_OK;
}

// ---- PictureHolder --------------------------------------------------------------------------

void PictureHolder::CreateEmpty() {
    picture_ = std::make_shared<PictureObject>(PICTYPE_NONE, 0, 0, 0, 0, false);
}

bool PictureHolder::CreateFromBitmap(HBITMAP bitmap, HPALETTE palette, bool takeOwnership) {
    BITMAP info{};
    if (HandleKindOf(bitmap) != HandleKind::Bitmap || GetObject(bitmap, sizeof info, &info) == 0)
        return false;
    if (palette != 0 && HandleKindOf(palette) != HandleKind::Palette) return false;
    const DisplayDpi dpi = QueryDisplayDpi();
    picture_ = std::make_shared<PictureObject>(
        PICTYPE_BITMAP, bitmap, palette, PixelsToHimetric(info.bmWidth, dpi.x),
        PixelsToHimetric(info.bmHeight, dpi.y), takeOwnership);
    return true;
}

bool PictureHolder::CreateFromIcon(HANDLE32 icon, int widthPixels, int heightPixels,
                                   bool takeOwnership) {
    if (HandleKindOf(icon) != HandleKind::Icon || widthPixels < 0 || heightPixels < 0) return false;
    const DisplayDpi dpi = QueryDisplayDpi();
    picture_ =
        std::make_shared<PictureObject>(PICTYPE_ICON, icon, 0, PixelsToHimetric(widthPixels, dpi.x),
                                        PixelsToHimetric(heightPixels, dpi.y), takeOwnership);
    return true;
}

bool PictureHolder::CreateFromMetafile(HANDLE32 metafile, int32_t width, int32_t height,
                                       bool takeOwnership) {
    if (HandleKindOf(metafile) != HandleKind::MetaFile) return false;
    picture_ = std::make_shared<PictureObject>(PICTYPE_METAFILE, metafile, 0, width, height,
                                               takeOwnership);
    return true;
}

bool PictureHolder::SetPictureDispatch(const std::shared_ptr<Dispatch>& picture) {
    if (!picture) {
        CreateEmpty();
        return true;
    }
    auto object = std::dynamic_pointer_cast<PictureObject>(picture);
    if (!object) return false;
    picture_ = std::move(object);
    return true;
}

}  // namespace platform
