#include "json_writer.h"

#include <cstdio>

void JsonWriter::separate()
{
    if (needComma_)
        out_ += ", ";
    needComma_ = false;
}

JsonWriter& JsonWriter::beginObject()
{
    separate();
    out_ += '{';
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    out_ += '}';
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    separate();
    out_ += '[';
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    out_ += ']';
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    value(name);
    out_ += ": ";
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::value(int64_t v)
{
    separate();
    out_ += std::to_string(v);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(double v)
{
    separate();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    out_ += buffer;
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view v)
{
    separate();
    out_ += '"';
    for (unsigned char c : v) {
        switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out_ += buffer;
            } else {
                out_ += static_cast<char>(c);  // UTF-8 passes through
            }
        }
    }
    out_ += '"';
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::null()
{
    separate();
    out_ += "null";
    needComma_ = true;
    return *this;
}
