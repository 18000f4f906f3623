"""Blind detection on correlations at the default level: box pulses at a
signal-to-noise ratio of 8 in white noise are all found, and pure noise
gives no pulse in most series, even with the gap rule wide open."""

import numpy as np

import quillmore

N, W, SIGMA = 20000, 16, 50
LAYOUT = dict(tmin=200, tmax=700, template=np.ones(W, dtype=np.int64), score="correlation", detrend="none")


def test_pulses_at_snr_8_are_found_and_pure_noise_gives_none_in_most_series():
    quiet = 0
    for seed in range(20):
        rng = np.random.default_rng(seed)
        noise = np.rint(rng.normal(0, SIGMA, N)).astype(np.int64)
        starts = np.cumsum(rng.integers(300, 500, 60)) - 200
        starts = starts[starts < N - 300]
        x = noise.copy()
        x[(starts[:, None] + np.arange(W)).ravel()] += 8 * SIGMA // 4  # a |h| / sigma = 8 with |h| = 4
        for method in (0, 2):
            found = quillmore.detect(x, method, **LAYOUT)
            assert found.snr_min_default and abs(found.snr_min - 4.31) < 0.01
            assert len(found.positions) == len(starts), (seed, method)
            assert np.abs(found.positions - starts).max() <= W // 2, (seed, method)  # more than half on it
        quiet += len(quillmore.detect(noise, 0, **dict(LAYOUT, tmin=W, tmax=N)).positions) == 0
    assert quiet >= 17
