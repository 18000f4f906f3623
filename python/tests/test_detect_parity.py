"""estimate, estimate_unknown and detect against quillmore-cli detect on the
same file, over generated series and options: integers and floating-point
samples, gaps (NaN, masked samples), offsets, trends, dips, time columns,
moving-median windows and scale factors, every mode. The same preparation,
pulses and measures to the last bit, or the same refusal."""

import json
import math
import random

import numpy as np
import pytest

import quillmore
from test_cli_agreement import admissible, assert_detection

FIELDS = ["pulse", "start", "end", "centre", "time", "centre_time", "amplitude", "score", "snr"]


def generated_case(rng):
    """A series as a researcher brings it (the array, and its file's text),
    the keyword arguments of the call and the words of detect."""
    n, tmin = rng.choice([300, 700, 1500]), rng.randint(25, 50)
    tmax = rng.randint(tmin + 5, 190)
    low, high = admissible(n, 20, tmin, tmax)
    pulses = quillmore.synthesize(length=n, pulses=rng.randint(low, max(low, min(high, 12))), tmin=tmin, tmax=tmax,
                                  noise=rng.choice([5, 20, 40]), etalons=rng.randint(1, 20),
                                  seeds={"noise": rng.randint(0, 32767)}).observed.astype(np.int64)
    dips = rng.random() < 0.3
    signal = -pulses if dips else pulses
    gaps = np.zeros(n, dtype=bool)
    for _ in range(rng.choice([0, 0, 1, 3])):
        start = rng.randrange(n)
        gaps[start:start + rng.randint(1, 30)] = True
    if rng.random() < 0.4:
        drift = np.arange(n) * rng.choice([1, -1]) // rng.randint(5, 60) if rng.random() < 0.5 else 0
        values = (signal + rng.randint(-300, 300) + drift).astype(rng.choice([np.int64, np.int32, np.int16]))
        cells = [str(v) for v in values]
        x = np.ma.masked_array(values, mask=gaps) if gaps.any() else values
    else:
        trend = rng.uniform(-3, 3) * np.arange(n) / n + rng.choice([0.0, 1.5]) * np.sin(np.arange(n) / 97.0)
        factor = rng.choice([1e-3, 0.37, 1.0, 41.5])
        values = signal * factor + (trend + rng.uniform(-50, 50)) * factor * 30
        cells = [repr(v) for v in values]
        x = np.where(gaps, np.nan, values) if rng.random() < 0.5 else np.ma.masked_array(values, mask=gaps)
    cells = ["NaN" if gap else c for c, gap in zip(cells, gaps)]
    step = rng.choice([None, None, 0.25, 1 / 360])
    text = "".join(c + "\n" for c in cells) if step is None else "t,v\n" + "".join(
        f"{0.5 + k * step!r},{c}\n" for k, c in enumerate(cells))

    kwargs, words = dict(tmin=tmin, tmax=tmax, pulse_length=rng.choice([20, 20, 16])), []
    if rng.random() < 0.7:
        kwargs["detrend"] = rng.choice(["none", "median", 3, 31, 101, 501])
    if dips or rng.random() < 0.1:
        kwargs["invert"] = True
    if rng.random() < 0.35:
        scale = rng.choice(["auto", 0.5, 3.0, 1e-4, None, None])
        # Else a factor near the one that reaches 32767, as a caller chooses it.
        kwargs["scale"] = scale or rng.choice([0.05, 0.8, 20.0]) * 32767 / float(np.abs(values[~gaps]).max())
    mode = rng.choice(["known", "known", "unknown", "blind", "blind"])
    if mode == "known":
        low, high = admissible(n, kwargs["pulse_length"], tmin, tmax)
        kwargs["pulses"] = rng.randint(low, max(low, min(high, 10))) if rng.random() < 0.9 else high + 1
        if rng.random() < 0.3:
            kwargs.update(template=chr(ord("a") + rng.randint(0, 19)), score="correlation", pulse_length=20)
            words += ["--etalon", kwargs["template"]]
    elif mode == "unknown":
        words += ["--unknown"]
        if rng.random() < 0.4:  # the matched filter
            kwargs.update(template=chr(ord("a") + rng.randint(0, 19)), score="correlation", pulse_length=20,
                          null_series=rng.randint(1, 4), seed=rng.randint(0, 99))
            words += ["--etalon", kwargs["template"]]
    else:
        kwargs["method"] = rng.randint(0, 6)
        if kwargs["method"] in (1, 6) and rng.random() < 0.3:
            kwargs["noise"] = rng.choice([3, 40])
        if rng.random() < 0.4:
            kwargs.update(template=chr(ord("a") + rng.randint(0, 19)), score="correlation", pulse_length=20)
            words += ["--etalon", kwargs["template"]]
            if rng.random() < 0.4:
                kwargs["snr_min"] = rng.choice([0.5, 3.0, 6.25])
    for key, value in kwargs.items():
        if key not in ("template", "invert"):
            words += ["--" + key.replace("_", "-"), repr(value) if isinstance(value, float) else value]
    words += ["--invert"] if kwargs.get("invert") else []
    return dict(mode=mode, x=x, text=text, timed=step is not None, kwargs=kwargs, words=words)


