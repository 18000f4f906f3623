// Part files of a simulation split into shards: what goes in comes out, and
// every file that is not a whole, unchanged part of this version is refused
// with a sentence that says why.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/simulation_parts.h"

namespace {

// A run of 2 pulse values by 3 noise levels with 2 series per cell: 12 series.
files::SimulationRun smallRun()
{
    files::SimulationRun r;
    r.producer = "quillmore test";
    r.options = {"--series-type", "unfixed", "--task", "joint", "--repeats", "2"};
    r.taskType = 16;
    r.seriesType = 4;
    r.createEnergy = 100;
    r.processEnergy = 90;
    r.amplitude = 128;
    r.alphabet = {{60, 60, 60}, {-60, -60, -60}, {12, -24, 36}};
    r.activeEtalons = 2;
    r.requiredList = {3, 1};
    r.seriesLength = 40;
    r.tmin = 4;
    r.tmax = 9;
    r.maxPulses = 9;
    r.fixedSequence = {2, 3};
    r.fixedMode = 4;
    r.fixedStart = 1;
    r.pulseValues = {6, 7};
    r.noiseLevels = {0, 5, 10};
    r.repeats = 2;
    r.streams.positionSeed = 4711;
    r.streams.noiseSeed = -3;
    r.setupMessages = {{"Несовместимые входные параметры!\n\n", " setup ", base::MessageIcon::Warning}};
    return r;
}

// Shard k of n of smallRun(), with a message on every series it holds and,
// when it ends the run, a last series.
files::SimulationPartFile shard(uint32_t k, uint32_t n, files::SimulationRun run = smallRun())
{
    files::SimulationPartFile f;
    f.run = std::move(run);
    f.shard = k;
    f.shards = n;
    detection::SimulationPart& p = f.part;
    p.seriesCount = 12;
    p.firstSeries = detection::shareOfSeries(12, k - 1, n).first;
    p.endSeries = detection::shareOfSeries(12, k - 1, n).end;
    p.cellSums.assign(6, 0);
    for (uint64_t s = p.firstSeries; s < p.endSeries; ++s) {
        p.cellSums[s / 2] += static_cast<int64_t>(1000 * s + 7);
        p.messages.emplace_back(s, base::RecordedMessage{"series " + std::to_string(s) + " \"quoted\" \\ \t\x01 ☃ 𝄞",
                                                         "CM_CREATE_SERIES", base::MessageIcon::None});
    }
    p.holdsLast = p.endSeries == 12 && p.firstSeries < p.endSeries;
    if (p.holdsLast) {
        files::SimulationLastSeries last;
        synthesis::SeriesHeader& s = last.series;
        s.dwSeriesSize = 40;
        s.wTmin = 4;
        s.wTmax = 9;
        s.wImpulseSize = 3;
        s.wImpulseQuantity = 7;
        s.wMinPulses = 5;
        s.wMaxPulses = 9;
        s.wNoiseLevel = 10;
        s.wAmplitude = 128;
        s.lpPositions = {0, 5, 10, 16, 21, 27, 33, 0, 0};  // capacity beyond the count is not kept
        s.lpEtalonSequence = {3, 1, 3, 3, 1, 1, 3, 0, 0};
        s.lpCutFrom = std::vector<int16_t>(9, 0);
        s.lpCutTo = std::vector<int16_t>(9, 2);
        s.lpMinPositions = {0, 4, 8, 12, 16, 20, 24, 0, 0};
        s.lpMaxPositions = {3, 8, 13, 18, 23, 28, 37, 0, 0};
        s.wFoundPulses = 6;
        s.lpFoundPositions = {0, 6, 10, 17, 21, 32, -1, -1, -1};
        for (int i = 0; i < 48; ++i) {
            s.lpPureData.push_back(static_cast<int16_t>(i * 3 - 60));
            s.lpSeriesData.push_back(static_cast<int16_t>(-i * 700));
        }
        last.streams.noiseSeed = 321;
        last.streams.cutEndSeed = 32767;
        f.last = last;
    }
    return f;
}

std::string readError(std::string_view bytes)
{
    files::SimulationPartFile ignored;
    std::string error;
    EXPECT_FALSE(files::readSimulationPart(bytes, ignored, error));
    return error;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The file with its checksum made right again after an edit, as someone
// editing a part by hand would have to.
std::string resealed(std::string bytes)
{
    const size_t at = bytes.rfind(",\n \"checksum\": \"");
    bytes.resize(at);
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return bytes + ",\n \"checksum\": \"" + files::formatDigest(h) + "\"}\n";
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

}  // namespace

TEST(SimulationParts, RoundTripKeepsEveryField)
{
    for (const auto& [k, n] : {std::pair(1u, 2u), std::pair(2u, 2u)}) {
        const files::SimulationPartFile original = shard(k, n);
        const std::string bytes = files::writeSimulationPart(original);
        files::SimulationPartFile back;
        std::string error;
        ASSERT_TRUE(files::readSimulationPart(bytes, back, error)) << error;

        const files::SimulationRun &a = original.run, &b = back.run;
        EXPECT_EQ(b.producer, a.producer);
        EXPECT_EQ(b.options, a.options);
        EXPECT_EQ(b.alphabet, a.alphabet);
        EXPECT_EQ(b.requiredList, a.requiredList);
        EXPECT_EQ(b.fixedSequence, a.fixedSequence);
        EXPECT_EQ(b.pulseValues, a.pulseValues);
        EXPECT_EQ(b.noiseLevels, a.noiseLevels);
        EXPECT_EQ(std::tie(b.taskType, b.seriesType, b.createEnergy, b.processEnergy, b.amplitude, b.activeEtalons,
                           b.seriesLength, b.tmin, b.tmax, b.maxPulses, b.fixedMode, b.fixedStart, b.repeats),
                  std::tie(a.taskType, a.seriesType, a.createEnergy, a.processEnergy, a.amplitude, a.activeEtalons,
                           a.seriesLength, a.tmin, a.tmax, a.maxPulses, a.fixedMode, a.fixedStart, a.repeats));
        EXPECT_EQ(b.streams.positionSeed, 4711);
        EXPECT_EQ(b.streams.noiseSeed, -3);
        ASSERT_EQ(b.setupMessages.size(), 1u);
        EXPECT_EQ(b.setupMessages[0].text, a.setupMessages[0].text);
        EXPECT_EQ(b.setupMessages[0].icon, base::MessageIcon::Warning);
        EXPECT_EQ(back.digest, files::simulationRunDigest(a));
        EXPECT_EQ(std::tie(back.shard, back.shards), std::tie(k, n));

        const detection::SimulationPart &p = original.part, &q = back.part;
        EXPECT_EQ(std::tie(q.firstSeries, q.endSeries, q.seriesCount, q.holdsLast),
                  std::tie(p.firstSeries, p.endSeries, p.seriesCount, p.holdsLast));
        EXPECT_EQ(q.cellSums, p.cellSums);
        ASSERT_EQ(q.messages.size(), p.messages.size());
        for (size_t m = 0; m < p.messages.size(); ++m) {
            EXPECT_EQ(q.messages[m].first, p.messages[m].first);
            EXPECT_EQ(q.messages[m].second.text, p.messages[m].second.text);
            EXPECT_EQ(q.messages[m].second.caption, p.messages[m].second.caption);
        }
        ASSERT_EQ(back.last.has_value(), k == n);
        if (back.last) {
            const synthesis::SeriesHeader &s = original.last->series, &t = back.last->series;
            EXPECT_EQ(t.lpPositions, std::vector<int16_t>(s.lpPositions.begin(), s.lpPositions.begin() + 7));
            EXPECT_EQ(t.lpEtalonSequence,
                      std::vector<int16_t>(s.lpEtalonSequence.begin(), s.lpEtalonSequence.begin() + 7));
            EXPECT_EQ(t.lpMaxPositions, std::vector<int16_t>(s.lpMaxPositions.begin(), s.lpMaxPositions.begin() + 7));
            EXPECT_EQ(t.lpFoundPositions,
                      std::vector<int16_t>(s.lpFoundPositions.begin(), s.lpFoundPositions.begin() + 6));
            EXPECT_EQ(t.lpSeriesData, std::vector<int16_t>(s.lpSeriesData.begin(), s.lpSeriesData.begin() + 40));
            EXPECT_EQ(t.lpPureData.size(), 40u);
            EXPECT_EQ(std::tie(t.dwSeriesSize, t.wImpulseQuantity, t.wFoundPulses, t.wNoiseLevel, t.wMinPulses),
                      std::tie(s.dwSeriesSize, s.wImpulseQuantity, s.wFoundPulses, s.wNoiseLevel, s.wMinPulses));
            EXPECT_EQ(back.last->streams.cutEndSeed, 32767);
        }
        // What was read writes the same bytes again.
        EXPECT_EQ(files::writeSimulationPart(back), bytes);
    }
}

TEST(SimulationParts, EveryCutOffFileIsRefused)
{
    const std::string bytes = files::writeSimulationPart(shard(2, 2));
    EXPECT_EQ(readError(""), "empty, not a simulation part");
    for (size_t size = 1; size < bytes.size(); ++size) {
        const std::string error = readError(std::string_view(bytes).substr(0, size));
        ASSERT_TRUE(has(error, "cut off")) << size << ": " << error;
    }
}

TEST(SimulationParts, OtherFilesAreNotTakenForParts)
{
    const std::vector<std::string> foreign = {std::string("{\"format\": \"something else\"}\n"),
                                              std::string("\x89PNG\r\n\x1a\n", 8), std::string("part-1.json\n"),
                                              std::string("{\"format\": \"quillmore simulation partX\"")};
    for (const std::string& bytes : foreign) {
        const std::string error = readError(bytes);
        EXPECT_TRUE(has(error, "not a simulation part") || has(error, "cut off")) << error;
    }
    EXPECT_TRUE(has(readError("{\"format\": \"something else\"}\n"), "not a simulation part"));
}

TEST(SimulationParts, AChangedByteIsCaughtByTheChecksum)
{
    const std::string bytes = files::writeSimulationPart(shard(1, 2));
    std::string changed = replaced(bytes, "\"cellSums\": [1014,", "\"cellSums\": [1015,");
    EXPECT_TRUE(has(readError(changed), "checksum does not match")) << readError(changed);
}

TEST(SimulationParts, RunParametersMustMatchTheirDigest)
{
    const std::string bytes = files::writeSimulationPart(shard(1, 2));
    // A run value edited and the file resealed: the digest still tells.
    const std::string edited = resealed(replaced(bytes, "\"repeats\": 2,", "\"repeats\": 3,"));
    EXPECT_TRUE(has(readError(edited), "do not match its digest")) << readError(edited);
}

TEST(SimulationParts, ANewerVersionAndInconsistentSharesAreRefused)
{
    const std::string bytes = files::writeSimulationPart(shard(2, 3));
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "\"version\": 1", "\"version\": 2"))), "format version 2"));
    // The range of another shard than the one it names.
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "\"shard\": 2", "\"shard\": 1"))), "is not shard 1/3"));
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "\"shard\": 2, \"shards\": 3", "\"shard\": 4, \"shards\": 3"))),
                    "1 <= K <= N"));
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "\"cellSums\": [0, 0, ", "\"cellSums\": [0, "))),
                    "5 cell sums for the 6 cells"));
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "\"holdsLast\": false", "\"holdsLast\": true"))),
                    "says it ends the run"));
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "{\"series\": 5,", "{\"series\": 9,"))),
                    "out of order or outside its share"));
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "\"endSeries\": 8", "\"endSeries\": 8.5"))), "whole numbers"));
    EXPECT_TRUE(has(readError(resealed(replaced(bytes, "\"seriesCount\": 12", "\"seriesCount\": -12"))),
                    "'share.seriesCount' must be a whole number from 0"));
    const std::string last = files::writeSimulationPart(shard(3, 3));
    const std::string longer = replaced(last, "\"lpFoundPositions\": [0, 6,", "\"lpFoundPositions\": [0, 0, 6,");
    EXPECT_TRUE(has(readError(resealed(longer)), "more than 6"));
}

