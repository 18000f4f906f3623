#pragma once
// Unfixed-case detection over the series records as first written: same
// contracts, messages, trace and study as the product's functions of the
// same names.

#include <cstdint>
#include <span>

#include "detection/unfixed_case_detection.h"
#include "synthesis/message_sink.h"
#include "synthesis/pulse_records.h"

namespace literal {

int32_t study01_UnFixedPulseDetection(MessageSink& sink, uint16_t Tmin, uint16_t Tmax, std::span<int32_t> chainOut,
                                      DetectionStudy* study, SeriesHeader& series);
int32_t processSeriesChains(MessageSink& sink, uint16_t Tmin, uint16_t Tmax, SeriesHeader& series);

}  // namespace literal
