#include "files/simulation_parts.h"

#include "files/json_text.h"
#include "synthesis/formatted_text.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>
#include <numeric>
#include <utility>

namespace files {
namespace {

constexpr std::string_view kHead = "{\"format\": \"quillmore simulation part\",\n";
constexpr std::string_view kFormatStart = "{\"format\": \"quillmore simulation part\"";
constexpr std::string_view kChecksumKey = ",\n \"checksum\": \"";
constexpr size_t kTrailerSize = kChecksumKey.size() + 16 + 3;  // key, 16 digits, "}\n

uint64_t fnv1a(std::string_view bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// --- writing -----------------------------------------------------------

class Out {
  public:
    std::string text;

    void raw(std::string_view s) { text += s; }
    void string(std::string_view s) { appendJsonString(text, s); }
    template <typename T>
    void number(T v)
    {
        text += std::to_string(v);
    }
    template <typename Range>
    void numbers(const Range& values)
    {
        text += '[';
        bool first = true;
        for (const auto& v : values) {
            if (!first)
                text += ", ";
            first = false;
            number(v);
        }
        text += ']';
    }
};

// The fields of one object, separated as the reader expects them.
class ObjectOut {
  public:
    explicit ObjectOut(Out& out) : out_(out) { out_.raw("{"); }
    Out& key(std::string_view name)
    {
        if (!first_)
            out_.raw(", ");
        first_ = false;
        out_.string(name);
        out_.raw(": ");
        return out_;
    }
    template <typename T>
    void field(std::string_view name, T v)
    {
        key(name).number(v);
    }
    void end() { out_.raw("}"); }

  private:
    Out& out_;
    bool first_ = true;
};

template <typename T>
std::vector<T> prefix(const std::vector<T>& v, size_t n)
{
    return std::vector<T>(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(n, v.size())));
}

void writeStreams(Out& out, const synthesis::RandomStreams& r)
{
    ObjectOut o(out);
    o.field("etalonSeed", r.etalonSeed);
    o.field("positionSeed", r.positionSeed);
    o.field("cutStartSeed", r.cutStartSeed);
    o.field("cutEndSeed", r.cutEndSeed);
    o.field("countSeed", r.countSeed);
    o.field("firstFixedGapSeed", r.firstFixedGapSeed);
    o.field("secondFixedGapSeed", r.secondFixedGapSeed);
    o.field("noiseSeed", r.noiseSeed);
    o.end();
}

void writeMessage(Out& out, const synthesis::RecordedMessage& m, const uint64_t* series)
{
    ObjectOut o(out);
    if (series)
        o.field("series", *series);
    o.key("caption").string(m.caption);
    o.key("text").string(m.text);
    o.field("icon", static_cast<int>(m.icon));
    o.end();
}

std::string runText(const SimulationRun& r)
{
    Out out;
    ObjectOut o(out);
    o.key("producer").string(r.producer);
    o.key("options").raw("[");
    for (size_t k = 0; k < r.options.size(); ++k) {
        if (k)
            out.raw(", ");
        out.string(r.options[k]);
    }
    out.raw("]");
    o.field("taskType", r.taskType);
    o.field("seriesType", r.seriesType);
    o.field("createEnergy", r.createEnergy);
    o.field("processEnergy", r.processEnergy);
    o.field("amplitude", r.amplitude);
    o.key("alphabet").raw("[");
    for (size_t k = 0; k < r.alphabet.size(); ++k) {
        if (k)
            out.raw(", ");
        out.numbers(r.alphabet[k]);
    }
    out.raw("]");
    o.field("activeEtalons", r.activeEtalons);
    o.key("requiredList").numbers(r.requiredList);
    o.field("seriesLength", r.seriesLength);
    o.field("tmin", r.tmin);
    o.field("tmax", r.tmax);
    o.field("maxPulses", r.maxPulses);
    o.key("fixedSequence").numbers(r.fixedSequence);
    o.field("fixedMode", r.fixedMode);
    o.field("fixedStart", r.fixedStart);
    o.key("pulseValues").numbers(r.pulseValues);
    o.key("noiseLevels").numbers(r.noiseLevels);
    o.field("repeats", r.repeats);
    writeStreams(o.key("streams"), r.streams);
    o.key("setupMessages").raw("[");
    for (size_t k = 0; k < r.setupMessages.size(); ++k) {
        if (k)
            out.raw(", ");
        writeMessage(out, r.setupMessages[k], nullptr);
    }
    out.raw("]");
    o.end();
    return out.text;
}

void writeLast(Out& out, const SimulationLastSeries& last)
{
    const synthesis::SeriesHeader& s = last.series;
    const size_t K = s.wImpulseQuantity, N = s.dwSeriesSize;
    ObjectOut o(out);
    {
        ObjectOut h(o.key("series"));
        h.field("dwSeriesSize", s.dwSeriesSize);
        h.field("wTmin", s.wTmin);
        h.field("wTmax", s.wTmax);
        h.field("wImpulseSize", s.wImpulseSize);
        h.field("wImpulseQuantity", s.wImpulseQuantity);
        h.field("wMinPulses", s.wMinPulses);
        h.field("wMaxPulses", s.wMaxPulses);
        h.field("wNoiseLevel", s.wNoiseLevel);
        h.field("wAmplitude", s.wAmplitude);
        h.key("lpPositions").numbers(prefix(s.lpPositions, K));
        h.key("lpEtalonSequence").numbers(prefix(s.lpEtalonSequence, K));
        h.key("lpCutFrom").numbers(prefix(s.lpCutFrom, K));
        h.key("lpCutTo").numbers(prefix(s.lpCutTo, K));
        h.key("lpMinPositions").numbers(prefix(s.lpMinPositions, K));
        h.key("lpMaxPositions").numbers(prefix(s.lpMaxPositions, K));
        h.field("wFoundPulses", s.wFoundPulses);
        h.key("lpFoundPositions").numbers(prefix(s.lpFoundPositions, s.wFoundPulses));
        h.key("lpPureData").numbers(prefix(s.lpPureData, N));
        h.key("lpSeriesData").numbers(prefix(s.lpSeriesData, N));
        h.end();
    }
    writeStreams(o.key("streams"), last.streams);
    o.end();
}

std::string hex16(uint64_t v) { return synthesis::formatText("%016llx", static_cast<unsigned long long>(v)); }

// --- reading -----------------------------------------------------------

// Thrown inside the reader with the sentence to report.
struct Refusal {
    std::string why;
};

struct Json {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a number's digits or a string's value
    // An array's elements, or an object's field values with their names in
    // names, in the order written. Names and values apart rather than as
    // pairs: a pair cannot hold a Json while Json is still incomplete.
    std::vector<Json> items;
    std::vector<std::string> names;
};

class Parser {
  public:
    explicit Parser(std::string_view s) : s_(s) {}

