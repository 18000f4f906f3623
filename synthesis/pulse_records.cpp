#include "synthesis/pulse_records.h"

int freeSeriesHeader(SeriesHeaderPtr& header)
{
    header.reset();
    return 1;
}
