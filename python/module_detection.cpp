// estimate, estimate_unknown and detect: detection::detectPulses on the
// caller's array, as quillmore-cli detect runs it on a prepared file.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "detection/stepwise_protocol.h"
#include "detection/task_codes.h"
#include "module_common.h"

namespace quillmore_py {

namespace {

// The samples the core reads. An int64 array laid out contiguously is read
// where it lies; everything else is converted once.
struct Samples {
    py::object keep;                // the array `view` reads: the caller's own, or its conversion
    std::span<const int64_t> view;  // filled once the samples are integers
    bool converted = false;         // the caller's array was not read in place
    py::array_t<double> floats;     // floating-point input, still to be scaled
    std::vector<int64_t> scaled;    // ... and scaled
    double scale = 1;               // the factor the scaling applied
};

std::string dtypeName(const py::array& a) { return py::str(a.dtype()).cast<std::string>(); }

bool readableInPlace(const py::array& a)
{
    const bool aligned = (a.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_) != 0;
    return py::isinstance<py::array_t<int64_t>>(a) && aligned &&
           (a.size() == 1 || a.strides(0) == static_cast<py::ssize_t>(sizeof(int64_t)));
}

py::array asArray(py::handle x, const char* name)
{
    py::array a = py::array::ensure(x);
    if (!a)
        throw py::type_error(std::string(name) + " must be an array of numbers (or a sequence NumPy turns into one)");
    if (a.ndim() != 1)
        throw py::value_error(std::string(name) + " must be one-dimensional; got an array of " +
                              std::to_string(a.ndim()) + " dimensions");
    if (a.size() == 0)
        throw py::value_error(std::string(name) + " is empty");
    return a;
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

Samples samplesOf(py::handle x)
{
    const py::array a = asArray(x, "x");
    Samples s;
    const char kind = a.dtype().kind();
    if (kind == 'i' || kind == 'u' || kind == 'b') {
        if (readableInPlace(a)) {
            s.keep = a;
        } else {
            checkFitsInt64(a, "x");
            s.keep = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(a);
            s.converted = true;
        }
        const auto ints = py::reinterpret_borrow<py::array>(s.keep);
        s.view = std::span<const int64_t>(static_cast<const int64_t*>(ints.data()), static_cast<size_t>(ints.size()));
        return s;
    }
    if (kind == 'f') {
        s.floats = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
        s.converted = true;
        return s;
    }
    throw py::type_error("x must hold integers or floating-point numbers; got dtype " + dtypeName(a));
}

// Floating-point samples become integers as detect makes them: no trend
// taken away, scaled so that the largest magnitude is 32767, NaN gaps filled
// with the median. Runs without the GIL.
bool scaleFloats(Samples& s, std::string& error)
{
    if (s.floats.size() == 0)
        return true;
    const std::span<const double> values(s.floats.data(), static_cast<size_t>(s.floats.size()));
    detection::PreparationOptions options;
    options.detrend = detection::Detrend::None;
    detection::PreparedSeries prepared;
    if (!detection::prepareSeries(values, false, options, prepared, error))
        return false;
    s.scaled = std::move(prepared.samples);
    s.scale = prepared.scale;
    s.view = s.scaled;
    return true;
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
    if (py::isinstance<py::str>(t)) {
        const std::string name = t.cast<std::string>();
        if (name.size() != 1 || name[0] < 'a' || name[0] >= static_cast<char>('a' + alphabet.size()))
            throw py::value_error(
                "template must be an etalon letter a to t, a number 1 to 20 or an array of "
                "samples; got '" +
                name + "'");
        return etalon(name[0] - 'a' + 1);
    }
    if (py::isinstance<py::int_>(t) && !py::isinstance<py::bool_>(t)) {
        const int64_t number = t.cast<int64_t>();
        if (number < 1 || number > static_cast<int64_t>(alphabet.size()))
            throw py::value_error("template: an etalon number is 1 to 20; got " + std::to_string(number));
        return etalon(number);
    }
    const py::array a = asArray(t, "template");
    const char kind = a.dtype().kind();
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
    if (kind != 'i' && kind != 'u' && kind != 'b')
        throw py::type_error("template must hold integers; got dtype " + dtypeName(a));
    checkFitsInt64(a, "template");
    const auto ints = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(a);
    return std::vector<int64_t>(ints.data(), ints.data() + ints.size());
}

int32_t countArgument(const char* name, int64_t value)
{
    if (value < 1 || value > INT32_MAX)
        throw py::value_error(std::string(name) + " must be a whole number from 1 to 2147483647; got " +
                              std::to_string(value));
    return static_cast<int32_t>(value);
}

// What every mode needs besides the samples: the layout and the score, with
// the checks detect makes of its options.
detection::DetectionRequest requestOf(int64_t tmin, int64_t tmax, std::optional<int64_t> pulseLength, py::handle templ,
                                      const std::string& score)
{
    detection::DetectionRequest r;
    r.Tmin = countArgument("tmin", tmin);
    r.Tmax = countArgument("tmax", tmax);
    if (r.Tmin > r.Tmax)
        throw py::value_error("tmin (" + std::to_string(r.Tmin) + ") is above tmax (" + std::to_string(r.Tmax) + ")");
    if (score != "energy" && score != "correlation")
        throw py::value_error("score must be 'energy' or 'correlation'; got '" + score + "'");
    std::vector<int64_t> samples = templateOf(templ);
    if (score == "correlation" && samples.empty())
        throw py::value_error(
            "score='correlation' needs a template: an etalon letter or number, or an array of samples");
    if (!pulseLength && samples.empty())
        throw py::value_error("pulse_length is needed with score='energy' (or a template whose length it takes)");
    r.L = pulseLength ? countArgument("pulse_length", *pulseLength) : static_cast<int32_t>(samples.size());
    if (score == "correlation") {
        if (r.L != static_cast<int64_t>(samples.size()))
            throw py::value_error("pulse_length " + std::to_string(r.L) + " differs from the template's " +
                                  std::to_string(samples.size()) + " samples");
        r.score = detection::ScoreKind::Correlation;
        r.templateSamples = std::move(samples);
    }
    return r;
}

struct DetectionResult {
    py::array_t<int32_t> positions;
    py::array_t<int64_t> pulseScores;
    py::object measure = py::none();
    py::list rows;
    std::vector<detection::CountScore> counts;
    int32_t fromCount = 0, toCount = 0;
    std::vector<detection::ThresholdPassSummary> passes;
    bool cancelled = false;
    py::object noiseLevel = py::none();
    bool noiseEstimated = false;
    double scale = 1;
    bool converted = false;
    uintptr_t samplesAddress = 0;
};

Row rowOf(const detection::StageRow& r)
{
    return {r.method,
            detection::protocolMethodLabel(r.method),
            toArray<int32_t, int32_t>(r.positions),
            r.measure,
            r.squares,
            r.iterations};
}

DetectionResult run(py::handle x, detection::DetectionRequest request, std::optional<int64_t> noise,
                    py::object progress)
{
    Samples samples = samplesOf(x);
    StopWatch watch(std::move(progress));
    request.progress = watch.callback();
    const bool needsNoise =
        request.mode == detection::DetectionMode::Blind && detection::takesNoiseLevel(request.method);
    if (noise && (*noise < 0 || *noise > 3037000499LL))
        throw py::value_error("noise must be a whole number from 0 to 3037000499; got " + std::to_string(*noise));

    detection::DetectionOutcome outcome;
    std::string error;
    bool ok = false;
    {
        py::gil_scoped_release release;
        ok = scaleFloats(samples, error);
        if (ok && needsNoise)
            request.noiseLevel = noise ? *noise : detection::estimateNoiseLevel(samples.view);
        ok = ok && detection::detectPulses(samples.view, request, outcome, error);
    }
    watch.raiseIfStopped();
    if (!ok)
        throw py::value_error(error);

    DetectionResult r;
    r.positions = toArray<int32_t, int32_t>(outcome.positions);
    r.pulseScores = toArray<int64_t, int64_t>(outcome.pulseScores);
    if (!outcome.rows.empty())
        r.measure = py::int_(outcome.rows.back().measure);
    for (const detection::StageRow& row : outcome.rows)
        r.rows.append(py::cast(rowOf(row)));
    r.counts = std::move(outcome.counts);
    r.fromCount = outcome.fromCount;
    r.toCount = outcome.toCount;
    r.passes = std::move(outcome.passes);
    r.cancelled = outcome.cancelled;
    if (needsNoise) {
        r.noiseLevel = py::int_(request.noiseLevel);
        r.noiseEstimated = !noise;
    }
    r.scale = samples.scale;
    r.converted = samples.converted;
    r.samplesAddress = reinterpret_cast<uintptr_t>(samples.view.data());
    return r;
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
    scale: the factor floating-point samples were multiplied by (1.0 for
        integers).
    converted: the array was converted once (not int64, or strided).
    samples_address: where the samples the core read lie; equals
        x.ctypes.data when the array was read in place.)doc";

}  // namespace

void bindDetection(py::module_& m)
{
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
                                      "ranking squares and noise_per_window.")
        .def_readonly("count", &detection::CountScore::count)
        .def_readonly("programme_measure", &detection::CountScore::programmeMeasure)
        .def_readonly("improved_measure", &detection::CountScore::improvedMeasure)
        .def_readonly("passes", &detection::CountScore::passes)
        .def_readonly("squares", &detection::CountScore::squares)
        .def_readonly("noise_per_window", &detection::CountScore::noisePerWindow)
        .def("__repr__",
             [](const detection::CountScore& c) { return "CountScore(count=" + std::to_string(c.count) + ")"; });

