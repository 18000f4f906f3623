#include "commands/simulation_output.h"

#include "files/simulation_parts.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

namespace commands {

using files::firstOf;

void printSimulationResult(const detection::RestErrorHeader& r, const synthesis::SeriesHeader* last,
                           SimulationFormat format)
{
    const auto pulses = firstOf(r.wPulseValues, r.wVariousPulses);
    const auto levels = firstOf(r.lpNoiseLevel, r.wNoiseLevels);
    const auto& errors = r.lpErrors[detection::kDetectionErrors];
    if (format == SimulationFormat::Json) {
        files::JsonWriter j;
        j.beginObject();
        j.key("wPulseValues").array(pulses);
        j.key("lpNoiseLevel").array(levels);
        j.field("repeats", r.repeats);
        j.key("errors").beginArray();
        for (size_t i = 0; i < levels.size(); ++i)
            j.array(firstOf(errors[i], pulses.size()));
        j.endArray();
        j.key("series");
        last ? files::writeSeriesJson(j, *last) : (void)j.null();
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
            for (int16_t p : firstOf(h.lpPositions, h.wImpulseQuantity))
                std::printf(" %d", p);
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

}  // namespace commands
