"""Bad input is a Python exception with the reason, never a crash."""

import re

import numpy as np
import pytest

import quillmore

X = quillmore.synthesize(length=1200, pulses=10, noise=20).observed.astype(np.int64)
LAYOUT = dict(tmin=40, tmax=181, pulse_length=20)


@pytest.mark.parametrize("x", [np.array([1 + 2j, 3j]), np.array(["a", "b"]), np.array([None, 1], dtype=object),
                               np.array(["2021-01-01"], dtype="datetime64[D]")])
def test_an_array_of_other_things_than_numbers_is_a_type_error(x):
    with pytest.raises(TypeError, match="dtype"):
        quillmore.estimate(x, 1, **LAYOUT)


@pytest.mark.parametrize("x, reason", [
    (np.zeros((30, 2), np.int64), "one-dimensional; got an array of 2 dimensions"),
    (np.int64(5), "one-dimensional; got an array of 0 dimensions"),
    (np.zeros(0, np.int64), "x is empty"),
    (np.arange(10, dtype=np.int64), "longer than the series"),
])
def test_a_wrong_shape_is_a_value_error(x, reason):
    for call in (lambda: quillmore.estimate(x, 1, **LAYOUT), lambda: quillmore.estimate_unknown(x, **LAYOUT),
                 lambda: quillmore.detect(x, 2, **LAYOUT)):
        with pytest.raises(ValueError, match=reason):
            call()


ESTIMATE_REFUSALS = [
    (dict(pulses=40), "cannot hold 40 pulses: it holds 6 to 30"),
    (dict(pulses=0), "pulses must be a whole number from 1"),
    (dict(tmin=90, tmax=50), r"tmin \(90\) is above tmax \(50\)"),
    (dict(tmin=15, tmax=15), r"Tmax \(15\) must be at least the pulse length \(20\)"),
    (dict(pulse_length=None), "pulse_length is needed"),
    (dict(score="distance"), "score must be 'energy' or 'correlation'"),
    (dict(score="correlation"), "needs a template"),
    (dict(score="correlation", template="z"), "etalon letter a to t"),
    (dict(score="correlation", template=21), "1 to 20"),
    (dict(score="correlation", template=[1.5, 2.0]), "whole numbers"),
    (dict(score="correlation", template=np.ones((2, 2))), "template must be one-dimensional"),
    (dict(score="correlation", template="c", pulse_length=18), "differs from the template's 20 samples"),
    (dict(template="c"), "a template applies with score='correlation' only"),
]


@pytest.mark.parametrize("kwargs, reason", ESTIMATE_REFUSALS)
def test_refused_parameters_of_estimate(kwargs, reason):
    args = dict(pulses=10, **LAYOUT)
    args.update(kwargs)
    with pytest.raises(ValueError, match=reason):
        quillmore.estimate(X, **args)


def test_refused_parameters_of_the_unknown_count_and_blind_detection():
    with pytest.raises(ValueError, match="null_series must be a whole number from 1"):
        quillmore.estimate_unknown(X, score="correlation", template="a", null_series=0, **LAYOUT)
    with pytest.raises(ValueError, match="significance must be a whole number from 1"):
        quillmore.estimate_unknown(X, score="correlation", template="a", significance=0, **LAYOUT)
    with pytest.raises(ValueError, match="seed must be a whole number from 0"):
        quillmore.estimate(X, 10, seed=-1, **LAYOUT)
    with pytest.raises(ValueError, match="threads must be a whole number from 1 to 1024"):
        quillmore.detect(X, 2, threads=0, **LAYOUT)
    with pytest.raises(ValueError, match="method must be 0 to 6"):
        quillmore.detect(X, 7, **LAYOUT)
    with pytest.raises(ValueError, match="method 5"):
        quillmore.detect(X, 5, **LAYOUT)
    with pytest.raises(ValueError, match="noise must be a whole number from 0"):
        quillmore.detect(X, 1, noise=-1, **LAYOUT)
    with pytest.raises(TypeError):
        quillmore.detect(X, 2.5, **LAYOUT)


def test_samples_too_large_for_exact_sums_are_refused():
    for extreme in (np.iinfo(np.int64).min, np.iinfo(np.int64).max, 2 ** 40):
        x = X.copy()
        x[100] = extreme
        with pytest.raises(ValueError, match="exact 64-bit sums take magnitudes below 2\\^31"):
            quillmore.estimate(x, 10, **LAYOUT)
    # Within 2^31 a single sample is taken; the sums of overlapping pulses
    # are what the layout check refuses.
    x = X.copy()
    x[100] = 2 ** 31 - 1
    with pytest.raises(ValueError, match="too large for exact 64-bit sums with these pulses"):
        quillmore.estimate(x, 10, **LAYOUT)
    with pytest.raises(ValueError, match="exact 64-bit sums take magnitudes below 2\\^31"):
        quillmore.estimate(np.array([2 ** 63 + 5] * 300, dtype=np.uint64), 3, detrend="none", **LAYOUT)


