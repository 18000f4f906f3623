#include "detection/stepwise_protocol.h"

#include <algorithm>
#include <new>

#include "detection/fixed_case_criteria.h"

namespace detection {

namespace {

// A row can be written at wUsed when the protocol is not full and the row
// has room for the positions.
bool roomForRow(const StepwiseProtocol* protocol, size_t pulses)
{
    if (!protocol || protocol->wUsed >= protocol->wRows)
        return false;
    const size_t r = protocol->wUsed;
    return r < protocol->lpIterations.size() && r < protocol->lpMeasure.size() && r < protocol->lpSquares.size() &&
           r < protocol->lpPulses.size() && r < protocol->lpMethod.size() && r < protocol->lpRowPositions.size() &&
           pulses <= protocol->wWidth && pulses <= protocol->lpRowPositions[r].size();
}

void writeRow(StepwiseProtocol& protocol, uint16_t pulses, int32_t measure, int32_t squares, uint16_t iterations,
              uint16_t code, std::span<const int16_t> positions)
{
    const uint16_t r = protocol.wUsed;
    protocol.lpIterations[r] = iterations;
    protocol.lpPulses[r] = pulses;
    protocol.lpMeasure[r] = measure;
    protocol.lpSquares[r] = squares;
    std::copy_n(positions.begin(), pulses, protocol.lpRowPositions[r].begin());
    protocol.lpMethod[r] = code;
    protocol.wUsed = static_cast<uint16_t>(r + 1);
}

}  // namespace

const char* protocolMethodLabel(uint16_t code)
{
    static const char* const labels[] = {"unk", "def", "pre", "est", "exh", "fix", "pas"};
    return code < std::size(labels) ? labels[code] : labels[0];
}

const char* taskName(uint16_t task)
{
    switch (task) {
    case taskDetection:
        return "detection";
    case taskRecognition:
        return "recognition";
    case taskJointIdentification:
        return "joint detection and identification";
    case taskFixedEstimation:
    case taskUnfixedEstimation:
        return "joint detection and estimation";
    case taskBlindDetection:
        return "blind detection";
    default:
        return nullptr;
    }
}

const char* seriesTypeName(uint16_t seriesType)
{
    switch (seriesType) {
    case seriesKnownWhole:
        return "known number of whole pulses";
    case seriesKnownCutOff:
        return "known number of cut-off pulses";
    case seriesUnknownWhole:
        return "unknown number of whole pulses";
    case seriesUnknownCutOff:
        return "unknown number of cut-off pulses";
    default:
        return nullptr;
    }
}

StepwiseProtocolPtr getStepwiseProtocol(uint16_t lastRow, uint16_t width, StepwiseProtocolPtr existing)
{
    const uint32_t rows = uint32_t{lastRow} + 1;
    if (rows > UINT16_MAX)
        return nullptr;
    if (!existing || existing->wRows < rows || existing->wWidth < width) {
        existing.reset();
        try {
            auto fresh = std::make_unique<StepwiseProtocol>();
            fresh->lpIterations.assign(rows, 0);
            fresh->lpMeasure.assign(rows, 0);
            fresh->lpSquares.assign(rows, 0);
            fresh->lpRowPositions.assign(rows, std::vector<int16_t>(width, 0));
            fresh->lpPulses.assign(rows, 0);
            fresh->lpMethod.assign(rows, 0);
            fresh->wRows = static_cast<uint16_t>(rows);
            fresh->wWidth = width;
            existing = std::move(fresh);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    StepwiseProtocol& protocol = *existing;
    protocol.wUsed = 0;
    protocol.wAsked = width;
    std::fill_n(protocol.lpPulses.begin(), rows, uint16_t{0});
    std::fill_n(protocol.lpMethod.begin(), rows, uint16_t{0});
    return existing;
}

int freeStepwiseProtocol(StepwiseProtocolPtr& protocol)
{
    protocol.reset();
    return 1;
}

int addTolpStepwiseProtocol(base::MessageSink& sink, uint16_t seriesType, uint16_t task, StepwiseProtocol* protocol)
{
    if (!protocol) {
        sink.messageBox("Не определен lpStepwiseProtocol!", " addTolpStepwiseProtocol ", base::MessageIcon::None);
        return 0;
    }
    protocol->wSeriesType = seriesType;
    protocol->wTask = task;
    protocol->lpTaskName = taskName(task);
    protocol->lpSeriesName = seriesTypeName(seriesType);
    return 1;
}

int addProtocolRow(uint16_t iterations, uint16_t L, uint16_t, uint16_t code, StepwiseProtocol* protocol,
                   const synthesis::SeriesHeader& series)
{
    const uint16_t n = series.wFoundPulses;
    if (!roomForRow(protocol, n) || n > series.lpFoundPositions.size())
        return 0;
    const std::span<const int16_t> found(series.lpFoundPositions.data(), n);
    const uint16_t kept = code <= kMethodExhaustive ? code : kMethodUnknown;
    writeRow(*protocol, n, measure(series, L, found), squares(series, L, found), static_cast<uint16_t>(iterations + 1),
             kept, found);
    return 1;
}

int appendProtocolRow(StepwiseProtocol* protocol, uint16_t pulses, int32_t measure, int32_t squares,
                      uint16_t iterations, uint16_t code, std::span<const int16_t> positions)
{
    if (!roomForRow(protocol, pulses) || positions.size() < pulses)
        return 0;
    writeRow(*protocol, pulses, measure, squares, iterations, code, positions);
    return 1;
}

int32_t runImprovementLoop(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series, int32_t startMeasure, uint16_t& passes)
{
    int32_t last = startMeasure;
    passes = 0;
    // A pass that confirms the one before mostly scans what that one scanned.
    ImprovementMemo<int32_t> memo;
    while (passes < kMaxImprovementPasses) {
        const int32_t next = improvePositions(sink, Tmin, Tmax, L, m, series, &memo);
        if (next == last)
            break;
        last = next;
        ++passes;
    }
    return last;
}

int runFixedCaseEstimation(base::MessageSink& sink, synthesis::SeriesHeader& series, StepwiseProtocol* protocol,
                           uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m, uint32_t seriesLength,
                           FixedCaseStages stages, const ProgressCallback& progress)
{
    std::string problem = fixedCaseProblem(series, Tmin, Tmax, L, m);
    if (problem.empty() && series.lpPositions.size() < m)
        problem = "The series holds fewer true positions than the pulse count.\n";
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, " runFixedCaseEstimation ",
                        base::MessageIcon::Warning);
        return 0;
    }

    auto append = [&](uint16_t iterations, uint16_t code) {
        if (addProtocolRow(iterations, L, m, code, protocol, series))
            return true;
        sink.messageBox("No positions on StepwiseProtocol\n", "CM_CREATE_SERIES", base::MessageIcon::None);
        return false;
    };

    series.wFoundPulses = m;
    std::copy_n(series.lpPositions.begin(), m, series.lpFoundPositions.begin());
    if (!append(0, kMethodTrue))
        return 0;

    const int32_t programme = estimateByEnergies(sink, Tmin, Tmax, L, m, series);
    if (!append(0, kMethodProgramme))
        return 0;
    if (stages == FixedCaseStages::TrueAndProgramme)
        return 1;

    uint16_t passes = 0;
    runImprovementLoop(sink, Tmin, Tmax, L, m, series, programme, passes);
    if (!append(passes, kMethodImproved))
        return 0;
    if (stages == FixedCaseStages::WithoutExhaustive)
        return 1;

    // The exhaustive search grows as the product of the interval widths:
    // only small problems can afford it.
    if (m <= 3 || (m == 4 && seriesLength < 350)) {
        // A failed search leaves the positions alone and still appends its
        // row; a cancelled one leaves the protocol as it was.
        bool cancelled = false;
        ProgressCallback watch;
        if (progress)
            watch = [&](uint64_t done, uint64_t total) {
                cancelled = cancelled || !progress(done, total);
                return !cancelled;
            };
        searchInIntervals(sink, Tmin, Tmax, L, m, series, watch);
        if (cancelled)
            return 0;
        if (!append(0, kMethodExhaustive))
            return 0;
    }
    return 1;
}

}  // namespace detection
