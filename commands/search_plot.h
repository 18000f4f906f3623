#pragma once
// The picture of a search run: the spectrum (the statistic of every grid
// point against the period, or against the grid index when the layouts
// were given, one curve per pulse length, the best point ringed) above the
// best point's detection drawn as detect --plot draws it: the whole series
// with the pulses framed, and the first pulses below.

#include <string>

#include "detection/layout_search.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"

namespace commands {

struct SearchPlotInput {
    const std::string& file;
    const files::SeriesData& data;
    const detection::PreparedSeries& prepared;
    const detection::SearchRequest& request;
    const detection::SearchOutcome& outcome;
    const std::string& scoreText;
    bool periods;  // the layouts came from periods: the spectrum's x axis is the period
};

// Draws the picture at width × height and writes it to `path`; false with a
// message naming the file when it cannot be written.
bool writeSearchPlot(const std::string& path, int width, int height, const SearchPlotInput& input, std::string& error);

}  // namespace commands
