// Synthesized series keep every invariant of their definition, whatever the
// admissible parameters; impossible parameters are refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"
#include "synthesis_fixture.h"

namespace {

using Workbench = SynthesisFixture;

int32_t energy(const synthesis::PulseHeader& e, int from, int to)
{
    int32_t sum = 0;
    for (int j = from; j <= to; ++j)
        sum += e.lpData[j] * e.lpData[j];
    return sum;
}

// Every property a successful synthesis promises.
void expectValidSeries(const synthesis::SeriesHeader& h, std::span<const synthesis::PulseHeader> alphabet,
                       uint16_t saved)
{
    const int N = static_cast<int>(h.dwSeriesSize), K = h.wImpulseQuantity, L = h.wImpulseSize;
    ASSERT_LE(h.wMinPulses, K);
    ASSERT_LE(K, h.wMaxPulses);
    ASSERT_LE(h.wMaxPulses, h.wPulsesCapacity);
    ASSERT_LE(h.dwSeriesSize, h.dwSeriesCapacity);
    ASSERT_EQ(h.wCutFrom, 0);
    ASSERT_EQ(h.wCutTo, L - 1);
    ASSERT_EQ(h.wNoiseLevel, 0);
    ASSERT_EQ(h.lpFirstEtalon, h.lpPulsesList[h.lpEtalonSequence[0] - 1]);

    for (int k = 0; k < K; ++k) {
        SCOPED_TRACE("pulse " + std::to_string(k));
        const int p = h.lpPositions[k], from = h.lpCutFrom[k], to = h.lpCutTo[k];
        ASSERT_GE(h.lpEtalonSequence[k], 1);
        ASSERT_LE(h.lpEtalonSequence[k], h.wPulsesListSize);
        ASSERT_LE(h.lpMinPositions[k], p);
        ASSERT_LE(p, h.lpMaxPositions[k]);
        ASSERT_LE(0, from);
        ASSERT_LE(from, to);
        ASSERT_LE(to, L - 1);
        ASSERT_LT(p + to, N);
        ASSERT_EQ(h.lpFoundPositions[k], -1);
        if (k + 1 < K) {
            ASSERT_GE(h.lpPositions[k + 1] - p, h.wTmin);
            ASSERT_LE(h.lpPositions[k + 1] - p, h.wTmax);
        }
        const synthesis::PulseHeader& e = alphabet[h.lpEtalonSequence[k] - 1];
        const int32_t total = energy(e, 0, L - 1);
        ASSERT_GE(energy(e, from, to), saved * total / 100) << "the placed part keeps the saved share";
        if (saved >= 100) {
            ASSERT_EQ(from, 0);
            ASSERT_EQ(to, L - 1);
        }
    }
    ASSERT_LE(h.lpPositions[0], h.wTmax - L);
    ASSERT_GE(h.lpPositions[K - 1], N - h.wTmax);

    // Where pulses overlap the later placement wins; only samples covered by
    // exactly one pulse have a value known without the placement order.
    std::vector<int> placedBy(N, -1);
    for (int k = 0; k < K; ++k)
        for (int j = h.lpCutFrom[k]; j <= h.lpCutTo[k]; ++j)
            placedBy[h.lpPositions[k] + j] = k;
    std::vector<int> cover(N, 0);
    for (int k = 0; k < K; ++k)
        for (int j = h.lpCutFrom[k]; j <= h.lpCutTo[k]; ++j)
            ++cover[h.lpPositions[k] + j];
    for (int i = 0; i < N; ++i) {
        if (cover[i] == 0) {
            ASSERT_EQ(h.lpPureData[i], 0) << "outside the placed parts at " << i;
        } else if (cover[i] == 1) {
            const int k = placedBy[i];
            ASSERT_EQ(h.lpPureData[i], alphabet[h.lpEtalonSequence[k] - 1].lpData[i - h.lpPositions[k]]) << i;
        }
        ASSERT_EQ(h.lpSeriesData[i], h.lpPureData[i]);
    }
}

}  // namespace

