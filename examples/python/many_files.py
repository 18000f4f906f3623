#!/usr/bin/python3
"""Many series files at once from Python: a thread pool over the files.

The estimators run without the GIL, so a concurrent.futures thread pool
spreads files over the processors; each estimate gets threads=1, so that
the pool's workers, not the estimate's own threads, use the processors.
This script writes COUNT light-curve-like CSV files (box dips of random
depth 230..270 samples apart, noise), reads and estimates each with the
count unknown, one after the other and then on a pool of WORKERS threads,
checks that both give the same pulses and prints the times:

    PYTHONPATH=build/release/python examples/python/many_files.py [--count 32] [--workers 2]
"""

import argparse
import os
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
try:
    import quillmore
except ImportError:  # run from a checkout after scripts/start or scripts/test
    sys.path.insert(0, os.path.join(ROOT, "build", "release", "python"))
    import quillmore


def write_curves(folder, count, samples, seed=1):
    """COUNT CSV files of a time column and a flux with dips of 30 samples."""
    rng = np.random.default_rng(seed)
    paths = []
    for k in range(count):
        flux = rng.normal(0.0, 1.0, samples)
        start = int(rng.integers(0, 200))
        while start + 30 < samples:
            flux[start:start + 30] -= rng.uniform(2.5, 3.5)
            start += int(rng.integers(230, 271))
        path = os.path.join(folder, f"curve{k:03d}.csv")
        np.savetxt(path, np.column_stack([np.arange(samples) * 0.02, flux]), delimiter=",",
                   header="time,flux", comments="", fmt="%.5f")
        paths.append(path)
    return paths


def starts(path):
    """The pulses of one file: read, prepared as detect prepares, the count unknown."""
    found = quillmore.estimate_unknown(quillmore.read_series(path), tmin=230, tmax=270, pulse_length=30,
                                       invert=True, threads=1)
    return found.positions.tolist()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=32, help="files (default 32)")
    parser.add_argument("--samples", type=int, default=50000, help="samples a file (default 50000)")
    parser.add_argument("--workers", type=int, default=os.cpu_count(), help="threads of the pool (default: the processors)")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        paths = write_curves(folder, args.count, args.samples)
        began = time.perf_counter()
        one_by_one = [starts(p) for p in paths]
        serial = time.perf_counter() - began
        began = time.perf_counter()
        with ThreadPoolExecutor(max_workers=args.workers) as pool:
            pooled = list(pool.map(starts, paths))
        parallel = time.perf_counter() - began
    assert pooled == one_by_one, "the pool found other pulses than the files one by one"
    pulses = sum(len(s) for s in pooled)
    print(f"{args.count} files of {args.samples} samples, {pulses} pulses: one by one {serial:.2f} s, "
          f"{args.workers} threads {parallel:.2f} s, {serial / parallel:.2f}x")


if __name__ == "__main__":
    main()
