// estimate, estimate_unknown and detect: the caller's series prepared,
// detected and measured as quillmore-cli detect prepares, detects and
// measures a file's values.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "detection/correlation_threshold.h"
#include "detection/layout_search.h"
#include "detection/pulse_measures.h"
#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "detection/significance.h"
#include "detection/stepwise_protocol.h"
#include "detection/task_codes.h"
#include "module_common.h"

namespace quillmore_py {

namespace {

// The samples the core reads: the caller's series prepared as detect
// prepares a file's values. A contiguous int64 array that the preparation
// leaves as it was is read where it lies.
struct Samples {
    SeriesInput input;                      // what the caller handed over
    detection::PreparationOptions options;  // the preparation keywords
    detection::PreparedSeries prepared;     // prepareSeries' result; its unscaled samples give the measures
    std::span<const int64_t> view;          // what the core reads: prepared.samples, or the caller's array
    bool converted = true;                  // the core reads a prepared copy, not the caller's array
};

// Prepares the samples and makes the refusals detect makes of a prepared
// series. Runs without the GIL.
bool prepareSamples(Samples& s, std::string& error)
{
    const std::span<const double> values(s.input.values.data(), static_cast<size_t>(s.input.values.size()));
    if (!detection::prepareSeries(values, s.input.integral, s.options, s.prepared, error))
        return false;
    if (std::string problem = detection::preparedSeriesProblem(s.prepared); !problem.empty()) {
        error = std::move(problem);
        return false;
    }
    s.view = s.prepared.samples;
    const std::span<const int64_t> own = s.input.inPlace;
    if (!own.empty() && std::equal(own.begin(), own.end(), s.prepared.samples.begin(), s.prepared.samples.end())) {
        s.view = own;
        s.converted = false;
        std::vector<int64_t>().swap(s.prepared.samples);
    }
    return true;
}

// Unsigned 64-bit values above the int64 range would wrap in the conversion.
void checkFitsInt64(const py::array& a, const char* name)
{
    if (a.dtype().kind() != 'u' || a.itemsize() < 8)
        return;
    const auto largest = a.attr("max")().attr("__int__")().cast<unsigned long long>();
    if (largest > static_cast<unsigned long long>(INT64_MAX))
        throw py::value_error(std::string(name) + " holds " + std::to_string(largest) +
                              ", beyond the 64-bit signed samples the core reads");
}

// An etalon by letter ("a".."t") or number (1..20), or the caller's samples.
std::vector<int64_t> templateOf(py::handle t)
{
    const auto& alphabet = workbenchAlphabet();
    auto etalon = [&](int64_t number) {
        const synthesis::PulseHeader& e = alphabet[static_cast<size_t>(number - 1)];
        return std::vector<int64_t>(e.lpData.begin(), e.lpData.begin() + e.wSize);
    };
    if (t.is_none())
        return {};
    const char* kinds = "template must be an etalon letter a to t, a number 1 to 20 or an array of samples";
    if (py::isinstance<py::str>(t)) {
        const std::string name = t.cast<std::string>();
        if (name.size() != 1 || name[0] < 'a' || name[0] >= static_cast<char>('a' + alphabet.size()))
            throw py::value_error(std::string(kinds) + "; got '" + name + "'");
        return etalon(name[0] - 'a' + 1);
    }
    if (PyIndex_Check(t.ptr()) && !py::isinstance<py::array>(t)) {
        const int64_t number = wholeNumber(t, "template");
        if (number < 1 || number > static_cast<int64_t>(alphabet.size()))
            throw py::value_error("template: an etalon number is 1 to 20; got " + py::str(t).cast<std::string>());
        return etalon(number);
    }
    if (PyFloat_Check(t.ptr()) || py::isinstance<py::bytes>(t) || py::isinstance<py::dict>(t))
        throw py::type_error(std::string(kinds) + "; got " + describe(t));
    const py::array a = py::array::ensure(t);
    if (!a)
        throw py::type_error(std::string(kinds) + "; got " + describe(t));
    const char kind = a.dtype().kind();
    if (kind != 'i' && kind != 'u' && kind != 'f')
        throw py::type_error("template must hold integers; got dtype " + py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 1)
        throw py::value_error("template must be one-dimensional; got an array of " + std::to_string(a.ndim()) +
                              " dimensions");
    if (a.size() == 0)
        throw py::value_error("template is empty");
    if (kind == 'f') {
        const auto values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
        std::vector<int64_t> samples;
        for (py::ssize_t i = 0; i < values.size(); ++i) {
            const double v = values.data()[i];
            if (!std::isfinite(v) || v != std::trunc(v) || std::fabs(v) > 2147483647.0)
                throw py::value_error(
                    "template samples must be whole numbers within 32 bits (scale the template "
                    "yourself); sample " +
                    std::to_string(i) + " is " + py::str(py::float_(v)).cast<std::string>());
            samples.push_back(static_cast<int64_t>(v));
        }
        return samples;
    }
    checkFitsInt64(a, "template");
    const auto ints = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(a);
    return std::vector<int64_t>(ints.data(), ints.data() + ints.size());
}

int32_t countArgument(py::handle v, const char* name)
{
    const int64_t value = wholeNumber(v, name);
    if (value < 1 || value > INT32_MAX)
        throw py::value_error(std::string(name) + " must be a whole number from 1 to 2147483647; got " +
                              py::str(v).cast<std::string>());
    return static_cast<int32_t>(value);
}

// What every mode needs besides the samples: the layout and the score, with
// the checks detect makes of its options.
detection::DetectionRequest requestOf(const IntArg& tmin, const IntArg& tmax, const OptionalIntArg& pulseLength,
                                      const TemplateArg& templ, const StrArg& scoreArg)
{
    detection::DetectionRequest r;
    r.Tmin = countArgument(tmin.object, "tmin");
    r.Tmax = countArgument(tmax.object, "tmax");
    if (r.Tmin > r.Tmax)
        throw py::value_error("tmin (" + std::to_string(r.Tmin) + ") is above tmax (" + std::to_string(r.Tmax) + ")");
    const std::string score = text(scoreArg.object, "score");
    if (score != "energy" && score != "correlation")
        throw py::value_error("score must be 'energy' or 'correlation'; got '" + score + "'");
    std::vector<int64_t> samples = templateOf(templ.object);
    if (score == "correlation" && samples.empty())
        throw py::value_error(
            "score='correlation' needs a template: an etalon letter or number, or an array of samples");
    // As on the command line, a template that window energies would pass
    // over is refused rather than taken for its length alone.
    if (score == "energy" && !samples.empty())
        throw py::value_error(
            "a template applies with score='correlation' only (with score='energy' give pulse_length)");
    if (pulseLength.none() && samples.empty())
        throw py::value_error("pulse_length is needed with score='energy'");
    r.L = pulseLength.none() ? static_cast<int32_t>(samples.size()) : countArgument(pulseLength.object, "pulse_length");
    if (score == "correlation") {
        if (r.L != static_cast<int64_t>(samples.size()))
            throw py::value_error("pulse_length " + std::to_string(r.L) + " differs from the template's " +
                                  std::to_string(samples.size()) + " samples");
        r.score = detection::ScoreKind::Correlation;
        r.templateSamples = std::move(samples);
    }
    return r;
}

// One found pulse as detect reports it (the JSON's pulses, the CSV's row).
struct PulseRow {
    int32_t pulse;      // 1, 2, ...
    int32_t start;      // first sample
    int32_t end;        // last sample: start + L - 1
    double centre;      // start + (L - 1) / 2
    double time;        // the time at start; NaN without times
    double centreTime;  // the time at the centre; NaN without times
    double amplitude;   // in the data's units
    int64_t score;      // the window score
    double snr;         // amplitude against the noise level sigma
};

struct DetectionResult {
    py::array_t<int32_t> positions;
    py::array_t<int64_t> pulseScores;
    py::array_t<PulseRow> pulses;
    py::object measure = py::none();
    py::list rows;
    std::vector<detection::CountScore> counts;
    int32_t fromCount = 0, toCount = 0;
    std::vector<detection::ThresholdPassSummary> passes;
    bool cancelled = false;
    py::object noiseLevel = py::none();
    bool noiseEstimated = false;
    py::object snrMin = py::none();         // blind detection on correlations: the S used (None for method 3)
    bool snrMinDefault = false;             // S is the default
    py::object scoredWindows = py::none();  // the windows the default counts
    double sigma = 0;
    std::vector<std::string> preparation;
    double scale = 1;
    bool converted = false;
    uintptr_t samplesAddress = 0;
    // The matched filter (correlation, count unknown).
    int32_t chosenCount = 0, plainCount = 0;
    double filterSigma = 0, templateNorm = 0;
    std::vector<double> rawNull;
    int32_t nullBlock = 0;
    py::object significance = py::none();
};

// What the surrogates and threads keywords ask for.
struct Judging {
    std::optional<int32_t> significance;
    uint64_t seed = 1;
    unsigned threads = 0;
};

Judging judgingOf(const OptionalIntArg& significance, const IntArg& seed, const OptionalIntArg& threads)
{
    Judging j;
    if (!significance.none())
        j.significance = countArgument(significance.object, "significance");
    const int64_t s = wholeNumber(seed.object, "seed");
    if (s < 0)
        throw py::value_error("seed must be a whole number from 0; got " + std::to_string(s));
    j.seed = static_cast<uint64_t>(s);
    if (!threads.none()) {
        const int64_t t = wholeNumber(threads.object, "threads");
        if (t < 1 || t > 1024)
            throw py::value_error("threads must be a whole number from 1 to 1024; got " + std::to_string(t));
        j.threads = static_cast<unsigned>(t);
    }
    return j;
}

// What detect reports of each found pulse: its ends and centre, the times
// there, and the amplitude and signal-to-noise ratio measured on the
// unscaled prepared samples. Runs without the GIL.
std::vector<PulseRow> pulseRows(const Samples& s, const detection::DetectionRequest& request,
                                const detection::DetectionOutcome& outcome, const std::vector<double>& times,
                                double& sigma)
{
    const std::vector<double>& y = s.prepared.unscaled;
    sigma = detection::robustNoiseSigma(y);
    const std::vector<double> shape =
        detection::unitPeakShape(y, outcome.positions, request.L, request.templateSamples);
    const std::vector<detection::PulseMeasure> measures =
        detection::measurePulses(y, outcome.positions, request.L, shape, sigma);
    std::vector<PulseRow> rows;
    rows.reserve(measures.size());
    for (size_t k = 0; k < measures.size(); ++k) {
        const detection::PulseMeasure& m = measures[k];
        rows.push_back({static_cast<int32_t>(k + 1), m.start, m.end, m.centre,
                        detection::timeAtSample(times, s.input.sampleRate, m.start),
                        detection::timeAtSample(times, s.input.sampleRate, m.centre), m.amplitude,
                        outcome.pulseScores[k], m.snr});
    }
    return rows;
}

Row rowOf(const detection::StageRow& r)
{
    return {r.method,
            detection::protocolMethodLabel(r.method),
            toArray<int32_t, int32_t>(r.positions),
            r.measure,
            r.squares,
            r.iterations};
}

// The Detection of an outcome on the prepared samples, with the pulses as
// detect reports them; the noise level and the significance are the
// caller's to set. Takes the outcome's vectors. Needs the GIL.
DetectionResult detectionResult(Samples& samples, detection::DetectionOutcome& outcome,
                                const std::vector<PulseRow>& pulses, double sigma)
{
    DetectionResult r;
    r.positions = toArray<int32_t, int32_t>(outcome.positions);
    r.pulseScores = toArray<int64_t, int64_t>(outcome.pulseScores);
    r.pulses = toArray<PulseRow, PulseRow>(pulses);
    if (!outcome.rows.empty())
        r.measure = py::int_(outcome.rows.back().measure);
    for (const detection::StageRow& row : outcome.rows)
        r.rows.append(py::cast(rowOf(row)));
    r.counts = std::move(outcome.counts);
    r.fromCount = outcome.fromCount;
    r.toCount = outcome.toCount;
    r.passes = std::move(outcome.passes);
    r.cancelled = outcome.cancelled;
    r.sigma = sigma;
    r.preparation = std::move(samples.prepared.report);
    r.scale = samples.prepared.scale;
    r.converted = samples.converted;
    r.samplesAddress = reinterpret_cast<uintptr_t>(samples.view.data());
    r.chosenCount = outcome.chosenCount;
    r.plainCount = outcome.plainCount;
    r.filterSigma = outcome.noiseSigma;
    r.templateNorm =
        outcome.correlationThreshold.ran ? outcome.correlationThreshold.templateNorm : outcome.templateNorm;
    r.rawNull = std::move(outcome.rawNull);
    r.nullBlock = outcome.nullBlock;
    return r;
}

DetectionResult run(py::handle x, const detection::PreparationOptions& preparation, detection::DetectionRequest request,
                    std::optional<int64_t> noise, py::object progress, const Judging& judging = {})
{
    request.seed = judging.seed;
    request.threads = judging.threads;
    Samples samples{seriesInput(x, "x"), preparation};
    const std::vector<double> times =
        samples.input.times.is_none() ? std::vector<double>() : samples.input.times.cast<std::vector<double>>();
    StopWatch watch(std::move(progress));
    request.progress = watch.callback();
    const bool needsNoise =
        request.mode == detection::DetectionMode::Blind && detection::takesNoiseLevel(request.method);
    if (noise && (*noise < 0 || *noise > 3037000499LL))
        throw py::value_error("noise must be a whole number from 0 to 3037000499; got " + std::to_string(*noise));
    if (noise && !needsNoise)
        throw py::value_error(detection::kNoiseLevelMethodsOnly);
    // Refused before the preparation, as detect refuses it before reading.
    if (request.snrMin &&
        !(request.mode == detection::DetectionMode::Blind && request.score == detection::ScoreKind::Correlation &&
          detection::takesSnrMin(request.method)))
        throw py::value_error(detection::kSnrMinMethodsOnly);

    detection::DetectionOutcome outcome;
    std::optional<detection::Significance> significance;
    std::vector<PulseRow> pulses;
    double sigma = 0;
    std::string error;
    bool ok = false;
    {
        py::gil_scoped_release release;
        ok = prepareSamples(samples, error);
        if (ok && needsNoise)
            request.noiseLevel = noise ? *noise : detection::estimateNoiseLevel(samples.view);
        ok = ok && detection::detectPulses(samples.view, request, outcome, error);
        if (ok)
            pulses = pulseRows(samples, request, outcome, times, sigma);
        if (ok && judging.significance && !outcome.cancelled) {
            detection::Significance judged;
            ok = detection::assessSignificance(samples.view, request, outcome, *judging.significance, judging.seed,
                                               judging.threads, request.progress, judged, error);
            if (ok)
                significance = judged;
        }
    }
    watch.raiseIfStopped();
    if (!ok)
        throw py::value_error(error);

    DetectionResult r = detectionResult(samples, outcome, pulses, sigma);
    if (needsNoise) {
        r.noiseLevel = py::int_(request.noiseLevel);
        r.noiseEstimated = !noise;
    }
    if (const detection::CorrelationThresholdSummary& c = outcome.correlationThreshold; c.ran) {
        if (c.snrMin > 0)
            r.snrMin = py::float_(c.snrMin);
        r.snrMinDefault = c.snrDefault;
        r.scoredWindows = py::int_(c.windows);
    }
    if (significance)
        r.significance = py::cast(*significance);
    return r;
}

// One number or a one-dimensional array of them (any sequence NumPy turns
// into one), as doubles; None is none. `integers` asks for whole numbers
// (an int or an integer dtype): a float is then a TypeError, as a bool is
// always.
std::vector<double> numbersOf(py::handle v, const char* name, bool integers)
{
    if (v.is_none())
        return {};
    const char* kinds = integers ? "an int or a sequence of ints" : "a number or a sequence of numbers";
    if (PyBool_Check(v.ptr()) || py::isinstance<py::str>(v) || py::isinstance<py::bytes>(v) ||
        py::isinstance<py::dict>(v))
        throw py::type_error(std::string(name) + " must be " + kinds + "; got " + describe(v));
    if (PyIndex_Check(v.ptr()) && !py::isinstance<py::array>(v))
        return {static_cast<double>(wholeNumber(v, name))};
    if (PyFloat_Check(v.ptr())) {
        if (integers)
            throw py::type_error(std::string(name) + " must be " + kinds + "; got " + describe(v));
        return {v.cast<double>()};
    }
    const py::array a = py::array::ensure(v);
    const char kind = a ? a.dtype().kind() : 'O';
    if (!a || (kind != 'i' && kind != 'u' && (integers || kind != 'f')))
        throw py::type_error(std::string(name) + " must be " + kinds + "; got " + describe(v));
    if (a.ndim() != 1 || a.size() == 0)
        throw py::value_error(std::string(name) + " must be one number or a one-dimensional, non-empty sequence");
    const auto values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
    return std::vector<double>(values.data(), values.data() + values.size());
}

// Whole numbers from 1 to 2147483647.
std::vector<int32_t> countsOf(py::handle v, const char* name)
{
    std::vector<int32_t> out;
    for (double d : numbersOf(v, name, true)) {
        if (!(d >= 1 && d <= INT32_MAX))
            throw py::value_error(std::string(name) + " must hold whole numbers from 1 to 2147483647; got " +
                                  py::str(py::float_(d)).cast<std::string>());
        out.push_back(static_cast<int32_t>(d));
    }
    return out;
}

// The layouts of search's keywords: one per period (with window), or one
// per tmin/tmax pair (a single value standing for every pair).
std::vector<detection::SearchPoint> searchLayoutsOf(const PeriodsArg& period, const OptionalFloatArg& window,
                                                    const WholesArg& tmin, const WholesArg& tmax)
{
    const std::vector<double> periods = numbersOf(period.object, "period", false);
    const std::vector<int32_t> lows = countsOf(tmin.object, "tmin"), highs = countsOf(tmax.object, "tmax");
    std::vector<detection::SearchPoint> layouts;
    std::string error;
    if (!periods.empty()) {
        if (!lows.empty() || !highs.empty())
            throw py::value_error(
                "period and tmin/tmax exclude each other: the layouts come from periods or are given");
        if (window.none())
            throw py::value_error("period needs window: Tmin = floor(P (1 - window)), Tmax = ceil(P (1 + window))");
        const py::handle w = window.object;
        if (PyBool_Check(w.ptr()) || !PyNumber_Check(w.ptr()) || PyComplex_Check(w.ptr()) ||
            py::isinstance<py::array>(w))
            throw py::type_error("window must be a float; got " + describe(w));
        const double F = py::float_(py::reinterpret_borrow<py::object>(w)).cast<double>();
        for (double P : periods) {
            detection::SearchPoint layout;
            if (!detection::periodLayout(P, F, layout, error))
                throw py::value_error(error);
            layouts.push_back(layout);
        }
        return layouts;
    }
    if (!window.none())
        throw py::value_error("window applies to period only");
    if (lows.empty() || highs.empty())
        throw py::value_error("the layouts are needed: period and window, or tmin and tmax");
    if (lows.size() != highs.size() && lows.size() != 1 && highs.size() != 1)
        throw py::value_error("tmin gives " + std::to_string(lows.size()) + " values and tmax " +
                              std::to_string(highs.size()) + ": give sequences of equal length, or one value for all");
    for (size_t i = 0; i < std::max(lows.size(), highs.size()); ++i) {
        detection::SearchPoint layout;
        layout.Tmin = lows[lows.size() == 1 ? 0 : i];
        layout.Tmax = highs[highs.size() == 1 ? 0 : i];
        if (layout.Tmin > layout.Tmax)
            throw py::value_error("tmin (" + std::to_string(layout.Tmin) + ") is above tmax (" +
                                  std::to_string(layout.Tmax) + ") in pair " + std::to_string(i + 1));
        layouts.push_back(layout);
    }
    return layouts;
}

// What search returns: the spectrum as arrays, one entry per grid point.
struct SearchResult {
    py::array_t<double> period;  // NaN where the layout was given as a pair
    py::array_t<int32_t> tmin, tmax, pulseLength, count;
    py::array_t<int64_t> score;
    py::array_t<double> snr, statistic;  // NaN where there is none
    std::vector<std::string> refusal;    // why a point did not run; empty when it ran
    int64_t bestIndex = -1;
    py::object best = py::none();
    py::object significance = py::none();
    bool cancelled = false;
};

// The spectrum's columns from the rows.
void fillSpectrum(const std::vector<detection::SearchRow>& rows, SearchResult& r)
{
    auto column = [&](auto field, auto type) {
        using T = decltype(type);
        std::vector<T> v;
        for (const detection::SearchRow& row : rows)
            v.push_back(static_cast<T>(field(row)));
        return toArray<T, T>(std::span<const T>(v));
    };
    auto value = [](double v) { return std::isfinite(v) ? v : std::nan(""); };
    r.period = column([](const detection::SearchRow& w) { return w.point.period; }, double{});
    r.tmin = column([](const detection::SearchRow& w) { return w.point.Tmin; }, int32_t{});
    r.tmax = column([](const detection::SearchRow& w) { return w.point.Tmax; }, int32_t{});
    r.pulseLength = column([](const detection::SearchRow& w) { return w.point.L; }, int32_t{});
    r.count = column([](const detection::SearchRow& w) { return w.count; }, int32_t{});
    r.score = column([](const detection::SearchRow& w) { return w.score; }, int64_t{});
    r.snr = column([&](const detection::SearchRow& w) { return value(w.snr); }, double{});
    r.statistic = column([&](const detection::SearchRow& w) { return value(w.statistic); }, double{});
    for (const detection::SearchRow& row : rows)
        r.refusal.push_back(row.refusal);
}

SearchResult runSearch(py::handle x, const detection::PreparationOptions& preparation, detection::SearchRequest request,
                       py::object progress, const Judging& judging)
{
    request.seed = judging.seed;
    request.threads = judging.threads;
    Samples samples{seriesInput(x, "x"), preparation};
    const std::vector<double> times =
        samples.input.times.is_none() ? std::vector<double>() : samples.input.times.cast<std::vector<double>>();
    StopWatch watch(std::move(progress));
    request.progress = watch.callback();
    detection::SearchOutcome outcome;
    std::optional<detection::Significance> significance;
    detection::DetectionRequest bestRequest;
    std::vector<PulseRow> pulses;
    double sigma = 0;
    std::string error;
    bool ok = false;
    {
        py::gil_scoped_release release;
        ok = prepareSamples(samples, error) && detection::searchLayouts(samples.view, request, outcome);
        if (ok && outcome.best < 0) {
            ok = false;
            error = "no point of the grid found a pulse";
            for (const detection::SearchRow& row : outcome.rows)
                if (!row.refusal.empty()) {
                    error = "no point of the grid could run; the first: " + row.refusal;
                    break;
                }
        }
        if (ok) {
            bestRequest = detection::searchPointRequest(request, static_cast<size_t>(outcome.best));
            pulses = pulseRows(samples, bestRequest, outcome.bestOutcome, times, sigma);
        }
        if (ok && judging.significance) {
            detection::Significance judged;
            ok = detection::assessSearchSignificance(samples.view, request, outcome, *judging.significance,
                                                     judging.seed, judging.threads, request.progress, judged, error);
            if (ok)
                significance = judged;
        }
    }
    watch.raiseIfStopped();
    SearchResult r;
    if (watch.stoppedByCaller()) {
        r.cancelled = true;
        return r;
    }
    if (!ok)
        throw py::value_error(error);
    fillSpectrum(outcome.rows, r);
    r.bestIndex = outcome.best;
    DetectionResult best = detectionResult(samples, outcome.bestOutcome, pulses, sigma);
    if (significance) {
        best.significance = py::cast(*significance);
        r.significance = best.significance;
    }
    r.best = py::cast(std::move(best));
    return r;
}

// The pulses as a pandas DataFrame, one row per pulse; pandas is imported
// here, at the first call, so that the module runs without it.
Arg<"pandas.DataFrame"> pulseFrame(const DetectionResult& r)
{
    py::module_ pandas;
    try {
        pandas = py::module_::import("pandas");
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_ImportError))
            throw;
        throw py::import_error(
            "Detection.to_frame needs pandas, which cannot be imported here (pip install pandas); the same table "
            "is Detection.pulses, a NumPy structured array");
    }
    return {pandas.attr("DataFrame")(r.pulses)};
}

