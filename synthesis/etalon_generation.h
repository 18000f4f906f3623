#pragma once
// The Alphabet: 20 pulse templates (etalons) made once at start. The first
// ten are analytic shapes, each followed by its negation; the rest are
// clamped Gaussian noise from the etalon stream.

#include <cstdint>
#include <span>

#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace synthesis {

// Fills the first `count` entries of `alphabet` with etalons of `length`
// samples. Returns 1, or 0 when memory ran out (the entries from the failing
// one on, and those before it, are then left without samples). A count
// above the array's size is refused with a message and returns 0.
int makeAlphabet(base::MessageSink& sink, int16_t amplitude, uint16_t count, uint16_t length,
                 std::span<PulseHeader> alphabet, int32_t& etalonSeed);

// The etalon's energy as the workbench shows it: the squares of its first
// wSize samples (no more than it holds) summed in wrapping 32-bit arithmetic.
int32_t etalonEnergy(const PulseHeader& etalon);

// A sine of `periods` periods under an envelope that rises as 1 - exp(-8j/c)
// over the first c samples and decays as exp(-4(j - c)/(n - c)) after them.
void makeEnvelopedSine(PulseHeader& pulse, int amplitude, int rise, int periods);
// The same envelope without a carrier.
void makeEnvelopePulse(PulseHeader& pulse, int amplitude, int rise);
// target[j] = -source[j] over the target's length.
void makeInvertedPulse(PulseHeader& target, const PulseHeader& source);

}  // namespace synthesis
