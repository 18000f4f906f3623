#pragma once
// The statistical simulation run one series after another, as it was first
// written: the reference that threaded and sharded runs must equal. Same
// contract as the product's statCutoffSpotting; progress is told per cell.

#include <cstdint>
#include <functional>
#include <span>

#include "detection/statistical_simulation.h"

namespace literal {

// Which estimators the series go through: the product's, or the literal
// ones of literal_estimators.h (the run as it first was, end to end).
enum class Estimators { Product, Literal };

int statCutoffSpotting(base::MessageSink& sink, detection::RestErrorHeader* header,
                       std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
                       std::span<const uint16_t> requiredList, uint16_t seriesType, uint16_t task,
                       uint16_t createEnergy, int16_t processEnergy, synthesis::SeriesHeaderPtr& series,
                       int16_t amplitude, int32_t& noiseSeed, synthesis::RandomStreams& streams,
                       const std::function<void(uint32_t, uint32_t)>& progress = {},
                       Estimators estimators = Estimators::Product);

}  // namespace literal