    Json document()
    {
        Json v = value(0);
        space();
        if (at_ != s_.size())
            fail("text follows the end of the document");
        return v;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw Refusal{"not valid JSON at byte " + std::to_string(at_) + ": " + what};
    }
    void space()
    {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t'))
            ++at_;
    }
    bool take(char c)
    {
        space();
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void expect(char c)
    {
        if (!take(c))
            fail(std::string("'") + c + "' expected");
    }
    bool word(std::string_view w)
    {
        if (s_.substr(at_, w.size()) != w)
            return false;
        at_ += w.size();
        return true;
    }

    Json value(int depth)
    {
        if (depth > 32)
            fail("nested too deeply");
        space();
        if (at_ >= s_.size())
            fail("a value expected");
        Json v;
        const char c = s_[at_];
        if (c == '{') {
            ++at_;
            v.kind = Json::Kind::Object;
            if (take('}'))
                return v;
            do {
                space();
                if (at_ >= s_.size() || s_[at_] != '"')
                    fail("a field name expected");
                std::string name = string();
                expect(':');
                v.items.push_back(value(depth + 1));
                v.names.push_back(std::move(name));
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            ++at_;
            v.kind = Json::Kind::Array;
            if (take(']'))
                return v;
            do
                v.items.push_back(value(depth + 1));
            while (take(','));
            expect(']');
        } else if (c == '"') {
            v.kind = Json::Kind::String;
            v.text = string();
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            v.kind = Json::Kind::Number;
            const size_t start = at_;
            if (s_[at_] == '-')
                ++at_;
            const size_t digits = at_;
            while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9')
                ++at_;
            if (at_ == digits)
                fail("a digit expected");
            if (at_ < s_.size() && (s_[at_] == '.' || s_[at_] == 'e' || s_[at_] == 'E'))
                fail("only whole numbers are expected");
            v.text = std::string(s_.substr(start, at_ - start));
        } else if (word("true")) {
            v.kind = Json::Kind::Boolean;
            v.boolean = true;
        } else if (word("false")) {
            v.kind = Json::Kind::Boolean;
        } else if (!word("null")) {
            fail("a value expected");
        }
        return v;
    }

    unsigned hex4()
    {
        if (at_ + 4 > s_.size())
            fail("a \\u escape is cut off");
        unsigned u = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[at_++];
            u <<= 4;
            if (c >= '0' && c <= '9')
                u |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                u |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                u |= static_cast<unsigned>(c - 'A' + 10);
            else
                fail("a \\u escape needs 4 hex digits");
        }
        return u;
    }

    std::string string()
    {
        ++at_;  // the opening quote
        std::string out;
        while (true) {
            if (at_ >= s_.size())
                fail("a string is not closed");
            const unsigned char c = static_cast<unsigned char>(s_[at_++]);
            if (c == '"')
                return out;
            if (c < 0x20)
                fail("a control character inside a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= s_.size())
                fail("a string is not closed");
            const char e = s_[at_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned u = hex4();
                if (u >= 0xD800 && u < 0xDC00) {
                    if (!word("\\u"))
                        fail("a lone surrogate in a \\u escape");
                    const unsigned low = hex4();
                    if (low < 0xDC00 || low >= 0xE000)
                        fail("a lone surrogate in a \\u escape");
                    u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                } else if (u >= 0xDC00 && u < 0xE000) {
                    fail("a lone surrogate in a \\u escape");
                }
                if (u < 0x80) {
                    out += static_cast<char>(u);
                } else if (u < 0x800) {
                    out += static_cast<char>(0xC0 | (u >> 6));
                    out += static_cast<char>(0x80 | (u & 0x3F));
                } else if (u < 0x10000) {
                    out += static_cast<char>(0xE0 | (u >> 12));
                    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (u & 0x3F));
                } else {
                    out += static_cast<char>(0xF0 | (u >> 18));
                    out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
                    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (u & 0x3F));
                }
                break;
            }
            default:
                fail("an unknown escape in a string");
            }
        }
    }

