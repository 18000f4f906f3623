#pragma once
// What quillmore-cli prints of series and simulations, shared by `run`,
// `simulate`, `merge` and quillmore-mpi so that all of them word a result
// the same way.

#include "detection/statistical_simulation.h"
#include "files/json.h"
#include "synthesis/pulse_records.h"

namespace commands {

enum class SimulationFormat { Text, Json, Csv };

// `--json` wins over `--csv`, as it always has.
inline SimulationFormat simulationFormat(bool json, bool csv)
{
    return json ? SimulationFormat::Json : csv ? SimulationFormat::Csv : SimulationFormat::Text;
}

// The result of a finished simulation on standard output: the pulse values,
// the noise levels, the repeats, the detection-error matrix and (not in CSV)
// the last simulated series.
void printSimulationResult(const detection::RestErrorHeader& r, const synthesis::SeriesHeader* last,
                           SimulationFormat format);

}  // namespace commands
