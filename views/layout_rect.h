#pragma once
// Rectangles of the window layout as the paint handler stores them and the
// mouse handler hit-tests them: client pixels, right and bottom included.

#include <cstdint>

#include "platform/geometry.h"

namespace views {

// One rectangle of the layout, its four edges included.
struct LayoutRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

// A point hits a rectangle when left <= x <= right and top <= y <= bottom.
constexpr bool hits(const LayoutRect& r, int32_t x, int32_t y)
{
    return r.left <= x && x <= r.right && r.top <= y && y <= r.bottom;
}

// The same pixels as a device rectangle, whose right and bottom are outside.
constexpr platform::Rect toDeviceRect(const LayoutRect& r) { return {r.left, r.top, r.right + 1, r.bottom + 1}; }

}  // namespace views