SYNTHESIZE_REFUSALS = [
    (dict(task="blind"), ValueError, "task must be joint, detection or processing"),
    (dict(length=0), ValueError, "length must be a whole number from 1 to 32767, got '0'"),
    (dict(length=10), ValueError, "length must be at least the pulse length 20"),
    (dict(noise=-1), ValueError, "noise must be a whole number from 0 to 10900"),
    (dict(tmin=90, tmax=50), ValueError, "tmin/tmax: The minimal interval wTmin"),
    (dict(etalons="z"), ValueError, "not an etalon letter"),
    (dict(etalons=[1.5]), TypeError, "etalon numbers"),
    (dict(etalons=[2, 3]), ValueError, "exactly one etalon"),
    (dict(method=3, task="detection"), ValueError, "method must be 0, 1, 2 or 6"),
    (dict(series=0), ValueError, "series must be a whole number from 1"),
    (dict(seeds={"noise": 40000}), ValueError, "from 0 to 32767"),
    (dict(seeds={"weather": 1}), ValueError, "no stream 'weather'"),
]


@pytest.mark.parametrize("kwargs, error, reason", SYNTHESIZE_REFUSALS)
def test_refused_parameters_of_synthesize(kwargs, error, reason):
    with pytest.raises(error, match=reason):
        quillmore.synthesize(**kwargs)


def test_refused_parameters_of_simulate():
    with pytest.raises(ValueError, match="threads must be a whole number from 1"):
        quillmore.simulate(threads=0)
    with pytest.raises(ValueError, match="pulses_from must be a whole number from 1 to 31"):
        quillmore.simulate(pulses_from=40)
    with pytest.raises(ValueError, match="The noise level 11000 is outside 0 to 10922"):
        quillmore.simulate(pulses_from=6, pulses_to=7, noise_from=10900, noise_incr=100, noise_steps=2, repeats=1)
    # The simulation takes no detection method: no such parameter.
    with pytest.raises(TypeError, match="method"):
        quillmore.simulate(method=2)


@pytest.mark.parametrize("function, kwargs, reason", [
    # The arguments are read in the order of the command line's option words,
    # so that of two refused ones the command line's first is reported.
    ("synthesize", dict(noise=-1, length=0), "length must be"),
    ("synthesize", dict(series=0, tmin=0), "tmin must be"),
    ("simulate", dict(threads=0, pulses_from=40), "pulses_from must be"),
    ("simulate", dict(repeats=0, task="blind"), "task must be"),
])
def test_the_first_refused_parameter_is_reported(function, kwargs, reason):
    with pytest.raises(ValueError, match=reason):
        getattr(quillmore, function)(**kwargs)


def test_refused_files_and_preparations(tmp_path):
    with pytest.raises(FileNotFoundError):
        quillmore.read_series(tmp_path / "missing.csv")
    bad = tmp_path / "bad.csv"
    bad.write_text("1\n2\nthree\n4\n")
    with pytest.raises(ValueError, match="bad.csv"):
        quillmore.read_series(bad)
    with pytest.raises(ValueError, match="format must be"):
        quillmore.read_series(bad, format="xls")
    with pytest.raises(ValueError, match="detrend must be"):
        quillmore.prepare(X, detrend="mean")
    with pytest.raises(ValueError, match="moving-median window"):
        quillmore.prepare(X, detrend=0)
    with pytest.raises(ValueError, match="scale must be"):
        quillmore.prepare(X, scale=-2.0)
    with pytest.raises(ValueError):
        quillmore.prepare(np.full(20, np.nan))



# What the functions are called with, but for the one argument a test spoils.
CALLS = dict(estimate=dict(x=X, pulses=10, **LAYOUT), estimate_unknown=dict(x=X, **LAYOUT),
             detect=dict(x=X, method=2, **LAYOUT), prepare=dict(x=X), synthesize=dict(pulses=10),
             simulate=dict(pulses_from=6, pulses_to=6, noise_steps=1, repeats=1))


