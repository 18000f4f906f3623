#include "picture_test_support.h"

#include <algorithm>

namespace picture {

std::set<Pixel> inked(const platform::Bitmap& b, platform::Color background)
{
    std::set<Pixel> out;
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x)
            if (platform::pixelAt(b, x, y) != background)
                out.insert({x, y});
    return out;
}

platform::Rect boundsOf(const std::set<Pixel>& pixels)
{
    if (pixels.empty())
        return {};
    platform::Rect r{pixels.begin()->first, pixels.begin()->second, pixels.begin()->first + 1,
                     pixels.begin()->second + 1};
    for (const auto& [x, y] : pixels) {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
    }
    return r;
}

int32_t Sweep::next(int32_t lo, int32_t hi)
{
    state = state * 1103515245u + 12345u;
    const uint32_t span = static_cast<uint32_t>(hi - lo) + 1u;
    return lo + static_cast<int32_t>((state >> 8) % span);
}

}  // namespace picture
