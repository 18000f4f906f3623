#pragma once
// Series that keep the noise of a series but not its pulse train, for the
// null a detection is measured against: the series is cut into blocks that
// are drawn again at random and laid end to end (a circular block
// bootstrap). A block keeps the noise's correlation over its length; no
// block is longer than the least gap between pulses, so drawing the blocks
// anew scatters the pulses and no train of regular gaps survives. Phase
// randomisation is not used: it keeps the amplitude of every Fourier
// component, and a train of evenly spaced pulses lives in those amplitudes
// (its harmonics), so it would come back.
//
// Two nulls are made this way. The count of the matched filter is judged
// against noise alone: there the found pulses are first taken out
// (pulseResidual). The significance of a detection draws the blocks from
// the series itself: taking the found pulses out would also take out the
// noise the detection picked (it chose those windows for their height), so
// the surrogates would be quieter than the data just where it matters and
// pure noise would look significant.

#include <cstdint>
#include <span>
#include <vector>

namespace detection {

// The residual of x after the pulses at `starts` are taken out: at each
// start the least-squares multiple a = sum x[s+i] h[i] / sum h[i]^2 of the
// shape h (of the series as it stands, pulse by pulse in order) is
// subtracted and rounded to whole units. A flat shape takes nothing out.
// Throws std::bad_alloc.
std::vector<int64_t> pulseResidual(std::span<const int64_t> x, std::span<const int32_t> starts,
                                   std::span<const double> shape);

// The block length of the surrogates of a series of n samples with pulses
// of L samples at least Tmin apart: 4 L, but no more than Tmin (so that a
// block holds no two starts of the train), at least L, at most n. Four pulse
// lengths keep the correlation the window scores have over one pulse
// length, with room.
int32_t surrogateBlockLength(int64_t n, int32_t L, int32_t Tmin);

// Surrogate number `index` of the series `residual` for `seed`: n samples
// made of blocks of `block` samples (the last cut short), each starting at a
// uniformly drawn sample of the residual and wrapping round its end. Every
// (seed, index) has a stream of its own, so any surrogate can be made on
// any thread in any order and comes out the same. Throws std::bad_alloc.
std::vector<int64_t> blockSurrogate(std::span<const int64_t> residual, int32_t block, uint64_t seed, uint64_t index);

}  // namespace detection
