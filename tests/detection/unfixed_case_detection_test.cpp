// Unfixed-case detection: the chain programme against an enumeration of every
// chain on small series, the thresholds and passes of each method against
// their formulas on synthesized series, and the trace text.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "detection/unfixed_case_detection.h"
#include "tests/synthesis/synthesis_fixture.h"
#include "support/sanitized_trials.h"

namespace {

// A series over the given observed samples (pure samples the same), with the
// pulse-count bounds the synthesis would give it.
synthesis::SeriesHeader makeSeries(const std::vector<int16_t>& samples, uint16_t L, uint16_t Tmin, uint16_t Tmax)
{
    synthesis::SeriesHeader s;
    s.dwSeriesCapacity = s.dwSeriesSize = static_cast<uint32_t>(samples.size());
    s.lpSeriesData = samples;
    s.lpPureData = samples;
    s.wImpulseSize = L;
    s.wTmin = Tmin;
    s.wTmax = Tmax;
    s.wMaxPulses = synthesis::seriesMaxPulses(s.dwSeriesSize, L, Tmin);
    s.wMinPulses = std::max<uint16_t>(synthesis::seriesMinPulses(s.dwSeriesSize, L, Tmax), 1);
    s.wPulsesCapacity = s.wMaxPulses;
    for (auto* a : {&s.lpPositions, &s.lpFoundPositions, &s.lpMinPositions, &s.lpMaxPositions})
        a->assign(s.wMaxPulses, 0);
    return s;
}

int32_t windowEnergy(const std::vector<int16_t>& x, int p, int L)
{
    int32_t e = 0;
    for (int i = 0; i < L; ++i)
        e += x[p + i] * x[p + i];
    return e;
}

// Which starts may hold a first, a later and a last pulse, by the admissible
// ranges of every count.
struct Regions {
    std::vector<bool> first, later, last;
    bool any(int p) const { return first[p] || later[p]; }
};

Regions regionsOf(int N, int L, int Tmin, int Tmax, int mMin, int mMax)
{
    Regions r{std::vector<bool>(N), std::vector<bool>(N), std::vector<bool>(N)};
    for (int n = mMin; n <= mMax; ++n)
        for (int k = 0; k < n; ++k) {
            const int lo = std::max(Tmin * k, N - Tmax * (n - k));
            const int hi = std::min(Tmax * (k + 1) - L, N - L - Tmin * (n - 1 - k));
            for (int p = lo; p <= hi; ++p) {
                if (k == 0)
                    r.first[p] = true;
                if (k > 0)
                    r.later[p] = true;
                if (k == n - 1)
                    r.last[p] = true;
            }
        }
    return r;
}

std::vector<bool> membersOf(const detection::DetectionStudy& d, int g, int N)
{
    std::vector<bool> in(N);
    for (int k = 0; k < d.wIntervalCounts[g]; ++k)
        for (int p = d.lpIntervalStarts[g][k]; p <= d.lpIntervalEnds[g][k]; ++p)
            in[p] = true;
    return in;
}

// Best total of every chain ending at each start, by walking every chain:
// it starts anywhere in Omega, each further start lies Tmin..Tmax after the
// one before and in Omega[~].
std::vector<int64_t> bestChainEndingAt(const Regions& r, const std::vector<int32_t>& energy, int Tmin, int Tmax)
{
    const int N = static_cast<int>(energy.size());
    std::vector<int64_t> best(N, INT64_MIN);
    auto walk = [&](auto&& self, int p, int64_t total) -> void {
        best[p] = std::max(best[p], total);
        for (int q = p + Tmin; q <= std::min(p + Tmax, N - 1); ++q)
            if (r.later[q])
                self(self, q, total + energy[q]);
    };
    for (int p = 0; p < N; ++p)
        if (r.any(p))
            walk(walk, p, energy[p]);
    return best;
}

struct SmallCase {
    std::vector<int16_t> samples;
    uint16_t L, Tmin, Tmax;
};

SmallCase randomSmallCase(std::mt19937& rng)
{
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    SmallCase c;
    c.L = static_cast<uint16_t>(pick(1, 6));
    c.Tmin = static_cast<uint16_t>(pick(3, 8));
    c.Tmax = static_cast<uint16_t>(std::max(c.Tmin + c.L + pick(0, 14), int{c.L}));
    const int N = pick(c.L + c.Tmin, 44);
    const int zeroShare = pick(2, 10);  // 10: an all-zero series
    for (int i = 0; i < N; ++i)
        c.samples.push_back(static_cast<int16_t>(pick(0, 9) < zeroShare ? 0 : pick(-9, 9)));
    return c;
}

}  // namespace

