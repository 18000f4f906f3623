#pragma once
// What the part files of a run split over processes share, whatever they
// hold: JSON text that begins {"format": "quillmore <kind>", one top-level
// field a line, and ends with a checksum of every byte before it, so that a
// cut-off or changed file is told from a whole one before it is parsed; the
// 64-bit FNV-1a digest that ties the parts of one run together; and the
// reading of named fields, whose every refusal names the field's path.

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace files {

// 64-bit FNV-1a of the bytes.
uint64_t fnv1a(std::string_view bytes);
// 16 lower-case hex digits.
std::string hex16(uint64_t v);

// Appends ,\n "checksum": "<16 hex digits of the FNV-1a of `body`>"}\n.
std::string sealPart(std::string body);

// Thrown inside the part readers with the sentence to report.
struct PartRefusal {
    std::string why;
};

// Checks that `bytes` begin as a part of `kind` ("simulation part") does,
// end with their checksum and match it; throws the refusal that says which
// is not so.
void checkSealedPart(std::string_view bytes, std::string_view kind);

// What a part holds of its run: shard `shard` of `shards`, the items
// [first, end) of `count` (series of a simulation, files of a detection).
struct PartShare {
    uint64_t digest = 0;  // of the run the part belongs to
    uint32_t shard = 1, shards = 1;
    uint64_t first = 0, end = 0, count = 0;
};

// The words of the items a run is shared in: "series" and "series", "file"
// and "files".
struct ItemWords {
    const char* one;
    const char* many;
};

// Items counted from 1, as "series 1 to 50", "file 3" or "no files".
std::string itemRange(uint64_t first, uint64_t end, ItemWords words);

// Whether the parts (named by `names`, else "part K") make one run's whole
// set: one digest, no shard twice, and their items covering the run's once
// each. False with the sentence that names the parts at fault.
bool checkPartSet(std::span<const PartShare> parts, std::span<const std::string> names, ItemWords words,
                  std::string& error);

// An object's fields, read by name; every refusal names the field's path.
class PartFields {
  public:
    using Json = nlohmann::json;

    PartFields(const Json& object, std::string path);

    const Json& need(std::string_view name) const;
    template <typename T>
    T integer(std::string_view name) const
    {
        return toInteger<T>(need(name), at(name));
    }
    template <typename T>
    std::vector<T> integers(std::string_view name) const
    {
        const Json& a = array(name);
        std::vector<T> values;
        values.reserve(a.size());
        for (size_t k = 0; k < a.size(); ++k)
            values.push_back(toInteger<T>(a[k], at(name) + "[" + std::to_string(k) + "]"));
        return values;
    }
    std::string string(std::string_view name) const;
    std::vector<std::string> strings(std::string_view name) const;
    bool boolean(std::string_view name) const;
    const Json& array(std::string_view name) const;
    PartFields object(std::string_view name) const { return PartFields(need(name), at(name)); }
    std::string at(std::string_view name) const;

    template <typename T>
    static T toInteger(const Json& v, const std::string& path)
    {
        if (v.is_number_float())
            throw PartRefusal{"field '" + path + "' holds a fraction or an exponent: only whole numbers are expected"};
        if (v.is_number_unsigned()) {
            const uint64_t u = v.get<uint64_t>();
            if (std::in_range<T>(u))
                return static_cast<T>(u);
        } else if (v.is_number_integer()) {
            const int64_t i = v.get<int64_t>();
            if (std::in_range<T>(i))
                return static_cast<T>(i);
        }
        throw PartRefusal{"field '" + path + "' must be a whole number from " +
                          std::to_string(std::numeric_limits<T>::min()) + " to " +
                          std::to_string(std::numeric_limits<T>::max())};
    }

  private:
    const Json& object_;
    std::string path_;
};

}  // namespace files
