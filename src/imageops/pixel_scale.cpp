#include "imageops/pixel_scale.h"

namespace imageops {

double ScaleToPixels(double value, int mode, int dpi, int pixelExtent, double userExtent,
                     bool vertical) {
    if (mode < 0 || mode > 8) mode = 8;
    if (mode == 3) return value;
    if (mode == 0) return userExtent != 0 ? value * pixelExtent / userExtent : value;
    // Sizes in twips; 1440 twips make an inch.
    constexpr double kTwips[] = {0, 1, 20, 0, 120, 1440, 1440 / 25.4, 1440 / 2.54, 1440 / 2540.0};
    const double unit = mode == 4 && vertical ? 240.0 : kTwips[mode];
    return value * unit * dpi / 1440.0;
}

}  // namespace imageops
