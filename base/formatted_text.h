#pragma once
// printf-style text into a std::string with the system's own formats. The
// string grows to hold the whole text, so nothing is ever cut, however long
// the arguments (a file name, a long list of figures). gcc checks every
// call's arguments against its format.

#include <cstdarg>
#include <string>

namespace base {

// The formatted text, every byte of it (a "%c" of code 0 stays in it); empty
// when the format cannot be applied.
std::string formatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Appends the formatted text to `out`; appends nothing when the format cannot
// be applied.
void appendFormat(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The shortest decimal text that reads back to the same double ("0.29",
// "5", "1e+300"); "nan", "inf" or "-inf" for the values that are no number.
std::string shortestText(double v);

// appendFormat for a caller that is itself variadic; `args` is used up.
void appendFormatV(std::string& out, const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));

}  // namespace base
