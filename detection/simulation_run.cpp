// statCutoffSpotting: the run over the grid of an error record, checked,
// planned, run on the workers and written into the record or a share's part.
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "detection/simulation_plan.h"
#include "detection/simulation_pool.h"
#include "detection/simulation_series.h"
#include "detection/statistical_simulation.h"
#include "detection/stepwise_protocol.h"
#include "base/formatted_text.h"
#include "synthesis/series_synthesis.h"

namespace detection {

namespace {

using base::formatText;

// Everything the simulation relies on, checked before anything changes.
std::string simulationProblem(const RestErrorHeader& h, std::span<const synthesis::PulseHeader> etalons,
                              uint16_t activeCount, std::span<const uint16_t> requiredList,
                              const synthesis::SeriesHeader* series)
{
    if (!series)
        return "There is no series record to simulate in.\n";
    if ((h.repeats & 0xFFFF) == 0)
        return formatText("The number of repeats (%d) counts 0 series; it must be at least 1.\n", h.repeats);
    if (activeCount == 0)
        return "No etalon is active.\n";
    if (requiredList.size() < activeCount)
        return formatText("The required list holds %zu etalons, fewer than the %d active ones.\n", requiredList.size(),
                          activeCount);
    if (requiredList[0] < 1 || requiredList[0] > etalons.size())
        return formatText("The first required etalon (%d) is not in the alphabet of %zu etalons.\n", requiredList[0],
                          etalons.size());

    const uint16_t L = etalons[requiredList[0] - 1].wSize;
    const std::string seriesProblem =
        synthesis::seriesParameterProblem(L, series->wTmin, series->wTmax, series->dwSeriesSize);
    if (!seriesProblem.empty())
        return seriesProblem;

    if (h.wPulseValues.size() < h.wVariousPulses || h.lpNoiseLevel.size() < h.wNoiseLevels)
        return "The error record holds fewer values than it says it uses.\n";
    for (const auto& matrix : h.lpErrors) {
        if (matrix.size() < h.wNoiseLevels)
            return "The error record holds fewer rows than it says it uses.\n";
        for (size_t i = 0; i < h.wNoiseLevels; ++i)
            if (matrix[i].size() < h.wVariousPulses)
                return "The error record holds fewer columns than it says it uses.\n";
    }

    const int minK = std::max<int>(synthesis::seriesMinPulses(series->dwSeriesSize, L, series->wTmax), 1);
    const int maxK =
        std::min<int>(synthesis::seriesMaxPulses(series->dwSeriesSize, L, series->wTmin), series->wMaxPulses);
    for (size_t j = 0; j < h.wVariousPulses; ++j) {
        const int m = h.wPulseValues[j];
        if (m < 1 || m > kMaxSimulationPulses)
            return formatText("The pulse value %d is outside 1 to 31.\n", m);
        if (m < minK || m > maxK)
            return formatText("A series of %u samples admits %d to %d pulses, not %d.\n", series->dwSeriesSize, minK,
                              maxK, m);
    }
    for (size_t i = 0; i < h.wNoiseLevels; ++i) {
        const int sigma = h.lpNoiseLevel[i];
        if (sigma < 0 || sigma > kMaxSimulationNoise)
            return formatText("The noise level %d is outside 0 to %d, the deviations the noise generator can take.\n",
                              sigma, kMaxSimulationNoise);
    }
    return {};
}

// A shard's part: its series, its cell sums and the messages of its kept
// chunks, each with the series it came from.
void fillPart(SimulationPart& part, uint64_t first, uint64_t end, uint64_t total, const std::vector<int64_t>& V,
              bool holdsLast, std::span<const Chunk> kept)
{
    part.firstSeries = first;
    part.endSeries = end;
    part.seriesCount = total;
    part.cellSums = V;
    part.holdsLast = holdsLast;
    part.messages.clear();
    for (const Chunk& c : kept)
        for (const base::RecordedMessage& m : c.messages.messages)
            part.messages.emplace_back(c.from, m);
}

// Runs the last series of the run, chunk `c`, into `lastRecord`, a copy of
// `series` the caller's record takes only when the run is kept; `last` gets
// the state the series leaves. False when it failed: `c` then keeps that
// state and the record.
bool runLastSeries(const Grid& g, Chunk& c, const StartPlan& plan, const synthesis::SeriesHeader& series,
                   StepwiseProtocol* protocol, RunProgress& progress, SeriesState& last,
                   synthesis::SeriesHeaderPtr& lastRecord)
{
    last = plan.at(c.from);
    lastRecord = std::make_unique<synthesis::SeriesHeader>(series);
    std::vector<int64_t> sum(1, 0);
    c.failed = !runSeries(g, c.from, c.to, last, lastRecord, protocol, c.messages, SeriesWork::Whole, sum,
                          g.cellOf(c.from), nullptr, &progress.done);
    c.sum = sum[0];
    if (c.failed) {
        c.after = last;
        c.record = std::move(lastRecord);
    }
    return !c.failed;
}

// Writes a whole run's cell sums V into the error record. When chunk
// failedAt failed, only the cells before its cell are written and the
// caller's streams and record are left where that series stopped; else
// they are left as the last series of the run left them (`last`,
// `lastRecord`). Returns the result of the run.
int writeRun(RestErrorHeader& h, const Grid& g, std::vector<Chunk>& chunks, size_t failedAt,
             const std::vector<int64_t>& V, const SeriesState& last, synthesis::SeriesHeaderPtr& lastRecord,
             synthesis::SeriesHeaderPtr& series, int32_t& noiseSeed, synthesis::RandomStreams& streams)
{
    if (failedAt < chunks.size()) {
        // The cells before the failing one were finished; the failing
        // series left the streams and the record where it stopped.
        Chunk& failed = chunks[failedAt];
        const uint64_t failedCell = g.cellOf(failed.from);
        for (uint64_t c = 0; c < failedCell; ++c)
            writeCell(h, c, V[c], g.sigmas.size());
        streams = failed.after.streams;
        noiseSeed = failed.after.noiseSeed;
        if (failed.record)
            series = std::move(failed.record);
        h.fReady = 0;
        return 0;
    }
    for (uint64_t c = 0; c < g.cells(); ++c)
        writeCell(h, c, V[c], g.sigmas.size());
    // A grid of no cell runs no series and leaves them as they were.
    if (lastRecord) {
        streams = last.streams;
        noiseSeed = last.noiseSeed;
        series = std::move(lastRecord);
    }
    h.fReady = 1;
    return 1;
}

// Tells `sink` why a run cannot start, if it cannot: true then.
bool runRefused(base::MessageSink& sink, const RestErrorHeader* header, std::span<const synthesis::PulseHeader> etalons,
                uint16_t activeCount, std::span<const uint16_t> requiredList, const synthesis::SeriesHeader* series)
{
    if (!header) {
        sink.messageBox("Absence of RestoreErrorHeader!", "statCutoffSpotting", base::MessageIcon::None);
        return true;
    }
    const std::string problem = simulationProblem(*header, etalons, activeCount, requiredList, series);
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, "statCutoffSpotting",
                        base::MessageIcon::Warning);
        return true;
    }
    return false;
}

