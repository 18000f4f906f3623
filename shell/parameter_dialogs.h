#pragma once
// The four parameter dialogs. Each fills its fields from the state, runs
// modally on the host and, on OK, parses the fields with atoi and stores
// them: 105 and 106 into the staged values (their command accepts or drops
// them), 109 and 110 partly straight into the settings. dialogAccepted is 1
// after OK and 0 after Cancel; Cancel stores nothing.

#include "shell/app_state.h"

namespace platform {
class Host;
}

namespace shell {

// 105 "Create Series": length, intervals, etalon number, saved energies.
// OK is refused, with the reason, while the length and intervals are values
// the series formulas cannot take; the dialog then stays open.
void runSeriesCreationDialog(AppState& state, platform::Host& host);
// 106 "Create Series": pulse count, etalon sequence and noise level.
void runSeriesStructureDialog(AppState& state, platform::Host& host);
// 109 "List of Required Etalons".
void runRequiredListDialog(AppState& state, platform::Host& host);
// 110 " Location Parameters": the simulation's pulse-count range and noise grid.
// The pulse counts it offers are offeredSimulationPulses.
void runSimulationDialog(AppState& state, platform::Host& host);

// The pulse-count range and increment dialog 110 opens with: the state's
// range cut to the counts the simulation takes (at least 1, at most
// kMaxSimulationPulses), or the state's range whole when the two do not
// meet; an increment of 0 reads 1, as the command would make it.
struct SimulationPulseOffer {
    uint16_t from = 0;
    uint16_t to = 0;
    uint16_t increment = 1;
};
SimulationPulseOffer offeredSimulationPulses(const AppState& state);

}  // namespace shell
