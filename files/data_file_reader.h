#pragma once
// The measurement data file: one trace of signed 16-bit samples behind a
// packed header. The reader shows the header and turns every 25 recorded
// samples into one series sample, the mean magnitude of their high bytes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/host.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace files {

// Bytes of the packed header fields; HLen may place the samples further on.
inline constexpr uint32_t kDataFileFieldsSize = 42;
// Recorded samples that make one series sample.
inline constexpr uint32_t kSamplesPerSeriesSample = 25;

// The packed fields at the start of a measurement data file, in file order.
struct DataFileHeader {
    char ID[2] = {0, 0};
    int8_t Ver = 0;
    int8_t SubVer = 0;
    int16_t HLen = 0;  // offset of the first sample
    int32_t Datime = 0;
    int32_t Duration = 0;  // seconds
    double Scale = 0.0;    // sample to physical quantity
    int8_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    int32_t MicroSec = 0;
    int16_t SamplRate = 0;  // Hz
    int32_t SamplNum = 0;   // samples in the trace
    int16_t SamplType = 0;
    int8_t TrNum = 0;
    int8_t Reserved = 0;
};

// The fields of a file's first 42 bytes (little-endian, no gaps); nothing
// when the file is shorter.
std::optional<DataFileHeader> parseDataFileHeader(std::span<const uint8_t> file);

// Why the trace the header describes cannot be read from a file of
// `fileSize` bytes, or "" when every sample lies inside it.
std::string dataFileTraceProblem(const DataFileHeader& header, uint64_t fileSize);

// What the reader takes from a trace: the range of the high bytes (as signed
// bytes) of all its samples, 16000 and -16000 for no samples, and its first
// series samples.
struct DataFileTraceSummary {
    int32_t minValue = 16000;
    int32_t maxValue = -16000;
    std::vector<int16_t> series;
};

// The trace of a whole file in memory: the range, and at most `seriesLimit`
// series samples. Every 25 recorded samples make one, the magnitudes of their
// high bytes summed in 16 bits and divided by 25; a last group of fewer than
// 25 is dropped. Empty (no samples, the range untouched) when
// dataFileTraceProblem finds the trace does not fit in `file`. The reader
// takes the same from a file on disk piece by piece.
DataFileTraceSummary summarizeDataFileTrace(std::span<const uint8_t> file, const DataFileHeader& header,
                                            size_t seriesLimit);

// All the series samples of the trace (summarizeDataFileTrace's series).
std::vector<int16_t> dataFileSeriesSamples(std::span<const uint8_t> file, const DataFileHeader& header);

// The open dialog: title "Long File Name Search", all files first, then text
// files; the file must exist.
platform::FileDialogOptions dataFileDialogOptions();

// Asks for a data file, shows its facts (the size counted in 64 bits) and
// header, and writes the trace into the pure and the observed samples of the
// series and its length (at most its capacity), so that the next processing
// analyses the file; nothing else of the series changes. Without a series one is made for the trace and kept
// in `series`. Only the header and the trace are read, in pieces of at most
// a mebibyte. A file shorter than its header or its trace is refused with a
// message. Returns previousResult after a read and 0 after a cancel or any
// failure, which leaves the series as it was.
int32_t ReadInfoDataFile(platform::Host& host, int32_t previousResult, synthesis::SeriesHeaderPtr& series);

}  // namespace files
