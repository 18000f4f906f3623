// Every allocation of every record getter, estimator and reader made to fail
// in turn, once each. After a failing run the outcome is either exactly that
// of the undisturbed run (the allocation had a fallback) or the documented
// failure: its result, its "Нет памяти ..." message (or its exception) and
// the state its contract keeps. The sanitizer build adds that nothing leaks.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "detection/interval_sets.h"
#include "detection/pulse_count_ranking.h"
#include "detection/sequential_method.h"
#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "detection/statistical_simulation.h"
#include "detection/stepwise_protocol.h"
#include "detection/unfixed_case_detection.h"
#include "files/data_file_reader.h"
#include "files/files_test_support.h"
#include "files/png_image.h"
#include "files/series_readers.h"
#include "platform/scripted_host.h"
#include "support/failing_allocator.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"
#include "views/drawing_primitives.h"

namespace {

using test_support::AllocationFailure;
using test_support::UncountedAllocations;
using test_support::forEachAllocationFailure;

// ---------------------------------------------------------------- dumps

// Writes a value: numbers as numbers (a double of a list as to_string, NaN as
// "nan"), text as it is, lists in brackets, lists of lists one after another.
template <class T>
void put(std::ostream& out, const T& x)
{
    if constexpr (std::is_enum_v<T>)
        out << static_cast<long long>(x) << ' ';
    else if constexpr (std::is_arithmetic_v<T> || std::is_pointer_v<T>)
        out << +x << ' ';
    else if constexpr (std::is_convertible_v<const T&, std::string_view>)
        out << x << ' ';
    else {
        out << '[';
        for (const auto& e : x) {
            if constexpr (std::is_same_v<std::decay_t<decltype(e)>, double>)
                out << (std::isnan(e) ? std::string("nan") : std::to_string(e)) << ' ';
            else
                put(out, e);
        }
        out << ']';
    }
}
// The values one after another.
template <class... T>
std::string fields(const T&... xs)
{
    std::ostringstream o;
    (put(o, xs), ...);
    return o.str();
}

std::string dump(const synthesis::SeriesHeader& h)
{
    return fields(h.dwSeriesCapacity, h.dwSeriesSize, h.wTmin, h.wTmax, h.wReserved, h.wImpulseSize, h.wImpulseQuantity,
                  h.wMaxPulses, h.wMinPulses, h.wNoiseLevel, h.wAmplitude, h.wPulsesListCapacity, h.wPulsesListSize,
                  h.wPulsesCapacity, h.wFoundPulses, h.wCutFrom, h.wCutTo, h.wFixedCount, h.wFixedMode, h.wFixedStart,
                  h.lpFirstEtalon, h.lpPulsesList.size(), h.lpPureData, h.lpSeriesData, h.lpPositions,
                  h.lpFoundPositions, h.lpMinPositions, h.lpMaxPositions, h.lpEtalonSequence, h.lpReserved1,
                  h.lpCutFrom, h.lpCutTo, h.lpReserved2, h.lpReserved3, h.lpFixedSequence, h.lpPulsesList);
}
std::string dump(const detection::StepwiseProtocol& p)
{
    return fields(p.wRows, p.wUsed, p.wWidth, p.wAsked, p.wSeriesType, p.wTask, p.lpIterations, p.lpMeasure,
                  p.lpSquares, p.lpRowPositions, p.lpPulses, p.lpMethod);
}
std::string dump(const detection::IntervalSet& s) { return fields(s.wCapacity, s.wCount, s.lpStarts, s.lpEnds); }
std::string dump(const detection::PulseCountTable& t)
{
    return fields(t.wCapacity, t.wRows, t.wConfiguredCount, t.wMinCount, t.wMaxCount, t.lpPulseCounts, t.lpSquares,
                  t.lpNoisePerWindow);
}
std::string dump(const detection::RestErrorHeader& h)
{
    return fields(h.wReservedPulses, h.wVariousPulses, h.wReservedLevels, h.wNoiseLevels, h.repeats, h.wLabelMark,
                  h.wSeriesType, h.wTask, h.fReady, h.wPulseValues, h.lpNoiseLevel, h.lpErrors);
}
std::string dump(const detection::DetectionStudy& s)
{
    return fields(s.dwCapacity, s.dwSeriesSize, s.wPulseCapacity, s.wTruePulses, s.wMinPulses, s.wMaxPulses,
                  s.wImpulseSize, s.lPasses, s.lDetectionThreshold, s.wTask, s.wDetectionMethod, s.lpTruePositions,
                  s.lpDetectedPositions, s.lpDetectedEnergies, s.lpIntervalStarts, s.lpIntervalEnds, s.lpEnergies,
                  s.lpReducedEnergies, s.lpSpare);
}
std::string dump(const synthesis::PulseHeader& p) { return fields(p.wAllocSize, p.wSize, p.wNumber, p.lpData); }
template <class Record>
std::string dump(const std::unique_ptr<Record>& r)
{
    return r ? dump(*r) : "none";
}
std::string dump(std::span<const synthesis::PulseHeader> alphabet)
{
    std::string out;
    for (const synthesis::PulseHeader& p : alphabet)
        out += dump(p);
    return out;
}
std::string dump(const synthesis::RandomStreams& r)
{
    return fields(r.etalonSeed, r.positionSeed, r.cutStartSeed, r.cutEndSeed, r.countSeed, r.firstFixedGapSeed,
                  r.secondFixedGapSeed, r.noiseSeed);
}
std::string dump(const files::SeriesReadResult& r)
{
    return fields(r.ok, r.error, r.data.integral, r.data.sampleRate, r.data.timeName, r.data.columnName, r.data.source,
                  r.data.values, r.data.times);
}
std::string dump(const detection::DetectionOutcome& d)
{
    std::string out = fields(d.positions, d.pulseScores);
    for (const auto& row : d.rows)
        out += fields(row.method, row.measure, row.squares, row.iterations, row.positions);
    for (const auto& c : d.counts)
        out += fields(c.count, c.programmeMeasure, c.improvedMeasure, c.passes, c.squares, c.noisePerWindow) + ';';
    for (const auto& p : d.passes)
        out += fields(p.threshold, p.detected) + ';';
    return out + fields(d.fromCount, d.toCount, d.cancelled);
}
std::string dump(const detection::PreparedSeries& p)
{
    return fields(p.samples, p.gaps, p.centre, p.trendMedian, p.scale, p.scaled, p.largest, p.report);
}
std::string dump(const platform::Bitmap& b) { return fields(b.width, b.height, b.pixels); }

// ---------------------------------------------------------------- the table

// Records the messages as the window shows them; what it allocates for that
// is not part of the call under test.
struct Recorder final : base::MessageSink {
    std::vector<base::RecordedMessage> messages;
    void messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon) override
    {
        UncountedAllocations quiet;
        messages.push_back({std::string(text), std::string(caption), icon});
    }
};