    std::string_view s_;
    size_t at_ = 0;
};

// An object's fields, read by name; every refusal names the field's path.
class Fields {
  public:
    Fields(const Json& object, std::string path) : object_(object), path_(std::move(path))
    {
        if (object_.kind != Json::Kind::Object)
            throw Refusal{"field '" + path_ + "' must be an object"};
    }

    const Json& need(std::string_view name) const
    {
        for (size_t k = 0; k < object_.names.size(); ++k)
            if (object_.names[k] == name)
                return object_.items[k];
        throw Refusal{"field '" + at(name) + "' is missing"};
    }

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
        values.reserve(a.items.size());
        for (size_t k = 0; k < a.items.size(); ++k)
            values.push_back(toInteger<T>(a.items[k], at(name) + "[" + std::to_string(k) + "]"));
        return values;
    }
    std::string string(std::string_view name) const
    {
        const Json& v = need(name);
        if (v.kind != Json::Kind::String)
            throw Refusal{"field '" + at(name) + "' must be a string"};
        return v.text;
    }
    bool boolean(std::string_view name) const
    {
        const Json& v = need(name);
        if (v.kind != Json::Kind::Boolean)
            throw Refusal{"field '" + at(name) + "' must be true or false"};
        return v.boolean;
    }
    const Json& array(std::string_view name) const
    {
        const Json& v = need(name);
        if (v.kind != Json::Kind::Array)
            throw Refusal{"field '" + at(name) + "' must be an array"};
        return v;
    }
    Fields object(std::string_view name) const { return Fields(need(name), at(name)); }
    std::string at(std::string_view name) const
    {
        return path_.empty() ? std::string(name) : path_ + "." + std::string(name);
    }

