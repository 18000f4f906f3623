"""Blind detection on correlations at the default level: box pulses at a
signal-to-noise ratio of 8 in white noise are all found, and pure noise
gives a pulse in at most one of 20 series (1 % each at most),
even with the gap rule wide open."""

import numpy as np

import quillmore

BOX = dict(template=np.ones(16, dtype=np.int64), score="correlation", detrend="none")


def test_pulses_at_snr_8_are_found_and_pure_noise_gives_none_in_most_series():
    quiet = 0
    for seed in range(20):
        rng = np.random.default_rng(seed)
        noise = np.rint(rng.normal(0, 50, 20000)).astype(np.int64)
        starts = np.arange(100, 19600, 400) + rng.integers(0, 100, 49)
        x = noise.copy()
        x[(starts[:, None] + np.arange(16)).ravel()] += 100  # a |h| / sigma = 100 x 4 / 50 = 8
        for method in (0, 2):
            found = quillmore.detect(x, method, 200, 700, **BOX)
            assert found.snr_min_default and round(found.snr_min, 2) == 4.89, found.snr_min
            assert len(found.positions) == len(starts) and np.abs(found.positions - starts).max() <= 8, (seed, method)
        quiet += len(quillmore.detect(noise, 0, 16, 20000, **BOX).positions) == 0
    assert quiet >= 19
