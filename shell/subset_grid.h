#pragma once
// The etalon subset grid of view state 9: the required etalons as small
// cells, below them a row of cells for the chosen subset, and four drawn
// buttons. Clicking a required etalon appends it, clicking a subset entry
// marks it; " OK " imposes the subset on the etalon sequence of the next
// series. The grid also prints its own layout figures. The clicks are read
// with the window's others in shell/mouse_input.cpp.

#include <cstdint>
#include <span>

#include "platform/dc.h"
#include "shell/app_state.h"
#include "base/message_sink.h"

namespace shell {

// The button captions, left to right (button 0 to 3).
inline constexpr const char* kSubsetButtonCaptions[] = {" Delete All ", " Delete ", " Cancel ", " OK ", ""};

// Where the grid stands in a view area (integer division truncating).
struct SubsetGridLayout {
    int32_t w = 0, h = 0;            // the view area's size
    int32_t h_span = 0, v_span = 0;  // gaps: w/170 and h/131
    int32_t innerLeft = 0, innerRight = 0, innerWidth = 0, innerTop = 0;
    int32_t e = 0;  // band height (h - 3 v_span)/4
    views::LayoutRect requiredBox;
    int32_t rows = 0;  // rows of 10 required cells
    int32_t single_w = 0, single_h = 0;
    views::LayoutRect subsetArea;
};
SubsetGridLayout subsetGridLayout(const views::LayoutRect& viewArea, int32_t lineHeight, uint16_t listSize);

// Required cell i (row i/10, column i%10) and subset cell j.
views::LayoutRect subsetRequiredCell(const SubsetGridLayout& l, int32_t i);
views::LayoutRect subsetCell(const SubsetGridLayout& l, int32_t j);

// Makes the subset arrays for a series of wMaxPulses pulses when they are
// smaller (emptying the subset), and the button rectangles when missing.
// False after "Нет памяти для possibleSubsetRect!", "Нет памяти для
// selectedSubset!" or "Нет памяти для ButtonsWhileSelectedSubsetRect!" (no
// caption), with the subset arrays released.
bool ensureSubsetArrays(AppState& state, base::MessageSink& sink, uint16_t maxPulses);

// Paints the grid for the current series (nothing without one) and stores
// its rectangles for the clicks.
void drawSubsetGrid(AppState& state, base::MessageSink& sink, platform::Dc& dc);

// One raised button: the rectangle (right and bottom included) in the
// current brush, grey bevels, a white highlight and the caption centred.
void drawSubsetButton(platform::Dc& dc, const views::LayoutRect& rect, const char* caption, int32_t lineHeight);

// The subset's edits, as the grid's clicks make them (shell/mouse_input.cpp
// hit-tests the grid). They change the subset only; the caller repaints.
// Empties the subset.
void clearSubset(AppState& state);
// Appends etalon `number`, unmarked; nothing at the capacity.
void appendToSubset(AppState& state, int32_t number);
// Marks entry j (below subsetCount) and unmarks every other.
void markSubsetEntry(AppState& state, int32_t j);
// Removes the first marked entry, the later ones moving up; nothing when
// none is marked.
void deleteMarkedSubsetEntry(AppState& state);
// " OK ": imposes the subset on the etalon sequence of the series, repeated
// back to back from the first pulse.
void placeSubsetInSeries(AppState& state);

// Releases the subset cells, the subset (count 0) and the button rectangles.
void freeSubsetArrays(AppState& state);

}  // namespace shell
