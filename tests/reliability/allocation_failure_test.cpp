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

template <class T>
void put(std::ostream& out, const std::vector<T>& v)
{
    out << '[';
    for (const T& x : v)
        out << +x << ' ';
    out << ']';
}
void put(std::ostream& out, const std::vector<double>& v)
{
    out << '[';
    for (double x : v)
        out << (std::isnan(x) ? std::string("nan") : std::to_string(x)) << ' ';
    out << ']';
}
template <class T>
void put(std::ostream& out, const std::vector<std::vector<T>>& v)
{
    for (const auto& row : v)
        put(out, row);
}

std::string dump(const synthesis::SeriesHeader& h)
{
    std::ostringstream o;
    o << h.dwSeriesCapacity << ' ' << h.dwSeriesSize << ' ' << h.wTmin << ' ' << h.wTmax << ' ' << h.wReserved << ' '
      << h.wImpulseSize << ' ' << h.wImpulseQuantity << ' ' << h.wMaxPulses << ' ' << h.wMinPulses << ' '
      << h.wNoiseLevel << ' ' << h.wAmplitude << ' ' << h.wPulsesListCapacity << ' ' << h.wPulsesListSize << ' '
      << h.wPulsesCapacity << ' ' << h.wFoundPulses << ' ' << h.wCutFrom << ' ' << h.wCutTo << ' ' << h.wFixedCount
      << ' ' << h.wFixedMode << ' ' << h.wFixedStart << ' ' << h.lpFirstEtalon << ' ' << h.lpPulsesList.size();
    for (const auto* v : {&h.lpPureData, &h.lpSeriesData, &h.lpPositions, &h.lpFoundPositions, &h.lpMinPositions,
                          &h.lpMaxPositions, &h.lpEtalonSequence, &h.lpReserved1, &h.lpCutFrom, &h.lpCutTo,
                          &h.lpReserved2, &h.lpReserved3, &h.lpFixedSequence})
        put(o, *v);
    for (const synthesis::PulseHeader* p : h.lpPulsesList)
        o << p << ' ';
    return o.str();
}
std::string dump(const synthesis::SeriesHeaderPtr& h) { return h ? dump(*h) : "none"; }

std::string dump(const detection::StepwiseProtocol& p)
{
    std::ostringstream o;
    o << p.wRows << ' ' << p.wUsed << ' ' << p.wWidth << ' ' << p.wAsked << ' ' << p.wSeriesType << ' ' << p.wTask;
    put(o, p.lpIterations);
    put(o, p.lpMeasure);
    put(o, p.lpSquares);
    put(o, p.lpRowPositions);
    put(o, p.lpPulses);
    put(o, p.lpMethod);
    return o.str();
}
std::string dump(const detection::StepwiseProtocolPtr& p) { return p ? dump(*p) : "none"; }

std::string dump(const detection::IntervalSetPtr& s)
{
    if (!s)
        return "none";
    std::ostringstream o;
    o << s->wCapacity << ' ' << s->wCount;
    put(o, s->lpStarts);
    put(o, s->lpEnds);
    return o.str();
}

std::string dump(const detection::PulseCountTablePtr& t)
{
    if (!t)
        return "none";
    std::ostringstream o;
    o << t->wCapacity << ' ' << t->wRows << ' ' << t->wConfiguredCount << ' ' << t->wMinCount << ' ' << t->wMaxCount;
    put(o, t->lpPulseCounts);
    put(o, t->lpSquares);
    put(o, t->lpNoisePerWindow);
    return o.str();
}

std::string dump(const detection::RestErrorHeaderPtr& h)
{
    if (!h)
        return "none";
    std::ostringstream o;
    o << h->wReservedPulses << ' ' << h->wVariousPulses << ' ' << h->wReservedLevels << ' ' << h->wNoiseLevels << ' '
      << h->repeats << ' ' << h->wLabelMark << ' ' << h->wSeriesType << ' ' << h->wTask << ' ' << h->fReady;
    put(o, h->wPulseValues);
    put(o, h->lpNoiseLevel);
    for (const auto& matrix : h->lpErrors)
        put(o, matrix);
    return o.str();
}

