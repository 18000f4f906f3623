#pragma once
// What the parts of the quillmore module share: the stop watch that lets a
// long computation without the GIL notice Ctrl-C (and a progress function of
// the caller), the stage row both the workbench and the detection report,
// NumPy arrays made from the core's vectors, the readers of arguments (every
// one taken as it comes and checked here, so that a wrong kind is a
// TypeError naming the parameter), the series a caller hands the detection,
// and the binders of the three groups of functions.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "detection/progress.h"
#include "detection/series_preparation.h"
#include "shell/app_state.h"
#include "synthesis/pulse_records.h"

namespace py = pybind11;

namespace quillmore_py {

// Hands the core a progress callback that, now and then, takes the GIL for a
// moment to run the interpreter's signal handlers (a KeyboardInterrupt) and
// the caller's own progress function. Either one stops the computation: an
// exception is kept and raised by raiseIfStopped once the GIL is held again;
// a progress function that returns False stops it without an exception.
//
// The callback runs on the thread that released the GIL (the core calls it
// from the calling thread only), so its bookkeeping needs no lock.
class StopWatch {
  public:
    explicit StopWatch(py::object progress = py::none());
    StopWatch(const StopWatch&) = delete;
    StopWatch& operator=(const StopWatch&) = delete;

    // Refers to this watch: use it only while the watch lives, without the GIL.
    detection::ProgressCallback callback();

    // With the GIL: raises what stopped the computation, if it was an exception.
    void raiseIfStopped();
    // The caller's progress function answered False.
    bool stoppedByCaller() const { return stoppedByCaller_; }

  private:
    bool report(uint64_t done, uint64_t total);

    py::object progress_;
    std::unique_ptr<py::error_already_set> error_;
    bool stopped_ = false;
    bool stoppedByCaller_ = false;
    bool looked_ = false;
    std::chrono::steady_clock::time_point lastLook_{};
};

// One stage of an estimation as a protocol row shows it.
struct Row {
    int32_t method = 0;  // the protocol's method code
    std::string label;   // its three-letter label: "pre", "est", "exh", ...
    py::array_t<int32_t> positions;
    int64_t measure = 0;
    int64_t squares = 0;
    int32_t iterations = 0;
};

template <typename To, typename From>
py::array_t<To> toArray(std::span<const From> values)
{
    py::array_t<To> a(static_cast<py::ssize_t>(values.size()));
    To* out = a.mutable_data();
    for (size_t i = 0; i < values.size(); ++i)
        out[i] = static_cast<To>(values[i]);
    return a;
}

// The first n entries of a record's array (fewer when it holds fewer).
template <typename To, typename From>
py::array_t<To> firstOf(const std::vector<From>& values, size_t n)
{
    return toArray<To, From>(std::span<const From>(values.data(), std::min(n, values.size())));
}

// The name of a type as help() and the signature show it.
template <size_t N>
struct TypeName {
    char text[N];
    constexpr TypeName(const char (&name)[N])
    {
        for (size_t i = 0; i < N; ++i)
            text[i] = name[i];
    }
};

// An argument as the caller gave it, read by the function it goes to;
// `Name` is the type its signature shows. Taking every argument this way
// keeps pybind11's own refusal (its list of overloads) out of the messages:
// the readers below refuse with the parameter's name.
template <TypeName Name>
struct Arg {
    py::object object;
    bool none() const { return object.is_none(); }
};

using IntArg = Arg<"int">;
using OptionalIntArg = Arg<"int | None">;
using OptionalRealArg = Arg<"float | None">;
using BoolArg = Arg<"bool">;
using OptionalBoolArg = Arg<"bool | None">;
using StrArg = Arg<"str">;
using OptionalStrArg = Arg<"str | None">;
using SamplesArg = Arg<"SeriesFile | numpy.ndarray">;
using TemplateArg = Arg<"str | int | numpy.ndarray | None">;
using DetrendArg = Arg<"str | int">;
using ScaleArg = Arg<"float | str | None">;
using ProgressArg = Arg<"Callable[[int, int], bool | None] | None">;
using ColumnArg = Arg<"str | int | None">;
using EtalonsArg = Arg<"int | str | Sequence[int | str] | None">;
using SeedsArg = Arg<"dict[str, int] | None">;
using OptionalFloatArg = Arg<"float | None">;
using PeriodsArg = Arg<"float | Sequence[float] | numpy.ndarray | None">;
using WholesArg = Arg<"int | Sequence[int] | numpy.ndarray | None">;

// What a value is, for a TypeError: its type's name and its text, e.g.
// "float 202.0".
std::string describe(py::handle v);

// A whole number: an int or a NumPy integer, never a bool or a float
// (TypeError naming `name`). A value beyond 64 bits comes back as the
// nearer end of the int64 range, which every range check refuses; show
// the caller's own value with py::str.
int64_t wholeNumber(py::handle v, const char* name);
// The same for an optional one: None stays nothing.
std::optional<int64_t> optionalWholeNumber(py::handle v, const char* name);
// A real number (an int, a float or a NumPy number, never a bool), or
// nothing for None; TypeError naming `name` for anything else.
std::optional<double> optionalReal(py::handle v, const char* name);
// A str (TypeError naming `name` otherwise).
std::string text(py::handle v, const char* name);
std::optional<std::string> optionalText(py::handle v, const char* name);
// True or False (a Python or a NumPy bool); TypeError for anything else.
bool flag(py::handle v, const char* name);
// A callable or None.
py::object callableOrNone(py::handle v, const char* name);

// The preparation keywords of estimate, estimate_unknown, detect and
// prepare, with detect's defaults: detrend "median", "none" or a window of
// samples; invert; scale None, "auto" or a positive factor.
detection::PreparationOptions preparationOptions(py::handle detrend, py::handle invert, py::handle scale);

// A series as the caller hands it: a SeriesFile, or an array of numbers
// (any sequence NumPy turns into one; a numpy.ma array's masked samples
// and NaN are gaps). Refuses, naming `name`, what is no array of integers or
// floating-point numbers (TypeError: str, None, bool, complex, object
// arrays) and what is not one-dimensional or empty (ValueError).
struct SeriesInput {
    py::array_t<double> values;        // the samples as the preparation reads them, NaN at every gap
    bool integral = false;             // integers as given (an integer dtype, or the file's integer storage)
    py::object source = py::none();    // the int64 array `inPlace` points into, kept alive
    std::span<const int64_t> inPlace;  // the caller's own int64 samples when they can be read where they lie
    py::object times = py::none();     // a SeriesFile's time of each sample, or None
    double sampleRate = 0;             // a SeriesFile's frames per second, 0 when unknown
};
SeriesInput seriesInput(py::handle x, const char* name);

// The etalons as the workbench makes them at its start; made once.
const std::array<synthesis::PulseHeader, shell::kAlphabetCapacity>& workbenchAlphabet();

void bindWorkbench(py::module_& m);
void bindDetection(py::module_& m);
void bindFiles(py::module_& m);

}  // namespace quillmore_py

namespace pybind11::detail {

// Any object is taken (its reader refuses it); the name shows in help().
template <quillmore_py::TypeName Name>
struct type_caster<quillmore_py::Arg<Name>> {
    PYBIND11_TYPE_CASTER(quillmore_py::Arg<Name>, const_name(Name.text));
    bool load(handle src, bool)
    {
        value.object = reinterpret_borrow<object>(src);
        return true;
    }
    static handle cast(const quillmore_py::Arg<Name>& v, return_value_policy, handle) { return v.object.inc_ref(); }
};

}  // namespace pybind11::detail
