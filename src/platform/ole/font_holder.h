// Font objects as automation sees them (Name, Size, Bold, Italic, Underline, Strikethrough,
// Weight, Charset by DISPID) and the holder a control keeps its stock Font in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ole/variant.h"

namespace platform {

enum : DISPID {
    DISPID_FONT_NAME = 0,
    DISPID_FONT_SIZE = 2,
    DISPID_FONT_BOLD = 3,
    DISPID_FONT_ITALIC = 4,
    DISPID_FONT_UNDER = 5,
    DISPID_FONT_STRIKE = 6,
    DISPID_FONT_WEIGHT = 7,
    DISPID_FONT_CHARSET = 8,
};

constexpr int16_t FW_NORMAL = 400;
constexpr int16_t FW_BOLD = 700;

struct FontDesc {
    std::string name = "Sans";
    int64_t sizeCy = 82500;  // points in currency units (1/10000): 8.25 pt
    int16_t weight = FW_NORMAL;
    int16_t charset = 0;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;

    double SizePoints() const { return static_cast<double>(sizeCy) / 10000.0; }
    // Bold reads as a weight above medium; setting it picks 700 or 400.
    bool Bold() const { return weight > 550; }
    void SetBold(bool bold) { weight = bold ? FW_BOLD : FW_NORMAL; }

    bool operator==(const FontDesc&) const = default;
};

class FontObject : public Dispatch {
  public:
    explicit FontObject(FontDesc desc) : desc_(std::move(desc)) {}

    const FontDesc& Desc() const { return desc_; }

    // Name is the value property; Size travels as VT_R8 points.
    HRESULT GetProperty(DISPID id, Variant& out) const override;
    HRESULT SetProperty(DISPID id, const Variant& value) override;

  private:
    FontDesc desc_;
};

class FontHolder {
  public:
    FontHolder() : font_(std::make_shared<FontObject>(FontDesc{})) {}

    // Takes a copy of the given font object's description, or desc when it is not a font.
    void InitializeFont(const FontDesc& desc, const std::shared_ptr<Dispatch>& font = nullptr);
    const FontDesc& Desc() const { return font_->Desc(); }
    std::shared_ptr<Dispatch> GetFontDispatch() const { return font_; }

  private:
    std::shared_ptr<FontObject> font_;
};

}  // namespace platform
