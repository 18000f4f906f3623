#include "shell/dialog_fields.h"

#include <limits>

#include "base/wrapping.h"

namespace shell {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
}  // namespace

std::string_view readField(std::string_view text) { return text.substr(0, std::min(text.size(), kFieldReadLimit)); }

int32_t atoiField(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // The library converts through a saturating long, then keeps 32 bits.
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) {
            value = negative ? std::numeric_limits<int64_t>::min() : kMax;
            return base::wrapTo32(value);
        }
        value = value * 10 + digit;
    }
    if (negative)
        value = -value;
    return base::wrapTo32(value);
}

std::vector<int32_t> parseListField(std::string_view text, size_t n)
{
    text = readField(text);
    std::vector<int32_t> entries;
    entries.reserve(n);
    size_t pos = 0;
    for (size_t k = 0; k < n; ++k) {
        entries.push_back(atoiField(text.substr(pos)));
        while (pos < text.size() && text[pos] != ',' && text[pos] != ' ')
            ++pos;
        if (pos < text.size())
            ++pos;
    }
    return entries;
}

}  // namespace shell
