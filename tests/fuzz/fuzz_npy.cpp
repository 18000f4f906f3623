// NumPy arrays: the header's literal, the dtype, the shape and the data's
// extent all come from the bytes.

#include <cstdint>
#include <initializer_list>
#include <span>

#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const char* column : {"", "1", "2"}) {
        files::SeriesReadOptions options;
        options.column = column;
        fuzz::checkSeries(files::readSeriesNpy(std::span<const uint8_t>(data, size), "fuzz.npy", options));
    }
    return 0;
}