    py::class_<detection::ThresholdPassSummary>(m, "ThresholdPass",
                                                "One pass of a threshold method: the threshold subtracted from "
                                                "every window energy, and the pulses the pass found.")
        .def_readonly("threshold", &detection::ThresholdPassSummary::threshold)
        .def_readonly("pulses", &detection::ThresholdPassSummary::detected)
        .def("__repr__", [](const detection::ThresholdPassSummary& p) {
            return "ThresholdPass(threshold=" + std::to_string(p.threshold) + ", pulses=" + std::to_string(p.detected) +
                   ")";
        });

    py::class_<DetectionResult>(m, "Detection", kDetectionDoc)
        .def_readonly("positions", &DetectionResult::positions)
        .def_readonly("pulse_scores", &DetectionResult::pulseScores)
        .def_readonly("measure", &DetectionResult::measure)
        .def_readonly("rows", &DetectionResult::rows)
        .def_readonly("counts", &DetectionResult::counts)
        .def_readonly("from_count", &DetectionResult::fromCount)
        .def_readonly("to_count", &DetectionResult::toCount)
        .def_readonly("passes", &DetectionResult::passes)
        .def_readonly("cancelled", &DetectionResult::cancelled)
        .def_readonly("noise_level", &DetectionResult::noiseLevel)
        .def_readonly("noise_estimated", &DetectionResult::noiseEstimated)
        .def_readonly("scale", &DetectionResult::scale)
        .def_readonly("converted", &DetectionResult::converted)
        .def_readonly("samples_address", &DetectionResult::samplesAddress)
        .def("__repr__", [](const DetectionResult& r) {
            return "Detection(" + std::to_string(r.positions.size()) + " pulses, " + std::to_string(r.rows.size()) +
                   " stages)";
        });