    template <typename T>
    static T toInteger(const Json& v, const std::string& path)
    {
        T value{};
        if (v.kind == Json::Kind::Number) {
            const char* end = v.text.data() + v.text.size();
            const auto [stop, problem] = std::from_chars(v.text.data(), end, value);
            if (problem == std::errc() && stop == end)
                return value;
        }
        throw Refusal{"field '" + path + "' must be a whole number from " +
                      std::to_string(std::numeric_limits<T>::min()) + " to " +
                      std::to_string(std::numeric_limits<T>::max())};
    }

  private:
    const Json& object_;
    std::string path_;
};

synthesis::RandomStreams readStreams(const Fields& f)
{
    synthesis::RandomStreams r;
    r.etalonSeed = f.integer<int32_t>("etalonSeed");
    r.positionSeed = f.integer<int32_t>("positionSeed");
    r.cutStartSeed = f.integer<int32_t>("cutStartSeed");
    r.cutEndSeed = f.integer<int32_t>("cutEndSeed");
    r.countSeed = f.integer<int32_t>("countSeed");
    r.firstFixedGapSeed = f.integer<int32_t>("firstFixedGapSeed");
    r.secondFixedGapSeed = f.integer<int32_t>("secondFixedGapSeed");
    r.noiseSeed = f.integer<int32_t>("noiseSeed");
    return r;
}

synthesis::RecordedMessage readMessage(const Fields& f)
{
    synthesis::RecordedMessage m;
    m.caption = f.string("caption");
    m.text = f.string("text");
    const int icon = f.integer<int>("icon");
    if (icon < static_cast<int>(synthesis::MessageIcon::None) ||
        icon > static_cast<int>(synthesis::MessageIcon::Question))
        throw Refusal{"field '" + f.at("icon") + "' must be a message icon from 0 to 4"};
    m.icon = static_cast<synthesis::MessageIcon>(icon);
    return m;
}

SimulationRun readRun(const Fields& f)
{
    SimulationRun r;
    r.producer = f.string("producer");
    const Json& options = f.array("options");
    for (size_t k = 0; k < options.items.size(); ++k) {
        if (options.items[k].kind != Json::Kind::String)
            throw Refusal{"field '" + f.at("options") + "[" + std::to_string(k) + "]' must be a string"};
        r.options.push_back(options.items[k].text);
    }
    r.taskType = f.integer<uint16_t>("taskType");
    r.seriesType = f.integer<uint16_t>("seriesType");
    r.createEnergy = f.integer<uint16_t>("createEnergy");
    r.processEnergy = f.integer<int16_t>("processEnergy");
    r.amplitude = f.integer<int16_t>("amplitude");
    const Json& alphabet = f.array("alphabet");
    for (size_t k = 0; k < alphabet.items.size(); ++k) {
        const std::string path = f.at("alphabet") + "[" + std::to_string(k) + "]";
        if (alphabet.items[k].kind != Json::Kind::Array)
            throw Refusal{"field '" + path + "' must be an array"};
        std::vector<int16_t> samples;
        for (size_t j = 0; j < alphabet.items[k].items.size(); ++j)
            samples.push_back(
                Fields::toInteger<int16_t>(alphabet.items[k].items[j], path + "[" + std::to_string(j) + "]"));
        r.alphabet.push_back(std::move(samples));
    }
    r.activeEtalons = f.integer<uint16_t>("activeEtalons");
    r.requiredList = f.integers<uint16_t>("requiredList");
    r.seriesLength = f.integer<uint32_t>("seriesLength");
    r.tmin = f.integer<uint16_t>("tmin");
    r.tmax = f.integer<uint16_t>("tmax");
    r.maxPulses = f.integer<uint16_t>("maxPulses");
    r.fixedSequence = f.integers<int16_t>("fixedSequence");
    r.fixedMode = f.integer<uint16_t>("fixedMode");
    r.fixedStart = f.integer<uint16_t>("fixedStart");
    r.pulseValues = f.integers<int16_t>("pulseValues");
    r.noiseLevels = f.integers<int16_t>("noiseLevels");
    r.repeats = f.integer<int32_t>("repeats");
    r.streams = readStreams(f.object("streams"));
    const Json& setup = f.array("setupMessages");
    for (size_t k = 0; k < setup.items.size(); ++k)
        r.setupMessages.push_back(
            readMessage(Fields(setup.items[k], f.at("setupMessages") + "[" + std::to_string(k) + "]")));
    return r;
}

