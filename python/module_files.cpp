// read_series and prepare: the readers of a researcher's own files and the
// preparation quillmore-cli detect applies before detection.

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "detection/series_preparation.h"
#include "files/series_readers.h"
#include "module_common.h"

#include <pybind11/stl/filesystem.h>

namespace quillmore_py {

namespace {

struct SeriesFile {
    py::array_t<double> values;
    bool integral = false;
    py::object times = py::none();
    std::string timeName;
    double sampleRate = 0;
    std::string columnName;
    std::string source;
    int64_t insertedGaps = 0;
    std::string format;
};

struct Prepared {
    py::array_t<int64_t> samples;
    int64_t gaps = 0;
    double centre = 0;
    double trendMedian = 0;
    double scale = 1;
    bool scaled = false;
    int64_t largest = 0;
    std::vector<std::string> report;
};

files::SeriesFormat formatOf(const std::string& name)
{
    if (const auto format = files::seriesFormatNamed(name))
        return *format;
    throw py::value_error("format must be 'auto', 'text', 'npy', 'sound' or 'datafile'; got '" + name + "'");
}

SeriesFile readSeries(const std::filesystem::path& path, py::handle column, std::optional<int64_t> channel,
                      const std::string& format)
{
    files::SeriesReadOptions options;
    options.format = formatOf(format);
    if (!column.is_none())
        options.column = py::str(column).cast<std::string>();
    if (channel) {
        if (*channel < 1 || *channel > 65535)
            throw py::value_error("channel must be from 1 to 65535; got " + std::to_string(*channel));
        options.channel = static_cast<int32_t>(*channel);
    }
    const std::string name = path.string();
    std::error_code ec;
    if (name != "-" && !std::filesystem::exists(path, ec)) {
        const py::object missing =
            py::module_::import("builtins").attr("FileNotFoundError")(ENOENT, std::strerror(ENOENT), name);
        PyErr_SetObject(PyExc_FileNotFoundError, missing.ptr());
        throw py::error_already_set();
    }

    files::SeriesReadResult read;
    {
        py::gil_scoped_release release;
        read = files::readSeriesFile(name, options);
    }
    if (!read.ok)
        throw py::value_error(read.error);
    if (const std::string misfit = files::seriesChoiceRefusal(name, read.data, options, {"column", "channel", "="});
        !misfit.empty())
        throw py::value_error(misfit);
    SeriesFile f;
    f.values = toArray<double, double>(read.data.values);
    f.integral = read.data.integral;
    if (!read.data.times.empty())
        f.times = toArray<double, double>(read.data.times);
    f.timeName = read.data.timeName;
    f.sampleRate = read.data.sampleRate;
    f.columnName = read.data.columnName;
    f.source = read.data.source;
    f.insertedGaps = read.data.insertedGaps;
    f.format = files::seriesFormatName(read.data.format);
    return f;
}

Prepared prepare(const SamplesArg& x, const DetrendArg& detrend, const BoolArg& invert, const ScaleArg& scale,
                 const OptionalBoolArg& integral)
{
    const SeriesInput in = seriesInput(x.object, "x");
    const detection::PreparationOptions options = preparationOptions(detrend.object, invert.object, scale.object);
    const bool integralValues = integral.none() ? in.integral : flag(integral.object, "integral");

    detection::PreparedSeries prepared;
    std::string error;
    bool ok = false;
    {
        py::gil_scoped_release release;
        ok = detection::prepareSeries(std::span<const double>(in.values.data(), static_cast<size_t>(in.values.size())),
                                      integralValues, options, prepared, error);
    }
    if (!ok)
        throw py::value_error(error);
    Prepared p;
    p.samples = toArray<int64_t, int64_t>(prepared.samples);
    p.gaps = prepared.gaps;
    p.centre = prepared.centre;
    p.trendMedian = prepared.trendMedian;
    p.scale = prepared.scale;
    p.scaled = prepared.scaled;
    p.largest = prepared.largest;
    p.report = std::move(prepared.report);
    return p;
}

std::string typeName(py::handle v) { return Py_TYPE(v.ptr())->tp_name; }

// Read in place: int64, aligned, one sample after another.
bool readableInPlace(const py::array& a)
{
    const bool aligned = (a.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_) != 0;
    return py::isinstance<py::array_t<int64_t>>(a) && aligned &&
           (a.size() == 1 || a.strides(0) == static_cast<py::ssize_t>(sizeof(int64_t)));
}

}  // namespace

SeriesInput seriesInput(py::handle x, const char* name)
{
    SeriesInput in;
    if (py::isinstance<SeriesFile>(x)) {
        const SeriesFile& f = x.cast<const SeriesFile&>();
        in.values = f.values;
        in.integral = f.integral;
        in.times = f.times;
        in.sampleRate = f.sampleRate;
        return in;
    }
    const std::string notNumbers =
        std::string(name) + " must be an array of numbers (or a sequence NumPy turns into one); got ";
    if (x.is_none() || py::isinstance<py::str>(x) || py::isinstance<py::bytes>(x) || py::isinstance<py::dict>(x))
        throw py::type_error(notNumbers + typeName(x));
    // A masked array's samples under its mask are gaps, whatever they hold.
    // NumPy's objects are held to the end of the process: released at its
    // exit, after the interpreter, they would crash it.
    static const py::handle masked = py::module_::import("numpy.ma").release();
    py::object data = py::reinterpret_borrow<py::object>(x);
    py::object mask = py::none();
    if (py::isinstance(x, masked.attr("MaskedArray"))) {
        data = masked.attr("getdata")(x);
        mask = masked.attr("getmaskarray")(x);
    }
    const py::array a = py::array::ensure(data);
    if (!a)
        throw py::type_error(notNumbers + typeName(x));
    const char kind = a.dtype().kind();
    if (kind != 'i' && kind != 'u' && kind != 'f')
        throw py::type_error(std::string(name) + " must hold integers or floating-point numbers; got dtype " +
                             py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 1)
        throw py::value_error(std::string(name) + " must be one-dimensional; got an array of " +
                              std::to_string(a.ndim()) + " dimensions");
    if (a.size() == 0)
        throw py::value_error(std::string(name) + " is empty");
    in.integral = kind != 'f';
    if (mask.is_none()) {
        in.values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
        if (readableInPlace(a)) {
            in.source = a;
            in.inPlace = std::span<const int64_t>(static_cast<const int64_t*>(a.data()), static_cast<size_t>(a.size()));
        }
    } else {
        static const py::handle where = py::object(py::module_::import("numpy").attr("where")).release();
        in.values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(
            where(mask, py::float_(NAN), a.attr("astype")("float64")));
    }
    return in;
}

void bindFiles(py::module_& m)
{
    py::class_<SeriesFile>(m, "SeriesFile", R"doc(One series as a file holds it, before any preparation.

Attributes:
    values: numpy.float64, the samples in file order; NaN marks a gap.
    integral: every value came from integer storage (integer .npy, PCM
        sound, a text column of integers, the data file).
    times: numpy.float64 with one time per value (a time column, or frame /
        rate of a sound file), or None. A text table's time column is its
        first when another column is read and the first is headed by a time
        (time, t, s, ms, date, mjd, ...) or rises strictly; rows missing
        from its grid are inserted as NaN values with their times.
    time_name: the time column's header, or "s".
    sample_rate: frames per second of a sound or data file; 0 when unknown.
    column_name: the header of the chosen column, or its number.
    source: what was read, e.g. "column 2 (II) of 3, 108000 rows".
    inserted_gaps: the NaN values inserted where the time column skips rows.
    format: the format read: "text", "npy", "sound" or "datafile".)doc")
        .def_readonly("values", &SeriesFile::values)
        .def_readonly("integral", &SeriesFile::integral)
        .def_readonly("times", &SeriesFile::times)
        .def_readonly("time_name", &SeriesFile::timeName)
        .def_readonly("sample_rate", &SeriesFile::sampleRate)
        .def_readonly("column_name", &SeriesFile::columnName)
        .def_readonly("source", &SeriesFile::source)
        .def_readonly("inserted_gaps", &SeriesFile::insertedGaps)
        .def_readonly("format", &SeriesFile::format)
        .def("__repr__", [](const SeriesFile& f) { return "SeriesFile(" + f.source + ")"; });

    py::class_<Prepared>(m, "Prepared", R"doc(A series prepared for the exact programmes: sample i is
round(scale * sign * (x[i] - trend[i])), gaps filled with `centre`.

Attributes: samples (numpy.int64), gaps, centre, trend_median, scale,
scaled (False: integers kept as they were), largest (the largest magnitude)
and report (one line per step, as quillmore-cli detect prints them).)doc")
        .def_readonly("samples", &Prepared::samples)
        .def_readonly("gaps", &Prepared::gaps)
        .def_readonly("centre", &Prepared::centre)
        .def_readonly("trend_median", &Prepared::trendMedian)
        .def_readonly("scale", &Prepared::scale)
        .def_readonly("scaled", &Prepared::scaled)
        .def_readonly("largest", &Prepared::largest)
        .def_readonly("report", &Prepared::report)
        .def("__repr__", [](const Prepared& p) {
            return "Prepared(" + std::to_string(p.samples.size()) + " samples, scale " + std::to_string(p.scale) + ")";
        });

    m.def(
        "read_series",
        [](const std::filesystem::path& path, const ColumnArg& column, std::optional<int64_t> channel,
           const std::string& format) { return readSeries(path, column.object, channel, format); },
        py::arg("path"), py::arg("column") = py::none(), py::arg("channel") = py::none(), py::arg("format") = "auto",
        R"doc(Reads one series from a file, as quillmore-cli detect reads it.

Parameters:
    path: a CSV/TSV/whitespace text table, a NumPy .npy array, a sound file
        (WAV and what libsndfile reads) or the measurement data file (.dat).
    column: text: a header name or a 1-based index (default: the rightmost
        numeric column); .npy 2-D: a 1-based column (default: the last).
    channel: sound files: the 1-based channel; needed when the file has
        several. Refused for the other formats, as column is for sound.
    format: "auto" (by content, then extension), "text", "npy", "sound" or
        "datafile".

Returns a SeriesFile. Raises FileNotFoundError for a missing file and
ValueError with the reader's message (file, line and column, what was
wrong) for one it refuses.

Example::

    f = quillmore.read_series("ecg.csv", column="mV")
    x = quillmore.prepare(f, detrend=360).samples
)doc");

