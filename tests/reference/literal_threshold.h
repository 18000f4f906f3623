#pragma once
// Unfixed-case detection over the series records as first written: same
// contracts, messages, trace and study as the product's functions of the
// same names.

#include <cstdint>
#include <span>

#include "detection/unfixed_case_detection.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace literal {

int32_t study01_UnFixedPulseDetection(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax,
                                      std::span<int32_t> chainOut, detection::DetectionStudy* study,
                                      synthesis::SeriesHeader& series);
int32_t processSeriesChains(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, synthesis::SeriesHeader& series);

}  // namespace literal