TEST(SimulationParts, ASetMustBeOneWholeRun)
{
    auto check = [](std::vector<files::SimulationPartFile> parts) {
        for (files::SimulationPartFile& p : parts)
            p.digest = files::simulationRunDigest(p.run);
        std::vector<std::string> names;
        for (const files::SimulationPartFile& p : parts)
            names.push_back(
                std::string(1, 'p').append(std::to_string(p.shard)).append("of").append(std::to_string(p.shards)));
        std::string error;
        return files::checkSimulationPartSet(parts, names, error) ? std::string("whole") : error;
    };
    EXPECT_EQ(check({shard(3, 3), shard(1, 3), shard(2, 3)}), "whole");
    EXPECT_EQ(check({shard(1, 1)}), "whole");
    // Shards of different splits fit when their ranges tile the run.
    EXPECT_EQ(check({shard(1, 2), shard(3, 4), shard(4, 4)}), "whole");
    // More shards than series: the empty ones clash with nothing.
    std::vector<files::SimulationPartFile> many;
    for (uint32_t k = 1; k <= 20; ++k)
        many.push_back(shard(k, 20));
    EXPECT_EQ(check(many), "whole");

    EXPECT_EQ(check({shard(1, 3), shard(3, 3)}), "no part holds series 5 to 8 of 12: the set is incomplete");
    EXPECT_EQ(check({shard(1, 3), shard(2, 3)}), "no part holds series 9 to 12 of 12: the set is incomplete");
    EXPECT_EQ(check({shard(2, 2), shard(1, 2), shard(1, 3)}), "p1of3 and p1of2 both hold series 1 to 4 of 12");
    EXPECT_EQ(check({shard(1, 2), shard(2, 2), shard(2, 2)}), "p2of2 and p2of2 are both shard 2/2");
    files::SimulationRun other = smallRun();
    other.streams.noiseSeed = 10597;
    const std::string error = check({shard(1, 2), shard(2, 2, other)});
    EXPECT_TRUE(has(error, "p2of2 is of another run than p1of2 (digest ")) << error;
    EXPECT_EQ(check({}), "there are no parts to put together");
}
