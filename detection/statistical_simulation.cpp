#include "detection/statistical_simulation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <new>
#include <string>
#include <thread>

#include "detection/sequential_method.h"
#include "detection/stepwise_protocol.h"
#include "detection/task_codes.h"
#include "synthesis/formatted_text.h"
#include "synthesis/series_synthesis.h"
#include "synthesis/wrapping.h"

namespace detection {

namespace {

using synthesis::formatText;

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

// Steps the etalon choice of m pulses like an odometer over the active
// entries of the required list, digit 0 fastest.
void advanceOdometer(std::vector<uint16_t>& digits, std::vector<uint16_t>& numbers, int m, uint16_t activeCount,
                     std::span<const uint16_t> requiredList)
{
    for (int d = 0; d < m; ++d) {
        if (++digits[d] <= activeCount)
            break;
        digits[d] = 1;
    }
    for (int d = 0; d < m; ++d)
        numbers[d] = requiredList[digits[d] - 1];
}

}  // namespace

RestErrorHeaderPtr getRestErrHeader(synthesis::MessageSink& sink, uint16_t pulses, uint16_t levels, int32_t repeats,
                                    RestErrorHeaderPtr existing)
{
    const char* caption = " getRestErrHeader ";
    if (!existing) {
        try {
            existing = std::make_unique<RestErrorHeader>();
        } catch (const std::bad_alloc&) {
            sink.messageBox("Нет памяти для newRestErrorHeader!", caption, synthesis::MessageIcon::None);
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
        sink.messageBox("Нет памяти для newRestErrorHeader->lpNoiseLevel!", caption, synthesis::MessageIcon::None);
        return nullptr;
    }
    try {
        for (auto& matrix : h.lpErrors)
            matrix.resize(rows);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpErrors!", caption, synthesis::MessageIcon::None);
        return nullptr;
    }
    try {
        for (auto& matrix : h.lpErrors)
            for (auto& row : matrix)
                row.assign(columns, 0);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpErrors[]!", caption, synthesis::MessageIcon::None);
        return nullptr;
    }
    h.wNoiseLevels = levels;
    h.wVariousPulses = pulses;
    h.repeats = repeats;
    return existing;
}

int initRestErrHeader(synthesis::MessageSink& sink, uint16_t pulses, uint16_t pulseFrom, uint16_t pulseStep,
                      uint16_t levels, uint16_t levelFrom, uint16_t levelStep, int32_t repeats, RestErrorHeader* header)
{
    const char* caption = " initRestErrHeader ";
    if (!header) {
        sink.messageBox("Не определен lpErrorHeader!", caption, synthesis::MessageIcon::None);
        return 0;
    }
    RestErrorHeader& h = *header;
    if (h.wReservedPulses < pulses) {
        sink.messageBox("Неверно задан wVariousPulsesNumber!", caption, synthesis::MessageIcon::None);
        return 0;
    }
    if (h.wReservedLevels < levels) {
        sink.messageBox("Неверно задан wNoiseLevels!", caption, synthesis::MessageIcon::None);
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

int addInitRestErrHeader(synthesis::MessageSink& sink, uint16_t seriesType, uint16_t task, uint16_t createEnergy,
                         int16_t processEnergy, RestErrorHeader* header)
{
    if (!header) {
        sink.messageBox("Не определен lpErrorHeader!", " addInitRestErrHeader ", synthesis::MessageIcon::None);
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
        E = synthesis::wrapAdd(E, synthesis::wrapSquare(d));
    }
    // 128 * E / m rounded half up, in the 1/128 fixed point of the sum.
    return synthesis::wrapAdd(m, synthesis::wrapMul(2 * 128, E)) / (2 * static_cast<int32_t>(m));
}

namespace {

// The whole run as one sequence of series: column j (pulse value) slowest,
// then row i (noise level), then the R series of the cell.
struct Grid {
    std::span<const synthesis::PulseHeader> etalons;
    uint16_t activeCount = 0;
    std::span<const uint16_t> requiredList;
    uint16_t task = 0, L = 0, Tmin = 0, Tmax = 0, mMax = 0, createEnergy = 0;
    uint32_t N = 0;
    int16_t amplitude = 0;
    std::vector<uint16_t> pulses;  // m of each column
    std::vector<int16_t> sigmas;   // noise level of each row
    int32_t R = 0;

    uint64_t cells() const { return uint64_t{pulses.size()} * sigmas.size(); }
    uint64_t seriesCount() const { return cells() * static_cast<uint64_t>(R); }
    uint64_t cellOf(uint64_t s) const { return s / static_cast<uint64_t>(R); }
    uint16_t pulsesOf(uint64_t s) const { return pulses[cellOf(s) / sigmas.size()]; }
    int32_t step(uint16_t m) const { return (R * m) >> m; }
};

// The state a series starts from: the random streams, the noise stream and
// the etalon odometer of its cell as the series before it left them.
struct SeriesState {
    synthesis::RandomStreams streams;
    int32_t noiseSeed = 0;
    int32_t threshold = 0;
    std::vector<uint16_t> digits, etalonNumbers;  // mMax cells, the first m in use
};

enum class SeriesWork { Whole, SynthesisOnly };

// Runs series [from, to) from `state`, which it carries along, into
// `record`; adds each series' error to sums[cell - firstCell]. False when a
// synthesis failed: `state` and `record` are then as that series left them.
// `stop` is asked between series.
bool runSeries(const Grid& g, uint64_t from, uint64_t to, SeriesState& state, synthesis::SeriesHeaderPtr& record,
               StepwiseProtocol* protocol, synthesis::MessageSink& sink, SeriesWork work, std::span<int64_t> sums,
               uint64_t firstCell, const std::atomic<bool>* stop = nullptr, std::atomic<uint64_t>* done = nullptr,
               const std::function<void()>& between = {})
{
    for (uint64_t s = from; s < to; ++s) {
        if (between)
            between();
        if (stop && stop->load(std::memory_order_relaxed))
            return true;
        const uint64_t cell = g.cellOf(s);
        const int32_t t = static_cast<int32_t>(s % static_cast<uint64_t>(g.R));
        const uint16_t m = g.pulsesOf(s);
        const int16_t sigma = g.sigmas[cell % g.sigmas.size()];
        // The 2^m etalon choices of two active etalons spread evenly over the
        // R series; with fewer series than that the odometer steps before
        // every one of them.
        if (t == 0) {
            state.threshold = g.step(m);
            std::fill_n(state.digits.begin(), m, uint16_t{1});
            std::fill_n(state.etalonNumbers.begin(), m, g.requiredList[0]);
        }
        if (t * m >= state.threshold) {
            state.threshold += g.step(m);
            advanceOdometer(state.digits, state.etalonNumbers, m, g.activeCount, g.requiredList);
        }
        bool made = false;
        record = synthesis::getCutOffSeries(sink, g.etalons, g.L, g.Tmin, g.Tmax, g.N, m, state.etalonNumbers,
                                            g.amplitude, g.createEnergy, std::move(record), state.streams, &made);
        if (!record || !made)
            return false;
        if (work == SeriesWork::SynthesisOnly) {
            state.noiseSeed = synthesis::jumpRandom(state.noiseSeed, uint64_t{12} * g.N);
            continue;
        }
        synthesis::addNoise(sigma, g.amplitude, record.get(), state.noiseSeed);

        synthesis::SeriesHeader& series = *record;
        protocol->wUsed = 0;
        switch (g.task) {
        case taskFixedEstimation:
            runFixedCaseEstimation(sink, series, protocol, g.Tmin, g.Tmax, g.L, m, g.N,
                                   FixedCaseStages::WithoutExhaustive);
            break;
        case taskUnfixedEstimation:
            sequentialMethod(sink, g.Tmin, g.Tmax, false, protocol, series);
            break;
        case taskBlindDetection:
            runFixedCaseEstimation(sink, series, protocol, g.Tmin, g.Tmax, g.L, m, g.N,
                                   FixedCaseStages::TrueAndProgramme);
            break;
        default:
            break;
        }
        sums[cell - firstCell] += seriesDetectionError(series, m);
        if (done)
            done->fetch_add(1, std::memory_order_relaxed);
    }
    return true;
}

// Where every series starts, without running the ones before it. A series
// of m pulses draws 1 + m values of the position stream, m of each cut
// stream and 12 N of the noise stream, whatever its samples; the odometer of
// its cell follows from the series before it in the cell. That holds while
// the record imposes no fixed sub-sequence (whose placing may draw a number
// of values that depends on the draws) and every active etalon is in the
// alphabet (else the etalon stream draws); then the synthesis alone is run
// through once, which is cheap beside the estimation.
class StartPlan {
  public:
    StartPlan(const Grid& g, const synthesis::RandomStreams& streams, int32_t noiseSeed,
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
        synthesis::MessageRecorder quiet;
        std::vector<int64_t> unused(1);
        uint64_t at = 0;
        for (const uint64_t s : wanted) {
            if (!runSeries(g, at, s, state, scratch, nullptr, quiet, SeriesWork::SynthesisOnly, unused, 0))
                break;
            at = s;
            kept_.emplace_back(s, state);
        }
    }

    SeriesState at(uint64_t s) const
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

  private:
    SeriesState initial() const
    {
        SeriesState state;
        state.streams = streams_;
        state.noiseSeed = noiseSeed_;
        state.digits.assign(grid_.mMax, 1);
        state.etalonNumbers.assign(grid_.mMax, 1);
        return state;
    }

    const Grid& grid_;
    synthesis::RandomStreams streams_;
    int32_t noiseSeed_;
    bool direct_ = true;
    std::vector<uint64_t> positionBefore_, cutBefore_;
    std::vector<std::pair<uint64_t, SeriesState>> kept_;  // by series, increasing
};

// Cell c (column c / levels, row c % levels) gets its detection error, the
// other matrices 0.
void writeCell(RestErrorHeader& h, uint64_t c, int64_t V, size_t levels)
{
    const size_t j = c / levels, i = c % levels;
    for (int k = 0; k < kErrorMatrices; ++k)
        h.lpErrors[k][i][j] = 0;
    h.lpErrors[kDetectionErrors][i][j] = static_cast<int32_t>(V / 128);
}

// One piece of work: consecutive series of one cell.
struct Chunk {
    uint64_t from = 0, to = 0;
    int64_t sum = 0;
    synthesis::MessageRecorder messages;
    bool failed = false;
    SeriesState after;                  // when failed: the state the failing series left
    synthesis::SeriesHeaderPtr record;  // when failed: the record it left
};

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

namespace {

// The grid of a run: the etalons, the series' shape, and the pulse counts
// and noise levels of its columns and rows.
Grid gridOf(const RestErrorHeader& h, std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
            std::span<const uint16_t> requiredList, uint16_t task, uint16_t createEnergy, int16_t amplitude,
            const synthesis::SeriesHeader& series)
{
    Grid g;
    g.etalons = etalons;
    g.activeCount = activeCount;
    g.requiredList = requiredList;
    g.task = task;
    g.L = etalons[requiredList[0] - 1].wSize;
    g.Tmin = series.wTmin;
    g.Tmax = series.wTmax;
    g.mMax = series.wMaxPulses;
    g.createEnergy = createEnergy;
    g.N = series.dwSeriesSize;
    g.amplitude = amplitude;
    g.R = h.repeats & 0xFFFF;
    for (size_t j = 0; j < h.wVariousPulses; ++j)
        g.pulses.push_back(static_cast<uint16_t>(h.wPulseValues[j]));
    g.sigmas.assign(h.lpNoiseLevel.begin(), h.lpNoiseLevel.begin() + h.wNoiseLevels);
    return g;
}

// The chunks of series [first, end) for the workers; the last series of the
// run, when the share holds it, is a chunk of its own at the end.
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

// The first of the pooled chunks that failed, or the count of all chunks.
size_t firstFailure(const std::vector<Chunk>& chunks, size_t pooled)
{
    size_t failedAt = chunks.size();
    for (size_t k = 0; k < pooled && failedAt == chunks.size(); ++k)
        if (chunks[k].failed)
            failedAt = k;
    return failedAt;
}

// The error sums of every cell over the kept chunks that finished.
std::vector<int64_t> cellSums(const Grid& g, const std::vector<Chunk>& chunks, size_t kept)
{
    std::vector<int64_t> V(g.cells(), 0);
    for (size_t k = 0; k < kept; ++k)
        if (!chunks[k].failed)
            V[g.cellOf(chunks[k].from)] += chunks[k].sum;
    return V;
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
        for (const synthesis::RecordedMessage& m : c.messages.messages)
            part.messages.emplace_back(c.from, m);
}

// The protocols of a run: every worker, and the caller's record, gets one of
// its own, made on the calling thread.
struct RunProtocols {
    synthesis::MessageSink& sink;
    uint16_t seriesType = 0, task = 0, mMax = 0;

    // Empty when memory is short.
    StepwiseProtocolPtr make() const
    {
        StepwiseProtocolPtr protocol = getStepwiseProtocol(7, mMax, nullptr);
        if (protocol)
            addTolpStepwiseProtocol(sink, seriesType, task, protocol.get());
        return protocol;
    }

    // A worker never runs without its protocol: throws std::bad_alloc
    // when memory is short.
    StepwiseProtocolPtr forWorker() const
    {
        StepwiseProtocolPtr protocol = make();
        if (!protocol)
            throw std::bad_alloc();
        return protocol;
    }
};

// Progress of a run, told from the calling thread only, at most ten times a
// second, between its series and while it waits for the others. A callback
// that answers false stops the run.
class RunProgress {
  public:
    RunProgress(const ProgressCallback& progress, uint64_t share) : progress_(progress), share_(share) {}

    void tell()
    {
        if (!progress_ || stop)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTold_ < std::chrono::milliseconds(100))
            return;
        lastTold_ = now;
        if (!progress_(done.load(), share_))
            stop = true;
    }

    // The last word, once every series has run, whenever it was told before.
    void tellEnd()
    {
        if (progress_ && !stop && !progress_(done.load(), share_))
            stop = true;
    }

    std::atomic<bool> stop{false};  // set by the calling thread (or a worker short of memory), asked between series
    std::atomic<uint64_t> done{0};  // series finished, counted by every worker, told by the calling thread

  private:
    const ProgressCallback& progress_;
    uint64_t share_;
    std::chrono::steady_clock::time_point lastTold_ = std::chrono::steady_clock::now() - std::chrono::seconds(1);
};

// Runs the pooled chunks [0, pooled) on the calling thread and up to
// threads - 1 helpers, each with a copy of `series` and a protocol of its
// own. A chunk that failed keeps the state and record its failing series
// left. A helper that cannot be had leaves its share to the others. Memory
// that runs short outside a series (a worker's state, a fresh record) stops
// every worker; once all have ended, std::bad_alloc reaches the caller as it
// would on one thread, and nothing of the caller's has changed.
void runPooled(const Grid& g, std::vector<Chunk>& chunks, size_t pooled, const StartPlan& plan,
               const synthesis::SeriesHeader& series, unsigned threads, RunProgress& progress,
               const RunProtocols& protocols)
{
    std::atomic<size_t> nextChunk{0};
    std::atomic<unsigned> working{0};
    std::mutex waiting;
    std::condition_variable finished;
    auto tell = [&] { progress.tell(); };
    // A worker's run: chunks taken in order until none is left or the run stops.
    auto runChunks = [&](synthesis::SeriesHeaderPtr& record, StepwiseProtocol* own, bool caller) {
        for (size_t k = nextChunk++; k < pooled && !progress.stop; k = nextChunk++) {
            Chunk& c = chunks[k];
            SeriesState state = plan.at(c.from);
            std::vector<int64_t> sum(1, 0);
            c.failed =
                !runSeries(g, c.from, c.to, state, record, own, c.messages, SeriesWork::Whole, sum, g.cellOf(c.from),
                           &progress.stop, &progress.done, caller ? std::function<void()>(tell) : nullptr);
            c.sum = sum[0];
            if (c.failed) {
                c.after = state;
                c.record = std::move(record);
                record = std::make_unique<synthesis::SeriesHeader>(series);
            }
        }
    };
    std::exception_ptr shortage;  // the first worker's; rethrown on the calling thread
    std::mutex shortageLock;
    auto work = [&](synthesis::SeriesHeaderPtr record, StepwiseProtocolPtr own, bool caller) {
        try {
            runChunks(record, own.get(), caller);
        } catch (...) {
            std::lock_guard lock(shortageLock);
            if (!shortage)
                shortage = std::current_exception();
            progress.stop = true;
        }
        {
            std::lock_guard lock(waiting);
            --working;
        }
        finished.notify_all();
    };
    // The caller's own record and protocol are had before any helper starts,
    // so that a shortage leaves no thread running.
    synthesis::SeriesHeaderPtr callerRecord = std::make_unique<synthesis::SeriesHeader>(series);
    StepwiseProtocolPtr callerProtocol = protocols.forWorker();
    std::vector<std::thread> pool;
    const unsigned helpers = static_cast<unsigned>(std::min<size_t>(threads - 1, pooled));
    working = helpers + 1;
    try {
        for (unsigned k = 0; k < helpers; ++k)
            pool.emplace_back(work, std::make_unique<synthesis::SeriesHeader>(series), protocols.forWorker(), false);
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the ones running share the work.
        working -= helpers - static_cast<unsigned>(pool.size());
    } catch (const std::bad_alloc&) {
        // No memory for another worker's record or protocol: the same.
        working -= helpers - static_cast<unsigned>(pool.size());
    }
    work(std::move(callerRecord), std::move(callerProtocol), true);
    {
        std::unique_lock lock(waiting);
        while (working.load() > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(100));
            lock.unlock();
            progress.tell();
            lock.lock();
        }
    }
    for (std::thread& t : pool)
        t.join();
    if (shortage)
        std::rethrow_exception(shortage);
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
bool runRefused(synthesis::MessageSink& sink, const RestErrorHeader* header,
                std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
                std::span<const uint16_t> requiredList, const synthesis::SeriesHeader* series)
{
    if (!header) {
        sink.messageBox("Absence of RestoreErrorHeader!", "statCutoffSpotting", synthesis::MessageIcon::None);
        return true;
    }
    const std::string problem = simulationProblem(*header, etalons, activeCount, requiredList, series);
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, "statCutoffSpotting",
                        synthesis::MessageIcon::Warning);
        return true;
    }
    return false;
}

// Where the first series of every chunk starts; empty, once `sink` was told,
// when memory is short.
std::unique_ptr<StartPlan> planOfChunks(synthesis::MessageSink& sink, const Grid& g, const std::vector<Chunk>& chunks,
                                        const synthesis::RandomStreams& streams, int32_t noiseSeed,
                                        const synthesis::SeriesHeader& series)
{
    std::vector<uint64_t> starts;
    for (const Chunk& c : chunks)
        starts.push_back(c.from);
    try {
        return std::make_unique<StartPlan>(g, streams, noiseSeed, series, starts);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Ошибка lpEtalonNumbersList!", " About statCutoffSpotting ", synthesis::MessageIcon::None);
        return nullptr;
    }
}

// The run of statCutoffSpotting; throws std::bad_alloc when its work memory
// (the grid, the plan of the series, the workers' records and protocols)
// cannot be had, before anything of the caller's has changed.
int simulateGrid(synthesis::MessageSink& sink, RestErrorHeader* header, std::span<const synthesis::PulseHeader> etalons,
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
        sink.messageBox("Нет памяти для lpStepwiseProtocol!", "", synthesis::MessageIcon::None);
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
        for (const synthesis::RecordedMessage& m : chunks[k].messages.messages)
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

int statCutoffSpotting(synthesis::MessageSink& sink, RestErrorHeader* header,
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
        sink.messageBox("Ошибка lpEtalonNumbersList!", " About statCutoffSpotting ", synthesis::MessageIcon::None);
        return 0;
    }
}

int mergeSimulationParts(synthesis::MessageSink& sink, RestErrorHeader* header, uint16_t seriesType, uint16_t task,
                         uint16_t createEnergy, int16_t processEnergy, std::span<const SimulationPart> parts)
{
    const char* caption = " mergeSimulationParts ";
    auto refuse = [&](const std::string& why) {
        sink.messageBox(why, caption, synthesis::MessageIcon::Warning);
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
