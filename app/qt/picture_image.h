#pragma once
// A part of one of our pictures as a Qt image, for a widget to paint.

#include <QImage>
#include <QRect>

#include "platform/bitmap.h"

namespace qt_window {

// The pixels of `part` (inside the picture) as an RGB32 image: the
// picture's words are 0x00RRGGBB, Qt's RGB32 wants 0xFF on top.
inline QImage pictureImage(const platform::Bitmap& picture, const QRect& part)
{
    QImage image(part.size(), QImage::Format_RGB32);
    for (int y = 0; y < part.height(); ++y) {
        const uint32_t* from =
            picture.pixels.data() + static_cast<size_t>(part.top() + y) * picture.width + part.left();
        auto* to = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < part.width(); ++x)
            to[x] = from[x] | 0xFF000000u;
    }
    return image;
}

}  // namespace qt_window
