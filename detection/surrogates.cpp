#include "detection/surrogates.h"

#include <algorithm>
#include <cmath>

namespace detection {

namespace {

__extension__ typedef unsigned __int128 Wide;

// splitmix64: a well-mixed 64-bit stream from any state.
uint64_t splitMix(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A uniform draw from 0..n-1 without modulo bias (Lemire's method).
uint64_t below(uint64_t& state, uint64_t n)
{
    const uint64_t threshold = (0 - n) % n;
    for (;;) {
        const Wide product = static_cast<Wide>(splitMix(state)) * n;
        if (static_cast<uint64_t>(product) >= threshold)
            return static_cast<uint64_t>(product >> 64);
    }
}

}  // namespace

std::vector<int64_t> pulseResidual(std::span<const int64_t> x, std::span<const int32_t> starts,
                                   std::span<const double> shape)
{
    std::vector<int64_t> r(x.begin(), x.end());
    double norm = 0;
    for (double h : shape)
        norm += h * h;
    if (norm == 0)
        return r;
    const int64_t n = static_cast<int64_t>(r.size());
    const int64_t L = static_cast<int64_t>(shape.size());
    for (const int32_t s : starts) {
        if (s < 0)
            continue;
        double dot = 0;
        for (int64_t i = 0; i < L && s + i < n; ++i)
            dot += static_cast<double>(r[static_cast<size_t>(s + i)]) * shape[static_cast<size_t>(i)];
        const double a = dot / norm;
        for (int64_t i = 0; i < L && s + i < n; ++i)
            r[static_cast<size_t>(s + i)] -= std::llround(a * shape[static_cast<size_t>(i)]);
    }
    return r;
}

int32_t surrogateBlockLength(int64_t n, int32_t L, int32_t Tmin)
{
    const int64_t l = std::max(L, 1);
    const int64_t wanted = std::max(l, std::min<int64_t>(4 * l, Tmin));
    return static_cast<int32_t>(std::max<int64_t>(1, std::min(wanted, n)));
}

std::vector<int64_t> blockSurrogate(std::span<const int64_t> residual, int32_t block, uint64_t seed, uint64_t index)
{
    const size_t n = residual.size();
    std::vector<int64_t> out(n);
    if (n == 0)
        return out;
    uint64_t state = seed;
    state = splitMix(state) ^ (index * 0xD1B54A32D192ED03ull);
    const size_t b = static_cast<size_t>(std::max(block, 1));
    for (size_t filled = 0; filled < n;) {
        size_t from = static_cast<size_t>(below(state, n));
        const size_t take = std::min(b, n - filled);
        for (size_t i = 0; i < take; ++i) {
            out[filled + i] = residual[from];
            from = from + 1 == n ? 0 : from + 1;
        }
        filled += take;
    }
    return out;
}

}  // namespace detection
