// The measurement data file: header fields, trace length and offset all
// come from the bytes.

#include <cstdint>
#include <span>

#include "files/data_file_reader.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const files::SeriesReadResult r = files::readSeriesDataFile(bytes, "fuzz.dat");
    fuzz::checkSeries(r);
    if (r.ok) {
        // Each series sample is a mean of magnitudes of signed bytes.
        for (double v : r.data.values)
            if (v < 0 || v > 128)
                fuzz::broken();
        if (r.data.values.size() != static_cast<size_t>(files::parseDataFileHeader(bytes)->SamplNum) / 25)
            fuzz::broken();
    }
    return 0;
}
