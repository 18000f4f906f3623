// mergeSimulationParts: the shares of one run, simulated apart, put together.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "detection/simulation_series.h"
#include "detection/statistical_simulation.h"

namespace detection {

int mergeSimulationParts(base::MessageSink& sink, RestErrorHeader* header, uint16_t seriesType, uint16_t task,
                         uint16_t createEnergy, int16_t processEnergy, std::span<const SimulationPart> parts)
{
    const char* caption = " mergeSimulationParts ";
    auto refuse = [&](const std::string& why) {
        sink.messageBox(why, caption, base::MessageIcon::Warning);
        return 0;
    };
    if (!header)
        return refuse("There is no error record to merge into.\n");
    RestErrorHeader& h = *header;
    const size_t cells = size_t{h.wVariousPulses} * h.wNoiseLevels;
    if (parts.empty())
        return refuse("There are no parts to merge.\n");
    std::vector<const SimulationPart*> order;
    for (const SimulationPart& p : parts) {
        if (p.seriesCount != parts[0].seriesCount || p.cellSums.size() != cells)
            return refuse("The parts are not of one run.\n");
        order.push_back(&p);
    }
    std::sort(order.begin(), order.end(), [](const SimulationPart* a, const SimulationPart* b) {
        // An empty share comes before the one that starts where it stands.
        return a->firstSeries != b->firstSeries ? a->firstSeries < b->firstSeries : a->endSeries < b->endSeries;
    });
    uint64_t covered = 0;
    for (const SimulationPart* p : order) {
        if (p->firstSeries != covered || p->endSeries < p->firstSeries)
            return refuse(p->firstSeries < covered ? "Two parts hold the same series.\n"
                                                   : "The parts leave series out.\n");
        covered = p->endSeries;
    }
    if (covered != parts[0].seriesCount)
        return refuse("The parts leave series out.\n");

    std::vector<int64_t> V(cells, 0);
    for (const SimulationPart* p : order) {
        for (size_t c = 0; c < cells; ++c)
            V[c] += p->cellSums[c];
        for (const auto& [series, m] : p->messages)
            sink.messageBox(m.text, m.caption, m.icon);
    }
    addInitRestErrHeader(sink, seriesType, task, createEnergy, processEnergy, header);
    for (size_t c = 0; c < cells; ++c)
        writeCell(h, c, V[c], h.wNoiseLevels);
    h.fReady = 1;
    return 1;
}

}  // namespace detection
