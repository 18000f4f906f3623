#pragma once
// A region as a union of rectangles: the invalid area of the window between
// two paints, and the clip region of a paint.

#include <vector>

#include "platform/geometry.h"

namespace platform {

// A region; no rectangle means an empty region.
struct Region {
    std::vector<Rect> rects;  // non-empty, none inside another; they may overlap
};

// Adds a rectangle; empty ones are ignored, rectangles it covers are dropped.
void addRect(Region& region, const Rect& rect);
// Whether the region holds no pixel; whether one of its rectangles holds (x, y).
bool isEmpty(const Region& region);
bool contains(const Region& region, int32_t x, int32_t y);
// The smallest rectangle holding the region; empty for an empty region.
Rect bounds(const Region& region);
// Every rectangle cut to the given one (empty pieces dropped).
Region clipped(const Region& region, const Rect& to);

}  // namespace platform