TEST(SeriesSynthesis, EverySynthesizedSeriesKeepsItsInvariants)
{
    Workbench w;
    uint32_t state = 1;
    auto draw = [&](uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    };
    for (int trial = 0; trial < 400; ++trial) {
        const uint16_t Tmin = static_cast<uint16_t>(20 + draw(60));
        const uint16_t Tmax = static_cast<uint16_t>(Tmin + draw(200));
        // Most series use the workbench's pulse length; some an alphabet of another length.
        const uint16_t L = trial % 4 ? 20 : static_cast<uint16_t>(1 + draw(std::min<uint32_t>(Tmax, 40)));
        synthesis::makeAlphabet(w.messages, 128, 20, L, w.alphabet, w.streams.etalonSeed);
        w.messages.messages.clear();
        const uint32_t N = 200 + draw(7001);
        const uint16_t saved = static_cast<uint16_t>(draw(101));
        const uint16_t maxK = synthesis::seriesMaxPulses(N, L, Tmin);
        const uint16_t minK = std::max<uint16_t>(synthesis::seriesMinPulses(N, L, Tmax), 1);
        if (maxK < minK)  // equal intervals can leave a length that admits no count
            continue;
        const uint16_t K = static_cast<uint16_t>(minK + draw(maxK - minK + 1));
        for (uint16_t k = 0; k < K; ++k)
            w.sequence[k] = static_cast<uint16_t>(1 + draw(20));
        if (trial % 5 && w.series) {
            const std::array<int32_t, 3> fixed{int32_t(1 + draw(20)), int32_t(1 + draw(20)), int32_t(1 + draw(20))};
            synthesis::setFixedSequence(fixed, static_cast<uint16_t>(1 + draw(3)), static_cast<uint16_t>(trial % 5),
                                        static_cast<uint16_t>(1 + draw(4)), w.series.get());
        }
        SCOPED_TRACE("N=" + std::to_string(N) + " L=" + std::to_string(L) + " Tmin=" + std::to_string(Tmin) +
                     " Tmax=" + std::to_string(Tmax) + " K=" + std::to_string(K) + " saved=" + std::to_string(saved));
        ASSERT_TRUE(w.make(N, K, Tmin, Tmax, saved, L));
        ASSERT_TRUE(w.messages.messages.empty());
        expectValidSeries(*w.series, w.alphabet, saved);
    }
}

TEST(SeriesSynthesis, CountBoundsOfTheLongSeries)
{
    Workbench w;
    EXPECT_EQ(synthesis::seriesMinPulses(7200, 20, 181), 39);
    EXPECT_EQ(synthesis::seriesMaxPulses(7200, 20, 40), 180);
    EXPECT_TRUE(w.make(7200, 40));
    EXPECT_EQ(w.series->wMinPulses, 39);
    EXPECT_EQ(w.series->wMaxPulses, 180);
    EXPECT_EQ(w.series->wPulsesCapacity, 180);
    EXPECT_TRUE(w.make(7200, 39));
    EXPECT_TRUE(w.make(7200, 180));
    EXPECT_TRUE(w.messages.messages.empty());
}

TEST(SeriesSynthesis, CountOutsideTheBoundsIsRefusedWithTheValidationText)
{
    Workbench w;
    ASSERT_TRUE(w.make(1200, 18));
    const synthesis::SeriesHeader before = *w.series;
    // Called directly, the refusal leaves the header exactly as it was.
    EXPECT_EQ(synthesis::makeExtSeries(w.messages, w.alphabet, 20, 40, 181, 1200, 30, w.sequence, 128, 100, *w.series,
                                       w.streams),
              1);
    ASSERT_TRUE(w.make(1200, 18));
    const synthesis::SeriesHeader kept = *w.series;
    EXPECT_EQ(synthesis::makeExtSeries(w.messages, w.alphabet, 20, 40, 181, 7200, 38, w.sequence, 128, 100, *w.series,
                                       w.streams),
              0);
    ASSERT_EQ(w.messages.messages.size(), 1u);
    EXPECT_EQ(w.messages.messages[0].caption, " makeExtSeries ");
    EXPECT_EQ(w.messages.messages[0].icon, base::MessageIcon::Warning);
    EXPECT_EQ(w.messages.messages[0].text,
              "Несовместимые входные параметры!\n\n"
              "dwSeriesSize: 7200 [1200]\n"
              "wImpulseSize: 20 [20]\n"
              "wMinPulses: 39 [6]\n"
              "wMaxPulses: 180 [30]\n"
              "wImpulseQuantity: 38\n\n");
    EXPECT_EQ(w.series->lpPositions, kept.lpPositions);
    EXPECT_EQ(w.series->lpPureData, kept.lpPureData);
    EXPECT_EQ(w.series->dwSeriesSize, 1200u);
    (void)before;

    // Through getCutOffSeries the header already holds the new bounds but its
    // arrays keep the previous series.
    w.messages.messages.clear();
    EXPECT_FALSE(w.make(7200, 181));
    ASSERT_EQ(w.messages.messages.size(), 1u);
    EXPECT_NE(w.messages.messages[0].text.find("wImpulseQuantity: 181\n"), std::string::npos);
    EXPECT_EQ(w.series->dwSeriesSize, 7200u);
    EXPECT_EQ(w.series->wMaxPulses, 180);
}

