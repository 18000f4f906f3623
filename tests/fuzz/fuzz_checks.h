#pragma once
// What every fuzz target checks beyond the sanitizers: a read either fails
// with a message or gives a series that keeps the promises of SeriesData.

#include <cmath>
#include <cstdlib>

#include "files/series_readers.h"

namespace fuzz {

[[noreturn]] inline void broken() { std::abort(); }

inline void checkSeries(const files::SeriesReadResult& r)
{
    if (!r.ok) {
        if (r.error.empty())
            broken();
        return;
    }
    const files::SeriesData& d = r.data;
    if (d.values.empty())
        broken();
    bool anySample = false;
    for (double v : d.values) {
        if (std::isinf(v))
            broken();
        if (std::isnan(v))
            continue;
        anySample = true;
        // Integral series hold integers that a double keeps exactly.
        if (d.integral && (v != std::trunc(v) || std::fabs(v) > 9007199254740992.0))
            broken();
    }
    if (!anySample)
        broken();
    if (!d.times.empty()) {
        if (d.times.size() != d.values.size())
            broken();
        // On a grid: every step within 0.3 of the cadence, so no two steps
        // further apart than 1.3 / 0.7.
        double shortest = INFINITY, longest = 0;
        for (size_t i = 0; i < d.times.size(); ++i) {
            if (!std::isfinite(d.times[i]) || (i > 0 && !(d.times[i] > d.times[i - 1])))
                broken();
            if (i > 0) {
                shortest = std::fmin(shortest, d.times[i] - d.times[i - 1]);
                longest = std::fmax(longest, d.times[i] - d.times[i - 1]);
            }
        }
        if (longest > shortest * (1.3 / 0.7) * (1 + 1e-9))
            broken();
    }
}

}  // namespace fuzz
