#pragma once
// JSON as the project writes and reads it. Writing: keys in insertion order,
// ", " between items and ": " after a key, whole numbers as their digits,
// strings with quotes, backslashes and control characters escaped and UTF-8
// passed through; the one-object-per-line output of quillmore-cli and the
// simulation part files are both written so. Reading: a document parsed
// whole, with the byte where it stops being JSON.

#include <concepts>
#include <cstdint>
#include <algorithm>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace files {

// The first `n` entries of `v` (all of them when it holds fewer): the
// records keep arrays longer than what they count.
template <typename T>
std::span<const T> firstOf(const std::vector<T>& v, size_t n)
{
    return std::span<const T>(v.data(), std::min(n, v.size()));
}

// Appends `s` to `out` as a quoted JSON string.
void appendJsonString(std::string& out, std::string_view s);

class JsonWriter {
  public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(int64_t v);
    JsonWriter& value(uint64_t v);
    // 17 significant digits: the real figures of run's output, whose bytes
    // other programs compare.
    JsonWriter& value(double v);
    // The shortest text that reads back to the same double; null for a
    // value that is no finite number.
    JsonWriter& real(double v);
    JsonWriter& value(std::string_view v);
    JsonWriter& boolean(bool v);
    JsonWriter& null();
    // Text written as it is, in place of the separator before the next item
    // (a part file's line breaks, a document written elsewhere): the next
    // item follows it directly.
    JsonWriter& raw(std::string_view text);
    // The whole numbers of a range as an array.
    template <typename Range>
    JsonWriter& array(const Range& values)
    {
        beginArray();
        for (const auto& v : values)
            number(v);
        return endArray();
    }
    template <std::integral T>
    JsonWriter& field(std::string_view name, const T& v)
    {
        key(name);
        return number(v);
    }
    JsonWriter& field(std::string_view name, std::string_view v)
    {
        key(name);
        return value(v);
    }
    // A whole number of any integral type, unsigned 64-bit values included.
    template <std::integral T>
    JsonWriter& number(const T& v)
    {
        if constexpr (std::is_unsigned_v<T> && sizeof(T) == sizeof(uint64_t))
            return value(static_cast<uint64_t>(v));
        else
            return value(static_cast<int64_t>(v));
    }

    const std::string& text() const { return out_; }
    std::string take() { return std::move(out_); }

  private:
    void separate();
    std::string out_;
    bool needComma_ = false;
};

// Parses `text` as one JSON document (nothing but white space after it, at
// most `maxDepth` arrays and objects inside each other). On failure returns
// false with "not valid JSON at byte N: what" in `error`.
bool parseJson(std::string_view text, nlohmann::json& document, std::string& error, int maxDepth = 33);

}  // namespace files
