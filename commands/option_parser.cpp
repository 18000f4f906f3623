#include "commands/option_parser.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace commands {

bool wholeNumber(std::string_view text, int64_t low, int64_t high, int64_t& value)
{
    // from_chars reads a minus sign but not a plus sign; after a plus sign
    // only digits may follow.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.empty() || text.front() < '0' || text.front() > '9')
            return false;
    }
    int64_t n = 0;
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, n);
    if (problem != std::errc() || stop != end || n < low || n > high)
        return false;
    value = n;
    return true;
}

bool realNumber(std::string_view text, double& value)
{
    if (text.empty() || text.size() > 64)
        return false;
    const std::string copy(text);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool pictureSize(std::string_view text, int32_t& width, int32_t& height)
{
    const size_t x = text.find('x');
    int64_t w = 0, h = 0;
    if (x == std::string_view::npos || !wholeNumber(text.substr(0, x), kMinPictureWidth, kMaxPictureSide, w) ||
        !wholeNumber(text.substr(x + 1), kMinPictureHeight, kMaxPictureSide, h))
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

std::string pictureSizeError(std::string_view option, std::string_view value)
{
    return std::string(option) + " must be WxH, from " + std::to_string(kMinPictureWidth) + "x" +
           std::to_string(kMinPictureHeight) + " to " + std::to_string(kMaxPictureSide) + "x" +
           std::to_string(kMaxPictureSide) + ", such as 1280x800, got '" + std::string(value) + "'";
}

std::string rangeError(std::string_view option, int64_t low, int64_t high, std::string_view value)
{
    return std::string(option) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
           ", got '" + std::string(value) + "'";
}

namespace detail {

bool readOptionWords(
    const std::vector<std::string>& args, std::vector<std::string>* positionals,
    const std::function<int(const std::string& name, std::string& refusal)>& takesValue,
    const std::function<bool(const std::string& name, const std::string& value, std::string& error)>& apply,
    std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const bool option = word.size() > 2 && word.starts_with("--");
        if (!option && positionals) {
            positionals->push_back(word);
            continue;
        }
        // --name=value is --name value.
        const size_t equals = option ? word.find('=') : std::string::npos;
        const std::string name = word.substr(0, equals);
        std::string refusal;
        const int wantsValue = takesValue(name, refusal);
        if (!refusal.empty()) {
            error = refusal;
            return false;
        }
        if (wantsValue < 0) {
            error = "unknown option: " + name;
            return false;
        }
        std::string value;
        if (equals != std::string::npos) {
            if (wantsValue == 0) {
                error = name + " takes no value";
                return false;
            }
            value = word.substr(equals + 1);
        } else if (wantsValue == 1) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        } else if (int64_t n = 0;
                   wantsValue == 2 && i + 1 < args.size() && wholeNumber(args[i + 1], INT64_MIN, INT64_MAX, n)) {
            value = args[++i];
        }
        if (!apply(name, value, error))
            return false;
    }
    return true;
}

}  // namespace detail

}  // namespace commands
