#include "platform/bitmap.h"

#include <cstddef>

namespace platform {

Bitmap makeBitmap(int32_t width, int32_t height, Color fill)
{
    Bitmap b;
    if (width <= 0 || height <= 0)
        return b;
    b.width = width;
    b.height = height;
    b.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), pixelFromColor(fill));
    return b;
}

Color pixelAt(const Bitmap& bitmap, int32_t x, int32_t y)
{
    if (x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height)
        return CLR_INVALID;
    return colorFromPixel(
        bitmap.pixels[static_cast<size_t>(y) * static_cast<size_t>(bitmap.width) + static_cast<size_t>(x)]);
}

}  // namespace platform
