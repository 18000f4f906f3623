#!/usr/bin/python3
"""Heartbeats in five minutes of a real electrocardiogram.

The recording ships with SciPy (108,000 samples at 360 Hz, in millivolts).
This script writes it to a CSV file, lets `quillmore-cli detect` find the
beats as pulses of unknown count (blind detection: the pulse-count ranking,
then the threshold method, whose threshold is the mean window energy of the
series after a first pass), with the gaps
between neighbouring beats bounded by plausible heart rates (40 to 180 beats
per minute) and a pulse length of a QRS complex (0.1 s). It prints the beats
found and the mean heart rate, compares them with scipy.signal.find_peaks on
the same signal, and has quillmore-cli draw the picture.

    examples/ecg/detect_heartbeats.py [--cli PATH] [--out FOLDER]
"""

import argparse
import json
import os
import subprocess
import sys
import warnings

import numpy as np
from scipy.signal import find_peaks

FS = 360.0           # samples per second
QRS = 0.1            # seconds: the pulse length
SLOWEST = 40.0       # beats per minute: the greatest gap between beats
FASTEST = 180.0      # beats per minute: the least gap
MATCH = 0.050        # seconds: two beats closer than this are the same beat


def electrocardiogram():
    try:
        from scipy.datasets import electrocardiogram as ecg  # SciPy >= 1.10 with pooch
        return ecg()
    except Exception:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            from scipy.misc import electrocardiogram as ecg
            return ecg()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(root, "build", "release", "app", "cli", "quillmore-cli"))
    parser.add_argument("--out", default=".")
    parser.add_argument("--method", default="4", help="threshold method of blind detection (0..6)")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    x = electrocardiogram()
    t = np.arange(x.size) / FS
    csv = os.path.join(args.out, "ecg.csv")
    np.savetxt(csv, np.column_stack([t, x]), delimiter=",", header="time,mV", comments="", fmt=["%.6f", "%.3f"])

    L = int(round(QRS * FS))
    tmin = int(FS * 60.0 / FASTEST)
    tmax = int(FS * 60.0 / SLOWEST)
    png = os.path.join(args.out, "ecg-beats.png")
    command = [args.cli, "detect", csv, "--column", "mV", "--method", args.method,
               "--tmin", str(tmin), "--tmax", str(tmax), "--pulse-length", str(L),
               "--detrend", str(int(FS)), "--plot", png, "--json"]
    print("$ " + " ".join(command))
    done = subprocess.run(command, capture_output=True, text=True)
    sys.stderr.write(done.stderr)
    if done.returncode != 0:
        sys.exit(done.returncode)
    result = json.loads(done.stdout)

    # A beat is where the found window peaks (the R wave), as find_peaks
    # places it.
    starts = np.array([p["start"] for p in result["pulses"]], dtype=np.int64)
    beats = np.array([s + int(np.argmax(x[s:s + L])) for s in starts], dtype=np.int64)
    rr = np.diff(beats) / FS
    print(f"quillmore: {beats.size} beats in {x.size / FS:.0f} s, mean heart rate {60.0 / rr.mean():.1f} per minute")
    print("first beats (s): " + " ".join(f"{b / FS:.3f}" for b in beats[:10]))

    # The usual way: peaks at least one shortest beat gap apart that stand
    # out from their surroundings.
    peaks, _ = find_peaks(x, distance=tmin, prominence=1.0)
    print(f"find_peaks: {peaks.size} beats, mean heart rate {60.0 / (np.diff(peaks) / FS).mean():.1f} per minute")

    window = int(MATCH * FS)
    j = 0
    matched = 0
    used = np.zeros(peaks.size, dtype=bool)
    for b in beats:
        while j < peaks.size and peaks[j] < b - window:
            j += 1
        k = j
        while k < peaks.size and peaks[k] <= b + window:
            if not used[k]:
                used[k] = True
                matched += 1
                break
            k += 1
    missed = int(peaks.size - used.sum())
    extra = int(beats.size - matched)
    print(f"agreement within {MATCH * 1000:.0f} ms: {matched} matched, {missed} missed, {extra} extra")
    print(f"picture: {png}")


if __name__ == "__main__":
    main()