// The run of statCutoffSpotting; throws std::bad_alloc when its work memory
// (the grid, the plan of the series, the workers' records and protocols)
// cannot be had, before anything of the caller's has changed.
int simulateGrid(base::MessageSink& sink, RestErrorHeader* header, std::span<const synthesis::PulseHeader> etalons,
                 uint16_t activeCount, std::span<const uint16_t> requiredList, uint16_t seriesType, uint16_t task,
                 uint16_t createEnergy, int16_t processEnergy, synthesis::SeriesHeaderPtr& series, int16_t amplitude,
                 int32_t& noiseSeed, synthesis::RandomStreams& streams, const SimulationOptions& options)
{
    if (runRefused(sink, header, etalons, activeCount, requiredList, series.get()))
        return 0;
    RestErrorHeader& h = *header;
    const bool shard = options.part != nullptr;

    const Grid g = gridOf(h, etalons, activeCount, requiredList, task, createEnergy, amplitude, *series);

    const RunProtocols protocols{sink, seriesType, task, g.mMax};
    StepwiseProtocolPtr protocol = protocols.make();
    if (!protocol) {
        sink.messageBox("Нет памяти для lpStepwiseProtocol!", "", base::MessageIcon::None);
        return 0;
    }

    // This process's share: series [first, end) of the whole run.
    const uint64_t total = g.seriesCount();
    const uint64_t shards = std::max<uint64_t>(options.shardCount, 1);
    const uint64_t index = std::min<uint64_t>(options.shardIndex, shards - 1);
    const auto [first, end] = shareOfSeries(total, index, shards);
    // The last series of the run is simulated last, in the caller's record,
    // which thereby ends as the sequential run leaves it.
    const bool holdsLast = end == total && first < end;
    const unsigned threads = std::max(options.threads, 1u);
    std::vector<Chunk> chunks = chunksOfShare(g, first, end, holdsLast, threads);

    const std::unique_ptr<StartPlan> plan = planOfChunks(sink, g, chunks, streams, noiseSeed, *series);
    if (!plan)
        return 0;

    const size_t pooled = chunks.size() - (holdsLast ? 1 : 0);
    RunProgress progress(options.progress, end - first);
    runPooled(g, chunks, pooled, *plan, *series, threads, progress, protocols);

    // In series order: the first failure ends the run as it would have
    // ended it one series after another.
    size_t failedAt = firstFailure(chunks, pooled);
    SeriesState last;
    synthesis::SeriesHeaderPtr lastRecord;
    if (holdsLast && failedAt == chunks.size() && !progress.stop &&
        !runLastSeries(g, chunks.back(), *plan, *series, protocol.get(), progress, last, lastRecord))
        failedAt = chunks.size() - 1;
    progress.tellEnd();
    if (progress.stop && failedAt == chunks.size())
        return 0;  // cancelled: nothing was changed

    const size_t kept = std::min(failedAt + 1, chunks.size());
    for (size_t k = 0; k < kept; ++k)
        for (const base::RecordedMessage& m : chunks[k].messages.messages)
            sink.messageBox(m.text, m.caption, m.icon);

    const std::vector<int64_t> V = cellSums(g, chunks, kept);

    if (shard) {
        fillPart(*options.part, first, end, total, V, holdsLast, std::span<const Chunk>(chunks).first(kept));
        if (holdsLast && failedAt == chunks.size()) {
            streams = last.streams;
            noiseSeed = last.noiseSeed;
            series = std::move(lastRecord);
        }
        return failedAt == chunks.size() ? 1 : 0;
    }

    addInitRestErrHeader(sink, seriesType, task, createEnergy, processEnergy, header);
    return writeRun(h, g, chunks, failedAt, V, last, lastRecord, series, noiseSeed, streams);
}

}  // namespace

int statCutoffSpotting(base::MessageSink& sink, RestErrorHeader* header,
                       std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
                       std::span<const uint16_t> requiredList, uint16_t seriesType, uint16_t task,
                       uint16_t createEnergy, int16_t processEnergy, synthesis::SeriesHeaderPtr& series,
                       int16_t amplitude, int32_t& noiseSeed, synthesis::RandomStreams& streams,
                       const SimulationOptions& options)
{
    try {
        return simulateGrid(sink, header, etalons, activeCount, requiredList, seriesType, task, createEnergy,
                            processEnergy, series, amplitude, noiseSeed, streams, options);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Ошибка lpEtalonNumbersList!", " About statCutoffSpotting ", base::MessageIcon::None);
        return 0;
    }
}

}  // namespace detection
