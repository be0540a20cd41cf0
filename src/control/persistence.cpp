// The control's saved state: version 2.0, the stock properties, then its own properties in a
// fixed order. Loading only sets members; nothing is reloaded or laid out again.
#include "control/lumora_ctrl.h"

namespace control {

using namespace platform;

void CLumoraCtrl::DoPropExchange(PropExchange& px) {
    px.ExchangeVersion(2, 0);
    OleControl::DoPropExchange(px);

    PX_Short(px, "AutoSize", image_.autoSize);
    PX_Short(px, "DCTMethod", options_.dctMethod);
    PX_Short(px, "Dither", options_.dither);
    PX_Bool(px, "FancyUpsampling", options_.fancyUpsampling);
    PX_String(px, "FileName", image_.fileName);
    PX_Short(px, "JPEGDither", options_.jpegDither);
    PX_Short(px, "PrintX", print_.printX);
    PX_Short(px, "PrintY", print_.printY);
    PX_Short(px, "Thumbnail", image_.thumbnail);
    PX_Float(px, "Zoom", image_.zoom);
    PX_Float(px, "PrintZoom", print_.printZoom);
    PX_Bool(px, "TwoPassQuantize", options_.twoPassQuantize);
    PX_Short(px, "JPGSmoothing", options_.jpgSmoothing);
    PX_Short(px, "JPGQuality", options_.jpgQuality);
    PX_Bool(px, "JPGOptimize", options_.jpgOptimize);
    PX_Picture(px, "Picture", picture_);
    PX_Short(px, "DrawMode", drawing_.drawMode);
    PX_Short(px, "DrawWidth", drawing_.drawWidth);
    PX_Short(px, "DrawStyle", drawing_.drawStyle);
    PX_Color(px, "FillColor", drawing_.fillColor);
    PX_Short(px, "FillStyle", drawing_.fillStyle);
    PX_Float(px, "ScaleLeft", drawing_.scaleLeft);
    PX_Float(px, "ScaleTop", drawing_.scaleTop);
    PX_Float(px, "ScaleHeight", drawing_.scaleHeight);
    PX_Float(px, "ScaleWidth", drawing_.scaleWidth);
    PX_Short(px, "ScaleMode", drawing_.scaleMode);
    PX_Bool(px, "FontTransparent", drawing_.fontTransparent);
    PX_Short(px, "ImageSource", drawing_.imageSource);
    PX_Short(px, "DrawTo", drawing_.drawTo);
    PX_Bool(px, "AutoRefresh", drawing_.autoRefresh);
    PX_Short(px, "MousePointer", pointer_.mousePointer);
    PX_Float(px, "Aspect", image_.aspect);
    PX_Bool(px, "AutoBackground", image_.autoBackground);
    PX_Short(px, "Position", image_.position);
    PX_Short(px, "PCDSize", options_.pcdSize);
    PX_Bool(px, "EPSPreview", options_.epsPreview);

    // The player keeps its own copies of these.
    if (px.IsLoading()) {
        player_.zoom = image_.zoom;
        player_.thumbnail = image_.thumbnail;
    }
}

}  // namespace control
