#pragma once
// The straightforward estimators, kept as the reference that the fast engine
// must match to the last bit: the energy programme that fills the whole m x N
// table and scans every predecessor, the improvement pass that keeps one row
// of partial sums per pulse, the odometer search that evaluates every
// combination in full, the chain programme that scans every predecessor, and
// the sequential method and pulse-count ranking that run the programme anew
// for every count. Same contracts, messages and results as the product's
// functions of the same names; built only into the tests and the benchmarks.

#include <cstdint>
#include <span>

#include "detection/chain_programme.h"
#include "detection/pulse_count_ranking.h"
#include "detection/stepwise_protocol.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace literal {

int32_t estimateByEnergies(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series);
int32_t improvePositions(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                         synthesis::SeriesHeader& series);
int32_t searchInIntervals(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                          synthesis::SeriesHeader& series);
int32_t runImprovementLoop(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series, int32_t startMeasure, uint16_t& passes);
int32_t sequentialMethod(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                         detection::StepwiseProtocol* protocol, synthesis::SeriesHeader& series);
int32_t rankPulseCounts(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                        detection::StepwiseProtocol* protocol, detection::PulseCountTable* table,
                        synthesis::SeriesHeader& series);
// The chain programme scanning all Tmin..Tmax predecessors of every start.
void runChainProgramme(const detection::StartRegions& regions, detection::ChainTables& t, uint16_t Tmin, uint16_t Tmax);

}  // namespace literal
