#pragma once
// Start-up and teardown of the workbench, as every host calls them: the
// Qt window when it is created and destroyed, the console front end around
// its batch run, the tests around their stories. The message loop belongs to
// each host.

#include "shell/app_state.h"

namespace platform {
class Host;
}

namespace shell {

// The initialisation of a new window: button bitmaps, window font, the
// Alphabet, the required list, menu checks, selection, length, noise, pulse
// limits, the sequence and trace buffers and a first noise-free series.
// false when the window must not be created (a missing bitmap or font, no
// memory for the sequence or the trace buffer), after a message.
bool onCreate(AppState& state, platform::Host& host);

// Releases every data object once, in a fixed order; objects never made are
// skipped. Safe to call twice.
void onDestroy(AppState& state);

}  // namespace shell
