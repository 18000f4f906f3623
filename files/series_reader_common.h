#pragma once
// What the readers of a researcher's own series share: the pieces of their
// refusal messages, and each reader's own entry, which series_readers.cpp
// calls from the public functions and its format guess. The records are
// only named here: the readers include series_readers.h for them, and
// series_readers.cpp can include this header without the two including
// each other.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace files {

struct SeriesReadOptions;
struct SeriesReadResult;

// A refusal whose whole message is `message` (defined in series_readers.cpp).
SeriesReadResult refuse(std::string message);

// "name: what".
inline std::string prefixed(std::string_view name, std::string_view what)
{
    std::string s(name);
    s += ": ";
    s += what;
    return s;
}

inline std::string number(uint64_t v) { return std::to_string(v); }

// Shows a cell inside a message: quoted, and cut short so that one bad
// line of a huge file does not make a huge message.
inline std::string quoted(std::string_view cell)
{
    constexpr size_t kShown = 40;
    std::string s = "\"";
    if (cell.size() > kShown) {
        s.append(cell.substr(0, kShown));
        s += "...";
    } else {
        s.append(cell);
    }
    s += '"';
    return s;
}

inline bool allGaps(const std::vector<double>& values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = static_cast<char>(a[i] >= 'A' && a[i] <= 'Z' ? a[i] - 'A' + 'a' : a[i]);
        const char y = static_cast<char>(b[i] >= 'A' && b[i] <= 'Z' ? b[i] - 'A' + 'a' : b[i]);
        if (x != y)
            return false;
    }
    return true;
}

// A column number as the options give it: decimal digits only, at most 18.
inline std::optional<uint64_t> parseIndex(std::string_view s)
{
    if (s.empty() || s.size() > 18)
        return std::nullopt;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return v;
}

// The first bytes of every .npy file.
inline constexpr std::string_view kNpyMagic = "\x93NUMPY";

// The readers themselves, each in a file of its own. They may throw
// std::bad_alloc; the public functions turn that into a refusal.
// text_table_reader.cpp
SeriesReadResult readText(std::string_view text, std::string_view name, const SeriesReadOptions& options);
// npy_reader.cpp
SeriesReadResult readNpy(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options);
// sound_reader.cpp; `notSound` tells whether libsndfile refused to open the
// bytes at all, so that the format guess can try the next reader.
SeriesReadResult readSound(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options,
                           bool* notSound);
// data_file_series_reader.cpp
SeriesReadResult readDataFile(std::span<const uint8_t> bytes, std::string_view name);

}  // namespace files
