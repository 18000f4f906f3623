#pragma once
// Helpers of the picture tests: which pixels of a picture differ from white.

#include <cstdint>
#include <set>
#include <utility>

#include "platform/bitmap.h"

namespace picture {

using Pixel = std::pair<int32_t, int32_t>;  // x, y

// Every pixel whose colour is not the background.
std::set<Pixel> inked(const platform::Bitmap& b, platform::Color background = platform::kWhite);

// The smallest rectangle (right and bottom excluded) around the given pixels.
platform::Rect boundsOf(const std::set<Pixel>& pixels);

// A fixed-seed generator for parameter sweeps, so every run checks the same cases.
struct Sweep {
    uint32_t state = 12345;
    int32_t next(int32_t lo, int32_t hi);  // lo .. hi inclusive
};

}  // namespace picture