TEST(UnfixedChainProgramme, MatchesEveryChainOnSmallSeries)
{
    std::mt19937 rng(7);
    int detections = 0, emptyDetections = 0, chainsOfSeveral = 0;
    for (int trial = 0; trial < test_support::trials(600); ++trial) {
        const SmallCase c = randomSmallCase(rng);
        synthesis::SeriesHeader s = makeSeries(c.samples, c.L, c.Tmin, c.Tmax);
        const int N = static_cast<int>(s.dwSeriesSize);
        if (s.wMinPulses > s.wMaxPulses)
            continue;
        SCOPED_TRACE("trial " + std::to_string(trial) + ": N " + std::to_string(N) + " L " + std::to_string(c.L) +
                     " Tmin " + std::to_string(c.Tmin) + " Tmax " + std::to_string(c.Tmax));
        const Regions r = regionsOf(N, c.L, c.Tmin, c.Tmax, s.wMinPulses, s.wMaxPulses);

        // Method 0 lowers every energy by 1; method 3 keeps them (T = 0).
        for (uint16_t method : {0, 3}) {
            base::MessageRecorder sink;
            detection::DetectionStudyPtr study = detection::getDetectionStudy(s, nullptr);
            ASSERT_TRUE(study);
            study->wDetectionMethod = method;
            std::vector<int32_t> chain(N, 12345);
            const int32_t measure =
                detection::study01_UnFixedPulseDetection(sink, c.Tmin, c.Tmax, chain, study.get(), s);

            ASSERT_EQ(membersOf(*study, detection::omegaFirst, N), r.first);
            ASSERT_EQ(membersOf(*study, detection::omegaLater, N), r.later);
            ASSERT_EQ(membersOf(*study, detection::omegaLast, N), r.last);

            const int32_t T = method == 0 ? 1 : 0;
            std::vector<int32_t> reduced(N, 0);
            for (int p = 0; p < N; ++p)
                if (r.any(p)) {
                    reduced[p] = windowEnergy(c.samples, p, c.L) - T;
                    ASSERT_EQ(study->lpEnergies[p], reduced[p] + T) << "energy at " << p;
                }
            const std::vector<int64_t> best = bestChainEndingAt(r, reduced, c.Tmin, c.Tmax);
            int64_t top = 0;
            int end = -1;
            for (int p = 0; p < N; ++p) {
                if (r.any(p))
                    ASSERT_EQ(chain[p], r.later[p] ? best[p] : reduced[p]) << "chain total at " << p;
                else
                    ASSERT_EQ(chain[p], detection::noChainValue) << "outside Omega at " << p;
                if (r.last[p] && best[p] > top) {
                    top = best[p];
                    end = p;
                }
            }

            // The detected chain is a best chain, ends at the lowest best end
            // and obeys the gap rule and the regions.
            const int n = s.wFoundPulses;
            ASSERT_EQ(n == 0, end < 0);
            int64_t total = 0;
            for (int k = 0; k < n; ++k) {
                const int p = s.lpFoundPositions[k];
                total += reduced[p];
                ASSERT_TRUE(k == 0 ? r.any(p) : r.later[p]);
                if (k > 0) {
                    ASSERT_GE(p - s.lpFoundPositions[k - 1], c.Tmin);
                    ASSERT_LE(p - s.lpFoundPositions[k - 1], c.Tmax);
                }
            }
            if (n > 0) {
                ASSERT_EQ(s.lpFoundPositions[n - 1], end);
                ASSERT_EQ(total, top);
            }

            // The returned measure: S / n rounded half up.
            int64_t S = 0;
            for (int i = 0; i < c.L; ++i) {
                int64_t column = 0;
                for (int k = 0; k < n; ++k)
                    column += c.samples[s.lpFoundPositions[k] + i];
                S += column * column;
            }
            ASSERT_EQ(measure, n ? (n + 2 * S) / (2 * n) : 0);

            if (method == 3) {
                synthesis::SeriesHeader plain = makeSeries(c.samples, c.L, c.Tmin, c.Tmax);
                ASSERT_EQ(detection::processSeriesChains(sink, c.Tmin, c.Tmax, plain), top);
                ASSERT_EQ(plain.wFoundPulses, n);
                for (int k = 0; k < n; ++k)
                    ASSERT_EQ(plain.lpFoundPositions[k], s.lpFoundPositions[k]);
            }
            (n == 0 ? emptyDetections : detections) += 1;
            chainsOfSeveral += n > 1;
        }
    }
    // The generated cases must cover both outcomes and real chains.
    EXPECT_GT(detections, test_support::trials(300));
    EXPECT_GT(emptyDetections, test_support::trials(20));
    EXPECT_GT(chainsOfSeveral, test_support::trials(200));
}

