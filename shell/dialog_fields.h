#pragma once
// How the parameter dialogs write and read their edit fields: numbers in
// decimal, lists as "a,b,c", read back with the C library's atoi over at most
// 99 characters of the field.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// Characters of a field that are read (the rest of a longer text is lost).
constexpr size_t kFieldReadLimit = 99;

// atoi: leading blanks skipped, an optional sign, digits up to the first
// other character; text without digits gives 0. Out-of-range values keep
// their low 32 bits, like the library's conversion through long.
int32_t atoiField(std::string_view text);

// The field as the dialog reads it: cut to kFieldReadLimit characters.
std::string_view readField(std::string_view text);

// Each entry as "%d,", the final comma removed; an empty list gives "".
template <typename T>
std::string formatListField(std::span<const T> entries)
{
    std::string text;
    for (const T& e : entries)
        text += std::to_string(static_cast<int>(e)) + ",";
    if (!text.empty())
        text.pop_back();
    return text;
}

// Reads n entries: atoi from the current position, then past the next comma
// or blank. After "2, 5, 7" the scan stops at the blank that atoi skipped, so
// the third entry reads the 5 again; entries past the end read as 0.
std::vector<int32_t> parseListField(std::string_view text, size_t n);

}  // namespace shell
