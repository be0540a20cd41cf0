// Picture objects as automation sees them (Handle, hPal, Type, Width and Height in HiMetric,
// read by DISPID) and the holder a control keeps its picture in.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ole/variant.h"
#include "platform/os/wintypes.h"

namespace platform {

enum : int16_t {
    PICTYPE_NONE = 0,
    PICTYPE_BITMAP = 1,
    PICTYPE_METAFILE = 2,
    PICTYPE_ICON = 3,
    PICTYPE_ENHMETAFILE = 4,
};

enum : DISPID {
    DISPID_PICT_HANDLE = 0,
    DISPID_PICT_HPAL = 2,
    DISPID_PICT_TYPE = 3,
    DISPID_PICT_WIDTH = 4,
    DISPID_PICT_HEIGHT = 5,
};

// pixels * 2540 / dpi and back, each rounded half away from zero as MulDiv does.
int32_t PixelsToHimetric(int32_t pixels, int dpi);
int32_t HimetricToPixels(int32_t himetric, int dpi);

class PictureObject : public Dispatch {
  public:
    // Sizes are HiMetric. An owned handle (and palette) is freed with the object.
    PictureObject(int16_t type, HANDLE32 handle, HPALETTE palette, int32_t width, int32_t height,
                  bool owned);
    ~PictureObject() override;
    PictureObject(const PictureObject&) = delete;
    PictureObject& operator=(const PictureObject&) = delete;

    int16_t Type() const { return type_; }
    HANDLE32 Handle() const { return handle_; }
    HPALETTE Palette() const { return palette_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool Owned() const { return owned_; }

    // Handle is the value property. Only hPal can be written, and only on a bitmap.
    HRESULT GetProperty(DISPID id, Variant& out) const override;
    HRESULT SetProperty(DISPID id, const Variant& value) override;

  private:
    int16_t type_;
    HANDLE32 handle_;
    HPALETTE palette_;
    int32_t width_;
    int32_t height_;
    bool owned_;
};

class PictureHolder {
  public:
    PictureHolder() { CreateEmpty(); }

    void CreateEmpty();
    // Sizes come from the bitmap at the display's resolution. False, and the holder unchanged,
    // when the handles are not a live bitmap and (optional) palette.
    bool CreateFromBitmap(HBITMAP bitmap, HPALETTE palette = 0, bool takeOwnership = true);
    // Icons carry no size the platform can read yet, so the caller passes it in pixels.
    bool CreateFromIcon(HANDLE32 icon, int widthPixels, int heightPixels,
                        bool takeOwnership = true);
    // The extent is HiMetric, as a metafile picture description gives it.
    bool CreateFromMetafile(HANDLE32 metafile, int32_t width, int32_t height,
                            bool takeOwnership = true);

    int16_t GetType() const { return picture_->Type(); }
    const std::shared_ptr<PictureObject>& Picture() const { return picture_; }
    std::shared_ptr<Dispatch> GetPictureDispatch() const { return picture_; }
    // Shares the given picture; null makes the holder empty. False for an object that is not a
    // picture.
    bool SetPictureDispatch(const std::shared_ptr<Dispatch>& picture);

  private:
    std::shared_ptr<PictureObject> picture_;
};

}  // namespace platform