namespace {

// Energy of `count` samples from `from` by the rule of a method: the
// additive model counts the noise variance plus the square of the noise-free
// sample, the others the square of the observed one.
int64_t energyByMethod(const synthesis::SeriesHeader& s, int from, int count, int method)
{
    int64_t e = 0;
    for (int i = from; i < from + count; ++i) {
        const int64_t x = method == 5 ? s.lpPureData[i] : s.lpSeriesData[i];
        e += x * x + (method == 5 ? int64_t{s.wNoiseLevel} * s.wNoiseLevel : 0);
    }
    return e;
}

int64_t windowByMethod(const synthesis::SeriesHeader& s, int p, int method)
{
    return energyByMethod(s, p, s.wImpulseSize, method);
}

size_t countOf(const std::string& text, const std::string& piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

std::string lineStartingWith(const std::string& text, const std::string& start)
{
    const size_t at = text.find("\n" + start);
    if (at == std::string::npos)
        return {};
    const size_t end = text.find('\n', at + 1);
    return text.substr(at + 1, end - at - 1);
}

}  // namespace

TEST(UnfixedDetectionMethods, ThresholdsPassesAndEnergiesFollowTheirFormulas)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(1200, 18));
    bench.noise(25);
    synthesis::SeriesHeader& s = *bench.series;
    const int N = 1200, L = 20;
    // The figures of this series, per method: passes, mean window energy, the
    // threshold the last pass reduced by and the one it left, the first and
    // the last noise threshold. Worked out once and checked against the
    // formulas: the mean window energy (N + 2 L F) div 2N over the energy F
    // of the series (the additive model's F counting sigma^2 per sample);
    // from the noise level ((L - 1) + 2 sigma^2 L) div 2(L - 1) = 658, times
    // 30.144; the chi-square thresholds and the noise thresholds the same over
    // the samples outside a pass's detections; sigma^2 L = 12500 for one pass.
    const struct {
        int32_t passes, meanWindow, lastUsed, after, firstNoise, lastNoise;
    } known[] = {
        {1, 33492, 1, 1, 12500, 12500},         {1, 33492, 19834, 19834, 12500, 12500},
        {3, 33492, 17362, 17634, 10323, 11106}, {3, 33492, 0, 0, 10323, 10323},
        {3, 33492, 33492, 33492, 10323, 11466}, {3, 34100, 19834, 19834, 12965, 12500},
        {1, 33492, 19834, 19834, 12500, 12500},
    };

    for (uint16_t method = 0; method <= 6; ++method) {
        SCOPED_TRACE("method " + std::to_string(method));
        base::MessageRecorder sink;
        detection::DetectionStudyPtr study = detection::getDetectionStudy(s, nullptr);
        study->wDetectionMethod = method;
        detection::study01_UnFixedPulseDetection(sink, 40, 181, {}, study.get(), s);
        const detection::DetectionStudy& d = *study;
        const bool threePasses = method >= 2 && method <= 5;
        EXPECT_EQ(d.lPasses, known[method].passes);
        EXPECT_EQ(d.lExpectedNoiseEnergy, 625 * 20);
        EXPECT_EQ(d.lMeanWindowEnergy, known[method].meanWindow);
        const bool fromNoise = method == 1 || method == 6;
        EXPECT_EQ(d.chiSquarePoints[0], fromNoise ? 30.144 : 0.0);
        EXPECT_EQ(d.chiSquarePoints[1], fromNoise ? 10.117 : 0.0);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].caption, " study01_UnFixedPulseDetection ");

        const int64_t lastUsed = known[method].lastUsed;
        EXPECT_EQ(d.lDetectionThreshold, known[method].after);
        EXPECT_EQ(d.lFirstNoiseThreshold, known[method].firstNoise);
        EXPECT_EQ(d.lLastNoiseThreshold, known[method].lastNoise);

        // Energies are kept whole; each pass reduces the restored energies
        // anew, except method 6, which zeroes what does not exceed T.
        for (int p = 0; p <= N - L; ++p) {
            const int64_t e = windowByMethod(s, p, method);
            ASSERT_EQ(d.lpEnergies[p], e) << "start " << p;
            const int64_t reduced = method == 6 ? (e <= lastUsed ? 0 : e) : e - lastUsed;
            ASSERT_EQ(d.lpReducedEnergies[p], reduced) << "start " << p;
        }

        // The passes that did not run repeat the last one; the last is the
        // series' detection.
        if (!threePasses) {
            EXPECT_EQ(d.wDetectedCounts[1], d.wDetectedCounts[0]);
            EXPECT_EQ(d.wDetectedCounts[2], d.wDetectedCounts[0]);
        }
        ASSERT_EQ(d.wDetectedCounts[2], s.wFoundPulses);
        ASSERT_GT(s.wFoundPulses, 0);
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < d.wDetectedCounts[j]; ++k)
                ASSERT_EQ(d.lpDetectedEnergies[j][k], windowByMethod(s, d.lpDetectedPositions[j][k], method));
        for (int k = 0; k < s.wFoundPulses; ++k)
            ASSERT_EQ(d.lpDetectedPositions[2][k], s.lpFoundPositions[k]);

        // The additive model also reports the energy of the windows clear of
        // every first-pass detection (starts from 1).
        const std::string& trace = sink.messages[0].text;
        if (method == 5) {
            int64_t relict = 0, count = 0;
            for (int q = 1; q <= N - L; ++q) {
                bool clear = true;
                for (int k = 0; k < d.wDetectedCounts[0]; ++k)
                    clear = clear && std::abs(q - d.lpDetectedPositions[0][k]) >= L;
                if (clear) {
                    relict += d.lpEnergies[q];
                    ++count;
                }
            }
            ASSERT_GT(count, 0);
            const std::string expected = "const threshold " + std::to_string((count + 2 * relict) / (2 * count)) +
                                         ", relict summary " + std::to_string(relict) + " in " + std::to_string(count) +
                                         " points\n\n[2]tent";
            EXPECT_NE(trace.find(expected), std::string::npos) << trace;
        } else {
            EXPECT_EQ(trace.find("relict"), std::string::npos);
        }
    }
}

