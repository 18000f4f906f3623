#include "detection/pulse_count_ranking.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <string>

#include "detection/count_choice.h"
#include "detection/fixed_case_criteria.h"
#include "base/formatted_text.h"
#include "base/wrapping.h"

namespace detection {

namespace {

using base::appendFormat;

std::span<const int16_t> foundPositions(const synthesis::SeriesHeader& s, size_t count)
{
    return {s.lpFoundPositions.data(), std::min(count, s.lpFoundPositions.size())};
}

void appendPositions(std::string& trace, std::span<const int16_t> positions)
{
    for (int16_t p : positions)
        appendFormat(trace, " %d", p);
}

void writeRow(StepwiseProtocol& p, int row, uint16_t pulses, int32_t squaresValue, uint16_t code,
              std::span<const int16_t> positions)
{
    p.lpPulses[row] = pulses;
    // Ranked and detected rows are compared by the energy they capture, so
    // the measure column carries the squares as well.
    p.lpMeasure[row] = squaresValue;
    p.lpSquares[row] = squaresValue;
    p.lpIterations[row] = 0;
    p.lpMethod[row] = code;
    std::copy(positions.begin(), positions.end(), p.lpRowPositions[row].begin());
}

void copyRow(StepwiseProtocol& p, int from, int to)
{
    p.lpPulses[to] = p.lpPulses[from];
    p.lpMeasure[to] = p.lpMeasure[from];
    p.lpSquares[to] = p.lpSquares[from];
    p.lpIterations[to] = p.lpIterations[from];
    p.lpMethod[to] = p.lpMethod[from];
    p.lpRowPositions[to] = p.lpRowPositions[from];
}

// Every allocated row starts over: no pulses, the row number as its measure.
void resetRows(StepwiseProtocol& p, int positionsToClear)
{
    for (int r = 0; r < p.wRows; ++r) {
        p.lpPulses[r] = 0;
        p.lpMeasure[r] = r + 1;
        p.lpSquares[r] = 0;
        std::vector<int16_t>& row = p.lpRowPositions[r];
        std::fill_n(row.begin(), std::min<size_t>(positionsToClear, row.size()), int16_t{0});
    }
}

}  // namespace

PulseCountTablePtr getPulseCountTable(uint16_t configuredCount, uint16_t minimum, uint16_t maximum,
                                      PulseCountTablePtr table)
{
    const int32_t wanted = maximum < minimum ? maximum + 1 : maximum - minimum + 1;
    // 0..65535 gives 65536 rows, one more than the count field holds.
    const auto rows = static_cast<uint16_t>(std::min<int32_t>(wanted, std::numeric_limits<uint16_t>::max()));
    try {
        if (!table || table->wCapacity < rows) {
            table.reset();
            table = std::make_unique<PulseCountTable>();
            table->lpPulseCounts.resize(rows);
            table->lpSquares.resize(rows);
            table->lpNoisePerWindow.resize(rows);
            table->wCapacity = rows;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    PulseCountTable& t = *table;
    t.wRows = rows;
    t.wConfiguredCount = configuredCount;
    t.wMinCount = minimum;
    t.wMaxCount = maximum;
    std::fill(t.lpPulseCounts.begin(), t.lpPulseCounts.end(), 0);
    std::fill(t.lpSquares.begin(), t.lpSquares.end(), 0);
    std::fill(t.lpNoisePerWindow.begin(), t.lpNoisePerWindow.end(), 0);
    return table;
}

void freePulseCountTable(PulseCountTablePtr& table) { table.reset(); }

namespace {

// The ranked rows of a protocol: where they start, how many of them the
// protocol leaves room for and how many are filled.
struct RankedList {
    int first = 0;     // the row of the best candidate
    int capacity = 0;  // the rows the list may fill
    int length = 0;    // the rows it has filled
};

// Writes the true positions' row and opens the ranked list after it.
RankedList openRankedList(StepwiseProtocol& protocol, uint16_t m0, int32_t trueSquares,
                          std::span<const int16_t> truePositions)
{
    RankedList list;
    appendProtocolRow(&protocol, m0, trueSquares, trueSquares, 0, kMethodTrue, truePositions);
    list.first = protocol.wUsed;
    // Two rows are kept for the true and the detected positions; a
    // protocol that was not emptied first leaves fewer for the list.
    if (protocol.wRows > 2)
        list.capacity = std::min<int>(maxRankedCandidates, protocol.wRows - 2);
    list.capacity = std::clamp(list.capacity, 0, protocol.wRows - list.first);
    return list;
}

// The count table's entry of count n, when the table has room for it.
void recordCount(PulseCountTable& table, int entry, int n, int32_t Qn, int32_t noisePerWindow)
{
    if (entry >= table.wCapacity)
        return;
    table.lpPulseCounts[entry] = n;
    table.lpSquares[entry] = Qn;
    table.lpNoisePerWindow[entry] = noisePerWindow;
}

// The fit of count n takes its place in the list by its squares.
void rankCandidate(StepwiseProtocol& protocol, RankedList& list, int n, int32_t Qn, std::span<const int16_t> fit)
{
    // The first entry with smaller squares gives way; equal squares keep
    // the smaller count above. A row too narrow for n positions takes no
    // candidate.
    if (static_cast<size_t>(n) > protocol.wWidth)
        return;
    const int at = rankSlot(list.length, Qn, [&](int i) { return protocol.lpSquares[list.first + i]; });
    if (at < list.length)
        for (int j = std::min(list.length, list.capacity - 1); j > at; --j)
            copyRow(protocol, list.first + j - 1, list.first + j);
    if (at < list.capacity) {
        writeRow(protocol, list.first + at, static_cast<uint16_t>(fit.size()), Qn, kMethodRanked, fit);
        list.length = std::min(list.length + 1, list.capacity);
    }
}

// The true count is always offered: its fit takes the lowest-ranked row.
// A series without a true count, or one the programme cannot fit, has
// nothing to offer.
void offerTrueCount(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, StepwiseProtocol& p, int first,
                    const SeriesProgramme* programme, synthesis::SeriesHeader& series)
{
    const uint16_t L = series.wImpulseSize;
    const uint16_t m0 = series.wImpulseQuantity;
    bool listed = false;
    for (int r = first; r < p.wUsed; ++r)
        listed = listed || p.lpPulses[r] == m0;
    if (!listed && m0 > 0 && m0 <= p.wWidth &&
        estimateByEnergies(sink, Tmin, Tmax, L, m0, series, programme) != kEstimateFailure) {
        const std::span<const int16_t> fit = foundPositions(series, m0);
        writeRow(p, p.wUsed - 1, m0, squares(series, L, fit), kMethodRanked, fit);
    }
}

int32_t rankCounts(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag, StepwiseProtocol* protocol,
                   PulseCountTable* table, synthesis::SeriesHeader& series)
{
    const uint16_t L = series.wImpulseSize;
    const int mMin = std::max<int>(series.wMinPulses, 1);
    const int mMax = series.wMaxPulses;
    const uint16_t m0 = series.wImpulseQuantity;

    if (protocol)
        resetRows(*protocol, mMax);

    std::vector<int32_t> measures;
    try {
        measures.assign(static_cast<size_t>(std::max(mMax - mMin + 1, 0)), 0);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для measure!", "", base::MessageIcon::None);
        return -1;
    }

    const std::span<const int16_t> truePositions(series.lpPositions.data(),
                                                 std::min<size_t>(m0, series.lpPositions.size()));
    const int32_t trueMeasure = measure(series, L, truePositions);
    const int32_t trueSquares = squares(series, L, truePositions);
    std::string trace;
    if (traceFlag) {
        trace += "pulses\t dist\t squares\t positions\n";
        appendFormat(trace, "%5d\t%6d\t%6d\t", m0, trueMeasure, trueSquares);
        appendPositions(trace, truePositions);
        trace += "\n\n";
    }

    RankedList list;
    if (protocol)
        list = openRankedList(*protocol, m0, trueSquares, truePositions);

    const uint32_t N = static_cast<uint32_t>(std::min<size_t>(series.dwSeriesSize, series.lpSeriesData.size()));
    // The energy of the whole series: one window over all of it.
    const int32_t wholeEnergy =
        windowSquares<int16_t, int32_t>(seriesSamples(series), static_cast<int32_t>(N), std::array{0});

    // One table of the energy programme serves every count.
    const std::unique_ptr<SeriesProgramme> programme =
        shareEnergyProgramme(series, Tmin, Tmax, L, static_cast<uint16_t>(mMin), static_cast<uint16_t>(mMax));
    for (int n = mMin; n <= mMax; ++n) {
        const int32_t Mn = estimateByEnergies(sink, Tmin, Tmax, L, static_cast<uint16_t>(n), series, programme.get());
        const std::span<const int16_t> fit = foundPositions(series, static_cast<size_t>(n));
        const int32_t Qn = squares(series, L, fit);
        measures[n - mMin] = Mn;

        if (table)
            recordCount(*table, n - mMin, n, Qn,
                        noisePerWindow<int32_t>(base::wrapSub(wholeEnergy, Qn), N, n, static_cast<int32_t>(L)));

        if (traceFlag) {
            appendFormat(trace, "%d[%d]\t%6d\t%6d\t", n, series.wFoundPulses, Mn, Qn);
            appendPositions(trace, foundPositions(series, series.wFoundPulses));
            trace += "\n";
        }

        if (protocol)
            rankCandidate(*protocol, list, n, Qn, fit);

        if (traceFlag) {
            appendFormat(trace, "  it=%d\t%6d\t%6d\t", 0, Mn, Qn);
            appendPositions(trace, fit);
            trace += "\n";
        }
    }

    if (traceFlag)
        sink.messageBox(trace, "Sequential method", base::MessageIcon::None);
    if (!protocol || list.length == 0)
        return squares(series, L, foundPositions(series, series.wFoundPulses));

    StepwiseProtocol& p = *protocol;
    p.wUsed = static_cast<uint16_t>(list.first + list.length);
    offerTrueCount(sink, Tmin, Tmax, p, list.first, programme.get(), series);

    const uint16_t top = p.lpPulses[list.first];
    const size_t kept = std::min<size_t>(top, series.lpFoundPositions.size());
    std::copy_n(p.lpRowPositions[list.first].begin(), kept, series.lpFoundPositions.begin());
    series.wFoundPulses = static_cast<uint16_t>(kept);
    return squares(series, L, foundPositions(series, kept));
}

}  // namespace

int32_t rankPulseCounts(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                        StepwiseProtocol* protocol, PulseCountTable* table, synthesis::SeriesHeader& series)
{
    // The trace text grows with the counts; its memory is work memory too.
    try {
        return rankCounts(sink, Tmin, Tmax, traceFlag, protocol, table, series);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для measure!", "", base::MessageIcon::None);
        return -1;
    }
}

int32_t runUnfixedDetection(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                            std::span<int32_t> chainOut, StepwiseProtocol* protocol, PulseCountTable* table,
                            DetectionStudy* study, synthesis::SeriesHeader& series)
{
    rankPulseCounts(sink, Tmin, Tmax, traceFlag, protocol, table, series);
    study01_UnFixedPulseDetection(sink, Tmin, Tmax, chainOut, study, series);
    const std::span<const int16_t> detected = foundPositions(series, series.wFoundPulses);
    const int32_t S = squares(series, series.wImpulseSize, detected);
    if (protocol)
        appendProtocolRow(protocol, static_cast<uint16_t>(detected.size()), S, S, 0, kMethodDetected, detected);
    return S;
}

}  // namespace detection