// What a run left: the function's result, the messages it showed and the
// state the contract speaks of.
struct Outcome {
    std::string result;
    std::vector<std::string> messages;  // "text|caption"
    std::string state;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    out << "result: " << o.result << "\nmessages:";
    for (const auto& m : o.messages)
        out << " {" << m << '}';
    return out << "\nstate: " << o.state.substr(0, 400);
}

std::vector<std::string> texts(const std::vector<base::RecordedMessage>& messages)
{
    std::vector<std::string> out;
    for (const auto& m : messages)
        out.push_back(m.text + "|" + m.caption);
    return out;
}

// A documented failure: the result and the messages exactly; the state as
// it was before the call (kKept), not looked at (kAnyState: a contract that
// leaves it "as far as it got"), or exactly the one given.
const std::string kKept = "<kept>", kAnyState = "<any>";
struct Failure {
    std::string result;
    std::vector<std::string> messages;
    std::string state = kKept;
};
// A staged run whose estimator ran short goes on with what that estimator
// left (the series as it was before it): any result and state, as long as
// the shortage was shown and every other message is one of the undisturbed
// run. A trace box is one of them when its caption is: its text shows the
// counts as the short estimator left them, so it differs by design.
const Failure kShortageShown{"<any>", {"<shortage>"}, kAnyState};

std::string captionOf(const std::string& message) { return message.substr(message.rfind('|')); }

bool shortageShown(const Outcome& o, const Outcome& reference)
{
    bool shown = false;
    for (const std::string& m : o.messages) {
        if (m.starts_with("Нет памяти для "))
            shown = true;
        else if (std::none_of(reference.messages.begin(), reference.messages.end(), [&](const std::string& r) {
                     return r == m || (captionOf(r) == captionOf(m) && captionOf(m).size() > 1);
                 }))
            return false;
    }
    return shown;
}

struct SweepCase {
    std::string name;
    std::function<void()> prepare;  // a fresh state, with nothing failing
    std::function<void()> action;   // the call under test
    std::function<Outcome()> observe;
    std::vector<Failure> failures;  // what a failing run may end as
};

// One case's state lives in a shared object that its lambdas hold.
template <class State>
SweepCase makeCase(std::string name, std::function<void(State&)> prepare, std::function<void(State&)> action,
                   std::function<Outcome(State&)> observe, std::vector<Failure> failures)
{
    auto state = std::make_shared<State>();
    return {std::move(name),
            [state, prepare] {
                *state = State{};
                prepare(*state);
            },
            [state, action] { action(*state); }, [state, observe] { return observe(*state); }, std::move(failures)};
}

const std::string kThrew = "threw std::bad_alloc";

// ---------------------------------------------------------------- fixtures

// A tiny series of 4 pulses of 8 samples, 10..20 apart, in 64 samples with
// noise, from an alphabet of 4 etalons: every function below runs on it in a
// few thousand allocations at most.
constexpr uint16_t kL = 8, kTmin = 10, kTmax = 20, kK = 4;
constexpr uint32_t kN = 64;

