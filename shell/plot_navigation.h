#pragma once
// Reading and zooming the series plots of the result views. Moving the mouse
// over a plot puts the sample under it, its pure and observed values and the
// found pulse it belongs to in the status bar. The wheel over a plot zooms
// the three plots in or out around the sample under the mouse, + and - zoom
// around the middle, a left-button drag across a plot shows the samples it
// covered and Home the whole series again. Every change repaints the view.
//
// The geometry is that of the last paint (AppState::resultPlots). A press
// outside the plots is a click, handed to onLeftButton at once; a press
// inside one waits for its release, and becomes that click unless it was
// dragged sideways.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/geometry.h"
#include "shell/app_state.h"
#include "views/plot_readout.h"

namespace platform {
class Host;
}

namespace shell {

// Fewer samples are never shown (a shorter series is shown whole).
inline constexpr int32_t kLeastShownSamples = 8;
// A press must move this many pixels sideways before it drags.
inline constexpr int32_t kDragThreshold = 5;

// Virtual-key codes the plots answer: Home, + and - of the main keys and of
// the keypad.
inline constexpr int32_t kKeyHome = 0x24;
inline constexpr int32_t kKeyAdd = 0x6B;
inline constexpr int32_t kKeySubtract = 0x6D;
inline constexpr int32_t kKeyOemPlus = 0xBB;
inline constexpr int32_t kKeyOemMinus = 0xBD;

// --- The arithmetic of the zoom

// The range shown after `notches` steps of the wheel at `sample` (positive
// in, negative out), each halving or doubling the number of samples shown,
// never below kLeastShownSamples nor beyond the series; the sample keeps its
// place across the plot as nearly as whole samples allow. The whole series
// comes back as {0, N}.
views::SampleRange zoomAround(views::SampleRange shown, int32_t N, int32_t sample, int32_t notches);

// Samples a .. b (either order, both shown), widened about their middle to
// kLeastShownSamples and held inside the series.
views::SampleRange samplesBetween(int32_t a, int32_t b, int32_t N);

// The status line of a readout: the plot, the sample and its values, the
// found pulse when there is one and, while part of the series is shown,
// which part.
std::string readoutText(const views::PlotReadout& readout, const views::ShownPlots& plots);

// --- Input

// A left-button press at client (x, y): in a plot of the result view it is
// held until its release; anywhere else it goes to onLeftButton at once.
void onLeftPress(AppState& state, platform::Host& host, int16_t x, int16_t y, uint32_t keyFlags);
// The release of the left button: ends a drag by showing the samples it
// covered, or hands a press that did not drag to onLeftButton.
void onLeftRelease(AppState& state, platform::Host& host, int16_t x, int16_t y);
// The mouse moved to (x, y): a held press follows it, otherwise the status
// bar reads what lies under it.
void onMouseMove(AppState& state, platform::Host& host, int16_t x, int16_t y);
// The mouse left the window: the status bar is cleared.
void onMouseLeave(AppState& state, platform::Host& host);
// The wheel turned by `notches` (positive away from the user: zoom in) at
// (x, y). Only over a plot of the result view.
void onMouseWheel(AppState& state, platform::Host& host, int16_t x, int16_t y, int32_t notches);
// Home, + and - while a result view shows its plots; true when the key was
// taken, false leaves it to onKeyDown.
bool onPlotKey(AppState& state, platform::Host& host, int32_t key);

// Shows the samples of `range` in the plots (empty: the whole series) and
// repaints the view when that changes what they show.
void showSamples(AppState& state, platform::Host& host, views::SampleRange range);

// The band a drag has covered so far, across its plot (right and bottom
// outside), for the window to shade while the button is held.
std::optional<platform::Rect> dragBand(const AppState& state);

}  // namespace shell