SimulationLastSeries readLast(const Fields& f)
{
    SimulationLastSeries last;
    const Fields h = f.object("series");
    synthesis::SeriesHeader& s = last.series;
    s.dwSeriesSize = h.integer<uint32_t>("dwSeriesSize");
    s.wTmin = h.integer<uint16_t>("wTmin");
    s.wTmax = h.integer<uint16_t>("wTmax");
    s.wImpulseSize = h.integer<uint16_t>("wImpulseSize");
    s.wImpulseQuantity = h.integer<uint16_t>("wImpulseQuantity");
    s.wMinPulses = h.integer<uint16_t>("wMinPulses");
    s.wMaxPulses = h.integer<uint16_t>("wMaxPulses");
    s.wNoiseLevel = h.integer<uint16_t>("wNoiseLevel");
    s.wAmplitude = h.integer<uint16_t>("wAmplitude");
    s.wFoundPulses = h.integer<uint16_t>("wFoundPulses");
    auto cut = [&h](std::string_view name, size_t most) {
        std::vector<int16_t> v = h.integers<int16_t>(name);
        if (v.size() > most)
            throw Refusal{"field '" + h.at(name) + "' holds " + std::to_string(v.size()) + " entries, more than " +
                          std::to_string(most)};
        return v;
    };
    const size_t K = s.wImpulseQuantity, N = s.dwSeriesSize;
    s.lpPositions = cut("lpPositions", K);
    s.lpEtalonSequence = cut("lpEtalonSequence", K);
    s.lpCutFrom = cut("lpCutFrom", K);
    s.lpCutTo = cut("lpCutTo", K);
    s.lpMinPositions = cut("lpMinPositions", K);
    s.lpMaxPositions = cut("lpMaxPositions", K);
    s.lpFoundPositions = cut("lpFoundPositions", s.wFoundPulses);
    s.lpPureData = cut("lpPureData", N);
    s.lpSeriesData = cut("lpSeriesData", N);
    s.dwSeriesCapacity = static_cast<uint32_t>(s.lpSeriesData.size());
    s.wPulsesCapacity = static_cast<uint16_t>(s.lpPositions.size());
    last.streams = readStreams(f.object("streams"));
    return last;
}

std::string seriesRange(uint64_t first, uint64_t end)
{
    // Shown counted from 1, as "series 1 to 50".
    if (end == first)
        return "no series";
    if (end == first + 1)
        return "series " + std::to_string(first + 1);
    return "series " + std::to_string(first + 1) + " to " + std::to_string(end);
}

