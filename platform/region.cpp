#include "platform/region.h"

#include <algorithm>

namespace platform {

void addRect(Region& region, const Rect& rect)
{
    if (isEmpty(rect))
        return;
    for (const Rect& r : region.rects)
        if (containsRect(r, rect))
            return;
    // Repeated invalidations of overlapping areas between two paints would
    // otherwise grow the list without bound.
    std::erase_if(region.rects, [&](const Rect& r) { return containsRect(rect, r); });
    region.rects.push_back(rect);
}

bool isEmpty(const Region& region) { return region.rects.empty(); }

bool contains(const Region& region, int32_t x, int32_t y)
{
    return std::any_of(region.rects.begin(), region.rects.end(), [&](const Rect& r) { return contains(r, x, y); });
}

Rect bounds(const Region& region)
{
    if (region.rects.empty())
        return {};
    Rect b = region.rects.front();
    for (const Rect& r : region.rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

Region clipped(const Region& region, const Rect& to)
{
    Region out;
    for (const Rect& r : region.rects)
        addRect(out, intersect(r, to));
    return out;
}

}  // namespace platform
