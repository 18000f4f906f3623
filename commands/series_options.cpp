#include "commands/series_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace commands {

bool memorySize(std::string_view text, uint64_t& bytes)
{
    if (text.empty())
        return false;
    double scale = 1;
    switch (text.back()) {
    case 'K':
    case 'k':
        scale = 1024.0;
        break;
    case 'M':
    case 'm':
        scale = 1024.0 * 1024;
        break;
    case 'G':
    case 'g':
        scale = 1024.0 * 1024 * 1024;
        break;
    case 'T':
    case 't':
        scale = 1024.0 * 1024 * 1024 * 1024;
        break;
    default:
        break;
    }
    if (scale > 1)
        text.remove_suffix(1);
    // Digits with at most one point among them; nothing else.
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos ||
        text.find('.') != text.rfind('.') || text.find_first_of("0123456789") == std::string_view::npos)
        return false;
    double v = 0;
    if (!realNumber(text, v))
        return false;
    const double b = std::floor(v * scale);
    if (!(b >= 1) || b >= 18446744073709551615.0)
        return false;
    bytes = static_cast<uint64_t>(b);
    return true;
}

bool workCount(const std::string& text, uint64_t& units)
{
    double v = 0;
    if (!realNumber(text, v) || !(v >= 1) || v >= 18446744073709551615.0 || v != std::floor(v))
        return false;
    units = static_cast<uint64_t>(v);
    return true;
}

bool takeOneSeriesFile(const std::vector<std::string>& files, std::string& file, std::string& error)
{
    if (files.size() > 1) {
        error = "one file only: '" + files[0] + "' and '" + files[1] + "'";
        return false;
    }
    if (files.empty()) {
        error = "which file? (give its name, or - for text on standard input)";
        return false;
    }
    file = files[0];
    return true;
}

std::string plotNameProblem(const std::optional<std::string>& plot)
{
    if (!plot)
        return {};
    std::string extension = plot->size() >= 4 ? plot->substr(plot->size() - 4) : "";
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png")
        return {};
    return "--plot '" + *plot + "': the plot is written as PNG; give a name ending in .png";
}

}  // namespace commands
