#pragma once
// What the parts of the quillmore module share: the stop watch that lets a
// long computation without the GIL notice Ctrl-C (and a progress function of
// the caller), the stage row both the workbench and the detection report,
// NumPy arrays made from the core's vectors, and the binders of the three
// groups of functions.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "detection/progress.h"
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

// The etalons as the workbench makes them at its start; made once.
const std::array<synthesis::PulseHeader, shell::kAlphabetCapacity>& workbenchAlphabet();

void bindWorkbench(py::module_& m);
void bindDetection(py::module_& m);
void bindFiles(py::module_& m);

}  // namespace quillmore_py
