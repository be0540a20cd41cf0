// A bitmap of the drawing layer as a QImage, for hosts that paint with Qt.
#pragma once

#include <QImage>

#include "platform/os/wintypes.h"

// A null image when the handle is not a readable bitmap.
QImage BitmapImage(HBITMAP bitmap);
