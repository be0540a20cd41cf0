#include "control/lumora_ctrl.h"

#include "platform/gdi/gdi.h"
#include "platform/metafile/metafile.h"

namespace control {

using platform::CTL_E_GETNOTSUPPORTED;
using platform::CTL_E_INVALIDPROPERTYVALUE;
using platform::SafeArrayCreateVector;
using platform::Variant;

void PlayerBlock::ResetFields() {
    frameCount = 0;
    nextFrameOffset = 0;
    frames = FrameTable{};
    showX = 0;
    showY = 0;
    canvasWidth = 0;
    canvasHeight = 0;
    zoom = 1.0f;
    thumbnail = 0;
    transDC = 0;
    controlDC = 0;
    hwnd = 0;
    windowX = 0;
    windowY = 0;
    backColor = 0;
    surface = ComposeSurface{};
}

CLumoraCtrl::CLumoraCtrl() {
    SetMemberDefaults();
}

CLumoraCtrl::~CLumoraCtrl() {
    StopAnimation();
    picture_.CreateEmpty();
    ReleaseImage();
    ReleaseCustomCursor();
    if (thumbnailFrame_) platform::DeleteObject(thumbnailFrame_);
}

void CLumoraCtrl::FreeViewCache() {
    if (viewCache_.bitmap) platform::DeleteObject(viewCache_.bitmap);
    viewCache_ = ViewCache{};
}

std::string CLumoraCtrl::EventName(platform::DISPID dispid) const {
    switch (dispid) {
        case DISPID_PAINT_EVENT:
            return "Paint";
        case DISPID_RESIZE_EVENT:
            return "Resize";
        default:
            return OleControl::EventName(dispid);
    }
}

void CLumoraCtrl::SetMemberDefaults() {
    image_ = ImageState{};
    view_ = ViewState{};
    options_ = DecoderOptions{};
    print_ = PrintSettings{};
    pointer_ = PointerState{};
    drawing_ = DrawingState{};
    player_.ResetFields();
    picture_.CreateEmpty();
}

void CLumoraCtrl::OnResetState() {
    ResetStockProps();
    StopAnimation();
    ReleaseImage();
    ReleaseCustomCursor();
    SetMemberDefaults();
    if (HasWindow()) view_.controlDC = GetDC();
    SetBackColor(platform::kDefaultBackColor);
    SetBorderStyle(1);
    SetAppearance(1);
}

void CLumoraCtrl::ReleaseImage() {
    FreeComposeSurface();
    FreeViewCache();

    // Frame 0 shares the image bitmap and palette; free them once, through the table.
    if (player_.frames[0].bitmap && player_.frames[0].bitmap == image_.bitmap) image_.bitmap = 0;
    if (player_.frames[0].palette && player_.frames[0].palette == image_.palette)
        image_.palette = 0;
    for (FrameEntry& frame : player_.frames) {
        if (frame.bitmap) platform::DeleteObject(frame.bitmap);
        if (frame.palette) platform::DeleteObject(frame.palette);
        if (frame.mask) platform::DeleteObject(frame.mask);
        frame.bitmap = frame.palette = frame.mask = 0;
    }
    player_.frameCount = 0;
    player_.nextFrameOffset = 0;

    if (image_.enhMetaFile) platform::DeleteEnhMetaFile(image_.enhMetaFile);
    image_.enhMetaFile = 0;
    if (image_.palette) platform::DeleteObject(image_.palette);
    if (image_.bitmap) platform::DeleteObject(image_.bitmap);
    image_.palette = 0;
    image_.bitmap = 0;
    image_.bmpc = 0;
}

void CLumoraCtrl::RequireUserMode() const {
    if (!AmbientUserMode()) ThrowError(CTL_E_GETNOTSUPPORTED);
}

void CLumoraCtrl::Refresh() {
    InvalidateControl();
    PaintWindow();
}

// ---- Image and view ---------------------------------------------------------------------------

void CLumoraCtrl::SetAutoRefresh(bool value) {
    drawing_.autoRefresh = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetAutoBackground(bool value) {
    image_.autoBackground = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetEPSPreview(bool value) {
    options_.epsPreview = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetDither(int16_t value) {
    if (value < 0 || value > 2) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    options_.dither = value;
}

void CLumoraCtrl::SetPrintZoom(float value) {
    if (!(value > 0.0f)) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    print_.printZoom = value;
}

void CLumoraCtrl::SetDCTMethod(int16_t value) {
    if (value < 0 || value > 2) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    options_.dctMethod = value;
}

void CLumoraCtrl::SetJPEGDither(int16_t value) {
    if (value < 0 || value > 2) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    options_.jpegDither = value;
}

void CLumoraCtrl::SetPrintX(int16_t value) {
    print_.printX = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetPrintY(int16_t value) {
    print_.printY = value;
    SetModifiedFlag();
}

int32_t CLumoraCtrl::GetHDC() {
    RequireUserMode();
    // Taken again each time: a recreated window has a new DC.
    if (HasWindow()) view_.controlDC = GetDC();
    return static_cast<int32_t>(view_.controlDC);
}

void CLumoraCtrl::SetJPGOptimize(bool value) {
    options_.jpgOptimize = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetJPGQuality(int16_t value) {
    if (value < 0 || value > 100) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    options_.jpgQuality = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetJPGSmoothing(int16_t value) {
    if (value < 0 || value > 100) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    options_.jpgSmoothing = value;
    SetModifiedFlag();
}

int32_t CLumoraCtrl::GetTransDC() const {
    RequireUserMode();
    return print_.transDC;
}

void CLumoraCtrl::SetTransDC(int32_t value) {
    print_.transDC = value;
    player_.transDC = value;
    SetModifiedFlag();
}

int32_t CLumoraCtrl::GetHorzPos() const {
    RequireUserMode();
    return view_.horzPos;
}

void CLumoraCtrl::SetHorzPos(int32_t value) {
    if (value < 0 || value > view_.horzRange) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    view_.horzPos = value;
    view_.horzScrollPos = value;
    SetScrollPos(platform::SB_HORZ, value, true);
    SetModifiedFlag();
    InvalidateControl();
}

int32_t CLumoraCtrl::GetVertPos() const {
    RequireUserMode();
    return view_.vertPos;
}

void CLumoraCtrl::SetVertPos(int32_t value) {
    if (value < 0 || value > view_.vertRange) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    view_.vertPos = value;
    view_.vertScrollPos = value;
    SetScrollPos(platform::SB_VERT, value, true);
    SetModifiedFlag();
    InvalidateControl();
}

int32_t CLumoraCtrl::GetHorzRange() const {
    RequireUserMode();
    return view_.horzRange;
}

int32_t CLumoraCtrl::GetVertRange() const {
    RequireUserMode();
    return view_.vertRange;
}

Variant CLumoraCtrl::GetOffsets() const {
    uint32_t count = 0;
    for (int32_t offset : image_.offsets)
        if (offset != 0) ++count;
    auto array = SafeArrayCreateVector(platform::VT_I4, 0, count);
    if (!array) ThrowError(0x800A4E22, "Error allocating memory");
    for (uint32_t i = 0; i < count; ++i)
        array->PutElement(static_cast<int32_t>(i), &image_.offsets[i]);
    return Variant::Array(std::move(array));
}

void CLumoraCtrl::SetPosition(int16_t value) {
    if (value < 0 || value > 8) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    image_.position = value;
    InvalidateControl();
    SetModifiedFlag();
}

void CLumoraCtrl::SetPCDSize(int16_t value) {
    if (value < 0 || value > 4) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    options_.pcdSize = value;
    SetModifiedFlag();
}

}  // namespace control