struct Bench {
    std::array<synthesis::PulseHeader, 4> alphabet{};
    std::vector<uint16_t> sequence = std::vector<uint16_t>(16, 2);
    synthesis::SeriesHeader series;     // with noise, the positions found left at -1
    synthesis::SeriesHeader estimated;  // the same after estimateByEnergies
    Bench()
    {
        base::MessageRecorder sink;
        synthesis::RandomStreams streams;
        synthesis::makeAlphabet(sink, 128, 4, kL, alphabet, streams.etalonSeed);
        bool made = false;
        synthesis::SeriesHeaderPtr h = synthesis::getCutOffSeries(sink, alphabet, kL, kTmin, kTmax, kN, kK, sequence,
                                                                  128, 100, nullptr, streams, &made);
        EXPECT_TRUE(made);
        synthesis::addNoise(20, 128, h.get(), streams.noiseSeed);
        h->wFoundPulses = 0;
        series = *h;
        detection::estimateByEnergies(sink, kTmin, kTmax, kL, kK, *h);
        estimated = *h;
        EXPECT_TRUE(sink.messages.empty());
    }
};
const Bench& bench()
{
    static const Bench b;
    return b;
}

// The state of a call on one series.
struct SeriesRun {
    Recorder sink;
    synthesis::SeriesHeader series;
    detection::StepwiseProtocolPtr protocol;
    detection::PulseCountTablePtr table;
    detection::DetectionStudyPtr study;
    std::vector<int32_t> chain;
    int64_t result = 0;
};

Outcome seriesOutcome(SeriesRun& r)
{
    return {std::to_string(r.result), texts(r.sink.messages),
            dump(r.series) + '|' + dump(r.protocol) + (r.table ? '|' + dump(r.table) : "") +
                (r.study ? '|' + dump(r.study) : "") + fields(r.chain)};
}

// A call on a copy of the bench series; `needs` tells what else it is given:
// 'e' the series as estimated, 'p' the protocol of the callers (8 rows as
// wide as the series' pulse count), 't' the count table, 's' the study.
SweepCase seriesCase(std::string name, std::string_view needs, std::vector<Failure> failures,
                     std::function<int64_t(SeriesRun&)> call)
{
    auto has = [needs](char c) { return needs.find(c) != std::string_view::npos; };
    return makeCase<SeriesRun>(
        std::move(name),
        [estimated = has('e'), protocol = has('p'), table = has('t'), study = has('s')](SeriesRun& r) {
            r.series = estimated ? bench().estimated : bench().series;
            if (protocol)
                r.protocol = detection::getStepwiseProtocol(7, r.series.wMaxPulses, nullptr);
            if (table)
                r.table = detection::getPulseCountTable(kK, r.series.wMinPulses, r.series.wMaxPulses, nullptr);
            if (study)
                r.study = detection::getDetectionStudy(r.series, nullptr);
            r.chain.assign(kN, 0);
        },
        [call](SeriesRun& r) { r.result = call(r); }, seriesOutcome, std::move(failures));
}

Failure noMemory(std::string result, const std::string& what, const std::string& caption = "")
{
    return {std::move(result), {"Нет памяти для " + what + "!|" + caption}};
}

// Set-up inside a counted action, made with nothing counted or failing.
template <class F>
auto untold(F&& make)
{
    UncountedAllocations quiet;
    return make();
}
// The record a getter returned, described with nothing counted or failing.
template <class Record>
std::string shown(const Record& record)
{
    UncountedAllocations quiet;
    return dump(record);
}

// A record getter: its result is the record (or none), nothing else is seen.
struct Getter {
    Recorder sink;
    std::string record;
    std::function<std::string(base::MessageSink&)> call;
};

SweepCase getterCase(std::string name, std::vector<Failure> failures,
                     std::function<std::string(base::MessageSink&)> call)
{
    return makeCase<Getter>(
        std::move(name), [call](Getter& g) { g.call = call; }, [](Getter& g) { g.record = g.call(g.sink); },
        [](Getter& g) {
            return Outcome{g.record, texts(g.sink.messages), ""};
        },
        std::move(failures));
}

Failure none(std::vector<std::string> messages = {}) { return {"none", std::move(messages), kAnyState}; }

// What a call returned, or kThrew when std::bad_alloc left it.
std::string caught(const std::function<std::string()>& call)
{
    try {
        return call();
    } catch (const std::bad_alloc&) {
        UncountedAllocations quiet;
        return kThrew;
    }
}

SweepCase readerCase(std::string name, const std::string& file, std::function<files::SeriesReadResult()> call)
{
    // A reader refuses with a message naming what it read; running out of
    // memory is a refusal too.
    files::SeriesReadResult refused;
    refused.error = file + ": not enough memory to read it";
    return getterCase(std::move(name), {{dump(refused), {}, kAnyState}},
                      [call](base::MessageSink&) { return caught([&] { return shown(call()); }); });
}

// A function of the span core that says it throws std::bad_alloc.
SweepCase throwingCase(std::string name, std::function<std::string()> call)
{
    return getterCase(std::move(name), {{kThrew, {}, kAnyState}}, [call](base::MessageSink&) { return caught(call); });
}

std::vector<int64_t> userSamples()
{
    std::vector<int64_t> x(60, 0);
    for (int p : {3, 19, 33, 48})
        for (int i = 0; i < 6; ++i)
            x[p + i] = 40 - 5 * i;
    for (size_t i = 0; i < x.size(); ++i)
        x[i] += static_cast<int64_t>(i * 7 % 5) - 2;
    return x;
}

