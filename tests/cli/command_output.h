#pragma once
// Runs a command line through the shell, as a script runs quillmore-cli:
// what it printed on standard output and how it ended.

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

struct CommandOutput {
    int exitCode = -1;  // -1 when the command did not end by itself
    std::string out;
};

inline CommandOutput runCommandLine(const std::string& commandLine)
{
    CommandOutput r;
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (!pipe)
        return r;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        r.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

#ifdef QUILLMORE_CLI
// quillmore-cli with `arguments` (shell words), standard error merged into
// the output or thrown away.
inline CommandOutput runCli(const std::string& arguments, bool mergeErrors = false)
{
    // Appended piece by piece: GCC 12 warns of a chain of + here.
    std::string line = QUILLMORE_CLI;
    line += ' ';
    line += arguments;
    line += mergeErrors ? " 2>&1" : " 2>/dev/null";
    return runCommandLine(line);
}
#endif
