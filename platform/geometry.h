#pragma once
// Colours and rectangles as the drawing layer and the hosts exchange them.

#include <cstdint>

namespace platform {

// A colour as the views name it: red + 256·green + 65536·blue (the classic
// COLORREF layout), so rgb(163, 163, 163) reads exactly like the drawing rules.
using Color = uint32_t;

// What getPixel answers for a point outside the picture or the clip region.
inline constexpr Color CLR_INVALID = 0xFFFFFFFFu;

// A colour from its parts, and its parts.
constexpr Color rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
constexpr uint8_t redOf(Color c) { return static_cast<uint8_t>(c & 0xFFu); }
constexpr uint8_t greenOf(Color c) { return static_cast<uint8_t>((c >> 8) & 0xFFu); }
constexpr uint8_t blueOf(Color c) { return static_cast<uint8_t>((c >> 16) & 0xFFu); }

// The two colours every picture uses.
inline constexpr Color kBlack = rgb(0, 0, 0);
inline constexpr Color kWhite = rgb(255, 255, 255);

// A point in client pixels.
struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A width (cx) and height (cy) in pixels.
struct Size {
    int32_t cx = 0;
    int32_t cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Left and top belong to the rectangle, right and bottom do not (the window
// system's convention for client, invalid and clip rectangles). The layout
// rectangles the shell keeps with inclusive right and bottom are widened by
// one before they are handed here.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Whether the rectangle holds no pixel; whether it holds (x, y); whether it
// holds all of `inner`.
constexpr bool isEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }
constexpr bool contains(const Rect& r, int32_t x, int32_t y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}
constexpr bool containsRect(const Rect& outer, const Rect& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}
// An empty result has right <= left or bottom <= top.
constexpr Rect intersect(const Rect& a, const Rect& b)
{
    return {a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
            a.bottom < b.bottom ? a.bottom : b.bottom};
}

}  // namespace platform
