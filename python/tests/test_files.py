"""read_series and prepare: the readers of own data round-trip what NumPy
writes, and the preparation is the one quillmore-cli detect reports."""

import json

import numpy as np
import pytest

import quillmore


def test_a_text_column_round_trips(tmp_path):
    values = np.array([3, -7, 12, 0, 5, 5, -1])
    path = tmp_path / "two.csv"
    np.savetxt(path, np.column_stack([np.arange(values.size) * 0.5, values]), delimiter=",", fmt=["%.1f", "%d"],
               header="t,signal", comments="")
    f = quillmore.read_series(path)
    np.testing.assert_array_equal(f.values, values)
    assert f.integral and f.column_name == "signal" and f.time_name == "t"
    np.testing.assert_array_equal(f.times, np.arange(values.size) * 0.5)
    np.testing.assert_array_equal(quillmore.read_series(str(path), column="t").values, np.arange(values.size) * 0.5)
    np.testing.assert_array_equal(quillmore.read_series(path, column=1).values, np.arange(values.size) * 0.5)


@pytest.mark.parametrize("dtype", [np.int16, np.int64, np.float32, np.float64])
def test_npy_arrays_round_trip(tmp_path, dtype):
    rng = np.random.default_rng(3)
    table = (rng.normal(size=(50, 3)) * 100).astype(dtype)
    path = tmp_path / "table.npy"
    np.save(path, table)
    f = quillmore.read_series(path)
    np.testing.assert_array_equal(f.values, table[:, -1].astype(np.float64))
    assert f.integral == np.issubdtype(dtype, np.integer)
    np.save(path, np.asfortranarray(table))
    np.testing.assert_array_equal(quillmore.read_series(path, column=2).values, table[:, 1].astype(np.float64))


def test_gaps_are_nan_and_prepare_fills_them(tmp_path):
    path = tmp_path / "gaps.csv"
    path.write_text("t,v\n0,4\n1,\n2,10\n3,NaN\n4,6\n")
    f = quillmore.read_series(path)
    assert np.isnan(f.values).sum() == 2
    p = quillmore.prepare(f, detrend="none")
    assert p.gaps == 2 and p.centre == 6
    np.testing.assert_array_equal(p.samples, [4, 6, 10, 6, 6])


@pytest.mark.parametrize("options, words", [
    (dict(), []),
    (dict(detrend="none"), ["--detrend", "none"]),
    (dict(detrend=51, invert=True), ["--detrend", "51", "--invert"]),
    (dict(scale="auto"), ["--scale", "auto"]),
    (dict(scale=50, detrend="none"), ["--scale", "50", "--detrend", "none"]),
])
@pytest.mark.parametrize("floating", [False, True])
def test_prepare_is_the_preparation_of_detect(cli, tmp_path, options, words, floating):
    x = quillmore.synthesize(length=900, pulses=8, noise=25).observed.astype(np.int64) + 40
    path = tmp_path / "series.csv"
    if floating:
        np.savetxt(path, x * 0.013, fmt="%r")
    else:
        np.savetxt(path, x, fmt="%d")
    code, out, err = cli.run("detect", path, "--json", "--pulses", 8, "--tmin", 40, "--tmax", 181,
                             "--pulse-length", 20, *words)
    assert code == 0, err
    expected = json.loads(out)
    p = quillmore.prepare(quillmore.read_series(path), **options)
    assert p.report == expected["preparation"]["report"]
    assert p.scale == expected["preparation"]["scale"] and p.largest == expected["preparation"]["largest"]
    # The samples are prepared already: the estimate takes them as they are.
    found = quillmore.estimate(p.samples, 8, 40, 181, pulse_length=20, detrend="none")
    np.testing.assert_array_equal(found.positions, [q["start"] for q in expected["pulses"]])
    np.testing.assert_array_equal(found.pulse_scores, [q["score"] for q in expected["pulses"]])
