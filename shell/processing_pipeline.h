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

int newSequence(AppState& state, platform::Host& host);
int seriesParameters(AppState& state, platform::Host& host);
int synthesize(AppState& state, platform::Host& host);
int addNoiseStage(AppState& state, platform::Host& host);
int process(AppState& state, platform::Host& host);
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
