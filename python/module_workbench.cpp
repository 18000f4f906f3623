// alphabet, synthesize and simulate: the headless workbench of quillmore-cli,
// started and set the way `run` and `simulate` start and set it, so that a
// series or a simulation here is the one the command line makes.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/console_host.h"
#include "detection/stepwise_protocol.h"
#include "module_common.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "shell/mouse_input.h"
#include "commands/simulation_share.h"
#include "synthesis/etalon_generation.h"
#include "commands/workbench_session.h"

namespace quillmore_py {

namespace {

struct Etalon {
    std::string letter;
    int32_t number = 0;
    int32_t energy = 0;
    py::array_t<int16_t> samples;
};

struct SeriesResult {
    int64_t length = 0;
    int32_t pulseLength = 0, tmin = 0, tmax = 0, pulses = 0, minPulses = 0, maxPulses = 0;
    int32_t noiseLevel = 0, amplitude = 0;
    py::array_t<int16_t> pure, observed;
    py::array_t<int32_t> positions, etalonSequence, cutFrom, cutTo, minPositions, maxPositions, foundPositions;
    py::list protocol;
    int32_t task = 0, seriesType = 0;
    py::list messages;
    py::dict streams;
};

struct SimulationResult {
    py::array_t<int16_t> pulseValues, noiseLevels;
    int32_t repeats = 0;
    py::array_t<int32_t> errors, matrices;
    py::object series = py::none();
    int32_t task = 0, seriesType = 0;
    unsigned threads = 1;
    py::list messages;
};

// The started workbench; torn down as the command line tears it down.
struct Workbench {
    shell::AppState state;
    commands::ConsoleHost host;
    Workbench() = default;
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;
    ~Workbench() { shell::onDestroy(state); }
};

// The random streams a caller may set, by the names Series.streams gives them.
struct StreamField {
    const char* name;
    int32_t synthesis::RandomStreams::*seed;
};
constexpr StreamField kStreams[] = {
    {"position", &synthesis::RandomStreams::positionSeed},
    {"cut_start", &synthesis::RandomStreams::cutStartSeed},
    {"cut_end", &synthesis::RandomStreams::cutEndSeed},
    {"count", &synthesis::RandomStreams::countSeed},
    {"first_fixed_gap", &synthesis::RandomStreams::firstFixedGapSeed},
    {"second_fixed_gap", &synthesis::RandomStreams::secondFixedGapSeed},
    {"noise", &synthesis::RandomStreams::noiseSeed},
};
constexpr const char* kLibraryRand = "library_rand";
constexpr int32_t kLargestSeed = 32767;

// Option words of the command line and the parameters that stand for them
// here, longest first so that no name is taken for the start of another.
constexpr std::pair<const char*, const char*> kParameterNames[] = {
    {"--series-type", "series_type"},
    {"--noise-steps", "noise_steps"},
    {"--noise-from", "noise_from"},
    {"--noise-incr", "noise_incr"},
    {"--threads", "threads"},
    {"--repeats", "repeats"},
    {"--etalons", "etalons"},
    {"--length", "length"},
    {"--pulses", "pulses"},
    {"--energy", "energy"},
    {"--method", "method"},
    {"--series", "series"},
    {"--noise", "noise"},
    {"--tmin", "tmin"},
    {"--tmax", "tmax"},
    {"--task", "task"},
    {"--from", "pulses_from"},
    {"--incr", "pulses_incr"},
    {"--to", "pulses_to"},
};

// The command line's refusal, worded with the names of this module's parameters.
std::string inParameterNames(std::string text)
{
    for (const auto& [option, parameter] : kParameterNames)
        for (size_t at = text.find(option); at != std::string::npos; at = text.find(option, at))
            text.replace(at, std::string(option).size(), parameter);
    return text;
}

// An etalon named by its number (1..20) or its letter ("a".."t").
int64_t etalonNumber(py::handle e)
{
    if (py::isinstance<py::str>(e)) {
        const std::string name = e.cast<std::string>();
        if (name.size() == 1 && name[0] >= 'a' && name[0] <= synthesis::etalonLetter(shell::kAlphabetCapacity))
            return name[0] - 'a' + 1;
        throw py::value_error("etalons: '" + name + "' is not an etalon letter a to t");
    }
    if (PyIndex_Check(e.ptr()) && !PyBool_Check(e.ptr()) && !py::isinstance<py::array>(e))
        return wholeNumber(e, "etalons");
    throw py::type_error("etalons must be etalon numbers (1 to 20) or letters (a to t); got " + describe(e));
}

// One keyword argument and the option word it stands for; None stands for
// no word.
struct Keyword {
    const char* option;
    std::optional<std::string> value;
    Keyword(const char* o, std::optional<std::string> v) : option(o), value(std::move(v)) {}
    // A whole number, checked for its kind here and for its range by the
    // option reader, which sees the caller's own digits.
    Keyword(const char* o, const OptionalIntArg& v, const char* name) : option(o)
    {
        if (v.none())
            return;
        wholeNumber(v.object, name);
        value = py::str(py::reinterpret_steal<py::object>(PyNumber_Index(v.object.ptr()))).cast<std::string>();
    }
};

// `etalons` as the value of --etalons: numbers joined by commas.
Keyword etalonsKeyword(py::handle etalons)
{
    if (etalons.is_none())
        return {"--etalons", std::optional<std::string>()};
    std::vector<int64_t> numbers;
    if (py::isinstance<py::str>(etalons) || PyIndex_Check(etalons.ptr()) || !py::isinstance<py::iterable>(etalons))
        numbers.push_back(etalonNumber(etalons));
    else
        for (py::handle e : py::iter(etalons))
            numbers.push_back(etalonNumber(e));
    std::string list;
    for (int64_t n : numbers) {
        if (!list.empty())
            list += ',';
        list += std::to_string(n);
    }
    return {"--etalons", list};
}

// The keyword arguments read, in their order, as the command line reads the
// option words of `run` (no `sim`) or `simulate`; a refusal is a ValueError
// worded with the parameters' names.
void parseKeywords(std::initializer_list<Keyword> keywords, commands::RunOptions& run, commands::SimulateOptions* sim)
{
    std::vector<std::string> words;
    for (const Keyword& k : keywords)
        if (k.value) {
            words.emplace_back(k.option);
            words.push_back(*k.value);
        }
    std::string error;
    if (!commands::parseRunOptions(words, run, sim, error))
        throw py::value_error(inParameterNames(error));
}

// Started as the window starts, then set as the options set it.
void startWorkbench(Workbench& w, const commands::RunOptions& options)
{
    if (!shell::onCreate(w.state, w.host)) {
        const std::string why = w.host.messages.empty()
                                    ? "the workbench could not start"
                                    : w.host.messages.back().caption + ": " + w.host.messages.back().text;
        throw std::runtime_error(why);
    }
    std::string error;
    if (!commands::applyRunOptions(w.state, w.host, options, error))
        throw py::value_error(inParameterNames(error));
}

void setStreams(shell::AppState& s, py::handle seedsArg)
{
    if (!py::isinstance<py::dict>(seedsArg))
        throw py::type_error("seeds must be a dict of stream names and seeds; got " + describe(seedsArg));
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(seedsArg)) {
        const std::string name = text(key, "seeds: a stream name");
        const int64_t seed = wholeNumber(value, ("seeds['" + name + "']").c_str());
        if (name == kLibraryRand) {
            if (seed < 0 || seed > UINT32_MAX)
                throw py::value_error("seeds['library_rand'] must be from 0 to 4294967295; got " +
                                      py::str(value).cast<std::string>());
            s.libraryRandState = static_cast<uint32_t>(seed);
            continue;
        }
        const auto field = std::find_if(std::begin(kStreams), std::end(kStreams),
                                        [&](const StreamField& f) { return name == f.name; });
        if (field == std::end(kStreams))
            throw py::value_error("seeds: no stream '" + name +
                                  "' (position, cut_start, cut_end, count, first_fixed_gap, second_fixed_gap, "
                                  "noise, library_rand)");
        if (seed < 0 || seed > kLargestSeed)
            throw py::value_error("seeds['" + name + "'] must be from 0 to 32767; got " +
                                  py::str(value).cast<std::string>());
        s.random.*(field->seed) = static_cast<int32_t>(seed);
    }
}

py::dict streamsOf(const shell::AppState& s)
{
    py::dict streams;
    for (const StreamField& f : kStreams)
        streams[f.name] = s.random.*(f.seed);
    streams[kLibraryRand] = s.libraryRandState;
    return streams;
}

py::list messagesOf(const std::vector<base::RecordedMessage>& messages, size_t from)
{
    py::list list;
    for (size_t i = from; i < messages.size(); ++i)
        list.append(py::make_tuple(messages[i].caption, messages[i].text));
    return list;
}

// A refusal of the workbench (its warning box) ends the call.
void raiseOnRefusal(const std::vector<base::RecordedMessage>& messages, size_t from)
{
    for (size_t i = from; i < messages.size(); ++i)
        if (messages[i].icon == base::MessageIcon::Warning)
            throw py::value_error(messages[i].caption + ": " + messages[i].text);
}

py::list protocolOf(const detection::StepwiseProtocol& p)
{
    py::list rows;
    for (int r = 0; r < p.wUsed; ++r)
        rows.append(py::cast(Row{p.lpMethod[r], detection::protocolMethodLabel(p.lpMethod[r]),
                                 firstOf<int32_t>(p.lpRowPositions[r], p.lpPulses[r]), p.lpMeasure[r], p.lpSquares[r],
                                 p.lpIterations[r]}));
    return rows;
}

SeriesResult seriesOf(const synthesis::SeriesHeader& h)
{
    const size_t K = h.wImpulseQuantity, N = h.dwSeriesSize;
    SeriesResult r;
    r.length = h.dwSeriesSize;
    r.pulseLength = h.wImpulseSize;
    r.tmin = h.wTmin;
    r.tmax = h.wTmax;
    r.pulses = h.wImpulseQuantity;
    r.minPulses = h.wMinPulses;
    r.maxPulses = h.wMaxPulses;
    r.noiseLevel = h.wNoiseLevel;
    r.amplitude = h.wAmplitude;
    r.pure = firstOf<int16_t>(h.lpPureData, N);
    r.observed = firstOf<int16_t>(h.lpSeriesData, N);
    r.positions = firstOf<int32_t>(h.lpPositions, K);
    r.etalonSequence = firstOf<int32_t>(h.lpEtalonSequence, K);
    r.cutFrom = firstOf<int32_t>(h.lpCutFrom, K);
    r.cutTo = firstOf<int32_t>(h.lpCutTo, K);
    r.minPositions = firstOf<int32_t>(h.lpMinPositions, K);
    r.maxPositions = firstOf<int32_t>(h.lpMaxPositions, K);
    r.foundPositions = firstOf<int32_t>(h.lpFoundPositions, h.wFoundPulses);
    return r;
}

// What Next makes in the result view: the next series, processed by the task.
SeriesResult nextSeries(Workbench& w)
{
    shell::AppState& s = w.state;
    const size_t first = w.host.messages.size();
    s.moreDetails = 0;
    shell::nextSeriesInResultView(s, w.host);
    commands::showProcessingResult(s);
    raiseOnRefusal(w.host.messages, first);
    if (!s.lpSeriesHeader)
        throw py::value_error(w.host.messages.size() > first ? w.host.messages.back().text : "no series was made");
    SeriesResult r = seriesOf(*s.lpSeriesHeader);
    if (s.lpStepwiseProtocol)
        r.protocol = protocolOf(*s.lpStepwiseProtocol);
    r.task = s.taskType;
    r.seriesType = s.seriesType;
    r.messages = messagesOf(w.host.messages, first);
    r.streams = streamsOf(s);
    return r;
}

using SeriesOrList = Arg<"Series | list[Series]">;

SeriesOrList synthesize(const OptionalIntArg& length, const OptionalIntArg& pulses, const OptionalIntArg& tmin,
                        const OptionalIntArg& tmax, const EtalonsArg& etalons, const OptionalIntArg& noise,
                        const OptionalIntArg& energy, const OptionalStrArg& task, const OptionalIntArg& method,
                        const OptionalIntArg& series, const SeedsArg& seeds)
{
    commands::RunOptions options;
    parseKeywords({{"--series-type", std::optional<std::string>(pulses.none() ? "unfixed" : "fixed")},
                   {"--task", optionalText(task.object, "task")},
                   etalonsKeyword(etalons.object),
                   {"--length", length, "length"},
                   {"--noise", noise, "noise"},
                   {"--pulses", pulses, "pulses"},
                   {"--tmin", tmin, "tmin"},
                   {"--tmax", tmax, "tmax"},
                   {"--energy", energy, "energy"},
                   {"--method", method, "method"},
                   {"--series", series, "series"}},
                  options, nullptr);

    Workbench w;
    startWorkbench(w, options);
    if (!seeds.none())
        setStreams(w.state, seeds.object);
    if (series.none())
        return {py::cast(nextSeries(w))};
    py::list made;
    for (long n = 0; n < options.series; ++n)
        made.append(py::cast(nextSeries(w)));
    return {made};
}

// The command's phases, as the window runs them: the computation alone
// without the GIL. Messages from `first` on are this run's.
std::unique_ptr<shell::SimulationRun> runSimulation(Workbench& w, StopWatch& watch, size_t first)
{
    std::unique_ptr<shell::SimulationRun> run = shell::prepareSimulation(w.state, w.host);
    if (!run) {
        raiseOnRefusal(w.host.messages, first);
        throw py::value_error(w.host.messages.size() > first ? w.host.messages.back().text
                                                             : "the simulation's parameters were refused");
    }
    run->options.progress = watch.callback();
    {
        py::gil_scoped_release release;
        shell::computeSimulation(*run);
    }
    shell::finishSimulation(w.state, w.host, *run);
    watch.raiseIfStopped();
    return run;
}

// The finished simulation's matrices and last series; messages from `first` on.
SimulationResult simulationOf(const detection::RestErrorHeader& h, const Workbench& w, unsigned threads, size_t first)
{
    SimulationResult r;
    const size_t pulses = h.wVariousPulses, levels = h.wNoiseLevels;
    r.pulseValues = firstOf<int16_t>(h.wPulseValues, pulses);
    r.noiseLevels = firstOf<int16_t>(h.lpNoiseLevel, levels);
    r.repeats = h.repeats;
    r.matrices = py::array_t<int32_t>({static_cast<py::ssize_t>(detection::kErrorMatrices),
                                       static_cast<py::ssize_t>(levels), static_cast<py::ssize_t>(pulses)});
    auto cells = r.matrices.mutable_unchecked<3>();
    for (int k = 0; k < detection::kErrorMatrices; ++k)
        for (size_t i = 0; i < levels; ++i)
            for (size_t j = 0; j < pulses; ++j)
                cells(k, i, j) = h.lpErrors[k][i][j];
    r.errors = r.matrices[py::int_(detection::kDetectionErrors)].cast<py::array_t<int32_t>>();
    if (w.state.lpSeriesHeader) {
        SeriesResult last = seriesOf(*w.state.lpSeriesHeader);
        last.task = h.wTask;
        last.seriesType = h.wSeriesType;
        last.streams = streamsOf(w.state);
        r.series = py::cast(std::move(last));
    }
    r.task = h.wTask;
    r.seriesType = h.wSeriesType;
    r.threads = threads;
    r.messages = messagesOf(w.host.messages, first);
    return r;
}

using OptionalSimulation = Arg<"Simulation | None">;

OptionalSimulation simulate(const OptionalStrArg& seriesType, const OptionalStrArg& task, const EtalonsArg& etalons,
                            const OptionalIntArg& length, const OptionalIntArg& tmin, const OptionalIntArg& tmax,
                            const OptionalIntArg& energy, const OptionalIntArg& pulsesFrom,
                            const OptionalIntArg& pulsesTo, const OptionalIntArg& pulsesIncr,
                            const OptionalIntArg& noiseFrom, const OptionalIntArg& noiseSteps,
                            const OptionalIntArg& noiseIncr, const OptionalIntArg& repeats,
                            const OptionalIntArg& threads, const ProgressArg& progressArg)
{
    commands::RunOptions options;
    commands::SimulateOptions sim;
    parseKeywords({{"--series-type", optionalText(seriesType.object, "series_type")},
                   {"--task", optionalText(task.object, "task")},
                   etalonsKeyword(etalons.object),
                   {"--length", length, "length"},
                   {"--tmin", tmin, "tmin"},
                   {"--tmax", tmax, "tmax"},
                   {"--energy", energy, "energy"},
                   {"--from", pulsesFrom, "pulses_from"},
                   {"--to", pulsesTo, "pulses_to"},
                   {"--incr", pulsesIncr, "pulses_incr"},
                   {"--noise-from", noiseFrom, "noise_from"},
                   {"--noise-steps", noiseSteps, "noise_steps"},
                   {"--noise-incr", noiseIncr, "noise_incr"},
                   {"--repeats", repeats, "repeats"},
                   {"--threads", threads, "threads"}},
                  options, &sim);
    py::object progress = callableOrNone(progressArg.object, "progress");

    Workbench w;
    startWorkbench(w, options);
    if (std::string error; !commands::checkSimulationRange(w.state, options, sim, error))
        throw py::value_error(inParameterNames(error));
    commands::answerSimulationDialogs(w.host, options, sim, w.state);
    w.state.simulationOptions.threads =
        commands::simulationThreads(sim.threads, commands::availableProcessors(), "quillmore");

    const size_t first = w.host.messages.size();
    StopWatch watch(std::move(progress));
    const std::unique_ptr<shell::SimulationRun> run = runSimulation(w, watch, first);
    if (run->cancelled)
        return {py::none()};
    raiseOnRefusal(w.host.messages, first);
    const detection::RestErrorHeader* h = w.state.lpRestErrorHeader.get();
    if (!h || !h->fReady)
        throw py::value_error(w.host.messages.size() > first ? w.host.messages.back().text
                                                             : "the simulation did not run");
    return {py::cast(simulationOf(*h, w, run->options.threads, first))};
}

std::vector<Etalon> alphabet()
{
    std::vector<Etalon> etalons;
    for (const synthesis::PulseHeader& e : workbenchAlphabet())
        etalons.push_back({std::string(1, synthesis::etalonLetter(e.wNumber)), e.wNumber, synthesis::etalonEnergy(e),
                           firstOf<int16_t>(e.lpData, e.wSize)});
    return etalons;
}

}  // namespace

