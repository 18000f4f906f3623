#!/usr/bin/python3
"""Transits of an unknown period in a generated light curve.

The light curve is made here with NumPy: 100,000 samples at a two-minute
cadence (139 days), a star whose brightness wanders by a few parts in a
thousand, white noise of 1,000 parts per million, and an unseen planet
whose transits dim the star by 600 ppm for an hour (30 samples) every
1.7146 days (1234.5 samples): each transit is 0.6 noise deep sample by
sample, invisible by eye. The script writes it to a CSV file (time in days,
flux), lets `quillmore-cli search` look for a train of dips over a grid of
periods and transit lengths, with the look-elsewhere significance of the
best one, and compares the transits found with the injected ones.

    examples/transits/find_transits.py [--cli PATH] [--out FOLDER] [--significance N]
"""

import argparse
import json
import os
import subprocess
import sys

import numpy as np

N = 100_000               # samples
CADENCE = 2.0 / 60 / 24   # days between samples
PERIOD = 1234.5           # samples between transits
DURATION = 30             # samples a transit lasts
DEPTH = 600e-6            # relative dimming
NOISE = 1000e-6           # white noise, relative
FIRST = 400               # first transit's start
MATCH = 3                 # samples: a found transit this close to an injected one is that one


def light_curve():
    rng = np.random.default_rng(2026)
    i = np.arange(N)
    flux = 1 + NOISE * rng.standard_normal(N)
    # The star's own slow variation: a few long sines and a random walk.
    flux += 2e-3 * np.sin(2 * np.pi * i / 31_000) + 1e-3 * np.sin(2 * np.pi * i / 7_300 + 1)
    flux += np.cumsum(rng.standard_normal(N)) * 1e-5
    starts = np.round(FIRST + PERIOD * np.arange(int((N - FIRST - DURATION) / PERIOD) + 1)).astype(np.int64)
    for s in starts:
        flux[s:s + DURATION] -= DEPTH
    return i * CADENCE, flux, starts


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(root, "build", "release", "app", "cli", "quillmore-cli"))
    parser.add_argument("--out", default=".")
    parser.add_argument("--significance", default="19", help="surrogates of the look-elsewhere significance")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    t, flux, injected = light_curve()
    csv = os.path.join(args.out, "light-curve.csv")
    np.savetxt(csv, np.column_stack([t, flux]), delimiter=",", header="time,flux", comments="", fmt=["%.6f", "%.7f"])

    png = os.path.join(args.out, "transit-search.png")
    command = [os.path.abspath(args.cli), "search", "light-curve.csv", "--column", "flux", "--invert", "--detrend", "1001",
               "--period", "800:1600:10", "--window", "0.03", "--pulse-length", "15,30,45",
               "--significance", args.significance, "--plot", "transit-search.png", "--json"]
    print("$ " + " ".join(["quillmore-cli"] + command[1:]))
    done = subprocess.run(command, capture_output=True, text=True, cwd=args.out)
    sys.stderr.write(done.stderr)
    if done.returncode != 0:
        sys.exit(done.returncode)
    result = json.loads(done.stdout)

    best = result["best"]
    starts = np.array([p["start"] for p in best["pulses"]], dtype=np.int64)
    print(f"best point: period {best['period']} samples (Tmin {best['tmin']}, Tmax {best['tmax']}), "
          f"transit length {best['pulseLength']}: {best['count']} transits, snr {best['snr']:.1f}, "
          f"statistic {best['statistic']:.2f}")
    g = result.get("significance")
    if g:
        print(f"false-alarm probability over the {len(result['spectrum'])} grid points: "
              f"{g['falseAlarmProbability']:.3g} ({g['reached']} of {g['surrogates']} surrogates reached it)")
    gaps = np.diff(starts)
    print(f"found {starts.size} transits, median gap {np.median(gaps):.1f} samples "
          f"({np.median(gaps) * CADENCE:.4f} days); injected {injected.size} every {PERIOD} samples")
    matched = sum(1 for s in injected if np.min(np.abs(starts - s)) <= MATCH)
    print(f"{matched} of {injected.size} injected transits found within {MATCH} samples")
    print(f"picture: {png}")


if __name__ == "__main__":
    main()
