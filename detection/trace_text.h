#pragma once
// Trace texts are built piece by piece with the system's printf formats into
// a string that grows as needed, so a long trace is never cut or overrun.

#include <cstdio>
#include <string>

namespace trace_text {

template <class... Args>
void appendFormat(std::string& out, const char* format, Args... args)
{
    char piece[160];
    const int length = std::snprintf(piece, sizeof piece, format, args...);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) < sizeof piece) {
        out.append(piece, static_cast<size_t>(length));
        return;
    }
    std::string large(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(large.data(), large.size(), format, args...);
    out.append(large.data(), static_cast<size_t>(length));
}

}  // namespace trace_text
