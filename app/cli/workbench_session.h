#pragma once
// A headless workbench: the application state started exactly as the window
// starts it, the console host, and the options of `run` and `simulate`
// applied the way the menu, the option panels and the alphabet clicks would.

#include <optional>
#include <string>
#include <vector>

#include "console_host.h"
#include "shell/app_state.h"

struct RunOptions {
    std::optional<std::string> task;        // joint | detection | processing
    std::optional<std::string> seriesType;  // fixed | unfixed
    std::vector<int> etalons;
    std::optional<long> length, noise, pulses, tmin, tmax, energy, method;
    bool moreDetails = false;
    long series = 1;
    long same = 0;
    bool json = false;
};

struct SimulateOptions {
    std::optional<long> from, to, incr, noiseFrom, noiseSteps, noiseIncr, repeats;
    bool csv = false;
};

// Reads the options of `run` (and, when `simulate` is given, those of
// `simulate` too). On a bad option returns false with a one-line message
// naming it.
bool parseRunOptions(const std::vector<std::string>& args, RunOptions& run, SimulateOptions* simulate,
                     std::string& error);

// Applies the options to a started state; false with a message naming the
// option the state cannot take.
bool applyRunOptions(AppState& state, ConsoleHost& host, const RunOptions& options, std::string& error);
