// quillmore-cli: the workbench without its window, for scripts.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace {

const char* kUsage =
    "usage: quillmore-cli COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  alphabet [--json]   print the 20 etalons (letter, number, energy, samples)\n"
    "  help                print this text\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "alphabet")
        return runAlphabetCommand(args);
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "quillmore-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
