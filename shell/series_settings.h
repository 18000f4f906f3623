#pragma once
// The series settings the commands, the pipeline and the dialogs share: the
// pulse-count limits of a length, a new requested length, the required list
// of the selected etalons, the etalon sequence's room and the library random
// draw the multi-etalon sequences take.

#include <cstddef>
#include <cstdint>

#include "shell/app_state.h"

namespace platform {
class Host;
}

namespace shell {

// Pulse-count limits of a series length with the state's etalon length and
// intervals (unsigned arithmetic): (length + E - 1) / Tmax, not raised to 1,
// and (length - E + Tmin) / Tmin. A zero interval gives 0 instead of a
// division by zero.
uint16_t minPulsesFor(const AppState& state, uint32_t length);
uint16_t maxPulsesFor(const AppState& state, uint32_t length);

// A new requested length, as a click on a length option gives it: the pulse
// limits of that length (the least not raised to 1) and their mean as the
// requested count.
void requestSeriesLength(AppState& state, uint32_t length);

// Marks the option of the length panel that offers `length`, so that the
// panel shows the length in effect; a length the panel does not offer
// leaves the mark where it was (drawn as not in effect).
void chooseLengthOption(AppState& state, uint32_t length);

// The C library's rand() as the sequences of the multi-etalon tasks use it:
// state * 214013 + 2531011, bits 16 to 30 of the state.
int32_t libraryRand(uint32_t& state);

// Next and "Processing Next Data" with no etalon selected have nothing to
// make a series from; they are refused with this box, so that the user
// learns why nothing happened.
void tellNoEtalonSelected(platform::Host& host);

// Rebuilds requiredList (increasing numbers) and active_etalons from the
// selection flags.
void rebuildRequiredList(AppState& state);

// Grows the etalon sequence to at least n entries, new entries set to
// currentEtalon, so that no stage writes past it.
void ensureSequenceCapacity(AppState& state, size_t n);

}  // namespace shell
