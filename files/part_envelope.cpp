#include "files/part_envelope.h"

#include "base/formatted_text.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace files {

namespace {

constexpr std::string_view kChecksumKey = ",\n \"checksum\": \"";
constexpr size_t kTrailerSize = kChecksumKey.size() + 16 + 3;  // key, 16 digits, "}\n

}  // namespace

uint64_t fnv1a(std::string_view bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex16(uint64_t v) { return base::formatText("%016llx", static_cast<unsigned long long>(v)); }

std::string sealPart(std::string body)
{
    const uint64_t checksum = fnv1a(body);
    body += kChecksumKey;
    body += hex16(checksum) + "\"}\n";
    return body;
}

void checkSealedPart(std::string_view bytes, std::string_view kind)
{
    const std::string a = "a " + std::string(kind);
    const std::string formatStart = "{\"format\": \"quillmore " + std::string(kind) + "\"";
    if (bytes.empty())
        throw PartRefusal{"empty, not " + a};
    const std::string_view start = formatStart;
    if (bytes.size() < start.size() ? start.substr(0, bytes.size()) != bytes : !bytes.starts_with(start))
        throw PartRefusal{"not " + a + " (it does not begin as one)"};
    // The trailer: ,\n "checksum": "<16 hex digits>"}\n
    const bool whole = [&] {
        if (bytes.size() < start.size() + 2 + kTrailerSize)
            return false;
        const std::string_view tail = bytes.substr(bytes.size() - kTrailerSize);
        if (!tail.starts_with(kChecksumKey) || !tail.ends_with("\"}\n"))
            return false;
        const std::string_view digits = tail.substr(kChecksumKey.size(), 16);
        return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
    }();
    if (!whole)
        throw PartRefusal{"cut off: it does not end with its checksum"};
    const std::string_view body = bytes.substr(0, bytes.size() - kTrailerSize);
    const std::string_view stated = bytes.substr(bytes.size() - kTrailerSize + kChecksumKey.size(), 16);
    if (hex16(fnv1a(body)) != stated)
        throw PartRefusal{"changed since it was written: its checksum does not match its contents"};
}

std::string itemRange(uint64_t first, uint64_t end, ItemWords words)
{
    if (end == first)
        return std::string("no ") + words.many;
    if (end == first + 1)
        return std::string(words.one) + " " + std::to_string(first + 1);
    return std::string(words.many) + " " + std::to_string(first + 1) + " to " + std::to_string(end);
}

bool checkPartSet(std::span<const PartShare> parts, std::span<const std::string> names, ItemWords words,
                  std::string& error)
{
    auto name = [&names](size_t k) { return k < names.size() ? names[k] : "part " + std::to_string(k + 1); };
    if (parts.empty()) {
        error = "there are no parts to put together";
        return false;
    }
    for (size_t k = 1; k < parts.size(); ++k)
        if (parts[k].digest != parts[0].digest) {
            error = name(k) + " is of another run than " + name(0) + " (digest " + hex16(parts[k].digest) + ", not " +
                    hex16(parts[0].digest) + ")";
            return false;
        }
    std::map<std::pair<uint32_t, uint32_t>, size_t> shards;
    for (size_t k = 0; k < parts.size(); ++k) {
        const auto [at, fresh] = shards.emplace(std::pair(parts[k].shard, parts[k].shards), k);
        if (!fresh) {
            error = name(at->second) + " and " + name(k) + " are both shard " + std::to_string(parts[k].shard) + "/" +
                    std::to_string(parts[k].shards);
            return false;
        }
    }
    std::vector<size_t> order(parts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&parts](size_t a, size_t b) {
        return parts[a].first != parts[b].first ? parts[a].first < parts[b].first : parts[a].end < parts[b].end;
    });
    const uint64_t count = parts[0].count;
    uint64_t covered = 0;
    size_t coveredBy = 0;
    for (const size_t k : order) {
        const PartShare& p = parts[k];
        if (p.end == p.first)
            continue;  // an empty share (more shards than items) holds nothing to clash
        if (p.first < covered) {
            error = name(coveredBy) + " and " + name(k) + " both hold " +
                    itemRange(p.first, std::min(covered, p.end), words) + " of " + std::to_string(count);
            return false;
        }
        if (p.first > covered) {
            error = "no part holds " + itemRange(covered, p.first, words) + " of " + std::to_string(count) +
                    ": the set is incomplete";
            return false;
        }
        covered = p.end;
        coveredBy = k;
    }
    if (covered != count) {
        error = "no part holds " + itemRange(covered, count, words) + " of " + std::to_string(count) +
                ": the set is incomplete";
        return false;
    }
    return true;
}

PartFields::PartFields(const Json& object, std::string path) : object_(object), path_(std::move(path))
{
    if (!object_.is_object())
        throw PartRefusal{"field '" + path_ + "' must be an object"};
}

const PartFields::Json& PartFields::need(std::string_view name) const
{
    if (const auto found = object_.find(name); found != object_.end())
        return *found;
    throw PartRefusal{"field '" + at(name) + "' is missing"};
}

std::string PartFields::string(std::string_view name) const
{
    const Json& v = need(name);
    if (!v.is_string())
        throw PartRefusal{"field '" + at(name) + "' must be a string"};
    return v.get<std::string>();
}

std::vector<std::string> PartFields::strings(std::string_view name) const
{
    const Json& a = array(name);
    std::vector<std::string> values;
    values.reserve(a.size());
    for (size_t k = 0; k < a.size(); ++k) {
        if (!a[k].is_string())
            throw PartRefusal{"field '" + at(name) + "[" + std::to_string(k) + "]' must be a string"};
        values.push_back(a[k].get<std::string>());
    }
    return values;
}

bool PartFields::boolean(std::string_view name) const
{
    const Json& v = need(name);
    if (!v.is_boolean())
        throw PartRefusal{"field '" + at(name) + "' must be true or false"};
    return v.get<bool>();
}

const PartFields::Json& PartFields::array(std::string_view name) const
{
    const Json& v = need(name);
    if (!v.is_array())
        throw PartRefusal{"field '" + at(name) + "' must be an array"};
    return v;
}

std::string PartFields::at(std::string_view name) const
{
    return path_.empty() ? std::string(name) : path_ + "." + std::string(name);
}

}  // namespace files
