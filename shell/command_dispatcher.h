#pragma once
// Every action of the workbench goes through dispatchCommand: the menu
// commands chosen by the user and the internal commands the program sends to
// its own window (both numbered in resources/command_ids.h). Internal commands form one pipeline (new sequence, series
// parameters, synthesis, noise, processing, refresh), each stage falling into
// the next by a nested, synchronous call.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "shell/app_state.h"

namespace platform {
class Host;
}

namespace shell {

// Runs one command, menu or internal, on the state; the stages it leads to
// run inside it. When the outermost command ends, whatever it changed in the
// state without repainting is invalidated. An unknown number does nothing.
void dispatchCommand(AppState& state, platform::Host& host, int command);

// --- The statistical simulation in phases
//
// dispatchCommand(IdDetectionStatisticalSimulation) runs prepareSimulation,
// computeSimulation and finishSimulation one after another. A host that
// keeps its window alive during the long part runs them itself: prepare and
// finish on the thread that owns the state, compute on any thread.
//
// The run carries everything the computation reads and writes: a copy of
// the series record, the new error header (made from a copy of the previous
// one), the random streams, the required list and the codes of the task.
// The state stays exactly as it was until finishSimulation, so the window
// keeps showing the previous result meanwhile. The run does refer to the
// state's alphabet (series records point into it): until the run is
// finished the alphabet must not change and the state must not be torn
// down.
struct SimulationRun {
    std::span<const synthesis::PulseHeader> etalons;  // the state's alphabet, read only
    uint16_t activeCount = 0;                         // active etalons at the start
    std::vector<uint16_t> requiredList;               // a copy of the state's required list
    uint16_t seriesType = 0;                          // SeriesType code at the start
    uint16_t task = 0;                                // TaskType code at the start
    uint16_t createEnergy = 0;                        // saved energy level for creating series
    int16_t processEnergy = 0;                        // saved energy level for processing series
    int16_t amplitude = 0;                            // the application's amplitude
    synthesis::SeriesHeaderPtr series;                // the state's record, made ready for the run and left by it
    detection::RestErrorHeaderPtr header;             // the new result, made from a copy of the state's
    synthesis::RandomStreams streams;                 // the state's streams, advanced by the run
    // The state's options at the start; the host may change them (threads,
    // progress) before computing.
    detection::SimulationOptions options;
    base::MessageRecorder messages;  // what the computation said, in order, for finishSimulation to show
    int result = 0;                  // what statCutoffSpotting returned
    bool cancelled = false;          // the progress callback asked to stop
};

// The dialogs and the records of a new simulation. Empty when there is
// nothing to compute: the dialogs were cancelled, or a record could not be
// made (the state then gives up the record that failed, keeps the copies
// made before it, and a box says what failed).
std::unique_ptr<SimulationRun> prepareSimulation(AppState& state, platform::Host& host);

// The simulation itself: touches nothing but the run. A progress callback
// of the options that answers false stops it and marks the run cancelled.
void computeSimulation(SimulationRun& run);

// Shows the messages of the computation on the host, in order. A cancelled
// run then leaves the state as it was (the previous header, record and
// streams, still shown); any other run is taken into the state and its
// result is shown. Call it once per run.
void finishSimulation(AppState& state, platform::Host& host, SimulationRun& run);

}  // namespace shell
