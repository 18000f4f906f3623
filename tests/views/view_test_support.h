#pragma once
// Helpers of the view picture tests: pixels in a region, colours present,
// pulses made from literal samples.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/dc.h"
#include "platform/picture_test_support.h"
#include "synthesis/pulse_records.h"

namespace viewtest {

// Whether `inner` lies wholly in `outer`.
inline bool within(const platform::Rect& inner, const platform::Rect& outer)
{
    return outer.left <= inner.left && inner.right <= outer.right && outer.top <= inner.top &&
           inner.bottom <= outer.bottom;
}

// Whether two rectangles share a pixel.
inline bool overlap(const platform::Rect& a, const platform::Rect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The pixels of px inside l..r-1 x t..b-1.
inline std::set<picture::Pixel> inRect(const std::set<picture::Pixel>& px, int32_t l, int32_t t, int32_t r, int32_t b)
{
    std::set<picture::Pixel> out;
    for (const picture::Pixel& p : px)
        if (p.first >= l && p.first < r && p.second >= t && p.second < b)
            out.insert(p);
    return out;
}

inline bool hasColour(const platform::Bitmap& b, platform::Color c, int32_t l, int32_t t, int32_t r, int32_t bottom)
{
    for (int32_t y = t; y < bottom; ++y)
        for (int32_t x = l; x < r; ++x)
            if (platform::pixelAt(b, x, y) == c)
                return true;
    return false;
}

// The pixels of the text written at (x, y) into a white width x height picture.
inline std::set<picture::Pixel> textPixels(const std::string& text, int32_t x, int32_t y, int32_t width = 840,
                                           int32_t height = 640)
{
    platform::Bitmap b = platform::makeBitmap(width, height);
    platform::Dc dc(b);
    dc.textOut(x, y, text);
    return picture::inked(b);
}

inline synthesis::PulseHeader pulseOf(std::vector<int16_t> samples, int16_t number = 0)
{
    synthesis::PulseHeader p;
    p.wAllocSize = p.wSize = static_cast<uint16_t>(samples.size());
    p.wNumber = number;
    p.lpData = std::move(samples);
    return p;
}

}  // namespace viewtest