std::string detectWith(const detection::DetectionRequest& request)
{
    detection::DetectionOutcome outcome;
    std::string error;
    const bool ok = detection::detectPulses(userSamples(), request, outcome, error);
    // A string stream that runs short stops writing without a word: the
    // description of the outcome is not part of the call.
    UncountedAllocations quiet;
    return std::to_string(ok) + error + dump(outcome);
}

// ---------------------------------------------------------------- the cases

// The records and series of synthesis.
void addSynthesisCases(std::vector<SweepCase>& cases)
{
    const std::string header = " getCutOffSeriesHeader ", ext = " getExtSeriesHeader ";
    cases.push_back(getterCase("getCutOffSeriesHeaderNew",
                               {none({"Нет памяти для newSeriesHeader!|" + header}),
                                none({"Нет памяти для newSeriesHeader->lpPureData!|" + ext}),
                                none({"Нет памяти для newSeriesHeader->lpPulsesList!|" + ext})},
                               [](base::MessageSink& s) {
                                   return shown(synthesis::getCutOffSeriesHeader(s, 4, kL, kTmin, kTmax, kN, nullptr));
                               }));
    cases.push_back(
        getterCase("getCutOffSeriesHeaderGrown",
                   {none({"Нет памяти для newSeriesHeader->lpPureData!|" + ext}),
                    none({"Нет памяти для newSeriesHeader->lpPulsesList!|" + ext})},
                   [](base::MessageSink& s) {
                       synthesis::SeriesHeaderPtr small =
                           untold([] { return std::make_unique<synthesis::SeriesHeader>(bench().series); });
                       return shown(synthesis::getCutOffSeriesHeader(s, 6, kL, kTmin, kTmax, 2 * kN, std::move(small)));
                   }));
    {
        struct Synthesis {
            Recorder sink;
            synthesis::RandomStreams streams;
            std::vector<uint16_t> sequence;
            synthesis::SeriesHeaderPtr header;
            bool made = false;
        };
        const std::string lost = "Не могу выделить память для lpSeriesHeader!| getCutOffSeries ";
        auto observe = [](Synthesis& s) {
            return Outcome{std::to_string(s.made), texts(s.sink.messages), dump(s.header)};
        };
        // A failed synthesis leaves the header "partly set" and the streams
        // drawn as far as it got.
        std::vector<Failure> failures{{"0", {"Нет памяти для newSeriesHeader->lpPureData!|" + ext, lost}, "none"},
                                      {"0", {"Нет памяти для newSeriesHeader->lpPulsesList!|" + ext, lost}, "none"},
                                      {"0", {"Нет памяти для PartialEnergy!|"}, kAnyState}};
        cases.push_back(makeCase<Synthesis>(
            "getCutOffSeries",
            [](Synthesis& s) {
                s.sequence = bench().sequence;
                s.header = std::make_unique<synthesis::SeriesHeader>(bench().series);
            },
            [](Synthesis& s) {
                s.header = synthesis::getCutOffSeries(s.sink, bench().alphabet, kL, kTmin, kTmax, 2 * kN, 6, s.sequence,
                                                      128, 70, std::move(s.header), s.streams, &s.made);
            },
            observe, failures));
        cases.push_back(makeCase<Synthesis>(
            "getRandomCountSeries", [](Synthesis& s) { s.sequence = bench().sequence; },
            [](Synthesis& s) {
                s.header = synthesis::getRandomCountSeries(s.sink, bench().alphabet, kL, kTmin, kTmax, kN, s.sequence,
                                                           128, 100, std::move(s.header), s.streams, &s.made);
            },
            [](Synthesis& s) {
                // A header lost to the shortage is gone, not kept.
                return Outcome{std::to_string(s.made), texts(s.sink.messages), s.header ? "" : "none"};
            },
            {{"0", {"Нет памяти для newSeriesHeader->lpPureData!|" + ext, lost}, "none"},
             {"0", {"Нет памяти для newSeriesHeader->lpPulsesList!|" + ext, lost}, "none"},
             {"0", {"Нет памяти для newSeriesHeader!|" + header, lost}, "none"},
             {"0", {"Нет памяти для PartialEnergy!|"}, ""}}));
    }
    cases.push_back(getterCase("getRequiredList", {{"[]", {"Нет памяти для newList!| getRequiredList "}}},
                               [](base::MessageSink& s) {
                                   const std::vector<uint16_t> list = synthesis::getRequiredList(s, 12);
                                   UncountedAllocations quiet;
                                   return fields(list);
                               }));
    {
        struct Alphabet {
            Recorder sink;
            std::array<synthesis::PulseHeader, 6> alphabet{};
            int32_t seed = 123;
            int result = 0;
        };
        cases.push_back(makeCase<Alphabet>(
            "makeAlphabet",
            [](Alphabet& a) {
                // Two entries with samples too short for the new length.
                base::MessageRecorder ignored;
                synthesis::makeAlphabet(ignored, 128, 2, 4, a.alphabet, a.seed);
                a.seed = 123;
            },
            [](Alphabet& a) { a.result = synthesis::makeAlphabet(a.sink, 128, 6, kL, a.alphabet, a.seed); },
            [](Alphabet& a) {
                return Outcome{std::to_string(a.result), texts(a.sink.messages), dump(a.alphabet)};
            },
            {{"0", {"Предварительное освобождение памяти!|Отладка", "Не могу выделить память!|"}, kAnyState}}));
    }
}