TEST(UnfixedDetectionMethods, LongDetectionsAreListedUpToTheirLimitsInTheTrace)
{
    // The primitive method keeps every positive window of the noise-free
    // series; the trace marks a detected energy with '#' when T reaches it.
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(1200, 20));
    synthesis::SeriesHeader& s = *bench.series;
    base::MessageRecorder sink;
    detection::DetectionStudyPtr study = detection::getDetectionStudy(s, nullptr);
    study->wDetectionMethod = detection::kPrimitiveMethod;
    detection::study01_UnFixedPulseDetection(sink, 40, 181, {}, study.get(), s);
    ASSERT_EQ(sink.messages.size(), 1u);
    const std::string& trace = sink.messages[0].text;
    ASSERT_GT(s.wFoundPulses, 12);

    const std::string detect = lineStartingWith(trace, "[1] detect[");
    EXPECT_EQ(detect.rfind("[1] detect[" + std::to_string(s.wFoundPulses) + "]: ", 0), 0u);
    EXPECT_EQ(countOf(detect, " \t"), 12u) << detect;
    EXPECT_EQ(detect.substr(detect.size() - 3), "...");
    EXPECT_NE(detect.find(" \t" + std::string(5 - std::to_string(s.lpFoundPositions[0]).size(), ' ') +
                          std::to_string(s.lpFoundPositions[0]) + " "),
              std::string::npos);

    const std::string energies = lineStartingWith(trace, " energies:\t");
    EXPECT_EQ(countOf(energies, " \t"), 12u) << energies;
    EXPECT_EQ(energies.substr(energies.size() - 3), "...");
    EXPECT_EQ(countOf(energies, "#"), 0u) << "no pulse energy is as low as 1";

    const std::string pulses = lineStartingWith(trace, "pulses [20]: ");
    EXPECT_EQ(countOf(pulses, " "), 2u + 2 * 17) << pulses;
    EXPECT_EQ(pulses.substr(pulses.size() - 3), "...");
}

