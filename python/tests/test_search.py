"""search: every spectrum entry is estimate_unknown at that layout, the best
point is the first greatest statistic with estimate_unknown's detection, the
spectrum is quillmore-cli search's CSV; the grid's refusals."""

import math

import numpy as np
import pytest

import quillmore


def test_search_is_estimate_unknown_at_every_point(cli, tmp_path):
    rng = np.random.default_rng(4)
    x = rng.normal(0, 1.0, 4000)
    for s in range(30, 4000 - 8, 157):
        x[s:s + 8] -= 0.9
    periods = np.arange(120, 200, 20.5)
    found = quillmore.search(x, period=periods, window=0.1, pulse_length=[5, 8, 500], invert=True, threads=2)
    assert len(found.refusal) == 12
    statistic = np.where(np.isnan(found.statistic), -math.inf, found.statistic)
    assert found.best_index == int(np.argmax(statistic))
    for i in range(12):
        if found.refusal[i]:
            assert found.count[i] == 0 and "must be at least the pulse length (500)" in found.refusal[i]
            continue
        d = quillmore.estimate_unknown(x, int(found.tmin[i]), int(found.tmax[i]),
                                       template=np.ones(found.pulse_length[i], np.int64), score="correlation",
                                       invert=True)
        chosen = next(c for c in d.counts if c.count == d.chosen_count)
        assert (found.count[i], found.score[i], found.snr[i], found.statistic[i]) == \
            (d.chosen_count, chosen.chain_score, chosen.snr, chosen.excess)
        if i == found.best_index:
            assert np.array_equal(found.best.positions, d.positions)
            for field in d.pulses.dtype.names:
                np.testing.assert_array_equal(found.best.pulses[field], d.pulses[field])
    assert found.period[found.best_index] in (140.5, 161)  # windows that hold the gap of 157

    path = tmp_path / "x.npy"
    np.save(path, x)
    code, out, _ = cli.run("search", path, "--period", "120:199:20.5", "--window", "0.1", "--pulse-length", "5,8,500",
                           "--invert", "--csv")
    assert code == 0
    rows = [line.split(",") for line in out.splitlines()[1:]]
    assert [float(r[0]) for r in rows] == list(found.period)
    assert [int(r[4]) for r in rows] == list(found.count)
    assert [float(r[7]) if r[7] else math.nan for r in rows] == pytest.approx(list(found.statistic), nan_ok=True,
                                                                                rel=1e-15)

    judged = quillmore.search(x, tmin=[130, 150], tmax=175, pulse_length=8, invert=True, significance=9, seed=3)
    assert judged.significance.false_alarm_probability == 0.1 and np.isnan(judged.period).all()
    assert judged.best.significance.null == judged.significance.null

    with pytest.raises(TypeError, match="period must be a number or a sequence of numbers"):
        quillmore.search(x, period="120", window=0.1, pulse_length=5)
    with pytest.raises(TypeError, match="pulse_length must be an int or a sequence of ints"):
        quillmore.search(x, tmin=100, tmax=200, pulse_length=[5.0])
    for kwargs, reason in [(dict(period=150), "period needs window"),
                           (dict(period=150, window=0.1, tmin=3), "exclude each other"),
                           (dict(tmin=[10, 20], tmax=[30, 40, 50]), "tmin gives 2 values and tmax 3"),
                           (dict(tmin=100, tmax=200, template="c"), "the pulse length is the template's"),
                           (dict(period=0.5, window=0.1), "gives Tmin 0"),
                           (dict(tmin=list(range(1, 1002)), tmax=5000, pulse_length=list(range(1, 101))),
                            "more than the 100000")]:
        kwargs.setdefault("pulse_length", 5)
        if "template" in kwargs:
            kwargs["pulse_length"] = 5
        with pytest.raises(ValueError, match=reason):
            quillmore.search(x, **kwargs)