std::string dump(const detection::DetectionStudyPtr& s)
{
    if (!s)
        return "none";
    std::ostringstream o;
    o << s->dwCapacity << ' ' << s->dwSeriesSize << ' ' << s->wPulseCapacity << ' ' << s->wTruePulses << ' '
      << s->wMinPulses << ' ' << s->wMaxPulses << ' ' << s->wImpulseSize << ' ' << s->lPasses << ' '
      << s->lDetectionThreshold << ' ' << s->wTask << ' ' << s->wDetectionMethod;
    put(o, s->lpTruePositions);
    for (int k = 0; k < 3; ++k) {
        put(o, s->lpDetectedPositions[k]);
        put(o, s->lpDetectedEnergies[k]);
    }
    for (int k = 0; k < detection::omegaSetCount; ++k) {
        put(o, s->lpIntervalStarts[k]);
        put(o, s->lpIntervalEnds[k]);
    }
    put(o, s->lpEnergies);
    put(o, s->lpReducedEnergies);
    put(o, s->lpSpare);
    return o.str();
}

std::string dump(const views::PulseHeaderPtr& p)
{
    if (!p)
        return "none";
    std::ostringstream o;
    o << p->wAllocSize << ' ' << p->wSize << ' ' << p->wNumber;
    put(o, p->lpData);
    return o.str();
}

std::string dump(std::span<const synthesis::PulseHeader> alphabet)
{
    std::ostringstream o;
    for (const synthesis::PulseHeader& p : alphabet) {
        o << p.wAllocSize << ' ' << p.wSize << ' ' << p.wNumber;
        put(o, p.lpData);
    }
    return o.str();
}

std::string dump(const synthesis::RandomStreams& r)
{
    std::ostringstream o;
    o << r.etalonSeed << ' ' << r.positionSeed << ' ' << r.cutStartSeed << ' ' << r.cutEndSeed << ' ' << r.countSeed
      << ' ' << r.firstFixedGapSeed << ' ' << r.secondFixedGapSeed << ' ' << r.noiseSeed;
    return o.str();
}

std::string dump(const files::SeriesReadResult& r)
{
    std::ostringstream o;
    o << r.ok << ' ' << r.error << ' ' << r.data.integral << ' ' << r.data.sampleRate << ' ' << r.data.timeName << ' '
      << r.data.columnName << ' ' << r.data.source;
    put(o, r.data.values);
    put(o, r.data.times);
    return o.str();
}

std::string dump(const detection::DetectionOutcome& d)
{
    std::ostringstream o;
    put(o, d.positions);
    put(o, d.pulseScores);
    for (const auto& row : d.rows) {
        o << row.method << ' ' << row.measure << ' ' << row.squares << ' ' << row.iterations;
        put(o, row.positions);
    }
    for (const auto& c : d.counts)
        o << c.count << ' ' << c.programmeMeasure << ' ' << c.improvedMeasure << ' ' << c.passes << ' ' << c.squares
          << ' ' << c.noisePerWindow << ';';
    for (const auto& p : d.passes)
        o << p.threshold << ' ' << p.detected << ';';
    o << d.fromCount << ' ' << d.toCount << ' ' << d.cancelled;
    return o.str();
}

std::string dump(const detection::PreparedSeries& p)
{
    std::ostringstream o;
    put(o, p.samples);
    o << p.gaps << ' ' << p.centre << ' ' << p.trendMedian << ' ' << p.scale << ' ' << p.scaled << ' ' << p.largest;
    for (const auto& line : p.report)
        o << line << ';';
    return o.str();
}

std::string dump(const platform::Bitmap& b)
{
    std::ostringstream o;
    o << b.width << 'x' << b.height;
    put(o, b.pixels);
    return o.str();
}

// ---------------------------------------------------------------- the table

// Records the messages as the window shows them; what it allocates for that
// is not part of the call under test.
struct Recorder final : synthesis::MessageSink {
    std::vector<synthesis::RecordedMessage> messages;
    void messageBox(std::string_view text, std::string_view caption, synthesis::MessageIcon icon) override
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

std::vector<std::string> texts(const std::vector<synthesis::RecordedMessage>& messages)
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
        synthesis::MessageRecorder sink;
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
    std::string state = dump(r.series);
    state += '|';
    state += dump(r.protocol);
    if (r.table) {
        state += '|';
        state += dump(r.table);
    }
    if (r.study) {
        state += '|';
        state += dump(r.study);
    }
    std::ostringstream chain;
    put(chain, r.chain);
    return {std::to_string(r.result), texts(r.sink.messages), state + chain.str()};
}

