#pragma once
// The alphabet view (one cell per etalon, the selected ones in bold blue with
// a triple grey frame) and the option panels beside the working area (a
// framed group of round choice marks). The paint handler lays out the grid
// and the panels and hands the values over; nothing here reads the shell.

#include <cstdint>
#include <span>

#include "platform/dc.h"
#include "synthesis/pulse_records.h"
#include "views/drawing_conventions.h"
#include "views/layout_rect.h"

namespace views {

// What the alphabet view draws and where: the cells the paint handler laid
// out, the etalons and their selection.
struct AlphabetViewInput {
    ViewFrame frame;
    int32_t cellWidth = 0;                            // Wf: the cell frame spans cell left .. cell left + Wf
    int32_t cellHeight = 0;                           // Hf
    std::span<const LayoutRect> cells;                // one per etalon
    std::span<const synthesis::PulseHeader> etalons;  // the Alphabet; as many are drawn as there are cells
    std::span<const uint16_t> selected;               // entry i is 1 when etalon i + 1 is selected
    int32_t amplitude = 128;                          // full scale of the cell curves
};

// Frames the working area, then for every etalon writes " pulse %d [%d]"
// (number and energy) and draws its axes, its curve three passes thick and its
// cell frame.
void drawAlphabetView(platform::Dc& dc, const AlphabetViewInput& in);

// The header of an alphabet cell: " pulse %d [%d]" with the etalon's number
// and its energy (sum of squared samples, 32 bits).
std::string alphabetCellTitle(const synthesis::PulseHeader& etalon);

// Frames the panel, writes the caption on its top edge and one round mark with
// " %5d " per option, 1.5 lines apart; the chosen option (from 1) gets an inner
// dot, black when its value is the value in effect and grey otherwise.
// itemRects[i] receives the clickable strip of option i (right and bottom
// included); options without a rectangle to fill are drawn but not recorded.
void drawChoicePanel(platform::Dc& dc, const LayoutRect& frame, std::span<LayoutRect> itemRects, const char* caption,
                     std::span<const int32_t> options, int32_t chosen, int32_t valueInEffect, int32_t lineHeight);

}  // namespace views
