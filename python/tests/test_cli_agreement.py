"""The module against quillmore-cli of the same build, over generated
settings: the same series (samples, positions, cut-off bounds, protocol
rows), the same estimates (positions, rows, count scores, passes) and the
same simulation matrices, to the last bit."""

import json
import math
import random

import numpy as np
import pytest

import quillmore

# SeriesHeader fields as `run --json` names them, and the Series attributes.
SERIES_NUMBERS = {
    "dwSeriesSize": "length", "wTmin": "tmin", "wTmax": "tmax", "wImpulseSize": "pulse_length",
    "wImpulseQuantity": "pulses", "wMinPulses": "min_pulses", "wMaxPulses": "max_pulses",
    "wNoiseLevel": "noise_level", "wAmplitude": "amplitude",
}
SERIES_ARRAYS = {
    "lpPositions": "positions", "lpEtalonSequence": "etalon_sequence", "lpCutFrom": "cut_from",
    "lpCutTo": "cut_to", "lpMinPositions": "min_positions", "lpMaxPositions": "max_positions",
    "lpFoundPositions": "found_positions", "lpPureData": "pure", "lpSeriesData": "observed",
}


def assert_series(expected, series):
    for key, name in SERIES_NUMBERS.items():
        assert getattr(series, name) == expected[key], name
    for key, name in SERIES_ARRAYS.items():
        np.testing.assert_array_equal(getattr(series, name), expected[key], err_msg=name)
    assert series.pure.dtype == np.int16 and series.observed.dtype == np.int16
    assert series.positions.dtype == np.int32


def assert_rows(expected, rows):
    assert [r.label for r in rows] == [e["method"] for e in expected]
    for e, r in zip(expected, rows):
        # run's protocol rows keep the workbench's names, detect's rows plain ones.
        names = ("lpPulses", "lpMeasure", "lpSquares", "lpIterations") if "lpPulses" in e else (
            "pulses", "measure", "squares", "iterations")
        assert (len(r.positions), r.measure, r.squares, r.iterations) == tuple(e[n] for n in names)
        np.testing.assert_array_equal(r.positions, e["positions"])
        assert r.positions.dtype == np.int32


def synthesis_settings(count, seed):
    rng = random.Random(seed)
    for _ in range(count):
        task = rng.choice(["joint", "detection", "processing"])
        tmin = rng.randint(20, 60)
        setting = dict(
            length=rng.choice([200, 600, 1200, 2500]),
            pulses=None if rng.random() < 0.4 else rng.randint(1, 40),
            tmin=tmin,
            tmax=rng.randint(max(tmin, 20), 200),
            etalons=[rng.randint(1, 20)] if task == "joint" else rng.sample(range(1, 21), rng.randint(1, 5)),
            noise=rng.choice([0, 10, 25, 60, 200]),
            energy=rng.choice([None, 50, 80, 100]),
            task=task,
            method=rng.choice([0, 1, 2, 6]) if task == "detection" else None,
            series=rng.randint(1, 3),
        )
        yield setting


def run_words(s):
    words = ["run", "--json", "--series-type", "fixed" if s["pulses"] else "unfixed", "--task", s["task"],
             "--etalons", ",".join(map(str, s["etalons"])), "--series", s["series"]]
    for key in ("length", "pulses", "tmin", "tmax", "noise", "energy", "method"):
        if s[key] is not None:
            words += ["--" + key, s[key]]
    return words


@pytest.mark.parametrize("setting", list(synthesis_settings(30, 7)), ids=lambda s: str(sorted(s.items())))
def test_synthesize_makes_the_series_run_prints(cli, setting):
    made = quillmore.synthesize(**setting)
    printed = cli.json_lines(*run_words(setting))
    assert len(made) == len(printed) == setting["series"]
    for expected, series in zip(printed, made):
        assert_series(expected["series"], series)
        protocol = expected["protocol"]["rows"] if expected["protocol"] else []
        assert_rows(protocol, series.protocol)
        assert series.task == expected["state"]["taskType"]
        assert series.series_type == expected["state"]["seriesType"]
        assert series.streams["noise"] == expected["state"]["noiseSeed"]
        assert [t for _, t in series.messages] == [m["text"] for m in expected["messages"]]


def test_a_refused_setting_is_refused_by_both(cli):
    for words, kwargs in [
        (["--tmin", 90, "--tmax", 50], dict(tmin=90, tmax=50)),
        (["--length", 0], dict(length=0)),
        (["--noise", 20000], dict(noise=20000)),
        (["--etalons", "2,3"], dict(etalons=[2, 3], task="joint")),
    ]:
        code, _, err = cli.run("run", "--json", *words)
        assert code != 0
        with pytest.raises(ValueError) as refused:
            quillmore.synthesize(pulses=10, **kwargs)
        # The same reason, in the module's parameter names.
        reason = err.split(": ", 1)[1].strip()
        assert str(refused.value) == reason.replace("--", "")


