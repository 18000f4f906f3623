#pragma once
// A small workbench for tests of the compute core: the Alphabet of the
// start-up settings, the random streams, an etalon sequence and a series.

#include <array>
#include <vector>

#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"

struct SynthesisFixture {
    std::array<synthesis::PulseHeader, 20> alphabet{};
    synthesis::RandomStreams streams;
    base::MessageRecorder messages;
    std::vector<uint16_t> sequence = std::vector<uint16_t>(2000, 1);
    synthesis::SeriesHeaderPtr series;

    SynthesisFixture() { synthesis::makeAlphabet(messages, 128, 20, 20, alphabet, streams.etalonSeed); }

    // A series of K pulses; true when the synthesis accepted the parameters.
    bool make(uint32_t N, uint16_t K, uint16_t Tmin = 40, uint16_t Tmax = 181, uint16_t saved = 100, uint16_t L = 20)
    {
        bool made = false;
        series = synthesis::getCutOffSeries(messages, alphabet, L, Tmin, Tmax, N, K, sequence, 128, saved,
                                            std::move(series), streams, &made);
        return made;
    }

    void noise(int16_t level) { synthesis::addNoise(level, 128, series.get(), streams.noiseSeed); }
};