// The pulse record the views make of the etalon a user draws.
void addViewsCases(std::vector<SweepCase>& cases)
{
    cases.push_back(
        getterCase("createPulseHeader",
                   {none({"Нет памяти для newPulseHeader!|"}), none({"Нет памяти для newPulseHeader->lpData!|"})},
                   [](base::MessageSink& s) {
                       static const std::vector<int16_t> given{1, 2, 3};
                       return shown(views::createPulseHeader(s, 20, 3, given));
                   }));
}

// The records of detection: interval sets, count tables, simulation headers,
// protocols and studies.
void addDetectionRecordCases(std::vector<SweepCase>& cases)
{
    cases.push_back(getterCase("getIntervalSetNew", {none()},
                               [](base::MessageSink&) { return shown(detection::getIntervalSet(nullptr, 5)); }));
    cases.push_back(getterCase("getIntervalSetGrown", {none()}, [](base::MessageSink&) {
        detection::IntervalSetPtr set = untold([] {
            detection::IntervalSetPtr small = detection::getIntervalSet(nullptr, 2);
            detection::addInterval(small.get(), 3, 9);
            return small;
        });
        return shown(detection::getIntervalSet(std::move(set), 9));
    }));
    cases.push_back(getterCase("copyIntervalSet", {none()}, [](base::MessageSink&) {
        static const detection::IntervalSetPtr source = [] {
            detection::IntervalSetPtr set = detection::getIntervalSet(nullptr, 6);
            detection::addInterval(set.get(), 3, 9);
            detection::addInterval(set.get(), 20, 29);
            return set;
        }();
        detection::IntervalSetPtr target = untold([] { return detection::getIntervalSet(nullptr, 2); });
        return shown(detection::copyIntervalSet(std::move(target), source.get()));
    }));
    {
        struct Sets {
            detection::IntervalSetPtr set, other;
            int result = 0;
        };
        cases.push_back(makeCase<Sets>(
            "intersectIntervalSets",
            [](Sets& s) {
                s.set = detection::getIntervalSet(nullptr, 6);
                s.other = detection::getIntervalSet(nullptr, 6);
                detection::addInterval(s.set.get(), 3, 30);
                detection::addInterval(s.set.get(), 40, 60);
                detection::addInterval(s.other.get(), 10, 45);
                detection::addInterval(s.other.get(), 50, 52);
            },
            [](Sets& s) { s.result = detection::intersectIntervalSets(s.set.get(), s.other.get()); },
            [](Sets& s) {
                return Outcome{std::to_string(s.result), {}, dump(s.set) + dump(s.other)};
            },
            {{"0", {}}}));
    }
    cases.push_back(getterCase("getPulseCountTable", {none()}, [](base::MessageSink&) {
        detection::PulseCountTablePtr t = untold([] { return detection::getPulseCountTable(3, 2, 3, nullptr); });
        return shown(detection::getPulseCountTable(4, 1, 7, std::move(t)));
    }));
    const std::string rest = " getRestErrHeader ";
    cases.push_back(getterCase("getRestErrHeader",
                               {none({"Нет памяти для newRestErrorHeader!|" + rest}),
                                none({"Нет памяти для newRestErrorHeader->lpNoiseLevel!|" + rest}),
                                none({"Нет памяти для newRestErrorHeader->lpErrors!|" + rest}),
                                none({"Нет памяти для newRestErrorHeader->lpErrors[]!|" + rest})},
                               [](base::MessageSink& s) {
                                   detection::RestErrorHeaderPtr h = untold([] {
                                       base::MessageRecorder ignored;
                                       return detection::getRestErrHeader(ignored, 2, 2, 3, nullptr);
                                   });
                                   return shown(detection::getRestErrHeader(s, 3, 4, 5, std::move(h)));
                               }));
    cases.push_back(getterCase("getStepwiseProtocol", {none()}, [](base::MessageSink&) {
        detection::StepwiseProtocolPtr p = untold([] { return detection::getStepwiseProtocol(3, 2, nullptr); });
        return shown(detection::getStepwiseProtocol(7, 6, std::move(p)));
    }));
    cases.push_back(getterCase("getDetectionStudy", {none()}, [](base::MessageSink&) {
        static const synthesis::SeriesHeader longer = [] {
            synthesis::SeriesHeader h = bench().series;
            h.dwSeriesSize = h.dwSeriesCapacity = 2 * kN;
            h.lpSeriesData.resize(2 * kN);
            h.wMaxPulses = 6;
            return h;
        }();
        detection::DetectionStudyPtr s = untold([] { return detection::getDetectionStudy(bench().series, nullptr); });
        return shown(detection::getDetectionStudy(longer, std::move(s)));
    }));
}

