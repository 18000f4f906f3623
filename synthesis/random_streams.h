#pragma once
// The system's random generator: a 15-bit linear congruential generator with
// one seed word per purpose. Every stream starts from a fixed value and is
// never reseeded, so a run with the same commands gives the same series.

#include <cstdint>

namespace synthesis {

// The seed words of the streams, one per purpose, at their start values.
struct RandomStreams {
    int32_t etalonSeed = 123;            // samples of the noise etalons
    int32_t positionSeed = 12345;        // first pulse index and pulse positions
    int32_t cutStartSeed = 7737;         // first etalon sample of a cut-off pulse
    int32_t cutEndSeed = 3373;           // last etalon sample of a cut-off pulse
    int32_t countSeed = 13579;           // pulse count of an unfixed series
    int32_t firstFixedGapSeed = 11357;   // placing a fixed sub-sequence once at random
    int32_t secondFixedGapSeed = 11357;  // placing a fixed sub-sequence with random gaps
    int32_t noiseSeed = 10597;           // noise of the observed series
};

// seed <- (seed * 12869 + 6925) mod 32768; returns the new seed, 0..32767.
int32_t nextRandom(int32_t& seed);

// The seed `draws` calls of nextRandom would leave, computed directly: the
// generator is affine modulo 2^15, so n steps compose into one affine map,
// found by repeated squaring in O(log n).
int32_t jumpRandom(int32_t seed, uint64_t draws);

// mean + ((S - 196608) * deviation) >> 15, S the sum of twelve nextRandom
// values. The product wraps at 32 bits (usable deviations stay below about
// 10900); the shift is a floor division.
int32_t gaussRandom(int32_t& seed, int16_t mean, int16_t deviation);

}  // namespace synthesis
