#pragma once
// The engine of detect, step by step, for every front end that detects on a
// researcher's own series: quillmore-cli detect runs the steps one by one
// between its own reading and printing, the window's detection view runs
// them all at once on a worker (detectOwnSeries). The steps take detect's
// options (DetectOptions) with detect's defaults, and refuse what detect
// refuses, in the same words.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/detect_options.h"
#include "detection/progress.h"
#include "detection/pulse_measures.h"
#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"

namespace commands {

// The template, the pulse length and the mode the options ask for, and the
// score in words ("window energy", "correlation with the etalon c").
// 0 when all is set; 2 for a bad option (an etalon that does not exist, a
// pulse length that differs from the template's); 1 for a template file
// that cannot be read.
int buildDetectionRequest(const DetectOptions& o, detection::DetectionRequest& request, std::string& scoreText,
                          std::string& error);

// The options that would be passed over without a word on this request (a
// template without correlation scores, a noise level for a method that
// takes none, ...): the refusal, or empty.
std::string idleOptionProblem(const DetectOptions& o);

// Methods 1 and 6 take a noise level: the given one, else the one estimated
// from the prepared samples; it is put into the request. Nothing for every
// other request.
std::optional<int64_t> applyNoiseLevel(const DetectOptions& o, const detection::PreparedSeries& prepared,
                                       detection::DetectionRequest& request);

// Runs the detection. 0 done (outcome.cancelled when the progress callback
// stopped it); 1 the series is too short for the layout (no admissible
// count, or shorter than the pulse length); 2 any other refusal of the
// request. The reason is in `error`. Throws std::bad_alloc.
int runDetection(const detection::PreparedSeries& prepared, const detection::DetectionRequest& request,
                 detection::DetectionOutcome& outcome, std::string& error);

// The pulses as detect --csv prints them: the header
// pulse,start,end,centre,time,centre_time,amplitude,score,snr and one line
// per pulse, numbers as their shortest text, the times empty without times.
std::string pulsesCsv(const files::SeriesData& data, const detection::DetectionOutcome& outcome,
                      const std::vector<detection::PulseMeasure>& measures);

// The task in a few words: "known count", "sequential method", "matched
// filter" or "blind detection".
const char* detectionModeName(const detection::DetectionRequest& request);
// What was run, as the picture's title says it: "count known, 12 pulses",
// "count unknown, blind detection by method 2", ...
std::string detectionTaskText(const detection::DetectionRequest& request, const detection::DetectionOutcome& outcome);

// One whole detection on a series already read: the steps above in detect's
// order, after the request is built and before anything is printed.
struct OwnSeriesDetection {
    detection::PreparedSeries prepared;
    detection::DetectionRequest request;
    std::string scoreText;              // the score in words
    std::optional<int64_t> noiseLevel;  // methods 1 and 6: the level used
    detection::DetectionOutcome outcome;
    double sigma = 0;                               // the robust noise level of the unscaled samples
    std::vector<detection::PulseMeasure> measures;  // one per found pulse, in the data's units
};

// What stopped a detection, and how detect's exit code reads it.
enum class DetectStatus : int32_t {
    Done = 0,
    SeriesProblem = 1,   // the series cannot be prepared or cannot give an answer, a template file unreadable
    RequestProblem = 2,  // the options do not fit (or the detection would exceed the limits)
    Cancelled = 130,     // the progress callback said stop
};

// Builds the request from `o`, prepares `data`, weighs the cost against
// --max-memory and --max-work (their defaults when not given), runs the
// detection on `threads` threads (0: every usable processor) reporting to
// `progress`, and measures the pulses. The reason of any refusal is in
// `error`, without the file's name. Throws nothing: a lack of memory is a
// SeriesProblem.
DetectStatus detectOwnSeries(const files::SeriesData& data, const DetectOptions& o, unsigned threads,
                             const detection::ProgressCallback& progress, OwnSeriesDetection& result,
                             std::string& error);

}  // namespace commands
