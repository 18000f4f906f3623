#include "synthesis/pulse_records.h"

namespace synthesis {

int freeSeriesHeader(SeriesHeaderPtr& header)
{
    header.reset();
    return 1;
}

}  // namespace synthesis
