#pragma once
// File > Open...: a measurement data file read by ReadInfoDataFile, and a
// researcher's own series (text tables, .npy arrays, sound files) read,
// prepared in a short dialog (111) and made the window's series.
//
// The window's series records hold 16-bit samples at 16-bit positions, and
// its programmes sum in 32 bits: a series longer than kMaxSeriesLength is
// refused (the window's detection view and quillmore-cli detect take any
// length in 64-bit sums), the automatic scale keeps the whole series' sum of
// squares inside 32 bits, and a scale that lets it pass them is refused.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "detection/series_preparation.h"
#include "files/series_readers.h"
#include "platform/host.h"
#include "shell/app_state.h"

namespace shell {

// The caption of the preparation dialog and of every message of the loading.
inline constexpr const char* kOpenCaption = "Open Series";

// The open dialog: the data file's own title and filters first, "All Files"
// selected (a recorded trace often has no extension), then the series
// formats and the data files.
platform::FileDialogOptions openDialogOptions();

// True when the name's extension is one the series readers take: .csv,
// .tsv, .txt, .npy and the sound files (.wav, .flac, .ogg, .aif, .aiff,
// .au, .snd, .caf), in any case. Every other name is taken for a measurement
// data file.
bool isSeriesFileName(std::string_view path);

// The largest magnitude the automatic scale gives a series of n samples in
// the window: 32,767, or less when n samples of that size would carry the
// sum of squares past 2^31 - 1.
int64_t windowAutoScalePeak(size_t n);

// Why the workbench cannot hold a series of n samples in its records (longer
// than kMaxSeriesLength, shorter than a pulse, or not laid out by the
// window's Tmin and Tmax), or empty when it can.
std::string seriesLengthProblem(const AppState& state, size_t n);

// The sum of the squares of the samples, which the window's programmes keep
// in 32 bits.
double windowSumOfSquares(std::span<const int64_t> samples);

// What the preparation dialog's fields say.
struct PreparationChoice {
    std::string column;   // text and .npy: a header name or a 1-based index
    int32_t channel = 1;  // sound files
    detection::PreparationOptions options;
    bool autoScale = false;  // scale to windowAutoScalePeak
};

// Reads the dialog's fields: detrend "none", "median" or "moving" (with a
// window of at least 1 sample), invert "no" or "yes", scale "auto", "none"
// (integers as they are, other values rounded) or a positive factor; blanks
// and case do not matter. sound: the column field is a channel from 1.
// Nothing, with the reason in `problem`, for a field it cannot read.
std::optional<PreparationChoice> parsePreparationFields(const platform::DialogFields& fields, bool sound,
                                                        std::string& problem);

// Prepares `data` as the window takes it: the automatic scale to the
// window's peak, no sample beyond the 16-bit range and a sum of squares
// within 32 bits. False with the reason in `problem`.
bool prepareForWindow(const files::SeriesData& data, const PreparationChoice& choice,
                      detection::PreparedSeries& prepared, std::string& problem);

// Makes the samples the window's series: a record able to hold them (the
// current one re-used when it is large enough) with them as both its pure
// and its observed samples, no true pulses, the pulse length and intervals
// of the window, and the length settings of the state made for this length.
// false, with the series as it was, when the record or the trace buffer
// cannot be had (the reason has been shown) or the window's formulas do not
// take the length.
bool adoptSeries(AppState& state, platform::Host& host, std::span<const int16_t> samples, uint16_t noiseLevel,
                 uint16_t amplitude);

// Reads a series file (the column or channel of readOptions first), asks
// how to prepare it and adopts it. True when the window's series is now the
// file's; otherwise the series is as it was and the user has been told why
// (or cancelled).
bool loadSeriesFile(AppState& state, platform::Host& host, const std::string& path,
                    const files::SeriesReadOptions& readOptions = {});

// The whole command: asks for a file, reads a data file with
// ReadInfoDataFile (dataFileResult as it leaves it, the window following a
// trace of another length) and any series file with loadSeriesFile
// (dataFileResult kept after a load, 0 otherwise and after a cancelled
// dialog).
void openFile(AppState& state, platform::Host& host);
// The same for a name already chosen (nothing: the dialog was cancelled),
// a series file read from readOptions' column or channel first.
void openChosenFile(AppState& state, platform::Host& host, const std::optional<std::string>& path,
                    const files::SeriesReadOptions& readOptions = {});

}  // namespace shell
