#include "detection/statistical_simulation.h"

#include <algorithm>
#include <memory>
#include <new>

#include "detection/stepwise_protocol.h"
#include "base/wrapping.h"

namespace detection {

RestErrorHeaderPtr getRestErrHeader(base::MessageSink& sink, uint16_t pulses, uint16_t levels, int32_t repeats,
                                    RestErrorHeaderPtr existing)
{
    const char* caption = " getRestErrHeader ";
    if (!existing) {
        try {
            existing = std::make_unique<RestErrorHeader>();
        } catch (const std::bad_alloc&) {
            sink.messageBox("Нет памяти для newRestErrorHeader!", caption, base::MessageIcon::None);
            return nullptr;
        }
    }
    RestErrorHeader& h = *existing;
    if (h.wReservedPulses + h.wReservedLevels < pulses + levels || h.wReservedLevels < levels) {
        h.wReservedPulses = pulses;
        h.wReservedLevels = levels;
    }
    // The arrays cover both the reserved sizes and the ones asked for, so no
    // combination of earlier and later sizes can reach past them.
    const size_t columns = std::max(h.wReservedPulses, pulses);
    const size_t rows = std::max(h.wReservedLevels, levels);
    try {
        h.wPulseValues.assign(columns, 0);
        h.lpNoiseLevel.assign(rows, 0);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpNoiseLevel!", caption, base::MessageIcon::None);
        return nullptr;
    }
    try {
        for (auto& matrix : h.lpErrors)
            matrix.resize(rows);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpErrors!", caption, base::MessageIcon::None);
        return nullptr;
    }
    try {
        for (auto& matrix : h.lpErrors)
            for (auto& row : matrix)
                row.assign(columns, 0);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpErrors[]!", caption, base::MessageIcon::None);
        return nullptr;
    }
    h.wNoiseLevels = levels;
    h.wVariousPulses = pulses;
    h.repeats = repeats;
    return existing;
}

int initRestErrHeader(base::MessageSink& sink, uint16_t pulses, uint16_t pulseFrom, uint16_t pulseStep, uint16_t levels,
                      uint16_t levelFrom, uint16_t levelStep, int32_t repeats, RestErrorHeader* header)
{
    const char* caption = " initRestErrHeader ";
    if (!header) {
        sink.messageBox("Не определен lpErrorHeader!", caption, base::MessageIcon::None);
        return 0;
    }
    RestErrorHeader& h = *header;
    if (h.wReservedPulses < pulses) {
        sink.messageBox("Неверно задан wVariousPulsesNumber!", caption, base::MessageIcon::None);
        return 0;
    }
    if (h.wReservedLevels < levels) {
        sink.messageBox("Неверно задан wNoiseLevels!", caption, base::MessageIcon::None);
        return 0;
    }
    h.wVariousPulses = pulses;
    h.wNoiseLevels = levels;
    h.repeats = repeats;
    h.fReady = 0;
    for (uint32_t j = 0; j < pulses; ++j)
        h.wPulseValues[j] = static_cast<int16_t>(pulseFrom + pulseStep * j);
    for (uint32_t i = 0; i < levels; ++i) {
        h.lpNoiseLevel[i] = static_cast<int16_t>(levelFrom + levelStep * i);
        std::fill_n(h.lpErrors[kRestoringErrors][i].begin(), pulses, 0);
    }
    return 1;
}

int addInitRestErrHeader(base::MessageSink& sink, uint16_t seriesType, uint16_t task, uint16_t createEnergy,
                         int16_t processEnergy, RestErrorHeader* header)
{
    if (!header) {
        sink.messageBox("Не определен lpErrorHeader!", " addInitRestErrHeader ", base::MessageIcon::None);
        return 0;
    }
    header->wLabelMark = 2;
    header->wSeriesType = seriesType;
    header->wTask = task;
    header->lpTaskName = taskName(task);
    header->lpSeriesName = seriesTypeName(seriesType);
    header->wCreateEnergy = createEnergy;
    header->wProcessEnergy = processEnergy;
    return 1;
}

int freeRestErrHeader(RestErrorHeaderPtr& header)
{
    header.reset();
    return 1;
}

int32_t seriesDetectionError(const synthesis::SeriesHeader& series, uint16_t m)
{
    const size_t n = std::min({size_t{m}, series.lpPositions.size(), series.lpFoundPositions.size()});
    if (n == 0)
        return 0;
    int32_t E = 0;
    for (size_t k = 0; k < n; ++k) {
        const int32_t d = series.lpPositions[k] - series.lpFoundPositions[k];
        E = base::wrapAdd(E, base::wrapSquare(d));
    }
    // 128 * E / m rounded half up, in the 1/128 fixed point of the sum.
    return base::wrapAdd(m, base::wrapMul(2 * 128, E)) / (2 * static_cast<int32_t>(m));
}

}  // namespace detection
