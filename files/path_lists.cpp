#include "files/path_lists.h"

#include <glob.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>

namespace files {

bool isPathPattern(const std::string& path) { return path.find_first_of("*?[") != std::string::npos; }

bool expandPathPattern(const std::string& pattern, std::vector<std::string>& paths, std::string& error)
{
    struct stat info {};
    if (!isPathPattern(pattern) || stat(pattern.c_str(), &info) == 0) {
        paths.push_back(pattern);
        return true;
    }
    glob_t found{};
    const int status = glob(pattern.c_str(), GLOB_ERR, nullptr, &found);
    if (status == 0) {
        try {
            paths.insert(paths.end(), found.gl_pathv, found.gl_pathv + found.gl_pathc);
        } catch (...) {
            globfree(&found);
            throw;
        }
    }
    globfree(&found);
    switch (status) {
    case 0:
        return true;
    case GLOB_NOSPACE:
        throw std::bad_alloc();
    case GLOB_NOMATCH:
        error = "no file matches '" + pattern + "'";
        return false;
    default:
        error = "'" + pattern + "': a folder on the way cannot be read";
        return false;
    }
}

bool readPathList(const std::string& listFile, std::vector<std::string>& paths, std::string& error)
{
    std::ifstream file;
    if (listFile != "-") {
        file.open(listFile);
        if (!file) {
            error = listFile + ": " + std::strerror(errno);
            return false;
        }
    }
    std::istream& in = listFile == "-" ? std::cin : file;
    const std::string name = listFile == "-" ? "standard input" : listFile;
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const size_t last = line.find_last_not_of(" \t\r");
        std::string problem;
        if (!expandPathPattern(line.substr(first, last - first + 1), paths, problem)) {
            error = name + ": line " + std::to_string(number) + ": " + problem;
            return false;
        }
    }
    if (in.bad()) {
        error = name + ": cannot be read";
        return false;
    }
    return true;
}

}  // namespace files