TEST(UnfixedDetectionTrace, NothingDetectedGivesZeroAveragesAndTheWholeText)
{
    // Zero samples: every reduced energy is -1, no chain total exceeds 0.
    synthesis::SeriesHeader s = makeSeries(std::vector<int16_t>(100, 0), 10, 20, 95);
    s.wFoundPulses = 3;
    base::MessageRecorder sink;
    detection::DetectionStudyPtr study = detection::getDetectionStudy(s, nullptr);
    study->wDetectionMethod = detection::kPrimitiveMethod;
    std::vector<int32_t> chain(100, 7);
    EXPECT_EQ(detection::study01_UnFixedPulseDetection(sink, 20, 95, chain, study.get(), s), 0);
    EXPECT_EQ(s.wFoundPulses, 0);
    EXPECT_EQ(study->wDetectedCounts[0], 0);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text,
              "noise level: 0\n"
              "Omega[-]:\t [0..85]\n"
              "Omega[~]:\t [20..90]\n"
              "Omega:\t\t [0..90]\n"
              "Omega[-]\\[~]:\t [0..19]\n"
              "Omega[-]X[~]:\t [20..85]\n"
              "Omega[~]\\[-]:\t [86..90]\n"
              "Omega[+]:\t [5..90]\n"
              "method: 0, passes 1\n"
              "pulses [0]: \n"
              "[1] detect[0]: \n"
              " energies:\t\n"
              "full series energy 0 = 0 + 0\n"
              "noise threshold 0, noise energy 0 [0] in 100 points\n"
              "detection threshold 1  ->  0, 0, 0\n");
    EXPECT_EQ(sink.messages[0].caption, " study01_UnFixedPulseDetection ");
    for (int p = 0; p < 100; ++p)
        ASSERT_EQ(chain[p], p <= 90 ? -1 : detection::noChainValue) << p;
}

TEST(UnfixedDetectionTrace, FullSetsDropIntervalsAndTheDefaultMethodRunsWithoutStudy)
{
    // Tmin = Tmax: the start ranges of the counts 3 and 4 do not merge, and
    // Omega[~] has room for 4 intervals only.
    synthesis::SeriesHeader s = makeSeries(std::vector<int16_t>(100, 1), 10, 30, 30);
    ASSERT_EQ(s.wMinPulses, 3);
    ASSERT_EQ(s.wMaxPulses, 4);
    base::MessageRecorder sink;
    detection::study01_UnFixedPulseDetection(sink, 30, 30, {}, nullptr, s);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text.rfind("noise level: 0\n"
                                          "Omega[-]:\t [0..0] [10..20]\n"
                                          "Omega[~]:\t [30..30] [40..50] [60..60] [70..80]\n"
                                          "Omega:\t\t [0..0] [10..20] [30..30] [40..50]\n"
                                          "Omega[-]\\[~]:\t [0..0] [10..20]\n"
                                          "Omega[-]X[~]:\t\n"
                                          "Omega[~]\\[-]:\t [30..30] [40..50] [60..60] [70..80]\n"
                                          "Omega[+]:\t [70..80] [90..90]\n"
                                          "method: 2, passes 3\n"
                                          "pulses [0]: \n"
                                          "[1]ini detect[",
                                          0),
              0u)
        << sink.messages[0].text;
    EXPECT_NE(sink.messages[0].text.find("\n[2]tent detect["), std::string::npos);
    EXPECT_NE(sink.messages[0].text.find("\n[3]fin detect["), std::string::npos);
}

TEST(UnfixedChainProgramme, TiesKeepTheLowestStartsAndLateStartsBeginChains)
{
    auto detect = [](std::vector<std::pair<int, int16_t>> bumps) {
        std::vector<int16_t> x(100, 0);
        for (auto [at, v] : bumps)
            x[at] = v;
        synthesis::SeriesHeader s = makeSeries(x, 10, 20, 95);
        base::MessageRecorder sink;
        detection::DetectionStudyPtr study = detection::getDetectionStudy(s, nullptr);
        study->wDetectionMethod = detection::kPrimitiveMethod;
        detection::study01_UnFixedPulseDetection(sink, 20, 95, {}, study.get(), s);
        return std::vector<int>(s.lpFoundPositions.begin(), s.lpFoundPositions.begin() + s.wFoundPulses);
    };
    // Ten windows hold the one sample equally: the lowest is the last pulse.
    EXPECT_EQ(detect({{50, 10}}), (std::vector<int>{41}));
    // Equal predecessors: the lowest is linked.
    EXPECT_EQ(detect({{20, 10}, {80, 10}}), (std::vector<int>{11, 71}));
    // Starts 86..90 can only follow a pulse, yet with no positive
    // predecessor the chain starts there.
    EXPECT_EQ(detect({{95, 10}}), (std::vector<int>{86}));
}