    m.def("prepare", &prepare, py::arg("x"), py::arg("detrend") = "median", py::arg("invert") = false,
          py::arg("scale") = py::none(), py::arg("integral") = py::none(),
          R"doc(Prepares a series as quillmore-cli detect prepares a file's values.

estimate, estimate_unknown and detect run this preparation themselves,
with the same keywords and defaults; prepare shows what it makes.

Parameters:
    x: a SeriesFile, or a one-dimensional array of integers or
        floating-point numbers; NaN and the masked samples of a numpy.ma
        array are gaps.
    detrend: "median" (the median of the whole series taken away), "none"
        or a window in samples (a moving median taken away).
    invert: dips become pulses.
    scale: None (floating-point data scaled so that the largest magnitude
        is 32767, integer data kept), "auto" (scaled either way) or a
        positive factor.
    integral: whether the values are integers as stored (default: from the
        SeriesFile, or the array's dtype).

Returns a Prepared. Its samples (numpy.int64) are what the estimators
read; handed back to them with detrend="none" they are read in place.
Raises TypeError for what is no array of numbers or a keyword of the wrong
kind, ValueError for a refused value or a series that cannot be prepared.

Example::

    p = quillmore.prepare(numpy.sin(numpy.arange(1000) / 30.0), detrend="none")
    p.scale, p.samples.max()
)doc");
}

}  // namespace quillmore_py
