// Scale coordinates of the export region to pixels of the picture written.
#pragma once

#include <cstdint>

namespace imageops {

// A value in scale mode `mode` (0 user, 1 twips, 2 points, 3 pixels, 4 characters, 5 inches,
// 6 mm, 7 cm, 8 HiMetric; anything else counts as 8) as pixels, at dpi dots per inch. The user
// unit is pixelExtent pixels per userExtent units; characters are 120 twips wide (horizontal)
// or 240 twips high.
double ScaleToPixels(double value, int mode, int dpi, int pixelExtent, double userExtent,
                     bool vertical);

}  // namespace imageops