def test_series_go_on_from_the_streams_they_leave():
    three = quillmore.synthesize(length=600, pulses=8, noise=30, series=3)
    first = quillmore.synthesize(length=600, pulses=8, noise=30)
    np.testing.assert_array_equal(first.observed, three[0].observed)
    # Only the noise stream moves for a fixed count of one etalon; the third
    # series is the second's settings with the streams the second left.
    again = quillmore.synthesize(length=600, pulses=8, noise=30, seeds=three[1].streams)
    np.testing.assert_array_equal(again.observed, three[2].observed)
    np.testing.assert_array_equal(again.positions, three[2].positions)


def admissible(n, length, tmin, tmax):
    return max(1, (n + length - 1) // tmax), (n - length) // tmin + 1


def detection_cases(count, seed):
    rng = random.Random(seed)
    for _ in range(count):
        n = rng.choice([200, 330, 900, 2000])
        tmin = rng.randint(20, 50)
        tmax = rng.randint(max(tmin, 24), 190)
        series = dict(length=n, pulses=rng.randint(1, 30), tmin=tmin, tmax=tmax, noise=rng.choice([0, 15, 40]),
                      etalons=[rng.randint(1, 20)], seeds={"noise": rng.randint(0, 32767)})
        mode = rng.choice(["known", "known", "unknown", "blind"])
        length = rng.choice([20, 20, 16, 24])
        low, high = admissible(n, length, tmin, tmax)
        case = dict(series=series, mode=mode, tmin=tmin, tmax=tmax, pulse_length=length)
        if mode == "known":
            case["pulses"] = rng.randint(low, max(low, min(high, 6))) if rng.random() < 0.7 else high + 1
            template = rng.choice([None, None, "letter", "box"])
            if template == "letter":
                case["template"] = chr(ord("a") + rng.randint(0, 19))
                case["pulse_length"] = 20
            elif template == "box":
                case["template"] = rng.randint(5, 20)
                case["pulse_length"] = case["template"]
            case["score"] = "correlation" if template else "energy"
        elif mode == "blind":
            case["method"] = rng.randint(0, 6)
            case["noise"] = rng.choice([None, 12])
        yield case


def detect_words(path, case):
    words = ["detect", path, "--json", "--detrend", "none", "--tmin", case["tmin"], "--tmax", case["tmax"],
             "--pulse-length", case["pulse_length"]]
    if case["mode"] == "known":
        words += ["--pulses", case["pulses"]]
        template = case.get("template")
        if isinstance(template, str):
            words += ["--score", "correlation", "--etalon", template]
        elif template is not None:
            words += ["--score", "correlation", "--box", template]
    elif case["mode"] == "unknown":
        words += ["--unknown"]
    else:
        words += ["--method", case["method"]]
        if case["noise"] is not None:
            words += ["--noise", case["noise"]]
    return words


def module_call(x, case):
    # detect_words asks for the samples as they are, as run prints them.
    layout = dict(tmin=case["tmin"], tmax=case["tmax"], pulse_length=case["pulse_length"], detrend="none")
    if case["mode"] == "known":
        template = case.get("template")
        if template is not None and not isinstance(template, str):
            template = np.ones(template, dtype=np.int64)
        return quillmore.estimate(x, case["pulses"], template=template, score=case["score"], **layout)
    if case["mode"] == "unknown":
        return quillmore.estimate_unknown(x, **layout)
    return quillmore.detect(x, case["method"], noise=case["noise"], **layout)


def assert_detection(expected, found, mode):
    assert (found.from_count, found.to_count) == (expected["layout"]["fromCount"], expected["layout"]["toCount"])
    assert_rows(expected["rows"], found.rows)
    np.testing.assert_array_equal(found.positions, [p["start"] for p in expected["pulses"]])
    np.testing.assert_array_equal(found.pulse_scores, [p["score"] for p in expected["pulses"]])
    assert [c.count for c in found.counts] == [c["count"] for c in expected["counts"]]
    for e, c in zip(expected["counts"], found.counts):
        if "chainScore" in e:  # the matched filter; JSON's null is NaN here
            assert c.chain_score == e["chainScore"] and e["chosen"] == (c.count == found.chosen_count)
            for key, value in (("snr", c.snr), ("nullSnr", c.null_snr), ("excess", c.excess)):
                assert (e[key] is None and math.isnan(value)) or value == e[key], key
        elif mode == "unknown":
            assert (c.programme_measure, c.improved_measure, c.passes) == (
                e["programmeMeasure"], e["improvedMeasure"], e["passes"])
        else:
            assert (c.squares, c.noise_per_window) == (e["squares"], e["noisePerWindow"])
    assert [(p.threshold, p.pulses) for p in found.passes] == [(p["threshold"], p["pulses"]) for p in expected["passes"]]
    assert found.noise_level == expected["noiseLevel"]
    if "snrMin" in expected:  # blind detection on correlations
        assert (found.snr_min, found.snr_min_default, found.scored_windows, found.template_norm) == (
            expected["snrMin"], expected["snrMinDefault"], expected["scoredWindows"], expected["templateNorm"])
        assert [p.sigma for p in found.passes] == [p["sigma"] or 0.0 for p in expected["passes"]]
    else:
        assert found.snr_min is None
    assert found.cancelled == expected["cancelled"]
    if found.rows:
        assert found.measure == expected["rows"][-1]["measure"]


@pytest.mark.parametrize("case", list(detection_cases(36, 11)), ids=lambda c: f"{c['mode']}-{c['series']}")
def test_estimates_equal_those_of_detect(cli, tmp_path, case):
    x = quillmore.synthesize(**case["series"]).observed.astype(np.int64)
    path = tmp_path / "series.csv"
    np.savetxt(path, x, fmt="%d")
    code, out, err = cli.run(*detect_words(path, case))
    if code != 0:
        with pytest.raises(ValueError) as refused:
            module_call(x, case)
        assert err.strip().endswith(str(refused.value))
        return
    assert_detection(json.loads(out), module_call(x, case), case["mode"])


@pytest.mark.parametrize("factor", [0.37, 1e-3, 250.5])
def test_floating_point_samples_are_scaled_as_detect_scales_them(cli, tmp_path, factor):
    x = quillmore.synthesize(length=900, pulses=9, noise=20).observed * factor
    path = tmp_path / "series.csv"
    np.savetxt(path, x, fmt="%r")
    expected = cli.json_lines("detect", path, "--json", "--detrend", "none", "--pulses", 9, "--tmin", 40,
                              "--tmax", 181, "--pulse-length", 20)[0]
    found = quillmore.estimate(x, 9, 40, 181, pulse_length=20, detrend="none")
    assert found.converted and found.scale == pytest.approx(expected["preparation"]["scale"], rel=1e-15)
    assert_detection(expected, found, "known")


SIMULATIONS = [
    dict(pulses_from=6, pulses_to=8, noise_steps=3, repeats=5),
    dict(series_type="unfixed", task="joint", pulses_from=6, pulses_to=9, noise_steps=3, noise_incr=10, repeats=3),
    dict(series_type="fixed", task="joint", length=600, pulses_from=4, pulses_to=8, noise_steps=3, repeats=2),
    dict(series_type="unfixed", task="detection", etalons=[3, 7], pulses_from=6, pulses_to=8, noise_steps=2,
         repeats=4),
    dict(series_type="fixed", task="joint", tmin=30, tmax=120, energy=70, pulses_from=7, pulses_to=11,
         pulses_incr=2, noise_from=5, noise_steps=2, noise_incr=20, repeats=3),
    dict(series_type="fixed", task="joint", length=600, tmin=30, tmax=120, energy=70, pulses_from=7, pulses_to=11,
         pulses_incr=2, noise_from=5, noise_steps=2, noise_incr=20, repeats=3),
    dict(series_type="unfixed", task="processing", etalons=[1, 2, 5], pulses_from=5, pulses_to=7, noise_steps=2,
         repeats=2),
    dict(pulses_from=6, pulses_to=7, noise_from=10900, noise_incr=100, noise_steps=2, repeats=1),
]
SIMULATION_WORDS = {"pulses_from": "--from", "pulses_to": "--to", "pulses_incr": "--incr", "noise_from": "--noise-from",
                    "noise_steps": "--noise-steps", "noise_incr": "--noise-incr", "series_type": "--series-type"}


@pytest.mark.parametrize("setting", SIMULATIONS, ids=lambda s: str(sorted(s.items())))
def test_simulate_gives_the_matrices_of_simulate(cli, setting):
    words = ["simulate", "--json"]
    for key, value in setting.items():
        value = ",".join(map(str, value)) if isinstance(value, list) else value
        words += [SIMULATION_WORDS.get(key, "--" + key), value]
    code, out, err = cli.run(*words)
    if code != 0:
        with pytest.raises(ValueError) as refused:
            quillmore.simulate(**setting)
        # Without --json the tool tells why on standard error.
        _, _, told = cli.run(*[w for w in words if w != "--json"])
        assert str(refused.value).split(": ", 1)[1].strip() in told
        return
    expected = json.loads(out)
    for threads in (1, 2):
        r = quillmore.simulate(threads=threads, **setting)
        np.testing.assert_array_equal(r.pulse_values, expected["wPulseValues"])
        np.testing.assert_array_equal(r.noise_levels, expected["lpNoiseLevel"])
        assert r.repeats == expected["repeats"]
        np.testing.assert_array_equal(r.errors, expected["errors"])
        assert r.errors.dtype == np.int32
        assert r.matrices.shape == (6, len(r.noise_levels), len(r.pulse_values))
        np.testing.assert_array_equal(r.matrices[1], r.errors)
        assert not r.matrices[[0, 2, 3, 4, 5]].any()
        assert_series(expected["series"], r.series)


def test_alphabet_is_the_one_alphabet_prints(cli):
    code, out, _ = cli.run("alphabet", "--json")
    expected = json.loads(out)["etalons"]
    etalons = quillmore.alphabet()
    assert len(etalons) == 20
    for e, etalon in zip(expected, etalons):
        assert (etalon.letter, etalon.number, etalon.energy) == (e["letter"], e["number"], e["energy"])
        np.testing.assert_array_equal(etalon.samples, e["samples"])
        assert etalon.samples.dtype == np.int16
        assert etalon.energy == int((etalon.samples.astype(np.int64) ** 2).sum())