    m.def(
        "estimate",
        [](py::handle x, int64_t pulses, int64_t tmin, int64_t tmax, std::optional<int64_t> pulseLength,
           py::handle templ, const std::string& score, py::object progress) {
            detection::DetectionRequest r = requestOf(tmin, tmax, pulseLength, templ, score);
            r.mode = detection::DetectionMode::KnownCount;
            r.pulses = countArgument("pulses", pulses);
            return run(x, std::move(r), std::nullopt, std::move(progress));
        },
        py::arg("x"), py::arg("pulses"), py::arg("tmin"), py::arg("tmax"), py::arg("pulse_length") = py::none(),
        py::arg("template") = py::none(), py::arg("score") = "energy", py::arg("progress") = py::none(),
        R"doc(Positions of a known number of pulses: the energy programme, the
improvement passes until the measure settles and, for up to 3 pulses (4 in
series shorter than 350 samples), the exhaustive search.

Parameters:
    x: the series, a one-dimensional array of samples (int64 contiguous is
        read in place; other integers are converted once to int64;
        floating-point samples are scaled so that the largest magnitude is
        32767, NaN gaps filled with the median, as quillmore-cli detect does).
    pulses: the number of pulses, within the counts the layout admits.
    tmin, tmax: least and greatest distance between neighbouring pulse
        starts, in samples.
    pulse_length: the pulse length L in samples (default: the template's).
    template: an etalon letter "a".."t" or number 1..20, or an array of
        whole-number samples; used by score="correlation", and for L.
    score: "energy" (window energy) or "correlation" (with the template; the
        programme only).
    progress: called as progress(done, total) from every stage (the
        programme, the improvement passes, the exhaustive search), about
        ten times a second, first with done = 0 and last with done = total;
        the units are cells filled, scanned or multiplied. Returning False
        stops the detection: the rows of the stages that had finished are
        kept, the stopped stage's is missing and cancelled is True.

Returns a Detection. Raises ValueError when the series cannot hold the
count or a parameter is refused, TypeError for an array of another kind,
KeyboardInterrupt on Ctrl-C in any stage.

Example::

    s = quillmore.synthesize(length=1200, pulses=10)
    found = quillmore.estimate(s.observed, pulses=10, tmin=40, tmax=181, pulse_length=20)
)doc");

    m.def(
        "estimate_unknown",
        [](py::handle x, int64_t tmin, int64_t tmax, std::optional<int64_t> pulseLength, py::handle templ,
           const std::string& score, py::object progress) {
            detection::DetectionRequest r = requestOf(tmin, tmax, pulseLength, templ, score);
            r.mode = detection::DetectionMode::SequentialMethod;
            return run(x, std::move(r), std::nullopt, std::move(progress));
        },
        py::arg("x"), py::arg("tmin"), py::arg("tmax"), py::arg("pulse_length") = py::none(),
        py::arg("template") = py::none(), py::arg("score") = "energy", py::arg("progress") = py::none(),
        R"doc(Positions of an unknown number of pulses by the sequential method:
every admissible count fitted by the programme and improved, the count with
the best measure chosen. Window energies only.

Parameters: as estimate, without pulses; progress hears the programme of
every count, its chains and every count's fit, and returning False stops the
method with no count, row or position kept (cancelled is True). Returns a
Detection whose counts hold every count's programme and improved measure.
Raises KeyboardInterrupt on Ctrl-C.

Example::

    found = quillmore.estimate_unknown(s.observed, tmin=40, tmax=181, pulse_length=20)
    print(len(found.positions))
)doc");

    m.def(
        "detect",
        [](py::handle x, int64_t method, int64_t tmin, int64_t tmax, std::optional<int64_t> pulseLength,
           py::handle templ, const std::string& score, std::optional<int64_t> noise, py::object progress) {
            detection::DetectionRequest r = requestOf(tmin, tmax, pulseLength, templ, score);
            r.mode = detection::DetectionMode::Blind;
            if (method < detection::kPrimitiveMethod || method >= detection::kThresholdMethodCount)
                throw py::value_error("method must be 0 to 6; got " + std::to_string(method));
            r.method = static_cast<int32_t>(method);
            return run(x, std::move(r), noise, std::move(progress));
        },
        py::arg("x"), py::arg("method"), py::arg("tmin"), py::arg("tmax"), py::arg("pulse_length") = py::none(),
        py::arg("template") = py::none(), py::arg("score") = "energy", py::arg("noise") = py::none(),
        py::arg("progress") = py::none(),
        R"doc(Blind detection: the pulse-count ranking of every admissible count,
then threshold method 0..6 (5 needs noise-free samples and is refused)
chooses count and positions itself.

Parameters: as estimate_unknown, and
    method: the threshold method, 0 to 6.
    noise: methods 1 and 6: the noise level (standard deviation, in sample
        units); default: estimated from the differences of neighbouring
        samples.
    progress: as estimate_unknown's, through the ranking and the threshold
        passes.

Returns a Detection with the ranking's counts (squares, noise per window),
the ranked rows, the passes and the detected pulses.

Example::

    found = quillmore.detect(s.observed, method=2, tmin=40, tmax=181, pulse_length=20)
)doc");
}

}  // namespace quillmore_py
