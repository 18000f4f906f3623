#pragma once
// Readers of a researcher's own series: text tables (CSV, TSV, whitespace),
// NumPy .npy arrays, sound files (WAV and whatever libsndfile reads), and the
// measurement data file. Pure functions over bytes or a path: no window, no
// message box. A refusal is a one-line message naming the file, the place
// (line and column, byte offset, frame) and what was wrong; no reader ever
// reads past the end of what it was given.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace files {

enum class SeriesFormat { Auto, Text, Npy, Sound, DataFile };

// The format by its name: "auto", "text", "npy", "sound" or "datafile";
// nothing for any other name.
std::optional<SeriesFormat> seriesFormatNamed(std::string_view name);

// The name of a format, as seriesFormatNamed takes it.
std::string_view seriesFormatName(SeriesFormat format);

// One series as a file holds it, before any preparation.
struct SeriesData {
    std::vector<double> values;  // the samples, in file order; NaN marks a gap
    // Every value came from integer storage (integer .npy, PCM sound, a text
    // column whose every cell is an integer, the data file): preparation
    // keeps such samples as they are unless asked to scale.
    bool integral = false;
    // One time per value when the file has a time column or a sampling rate
    // (sound and data file: frame / rate); else empty. Strictly increasing,
    // every step within 0.3 of the cadence. A text table's time column is its
    // first, when another column is read and the first either has a header
    // naming a time (time, t, s, ms, date, mjd, ...) or holds numbers only,
    // each above the one before; the rows missing from its grid are
    // inserted as gaps.
    std::vector<double> times;
    std::string timeName;    // the time column's header, or "s"
    double sampleRate = 0;   // frames per second of a sound file or data file; 0 when unknown
    std::string columnName;  // the header of the chosen column, or its number
    // What was read, for the report: "column 2 (II) of 3, 108000 rows", and
    // the rows inserted: "..., 2 missing times inserted as gaps (cadence 0.5)".
    std::string source;
    int64_t insertedGaps = 0;                  // the gaps (NaN values) inserted where the time column skips rows
    SeriesFormat format = SeriesFormat::Auto;  // the format the reader read: Text, Npy, Sound or DataFile
    int32_t channels = 0;                      // sound files: the channels the file holds; 0 for the others
    // The columns of a table that hold numbers, the time column left out,
    // or every column of a 2-D array (the first 65,536), 1-based: what a run
    // over every column reads. Empty for the other formats.
    std::vector<int32_t> numberColumns;
};

struct SeriesReadOptions {
    // Text: a header name or a 1-based index (default: the rightmost column
    // holding numbers; a word among its numbers is refused, not skipped).
    // .npy 2-D, C or Fortran order: a 1-based column index (default: the last).
    std::string column;
    // Sound files: the 1-based channel; none reads channel 1, which
    // seriesChoiceRefusal accepts for a file of one channel only.
    std::optional<int32_t> channel;
    // Auto: ".npy" magic, then a sound file libsndfile recognises, then the
    // data file by its extension ".dat", else text.
    SeriesFormat format = SeriesFormat::Auto;
};

// Refusals carry their whole message in `error`; `data` is then unspecified.
struct SeriesReadResult {
    bool ok = false;
    std::string error;
    SeriesData data;
};

// How a front end writes the options that seriesChoiceRefusal names.
struct SeriesOptionWords {
    std::string_view column;     // "--column"
    std::string_view channel;    // "--channel"
    std::string_view separator;  // between an option and its value: " "
};

// Whether the options suit the file that was read: a column chosen for a
// sound file or the data file, a channel for a table, an array or the data
// file, or no channel for a sound file of several, are refused. The refusal
// names the file as readSeriesFile does and the options in the front end's
// `words` ("a.wav has 2 channels: choose one with --channel 1..2"); empty
// when the options suit it.
std::string seriesChoiceRefusal(const std::string& path, const SeriesData& data, const SeriesReadOptions& options,
                                const SeriesOptionWords& words);

// Reads `path` ("-" reads text from standard input). Messages name the file
// by the path as given, standard input as "standard input".
SeriesReadResult readSeriesFile(const std::string& path, const SeriesReadOptions& options);

// The readers over bytes already in memory; `name` is used in messages.
SeriesReadResult readSeriesText(std::string_view text, std::string_view name, const SeriesReadOptions& options);
SeriesReadResult readSeriesNpy(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options);
SeriesReadResult readSeriesSound(std::span<const uint8_t> bytes, std::string_view name,
                                 const SeriesReadOptions& options);
// The measurement data file: its trace as the window reads it (every 25
// recorded samples make one sample, the mean magnitude of their high bytes).
SeriesReadResult readSeriesDataFile(std::span<const uint8_t> bytes, std::string_view name);

}  // namespace files
