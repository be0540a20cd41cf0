#include "bitmap_image.h"

#include <QByteArray>

#include <cstring>
#include <vector>

#include "platform/gdi/packed_dib.h"

QImage BitmapImage(HBITMAP bitmap) {
    const std::vector<uint8_t> dib = platform::PackBitmap(bitmap);
    if (dib.empty()) return {};
    // A packed DIB is a BMP file without its 14-byte file header.
    QByteArray file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    const uint32_t size = static_cast<uint32_t>(dib.size() + 14);
    std::memcpy(file.data() + 2, &size, 4);
    uint32_t headerSize = 0;
    if (dib.size() >= 4) std::memcpy(&headerSize, dib.data(), 4);
    uint32_t colours = 0, bitCount = 0;
    if (dib.size() >= 36) {
        bitCount = static_cast<uint32_t>(dib[14] | dib[15] << 8);
        std::memcpy(&colours, dib.data() + 32, 4);
    }
    if (colours == 0 && bitCount <= 8) colours = 1u << bitCount;
    uint32_t compression = 0;
    if (dib.size() >= 20) std::memcpy(&compression, dib.data() + 16, 4);
    const uint32_t masks = compression == 3 && headerSize == 40 ? 12 : 0;
    const uint32_t offset = 14 + headerSize + masks + colours * 4;
    std::memcpy(file.data() + 10, &offset, 4);
    file.append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
    return QImage::fromData(file, "BMP");
}
