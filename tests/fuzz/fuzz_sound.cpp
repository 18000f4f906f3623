// Sound files through libsndfile over bytes in memory; libsndfile itself is
// not instrumented, the reading around it is.

#include <cstdint>
#include <initializer_list>
#include <span>

#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int32_t channel : {1, 2}) {
        files::SeriesReadOptions options;
        options.channel = channel;
        fuzz::checkSeries(files::readSeriesSound(std::span<const uint8_t>(data, size), "fuzz.wav", options));
    }
    return 0;
}
