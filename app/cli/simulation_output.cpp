#include "simulation_output.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

namespace cli {

namespace {

template <typename T>
std::span<const T> first(const std::vector<T>& v, size_t n)
{
    return std::span<const T>(v.data(), std::min(n, v.size()));
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
    j.key("lpPositions").array(first(s.lpPositions, K));
    j.key("lpEtalonSequence").array(first(s.lpEtalonSequence, K));
    j.key("lpCutFrom").array(first(s.lpCutFrom, K));
    j.key("lpCutTo").array(first(s.lpCutTo, K));
    j.key("lpMinPositions").array(first(s.lpMinPositions, K));
    j.key("lpMaxPositions").array(first(s.lpMaxPositions, K));
    j.field("wFoundPulses", s.wFoundPulses);
    j.key("lpFoundPositions").array(first(s.lpFoundPositions, s.wFoundPulses));
    j.key("lpPureData").array(first(s.lpPureData, N));
    j.key("lpSeriesData").array(first(s.lpSeriesData, N));
    j.endObject();
}

void printSimulationResult(const detection::RestErrorHeader& r, const synthesis::SeriesHeader* last,
                           SimulationFormat format)
{
    const auto pulses = first(r.wPulseValues, r.wVariousPulses);
    const auto levels = first(r.lpNoiseLevel, r.wNoiseLevels);
    const auto& errors = r.lpErrors[detection::kDetectionErrors];
    if (format == SimulationFormat::Json) {
        JsonWriter j;
        j.beginObject();
        j.key("wPulseValues").array(pulses);
        j.key("lpNoiseLevel").array(levels);
        j.field("repeats", r.repeats);
        j.key("errors").beginArray();
        for (size_t i = 0; i < levels.size(); ++i)
            j.array(first(errors[i], pulses.size()));
        j.endArray();
        j.key("series");
        last ? writeSeriesJson(j, *last) : (void)j.null();
        j.endObject();
        std::printf("%s\n", j.text().c_str());
    } else if (format == SimulationFormat::Csv) {
        std::printf("noise");
        for (int16_t m : pulses)
            std::printf(",%d", m);
        std::printf("\n");
        for (size_t i = 0; i < levels.size(); ++i) {
            std::printf("%d", levels[i]);
            for (size_t jx = 0; jx < pulses.size(); ++jx)
                std::printf(",%d", errors[i][jx]);
            std::printf("\n");
        }
    } else {
        std::printf("pulse values:");
        for (int16_t m : pulses)
            std::printf(" %d", m);
        std::printf("\nnoise levels:");
        for (int16_t l : levels)
            std::printf(" %d", l);
        std::printf("\nrepeats: %d\ndetection errors (one row per noise level):\n", r.repeats);
        for (size_t i = 0; i < levels.size(); ++i) {
            std::printf("%6d |", levels[i]);
            for (size_t jx = 0; jx < pulses.size(); ++jx)
                std::printf(" %8d", errors[i][jx]);
            std::printf("\n");
        }
        if (last) {
            const synthesis::SeriesHeader& h = *last;
            std::printf("last series: %u samples, %d pulses, noise level %d, positions:", h.dwSeriesSize,
                        h.wImpulseQuantity, h.wNoiseLevel);
            for (int16_t p : first(h.lpPositions, h.wImpulseQuantity))
                std::printf(" %d", p);
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

}  // namespace cli