// The estimators and detectors that work on a series record.
void addDetectionEstimatorCases(std::vector<SweepCase>& cases)
{
    const std::string failed = std::to_string(detection::kEstimateFailure);
    cases.push_back(
        seriesCase("estimateByEnergies", "", {noMemory(failed, "ppDw"), noMemory(failed, "ppDw[m]")},
                   [](SeriesRun& r) { return detection::estimateByEnergies(r.sink, kTmin, kTmax, kL, kK, r.series); }));
    cases.push_back(
        seriesCase("improvePositions", "e", {noMemory(failed, "ppSums"), noMemory(failed, "ppSums[]")},
                   [](SeriesRun& r) { return detection::improvePositions(r.sink, kTmin, kTmax, kL, kK, r.series); }));
    cases.push_back(seriesCase("searchInIntervals", "e", {noMemory(failed, "leftInIntervals")}, [](SeriesRun& r) {
        return detection::searchInIntervals(r.sink, kTmin, kTmax, kL, 3, r.series);
    }));
    cases.push_back(seriesCase("runFixedCaseEstimation", "p", {kShortageShown}, [](SeriesRun& r) {
        return detection::runFixedCaseEstimation(r.sink, r.series, r.protocol.get(), kTmin, kTmax, kL, 3, kN);
    }));
    cases.push_back(
        seriesCase("sequentialMethod", "p",
                   {noMemory("-1", "measure"), noMemory("-1", "pulse_positions"), kShortageShown}, [](SeriesRun& r) {
                       return detection::sequentialMethod(r.sink, kTmin, kTmax, true, r.protocol.get(), r.series);
                   }));
    cases.push_back(seriesCase("rankPulseCounts", "pt", {noMemory("-1", "measure"), kShortageShown}, [](SeriesRun& r) {
        return detection::rankPulseCounts(r.sink, kTmin, kTmax, true, r.protocol.get(), r.table.get(), r.series);
    }));
    cases.push_back(seriesCase("study01_UnFixedPulseDetection", "s", {noMemory("0", "indexes")}, [](SeriesRun& r) {
        return detection::study01_UnFixedPulseDetection(r.sink, kTmin, kTmax, r.chain, r.study.get(), r.series);
    }));
    cases.push_back(seriesCase("processSeriesChains", "", {noMemory("0", "indexes")}, [](SeriesRun& r) {
        return detection::processSeriesChains(r.sink, kTmin, kTmax, r.series);
    }));
    cases.push_back(seriesCase("runUnfixedDetection", "pts", {kShortageShown}, [](SeriesRun& r) {
        return detection::runUnfixedDetection(r.sink, kTmin, kTmax, false, r.chain, r.protocol.get(), r.table.get(),
                                              r.study.get(), r.series);
    }));
}

// The statistical simulation on one thread and on three.
void addDetectionSimulationCases(std::vector<SweepCase>& cases)
{
    struct Simulation {
        Recorder sink;
        detection::RestErrorHeaderPtr header;
        synthesis::SeriesHeaderPtr series;
        synthesis::RandomStreams streams;
        int32_t noiseSeed = 10597;
        std::vector<uint16_t> required{1, 2};
        int result = 0;
    };
    // On three threads a shortage in a helper stops every worker and reaches
    // the caller after they are joined, as it does on one.
    for (auto [task, threads] : {std::pair<uint16_t, unsigned>{8, 1}, {32, 1}, {8, 3}, {32, 3}}) {
        cases.push_back(makeCase<Simulation>(
            "statCutoffSpottingTask" + std::to_string(task) + (threads > 1 ? "Threads" + std::to_string(threads) : ""),
            [](Simulation& s) {
                base::MessageRecorder ignored;
                s.series = synthesis::getCutOffSeriesHeader(ignored, 4, kL, kTmin, kTmax, kN, nullptr);
                s.header = detection::getRestErrHeader(ignored, 2, 2, 2, nullptr);
                detection::initRestErrHeader(ignored, 2, 3, 1, 2, 0, 10, 2, s.header.get());
            },
            [task = task, threads = threads](Simulation& s) {
                detection::SimulationOptions options;
                options.threads = threads;
                s.result =
                    detection::statCutoffSpotting(s.sink, s.header.get(), bench().alphabet, 2, s.required, 1, task, 100,
                                                  100, s.series, 128, s.noiseSeed, s.streams, options);
            },
            [](Simulation& s) {
                return Outcome{std::to_string(s.result), texts(s.sink.messages),
                               dump(s.header) + "|" + dump(s.series) + "|" + dump(s.streams) + " " +
                                   std::to_string(s.noiseSeed)};
            },
            // A series that ran short ends the run where it stopped.
            {{"0", {"Ошибка lpEtalonNumbersList!| About statCutoffSpotting "}},
             {"0", {"Нет памяти для lpStepwiseProtocol!|"}},
             kShortageShown}));
    }
}

