// The random streams and the Alphabet against the documented values.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "synthesis/etalon_generation.h"
#include "synthesis/random_streams.h"

namespace {

std::vector<int> samplesOf(const synthesis::PulseHeader& e)
{
    return std::vector<int>(e.lpData.begin(), e.lpData.begin() + e.wSize);
}

struct Alphabet {
    std::array<synthesis::PulseHeader, 20> etalons{};
    synthesis::RandomStreams streams;
    base::MessageRecorder messages;
    int result = synthesis::makeAlphabet(messages, 128, 20, 20, etalons, streams.etalonSeed);
};

}  // namespace

TEST(RandomStreams, FirstValuesAreTheDocumentedOnes)
{
    int32_t seed = 123;
    EXPECT_EQ(synthesis::nextRandom(seed), 16948);
    EXPECT_EQ(seed, 16948);

    int32_t gaussSeed = 123;
    EXPECT_EQ(synthesis::gaussRandom(gaussSeed, 0, 64), -55);

    // The generator is 15-bit and the start values are the fixed ones.
    const synthesis::RandomStreams s;
    EXPECT_EQ(s.etalonSeed, 123);
    EXPECT_EQ(s.positionSeed, 12345);
    EXPECT_EQ(s.cutStartSeed, 7737);
    EXPECT_EQ(s.cutEndSeed, 3373);
    EXPECT_EQ(s.countSeed, 13579);
    EXPECT_EQ(s.firstFixedGapSeed, 11357);
    EXPECT_EQ(s.secondFixedGapSeed, 11357);
    EXPECT_EQ(s.noiseSeed, 10597);
}

TEST(RandomStreams, GeneratorHasFullPeriodOf32768)
{
    int32_t seed = 0;
    std::vector<bool> seen(32768, false);
    for (int i = 0; i < 32768; ++i) {
        const int32_t v = synthesis::nextRandom(seed);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 32768);
        ASSERT_FALSE(seen[v]) << "value repeated after " << i << " steps";
        seen[v] = true;
    }
}

TEST(RandomStreams, GaussHasTheRequestedMeanAndDeviation)
{
    // 20000 draws: the standard error of the mean is 100/sqrt(20000) ~ 0.7.
    int32_t seed = 10597;
    const int n = 20000;
    double sum = 0, sumSquares = 0;
    for (int i = 0; i < n; ++i) {
        const double v = synthesis::gaussRandom(seed, 50, 100);
        sum += v;
        sumSquares += v * v;
    }
    const double mean = sum / n;
    const double deviation = std::sqrt(sumSquares / n - mean * mean);
    EXPECT_NEAR(mean, 50.0, 3.0);
    EXPECT_NEAR(deviation, 100.0, 3.0);
}

TEST(RandomStreams, GaussProductWrapsAt32BitsForHugeDeviations)
{
    // Deviations above ~10900 overflow the 32-bit product; it must wrap the
    // way 32-bit arithmetic does, not trap. The values were worked out once
    // from twelve 15-bit draws (x -> 12869 x + 6925 mod 2^15) less 196608,
    // times 32767 in a two's-complement 32-bit word, shifted right by 15:
    // the third and sixth leave the 16-bit range only because of the wrap.
    int32_t seed = 999;
    std::vector<int32_t> values;
    for (int i = 0; i < 8; ++i)
        values.push_back(synthesis::gaussRandom(seed, 7, 32767));
    EXPECT_EQ(values, (std::vector<int32_t>{31104, -30255, -64738, 46447, -3903, -64242, -15775, 63663}));
}

TEST(RandomStreams, GaussDrawsFollowTheNormalDensity)
{
    // One whole period of the stream (8192 draws of twelve values each: the
    // 15-bit generator repeats after 32768 values) binned in quarters of a
    // deviation from -3 to 3 plus both tails, against the normal density:
    // chi-square with 25 degrees of freedom. 52.6 is its 0.1% point; a sum
    // of three draws scaled to the same deviation (right mean and deviation,
    // wrong shape) gives well above it.
    constexpr int draws = 8192, deviation = 1000;
    constexpr int bins = 26;  // below -3, 24 quarters, from 3 on
    std::array<int, bins> counts{};
    int32_t seed = 10597;
    for (int i = 0; i < draws; ++i) {
        const double z = static_cast<double>(synthesis::gaussRandom(seed, 0, deviation)) / deviation;
        const int bin = z < -3.0 ? 0 : z >= 3.0 ? bins - 1 : 1 + static_cast<int>(std::floor((z + 3.0) * 4.0));
        ++counts[static_cast<size_t>(bin)];
    }
    auto normal = [](double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); };
    double chiSquare = 0;
    for (int b = 0; b < bins; ++b) {
        const double lo = b == 0 ? -INFINITY : -3.0 + (b - 1) * 0.25;
        const double hi = b == bins - 1 ? INFINITY : -3.0 + b * 0.25;
        const double expected = draws * (normal(hi) - normal(lo));
        chiSquare +=
            (counts[static_cast<size_t>(b)] - expected) * (counts[static_cast<size_t>(b)] - expected) / expected;
    }
    std::printf("[   info   ] chi-square of %d draws over %d bins: %.1f\n", draws, bins, chiSquare);
    EXPECT_LT(chiSquare, 52.6);
}

