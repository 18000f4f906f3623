#include "files/detection_parts.h"

#include <nlohmann/json.hpp>

#include "files/json.h"
#include "files/part_envelope.h"

namespace files {

namespace {

constexpr ItemWords kFiles{"file", "files"};

std::string runText(const DetectionRun& r)
{
    JsonWriter j;
    j.beginObject();
    j.field("producer", std::string_view(r.producer));
    j.key("options").beginArray();
    for (const std::string& o : r.options)
        j.value(std::string_view(o));
    j.endArray();
    j.field("output", std::string_view(r.output));
    j.key("files").beginArray();
    for (const std::string& f : r.files)
        j.value(std::string_view(f));
    j.endArray();
    j.endObject();
    return j.take();
}

}  // namespace

uint64_t detectionRunDigest(const DetectionRun& run) { return fnv1a(runText(run)); }

void detectionShare(uint64_t count, uint32_t shard, uint32_t shards, uint64_t& first, uint64_t& end)
{
    // count * shard fits in 64 bits for any list a machine can hold.
    first = count * (shard - 1) / shards;
    end = count * shard / shards;
}

std::string writeDetectionPart(const DetectionPartFile& file)
{
    const std::string run = runText(file.run);
    JsonWriter j;
    j.raw("{\"format\": \"quillmore detection part\",\n");
    j.raw(" \"version\": " + std::to_string(kDetectionPartVersion) + ",\n");
    j.raw(" \"digest\": \"" + hex16(fnv1a(run)) + "\",\n");
    j.raw(" \"run\": " + run + ",\n");
    j.raw(" \"share\": ");
    j.beginObject();
    j.field("shard", file.shard).field("shards", file.shards);
    j.field("firstFile", file.firstFile).field("endFile", file.endFile);
    j.endObject();
    j.raw(",\n \"results\": [");
    for (size_t k = 0; k < file.results.size(); ++k) {
        const DetectionFileResult& r = file.results[k];
        j.raw(k ? ",\n  " : "\n  ");
        j.beginObject();
        j.field("out", std::string_view(r.out)).field("err", std::string_view(r.err));
        j.field("series", r.series).field("failed", r.failed);
        j.endObject();
    }
    j.raw("]");
    return sealPart(j.take());
}

bool readDetectionPart(std::string_view bytes, DetectionPartFile& file, std::string& error)
{
    try {
        checkSealedPart(bytes, "detection part");
        nlohmann::json document;
        if (std::string why; !parseJson(bytes, document, why))
            throw PartRefusal{why};
        const PartFields top(document, "");
        if (top.string("format") != "quillmore detection part")
            throw PartRefusal{"not a detection part (its format is '" + top.string("format") + "')"};
        const int version = top.integer<int>("version");
        if (version != kDetectionPartVersion)
            throw PartRefusal{"of format version " + std::to_string(version) + "; this program reads version " +
                              std::to_string(kDetectionPartVersion)};
        DetectionPartFile p;
        const PartFields run = top.object("run");
        p.run.producer = run.string("producer");
        p.run.options = run.strings("options");
        p.run.output = run.string("output");
        if (p.run.output != "text" && p.run.output != "json" && p.run.output != "csv")
            throw PartRefusal{"field 'run.output' must be text, json or csv"};
        p.run.files = run.strings("files");
        p.digest = detectionRunDigest(p.run);
        const std::string digest = top.string("digest");
        if (digest != hex16(p.digest))
            throw PartRefusal{"its run parameters do not match its digest " + digest};

        const PartFields share = top.object("share");
        p.shard = share.integer<uint32_t>("shard");
        p.shards = share.integer<uint32_t>("shards");
        p.firstFile = share.integer<uint64_t>("firstFile");
        p.endFile = share.integer<uint64_t>("endFile");
        if (p.shards < 1 || p.shard < 1 || p.shard > p.shards)
            throw PartRefusal{"its shard " + std::to_string(p.shard) + "/" + std::to_string(p.shards) +
                              " is not K/N with 1 <= K <= N"};
        uint64_t first = 0, end = 0;
        detectionShare(p.run.files.size(), p.shard, p.shards, first, end);
        if (p.firstFile != first || p.endFile != end)
            throw PartRefusal{"its share (" + itemRange(p.firstFile, p.endFile, kFiles) + ") is not shard " +
                              std::to_string(p.shard) + "/" + std::to_string(p.shards) + " of " +
                              std::to_string(p.run.files.size()) + " files"};
        const nlohmann::json& results = top.array("results");
        if (results.size() != end - first)
            throw PartRefusal{"it holds " + std::to_string(results.size()) + " results for its " +
                              std::to_string(end - first) + " files"};
        for (size_t k = 0; k < results.size(); ++k) {
            const PartFields r(results[k], "results[" + std::to_string(k) + "]");
            DetectionFileResult result;
            result.out = r.string("out");
            result.err = r.string("err");
            result.series = r.integer<uint64_t>("series");
            result.failed = r.integer<uint64_t>("failed");
            if (result.failed > result.series)
                throw PartRefusal{"field '" + r.at("failed") + "' counts more failures than series"};
            p.results.push_back(std::move(result));
        }
        file = std::move(p);
        return true;
    } catch (const PartRefusal& r) {
        error = r.why;
        return false;
    }
}

bool checkDetectionPartSet(std::span<const DetectionPartFile> parts, std::span<const std::string> names,
                           std::string& error)
{
    std::vector<PartShare> shares;
    for (const DetectionPartFile& p : parts)
        shares.push_back({p.digest, p.shard, p.shards, p.firstFile, p.endFile, p.run.files.size()});
    return checkPartSet(shares, names, kFiles, error);
}

}  // namespace files