void bindWorkbench(py::module_& m)
{
    py::class_<Etalon>(m, "Etalon",
                       "One etalon of the alphabet: its letter, number, energy (the sum of its squared "
                       "samples) and samples (numpy.int16).")
        .def_readonly("letter", &Etalon::letter)
        .def_readonly("number", &Etalon::number)
        .def_readonly("energy", &Etalon::energy)
        .def_readonly("samples", &Etalon::samples)
        .def("__repr__", [](const Etalon& e) {
            return "Etalon('" + e.letter + "', number=" + std::to_string(e.number) +
                   ", energy=" + std::to_string(e.energy) + ")";
        });

    py::class_<SeriesResult>(m, "Series", R"doc(A synthesized series and how it was made.

Attributes:
    length, pulse_length, tmin, tmax: samples N, pulse length L, least and
        greatest distance between neighbouring pulse starts.
    pulses, min_pulses, max_pulses: the pulse count and the counts the
        length admits.
    noise_level, amplitude: the noise deviation and the amplitude setting.
    pure, observed: numpy.int16, the placed pulses on a zero background, and
        the pure series plus noise (what estimation reads).
    positions: numpy.int32, the true start of each pulse.
    etalon_sequence: numpy.int32, the etalon number of each pulse.
    cut_from, cut_to: numpy.int32, the first and last etalon sample placed
        of each pulse (a cut-off pulse keeps part of its etalon).
    min_positions, max_positions: numpy.int32, the admissible starts.
    found_positions: numpy.int32, the starts the workbench's processing
        left in the series.
    protocol: list[Row], the rows of that processing.
    task, series_type: the workbench's task and series-type codes.
    messages: list of (caption, text) the workbench showed.
    streams: dict, the random streams after this series; pass it as seeds
        to go on from here.)doc")
        .def_readonly("length", &SeriesResult::length)
        .def_readonly("pulse_length", &SeriesResult::pulseLength)
        .def_readonly("tmin", &SeriesResult::tmin)
        .def_readonly("tmax", &SeriesResult::tmax)
        .def_readonly("pulses", &SeriesResult::pulses)
        .def_readonly("min_pulses", &SeriesResult::minPulses)
        .def_readonly("max_pulses", &SeriesResult::maxPulses)
        .def_readonly("noise_level", &SeriesResult::noiseLevel)
        .def_readonly("amplitude", &SeriesResult::amplitude)
        .def_readonly("pure", &SeriesResult::pure)
        .def_readonly("observed", &SeriesResult::observed)
        .def_readonly("positions", &SeriesResult::positions)
        .def_readonly("etalon_sequence", &SeriesResult::etalonSequence)
        .def_readonly("cut_from", &SeriesResult::cutFrom)
        .def_readonly("cut_to", &SeriesResult::cutTo)
        .def_readonly("min_positions", &SeriesResult::minPositions)
        .def_readonly("max_positions", &SeriesResult::maxPositions)
        .def_readonly("found_positions", &SeriesResult::foundPositions)
        .def_readonly("protocol", &SeriesResult::protocol)
        .def_readonly("task", &SeriesResult::task)
        .def_readonly("series_type", &SeriesResult::seriesType)
        .def_readonly("messages", &SeriesResult::messages)
        .def_readonly("streams", &SeriesResult::streams)
        .def("__repr__", [](const SeriesResult& s) {
            return "Series(" + std::to_string(s.length) + " samples, " + std::to_string(s.pulses) + " pulses, noise " +
                   std::to_string(s.noiseLevel) + ")";
        });

    py::class_<SimulationResult>(m, "Simulation", R"doc(The result of a statistical simulation.

Attributes:
    pulse_values: numpy.int16, the pulse counts simulated (columns).
    noise_levels: numpy.int16, the noise levels simulated (rows).
    repeats: series per cell.
    errors: numpy.int32 [noise level, pulse count], the detection errors:
        the squared position errors per pulse, summed over the series of a
        cell (in 1/128 of a squared sample, then divided by 128).
    matrices: numpy.int32 [6, noise level, pulse count], every error matrix
        of the record (errors is matrices[1]; the others stay 0).
    series: the last simulated Series.
    task, series_type: the workbench's codes of the simulation.
    threads: the threads it ran on.
    messages: list of (caption, text) the workbench showed.)doc")
        .def_readonly("pulse_values", &SimulationResult::pulseValues)
        .def_readonly("noise_levels", &SimulationResult::noiseLevels)
        .def_readonly("repeats", &SimulationResult::repeats)
        .def_readonly("errors", &SimulationResult::errors)
        .def_readonly("matrices", &SimulationResult::matrices)
        .def_readonly("series", &SimulationResult::series)
        .def_readonly("task", &SimulationResult::task)
        .def_readonly("series_type", &SimulationResult::seriesType)
        .def_readonly("threads", &SimulationResult::threads)
        .def_readonly("messages", &SimulationResult::messages)
        .def("__repr__", [](const SimulationResult& r) {
            return "Simulation(" + std::to_string(r.noiseLevels.size()) + " noise levels x " +
                   std::to_string(r.pulseValues.size()) + " pulse counts, " + std::to_string(r.repeats) + " repeats)";
        });

    m.def("alphabet", &alphabet, R"doc(The 20 etalons the workbench makes at its start (as quillmore-cli
alphabet prints them): a list of Etalon with letter "a".."t", number 1..20,
energy and samples (numpy.int16, 20 samples, amplitude 128).

Example::

    for e in quillmore.alphabet():
        print(e.letter, e.energy, e.samples[:5])
)doc");

    m.def("synthesize", &synthesize, py::arg("length") = py::none(), py::arg("pulses") = py::none(),
          py::arg("tmin") = py::none(), py::arg("tmax") = py::none(), py::arg("etalons") = py::none(),
          py::arg("noise") = py::none(), py::arg("energy") = py::none(), py::arg("task") = py::none(),
          py::arg("method") = py::none(), py::arg("series") = py::none(), py::arg("seeds") = py::none(),
          R"doc(A series as the workbench makes it: the same series quillmore-cli run
prints for the same settings. A parameter left at None keeps the
workbench's start value.

Parameters:
    length: series length N in samples, 1..32767 (start: 1200).
    pulses: the pulse count (fixed number of pulses; outside the counts the
        length admits it becomes their mean), or None for a count the
        workbench draws (unfixed number of pulses).
    tmin, tmax: least and greatest distance between neighbouring pulse
        starts, in samples (start: 40 and 181).
    etalons: an etalon number 1..20 or letter "a".."t", or a list of them
        (joint detection takes exactly one; start: 1).
    noise: noise level, the standard deviation in sample units, 0..10900
        (start: 25).
    energy: the share of a cut-off pulse's energy kept, in percent 0..100.
    task: "joint" (joint detection and estimation, the start), "detection"
        or "processing": how the workbench processes the series (and
        whether pulses draw from several etalons).
    method: the detection method of task "detection", 0, 1, 2 or 6.
    series: None for one Series; a count 1..100000 for a list of that many
        consecutive series (as run --series).
    seeds: a dict setting random streams before the first series:
        position, cut_start, cut_end, count, first_fixed_gap,
        second_fixed_gap, noise (0..32767) and library_rand; Series.streams
        gives them after a series.

Raises ValueError with the workbench's message for a refused parameter.

Example::

    s = quillmore.synthesize(length=1200, pulses=12, noise=25)
    s.observed, s.positions
)doc");

    m.def("simulate", &simulate, py::arg("series_type") = py::none(), py::arg("task") = py::none(),
          py::arg("etalons") = py::none(), py::arg("length") = py::none(), py::arg("tmin") = py::none(),
          py::arg("tmax") = py::none(), py::arg("energy") = py::none(), py::arg("pulses_from") = py::none(),
          py::arg("pulses_to") = py::none(), py::arg("pulses_incr") = py::none(), py::arg("noise_from") = py::none(),
          py::arg("noise_steps") = py::none(), py::arg("noise_incr") = py::none(), py::arg("repeats") = py::none(),
          py::arg("threads") = py::none(), py::arg("progress") = py::none(),
          R"doc(The statistical simulation ("Detection, Statistical Simulation"):
for every pulse count and noise level, `repeats` series synthesized and
estimated as the task does, the squared position errors accumulated. The
same matrices as quillmore-cli simulate for the same settings, on any number
of threads.

Parameters:
    series_type: "fixed" or "unfixed" number of pulses.
    task, etalons, length, tmin, tmax, energy: as synthesize.
    pulses_from, pulses_to, pulses_incr: the pulse counts A, A+I, ... B
        (1..31; default: the counts the length admits).
    noise_from, noise_steps, noise_incr: the noise levels S, S+D, ...
        (K of them).
    repeats: series per cell.
    threads: worker threads (default: OMP_NUM_THREADS, else
        SLURM_CPUS_PER_TASK, else every processor); the result does not
        depend on it.
    progress: called as progress(series_done, series_total) about ten times
        a second; returning False cancels the run, which then returns None.

Returns a Simulation. Raises ValueError with the workbench's message when
the grid is refused, KeyboardInterrupt on Ctrl-C (the run is cancelled).

Example::

    r = quillmore.simulate(pulses_from=6, pulses_to=8, noise_steps=3, repeats=5)
    r.errors  # one row per noise level, one column per pulse count
)doc");
}

}  // namespace quillmore_py