TEST(UnfixedDetectionRecord, StudyIsReusedWhenLargeEnoughAndCleared)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(1200, 18));
    detection::DetectionStudyPtr study = detection::getDetectionStudy(*bench.series, nullptr);
    ASSERT_TRUE(study);
    EXPECT_EQ(study->wPulseCapacity, 30);
    EXPECT_EQ(study->dwCapacity, 1200u);
    EXPECT_EQ(study->wTruePulses, 18);
    EXPECT_EQ(study->wMinPulses, 6);
    for (int k = 0; k < 18; ++k)
        EXPECT_EQ(study->lpTruePositions[k], bench.series->lpPositions[k]);
    study->wDetectionMethod = 6;
    study->wTask = 32;
    base::MessageRecorder sink;
    detection::study01_UnFixedPulseDetection(sink, 40, 181, {}, study.get(), *bench.series);
    ASSERT_GT(study->wDetectedCounts[0], 0);

    // Re-use, clearing and release: tests/detection/record_reuse_test.cpp.
    ASSERT_TRUE(bench.make(600, 8));
    study = detection::getDetectionStudy(*bench.series, std::move(study));
    EXPECT_EQ(study->dwSeriesSize, 600u);
    EXPECT_EQ(study->wDetectionMethod, 6) << "the shell's settings stay with a re-used study";
    ASSERT_TRUE(bench.make(2400, 30));
    study = detection::getDetectionStudy(*bench.series, std::move(study));
    EXPECT_EQ(study->wPulseCapacity, 60);
}

TEST(UnfixedDetectionRecord, ShortChainOutputAndHugeNoiseLevelsStayInBounds)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(600, 8));
    synthesis::SeriesHeader& s = *bench.series;
    base::MessageRecorder sink;
    std::vector<int32_t> chain(12, 5);
    std::span<int32_t> first(chain.data(), 10);
    detection::study01_UnFixedPulseDetection(sink, 40, 181, first, nullptr, s);
    EXPECT_EQ(chain[10], 5);
    std::vector<int32_t> whole(600, 5);
    detection::study01_UnFixedPulseDetection(sink, 40, 181, whole, nullptr, s);
    for (int p = 0; p < 10; ++p)
        EXPECT_EQ(chain[p], whole[p]);

    // sigma^2 L 30144 leaves 32 bits: the threshold stays the largest one
    // instead of wrapping negative, and nothing is detected.
    s.wNoiseLevel = 20000;
    detection::DetectionStudyPtr study = detection::getDetectionStudy(s, nullptr);
    study->wDetectionMethod = detection::kChiSquareKnownDispersion;
    detection::study01_UnFixedPulseDetection(sink, 40, 181, {}, study.get(), s);
    EXPECT_EQ(study->lDetectionThreshold, INT32_MAX);
    EXPECT_EQ(s.wFoundPulses, 0);

    // Intervals the series was not made with: a gap of 0 lets a start be its
    // own predecessor, a Tmax below Tmin leaves none; the chains still end
    // and stay in order.
    s.wNoiseLevel = 25;
    for (auto [tmin, tmax] : {std::pair<uint16_t, uint16_t>{0, 181}, {0, 0}, {60, 30}, {1, 2}}) {
        detection::study01_UnFixedPulseDetection(sink, tmin, tmax, {}, nullptr, s);
        ASSERT_LE(s.wFoundPulses, s.lpFoundPositions.size());
        for (int k = 1; k < s.wFoundPulses; ++k) {
            ASSERT_GE(s.lpFoundPositions[k] - s.lpFoundPositions[k - 1], std::max<int>(tmin, 1));
        }
        detection::processSeriesChains(sink, tmin, tmax, s);
        ASSERT_LE(s.wFoundPulses, s.lpFoundPositions.size());
    }
}
