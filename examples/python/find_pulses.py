#!/usr/bin/python3
"""Pulses found in a synthesized series, drawn with matplotlib.

The quillmore module makes a series as the workbench makes it (pulses of
etalon e, one period of a sine of 20 samples, starts 40 to 181 samples
apart, Gaussian noise), estimates the positions of its pulses with the exact
programmes, prints the true and the found starts and draws both: the pure
series with the true pulses, the observed series with the found ones framed.

    PYTHONPATH=build/release/python examples/python/find_pulses.py [--out picture.png]
"""

import argparse
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
try:
    import quillmore  # noqa: E402
except ImportError:  # run from a checkout after scripts/start or scripts/test
    sys.path.insert(0, os.path.join(ROOT, "build", "release", "python"))
    import quillmore  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default="python-example.png")
    parser.add_argument("--length", type=int, default=1200)
    parser.add_argument("--pulses", type=int, default=12)
    parser.add_argument("--noise", type=int, default=40)
    parser.add_argument("--etalon", default="e", help="the etalon of the pulses, a..t")
    args = parser.parse_args()

    # The lines the README shows, with its numbers as the defaults.
    s = quillmore.synthesize(length=args.length, pulses=args.pulses, etalons=args.etalon, noise=args.noise)
    found = quillmore.estimate(s.observed, pulses=s.pulses, tmin=40, tmax=181, pulse_length=20)

    print("true starts: ", " ".join(map(str, s.positions)))
    print("found starts:", " ".join(map(str, found.positions)))
    for row in found.rows:
        print(f"stage {row.label}: measure {row.measure}, squares {row.squares}")
    error = np.abs(found.positions - s.positions)
    print(f"{int((error == 0).sum())} of {s.pulses} starts exact, the largest error {int(error.max())} samples")

    t = np.arange(s.length)
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(11, 5.5), sharex=True, constrained_layout=True)
    top.plot(t, s.pure, color="black", linewidth=0.8)
    top.plot(s.positions, np.full(s.pulses, s.pure.max() * 1.2), "v", color="tab:green", markersize=5)
    top.set_ylim(s.pure.min() * 1.1 - 1, s.pure.max() * 1.35 + 1)
    top.set_title(f"pure series: {s.pulses} pulses of etalon {args.etalon}, {s.pulse_length} samples, starts "
                  f"{s.tmin} to {s.tmax} apart (green: the true starts)", fontsize=10)
    bottom.plot(t, s.observed, color="0.35", linewidth=0.6)
    for start in found.positions:
        bottom.axvspan(start, start + s.pulse_length - 1, color="tab:red", alpha=0.25, linewidth=0)
    bottom.plot(s.positions, np.full(s.pulses, s.observed.max() * 1.15), "v", color="tab:green", markersize=5)
    bottom.set_ylim(s.observed.min() * 1.1, s.observed.max() * 1.3)
    bottom.set_title(f"observed series (noise level {s.noise_level}) with the pulses quillmore.estimate found "
                     f"(red: {found.rows[-1].label} stage, measure {found.measure})", fontsize=10)
    bottom.set_xlabel("sample")
    bottom.set_xlim(0, s.length - 1)
    fig.savefig(args.out, dpi=100)
    print("picture:", args.out)


if __name__ == "__main__":
    main()
