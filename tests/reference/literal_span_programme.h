#pragma once
// The energy programme over plain spans as first written, for series of any
// length: one table row per pulse over the pulse's admissible starts, every
// predecessor scanned, 64-bit scores, an empty cell the lowest value. The
// reference of the shared, block-maxima programme on user data; built only
// into the tests and the benchmarks.

#include <cstdint>
#include <span>
#include <vector>

#include "detection/energy_programme.h"

namespace literal {

// The starts of the best chain of m pulses (-1 where none); ties go to the
// lowest last start, then walking back to the lowest start of each pulse.
std::vector<int32_t> programmeStarts(std::span<const int64_t> scores, const detection::PulseLayout& layout, int32_t m);

}  // namespace literal
