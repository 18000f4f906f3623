#pragma once
// The series the benchmarks estimate on: etalons of 20 samples at amplitude
// 128 (the start-up alphabet), K pulses Tmin..Tmax apart in N samples, the
// etalons taken from `sequence` in turn, noise level 25.

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"

constexpr uint16_t kBenchPulseLength = 20;
constexpr int16_t kBenchAmplitude = 128, kBenchNoise = 25;

struct BenchSeries {
    std::array<synthesis::PulseHeader, 20> alphabet{};
    synthesis::RandomStreams streams;
    base::MessageRecorder sink;
    std::vector<uint16_t> sequence;
    synthesis::SeriesHeaderPtr series;

    BenchSeries(uint32_t N, uint16_t K, uint16_t Tmin, uint16_t Tmax, std::vector<uint16_t> etalons)
        : sequence(std::move(etalons))
    {
        synthesis::makeAlphabet(sink, kBenchAmplitude, 20, kBenchPulseLength, alphabet, streams.etalonSeed);
        series = synthesis::getCutOffSeries(sink, alphabet, kBenchPulseLength, Tmin, Tmax, N, K, sequence,
                                            kBenchAmplitude, 100, std::move(series), streams);
        synthesis::addNoise(kBenchNoise, kBenchAmplitude, series.get(), streams.noiseSeed);
    }
};
