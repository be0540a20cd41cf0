#include "control/property_pages.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "control/dispatch.h"
#include "control/lumora_ctrl.h"
#include "lumora/version.h"
#include "platform/ole/control_error.h"
#include "platform/ole/variant.h"

namespace control {

using platform::Variant;

namespace {


constexpr std::string_view kAutoSize[] = {"0 - Off", "1 - Fit to Bitmap", "2 - Fit Horizontal",
                                          "3 - Fit Vertical", "4 - Fit to Control"};
constexpr std::string_view kAppearance[] = {"0 - Flat", "1 - 3D"};
constexpr std::string_view kBorderStyle[] = {"0 - None", "1 - Fixed Single"};
constexpr std::string_view kDither[] = {"0 - None", "1 - Dither Extra Colors", "2 - Dither Always"};
constexpr std::string_view kDCTMethod[] = {"0 - Slow Integer", "1 - Fast Integer",
                                           "2 - Floating Point"};
constexpr std::string_view kJPEGDither[] = {"0 - None", "1 - Ordered", "2 - Floyd-Steinberg"};
constexpr std::string_view kDrawTo[] = {"0 - Control", "1 - Bitmap"};
constexpr std::string_view kImageSource[] = {"0 - Original", "1 - As Shown"};
// Entry 0 stands in for the missing R2 code 0, so the index equals the value.
constexpr std::string_view kDrawMode[] = {"Invalid",
                                          "1 - Blackness",
                                          "2 - Not Merge Pen",
                                          "3 - Mask Not Pen",
                                          "4 - Not Copy Pen",
                                          "5 - Mask Pen Not",
                                          "6 - Invert",
                                          "7 - Xor Pen",
                                          "8 - Not Mask Pen",
                                          "9 - Maskr Pen",
                                          "10 - Not Xor Pen",
                                          "11 - Nop",
                                          "12 - Merge Not Pen",
                                          "13 - Copy Pen",
                                          "14 - Merge Pen Not",
                                          "15 - Merge Pen",
                                          "16 - Whiteness"};
constexpr std::string_view kDrawStyle[] = {"0 - Solid",       "1 - Dash",         "2 - Dot",
                                           "3 - Dash-Dot",    "4 - Dash-Dot-Dot", "5 - Transparent",
                                           "6 - Inside Solid"};
constexpr std::string_view kFillStyle[] = {
    "0 - Solid",           "1 - Transparent",       "2 - Horizontal Line", "3 - Vertical Line",
    "4 - Upward Diagonal", "5 - Downward Diagonal", "6 - Cross",           "7 - Diagonal Cross"};
constexpr std::string_view kScaleMode[] = {"0 - User",      "1 - Twip",       "2 - Point",
                                           "3 - Pixel",     "4 - Character",  "5 - Inch",
                                           "6 - Milimeter", "7 - Centimeter", "8 - HiMetric"};

constexpr PageField Combo(std::string_view property, std::string_view label,
                          std::span<const std::string_view> entries, double initial = -1) {
    return {property, FieldKind::Combo, label, entries, initial};
}
constexpr PageField Field(std::string_view property, FieldKind kind) {
    return {property, kind, property};
}

constexpr PageField kAppearanceFields[] = {
    Combo("AutoSize", "Autosize", kAutoSize),
    Combo("Appearance", "Appearance", kAppearance, 1),
    Combo("BorderStyle", "BorderStyle", kBorderStyle, 1),
    Combo("Dither", "Dither", kDither),
    Field("Thumbnail", FieldKind::IntEdit),
    Field("PrintZoom", FieldKind::FloatEdit),
    Field("Zoom", FieldKind::FloatEdit),
};
constexpr PageField kJpegFields[] = {
    Combo("DCTMethod", "DCTMethod", kDCTMethod), Combo("JPEGDither", "JPEGDither", kJPEGDither),
    Field("JPGQuality", FieldKind::IntEdit),     Field("JPGSmoothing", FieldKind::IntEdit),
    Field("JPGOptimize", FieldKind::Check),      Field("FancyUpsampling", FieldKind::Check),
    Field("TwoPassQuantize", FieldKind::Check),
};
constexpr PageGroup kGeneralGroups[] = {{"Appearance Options", kAppearanceFields},
                                        {"JPG Options", kJpegFields}};
constexpr std::string_view kGeneralOrder[] = {
    "Appearance",      "BorderStyle", "AutoSize",        "DCTMethod", "Dither",
    "FancyUpsampling", "JPEGDither",  "JPGOptimize",     "PrintZoom", "JPGQuality",
    "JPGSmoothing",    "Thumbnail",   "TwoPassQuantize", "Zoom"};

constexpr PageField kDrawingFields[] = {
    Combo("DrawTo", "DrawTo", kDrawTo),          Combo("ImageSource", "ImageSource", kImageSource),
    Combo("DrawMode", "DrawMode", kDrawMode),    Combo("DrawStyle", "DrawStyle", kDrawStyle),
    Combo("FillStyle", "FillStyle", kFillStyle), Field("DrawWidth", FieldKind::IntEdit),
    Field("AutoRefresh", FieldKind::Check),      Field("FontTransparent", FieldKind::Check),
};
constexpr PageField kScaleFields[] = {
    Combo("ScaleMode", "ScaleMode", kScaleMode), Field("ScaleTop", FieldKind::FloatEdit),
    Field("ScaleLeft", FieldKind::FloatEdit),    Field("ScaleWidth", FieldKind::FloatEdit),
    Field("ScaleHeight", FieldKind::FloatEdit),
};
constexpr PageGroup kGraphicsGroups[] = {{"Drawing Options", kDrawingFields},
                                         {"Scale Options", kScaleFields}};
constexpr std::string_view kGraphicsOrder[] = {
    "DrawTo",      "ImageSource",     "DrawMode",   "DrawStyle", "FillStyle",
    "DrawWidth",   "ScaleMode",       "ScaleTop",   "ScaleLeft", "ScaleWidth",
    "ScaleHeight", "FontTransparent", "AutoRefresh"};

constexpr PageInfo kPages[] = {
    {"CSecProp", "Lumora32.CSecProp", "General", 211, kGeneralGroups, kGeneralOrder},
    {"CGraphProp", "Lumora32.CGraphProp", "Graphics", 213, kGraphicsGroups, kGraphicsOrder},
};

constexpr std::string_view kPageList[] = {"CSecProp", "CGraphProp", "StockPicturePage",
                                          "StockFontPage", "StockColorPage"};

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

[[noreturn]] void NoSuchField() {
    platform::ThrowError(platform::CTL_E_ILLEGALFUNCTIONCALL);
}

// The field's value from a property value, as the dialog exchange would show it.
double FieldValue(const PageField& field, const Variant& value) {
    Variant number;
    if (platform::Failed(platform::ChangeType(value, platform::VT_R8, number))) return 0;
    const double v = number.AsR8();
    switch (field.kind) {
        case FieldKind::Check:
            return v != 0 ? 1 : 0;
        case FieldKind::Combo:
            // A value without an entry selects nothing.
            return v >= 0 && v < static_cast<double>(field.entries.size()) && v == std::floor(v)
                       ? v
                       : -1;
        case FieldKind::IntEdit:
        case FieldKind::FloatEdit:
            return v;
    }
    return v;
}

Variant PropertyValue(const PageField& field, double value) {
    switch (field.kind) {
        case FieldKind::Check:
            return Variant::Bool(value != 0);
        case FieldKind::FloatEdit:
            return Variant::R4(static_cast<float>(value));
        case FieldKind::Combo:
        case FieldKind::IntEdit:
            break;
    }
    // Values outside a short reach the setter as they are; its check answers (overflow or 380).
    return Variant::I4(static_cast<int32_t>(std::clamp(value, -2147483648.0, 2147483647.0)));
}

std::string FormatNumber(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

}  // namespace

std::span<const PageInfo> OwnPropertyPages() {
    return kPages;
}

const PageInfo* FindPropertyPage(std::string_view name) {
    for (const PageInfo& page : kPages)
        if (SameName(page.caption, name) || SameName(page.className, name)) return &page;
    return nullptr;
}

const PageField* FindPageField(const PageInfo& page, std::string_view property) {
    for (const PageGroup& group : page.groups)
        for (const PageField& field : group.fields)
            if (SameName(field.property, property)) return &field;
    return nullptr;
}

std::span<const std::string_view> PropertyPageList() {
    return kPageList;
}

PropertyPage::PropertyPage(CLumoraCtrl& control, const PageInfo& info)
    : control_(control), info_(info) {
    for (std::string_view property : info.exchangeOrder) {
        const PageField* field = FindPageField(info, property);
        slots_.push_back({field, field->initial});
    }
}

void PropertyPage::Open() {
    for (Slot& slot : slots_) {
        slot.value = FieldValue(*slot.field, control_.GetProperty(slot.field->property));
        slot.changed = false;
    }
}

PropertyPage::Slot& PropertyPage::SlotFor(std::string_view property) {
    for (Slot& slot : slots_)
        if (SameName(slot.field->property, property)) return slot;
    NoSuchField();
}

const PropertyPage::Slot& PropertyPage::SlotFor(std::string_view property) const {
    return const_cast<PropertyPage*>(this)->SlotFor(property);
}

double PropertyPage::Value(std::string_view property) const {
    return SlotFor(property).value;
}

std::string PropertyPage::Text(std::string_view property) const {
    const Slot& slot = SlotFor(property);
    switch (slot.field->kind) {
        case FieldKind::Combo:
            return slot.value < 0
                       ? std::string()
                       : std::string(slot.field->entries[static_cast<size_t>(slot.value)]);
        case FieldKind::Check:
            return slot.value != 0 ? "True" : "False";
        case FieldKind::IntEdit:
        case FieldKind::FloatEdit:
            break;
    }
    return FormatNumber(slot.value);
}

void PropertyPage::SetValue(std::string_view property, double value) {
    Slot& slot = SlotFor(property);
    slot.value = value;
    slot.changed = true;
}

bool PropertyPage::Changed(std::string_view property) const {
    return SlotFor(property).changed;
}

void PropertyPage::Apply() {
    for (Slot& slot : slots_) {
        if (!slot.changed) continue;
        control_.SetProperty(slot.field->property, PropertyValue(*slot.field, slot.value));
        slot.changed = false;
    }
}

platform::DialogContent AboutBoxContent() {
    return {"About",
            "About Lumora Control",
            "LumoraCtrl",
            {"Lumora Control, Version " LUMORA_VERSION_STRING}};
}

void CLumoraCtrl::AboutBox() {
    if (platform::ControlSite* site = ClientSite()) site->ShowDialog(AboutBoxContent());
}

}  // namespace control
