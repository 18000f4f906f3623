#pragma once
// JSON strings as every writer of the project spells them: quotes,
// backslashes and control characters escaped, UTF-8 passed through.

#include <string>
#include <string_view>

namespace files {

// Appends `s` to `out` as a quoted JSON string.
void appendJsonString(std::string& out, std::string_view s);

}  // namespace files