def call(x, mode, kwargs):
    function = dict(known=quillmore.estimate, unknown=quillmore.estimate_unknown, blind=quillmore.detect)[mode]
    return function(x, **kwargs)


def cases(count, seed):
    rng = random.Random(seed)
    return [pytest.param(generated_case(rng), id=str(n)) for n in range(count)]


@pytest.mark.parametrize("case", cases(150, 2024))
def test_python_finds_what_detect_finds_in_the_same_file(cli, tmp_path, case):
    path = tmp_path / "series.csv"
    path.write_text(case["text"])
    code, out, err = cli.run("detect", path, "--json", *case["words"])
    # The caller's array, and the file as read_series reads it (with its times).
    for x, timed in ((case["x"], False), (quillmore.read_series(path), case["timed"])):
        if code != 0:
            with pytest.raises(ValueError) as refused:
                call(x, case["mode"], case["kwargs"])
            assert err.strip().endswith(str(refused.value)) and "--" not in str(refused.value), err
            continue
        expected, found = json.loads(out), call(x, case["mode"], case["kwargs"])
        assert_detection(expected, found, case["mode"])
        assert (found.sigma, found.noise_method) == (expected["noise"]["sigma"], expected["noise"]["method"])
        assert (found.preparation, found.scale) == (expected["preparation"]["report"], expected["preparation"]["scale"])
        assert found.pulses.dtype.names == tuple(FIELDS) and len(found.pulses) == len(expected["pulses"])
        for record, e in zip(found.pulses, expected["pulses"]):
            for field in FIELDS:
                want = e[{"centre_time": "centreTime"}.get(field, field)] if timed or "time" not in field else None
                # JSON's null is NaN here; every other number bit for bit.
                assert (want is None and math.isnan(record[field])) or record[field] == want, (field, want)


def test_to_frame_holds_the_pulses_and_says_when_pandas_is_missing(monkeypatch):
    pytest.importorskip("pandas")
    found = quillmore.detect(quillmore.synthesize(length=900, pulses=8).observed, 2, 40, 181, pulse_length=20)
    frame = found.to_frame()
    assert list(frame.columns) == FIELDS and len(frame) == len(found.positions) > 0
    for field in FIELDS:
        np.testing.assert_array_equal(frame[field].to_numpy(), found.pulses[field])
    monkeypatch.setitem(__import__("sys").modules, "pandas", None)
    with pytest.raises(ImportError, match="needs pandas.*Detection.pulses"):
        found.to_frame()


def test_significance_is_the_same_in_python_and_on_the_command_line(cli, tmp_path):
    x = quillmore.synthesize(length=1500, pulses=12, tmin=60, tmax=181, noise=20, etalons=3,
                             seeds={"noise": 5}).observed.astype(np.int64)
    path = tmp_path / "series.csv"
    np.savetxt(path, x, fmt="%d")
    for function, words, kwargs in (
            (quillmore.estimate_unknown, ["--unknown", "--etalon", "c", "--score", "correlation"],
             dict(template="c", score="correlation")),
            (quillmore.estimate, ["--pulses", 12, "--pulse-length", 20], dict(pulses=12, pulse_length=20))):
        expected = cli.json_lines("detect", path, "--json", "--tmin", 60, "--tmax", 181, "--significance", 9,
                                  "--seed", 4, "--threads", 2, *words)[0]["significance"]
        # One thread here, two there: the same surrogates.
        found = function(x, tmin=60, tmax=181, significance=9, seed=4, threads=1, **kwargs).significance
        assert (found.surrogates, found.seed, found.block, found.statistic, found.reached) == (
            expected["surrogates"], expected["seed"], expected["block"], expected["statistic"], expected["reached"])
        assert found.false_alarm_probability == expected["falseAlarmProbability"] == (1 + found.reached) / 10
        assert found.resolution == expected["resolution"] == 0.1 and len(found.null) == 9
