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

// The gaps inserted where the time column skips rows: no more than the gaps
// there are, and with the rows read all the samples; times only with a time
// column, and none inserted without one. The report ends with the rows read
// ("..., 12 rows", "..., 1 row"; a header before it may hold anything),
// then the gaps inserted when there are any.
void checkGrid(const files::SeriesData& d)
{
    if (d.insertedGaps < 0 || (d.times.empty() && d.insertedGaps != 0))
        fuzz::broken();
    int64_t gaps = 0;
    for (double v : d.values)
        gaps += std::isnan(v) ? 1 : 0;
    const size_t end = d.source.rfind(" row");
    const size_t start = d.source.rfind(", ", end);
    if (end == std::string::npos || start == std::string::npos)
        fuzz::broken();
    const int64_t rows = std::stoll(d.source.substr(start + 2, end - start - 2));
    if (gaps < d.insertedGaps || rows + d.insertedGaps != static_cast<int64_t>(d.values.size()))
        fuzz::broken();
    std::string tail = d.source.substr(end + 4);
    if (!tail.empty() && tail[0] == 's')
        tail.erase(0, 1);
    if (d.insertedGaps == 0 ? !tail.empty()
                            : tail.rfind(", " + std::to_string(d.insertedGaps) + " missing time", 0) != 0)
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
