#include "files/simulation_parts.h"

#include "files/json.h"
#include "files/part_envelope.h"
#include "base/formatted_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <map>
#include <numeric>
#include <utility>

namespace files {
namespace {

constexpr std::string_view kHead = "{\"format\": \"quillmore simulation part\",\n";

// --- writing -----------------------------------------------------------

void writeStreams(JsonWriter& j, const synthesis::RandomStreams& r)
{
    j.beginObject();
    j.field("etalonSeed", r.etalonSeed);
    j.field("positionSeed", r.positionSeed);
    j.field("cutStartSeed", r.cutStartSeed);
    j.field("cutEndSeed", r.cutEndSeed);
    j.field("countSeed", r.countSeed);
    j.field("firstFixedGapSeed", r.firstFixedGapSeed);
    j.field("secondFixedGapSeed", r.secondFixedGapSeed);
    j.field("noiseSeed", r.noiseSeed);
    j.endObject();
}

void writeMessage(JsonWriter& j, const base::RecordedMessage& m, const uint64_t* series)
{
    j.beginObject();
    if (series)
        j.field("series", *series);
    j.field("caption", m.caption);
    j.field("text", m.text);
    j.field("icon", static_cast<int>(m.icon));
    j.endObject();
}

std::string runText(const SimulationRun& r)
{
    JsonWriter j;
    j.beginObject();
    j.field("producer", r.producer);
    j.key("options").beginArray();
    for (const std::string& word : r.options)
        j.value(word);
    j.endArray();
    j.field("taskType", r.taskType);
    j.field("seriesType", r.seriesType);
    j.field("createEnergy", r.createEnergy);
    j.field("processEnergy", r.processEnergy);
    j.field("amplitude", r.amplitude);
    j.key("alphabet").beginArray();
    for (const std::vector<int16_t>& samples : r.alphabet)
        j.array(samples);
    j.endArray();
    j.field("activeEtalons", r.activeEtalons);
    j.key("requiredList").array(r.requiredList);
    j.field("seriesLength", r.seriesLength);
    j.field("tmin", r.tmin);
    j.field("tmax", r.tmax);
    j.field("maxPulses", r.maxPulses);
    j.key("fixedSequence").array(r.fixedSequence);
    j.field("fixedMode", r.fixedMode);
    j.field("fixedStart", r.fixedStart);
    j.key("pulseValues").array(r.pulseValues);
    j.key("noiseLevels").array(r.noiseLevels);
    j.field("repeats", r.repeats);
    writeStreams(j.key("streams"), r.streams);
    j.key("setupMessages").beginArray();
    for (const base::RecordedMessage& m : r.setupMessages)
        writeMessage(j, m, nullptr);
    j.endArray();
    j.endObject();
    return j.take();
}

void writeLast(JsonWriter& j, const SimulationLastSeries& last)
{
    j.beginObject();
    writeSeriesJson(j.key("series"), last.series);
    writeStreams(j.key("streams"), last.streams);
    j.endObject();
}

// --- reading -----------------------------------------------------------

using Refusal = PartRefusal;
using Fields = PartFields;
using Json = nlohmann::json;

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

base::RecordedMessage readMessage(const Fields& f)
{
    base::RecordedMessage m;
    m.caption = f.string("caption");
    m.text = f.string("text");
    const int icon = f.integer<int>("icon");
    if (icon < static_cast<int>(base::MessageIcon::None) || icon > static_cast<int>(base::MessageIcon::Question))
        throw Refusal{"field '" + f.at("icon") + "' must be a message icon from 0 to 4"};
    m.icon = static_cast<base::MessageIcon>(icon);
    return m;
}

SimulationRun readRun(const Fields& f)
{
    SimulationRun r;
    r.producer = f.string("producer");
    const Json& options = f.array("options");
    for (size_t k = 0; k < options.size(); ++k) {
        if (!options[k].is_string())
            throw Refusal{"field '" + f.at("options") + "[" + std::to_string(k) + "]' must be a string"};
        r.options.push_back(options[k].get<std::string>());
    }
    r.taskType = f.integer<uint16_t>("taskType");
    r.seriesType = f.integer<uint16_t>("seriesType");
    r.createEnergy = f.integer<uint16_t>("createEnergy");
    r.processEnergy = f.integer<int16_t>("processEnergy");
    r.amplitude = f.integer<int16_t>("amplitude");
    const Json& alphabet = f.array("alphabet");
    for (size_t k = 0; k < alphabet.size(); ++k) {
        const std::string path = f.at("alphabet") + "[" + std::to_string(k) + "]";
        if (!alphabet[k].is_array())
            throw Refusal{"field '" + path + "' must be an array"};
        std::vector<int16_t> samples;
        for (size_t j = 0; j < alphabet[k].size(); ++j)
            samples.push_back(Fields::toInteger<int16_t>(alphabet[k][j], path + "[" + std::to_string(j) + "]"));
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
    for (size_t k = 0; k < setup.size(); ++k)
        r.setupMessages.push_back(readMessage(Fields(setup[k], f.at("setupMessages") + "[" + std::to_string(k) + "]")));
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

std::string seriesRange(uint64_t first, uint64_t end) { return itemRange(first, end, {"series", "series"}); }

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

void writeSeriesJson(JsonWriter& j, const synthesis::SeriesHeader& s)
{
    const size_t K = s.wImpulseQuantity, N = s.dwSeriesSize;
    j.beginObject();
    j.field("dwSeriesSize", s.dwSeriesSize).field("wTmin", s.wTmin).field("wTmax", s.wTmax);
    j.field("wImpulseSize", s.wImpulseSize).field("wImpulseQuantity", s.wImpulseQuantity);
    j.field("wMinPulses", s.wMinPulses).field("wMaxPulses", s.wMaxPulses).field("wNoiseLevel", s.wNoiseLevel);
    j.field("wAmplitude", s.wAmplitude);
    j.key("lpPositions").array(firstOf(s.lpPositions, K));
    j.key("lpEtalonSequence").array(firstOf(s.lpEtalonSequence, K));
    j.key("lpCutFrom").array(firstOf(s.lpCutFrom, K));
    j.key("lpCutTo").array(firstOf(s.lpCutTo, K));
    j.key("lpMinPositions").array(firstOf(s.lpMinPositions, K));
    j.key("lpMaxPositions").array(firstOf(s.lpMaxPositions, K));
    j.field("wFoundPulses", s.wFoundPulses);
    j.key("lpFoundPositions").array(firstOf(s.lpFoundPositions, s.wFoundPulses));
    j.key("lpPureData").array(firstOf(s.lpPureData, N));
    j.key("lpSeriesData").array(firstOf(s.lpSeriesData, N));
    j.endObject();
}

uint64_t simulationRunDigest(const SimulationRun& run) { return fnv1a(runText(run)); }

std::string formatDigest(uint64_t digest) { return hex16(digest); }

std::string writeSimulationPart(const SimulationPartFile& file)
{
    const std::string run = runText(file.run);
    JsonWriter j;
    j.raw(kHead);
    j.raw(" \"version\": " + std::to_string(kSimulationPartVersion) + ",\n");
    j.raw(" \"digest\": \"" + hex16(fnv1a(run)) + "\",\n");
    j.raw(" \"run\": " + run + ",\n");
    const detection::SimulationPart& s = file.part;
    j.raw(" \"share\": ");
    j.beginObject();
    j.field("shard", file.shard);
    j.field("shards", file.shards);
    j.field("firstSeries", s.firstSeries);
    j.field("endSeries", s.endSeries);
    j.field("seriesCount", s.seriesCount);
    j.key("holdsLast").boolean(s.holdsLast);
    j.endObject();
    j.raw(",\n \"cellSums\": ");
    j.array(s.cellSums);
    j.raw(",\n \"messages\": [");
    for (size_t k = 0; k < s.messages.size(); ++k) {
        j.raw(k ? ",\n  " : "\n  ");
        writeMessage(j, s.messages[k].second, &s.messages[k].first);
    }
    j.raw("],\n \"last\": ");
    if (file.last)
        writeLast(j, *file.last);
    else
        j.raw("null");
    return sealPart(j.take());
}

bool readSimulationPart(std::string_view bytes, SimulationPartFile& file, std::string& error)
{
    try {
        checkSealedPart(bytes, "simulation part");

        Json document;
        if (std::string why; !parseJson(bytes, document, why))
            throw Refusal{why};
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
        for (size_t k = 0; k < messages.size(); ++k) {
            const Fields m(messages[k], "messages[" + std::to_string(k) + "]");
            p.part.messages.emplace_back(m.integer<uint64_t>("series"), readMessage(m));
        }
        if (!top.need("last").is_null())
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
    std::vector<PartShare> shares;
    for (const SimulationPartFile& p : parts)
        shares.push_back({p.digest, p.shard, p.shards, p.part.firstSeries, p.part.endSeries, p.part.seriesCount});
    return checkPartSet(shares, names, {"series", "series"}, error);
}

}  // namespace files
