#include "synthesis/random_streams.h"

int32_t nextRandom(int32_t& seed)
{
    const uint32_t next = (static_cast<uint32_t>(seed) * 12869u + 6925u) & 0x7FFFu;
    seed = static_cast<int32_t>(next);
    return seed;
}

int32_t gaussRandom(int32_t& seed, int16_t mean, int16_t deviation)
{
    int32_t sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += nextRandom(seed);
    const uint32_t product = static_cast<uint32_t>(sum - 196608) * static_cast<uint32_t>(static_cast<int32_t>(deviation));
    return mean + (static_cast<int32_t>(product) >> 15);
}
