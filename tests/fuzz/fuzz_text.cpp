// Tables of text: every separator, header and column choice the reader
// guesses from the bytes, with the default column and three asked for.

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* column : {"", "1", "2", "time"}) {
        files::SeriesReadOptions options;
        options.column = column;
        fuzz::checkSeries(files::readSeriesText(text, "fuzz.csv", options));
    }
    return 0;
}
