"""Progress and cancel: every stage of a detection and the simulation report
to a progress function, stop when it says so, and answer Ctrl-C with
KeyboardInterrupt."""

import _thread
import threading

import numpy as np
import pytest

import quillmore

# Three pulses in 300 samples: the known count runs the exhaustive search.
X = quillmore.synthesize(length=300, pulses=3, noise=30).observed
LAYOUT = dict(tmin=40, tmax=181, pulse_length=20)
# A grid far too large to finish while a test waits for it.
LONG_GRID = dict(pulses_from=6, pulses_to=30, noise_steps=200, repeats=2000, threads=1)


def test_the_exhaustive_search_reports_and_finishes():
    reports = []
    found = quillmore.estimate(X, 3, progress=lambda done, total: reports.append((done, total)), **LAYOUT)
    assert [r.label for r in found.rows] == ["pre", "est", "exh"] and not found.cancelled
    assert reports[0][0] == 0 and reports[-1][0] == reports[-1][1] > 0
    assert all(a[0] <= b[0] for a, b in zip(reports, reports[1:]))


def test_a_progress_answering_false_stops_the_search_and_keeps_the_earlier_stages():
    whole = quillmore.estimate(X, 3, **LAYOUT)
    # The search is the last stage: its report of the end is the only one
    # with done = total.
    stopped = quillmore.estimate(X, 3, progress=lambda done, total: done < total, **LAYOUT)
    assert stopped.cancelled
    assert [r.label for r in stopped.rows] == ["pre", "est"]
    np.testing.assert_array_equal(stopped.rows[1].positions, whole.rows[1].positions)
    np.testing.assert_array_equal(stopped.positions, whole.rows[1].positions)


def test_an_exception_in_progress_stops_the_search_and_comes_through():
    def progress(done, total):
        raise RuntimeError("enough")
    with pytest.raises(RuntimeError, match="enough"):
        quillmore.estimate(X, 3, progress=progress, **LAYOUT)


def test_ctrl_c_during_the_search_is_a_keyboard_interrupt():
    with pytest.raises(KeyboardInterrupt):
        quillmore.estimate(X, 3, progress=lambda done, total: _thread.interrupt_main(), **LAYOUT)
    # Nothing is left behind: the next call runs to its end.
    assert not quillmore.estimate(X, 3, **LAYOUT).cancelled


def test_a_simulation_reports_and_a_false_answer_cancels_it():
    reports = []
    done = quillmore.simulate(pulses_from=6, pulses_to=7, noise_steps=2, repeats=3,
                              progress=lambda d, t: reports.append((d, t)))
    assert done is not None and reports[-1] == (12, 12)
    seen = []

    def stop_after_first(d, t):
        seen.append((d, t))
        return len(seen) < 2
    assert quillmore.simulate(progress=stop_after_first, **LONG_GRID) is None
    assert seen[-1][0] < seen[-1][1]


def test_ctrl_c_cancels_a_simulation():
    seen = []

    def interrupt_once(d, t):
        seen.append((d, t))
        if len(seen) == 2:
            _thread.interrupt_main()
    with pytest.raises(KeyboardInterrupt):
        quillmore.simulate(progress=interrupt_once, **LONG_GRID)
    assert seen[-1][0] < seen[-1][1]


def test_ctrl_c_reaches_a_simulation_without_progress():
    # The interpreter's signal check alone, from another thread's Ctrl-C.
    timer = threading.Timer(0.3, _thread.interrupt_main)
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            quillmore.simulate(**LONG_GRID)
    finally:
        timer.cancel()


# A series whose unknown-count detections report many times.
LONG = quillmore.synthesize(length=6000, pulses=30, noise=40).observed
LONG_LAYOUT = dict(tmin=60, tmax=400, pulse_length=20)
MODES = {
    "known": lambda **kw: quillmore.estimate(LONG, 30, **LONG_LAYOUT, **kw),
    "sequential": lambda **kw: quillmore.estimate_unknown(LONG, **LONG_LAYOUT, **kw),
    "blind": lambda **kw: quillmore.detect(LONG, 2, **LONG_LAYOUT, **kw),
}


@pytest.mark.parametrize("mode", MODES)
def test_a_false_answer_in_any_mode_leaves_nothing_half_done(mode):
    whole = MODES[mode]()
    stopped = MODES[mode](progress=lambda done, total: done == 0)
    assert stopped.cancelled and stopped.counts == [] and stopped.passes == []
    # A known count keeps the rows of the stages that finished, no more.
    kept = [list(r.positions) for r in stopped.rows]
    assert kept == [list(r.positions) for r in whole.rows][:len(kept)] and len(kept) < len(whole.rows)
    assert list(stopped.positions) == (kept[-1] if kept else [])
    if mode != "known":
        assert kept == []


@pytest.mark.parametrize("mode", MODES)
def test_ctrl_c_in_any_mode_is_a_keyboard_interrupt(mode):
    with pytest.raises(KeyboardInterrupt):
        MODES[mode](progress=lambda done, total: _thread.interrupt_main())
