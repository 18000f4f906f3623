#pragma once
// The stages of the processing pipeline, each naming the next for the
// dispatcher to run: new sequence (205), series parameters (208), synthesis
// (216), noise (209), processing (219), refresh (218); and the invalidation
// helpers the commands share.

#include <cstdint>

#include "shell/app_state.h"

namespace platform {
class Host;
}

namespace shell {

// Each stage but the last returns the internal command of the stage that
// follows it, or kPipelineEnds where the pipeline stops (a refusal, a failed
// synthesis); the dispatcher runs that command at once, inside the command
// that ran the stage.
constexpr int kPipelineEnds = 0;

// Draws the etalon sequence of the next series: for the multi-etalon tasks
// each pulse's etalon from the required list by the library generator, else
// the current etalon throughout. Refused, with the box the Next button shows,
// when a multi-etalon task has no etalon selected.
int newSequence(AppState& state, platform::Host& host);
// Takes the asked length, pulse count (clamped to the limits the length
// gives) and noise level for the series; a one-etalon task repeats its
// first etalon through the sequence. Never refuses.
int seriesParameters(AppState& state, platform::Host& host);
// Synthesizes the series (synthesizeSeries) and ends a transient series type
// (16, 32) in its whole one (1, 4). Ends the pipeline when the trace buffer
// or the series record cannot be had (with a box) or the synthesis refused
// (it said why).
int synthesize(AppState& state, platform::Host& host);
// Adds the noise of the series' level from the state's noise stream.
int addNoiseStage(AppState& state, platform::Host& host);
// Gets a fresh protocol and runs the task on the series: the fixed-case
// estimation (task 8), the sequential method (16), blind detection (32: the
// true positions and the programme for a known count, the unfixed-case
// detection for an unknown one) or the chains without threshold (64). The
// result view shows the whole series again. Ends the pipeline when the
// protocol cannot be had ("Нет памяти для lpStepwiseProtocol!").
int process(AppState& state, platform::Host& host);
// The end of the pipeline: repaints the working view (erasing unless the
// detail flag is set), the option panels and the buttons the command marked,
// and clears those marks and the detail flag.
void refresh(AppState& state, platform::Host& host);

// Invalidates a layout rectangle (right and bottom included) widened by the
// given pixels on each side.
void invalidate(platform::Host& host, const views::LayoutRect& rect, bool erase, int left = 0, int top = 0,
                int right = 0, int bottom = 0);
// The working area raised by 10 pixels: enough for the same view drawn
// again with other plot samples.
void invalidateViewArea(AppState& state, platform::Host& host, bool erase = true);
// What a new working view, or the same one with new data, repaints: all
// that a view may draw reaches beyond the view area, so the whole window.
void invalidateViewChange(AppState& state, platform::Host& host, bool erase = true);

// Synthesizes the next series by seriesType into lpSeriesHeader: a fixed
// count for types 1, 2, 16 and 32, a random count for 4 and 8 (which then
// becomes seriesPulseCount). True when a new series was made.
bool synthesizeSeries(AppState& state, platform::Host& host);

}  // namespace shell