// The span core for a researcher's own series.
void addDetectionSpanCoreCases(std::vector<SweepCase>& cases)
{
    // Pulses of 6 samples, 10 to 20 apart, in each of the modes.
    auto request = [](detection::DetectionMode mode) {
        detection::DetectionRequest r;
        r.mode = mode;
        r.L = 6;
        r.Tmin = 10;
        r.Tmax = 20;
        return r;
    };
    cases.push_back(throwingCase("detectPulsesKnownCount", [request] {
        detection::DetectionRequest r = request(detection::DetectionMode::KnownCount);
        r.pulses = 4;
        return detectWith(r);
    }));
    cases.push_back(throwingCase("detectPulsesSequential", [request] {
        return detectWith(request(detection::DetectionMode::SequentialMethod));
    }));
    cases.push_back(throwingCase("detectPulsesBlindCorrelation", [request] {
        detection::DetectionRequest r = request(detection::DetectionMode::Blind);
        r.method = detection::kChiSquareUnknownDispersion;
        return detectWith(r);
    }));
    cases.push_back(throwingCase("detectPulsesKnownCountCorrelation", [request] {
        detection::DetectionRequest r = request(detection::DetectionMode::KnownCount);
        r.pulses = 4;
        r.score = detection::ScoreKind::Correlation;
        r.templateSamples = {40, 35, 30, 25, 20, 15};
        return detectWith(r);
    }));
    cases.push_back(throwingCase("prepareSeries", [] {
        std::vector<double> values{1.5, NAN, 3.25, 8, -2, 4.5, 6, NAN, 7, 1, 2, 3};
        detection::PreparationOptions options;
        options.detrend = detection::Detrend::MovingMedian;
        options.window = 3;
        options.invert = true;
        detection::PreparedSeries prepared;
        std::string error;
        const bool ok = detection::prepareSeries(values, false, options, prepared, error);
        const auto noise = detection::estimateNoiseLevel(prepared.samples);
        UncountedAllocations quiet;
        return std::to_string(ok) + error + dump(prepared) + " noise " + std::to_string(noise);
    }));
}

// The window's data-file reader: what the host records is not part of the
// call, and the series it fills is given.
SweepCase readInfoDataFileCase()
{
    struct QuietHost final : platform::ScriptedHost {
        void messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon) override
        {
            UncountedAllocations quiet;
            ScriptedHost::messageBox(text, caption, icon);
        }
        std::optional<std::string> openFileDialog(const platform::FileDialogOptions& options) override
        {
            UncountedAllocations quiet;
            return ScriptedHost::openFileDialog(options);
        }
    };
    struct DataFileRead {
        std::shared_ptr<files_test::ScratchDir> dir;
        std::shared_ptr<QuietHost> host;
        std::string path;
        synthesis::SeriesHeaderPtr series;
        int32_t result = 0;
    };
    static const auto scratch = std::make_shared<files_test::ScratchDir>();
    static const std::string path = [] {
        std::vector<int16_t> trace(300);
        for (size_t i = 0; i < trace.size(); ++i)
            trace[i] = static_cast<int16_t>((i * 1237) % 4000 - 2000) * 8;
        const std::string file = scratch->file("trace.dat");
        files_test::writeAll(file, files_test::makeDataFile(files_test::DataFileHeaderFields{}, trace));
        return file;
    }();
    const std::string caption = "About ReadInfoDataFile";
    const std::string noBuffer = "Нет памяти для буфера текста!|" + caption;
    const std::string facts = [&] {
        // The first box of the undisturbed run: what a later shortage
        // leaves shown before its own message.
        QuietHost host;
        host.queueOpenFile(path);
        synthesis::SeriesHeaderPtr series = std::make_unique<synthesis::SeriesHeader>(bench().series);
        files::ReadInfoDataFile(host, 7, series);
        return host.messages.front().text + "|" + host.messages.front().caption;
    }();
    return makeCase<DataFileRead>(
        "ReadInfoDataFile",
        [](DataFileRead& d) {
            d.dir = scratch;
            d.host = std::make_shared<QuietHost>();
            d.host->queueOpenFile(path);
            d.series = std::make_unique<synthesis::SeriesHeader>(bench().series);
        },
        [](DataFileRead& d) { d.result = files::ReadInfoDataFile(*d.host, 7, d.series); },
        [](DataFileRead& d) {
            return Outcome{std::to_string(d.result), texts(d.host->messages), dump(d.series)};
        },
        {{"0", {noBuffer}}, {"0", {facts, noBuffer}}});
}

// The readers of files: series, data files and PNG pictures.
void addFilesCases(std::vector<SweepCase>& cases)
{
    cases.push_back(readerCase("readSeriesText", "series.csv", [] {
        files::SeriesReadOptions o;
        return files::readSeriesText("time,value\n0,1.5\n1,2\n2,\n3,-4\n", "series.csv", o);
    }));
    cases.push_back(readerCase("readSeriesNpy", "series.npy", [] {
        const std::vector<uint8_t> bytes = untold([] {
            return files_test::npyFile(files_test::npyDict("<i2", "(6,)"),
                                       files_test::packed<int16_t>({1, -2, 3, 400, 5, -6}));
        });
        return files::readSeriesNpy(bytes, "series.npy", {});
    }));
    cases.push_back(readerCase("readSeriesSound", "series.wav", [] {
        const std::vector<uint8_t> bytes = untold([] {
            return files_test::wav16({0, 100, -100, 2000, -3000, 7, 8, 9}, 8000);
        });
        return files::readSeriesSound(bytes, "series.wav", {});
    }));
    cases.push_back(readerCase("readSeriesDataFile", "trace.dat", [] {
        const std::vector<uint8_t> bytes = untold([] {
            std::vector<int16_t> trace(60);
            for (size_t i = 0; i < trace.size(); ++i)
                trace[i] = static_cast<int16_t>((i * 1237) % 4000 - 2000);
            return files_test::makeDataFile(files_test::DataFileHeaderFields{}, trace);
        });
        return files::readSeriesDataFile(bytes, "trace.dat");
    }));
    cases.push_back(readInfoDataFileCase());
    // A picture the decoder refuses to fill is left as it was.
    const std::string untouched = dump(platform::makeBitmap(2, 1, 0x123456));
    cases.push_back(getterCase("decodePng", {{"0out of memory|" + untouched, {}}}, [](base::MessageSink&) {
        static const std::vector<uint8_t> bytes = files::encodePng(platform::makeBitmap(3, 2, 0xa0b0c0));
        platform::Bitmap picture = untold([] { return platform::makeBitmap(2, 1, 0x123456); });
        std::string error;
        return caught([&] {
            const bool ok = files::decodePng(bytes, picture, error);
            UncountedAllocations quiet;
            return std::to_string(ok) + error + '|' + dump(picture);
        });
    }));
}