// What a part's own numbers must satisfy, beyond each field's range.
void checkShare(const SimulationPartFile& p)
{
    const SimulationRun& r = p.run;
    const detection::SimulationPart& s = p.part;
    if (p.shards < 1 || p.shard < 1 || p.shard > p.shards)
        throw Refusal{"its shard " + std::to_string(p.shard) + "/" + std::to_string(p.shards) +
                      " is not K/N with 1 <= K <= N"};
    const uint64_t R = static_cast<uint64_t>(r.repeats & 0xFFFF);
    if (r.pulseValues.empty() || r.noiseLevels.empty() || R == 0)
        throw Refusal{"its run has no series (pulse values, noise levels or repeats missing)"};
    const uint64_t cells = uint64_t{r.pulseValues.size()} * r.noiseLevels.size();
    if (s.seriesCount != cells * R)
        throw Refusal{"its run counts " + std::to_string(s.seriesCount) + " series, its grid makes " +
                      std::to_string(cells * R)};
    const detection::SeriesShare share = detection::shareOfSeries(s.seriesCount, p.shard - 1, p.shards);
    if (s.firstSeries != share.first || s.endSeries != share.end)
        throw Refusal{"its share (" + seriesRange(s.firstSeries, s.endSeries) + ") is not shard " +
                      std::to_string(p.shard) + "/" + std::to_string(p.shards) + " of " +
                      std::to_string(s.seriesCount) + " series"};
    if (s.cellSums.size() != cells)
        throw Refusal{"it holds " + std::to_string(s.cellSums.size()) + " cell sums for the " + std::to_string(cells) +
                      " cells of its run"};
    uint64_t previous = s.firstSeries;
    for (const auto& [series, m] : s.messages) {
        if (series < previous || series >= s.endSeries)
            throw Refusal{"a message of series " + std::to_string(series + 1) +
                          " is out of order or outside its share (" + seriesRange(s.firstSeries, s.endSeries) + ")"};
        previous = series;
    }
    const bool endsRun = s.endSeries == s.seriesCount && s.firstSeries < s.endSeries;
    if (s.holdsLast != endsRun)
        throw Refusal{endsRun ? "its share ends the run but it does not say so"
                              : "it says it ends the run but its share does not"};
    if (s.holdsLast != p.last.has_value())
        throw Refusal{s.holdsLast ? "it ends the run but holds no last series"
                                  : "it holds a last series but does not end the run"};
}

}  // namespace

uint64_t simulationRunDigest(const SimulationRun& run) { return fnv1a(runText(run)); }

std::string formatDigest(uint64_t digest) { return hex16(digest); }

std::string writeSimulationPart(const SimulationPartFile& file)
{
    const std::string run = runText(file.run);
    Out out;
    out.raw(kHead);
    out.raw(" \"version\": " + std::to_string(kSimulationPartVersion) + ",\n");
    out.raw(" \"digest\": \"" + hex16(fnv1a(run)) + "\",\n");
    out.raw(" \"run\": " + run + ",\n");
    const detection::SimulationPart& s = file.part;
    out.raw(" \"share\": ");
    {
        ObjectOut o(out);
        o.field("shard", file.shard);
        o.field("shards", file.shards);
        o.field("firstSeries", s.firstSeries);
        o.field("endSeries", s.endSeries);
        o.field("seriesCount", s.seriesCount);
        o.key("holdsLast").raw(s.holdsLast ? "true" : "false");
        o.end();
    }
    out.raw(",\n \"cellSums\": ");
    out.numbers(s.cellSums);
    out.raw(",\n \"messages\": [");
    for (size_t k = 0; k < s.messages.size(); ++k) {
        out.raw(k ? ",\n  " : "\n  ");
        writeMessage(out, s.messages[k].second, &s.messages[k].first);
    }
    out.raw("],\n \"last\": ");
    if (file.last)
        writeLast(out, *file.last);
    else
        out.raw("null");
    const uint64_t checksum = fnv1a(out.text);
    out.raw(kChecksumKey);
    out.raw(hex16(checksum) + "\"}\n");
    return out.text;
}

