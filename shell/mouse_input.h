#pragma once
// The window has no controls of its own: a left-button press is hit-tested
// against the rectangles of the last paint (alphabet cells, the buttons, the
// option entries), in an order fixed per view state, and the first hit
// changes the state and sends one internal command, which does the work and
// the repainting. The keyboard has no real function.

#include <cstdint>

#include "shell/app_state.h"

namespace platform {
class Host;
}

namespace shell {

// A left-button press at client point (x, y). Double clicks act as single
// clicks; the key flags are not used. A press outside every drawn element
// changes nothing.
void onLeftButton(AppState& state, platform::Host& host, bool doubleClick, int16_t x, int16_t y, uint32_t keyFlags);

// Key codes 0 and 1 (which no key produces) repaint the whole window; every
// other key does nothing.
void onKeyDown(AppState& state, platform::Host& host, int32_t key);

// What Next in the result view does: stay in the result view, keep the option
// panels as they are, and make and process the next series.
void nextSeriesInResultView(AppState& state, platform::Host& host);

}  // namespace shell
