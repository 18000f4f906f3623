// The measurement data file as a series: its trace as the window reads it.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "files/data_file_reader.h"
#include "files/series_reader_common.h"
#include "files/series_readers.h"

namespace files {

SeriesReadResult readDataFile(std::span<const uint8_t> bytes, std::string_view name)
{
    const std::optional<DataFileHeader> header = parseDataFileHeader(bytes);
    if (!header)
        return refuse(prefixed(name, "Data file is shorter than its header!"));
    const std::string problem = dataFileTraceProblem(*header, bytes.size());
    if (!problem.empty())
        return refuse(prefixed(name, problem));
    const std::vector<int16_t> samples = dataFileSeriesSamples(bytes, *header);
    if (samples.empty())
        return refuse(std::string(name) + " holds no samples");

    SeriesData data;
    data.values.assign(samples.begin(), samples.end());
    data.integral = true;
    data.format = SeriesFormat::DataFile;
    if (header->SamplRate > 0) {
        data.sampleRate = header->SamplRate / static_cast<double>(kSamplesPerSeriesSample);
        data.times.resize(data.values.size());
        for (size_t i = 0; i < data.times.size(); ++i)
            data.times[i] = static_cast<double>(i) / data.sampleRate;
        data.timeName = "s";
    }
    data.source = "trace " + std::to_string(header->TrNum) + ", " + std::to_string(header->SamplNum) +
                  " recorded samples in " + number(samples.size()) + " series samples";
    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

}  // namespace files
