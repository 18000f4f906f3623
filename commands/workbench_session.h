#pragma once
// A headless workbench: the application state started exactly as the window
// starts it, the console host, and the options of `run` and `simulate`
// (commands/run_options.h) applied the way the menu, the option panels and
// the alphabet clicks would.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/console_host.h"
#include "commands/run_options.h"
#include "shell/app_state.h"

namespace commands {

// Starts the workbench as the window starts it and applies the options;
// messages go to standard error as they come when `echo` is set. Returns
// the exit code to end with (after a line on standard error, unless
// `quiet`), or -1 to go on.
int startWorkbench(const char* program, const RunOptions& options, shell::AppState& state, ConsoleHost& host, bool echo,
                   bool quiet = false);

// Applies the options to a started state; false with a message naming the
// option the state cannot take.
bool applyRunOptions(shell::AppState& state, ConsoleHost& host, const RunOptions& options, std::string& error);

// As the window does after a processing: the result view shows one protocol
// row and leaves it in the series as the found positions.
void showProcessingResult(shell::AppState& state);

}  // namespace commands
