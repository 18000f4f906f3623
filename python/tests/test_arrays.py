"""How arrays reach the core: a contiguous int64 array the preparation leaves
as it is in place, everything else converted once, with the same result
whatever the dtype or layout."""

import concurrent.futures
import subprocess
import sys

import numpy as np
import pytest

import quillmore

LAYOUT = dict(tmin=40, tmax=181, pulse_length=20)
# The samples as they are: no trend taken away, integers kept.
RAW = dict(LAYOUT, detrend="none")


@pytest.fixture(scope="module")
def observed():
    return quillmore.synthesize(length=2400, pulses=20, noise=30).observed.astype(np.int64)


def test_a_contiguous_slice_of_a_larger_int64_array_is_read_in_place(observed):
    big = np.concatenate([np.full(57, 9999, np.int64), observed, np.full(31, -9999, np.int64)])
    view = big[57:57 + observed.size]
    found = quillmore.estimate(view, 20, **RAW)
    assert not found.converted
    assert found.samples_address == view.ctypes.data == big.ctypes.data + 57 * 8
    np.testing.assert_array_equal(found.positions, quillmore.estimate(observed, 20, **RAW).positions)


def test_a_read_only_int64_array_is_read_in_place(observed):
    frozen = observed.copy()
    frozen.setflags(write=False)
    found = quillmore.detect(frozen, 2, **RAW)
    assert not found.converted and found.samples_address == frozen.ctypes.data


def test_a_strided_view_is_converted_once_and_gives_the_same_result(observed):
    big = np.repeat(observed, 3)
    view = big[1::3]
    found = quillmore.estimate(view, 20, **LAYOUT)
    assert found.converted and found.samples_address != view.ctypes.data
    reference = quillmore.estimate(observed, 20, **LAYOUT)
    np.testing.assert_array_equal(found.positions, reference.positions)
    np.testing.assert_array_equal(found.pulse_scores, reference.pulse_scores)


@pytest.mark.parametrize("dtype", ["int16", "int32", ">i8", "q", "float64-whole"])
def test_every_integer_dtype_gives_the_int64_result(observed, dtype):
    x = observed.astype(np.float64) if dtype == "float64-whole" else observed.astype(dtype)
    if dtype == "float64-whole":
        # Floating-point samples are scaled even when they are whole numbers.
        found = quillmore.estimate(x, 20, **RAW)
        assert found.scale == pytest.approx(32767 / np.abs(observed).max())
        return
    found = quillmore.estimate(x, 20, **LAYOUT)
    reference = quillmore.estimate(observed, 20, **LAYOUT)
    np.testing.assert_array_equal(found.positions, reference.positions)
    np.testing.assert_array_equal(found.pulse_scores, reference.pulse_scores)
    assert [r.measure for r in found.rows] == [r.measure for r in reference.rows]
    assert found.scale == 1.0


@pytest.mark.parametrize("dtype", [np.uint8, np.uint16, np.uint32, np.uint64, np.int8])
def test_small_and_unsigned_dtypes_are_widened_exactly(dtype):
    rng = np.random.default_rng(5)
    top = min(np.iinfo(dtype).max, 200)
    x = rng.integers(0, top, size=700).astype(dtype)
    found = quillmore.estimate_unknown(x, 30, 90, pulse_length=12, detrend="none")
    reference = quillmore.estimate_unknown(x.astype(np.int64), 30, 90, pulse_length=12, detrend="none")
    assert found.converted and not reference.converted
    np.testing.assert_array_equal(found.positions, reference.positions)
    assert [(c.count, c.improved_measure) for c in found.counts] == [
        (c.count, c.improved_measure) for c in reference.counts]


def test_a_list_is_taken_and_a_bool_array_is_refused(observed):
    listed = quillmore.estimate(observed.tolist(), 20, **LAYOUT)
    np.testing.assert_array_equal(listed.positions, quillmore.estimate(observed, 20, **LAYOUT).positions)
    marks = np.zeros(400, dtype=bool)
    marks[[50, 51, 52, 200, 201]] = True
    with pytest.raises(TypeError, match="got dtype bool"):
        quillmore.estimate(marks, 2, 40, 300, pulse_length=3)
    found = quillmore.estimate(marks.astype(np.int8), 2, 40, 300, pulse_length=3)
    np.testing.assert_array_equal(found.positions, [50, 199])


def test_float32_and_float64_of_the_same_values_agree(observed):
    x = observed * 0.25
    a = quillmore.estimate(x.astype(np.float32), 20, **LAYOUT)
    b = quillmore.estimate(x.astype(np.float64), 20, **LAYOUT)
    np.testing.assert_array_equal(a.positions, b.positions)
    assert a.scale == b.scale


def test_threads_estimating_at_once_get_what_one_thread_gets():
    series = [quillmore.synthesize(length=3000, pulses=25, noise=40, seeds={"noise": s}).observed.astype(np.int64)
              for s in (1, 2, 3, 4, 5, 6)]
    alone = [quillmore.estimate(x, 25, **LAYOUT) for x in series]
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
        together = list(pool.map(lambda x: quillmore.estimate(x, 25, **LAYOUT), series))
    for a, b in zip(alone, together):
        np.testing.assert_array_equal(a.positions, b.positions)
        assert [r.measure for r in a.rows] == [r.measure for r in b.rows]


def test_prepared_samples_are_read_in_place():
    p = quillmore.prepare(np.sin(np.arange(3000) / 40.0) ** 8, detrend="none")
    assert p.samples.dtype == np.int64 and p.largest == 32767
    found = quillmore.estimate(p.samples, 10, 100, 400, pulse_length=60, detrend="none")
    assert not found.converted and found.samples_address == p.samples.ctypes.data


def test_the_interpreter_ends_cleanly_after_the_readers_have_run():
    # The readers keep NumPy's types for the life of the process; released
    # after the interpreter has gone, they crashed it on its way out.
    script = ("import numpy as np, quillmore\n"
              "x = np.ma.masked_array(np.arange(400) % 37, mask=np.arange(400) % 50 == 0)\n"
              "quillmore.estimate(x, np.int64(3), 40, 181, pulse_length=20, invert=np.bool_(False), scale=np.float32(2))\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