// A series run on a copy of the bench series; the protocol of the callers
// (8 rows as wide as the series' pulse count) when asked for.
std::function<void(SeriesRun&)> onSeries(bool estimated, bool withProtocol = false, bool withTable = false,
                                         bool withStudy = false)
{
    return [=](SeriesRun& r) {
        r.series = estimated ? bench().estimated : bench().series;
        if (withProtocol)
            r.protocol = detection::getStepwiseProtocol(7, r.series.wMaxPulses, nullptr);
        if (withTable)
            r.table = detection::getPulseCountTable(kK, r.series.wMinPulses, r.series.wMaxPulses, nullptr);
        if (withStudy)
            r.study = detection::getDetectionStudy(r.series, nullptr);
        r.chain.assign(kN, 0);
    };
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
    std::function<std::string(synthesis::MessageSink&)> call;
};

SweepCase getterCase(std::string name, std::function<std::string(synthesis::MessageSink&)> call,
                     std::vector<Failure> failures)
{
    return makeCase<Getter>(
        std::move(name), [call](Getter& g) { g.call = call; }, [](Getter& g) { g.record = g.call(g.sink); },
        [](Getter& g) {
            return Outcome{g.record, texts(g.sink.messages), ""};
        },
        std::move(failures));
}

Failure none(std::vector<std::string> messages = {}) { return {"none", std::move(messages), kAnyState}; }

std::vector<uint8_t> npyBytes()
{
    std::string header = "{'descr': '<i2', 'fortran_order': False, 'shape': (6,), }";
    // Magic, version and length take 10 bytes; the header pads the whole to
    // a multiple of 64 and ends with a newline.
    header.resize(128 - 10 - 1, ' ');
    header += '\n';
    std::string bytes = std::string("\x93NUMPY\x01\x00", 8);
    bytes += static_cast<char>(header.size());
    bytes += '\0';
    bytes += header;
    for (int16_t v : {1, -2, 3, 400, 5, -6}) {
        bytes += static_cast<char>(v & 0xff);
        bytes += static_cast<char>((v >> 8) & 0xff);
    }
    return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> wavBytes()
{
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        b.push_back(v & 0xff);
        b.push_back(v >> 8);
    };
    auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    const std::vector<int16_t> samples{0, 100, -100, 2000, -3000, 7, 8, 9};
    tag("RIFF");
    u32(36 + 2 * static_cast<uint32_t>(samples.size()));
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    tag("data");
    u32(2 * static_cast<uint32_t>(samples.size()));
    for (int16_t s : samples)
        u16(static_cast<uint16_t>(s));
    return b;
}

struct ReaderRun {
    files::SeriesReadResult read;
    std::string threw;
};

SweepCase readerCase(std::string name, const std::string& file, std::function<files::SeriesReadResult()> call)
{
    // A reader refuses with a message naming what it read; running out of
    // memory is a refusal too.
    files::SeriesReadResult refused;
    refused.error = file + ": not enough memory to read it";
    return makeCase<ReaderRun>(
        std::move(name), [](ReaderRun&) {},
        [call](ReaderRun& r) {
            try {
                r.read = call();
            } catch (const std::bad_alloc&) {
                r.threw = kThrew;
            }
        },
        [](ReaderRun& r) {
            return Outcome{r.threw.empty() ? dump(r.read) : r.threw, {}, ""};
        },
        {{dump(refused), {}, kAnyState}});
}

struct CoreRun {
    std::string result;
    std::string threw;
};

