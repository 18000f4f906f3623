#pragma once
// The sub-commands of quillmore-cli. Each takes the arguments after its name
// and returns the process exit code.

#include <string>
#include <vector>

namespace commands {

int runAlphabetCommand(const std::vector<std::string>& args);
int runRunCommand(const std::vector<std::string>& args);
int runSimulateCommand(const std::vector<std::string>& args);
int runMergeCommand(const std::vector<std::string>& args);
int runDetectCommand(const std::vector<std::string>& args);
int runSearchCommand(const std::vector<std::string>& args);

}  // namespace commands
