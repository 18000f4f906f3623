#!/usr/bin/python3
"""The detection error of a statistical simulation against the noise level, drawn with matplotlib.

The quillmore module runs "Detection, Statistical Simulation" (for every
pulse count and noise level of the grid, `repeats` series synthesized and
estimated as the task does), prints the error matrix as `quillmore-cli
simulate` does and draws the chart `quillmore-cli simulate --plot` draws:
the error against the noise level, one curve per pulse count, each with a
marker of its own, the y axis from 0.

    PYTHONPATH=build/release/python examples/python/simulation_chart.py [--out chart.png]
"""

import argparse
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
try:
    import quillmore  # noqa: E402
except ImportError:  # run from a checkout after scripts/start or scripts/test
    sys.path.insert(0, os.path.join(ROOT, "build", "release", "python"))
    import quillmore  # noqa: E402

# The workbench's names of the task and series-type codes a simulation carries.
TASKS = {8: "joint detection and estimation", 16: "joint detection and estimation", 32: "blind detection"}
SERIES_TYPES = {
    1: "known number of whole pulses",
    2: "known number of cut-off pulses",
    4: "unknown number of whole pulses",
    8: "unknown number of cut-off pulses",
}
# The command line chart's colours and markers (filled, then open), in its order.
COLOURS = ["#0000e6", "#009600", "#e67800", "#9600aa", "#00a0aa", "#785014", "#5a5a5a"]
MARKERS = ["s", "o", "^", "D", "s", "o", "v", "x"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default="simulation-chart.png")
    parser.add_argument("--series-type", choices=["fixed", "unfixed"], default="fixed")
    parser.add_argument("--task", choices=["joint", "detection"], default="joint")
    parser.add_argument("--length", type=int, default=1200)
    parser.add_argument("--pulses-from", type=int, default=6)
    parser.add_argument("--pulses-to", type=int, default=12)
    parser.add_argument("--pulses-incr", type=int, default=2)
    parser.add_argument("--noise-from", type=int, default=0)
    parser.add_argument("--noise-steps", type=int, default=12)
    parser.add_argument("--noise-incr", type=int, default=10)
    parser.add_argument("--repeats", type=int, default=20)
    args = parser.parse_args()

    r = quillmore.simulate(series_type=args.series_type, task=args.task, length=args.length,
                           pulses_from=args.pulses_from, pulses_to=args.pulses_to, pulses_incr=args.pulses_incr,
                           noise_from=args.noise_from, noise_steps=args.noise_steps, noise_incr=args.noise_incr,
                           repeats=args.repeats)

    # The matrix as `quillmore-cli simulate` prints it: one row per noise level.
    print("pulse values:", " ".join(map(str, r.pulse_values)))
    print("noise levels:", " ".join(map(str, r.noise_levels)))
    print(f"repeats: {r.repeats}")
    print("detection errors (one row per noise level):")
    for level, row in zip(r.noise_levels, r.errors):
        print(f"{level:6d} |" + "".join(f" {e:8d}" for e in row))

    fig, ax = plt.subplots(figsize=(11, 6.2), constrained_layout=True)
    # The noise levels stand evenly spaced, as the grid lays them out.
    x = range(len(r.noise_levels))
    for j, pulses in enumerate(r.pulse_values):
        marker = MARKERS[j % len(MARKERS)]
        face = "white" if j % len(MARKERS) in (4, 5) else None
        ax.plot(x, r.errors[:, j], color=COLOURS[j % len(COLOURS)], marker=marker, markersize=5,
                markerfacecolor=face, linewidth=1.6, label=f"{pulses} pulse" + ("" if pulses == 1 else "s"))
    every = max(1, -(-len(r.noise_levels) // 20))
    ax.set_xticks(list(x)[::every], [str(level) for level in r.noise_levels[::every]])
    # From 0 to the first round step at or above the largest error.
    locator = MaxNLocator(steps=[1, 2, 5, 10], integer=True)
    ax.yaxis.set_major_locator(locator)
    ax.set_ylim(0, locator.tick_values(0, max(1, int(r.errors.max())))[-1])
    ax.grid(axis="y", color="0.8", linewidth=0.6)
    ax.set_xlabel("noise level (standard deviation of the added noise)")
    repeats = f"{r.repeats} repeat" + ("" if r.repeats == 1 else "s")
    ax.set_ylabel(f"detection error: the mean squared start error of a pulse,\nsummed over the {repeats} (samples²)")
    task = TASKS.get(r.task, f"task {r.task}")
    series_type = SERIES_TYPES.get(r.series_type, f"series type {r.series_type}")
    s = r.series
    layout = f"series length {s.length}, pulse length {s.pulse_length}, Tmin {s.tmin}, Tmax {s.tmax}; " if s else ""
    ax.set_title(f"statistical simulation for {task} in series with {series_type}\n{layout}{repeats} per cell",
                 fontsize=10)
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), frameon=False)
    fig.savefig(args.out, dpi=100)
    print("picture:", args.out)


if __name__ == "__main__":
    main()