// A function of the span core that says it throws std::bad_alloc.
SweepCase throwingCase(std::string name, std::function<std::string()> call)
{
    return makeCase<CoreRun>(
        std::move(name), [](CoreRun&) {},
        [call](CoreRun& r) {
            try {
                r.result = call();
            } catch (const std::bad_alloc&) {
                r.threw = kThrew;
            }
        },
        [](CoreRun& r) {
            return Outcome{r.threw.empty() ? r.result : r.threw, {}, ""};
        },
        {{kThrew, {}, kAnyState}});
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

std::vector<SweepCase> sweepCases()
{
    std::vector<SweepCase> cases;
    const std::string header = " getCutOffSeriesHeader ", ext = " getExtSeriesHeader ";

    // --- synthesis
    cases.push_back(getterCase("getCutOffSeriesHeaderNew",
                               [](synthesis::MessageSink& s) {
                                   return shown(synthesis::getCutOffSeriesHeader(s, 4, kL, kTmin, kTmax, kN, nullptr));
                               },
                               {none({"Нет памяти для newSeriesHeader!|" + header}),
                                none({"Нет памяти для newSeriesHeader->lpPureData!|" + ext}),
                                none({"Нет памяти для newSeriesHeader->lpPulsesList!|" + ext})}));
    cases.push_back(
        getterCase("getCutOffSeriesHeaderGrown",
                   [](synthesis::MessageSink& s) {
                       synthesis::SeriesHeaderPtr small =
                           untold([] { return std::make_unique<synthesis::SeriesHeader>(bench().series); });
                       return shown(synthesis::getCutOffSeriesHeader(s, 6, kL, kTmin, kTmax, 2 * kN, std::move(small)));
                   },
                   {none({"Нет памяти для newSeriesHeader->lpPureData!|" + ext}),
                    none({"Нет памяти для newSeriesHeader->lpPulsesList!|" + ext})}));
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
    cases.push_back(getterCase("getRequiredList",
                               [](synthesis::MessageSink& s) {
                                   const std::vector<uint16_t> list = synthesis::getRequiredList(s, 12);
                                   UncountedAllocations quiet;
                                   std::ostringstream o;
                                   put(o, list);
                                   return o.str();
                               },
                               {{"[]", {"Нет памяти для newList!| getRequiredList "}}}));
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
                synthesis::MessageRecorder ignored;
                synthesis::makeAlphabet(ignored, 128, 2, 4, a.alphabet, a.seed);
                a.seed = 123;
            },
            [](Alphabet& a) { a.result = synthesis::makeAlphabet(a.sink, 128, 6, kL, a.alphabet, a.seed); },
            [](Alphabet& a) {
                std::string state = dump(a.alphabet);
                return Outcome{std::to_string(a.result), texts(a.sink.messages), state};
            },
            {{"0", {"Предварительное освобождение памяти!|Отладка", "Не могу выделить память!|"}, kAnyState}}));
    }
    cases.push_back(
        getterCase("createPulseHeader",
                   [](synthesis::MessageSink& s) {
                       static const std::vector<int16_t> given{1, 2, 3};
                       return shown(views::createPulseHeader(s, 20, 3, given));
                   },
                   {none({"Нет памяти для newPulseHeader!|"}), none({"Нет памяти для newPulseHeader->lpData!|"})}));

    // --- records of detection
    cases.push_back(getterCase("getIntervalSetNew",
                               [](synthesis::MessageSink&) { return shown(detection::getIntervalSet(nullptr, 5)); },
                               {none()}));
    cases.push_back(getterCase("getIntervalSetGrown",
                               [](synthesis::MessageSink&) {
                                   detection::IntervalSetPtr set = untold([] {
                                       detection::IntervalSetPtr small = detection::getIntervalSet(nullptr, 2);
                                       detection::addInterval(small.get(), 3, 9);
                                       return small;
                                   });
                                   return shown(detection::getIntervalSet(std::move(set), 9));
                               },
                               {none()}));
    cases.push_back(getterCase("copyIntervalSet",
                               [](synthesis::MessageSink&) {
                                   static const detection::IntervalSetPtr source = [] {
                                       detection::IntervalSetPtr set = detection::getIntervalSet(nullptr, 6);
                                       detection::addInterval(set.get(), 3, 9);
                                       detection::addInterval(set.get(), 20, 29);
                                       return set;
                                   }();
                                   detection::IntervalSetPtr target =
                                       untold([] { return detection::getIntervalSet(nullptr, 2); });
                                   return shown(detection::copyIntervalSet(std::move(target), source.get()));
                               },
                               {none()}));
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
    cases.push_back(getterCase("getPulseCountTable",
                               [](synthesis::MessageSink&) {
                                   detection::PulseCountTablePtr t =
                                       untold([] { return detection::getPulseCountTable(3, 2, 3, nullptr); });
                                   return shown(detection::getPulseCountTable(4, 1, 7, std::move(t)));
                               },
                               {none()}));
    const std::string rest = " getRestErrHeader ";
    cases.push_back(getterCase("getRestErrHeader",
                               [](synthesis::MessageSink& s) {
                                   detection::RestErrorHeaderPtr h = untold([] {
                                       synthesis::MessageRecorder ignored;
                                       return detection::getRestErrHeader(ignored, 2, 2, 3, nullptr);
                                   });
                                   return shown(detection::getRestErrHeader(s, 3, 4, 5, std::move(h)));
                               },
                               {none({"Нет памяти для newRestErrorHeader!|" + rest}),
                                none({"Нет памяти для newRestErrorHeader->lpNoiseLevel!|" + rest}),
                                none({"Нет памяти для newRestErrorHeader->lpErrors!|" + rest}),
                                none({"Нет памяти для newRestErrorHeader->lpErrors[]!|" + rest})}));
    cases.push_back(getterCase("getStepwiseProtocol",
                               [](synthesis::MessageSink&) {
                                   detection::StepwiseProtocolPtr p =
                                       untold([] { return detection::getStepwiseProtocol(3, 2, nullptr); });
                                   return shown(detection::getStepwiseProtocol(7, 6, std::move(p)));
                               },
                               {none()}));
    cases.push_back(getterCase("getDetectionStudy",
                               [](synthesis::MessageSink&) {
                                   static const synthesis::SeriesHeader longer = [] {
                                       synthesis::SeriesHeader h = bench().series;
                                       h.dwSeriesSize = h.dwSeriesCapacity = 2 * kN;
                                       h.lpSeriesData.resize(2 * kN);
                                       h.wMaxPulses = 6;
                                       return h;
                                   }();
                                   detection::DetectionStudyPtr s =
                                       untold([] { return detection::getDetectionStudy(bench().series, nullptr); });
                                   return shown(detection::getDetectionStudy(longer, std::move(s)));
                               },
                               {none()}));

    // --- estimators on a series record
    const std::string failed = std::to_string(detection::kEstimateFailure);
    cases.push_back(makeCase<SeriesRun>(
        "estimateByEnergies", onSeries(false),
        [](SeriesRun& r) { r.result = detection::estimateByEnergies(r.sink, kTmin, kTmax, kL, kK, r.series); },
        seriesOutcome, {noMemory(failed, "ppDw"), noMemory(failed, "ppDw[m]")}));
    cases.push_back(makeCase<SeriesRun>(
        "improvePositions", onSeries(true),
        [](SeriesRun& r) { r.result = detection::improvePositions(r.sink, kTmin, kTmax, kL, kK, r.series); },
        seriesOutcome, {noMemory(failed, "ppSums"), noMemory(failed, "ppSums[]")}));
    cases.push_back(makeCase<SeriesRun>(
        "searchInIntervals", onSeries(true),
        [](SeriesRun& r) { r.result = detection::searchInIntervals(r.sink, kTmin, kTmax, kL, 3, r.series); },
        seriesOutcome, {noMemory(failed, "leftInIntervals")}));
    cases.push_back(makeCase<SeriesRun>("runFixedCaseEstimation", onSeries(false, true),
                                        [](SeriesRun& r) {
                                            r.result = detection::runFixedCaseEstimation(
                                                r.sink, r.series, r.protocol.get(), kTmin, kTmax, kL, 3, kN);
                                        },
                                        seriesOutcome, {kShortageShown}));
    cases.push_back(makeCase<SeriesRun>(
        "sequentialMethod", onSeries(false, true),
        [](SeriesRun& r) {
            r.result = detection::sequentialMethod(r.sink, kTmin, kTmax, true, r.protocol.get(), r.series);
        },
        seriesOutcome, {noMemory("-1", "measure"), noMemory("-1", "pulse_positions"), kShortageShown}));
    cases.push_back(makeCase<SeriesRun>("rankPulseCounts", onSeries(false, true, true),
                                        [](SeriesRun& r) {
                                            r.result = detection::rankPulseCounts(
                                                r.sink, kTmin, kTmax, true, r.protocol.get(), r.table.get(), r.series);
                                        },
                                        seriesOutcome, {noMemory("-1", "measure"), kShortageShown}));
    cases.push_back(makeCase<SeriesRun>("study01_UnFixedPulseDetection", onSeries(false, false, false, true),
                                        [](SeriesRun& r) {
                                            r.result = detection::study01_UnFixedPulseDetection(
                                                r.sink, kTmin, kTmax, r.chain, r.study.get(), r.series);
                                        },
                                        seriesOutcome, {noMemory("0", "indexes")}));
    cases.push_back(makeCase<SeriesRun>(
        "processSeriesChains", onSeries(false),
        [](SeriesRun& r) { r.result = detection::processSeriesChains(r.sink, kTmin, kTmax, r.series); }, seriesOutcome,
        {noMemory("0", "indexes")}));
    cases.push_back(makeCase<SeriesRun>("runUnfixedDetection", onSeries(false, true, true, true),
                                        [](SeriesRun& r) {
                                            r.result = detection::runUnfixedDetection(
                                                r.sink, kTmin, kTmax, false, r.chain, r.protocol.get(), r.table.get(),
                                                r.study.get(), r.series);
                                        },
                                        seriesOutcome, {kShortageShown}));
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
        for (uint16_t task : {8, 32}) {
            cases.push_back(makeCase<Simulation>(
                "statCutoffSpottingTask" + std::to_string(task),
                [](Simulation& s) {
                    synthesis::MessageRecorder ignored;
                    s.series = synthesis::getCutOffSeriesHeader(ignored, 4, kL, kTmin, kTmax, kN, nullptr);
                    s.header = detection::getRestErrHeader(ignored, 2, 2, 2, nullptr);
                    detection::initRestErrHeader(ignored, 2, 3, 1, 2, 0, 10, 2, s.header.get());
                },
                [task](Simulation& s) {
                    s.result = detection::statCutoffSpotting(s.sink, s.header.get(), bench().alphabet, 2, s.required, 1,
                                                             task, 100, 100, s.series, 128, s.noiseSeed, s.streams);
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

    // --- the span core for a researcher's own series
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

    // --- readers
    cases.push_back(readerCase("readSeriesText", "series.csv", [] {
        files::SeriesReadOptions o;
        return files::readSeriesText("time,value\n0,1.5\n1,2\n2,\n3,-4\n", "series.csv", o);
    }));
    cases.push_back(readerCase("readSeriesNpy", "series.npy", [] {
        const std::vector<uint8_t> bytes = untold(npyBytes);
        return files::readSeriesNpy(bytes, "series.npy", {});
    }));
    cases.push_back(readerCase("readSeriesSound", "series.wav", [] {
        const std::vector<uint8_t> bytes = untold(wavBytes);
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
    {
        // The window's data-file reader: what the host records is not part of
        // the call, and the series it fills is given.
        struct QuietHost final : platform::ScriptedHost {
            void messageBox(std::string_view text, std::string_view caption, synthesis::MessageIcon icon) override
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
        cases.push_back(makeCase<DataFileRead>(
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
            {{"0", {noBuffer}}, {"0", {facts, noBuffer}}}));
    }
    {
        struct Png {
            platform::Bitmap picture;
            std::string error;
            bool ok = false;
            std::string threw;
        };
        cases.push_back(makeCase<Png>(
            "decodePng", [](Png& p) { p.picture = platform::makeBitmap(2, 1, 0x123456); },
            [](Png& p) {
                static const std::vector<uint8_t> bytes = files::encodePng(platform::makeBitmap(3, 2, 0xa0b0c0));
                try {
                    p.ok = files::decodePng(bytes, p.picture, p.error);
                } catch (const std::bad_alloc&) {
                    p.threw = kThrew;
                }
            },
            [](Png& p) {
                return Outcome{p.threw.empty() ? std::to_string(p.ok) + p.error : p.threw, {}, dump(p.picture)};
            },
            {{"0out of memory", {}}}));
    }
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
    // operators are called by name: a new-expression may be elided.
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
    const bool second = threw([] { ::operator delete[](::operator new[](16)); });
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
    const bool wideFailed =
        threw([] { ::operator delete (::operator new (64, std::align_val_t{64}), std::align_val_t{64}); });
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
