// The readers of arguments every function of the module shares: whole
// numbers, words, flags and the preparation keywords, each refusing a wrong
// kind with a TypeError and a refused value with a ValueError, both naming
// the parameter.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "module_common.h"

namespace quillmore_py {

namespace {

bool isNumpyBool(py::handle v)
{
    // Kept to the end of the process: a static py::object would be released
    // after the interpreter has gone.
    static const py::handle boolType = py::object(py::module_::import("numpy").attr("bool_")).release();
    return py::isinstance(v, boolType);
}

bool isNumpyReal(py::handle v)
{
    static const py::handle integer = py::object(py::module_::import("numpy").attr("integer")).release();
    static const py::handle floating = py::object(py::module_::import("numpy").attr("floating")).release();
    return py::isinstance(v, integer) || py::isinstance(v, floating);
}

std::string typeName(py::handle v) { return Py_TYPE(v.ptr())->tp_name; }

}  // namespace

std::string describe(py::handle v)
{
    std::string shown = py::repr(v).cast<std::string>();
    if (shown.size() > 60)
        shown = shown.substr(0, 57) + "...";
    return typeName(v) + " " + shown;
}

int64_t wholeNumber(py::handle v, const char* name)
{
    // __index__ is what makes a whole number of an int and of every NumPy
    // integer; a bool has one too but is no count.
    if (PyBool_Check(v.ptr()) || isNumpyBool(v) || !PyIndex_Check(v.ptr()))
        throw py::type_error(std::string(name) + " must be an int (a whole number); got " + describe(v));
    const auto whole = py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr()));
    if (!whole)
        throw py::error_already_set();
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(whole.ptr(), &overflow);
    if (overflow != 0)
        return overflow > 0 ? INT64_MAX : INT64_MIN;
    if (value == -1 && PyErr_Occurred())
        throw py::error_already_set();
    return value;
}

std::optional<int64_t> optionalWholeNumber(py::handle v, const char* name)
{
    if (v.is_none())
        return std::nullopt;
    return wholeNumber(v, name);
}

std::optional<double> optionalReal(py::handle v, const char* name)
{
    if (v.is_none())
        return std::nullopt;
    const bool real = PyLong_Check(v.ptr()) || PyFloat_Check(v.ptr()) || isNumpyReal(v);
    if (!real || PyBool_Check(v.ptr()))
        throw py::type_error(std::string(name) + " must be a number or None; got " + describe(v));
    const double value = PyFloat_AsDouble(v.ptr());
    if (value == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();  // an int past the range of a double: NaN, which every range check refuses
        return std::nan("");
    }
    return value;
}

std::string text(py::handle v, const char* name)
{
    if (!py::isinstance<py::str>(v))
        throw py::type_error(std::string(name) + " must be a str; got " + describe(v));
    return v.cast<std::string>();
}

std::optional<std::string> optionalText(py::handle v, const char* name)
{
    if (v.is_none())
        return std::nullopt;
    return text(v, name);
}

bool flag(py::handle v, const char* name)
{
    if (!PyBool_Check(v.ptr()) && !isNumpyBool(v))
        throw py::type_error(std::string(name) + " must be True or False; got " + describe(v));
    return PyObject_IsTrue(v.ptr()) == 1;
}

py::object callableOrNone(py::handle v, const char* name)
{
    if (!v.is_none() && !PyCallable_Check(v.ptr()))
        throw py::type_error(std::string(name) + " must be a function or None; got " + describe(v));
    return py::reinterpret_borrow<py::object>(v);
}

detection::PreparationOptions preparationOptions(py::handle detrend, py::handle invert, py::handle scale)
{
    detection::PreparationOptions o;
    if (py::isinstance<py::str>(detrend)) {
        const std::string word = detrend.cast<std::string>();
        if (word == "none")
            o.detrend = detection::Detrend::None;
        else if (word == "median")
            o.detrend = detection::Detrend::WholeMedian;
        else
            throw py::value_error("detrend must be 'none', 'median' or a window of samples; got '" + word + "'");
    } else {
        if (PyBool_Check(detrend.ptr()) || isNumpyBool(detrend) || !PyIndex_Check(detrend.ptr()))
            throw py::type_error("detrend must be 'none', 'median' or a window of samples (an int); got " +
                                 describe(detrend));
        const int64_t window = wholeNumber(detrend, "detrend");
        if (window < 1 || window > INT32_MAX)
            throw py::value_error("detrend: a moving-median window is from 1 to 2147483647 samples; got " +
                                  py::str(detrend).cast<std::string>());
        o.detrend = detection::Detrend::MovingMedian;
        o.window = window;
    }

    o.invert = flag(invert, "invert");

    // None: floating-point data scaled so that the largest magnitude is
    // 32767, integers kept; "auto": scaled either way; or the factor.
    if (scale.is_none())
        return o;
    if (py::isinstance<py::str>(scale)) {
        if (scale.cast<std::string>() != "auto")
            throw py::value_error("scale must be None, 'auto' or a positive number; got '" + scale.cast<std::string>() +
                                  "'");
        o.scaleAuto = true;
        return o;
    }
    const bool real = PyLong_Check(scale.ptr()) || PyFloat_Check(scale.ptr()) || isNumpyReal(scale);
    if (!real || PyBool_Check(scale.ptr()))
        throw py::type_error("scale must be None, 'auto' or a positive number; got " + describe(scale));
    const double factor = PyFloat_AsDouble(scale.ptr());
    if (factor == -1.0 && PyErr_Occurred())
        PyErr_Clear();  // an int past the range of a double: -1 here, refused below
    if (!std::isfinite(factor) || !(factor > 0))
        throw py::value_error("scale must be None, 'auto' or a positive number; got " +
                              py::str(scale).cast<std::string>());
    o.scale = factor;
    return o;
}

}  // namespace quillmore_py
