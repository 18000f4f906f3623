#pragma once
// The paint handler: at every paint the whole layout is rebuilt from the
// client rectangle and stored in AppState (the mouse handler hit-tests the
// rectangles of the last paint), the working area shows the view the state
// chooses, and the buttons and the two option panels are drawn beside it.

#include "platform/dc.h"
#include "platform/font.h"
#include "platform/geometry.h"
#include "shell/app_state.h"

namespace platform {
class Host;
}

namespace shell {

// What the working area shows.
enum class WorkingView {
    None,              // an unknown state, or a result of a task and series type nothing draws
    Alphabet,          // state 5
    ProcessingResult,  // state 6, tasks 8 and 16, and 32 on series types 1, 2, 4, 8
    SimulationView,    // state 6 with the statistical simulation as result view
    SeriesView,        // state 6, task 64 on series types 1, 2, 4, 8
    SubsetGrid,        // state 9
};
WorkingView chooseWorkingView(const AppState& state);

// The pictures that stand in the button column, as bits.
enum ShownButton : int32_t {
    shownRestart = 1,
    shownNext = 2,
    shownExit = 4,
    shownSelectAll = 8,
    shownUnselectAll = 16,
};
// The buttons a paint of this state puts in the column: Next and Exit in
// states 5, 6 and 9, Restart in state 6 only, and in tasks 32 and 64 the
// toggle with the word the selection asks for.
int32_t buttonsShownBy(const AppState& state);
// Whether the last paint put any of these buttons on the screen; the mouse
// takes a click on a button only where one is drawn.
bool buttonShown(const AppState& state, int32_t buttons);

// After a command: invalidates, with erasing, what the state no longer
// draws as the screen shows it - all of the window when it chooses another
// working view, the button column when other buttons stand in it (a task
// setting moves Restart and the toggle, a selection changes the toggle's
// word). Nothing before the first paint, which draws everything.
void invalidateStaleParts(AppState& state, platform::Host& host);

// Lays out the window for a client rectangle (right and bottom outside) and
// the window font's metrics: lineHeight and the character widths, the
// buttons from the bottom right up, the button region, the view area and the
// alphabet cells, the option panels. The option rectangles inside the panels
// are left to the panel drawing.
void layoutWindow(AppState& state, const platform::Rect& client, const platform::TextMetrics& metrics);

// The paint handler. The hosts call it from their paint with the device of
// the window's picture, already clipped to the invalid area and erased where
// asked; it selects the window font for the paint and puts the previous one
// back at the end.
void paintWindow(AppState& state, platform::Host& host, platform::Dc& dc);

}  // namespace shell
