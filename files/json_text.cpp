#include "files/json_text.h"

#include "synthesis/formatted_text.h"

namespace files {

void appendJsonString(std::string& out, std::string_view s)
{
    out += '"';
    for (const unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                synthesis::appendFormat(out, "\\u%04x", c);
            } else {
                out += static_cast<char>(c);  // UTF-8 passes through
            }
        }
    }
    out += '"';
}

}  // namespace files