TEST(SeriesSynthesis, ParametersTheFormulasCannotTakeAreRefusedAndTheHeaderKept)
{
    struct Case {
        uint32_t N;
        uint16_t K, Tmin, Tmax, L;
        const char* reason;
    };
    const Case cases[] = {
        {1200, 18, 0, 181, 20, "wTmin is 0"},
        {1200, 18, 190, 181, 20, "wTmin (190) is above the maximal interval wTmax (181)"},
        {1200, 18, 10, 15, 20, "wImpulseSize (20) is above the maximal interval wTmax (15)"},
        {1200, 18, 40, 181, 0, "wImpulseSize is 0"},
        {40000, 18, 40, 181, 20, "dwSeriesSize (40000) is above 32767"},
        {15, 1, 40, 181, 20, "dwSeriesSize (15) is below the pulse length wImpulseSize (20)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        Workbench w;
        ASSERT_TRUE(w.make(1200, 18));
        const synthesis::SeriesHeader before = *w.series;
        const synthesis::SeriesHeader* address = w.series.get();
        EXPECT_FALSE(w.make(c.N, c.K, c.Tmin, c.Tmax, 100, c.L));
        ASSERT_EQ(w.series.get(), address);
        ASSERT_EQ(w.messages.messages.size(), 1u);
        EXPECT_EQ(w.messages.messages[0].caption, " getCutOffSeries ");
        EXPECT_NE(w.messages.messages[0].text.find(c.reason), std::string::npos) << w.messages.messages[0].text;
        EXPECT_EQ(w.series->dwSeriesSize, before.dwSeriesSize);
        EXPECT_EQ(w.series->wMaxPulses, before.wMaxPulses);
        EXPECT_EQ(w.series->lpPureData, before.lpPureData);
        EXPECT_EQ(w.series->lpPositions, before.lpPositions);

        // The same refusal from the other entries, none of which divides by zero.
        w.messages.messages.clear();
        synthesis::SeriesHeaderPtr other =
            synthesis::getCutOffSeriesHeader(w.messages, 20, c.L, c.Tmin, c.Tmax, c.N, nullptr);
        EXPECT_EQ(other, nullptr);
        w.series = synthesis::getRandomCountSeries(w.messages, w.alphabet, c.L, c.Tmin, c.Tmax, c.N, w.sequence, 128,
                                                   100, std::move(w.series), w.streams);
        EXPECT_EQ(w.series.get(), address);
        EXPECT_EQ(w.messages.messages.size(), 2u);
    }
}

TEST(SeriesSynthesis, PulseCountZeroIsRefusedByTheValidation)
{
    Workbench w;
    EXPECT_FALSE(w.make(1200, 0));
    ASSERT_EQ(w.messages.messages.size(), 1u);
    EXPECT_NE(w.messages.messages[0].text.find("wImpulseQuantity: 0\n"), std::string::npos);
    // A short series whose computed least count is 0 still needs one pulse.
    w.messages.messages.clear();
    EXPECT_TRUE(w.make(100, 1));
    EXPECT_EQ(w.series->wMinPulses, 1);
}

// Re-use and release of the header: tests/detection/record_reuse_test.cpp.
TEST(SeriesSynthesis, HeaderIsReusedWhenItsCapacitiesSuffice)
{
    Workbench w;
    ASSERT_TRUE(w.make(1200, 18));
    const std::vector<int16_t> tail(w.series->lpPureData.begin() + 600, w.series->lpPureData.end());
    const std::vector<int16_t> pulseTail(w.series->lpPositions.begin() + 10, w.series->lpPositions.end());
    ASSERT_TRUE(w.make(600, 8));
    EXPECT_EQ(w.series->wPulsesCapacity, 30);
    EXPECT_EQ(w.series->dwSeriesSize, 600u);
    EXPECT_EQ(w.series->wMaxPulses, 15);
    EXPECT_EQ(std::vector<int16_t>(w.series->lpPureData.begin() + 600, w.series->lpPureData.end()), tail)
        << "samples past the new length stay";
    EXPECT_EQ(std::vector<int16_t>(w.series->lpPositions.begin() + 10, w.series->lpPositions.end()), pulseTail);

    ASSERT_TRUE(w.make(7200, 40));
    EXPECT_EQ(w.series->wPulsesCapacity, 180);
    EXPECT_EQ(w.series->lpPositions.size(), 180u);
    EXPECT_TRUE(std::all_of(w.series->lpPositions.begin() + 40, w.series->lpPositions.end(), [](int16_t v) {
        return v == 0;
    })) << "a grown block is zeroed";
}

TEST(SeriesSynthesis, PositionDrawsFollowTheDocumentedOrder)
{
    Workbench w;
    int32_t replay = w.streams.positionSeed;
    ASSERT_TRUE(w.make(1200, 18));
    const synthesis::SeriesHeader& h = *w.series;
    const int k0 = (synthesis::nextRandom(replay) >> 2) % 18;
    const int lo = h.lpMinPositions[k0], hi = h.lpMaxPositions[k0];
    EXPECT_EQ(h.lpPositions[k0], lo + ((synthesis::nextRandom(replay) >> 2) % (hi - lo + 1)));
    if (k0 + 1 < 18) {
        const int a = std::max<int>(h.lpMinPositions[k0 + 1], h.lpPositions[k0] + 40);
        const int b = std::min<int>(h.lpMaxPositions[k0 + 1], h.lpPositions[k0] + 181);
        EXPECT_EQ(h.lpPositions[k0 + 1], a + ((synthesis::nextRandom(replay) >> 2) % (b - a + 1)));
    }
    // One position draw per pulse and the first index: 19 steps in all.
    int32_t count = 12345;
    for (int i = 0; i < 19; ++i)
        synthesis::nextRandom(count);
    EXPECT_EQ(w.streams.positionSeed, count);
}

TEST(SeriesSynthesis, WholePulsesAtSavedLevel100StillAdvanceTheCutStreams)
{
    Workbench w;
    ASSERT_TRUE(w.make(1200, 18, 40, 181, 100));
    int32_t start = 7737, end = 3373;
    for (int i = 0; i < 18; ++i) {
        synthesis::nextRandom(start);
        synthesis::nextRandom(end);
    }
    EXPECT_EQ(w.streams.cutStartSeed, start);
    EXPECT_EQ(w.streams.cutEndSeed, end);
    for (int k = 0; k < 18; ++k) {
        EXPECT_EQ(w.series->lpCutFrom[k], 0);
        EXPECT_EQ(w.series->lpCutTo[k], 19);
    }
}

TEST(SeriesSynthesis, SavedLevelZeroCutsPulsesAndSomeGetShort)
{
    Workbench w;
    int shortest = 20;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(w.make(1200, 18, 40, 181, 0));
        for (int k = 0; k < 18; ++k)
            shortest = std::min(shortest, w.series->lpCutTo[k] - w.series->lpCutFrom[k] + 1);
    }
    EXPECT_LT(shortest, 20);
}

