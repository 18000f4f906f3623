#!/usr/bin/python3
"""Two Python threads estimating at once: the quillmore module releases the
GIL around the computation, so on two cores two estimates take about as long
as one. Prints the wall-clock time of the same estimates one after another
in one thread and side by side in two, the median of a few rounds.

    PYTHONPATH=build/release/python bench/python_threads.py [--rounds 5] [--samples 200000]

Not a test: the numbers depend on what else the machine is doing.
"""

import argparse
import os
import statistics
import threading
import time

import numpy as np

import quillmore


def series(samples, seed):
    """Pulses of etalon a (20 samples) about 100 samples apart, with noise."""
    rng = np.random.default_rng(seed)
    x = rng.normal(0, 20, samples)
    shape = quillmore.alphabet()[0].samples
    start = 50
    while start + shape.size < samples:
        x[start:start + shape.size] += shape
        start += int(rng.integers(60, 140))
    return np.rint(x).astype(np.int64)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--samples", type=int, default=200_000)
    args = parser.parse_args()

    layout = dict(tmin=60, tmax=140, pulse_length=20)
    inputs = [series(args.samples, seed) for seed in (1, 2)]
    pulses = (args.samples - 200) // 100

    def work(x):
        return quillmore.estimate(x, pulses, **layout)

    def one_thread():
        for x in inputs:
            work(x)

    def two_threads():
        threads = [threading.Thread(target=work, args=(x,)) for x in inputs]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    def timed(run):
        """Median wall-clock time, and the process's CPU time per wall-clock second."""
        walls, loads = [], []
        for _ in range(args.rounds):
            wall, cpu = time.perf_counter(), time.process_time()
            run()
            walls.append(time.perf_counter() - wall)
            loads.append((time.process_time() - cpu) / walls[-1])
        return statistics.median(walls), statistics.median(loads)

    def counting_while(run):
        """Counts in Python on this thread while `run` works on another: a
        held GIL would leave the count near 0. Counts per second."""
        worker = threading.Thread(target=run)
        count, start = 0, time.perf_counter()
        worker.start()
        while worker.is_alive():
            count += 1
        return count / (time.perf_counter() - start)

    work(inputs[0])  # the alphabet and the first allocations, outside the timing
    (alone, alone_load), (together, together_load) = timed(one_thread), timed(two_threads)
    busy = counting_while(lambda: work(inputs[0]))
    idle = counting_while(lambda: time.sleep(alone / 2))
    print(f"{args.samples} samples, {pulses} pulses, {os.cpu_count()} processors, "
          f"load average {os.getloadavg()[0]:.1f}, median of {args.rounds}")
    print(f"two estimates in one thread:  {alone * 1000:8.1f} ms, {alone_load:.2f} CPU s per s")
    print(f"two estimates in two threads: {together * 1000:8.1f} ms, {together_load:.2f} CPU s per s")
    print(f"speed-up: {alone / together:.2f}")
    print(f"a Python loop counting while an estimate runs on another thread: {busy / idle:.2f} of its speed "
          "beside a sleeping thread")


if __name__ == "__main__":
    main()