const char* kRowDoc = R"doc(One stage of an estimation, as a row of the workbench's protocol.

Attributes: method (the protocol's code: 1 true positions, 2 the energy
programme, 3 the improvement passes, 4 the exhaustive search, 5 a ranked
count, 6 the threshold detection), label ("def", "pre", "est", "exh",
"fix", "pas"), positions (numpy.int32 starts, in samples), measure,
squares (the window energy the pulses capture) and iterations.)doc";

const char* kDetectionDoc = R"doc(What estimate, estimate_unknown or detect found.

Attributes:
    positions: numpy.int32, the pulse starts in increasing order (samples
        from 0); -1 for a pulse the stage could not place.
    pulse_scores: numpy.int64, the window score of each (energy or
        correlation, in squared sample units of the samples read).
    pulses: the found pulses as quillmore-cli detect reports them, a NumPy
        structured array with one record per pulse: pulse (1, 2, ...),
        start, end (start + L - 1), centre (start + (L - 1) / 2), time and
        centre_time (from a SeriesFile's times; NaN without), amplitude
        (in the data's units, measured on the prepared samples before
        scaling), score (as pulse_scores) and snr (amplitude against
        sigma).
    sigma: the noise level of the prepared samples before scaling, in the
        data's units (the median absolute deviation of neighbouring
        differences x 1.4826 / sqrt 2); noise_method says so in words.
    measure: the measure of the last stage, or None.
    rows: list[Row], every stage in order; the result is the last row's.
    counts: list[CountScore], for an unknown count the score of every
        admissible count (the sequential method's measures, or the
        pulse-count ranking's squares and noise per window).
    from_count, to_count: the counts the layout admits.
    passes: list[ThresholdPass], the passes of a threshold method.
    cancelled: progress answered False: the rows of a known count's
        finished stages are kept (the stopped stage's row is missing, the
        positions are the last kept row's); an unknown count keeps nothing.
    noise_level, noise_estimated: the sigma methods 1 and 6 used, and
        whether it was estimated from the series.
    snr_min, snr_min_default, scored_windows: blind detection on
        correlations (else None, False, None): the least signal-to-noise
        ratio S of the thresholds S x sigma x |h| (None for method 3, which
        takes none; |h| is template_norm), and whether it was the default
        (a false pulse in pure noise with probability 1 % at most over that
        many scored windows).
    preparation: the preparation's report, one line per step, as detect
        prints it.
    scale: the factor the samples were multiplied by (1.0 for integers
        kept as they were).
    converted: the core read a prepared copy; False when x is a contiguous
        int64 array the preparation left as it was (read in place).
    samples_address: where the samples the core read lie; equals
        x.ctypes.data when the array was read in place.

    chosen_count, plain_count: the matched filter (score="correlation",
        count unknown): the count chosen by excess and the count of
        greatest snr; 0 otherwise.
    filter_sigma, template_norm: the noise level of the prepared samples
        (in their units) and the template's norm the matched filter's snr
        is formed with; template_norm is |h| of blind detection on
        correlations too.
    raw_null, null_block: the null's snr per count before smoothing, and
        the block length of the null series.
    significance: a Significance when significance=N was given, else None.

Methods:
    to_frame(): the pulses as a pandas DataFrame (needs pandas).)doc";

const char* kSearchDoc = R"doc(What search found: the spectrum, one entry per grid point in grid order
(layout by layout, the pulse lengths of each in turn).

Attributes:
    period: numpy.float64, the period of each point (NaN where tmin/tmax
        were given).
    tmin, tmax, pulse_length: numpy.int32, the point's layout.
    count: numpy.int32, the chosen count (0 where the point did not run).
    score: numpy.int64, S, the summed window score of the chosen pulses.
    snr: numpy.float64, the matched filter's snr of the chosen count (NaN
        for score="energy" and where the point did not run).
    statistic: numpy.float64, what the best point is chosen by (NaN where
        the point did not run).
    refusal: list[str], why a point did not run (its layout admits no
        count, its pulse is longer than Tmax); "" where it ran.
    best_index: the best point's index.
    best: the best point's Detection, as estimate_unknown returns it.
    significance: a Significance when significance=N was given (null holds
        each surrogate's greatest statistic over the grid), else None.
    cancelled: progress answered False: nothing else is set.)doc";

}  // namespace