TEST(SeriesSynthesis, FixedSubSequenceModes)
{
    Workbench w;
    ASSERT_TRUE(w.make(1200, 18));
    const std::array<int32_t, 2> fixed{3, 5};

    // Mode 4 repeats the sub-sequence over the rest of the list.
    synthesis::setFixedSequence(fixed, 2, 4, 1, w.series.get());
    ASSERT_TRUE(w.make(1200, 18));
    for (int k = 0; k < 18; ++k)
        EXPECT_EQ(w.series->lpEtalonSequence[k], k % 2 ? 5 : 3) << k;
    EXPECT_EQ(w.sequence[17], 5) << "the change stays in the caller's list";

    // Mode 2 copies it once at the start pulse.
    std::fill(w.sequence.begin(), w.sequence.end(), 7);
    synthesis::setFixedSequence(fixed, 2, 2, 4, w.series.get());
    ASSERT_TRUE(w.make(1200, 18));
    std::vector<int> seq(w.series->lpEtalonSequence.begin(), w.series->lpEtalonSequence.begin() + 18);
    std::vector<int> expected(18, 7);
    expected[3] = 3;
    expected[4] = 5;
    EXPECT_EQ(seq, expected);

    // Mode 1 copies it once, somewhere from the start pulse on; mode 3 copies
    // it again and again with random gaps up to the end.
    for (uint16_t mode : {1, 3}) {
        std::fill(w.sequence.begin(), w.sequence.end(), 7);
        synthesis::setFixedSequence(fixed, 2, mode, 2, w.series.get());
        ASSERT_TRUE(w.make(1200, 18));
        int copies = 0;
        for (int k = 0; k < 18; ++k) {
            const int v = w.series->lpEtalonSequence[k];
            ASSERT_TRUE(v == 7 || v == 3 || v == 5);
            if (v == 3) {
                ++copies;
                if (k + 1 < 18) {
                    EXPECT_EQ(w.series->lpEtalonSequence[k + 1], 5);
                }
            }
        }
        EXPECT_EQ(w.series->lpEtalonSequence[0], 7);
        if (mode == 1) {
            EXPECT_EQ(copies, 1);
        } else {
            EXPECT_GE(copies, 1);
        }
    }

    // A start of 0 is taken as the first pulse instead of writing before the list.
    synthesis::setFixedSequence(fixed, 2, 2, 0, w.series.get());
    ASSERT_TRUE(w.make(1200, 18));
    EXPECT_EQ(w.series->lpEtalonSequence[0], 3);
    EXPECT_EQ(w.series->lpEtalonSequence[1], 5);
}

