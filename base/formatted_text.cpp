#include "base/formatted_text.h"

#include <charconv>
#include <cmath>

#include <cstdio>

namespace base {

std::string shortestText(double v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    char text[64];
    const auto done = std::to_chars(text, text + sizeof text, v);
    return std::string(text, done.ptr);
}

void appendFormatV(std::string& out, const char* fmt, va_list args)
{
    // Most pieces are short: they are written once into a piece on the stack;
    // a longer one is written again straight into its room in `out`.
    char piece[256];
    va_list again;
    va_copy(again, args);
    // va_end on every way out, a failed allocation included.
    struct End {
        va_list& list;
        ~End() { va_end(list); }
    } end{again};
    const int length = std::vsnprintf(piece, sizeof piece, fmt, args);
    if (length > 0 && static_cast<size_t>(length) < sizeof piece) {
        out.append(piece, static_cast<size_t>(length));
    } else if (length > 0) {
        // vsnprintf writes the closing zero too: room for it past the text,
        // then the string is cut back to the text.
        const size_t start = out.size();
        out.resize(start + static_cast<size_t>(length) + 1);
        std::vsnprintf(out.data() + start, static_cast<size_t>(length) + 1, fmt, again);
        out.resize(start + static_cast<size_t>(length));
    }
}

void appendFormat(std::string& out, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    appendFormatV(out, fmt, args);
    va_end(args);
}

std::string formatText(const char* fmt, ...)
{
    std::string text;
    va_list args;
    va_start(args, fmt);
    appendFormatV(text, fmt, args);
    va_end(args);
    return text;
}

}  // namespace base