TEST(Alphabet, AnalyticEtalonsHaveTheDocumentedSamples)
{
    Alphabet a;
    ASSERT_EQ(a.result, 1);
    EXPECT_TRUE(a.messages.messages.empty());
    EXPECT_EQ(samplesOf(a.etalons[0]), std::vector<int>(20, 60));
    EXPECT_EQ(samplesOf(a.etalons[2]),
              (std::vector<int>{12, 24, 36, 47, 57, 65, 72, 78, 81, 83, 83, 81, 78, 72, 65, 57, 47, 36, 24, 12}));
    EXPECT_EQ(samplesOf(a.etalons[4]), (std::vector<int>{24,  47,  65,  78,  83,  81,  72,  57,  36,  12,
                                                         -12, -36, -57, -72, -81, -83, -78, -65, -47, -24}));
    EXPECT_EQ(samplesOf(a.etalons[6]),
              (std::vector<int>{0, 117, 87, -90, -147, 0, 112, 53, -40, -50, 0, 29, 14, -10, -13, 0, 7, 3, -2, -3}));
    EXPECT_EQ(samplesOf(a.etalons[8]),
              (std::vector<int>{0, 102, 115, 117, 118, 91, 71, 55, 43, 33, 26, 20, 15, 12, 9, 7, 5, 4, 3, 2}));
    for (int i = 1; i < 10; i += 2)
        for (int j = 0; j < 20; ++j)
            ASSERT_EQ(a.etalons[i].lpData[j], -a.etalons[i - 1].lpData[j])
                << "etalon " << synthesis::etalonLetter(i + 1);
}

TEST(Alphabet, NoiseEtalonsComeFromTheEtalonStreamAndAreClamped)
{
    Alphabet a;
    const std::vector<int> k = samplesOf(a.etalons[10]);
    EXPECT_EQ(std::vector<int>(k.begin(), k.begin() + 5), (std::vector<int>{-55, 66, -105, -15, -9}));
    const std::vector<int> t = samplesOf(a.etalons[19]);
    EXPECT_EQ(std::vector<int>(t.begin(), t.begin() + 3), (std::vector<int>{-66, -79, 32}));
    for (int i = 10; i < 20; ++i)
        for (int v : samplesOf(a.etalons[i])) {
            EXPECT_GE(v, -128);
            EXPECT_LE(v, 127);
        }
    // 200 samples drawn, twelve steps each.
    int32_t replay = 123;
    for (int i = 0; i < 200 * 12; ++i)
        synthesis::nextRandom(replay);
    EXPECT_EQ(a.streams.etalonSeed, replay);
}

TEST(Alphabet, EntriesAreNumberedAndShownAsLetters)
{
    Alphabet a;
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(a.etalons[i].wNumber, i + 1);
        EXPECT_EQ(a.etalons[i].wSize, 20);
        EXPECT_EQ(a.etalons[i].wAllocSize, 20);
    }
    EXPECT_EQ(synthesis::etalonLetter(1), 'a');
    EXPECT_EQ(synthesis::etalonLetter(20), 't');
}

TEST(Alphabet, BuffersAreReusedOrReplacedWhenTooSmall)
{
    std::array<synthesis::PulseHeader, 20> etalons{};
    base::MessageRecorder messages;
    int32_t seed = 123;
    ASSERT_EQ(synthesis::makeAlphabet(messages, 128, 20, 20, etalons, seed), 1);
    const int16_t* first = etalons[3].lpData.data();
    ASSERT_EQ(synthesis::makeAlphabet(messages, 128, 20, 12, etalons, seed), 1);
    EXPECT_EQ(etalons[3].lpData.data(), first) << "a large enough buffer is kept";
    EXPECT_EQ(etalons[3].wAllocSize, 20);
    EXPECT_EQ(etalons[3].wSize, 12);
    EXPECT_TRUE(messages.messages.empty());

    ASSERT_EQ(synthesis::makeAlphabet(messages, 128, 20, 30, etalons, seed), 1);
    ASSERT_EQ(messages.messages.size(), 1u) << "the warning is shown for entry 0 only";
    EXPECT_EQ(messages.messages[0].text, "Предварительное освобождение памяти!");
    EXPECT_EQ(messages.messages[0].caption, "Отладка");
    EXPECT_EQ(etalons[19].wAllocSize, 30);
    EXPECT_EQ(etalons[19].lpData.size(), 30u);
}

TEST(Alphabet, RefusesMoreEtalonsThanTheArrayHolds)
{
    std::array<synthesis::PulseHeader, 4> etalons{};
    base::MessageRecorder messages;
    int32_t seed = 123;
    EXPECT_EQ(synthesis::makeAlphabet(messages, 128, 5, 20, etalons, seed), 0);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(etalons[0].lpData.empty());
}
