#include "json_writer.h"

#include "files/json_text.h"
#include "synthesis/formatted_text.h"

namespace cli {

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
    synthesis::appendFormat(out_, "%.17g", v);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view v)
{
    separate();
    files::appendJsonString(out_, v);
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

}  // namespace cli
