#pragma once
// Series synthesis: pulses of the Alphabet placed one after another on a zero
// background, start distances between wTmin and wTmax, whole or cut off to a
// saved share of their energy; then Gaussian noise on a copy.
//
// Every operation that synthesizes first checks the parameters the formulas
// need (intervals of at least 1, wTmin <= wTmax, 1 <= L <= wTmax, L <= N <=
// 32767) and refuses anything else with a message, leaving the header as it
// was.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/message_sink.h"
#include "synthesis/pulse_records.h"
#include "synthesis/random_streams.h"

namespace synthesis {

// Positions are 16-bit, so no series is longer than this.
constexpr uint32_t kMaxSeriesLength = 32767;

// Pulse-count bounds of a series length (unsigned 32-bit division).
// seriesMaxPulses: (N + Tmin - L) / Tmin. seriesMinPulses: (N + L - 1) / Tmax,
// as computed, without raising a 0 to 1.
uint16_t seriesMaxPulses(uint32_t N, uint16_t L, uint16_t Tmin);
uint16_t seriesMinPulses(uint32_t N, uint16_t L, uint16_t Tmax);

// The reason the formulas cannot take these parameters, or "" when they can.
std::string seriesParameterProblem(uint16_t L, uint16_t Tmin, uint16_t Tmax, uint32_t N);

// Static admissible start range of pulse k of K (signed 32-bit arithmetic).
int32_t pulseLowBound(int32_t k, int32_t K, int32_t N, int32_t L, int32_t Tmin, int32_t Tmax);
int32_t pulseHighBound(int32_t k, int32_t K, int32_t N, int32_t L, int32_t Tmin, int32_t Tmax);

// Makes or re-uses a header able to hold a series of N samples and as many
// pulses as N admits. Returns the header to keep; an empty pointer after an
// allocation failure (the header passed in is then released). Parameters the
// formulas cannot take are refused and the header comes back untouched.
SeriesHeaderPtr getCutOffSeriesHeader(base::MessageSink& sink, uint16_t listSize, uint16_t L, uint16_t Tmin,
                                      uint16_t Tmax, uint32_t N, SeriesHeaderPtr header);

// Synthesizes a series of K pulses into the (re-used) header. The etalon
// list holds at least K etalon numbers; a fixed sub-sequence of the header may
// overwrite some of them, and that change stays in the list. Returns the
// header even when the synthesis refused its parameters (the header then
// holds no valid synthesis, see `made`); empty only when no header could be
// had.
SeriesHeaderPtr getCutOffSeries(base::MessageSink& sink, std::span<const PulseHeader> alphabet, uint16_t L,
                                uint16_t Tmin, uint16_t Tmax, uint32_t N, uint16_t K, std::span<uint16_t> etalonList,
                                int16_t amplitude, uint16_t savedEnergy, SeriesHeaderPtr header, RandomStreams& streams,
                                bool* made = nullptr);

// As getCutOffSeries with a pulse count drawn from the count stream within
// the bounds of N; empty, without a message, when N admits no count.
SeriesHeaderPtr getRandomCountSeries(base::MessageSink& sink, std::span<const PulseHeader> alphabet, uint16_t L,
                                     uint16_t Tmin, uint16_t Tmax, uint32_t N, std::span<uint16_t> etalonList,
                                     int16_t amplitude, uint16_t savedEnergy, SeriesHeaderPtr header,
                                     RandomStreams& streams, bool* made = nullptr);

// Fills the header (prepared by getCutOffSeriesHeader for N) with a new
// series. Non-zero on success; 0 when the parameters were refused (header
// unchanged) or memory ran out.
int makeExtSeries(base::MessageSink& sink, std::span<const PulseHeader> alphabet, uint16_t L, uint16_t Tmin,
                  uint16_t Tmax, uint32_t N, uint16_t K, std::span<uint16_t> etalonList, int16_t amplitude,
                  uint16_t savedEnergy, SeriesHeader& header, RandomStreams& streams);

// observed[i] <- pure[i] + gaussRandom(noise stream, 0, level), wrapping at
// 16 bits; then wNoiseLevel <- level. A missing header is left alone.
void addNoise(int16_t noiseLevel, int16_t amplitude, SeriesHeader* header, int32_t& noiseSeed);

// Stores an etalon sub-sequence to impose on the next series (mode 1 to 4,
// start from 1). Only as many entries as the series admits pulses are kept.
int setFixedSequence(std::span<const int32_t> list, uint16_t count, uint16_t mode, uint16_t start,
                     SeriesHeader* header);

// The required list 1 .. n; empty after an allocation failure (reported).
std::vector<uint16_t> getRequiredList(base::MessageSink& sink, uint16_t n);

}  // namespace synthesis