void bindDetection(py::module_& m)
{
    PYBIND11_NUMPY_DTYPE_EX(PulseRow, pulse, "pulse", start, "start", end, "end", centre, "centre", time, "time",
                            centreTime, "centre_time", amplitude, "amplitude", score, "score", snr, "snr");
    py::class_<Row>(m, "Row", kRowDoc)
        .def_readonly("method", &Row::method)
        .def_readonly("label", &Row::label)
        .def_readonly("positions", &Row::positions)
        .def_readonly("measure", &Row::measure)
        .def_readonly("squares", &Row::squares)
        .def_readonly("iterations", &Row::iterations)
        .def("__repr__", [](const Row& r) {
            return "Row(" + r.label + ", " + std::to_string(r.positions.size()) + " pulses, measure " +
                   std::to_string(r.measure) + ", squares " + std::to_string(r.squares) + ")";
        });

    py::class_<detection::CountScore>(m, "CountScore",
                                      "The score of one admissible pulse count. The sequential method fills "
                                      "programme_measure, improved_measure, passes and squares; the pulse-count "
                                      "ranking squares and noise_per_window; the matched filter (score="
                                      "'correlation', count unknown) chain_score (the best chain's summed "
                                      "correlation), snr, null_snr and excess = snr - null_snr, the criterion "
                                      "the count is chosen by (NaN where the count holds no chain).")
        .def_readonly("count", &detection::CountScore::count)
        .def_readonly("programme_measure", &detection::CountScore::programmeMeasure)
        .def_readonly("improved_measure", &detection::CountScore::improvedMeasure)
        .def_readonly("passes", &detection::CountScore::passes)
        .def_readonly("squares", &detection::CountScore::squares)
        .def_readonly("noise_per_window", &detection::CountScore::noisePerWindow)
        .def_readonly("chain_score", &detection::CountScore::chainScore)
        .def_readonly("snr", &detection::CountScore::snr)
        .def_readonly("null_snr", &detection::CountScore::nullSnr)
        .def_readonly("excess", &detection::CountScore::excess)
        .def("__repr__",
             [](const detection::CountScore& c) { return "CountScore(count=" + std::to_string(c.count) + ")"; });

    py::class_<detection::ThresholdPassSummary>(m, "ThresholdPass",
                                                "One pass of a threshold method: the threshold subtracted from "
                                                "every window score (energy or correlation), the pulses the pass "
                                                "found and, on correlations, the noise level sigma the threshold "
                                                "came from (0.0 otherwise).")
        .def_readonly("threshold", &detection::ThresholdPassSummary::threshold)
        .def_readonly("pulses", &detection::ThresholdPassSummary::detected)
        .def_readonly("sigma", &detection::ThresholdPassSummary::sigma)
        .def("__repr__", [](const detection::ThresholdPassSummary& p) {
            return "ThresholdPass(threshold=" + std::to_string(p.threshold) + ", pulses=" + std::to_string(p.detected) +
                   ")";
        });

    py::class_<detection::Significance>(
        m, "Significance",
        "How significant a detection is: the same detection on surrogate series made of blocks of the series drawn "
        "at random (the noise kept, the pulse train scattered). false_alarm_probability = (1 + reached) / "
        "(surrogates + 1), resolution = 1 / (surrogates + 1); statistic is the data's, null the surrogates' in "
        "order.")
        .def_readonly("surrogates", &detection::Significance::surrogates)
        .def_readonly("seed", &detection::Significance::seed)
        .def_readonly("block", &detection::Significance::block)
        .def_readonly("statistic", &detection::Significance::statistic)
        .def_readonly("null", &detection::Significance::null)
        .def_readonly("reached", &detection::Significance::reached)
        .def_readonly("false_alarm_probability", &detection::Significance::falseAlarm)
        .def_readonly("resolution", &detection::Significance::resolution)
        .def("__repr__", [](const detection::Significance& g) {
            return "Significance(false_alarm_probability=" + py::str(py::float_(g.falseAlarm)).cast<std::string>() +
                   ", surrogates=" + std::to_string(g.surrogates) + ")";
        });

    py::class_<DetectionResult>(m, "Detection", kDetectionDoc)
        .def_readonly("chosen_count", &DetectionResult::chosenCount)
        .def_readonly("plain_count", &DetectionResult::plainCount)
        .def_readonly("filter_sigma", &DetectionResult::filterSigma)
        .def_readonly("template_norm", &DetectionResult::templateNorm)
        .def_readonly("raw_null", &DetectionResult::rawNull)
        .def_readonly("null_block", &DetectionResult::nullBlock)
        .def_readonly("significance", &DetectionResult::significance)
        .def_readonly("positions", &DetectionResult::positions)
        .def_readonly("pulse_scores", &DetectionResult::pulseScores)
        .def_readonly("pulses", &DetectionResult::pulses)
        .def_readonly("sigma", &DetectionResult::sigma)
        .def_property_readonly_static("noise_method", [](const py::object&) { return detection::kNoiseEstimateMethod; })
        .def_readonly("measure", &DetectionResult::measure)
        .def_readonly("rows", &DetectionResult::rows)
        .def_readonly("counts", &DetectionResult::counts)
        .def_readonly("from_count", &DetectionResult::fromCount)
        .def_readonly("to_count", &DetectionResult::toCount)
        .def_readonly("passes", &DetectionResult::passes)
        .def_readonly("cancelled", &DetectionResult::cancelled)
        .def_readonly("noise_level", &DetectionResult::noiseLevel)
        .def_readonly("noise_estimated", &DetectionResult::noiseEstimated)
        .def_readonly("snr_min", &DetectionResult::snrMin)
        .def_readonly("snr_min_default", &DetectionResult::snrMinDefault)
        .def_readonly("scored_windows", &DetectionResult::scoredWindows)
        .def_readonly("preparation", &DetectionResult::preparation)
        .def_readonly("scale", &DetectionResult::scale)
        .def_readonly("converted", &DetectionResult::converted)
        .def_readonly("samples_address", &DetectionResult::samplesAddress)
        .def("to_frame", &pulseFrame,
             "The pulses as a pandas DataFrame: the columns of Detection.pulses (pulse, start, end, centre, time, "
             "centre_time, amplitude, score, snr), one row per pulse. Raises ImportError when pandas is missing.")
        .def("__repr__", [](const DetectionResult& r) {
            return "Detection(" + std::to_string(r.positions.size()) + " pulses, " + std::to_string(r.rows.size()) +
                   " stages)";
        });

    m.def(
        "estimate",
        [](const SamplesArg& x, const IntArg& pulses, const IntArg& tmin, const IntArg& tmax,
           const OptionalIntArg& pulseLength, const TemplateArg& templ, const StrArg& score,
           const ProgressArg& progress, const DetrendArg& detrend, const BoolArg& invert, const ScaleArg& scale,
           const OptionalIntArg& significance, const IntArg& seed, const OptionalIntArg& threads) {
            detection::DetectionRequest r = requestOf(tmin, tmax, pulseLength, templ, score);
            r.mode = detection::DetectionMode::KnownCount;
            r.pulses = countArgument(pulses.object, "pulses");
            const py::object watch = callableOrNone(progress.object, "progress");
            const detection::PreparationOptions preparation =
                preparationOptions(detrend.object, invert.object, scale.object);
            return run(x.object, preparation, std::move(r), std::nullopt, watch,
                       judgingOf(significance, seed, threads));
        },
        py::arg("x"), py::arg("pulses"), py::arg("tmin"), py::arg("tmax"), py::arg("pulse_length") = py::none(),
        py::arg("template") = py::none(), py::arg("score") = "energy", py::arg("progress") = py::none(), py::kw_only(),
        py::arg("detrend") = "median", py::arg("invert") = false, py::arg("scale") = py::none(),
        py::arg("significance") = py::none(), py::arg("seed") = 1, py::arg("threads") = py::none(),
        R"doc(Positions of a known number of pulses: the energy programme, the
improvement passes until the measure settles and, for up to 3 pulses (4 in
series shorter than 350 samples), the exhaustive search.

The series is prepared first as quillmore-cli detect prepares a file's
values, with the same defaults: the median taken away, gaps set to the
baseline, floating-point samples scaled to integers (largest magnitude
32767). The same samples and settings give the pulses detect finds, to the
last bit.

Parameters:
    x: the series: a SeriesFile (read_series; its integer storage and
        times are kept) or a one-dimensional array of integers or
        floating-point numbers; NaN and the masked samples of a numpy.ma
        array are gaps. A contiguous int64 array that the preparation
        leaves as it is (detrend="none", say) is read in place.
    pulses: the number of pulses, within the counts the layout admits.
    tmin, tmax: least and greatest distance between neighbouring pulse
        starts, in samples.
    pulse_length: the pulse length L in samples (default: the template's).
    template: an etalon letter "a".."t" or number 1..20, or an array of
        whole-number samples, for score="correlation" (L is then its length).
    score: "energy" (window energy) or "correlation" (with the template; the
        programme only).
    progress: called as progress(done, total) from every stage (the
        programme, the improvement passes, the exhaustive search), about
        ten times a second, first with done = 0 and last with done = total;
        the units are cells filled, scanned or multiplied. Returning False
        stops the detection: the rows of the stages that had finished are
        kept, the stopped stage's is missing and cancelled is True.
    detrend: "median" (the median of the whole series taken away), "none"
        (the samples as they are) or a window in samples (a moving median
        taken away).
    invert: dips become pulses.
    scale: None (floating-point samples scaled so that the largest
        magnitude is 32767, integers kept), "auto" (scaled either way) or a
        positive factor.
    significance: a number N of surrogate series to judge the detection
        against (Detection.significance); None: not judged.
    seed: of the surrogates (and of the matched filter's null series).
    threads: the threads the surrogates, the matched filter's null series
        and the sequential method's fits of the counts run on; None: every
        usable processor. The result is the same for any number.

Returns a Detection. Raises TypeError for an argument of the wrong kind
(x not an array of numbers, a count that is not an int), ValueError when
the series cannot be prepared or cannot hold the count or a value is
refused, KeyboardInterrupt on Ctrl-C in any stage.

Example::

    s = quillmore.synthesize(length=1200, pulses=10)
    found = quillmore.estimate(s.observed, pulses=10, tmin=40, tmax=181, pulse_length=20)
    found.pulses["amplitude"], found.positions
)doc");

    m.def(
        "estimate_unknown",
        [](const SamplesArg& x, const IntArg& tmin, const IntArg& tmax, const OptionalIntArg& pulseLength,
           const TemplateArg& templ, const StrArg& score, const ProgressArg& progress, const DetrendArg& detrend,
           const BoolArg& invert, const ScaleArg& scale, const IntArg& nullSeries, const OptionalIntArg& significance,
           const IntArg& seed, const OptionalIntArg& threads) {
            detection::DetectionRequest r = requestOf(tmin, tmax, pulseLength, templ, score);
            r.mode = detection::DetectionMode::SequentialMethod;
            r.nullSeries = countArgument(nullSeries.object, "null_series");
            if (r.nullSeries > 100000)
                throw py::value_error("null_series must be a whole number from 1 to 100000; got " +
                                      std::to_string(r.nullSeries));
            const py::object watch = callableOrNone(progress.object, "progress");
            const detection::PreparationOptions preparation =
                preparationOptions(detrend.object, invert.object, scale.object);
            return run(x.object, preparation, std::move(r), std::nullopt, watch,
                       judgingOf(significance, seed, threads));
        },
        py::arg("x"), py::arg("tmin"), py::arg("tmax"), py::arg("pulse_length") = py::none(),
        py::arg("template") = py::none(), py::arg("score") = "energy", py::arg("progress") = py::none(), py::kw_only(),
        py::arg("detrend") = "median", py::arg("invert") = false, py::arg("scale") = py::none(),
        py::arg("null_series") = 8, py::arg("significance") = py::none(), py::arg("seed") = 1,
        py::arg("threads") = py::none(),
        R"doc(Positions of an unknown number of pulses. With score="energy", the
sequential method: every admissible count fitted by the programme and
improved, the count with the best measure chosen. With
score="correlation" and a template, the matched filter: the best chain of
every admissible count from one programme, its snr = S / (sigma |h|
sqrt M), and the count chosen by excess = snr - null, the null being the
snr noise alone gives a chain of that count (null_series series made of
the residual's blocks, averaged over neighbouring counts); ties go to the
smallest count.

Parameters: as estimate, without pulses; the series is prepared as
estimate prepares it (detrend="median", invert=False, scale=None: detect's
defaults), and null_series (the matched filter's null series, 1 to
100000). progress hears the programme of every count, its chains and
every count's fit (or the null series), and returning False stops the
method with no count, row or position kept (cancelled is True). Returns a
Detection whose counts hold every count's figures. Raises
KeyboardInterrupt on Ctrl-C.

Example::

    found = quillmore.estimate_unknown(s.observed, tmin=40, tmax=181, pulse_length=20)
    print(len(found.positions))
)doc");

    m.def(
        "detect",
        [](const SamplesArg& x, const IntArg& methodArg, const IntArg& tmin, const IntArg& tmax,
           const OptionalIntArg& pulseLength, const TemplateArg& templ, const StrArg& score,
           const OptionalIntArg& noiseArg, const ProgressArg& progress, const DetrendArg& detrend,
           const BoolArg& invert, const ScaleArg& scale, const OptionalIntArg& significance, const IntArg& seed,
           const OptionalIntArg& threads, const OptionalRealArg& snrMin) {
            detection::DetectionRequest r = requestOf(tmin, tmax, pulseLength, templ, score);
            r.mode = detection::DetectionMode::Blind;
            const int64_t method = wholeNumber(methodArg.object, "method");
            if (method < detection::kPrimitiveMethod || method >= detection::kThresholdMethodCount)
                throw py::value_error("method must be 0 to 6; got " + py::str(methodArg.object).cast<std::string>());
            r.method = static_cast<int32_t>(method);
            r.snrMin = optionalReal(snrMin.object, "snr_min");
            if (r.snrMin && !(std::isfinite(*r.snrMin) && *r.snrMin > 0))
                throw py::value_error("snr_min must be a positive number; got " +
                                      py::str(snrMin.object).cast<std::string>());
            const std::optional<int64_t> noise = optionalWholeNumber(noiseArg.object, "noise");
            const py::object watch = callableOrNone(progress.object, "progress");
            const detection::PreparationOptions preparation =
                preparationOptions(detrend.object, invert.object, scale.object);
            return run(x.object, preparation, std::move(r), noise, watch, judgingOf(significance, seed, threads));
        },
        py::arg("x"), py::arg("method"), py::arg("tmin"), py::arg("tmax"), py::arg("pulse_length") = py::none(),
        py::arg("template") = py::none(), py::arg("score") = "energy", py::arg("noise") = py::none(),
        py::arg("progress") = py::none(), py::kw_only(), py::arg("detrend") = "median", py::arg("invert") = false,
        py::arg("scale") = py::none(), py::arg("significance") = py::none(), py::arg("seed") = 1,
        py::arg("threads") = py::none(), py::arg("snr_min") = py::none(),
        R"doc(Blind detection: the pulse-count ranking of every admissible count,
then threshold method 0..6 (5 needs noise-free samples and is refused)
chooses count and positions itself. With score="correlation" the window
correlations with the template, reduced by T = S x sigma x |h|, are linked
by the same chain programme, without the ranking: method 0 takes sigma
from the samples (as Detection.sigma estimates it, on the prepared
samples), 1 and 6 the noise level, 2 from the samples outside the
detections of the pass before (three passes), 3 takes T = 0, and 4 is
refused.

Parameters: as estimate_unknown (the same preparation, detect's
defaults), and
    method: the threshold method, 0 to 6.
    noise: methods 1 and 6: the noise level (standard deviation, in units
        of the prepared samples); default: estimated from the differences
        of neighbouring samples.
    progress: as estimate_unknown's, through the ranking and the threshold
        passes.
    snr_min: with score="correlation" and methods 0, 1, 2 and 6, the least
        signal-to-noise ratio S, a positive number; default: the level at
        which white Gaussian noise as long as x gives a false pulse with
        probability 1 % at most, Phi^-1(1 - 0.01 / n) for the n =
        max(1, N - L + 1) windows the series scores.

Returns a Detection with the ranking's counts (squares, noise per window),
the ranked rows, the passes and the detected pulses; on correlations no
counts, and snr_min, scored_windows and template_norm set.

Example::

    found = quillmore.detect(s.observed, method=2, tmin=40, tmax=181, pulse_length=20)
    found = quillmore.detect(s.observed, method=0, tmin=40, tmax=181, template="e", score="correlation")
)doc");

    py::class_<SearchResult>(m, "Search", kSearchDoc)
        .def_readonly("period", &SearchResult::period)
        .def_readonly("tmin", &SearchResult::tmin)
        .def_readonly("tmax", &SearchResult::tmax)
        .def_readonly("pulse_length", &SearchResult::pulseLength)
        .def_readonly("count", &SearchResult::count)
        .def_readonly("score", &SearchResult::score)
        .def_readonly("snr", &SearchResult::snr)
        .def_readonly("statistic", &SearchResult::statistic)
        .def_readonly("refusal", &SearchResult::refusal)
        .def_readonly("best_index", &SearchResult::bestIndex)
        .def_readonly("best", &SearchResult::best)
        .def_readonly("significance", &SearchResult::significance)
        .def_readonly("cancelled", &SearchResult::cancelled)
        .def("__repr__", [](const SearchResult& r) {
            return "Search(" + std::to_string(r.refusal.size()) + " grid points, best " + std::to_string(r.bestIndex) +
                   ")";
        });

    m.def(
        "search",
        [](const SamplesArg& x, const PeriodsArg& period, const OptionalFloatArg& window, const WholesArg& tmin,
           const WholesArg& tmax, const WholesArg& pulseLength, const TemplateArg& templ, const StrArg& scoreArg,
           const ProgressArg& progress, const DetrendArg& detrend, const BoolArg& invert, const ScaleArg& scale,
           const OptionalIntArg& threads, const OptionalIntArg& significance, const IntArg& seed) {
            const std::vector<detection::SearchPoint> layouts = searchLayoutsOf(period, window, tmin, tmax);
            const std::string score = text(scoreArg.object, "score");
            if (score != "energy" && score != "correlation")
                throw py::value_error("score must be 'energy' or 'correlation'; got '" + score + "'");
            detection::SearchRequest request;
            request.score = score == "energy" ? detection::ScoreKind::Energy : detection::ScoreKind::Correlation;
            request.templateSamples = templateOf(templ.object);
            std::vector<int32_t> lengths = countsOf(pulseLength.object, "pulse_length");
            if (score == "energy" && !request.templateSamples.empty())
                throw py::value_error(
                    "a template applies with score='correlation' only (with score='energy' give pulse_length)");
            if (!request.templateSamples.empty() && !lengths.empty())
                throw py::value_error(
                    "pulse_length: the pulse length is the template's; leave it out (without a template each "
                    "pulse length gets a box of its own)");
            if (request.templateSamples.empty() && lengths.empty())
                throw py::value_error("pulse_length is needed without a template");
            if (!request.templateSamples.empty())
                lengths = {static_cast<int32_t>(request.templateSamples.size())};
            std::string error;
            if (!detection::expandSearchGrid(layouts, lengths, request.grid, error))
                throw py::value_error(error);
            const py::object watch = callableOrNone(progress.object, "progress");
            const detection::PreparationOptions preparation =
                preparationOptions(detrend.object, invert.object, scale.object);
            return runSearch(x.object, preparation, std::move(request), watch, judgingOf(significance, seed, threads));
        },
        py::arg("x"), py::arg("period") = py::none(), py::arg("window") = py::none(), py::arg("tmin") = py::none(),
        py::arg("tmax") = py::none(), py::arg("pulse_length") = py::none(), py::arg("template") = py::none(),
        py::arg("score") = "correlation", py::arg("progress") = py::none(), py::kw_only(),
        py::arg("detrend") = "median", py::arg("invert") = false, py::arg("scale") = py::none(),
        py::arg("threads") = py::none(), py::arg("significance") = py::none(), py::arg("seed") = 1,
        R"doc(The count-unknown detection at every layout of a grid, as
quillmore-cli search runs it: each grid point (a layout and a pulse length)
is run exactly as estimate_unknown runs it with that layout, and the point
of greatest statistic wins (the chosen count's excess snr - null for the
matched filter, the standardised excess of the window energy over noise
for score="energy"; ties to the first point).

Parameters:
    x: the series, as estimate takes it; prepared as estimate prepares it.
    period, window: the layouts from periods: each period P (a number or
        a sequence, such as numpy.arange(500, 2500, 50); real numbers
        allowed) gives Tmin = floor(P (1 - window)) and Tmax =
        ceil(P (1 + window)), 0 < window < 1.
    tmin, tmax: or the layouts given: ints or sequences of ints paired in
        order, one value standing for every pair.
    pulse_length: an int or a sequence of ints, tried at every layout;
        without a template each gets a box of its own length. With a
        template the pulse length is the template's (leave it out).
    template: an etalon letter or number, or an array of samples.
    score: "correlation" (the matched filter, the default) or "energy"
        (the sequential method).
    progress: as estimate_unknown's, over the work of the whole grid.
    detrend, invert, scale: the preparation, as estimate's.
    threads: grid points run at once (each on one thread); None: every
        usable processor. The result is the same for any number.
    significance: N block surrogates of the series, each searched over
        the whole grid (each point with the data's null curve): the
        false-alarm probability of the best point with the look-elsewhere
        effect, (1 + #{surrogates whose greatest statistic over the grid
        reaches the best}) / (N + 1).
    seed: of the null series and the surrogates.

Returns a Search. Raises TypeError for an argument of the wrong kind,
ValueError for a refused value, a grid of more than 100000 points or a
grid where no point could run, KeyboardInterrupt on Ctrl-C.

Example::

    found = quillmore.search(x, period=numpy.arange(400, 800, 10), window=0.1,
                             pulse_length=[20, 30], invert=True)
    found.period[found.best_index], found.best.positions
)doc");
}

}  // namespace quillmore_py
