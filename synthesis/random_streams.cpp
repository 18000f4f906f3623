#include "synthesis/random_streams.h"

#include "base/wrapping.h"

namespace synthesis {

int32_t nextRandom(int32_t& seed)
{
    const uint32_t next = (static_cast<uint32_t>(seed) * 12869u + 6925u) & 0x7FFFu;
    seed = static_cast<int32_t>(next);
    return seed;
}

int32_t jumpRandom(int32_t seed, uint64_t draws)
{
    // x -> a x + c, and the map of 2^k steps, squared at every bit of draws.
    uint32_t a = 12869u, c = 6925u;
    uint32_t x = static_cast<uint32_t>(seed);
    bool first = true;
    for (; draws; draws >>= 1) {
        if (draws & 1u) {
            x = (a * x + c) & 0x7FFFu;
            first = false;
        }
        c = (a * c + c) & 0x7FFFu;
        a = (a * a) & 0x7FFFu;
    }
    // Even no draw at all leaves what nextRandom leaves: a value below 2^15
    // only after the first step; with none the seed is as it was.
    return first ? seed : static_cast<int32_t>(x);
}

int32_t gaussRandom(int32_t& seed, int16_t mean, int16_t deviation)
{
    int32_t sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += nextRandom(seed);
    return mean + (base::wrapMul(sum - 196608, deviation) >> 15);
}

}  // namespace synthesis
