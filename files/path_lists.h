#pragma once
// The paths of a run over many files: shell patterns expanded by the
// program itself (thousands of files overflow a command line), and lists of
// paths, one a line.

#include <string>
#include <vector>

namespace files {

// Whether `path` holds a pattern character: *, ? or [.
bool isPathPattern(const std::string& path);

// Appends the paths `pattern` matches, in the C locale's order, to `paths`.
// A path with no pattern character, or one naming an existing file, is
// appended as it is (a file named "a[1].csv" is that file). False with the
// reason when a pattern matches nothing or a folder on its way cannot be
// read.
bool expandPathPattern(const std::string& pattern, std::vector<std::string>& paths, std::string& error);

// Appends the paths a list file holds, one a line ("-" reads standard
// input): spaces at both ends are trimmed, empty lines and lines starting
// with # are passed over, and a line with a pattern is expanded as above.
// Relative paths are taken from the current folder. False with the reason
// (the list's name and line) when the list cannot be read or a line's
// pattern matches nothing.
bool readPathList(const std::string& listFile, std::vector<std::string>& paths, std::string& error);

}  // namespace files
