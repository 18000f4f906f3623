#pragma once
// The picture of a detect run: the prepared series with the found pulses
// framed, drawn by the detection plot view and written as PNG.

#include <string>

#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"

namespace commands {

struct DetectPlotInput {
    const std::string& file;
    const files::SeriesData& data;
    const detection::PreparedSeries& prepared;
    const detection::DetectionRequest& request;
    const detection::DetectionOutcome& outcome;
    const std::string& scoreText;
    const std::string& taskText;  // what was run: "count known, 12 pulses", ...
};

// Draws the picture at width × height and writes it to `path`; false with a
// message naming the file when it cannot be written.
bool writeDetectPlot(const std::string& path, int width, int height, const DetectPlotInput& input, std::string& error);

}  // namespace commands
