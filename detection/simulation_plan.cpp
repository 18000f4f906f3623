#include "detection/simulation_plan.h"

#include <algorithm>
#include <new>

#include "synthesis/series_synthesis.h"

namespace detection {

StartPlan::StartPlan(const Grid& g, const synthesis::RandomStreams& streams, int32_t noiseSeed,
                     const synthesis::SeriesHeader& record, std::vector<uint64_t> wanted)
    : grid_(g), streams_(streams), noiseSeed_(noiseSeed)
{
    direct_ = record.wFixedCount == 0;
    for (uint16_t k = 0; k < g.activeCount; ++k)
        direct_ = direct_ && g.requiredList[k] >= 1 && g.requiredList[k] <= g.etalons.size();
    if (direct_) {
        // Draws of the position and cut streams before each cell.
        positionBefore_.assign(g.cells() + 1, 0);
        cutBefore_.assign(g.cells() + 1, 0);
        for (uint64_t c = 0; c < g.cells(); ++c) {
            const uint64_t m = g.pulses[c / g.sigmas.size()];
            positionBefore_[c + 1] = positionBefore_[c] + static_cast<uint64_t>(g.R) * (1 + m);
            cutBefore_[c + 1] = cutBefore_[c] + static_cast<uint64_t>(g.R) * m;
        }
        return;
    }
    // Run the synthesis alone over a copy of the record and keep the
    // states the wanted series start from.
    std::sort(wanted.begin(), wanted.end());
    SeriesState state = initial();
    synthesis::SeriesHeaderPtr scratch = std::make_unique<synthesis::SeriesHeader>(record);
    base::MessageRecorder quiet;
    std::vector<int64_t> unused(1);
    uint64_t at = 0;
    for (const uint64_t s : wanted) {
        if (!runSeries(g, at, s, state, scratch, nullptr, quiet, SeriesWork::SynthesisOnly, unused, 0))
            break;
        at = s;
        kept_.emplace_back(s, state);
    }
}

SeriesState StartPlan::at(uint64_t s) const
{
    if (!direct_) {
        const auto found = std::lower_bound(kept_.begin(), kept_.end(), s,
                                            [](const auto& entry, uint64_t index) { return entry.first < index; });
        if (found != kept_.end() && found->first == s)
            return found->second;
    }
    SeriesState state = initial();
    const uint64_t cell = grid_.cellOf(s), t = s % static_cast<uint64_t>(grid_.R);
    const uint16_t m = grid_.pulsesOf(s);
    const uint64_t position = positionBefore_.empty() ? 0 : positionBefore_[cell] + t * (1u + m);
    const uint64_t cut = cutBefore_.empty() ? 0 : cutBefore_[cell] + t * m;
    state.streams.positionSeed = synthesis::jumpRandom(state.streams.positionSeed, position);
    state.streams.cutStartSeed = synthesis::jumpRandom(state.streams.cutStartSeed, cut);
    state.streams.cutEndSeed = synthesis::jumpRandom(state.streams.cutEndSeed, cut);
    state.noiseSeed = synthesis::jumpRandom(state.noiseSeed, s * 12 * uint64_t{grid_.N});
    // The odometer from the start of the cell to series t.
    state.threshold = grid_.step(m);
    std::fill_n(state.digits.begin(), m, uint16_t{1});
    std::fill_n(state.etalonNumbers.begin(), m, grid_.requiredList[0]);
    for (uint64_t u = 0; u < t; ++u)
        if (static_cast<int64_t>(u * m) >= state.threshold) {
            state.threshold += grid_.step(m);
            advanceOdometer(state.digits, state.etalonNumbers, m, grid_.activeCount, grid_.requiredList);
        }
    return state;
}

SeriesState StartPlan::initial() const
{
    SeriesState state;
    state.streams = streams_;
    state.noiseSeed = noiseSeed_;
    state.digits.assign(grid_.mMax, 1);
    state.etalonNumbers.assign(grid_.mMax, 1);
    return state;
}

namespace {

std::vector<Chunk> chunksOf(const Grid& g, uint64_t first, uint64_t end, unsigned threads)
{
    // Enough pieces that the threads finish together, none crossing a cell.
    const uint64_t perCell = static_cast<uint64_t>(g.R);
    const uint64_t wanted = std::max<uint64_t>(uint64_t{threads} * 16, 1);
    const uint64_t length = std::max<uint64_t>((end - first + wanted - 1) / wanted, 1);
    std::vector<Chunk> chunks;
    for (uint64_t s = first; s < end;) {
        const uint64_t cellEnd = (g.cellOf(s) + 1) * perCell;
        const uint64_t to = std::min({s + length, cellEnd, end});
        chunks.emplace_back();
        chunks.back().from = s;
        chunks.back().to = to;
        s = to;
    }
    return chunks;
}

}  // namespace

std::vector<Chunk> chunksOfShare(const Grid& g, uint64_t first, uint64_t end, bool holdsLast, unsigned threads)
{
    std::vector<Chunk> chunks = chunksOf(g, first, holdsLast ? end - 1 : end, threads);
    if (holdsLast) {
        chunks.emplace_back();
        chunks.back().from = g.seriesCount() - 1;
        chunks.back().to = g.seriesCount();
    }
    return chunks;
}

size_t firstFailure(const std::vector<Chunk>& chunks, size_t pooled)
{
    size_t failedAt = chunks.size();
    for (size_t k = 0; k < pooled && failedAt == chunks.size(); ++k)
        if (chunks[k].failed)
            failedAt = k;
    return failedAt;
}

std::vector<int64_t> cellSums(const Grid& g, const std::vector<Chunk>& chunks, size_t kept)
{
    std::vector<int64_t> V(g.cells(), 0);
    for (size_t k = 0; k < kept; ++k)
        if (!chunks[k].failed)
            V[g.cellOf(chunks[k].from)] += chunks[k].sum;
    return V;
}

std::unique_ptr<StartPlan> planOfChunks(base::MessageSink& sink, const Grid& g, const std::vector<Chunk>& chunks,
                                        const synthesis::RandomStreams& streams, int32_t noiseSeed,
                                        const synthesis::SeriesHeader& series)
{
    std::vector<uint64_t> starts;
    for (const Chunk& c : chunks)
        starts.push_back(c.from);
    try {
        return std::make_unique<StartPlan>(g, streams, noiseSeed, series, starts);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Ошибка lpEtalonNumbersList!", " About statCutoffSpotting ", base::MessageIcon::None);
        return nullptr;
    }
}

}  // namespace detection
