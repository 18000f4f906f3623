#pragma once
// The one reader of command-line options every command shares: a table of
// rules (name, whether a value follows, what the value does), the words
// read left to right, `--name value` or `--name=value`, the first refusal
// reported as one line. The readers of the values they hold live here too,
// so that every command reads a number or a picture size the same way.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace commands {

// The most threads --threads takes.
constexpr long kMaxThreads = 1024;

// A whole number in decimal digits, with an optional sign, within
// low..high; nothing else (no spaces, no fraction, no exponent).
bool wholeNumber(std::string_view text, int64_t low, int64_t high, int64_t& value);

// A finite real number as strtod reads it, nothing after it.
bool realNumber(std::string_view text, double& value);

// The bounds of a picture a command draws (the window's client area of
// run --render, the plot of detect).
constexpr int32_t kMinPictureWidth = 320, kMinPictureHeight = 240, kMaxPictureSide = 8192;

// WxH, both sides whole numbers within the picture bounds.
bool pictureSize(std::string_view text, int32_t& width, int32_t& height);

// "--size must be WxH, from 320x240 to 8192x8192, such as 1280x800, got 'V'".
std::string pictureSizeError(std::string_view option, std::string_view value);

// "NAME must be a whole number from LOW to HIGH, got 'V'".
std::string rangeError(std::string_view option, int64_t low, int64_t high, std::string_view value);

// A whole number within low..high into `slot`; false with the range
// message naming `option` when the value is not one.
template <typename T>
bool numberOption(std::string_view option, std::string_view value, int64_t low, int64_t high, std::optional<T>& slot,
                  std::string& error)
{
    int64_t n = 0;
    if (!wholeNumber(value, low, high, n)) {
        error = rangeError(option, low, high, value);
        return false;
    }
    slot = static_cast<T>(n);
    return true;
}

// One option of a command. `apply` takes the value (empty for an option
// without one) and returns false with a message when it refuses it. A value
// that may be left out (`valueOptional`, with `takesValue`) follows an
// equals sign, or is the next word when that word is a whole number; else
// the rule is applied with an empty value.
template <typename Target>
struct OptionRule {
    const char* name;
    bool takesValue;
    bool (*apply)(Target& target, const std::string& value, std::string& error);
    bool valueOptional = false;
};

// What the reader found for a word: the rule, or the sentence that refuses
// a known option in this command ("--noise is an option of run: ...").
template <typename Target>
struct OptionLookup {
    const OptionRule<Target>* rule = nullptr;
    std::string refusal;
};

namespace detail {

// The walk itself, apart from the rule's type: `apply(name, value,
// hasValue)` is called for each option and says whether it was taken;
// `takesValue(name)` is -1 for an unknown option, else 0 or 1, or 2 for a
// value that may be left out.
bool readOptionWords(
    const std::vector<std::string>& args, std::vector<std::string>* positionals,
    const std::function<int(const std::string& name, std::string& refusal)>& takesValue,
    const std::function<bool(const std::string& name, const std::string& value, std::string& error)>& apply,
    std::string& error);

}  // namespace detail

// Reads `args` against the rules `find` looks up by name. A word that
// starts with "--" (and is longer) is an option; any other word is a
// positional argument, collected in `positionals` when the command takes
// them and refused as an unknown option when it does not. Refusals:
// "unknown option: --x", "--x needs a value", "--x takes no value", the
// lookup's own refusal, or the rule's. False at the first.
template <typename Target>
bool readOptions(const std::vector<std::string>& args, Target& target,
                 const std::function<OptionLookup<Target>(const std::string& name)>& find,
                 std::vector<std::string>* positionals, std::string& error)
{
    OptionLookup<Target> found;
    return detail::readOptionWords(
        args, positionals,
        [&](const std::string& name, std::string& refusal) {
            found = find(name);
            refusal = found.refusal;
            return found.rule ? (found.rule->takesValue ? (found.rule->valueOptional ? 2 : 1) : 0) : -1;
        },
        [&](const std::string&, const std::string& value, std::string& e) {
            return found.rule->apply(target, value, e);
        },
        error);
}

// The lookup over a plain table: every rule of it, no refusals.
template <typename Target>
std::function<OptionLookup<Target>(const std::string&)> tableLookup(std::span<const OptionRule<Target>> rules)
{
    return [rules](const std::string& name) {
        OptionLookup<Target> found;
        for (const OptionRule<Target>& rule : rules)
            if (name == rule.name)
                found.rule = &rule;
        return found;
    };
}

// The lookup over several tables, as one: a name is looked up in each.
template <typename Target>
std::function<OptionLookup<Target>(const std::string&)> tableLookup(
    std::vector<std::span<const OptionRule<Target>>> tables)
{
    return [tables](const std::string& name) {
        OptionLookup<Target> found;
        for (std::span<const OptionRule<Target>> rules : tables)
            for (const OptionRule<Target>& rule : rules)
                if (name == rule.name)
                    found.rule = &rule;
        return found;
    };
}

}  // namespace commands
