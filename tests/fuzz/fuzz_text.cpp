// Tables of text: every separator, header and column choice the reader
// guesses from the bytes, with the default column and three asked for; and
// the time column on its grid: the rows it skips are gaps, and the report
// counts them.

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_checks.h"

namespace {

// The rows the report says were read: "..., 12 rows" or "..., 1 row", the
// last such count in it (a header may hold anything before it).
int64_t rowsReported(const std::string& source)
{
    const size_t end = source.rfind(" row");
    const size_t start = source.rfind(", ", end);
    if (end == std::string::npos || start == std::string::npos)
        fuzz::broken();
    return std::stoll(source.substr(start + 2, end - start - 2));
}

// The gaps inserted where the time column skips rows: no more than the gaps
// there are, and with the rows read all the samples; times only with a time
// column, and none inserted without one.
void checkGrid(const files::SeriesData& d)
{
    if (d.insertedGaps < 0 || (d.times.empty() && d.insertedGaps != 0))
        fuzz::broken();
    int64_t gaps = 0;
    for (double v : d.values)
        gaps += std::isnan(v) ? 1 : 0;
    if (gaps < d.insertedGaps || rowsReported(d.source) + d.insertedGaps != static_cast<int64_t>(d.values.size()))
        fuzz::broken();
    if ((d.insertedGaps > 0) != (d.source.find("inserted as gaps") != std::string::npos))
        fuzz::broken();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* column : {"", "1", "2", "time"}) {
        files::SeriesReadOptions options;
        options.column = column;
        const files::SeriesReadResult r = files::readSeriesText(text, "fuzz.csv", options);
        fuzz::checkSeries(r);
        if (r.ok)
            checkGrid(r.data);
    }
    return 0;
}
