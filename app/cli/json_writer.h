#pragma once
// A small JSON writer for the one-object-per-line output of quillmore-cli:
// keys in insertion order, numbers as integers, strings escaped.

#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cli {

class JsonWriter {
  public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(int64_t v);
    JsonWriter& value(double v);
    JsonWriter& value(std::string_view v);
    JsonWriter& null();
    template <typename T>
    JsonWriter& array(std::span<const T> values)
    {
        beginArray();
        for (const T& v : values)
            value(static_cast<int64_t>(v));
        return endArray();
    }
    template <std::integral T>
    JsonWriter& field(std::string_view name, const T& v)
    {
        key(name);
        return value(static_cast<int64_t>(v));
    }
    JsonWriter& field(std::string_view name, std::string_view v)
    {
        key(name);
        return value(v);
    }

    const std::string& text() const { return out_; }

  private:
    void separate();
    std::string out_;
    bool needComma_ = false;
};

}  // namespace cli