@pytest.mark.parametrize("name", sorted(CALLS))
@pytest.mark.parametrize("bad", [202.0, np.float64(20.0), True, np.bool_(False), "12", [3]])
def test_every_int_parameter_refuses_another_kind_by_name(name, bad):
    function = getattr(quillmore, name)
    parameters = re.findall(r"(\w+): int(?: \| None)?(?: = \w+)?[,)]", function.__doc__.splitlines()[0])
    assert parameters or name == "prepare"
    for parameter in parameters:
        with pytest.raises(TypeError, match=f"^{parameter} must be an int \\(a whole number\\); got "):
            function(**dict(CALLS[name], **{parameter: bad}))


# Refusals the tables above do not reach: (function, arguments, exception).
MORE_REFUSALS = [
    ("estimate", dict(x=np.full(400, 7.0)), ValueError), ("estimate", dict(x=np.full(400, np.nan)), ValueError),
    ("estimate", dict(x=np.r_[np.sin(np.arange(2000) / 9.0) * 1e-3, 5e3], scale=0.5, pulses=3), ValueError),
    ("estimate", dict(x=np.r_[X[:399], np.inf]), ValueError), ("estimate", dict(x=np.r_[X, 2.0 ** 40]), ValueError),
    ("estimate", dict(x=np.r_[X, 2 ** 31 - 1]), ValueError), ("estimate", dict(pulses=2 ** 70), ValueError),
    ("estimate", dict(score="correlation", template=[]), ValueError), ("estimate", dict(template=2.5), TypeError),
    ("estimate", dict(template=np.array([True] * 20)), TypeError), ("estimate", dict(score=1), TypeError),
    ("estimate", dict(progress=3), TypeError), ("estimate", dict(detrend="mean"), ValueError),
    ("estimate", dict(detrend=0), ValueError), ("estimate", dict(detrend=1.5), TypeError),
    ("estimate", dict(invert="yes"), TypeError), ("estimate", dict(scale=-2.0), ValueError),
    ("estimate", dict(scale="big"), ValueError), ("estimate", dict(scale=[2]), TypeError),
    ("estimate_unknown", dict(null_series=0), ValueError), ("estimate", dict(significance=0), ValueError),
    ("detect", dict(method=7), ValueError), ("detect", dict(method=5), ValueError),
    ("detect", dict(method=1, noise=-1), ValueError), ("detect", dict(noise=5), ValueError),
    ("detect", dict(snr_min=4.0), ValueError),
    ("detect", dict(score="correlation", template="a", snr_min=0.0), ValueError),
    ("detect", dict(score="correlation", template="a", snr_min=1e30), ValueError),
    ("detect", dict(score="correlation", template="a", snr_min="4"), TypeError),
    ("prepare", dict(x=np.zeros((2, 2))), ValueError), ("prepare", dict(integral="yes"), TypeError),
    ("read_series", dict(path="bad.csv", format="xls"), ValueError), ("read_series", dict(path="bad.csv"), ValueError),
    ("read_series", dict(path="bad.csv", channel=0), ValueError), ("synthesize", dict(task=3), TypeError),
    ("synthesize", dict(etalons=2.5), TypeError), ("synthesize", dict(etalons=[2, 30], task="detection"), ValueError),
    ("synthesize", dict(seeds={"library_rand": -1}), ValueError), ("synthesize", dict(seeds={"noise": 1.5}), TypeError),
    ("synthesize", dict(seeds=[1]), TypeError), ("simulate", dict(series_type=1), TypeError),
    ("simulate", dict(series_type="some"), ValueError), ("simulate", dict(pulses_from=3), ValueError),
    ("simulate", dict(pulses_from=9, pulses_to=7), ValueError), ("simulate", dict(noise_steps=0), ValueError),
    ("simulate", dict(progress="tick"), TypeError), ("simulate", dict(threads=0), ValueError),
] + [(name, dict(x=x), TypeError) for name in ("estimate", "estimate_unknown", "detect", "prepare")
     for x in ("0 1 2", b"012", None, {"a": 1}, np.array([True] * 400), [None] * 400, np.array([1] * 400, object))]


def test_no_refusal_names_a_command_line_option(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "bad.csv").write_text("1\n2\nthree\n")
    every = [("estimate", k, ValueError) for k, _ in ESTIMATE_REFUSALS] + MORE_REFUSALS + [
        ("synthesize", k, error) for k, error, _ in SYNTHESIZE_REFUSALS]
    for name, kwargs, error in every:
        with pytest.raises(error) as refused:
            getattr(quillmore, name)(**dict(CALLS.get(name, {}), **kwargs))
        assert "--" not in str(refused.value) and "incompatible function arguments" not in str(refused.value)