TEST(SeriesSynthesis, SetFixedSequenceKeepsNoMoreThanTheSeriesAdmits)
{
    Workbench w;
    EXPECT_EQ(synthesis::setFixedSequence(std::array<int32_t, 1>{4}, 1, 4, 1, nullptr), 1);
    ASSERT_TRUE(w.make(200, 2));
    const uint16_t maxK = w.series->wMaxPulses;
    std::vector<int32_t> many(maxK + 5, 0x10002);  // the low 16 bits count
    synthesis::setFixedSequence(many, static_cast<uint16_t>(many.size()), 4, 1, w.series.get());
    EXPECT_EQ(w.series->wFixedCount, maxK);
    EXPECT_EQ(w.series->lpFixedSequence[0], 2);
}

TEST(SeriesSynthesis, OutOfRangeEtalonNumbersAreDrawnFromTheCountStream)
{
    Workbench w;
    std::fill(w.sequence.begin(), w.sequence.end(), 0);
    w.sequence[1] = 21;
    int32_t replay = w.streams.countSeed;
    ASSERT_TRUE(w.make(1200, 18));
    for (int k = 0; k < 18; ++k)
        EXPECT_EQ(w.series->lpEtalonSequence[k], ((synthesis::nextRandom(replay) >> 2) % 20) + 1);
}

TEST(SeriesSynthesis, RandomCountSeriesDrawsItsCountWithinTheBounds)
{
    Workbench w;
    std::vector<int> counts;
    for (int i = 0; i < 50; ++i) {
        int32_t replay = w.streams.countSeed;
        w.series = synthesis::getRandomCountSeries(w.messages, w.alphabet, 20, 40, 181, 1200, w.sequence, 128, 100,
                                                   std::move(w.series), w.streams);
        ASSERT_NE(w.series, nullptr);
        EXPECT_EQ(w.series->wImpulseQuantity, 6 + ((synthesis::nextRandom(replay) >> 2) % (30 - 6 + 1)));
        counts.push_back(w.series->wImpulseQuantity);
    }
    EXPECT_GT(*std::max_element(counts.begin(), counts.end()), *std::min_element(counts.begin(), counts.end()));
    EXPECT_TRUE(w.messages.messages.empty());
}

TEST(SeriesSynthesis, NoiseIsAddedToACopyAndWrapsAt16Bits)
{
    Workbench w;
    ASSERT_TRUE(w.make(7200, 40));
    synthesis::addNoise(0, 128, w.series.get(), w.streams.noiseSeed);
    EXPECT_EQ(w.series->lpSeriesData, w.series->lpPureData);
    EXPECT_EQ(w.series->wNoiseLevel, 0);

    int32_t replay = w.streams.noiseSeed;
    synthesis::addNoise(25, 128, w.series.get(), w.streams.noiseSeed);
    EXPECT_EQ(w.series->wNoiseLevel, 25);
    double sum = 0, squares = 0;
    for (uint32_t i = 0; i < 7200; ++i) {
        const int d = w.series->lpSeriesData[i] - w.series->lpPureData[i];
        ASSERT_EQ(d, synthesis::gaussRandom(replay, 0, 25));
        sum += d;
        squares += d * d;
    }
    EXPECT_NEAR(sum / 7200, 0.0, 1.5);
    EXPECT_NEAR(std::sqrt(squares / 7200), 25.0, 1.5);

    w.series->lpPureData[0] = 32767;
    int32_t seed = 1;
    int32_t probe = 1;
    const int32_t first = synthesis::gaussRandom(probe, 0, 30000);
    synthesis::addNoise(30000, 128, w.series.get(), seed);
    EXPECT_EQ(w.series->lpSeriesData[0], static_cast<int16_t>(32767 + first));

    synthesis::addNoise(10, 128, nullptr, seed);  // nothing to do, nothing breaks
}

TEST(SeriesSynthesis, RequiredListCountsFromOne)
{
    base::MessageRecorder messages;
    const std::vector<uint16_t> list = synthesis::getRequiredList(messages, 20);
    ASSERT_EQ(list.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(list[i], i + 1);
    EXPECT_TRUE(synthesis::getRequiredList(messages, 0).empty());
}