bool readSimulationPart(std::string_view bytes, SimulationPartFile& file, std::string& error)
{
    try {
        if (bytes.empty())
            throw Refusal{"empty, not a simulation part"};
        if (bytes.size() < kFormatStart.size() ? kFormatStart.substr(0, bytes.size()) != bytes
                                               : !bytes.starts_with(kFormatStart))
            throw Refusal{"not a simulation part (it does not begin as one)"};
        // The trailer: ,\n "checksum": "<16 hex digits>"}\n
        const bool whole = [&] {
            if (bytes.size() < kHead.size() + kTrailerSize)
                return false;
            const std::string_view tail = bytes.substr(bytes.size() - kTrailerSize);
            if (!tail.starts_with(kChecksumKey) || !tail.ends_with("\"}\n"))
                return false;
            const std::string_view digits = tail.substr(kChecksumKey.size(), 16);
            return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
        }();
        if (!whole)
            throw Refusal{"cut off: it does not end with its checksum"};
        const std::string_view body = bytes.substr(0, bytes.size() - kTrailerSize);
        const std::string_view stated = bytes.substr(bytes.size() - kTrailerSize + kChecksumKey.size(), 16);
        if (hex16(fnv1a(body)) != stated)
            throw Refusal{"changed since it was written: its checksum does not match its contents"};

        const Json document = Parser(bytes).document();
        const Fields top(document, "");
        if (top.string("format") != "quillmore simulation part")
            throw Refusal{"not a simulation part (its format is '" + top.string("format") + "')"};
        const int version = top.integer<int>("version");
        if (version != kSimulationPartVersion)
            throw Refusal{"of format version " + std::to_string(version) + "; this program reads version " +
                          std::to_string(kSimulationPartVersion)};

        SimulationPartFile p;
        p.run = readRun(top.object("run"));
        const std::string digest = top.string("digest");
        p.digest = simulationRunDigest(p.run);
        if (digest != hex16(p.digest))
            throw Refusal{"its run parameters do not match its digest " + digest};

        const Fields share = top.object("share");
        p.shard = share.integer<uint32_t>("shard");
        p.shards = share.integer<uint32_t>("shards");
        p.part.firstSeries = share.integer<uint64_t>("firstSeries");
        p.part.endSeries = share.integer<uint64_t>("endSeries");
        p.part.seriesCount = share.integer<uint64_t>("seriesCount");
        p.part.holdsLast = share.boolean("holdsLast");
        p.part.cellSums = top.integers<int64_t>("cellSums");
        const Json& messages = top.array("messages");
        for (size_t k = 0; k < messages.items.size(); ++k) {
            const Fields m(messages.items[k], "messages[" + std::to_string(k) + "]");
            p.part.messages.emplace_back(m.integer<uint64_t>("series"), readMessage(m));
        }
        if (top.need("last").kind != Json::Kind::Null)
            p.last = readLast(top.object("last"));
        checkShare(p);
        file = std::move(p);
        return true;
    } catch (const Refusal& r) {
        error = r.why;
        return false;
    }
}

bool checkSimulationPartSet(std::span<const SimulationPartFile> parts, std::span<const std::string> names,
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
        const detection::SimulationPart &x = parts[a].part, &y = parts[b].part;
        return x.firstSeries != y.firstSeries ? x.firstSeries < y.firstSeries : x.endSeries < y.endSeries;
    });
    const uint64_t count = parts[0].part.seriesCount;
    uint64_t covered = 0;
    size_t coveredBy = 0;
    for (const size_t k : order) {
        const detection::SimulationPart& p = parts[k].part;
        if (p.endSeries == p.firstSeries)
            continue;  // an empty share (more shards than series) holds nothing to clash
        if (p.firstSeries < covered) {
            error = name(coveredBy) + " and " + name(k) + " both hold " +
                    seriesRange(p.firstSeries, std::min(covered, p.endSeries)) + " of " + std::to_string(count);
            return false;
        }
        if (p.firstSeries > covered) {
            error = "no part holds " + seriesRange(covered, p.firstSeries) + " of " + std::to_string(count) +
                    ": the set is incomplete";
            return false;
        }
        covered = p.endSeries;
        coveredBy = k;
    }
    if (covered != count) {
        error =
            "no part holds " + seriesRange(covered, count) + " of " + std::to_string(count) + ": the set is incomplete";
        return false;
    }
    return true;
}

}  // namespace files
