#pragma once
// What detect and search do alike with a researcher's series: the template
// taken from an etalon or a file, the file read and prepared with the same
// refusals, and the found pulses measured in the data's units and reported
// in the same words, JSON keys and number rule.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "detection/pulse_measures.h"
#include "detection/series_preparation.h"
#include "detection/significance.h"
#include "files/json.h"
#include "files/series_readers.h"

namespace commands {

// The etalon by its letter (a..t) or number (1..20), as the alphabet prints
// them: its samples, and "etalon c" in `what`. False with the refusal.
bool etalonTemplate(const std::string& name, std::vector<int64_t>& samples, std::string& what, std::string& error);

// A one-column text file; values that are not all integers are scaled so
// that the largest magnitude is 32,767, like floating-point data. False with
// the refusal (naming the file).
bool fileTemplate(const std::string& path, std::vector<int64_t>& samples, std::string& error);

// A series file as it was read and prepared.
struct OwnSeries {
    files::SeriesData data;              // the values as read, with their times
    detection::PreparedSeries prepared;  // the samples the programmes run on, and the unscaled ones
};

// Reads `file` with `read`, checks that --column and --channel suit it and
// prepares it with `prepare`, refusing a series that can give no answer.
// Returns 0, or the exit code with the one-line refusal in `error` (the
// program's name not included): 1 for a file that cannot be read or
// prepared (the message names the file), 2 for a --column or --channel
// that does not suit it.
int readOwnSeries(const std::string& file, const files::SeriesReadOptions& read,
                  const detection::PreparationOptions& prepare, OwnSeries& series, std::string& error);

// Prepares values already read as readOwnSeries prepares them, refusing a
// series that can give no answer. False with the reason in `error` (the
// file not named).
bool prepareOwnSeries(const files::SeriesData& data, const detection::PreparationOptions& prepare,
                      detection::PreparedSeries& prepared, std::string& error);

// The found pulses measured on the unscaled prepared samples: the shape is
// the template's (the mean of the found windows without one), the noise
// level the robust one of those samples, returned in `sigma`.
std::vector<detection::PulseMeasure> measureFoundPulses(const detection::PreparedSeries& prepared,
                                                        std::span<const int32_t> positions, int32_t L,
                                                        std::span<const int64_t> templateSamples, double& sigma);

// The time at a sample (a half sample between two), or nothing without a
// time column or a sample rate.
std::optional<double> timeAt(const files::SeriesData& data, double sample);

// The shortest text of a number, or an empty text for none.
std::string numberOrEmpty(const std::optional<double>& v);

// "none", "median" or "moving median".
const char* detrendName(detection::Detrend d);

// "found K pulses:" and the table of the pulses, as detect prints them, to `out`.
void printPulseTable(std::FILE* out, const files::SeriesData& data, std::span<const int64_t> pulseScores,
                     std::span<const detection::PulseMeasure> measures);

// The "preparation" object of detect's JSON.
void writePreparationJson(files::JsonWriter& j, const detection::PreparationOptions& options,
                          const detection::PreparedSeries& prepared);

// The "pulses" array of detect's JSON.
void writePulsesJson(files::JsonWriter& j, const files::SeriesData& data, std::span<const int64_t> pulseScores,
                     std::span<const detection::PulseMeasure> measures);

// The "significance" object of detect's JSON.
void writeSignificanceJson(files::JsonWriter& j, const detection::Significance& g);

// A number under `key`, or null when there is none.
void optionalNumber(files::JsonWriter& j, std::string_view key, const std::optional<double>& v);

// A number under `key`, or null when it is not finite.
void finiteOrNull(files::JsonWriter& j, std::string_view key, double v);

}  // namespace commands