std::vector<SweepCase> sweepCases()
{
    std::vector<SweepCase> cases;
    for (auto add : {addSynthesisCases, addViewsCases, addDetectionRecordCases, addDetectionEstimatorCases,
                     addDetectionSimulationCases, addDetectionSpanCoreCases, addFilesCases})
        add(cases);
    return cases;
}

// ---------------------------------------------------------------- the sweep

class AllocationFailureSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(AllocationFailureSweep, EndsAsUndisturbedOrAsDocumented)
{
    const SweepCase& c = GetParam();
    c.prepare();
    const std::string before = c.observe().state;
    c.action();
    const Outcome reference = c.observe();

    uint64_t absorbed = 0, reported = 0, faults = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto sweep = forEachAllocationFailure(c.prepare, c.action, [&](const AllocationFailure& f) {
        const Outcome o = c.observe();
        if (o == reference) {
            ++absorbed;
            return;
        }
        for (const Failure& documented : c.failures) {
            const bool matches = documented.result == kShortageShown.result
                                     ? shortageShown(o, reference)
                                     : o.result == documented.result && o.messages == documented.messages &&
                                           (documented.state == kAnyState ||
                                            o.state == (documented.state == kKept ? before : documented.state));
            if (matches && !f.escaped) {
                ++reported;
                return;
            }
        }
        if (++faults <= 3)
            ADD_FAILURE() << c.name << ": allocation " << f.index << " of "
                          << "the run failed" << (f.escaped ? " and std::bad_alloc escaped" : "") << "\n"
                          << o << "\nundisturbed:\n"
                          << reference;
    });
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(sweep.failuresDelivered, sweep.allocations) << c.name << ": a run did not reach its failing allocation";
    EXPECT_EQ(faults, 0u);
    std::printf("[ sweep    ] %-34s %5llu allocations: %5llu absorbed, %5llu reported, %llu faults, %lld ms\n",
                c.name.c_str(), static_cast<unsigned long long>(sweep.allocations),
                static_cast<unsigned long long>(absorbed), static_cast<unsigned long long>(reported),
                static_cast<unsigned long long>(faults), static_cast<long long>(ms.count()));
}

INSTANTIATE_TEST_SUITE_P(Everywhere, AllocationFailureSweep, ::testing::ValuesIn(sweepCases()),
                         [](const ::testing::TestParamInfo<SweepCase>& param) { return param.param.name; });

// The allocator itself: the chosen allocation fails once, in every form.
TEST(FailingAllocator, FailsTheChosenAllocationOnceInEveryForm)
{
    using namespace test_support;
    // Nothing of the test framework runs while a failure is armed, and the
    // operators are called by name with the block kept in a volatile: a
    // new-expression may be elided, and clang drops even a named pair whose
    // block goes nowhere.
    auto threw = [](auto allocate) {
        try {
            allocate();
            return false;
        } catch (const std::bad_alloc&) {
            return true;
        }
    };
    failAllocationAfter(1);
    void* first = ::operator new(4);
    const bool second = threw([] {
        void* volatile block = ::operator new[](16);
        ::operator delete[](block);
    });
    void* third = ::operator new[](16);
    disarmAllocationFailure();
    EXPECT_TRUE(second);
    EXPECT_TRUE(allocationFailureHappened());
    ::operator delete(first);
    ::operator delete[](third);

    failAllocationAfter(0);
    void* none = ::operator new[](12, std::nothrow);
    disarmAllocationFailure();
    EXPECT_EQ(none, nullptr);
    failAllocationAfter(0);
    const bool wideFailed = threw([] {
        void* volatile block = ::operator new (64, std::align_val_t{64});
        ::operator delete (block, std::align_val_t{64});
    });
    disarmAllocationFailure();
    EXPECT_TRUE(wideFailed);
    void* wide = ::operator new (64, std::align_val_t{64});
    EXPECT_EQ(reinterpret_cast<uintptr_t>(wide) % 64, 0u);
    ::operator delete (wide, std::align_val_t{64});

    const uint64_t mark = allocationCount();
    std::vector<int> v(10);
    std::string s(100, 'x');
    EXPECT_EQ(allocationsSince(mark), 2u);
}

}  // namespace
