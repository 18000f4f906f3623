#include "files/json.h"

#include <nlohmann/json.hpp>

#include <cmath>

#include "base/formatted_text.h"

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
                base::appendFormat(out, "\\u%04x", c);
            } else {
                out += static_cast<char>(c);  // UTF-8 passes through
            }
        }
    }
    out += '"';
}

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

JsonWriter& JsonWriter::value(uint64_t v)
{
    separate();
    out_ += std::to_string(v);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(double v)
{
    separate();
    base::appendFormat(out_, "%.17g", v);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::real(double v)
{
    if (!std::isfinite(v))
        return null();
    separate();
    out_ += base::shortestText(v);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view v)
{
    separate();
    appendJsonString(out_, v);
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

JsonWriter& JsonWriter::boolean(bool v)
{
    separate();
    out_ += v ? "true" : "false";
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::raw(std::string_view text)
{
    out_ += text;
    needComma_ = false;
    return *this;
}

namespace {

// Thrown by the depth guard; parsing stops at the byte it had reached.
struct TooDeep {};

}  // namespace

bool parseJson(std::string_view text, nlohmann::json& document, std::string& error, int maxDepth)
{
    using Event = nlohmann::json::parse_event_t;
    // The guard counts open arrays and objects itself: the library's depth
    // for an event differs between opening, closing and plain values.
    int open = 0;
    const nlohmann::json::parser_callback_t guard = [&](int, Event event, nlohmann::json&) {
        if (event == Event::object_start || event == Event::array_start) {
            if (++open > maxDepth)
                throw TooDeep{};
        } else if (event == Event::object_end || event == Event::array_end) {
            --open;
        }
        return true;
    };
    try {
        document = nlohmann::json::parse(text.begin(), text.end(), guard);
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        const size_t reached = e.byte > 0 ? e.byte - 1 : 0;
        const std::string what = e.what();
        // "[json.exception.parse_error.101] parse error at line L, column C: why"
        const size_t colon = what.find(": ");
        error = "not valid JSON at byte " + std::to_string(reached) + ": " +
                (colon == std::string::npos ? what : what.substr(colon + 2));
    } catch (const TooDeep&) {
        error = "not valid JSON: nested more than " + std::to_string(maxDepth) + " deep";
    } catch (const nlohmann::json::exception& e) {
        error = std::string("not valid JSON: ") + e.what();
    }
    return false;
}

}  // namespace files
