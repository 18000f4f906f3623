#pragma once
// A picture in memory: the window's persistent picture, a button bitmap, a
// snapshot copy. Pixels are 32-bit words 0x00RRGGBB, top row first, which is
// also the byte order B, G, R, 0 of a 32-bit device-independent bitmap row.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/geometry.h"

namespace platform {

// A width × height picture; an empty one has no pixels.
struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;  // width·height words, row y at y·width
};

// A width × height picture filled with one colour; negative sizes give an
// empty picture.
Bitmap makeBitmap(int32_t width, int32_t height, Color fill = kWhite);

// The pixel word of a colour, and the colour of a pixel word.
constexpr uint32_t pixelFromColor(Color c)
{
    return (static_cast<uint32_t>(redOf(c)) << 16) | (static_cast<uint32_t>(greenOf(c)) << 8) | blueOf(c);
}
constexpr Color colorFromPixel(uint32_t p)
{
    return rgb(static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p));
}

// The colour at (x, y), or CLR_INVALID outside the picture.
Color pixelAt(const Bitmap& bitmap, int32_t x, int32_t y);

}  // namespace platform
