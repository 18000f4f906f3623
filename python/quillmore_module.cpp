// quillmore: the workbench's exact core on NumPy arrays. The functions wire
// the same calls quillmore-cli makes (the headless workbench for synthesis and
// simulation, the span core for detection, the readers of own data); what
// they compute is the core's, to the last bit.

#include <stdexcept>

#include "module_common.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/random_streams.h"

namespace quillmore_py {

namespace {

// Often enough that Ctrl-C answers at once, seldom enough that taking the
// GIL costs nothing measurable.
constexpr std::chrono::milliseconds kLookEvery{100};

}  // namespace

StopWatch::StopWatch(py::object progress) : progress_(std::move(progress)) {}

detection::ProgressCallback StopWatch::callback()
{
    return [this](uint64_t done, uint64_t total) { return report(done, total); };
}

bool StopWatch::report(uint64_t done, uint64_t total)
{
    if (stopped_)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (looked_ && done < total && now - lastLook_ < kLookEvery)
        return true;
    looked_ = true;
    lastLook_ = now;

    py::gil_scoped_acquire gil;
    try {
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();
        if (!progress_.is_none()) {
            const py::object answer = progress_(done, total);
            const int truth = answer.is_none() ? 1 : PyObject_IsTrue(answer.ptr());
            if (truth < 0)
                throw py::error_already_set();
            if (truth == 0) {
                stoppedByCaller_ = true;
                stopped_ = true;
                return false;
            }
        }
    } catch (py::error_already_set& e) {
        error_ = std::make_unique<py::error_already_set>(std::move(e));
        stopped_ = true;
        return false;
    }
    return true;
}

void StopWatch::raiseIfStopped()
{
    if (!error_)
        return;
    py::error_already_set e(std::move(*error_));
    error_.reset();
    throw e;
}

const std::array<synthesis::PulseHeader, shell::kAlphabetCapacity>& workbenchAlphabet()
{
    static const std::array<synthesis::PulseHeader, shell::kAlphabetCapacity> alphabet = [] {
        const shell::AppState start;
        std::array<synthesis::PulseHeader, shell::kAlphabetCapacity> etalons{};
        base::MessageRecorder messages;
        synthesis::RandomStreams streams;
        if (!synthesis::makeAlphabet(messages, start.amplitude, start.etalonCount, start.etalonLength, etalons,
                                     streams.etalonSeed))
            throw std::runtime_error("the alphabet could not be made: " + (messages.messages.empty()
                                                                               ? std::string("out of memory")
                                                                               : messages.messages.front().text));
        return etalons;
    }();
    return alphabet;
}

}  // namespace quillmore_py

PYBIND11_MODULE(quillmore, m)
{
    m.doc() = R"doc(The Quillmore workbench's exact core on NumPy arrays.

Pulses of known shapes in noisy one-dimensional series: synthesize series as
the workbench does, estimate the positions of a known or unknown number of
pulses with the exact programmes, detect them blindly, run the statistical
simulation, and read your own series from files. Every result equals what
quillmore-cli prints for the same settings.

When the layout is not known, search runs the count-unknown detection at
every layout of a grid of periods (or Tmin/Tmax pairs) and pulse lengths, as
``quillmore-cli search`` does, and judges the best one with the
look-elsewhere effect.

Series: estimate, estimate_unknown, detect and search prepare a series as
``quillmore-cli detect`` prepares a file's values, with the same keywords and
defaults (detrend="median", invert=False, scale=None: floating-point
samples scaled to a largest magnitude of 32767, integers kept); NaN and
masked samples are gaps. A contiguous int64 array the preparation leaves as
it is (detrend="none") is read in place; any other is prepared into a copy
once. Arguments of the wrong kind are TypeErrors naming the parameter. Long
computations release the GIL and answer Ctrl-C (KeyboardInterrupt).

Example::

    import quillmore as qm
    s = qm.synthesize(length=1200, pulses=12, noise=25)
    found = qm.estimate(s.observed, pulses=12, tmin=40, tmax=181, pulse_length=20)
    print(found.positions, s.positions)
)doc";
    m.attr("__version__") = QUILLMORE_VERSION;
    quillmore_py::bindWorkbench(m);
    quillmore_py::bindDetection(m);
    quillmore_py::bindFiles(m);
}
