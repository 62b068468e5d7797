#!/usr/bin/env python3
"""The figure of the benchmarks document: time per call against qubits, log–log, nodeweave beside
stim and the call floor, one panel per family of workloads.

benchmarks/run.py --write draws it beside the document from the run's cells. Run on its own, this
script draws it again from the Results table of a document written earlier:

    python benchmarks/figure.py [docs/benchmarks.md]    # writes docs/benchmarks.svg

The per-call workloads (a) run at one size each and stay in the table only.
"""

from __future__ import annotations

import re
import sys
from pathlib import Path

# (panel title, workload letters)
FAMILIES = [
    ("Sparse states: clusters, GHZ, random sparse", "bcde"),
    ("Built gate by gate: star, GHZ chain", "g"),
    ("Dense states and a random circuit", "fhk"),
    ("Error-correction memory circuits", "ij"),
]
# (simulator, colour, line style); stim's times are divided by the same number of calls
SIMULATORS = [("nodeweave", "tab:blue", "-"), ("stim circuit", "tab:red", "--"),
              ("stim calls", "tab:orange", "-.")]
MARKERS = "osD^v"
UNITS = {"s": 1.0, "ms": 1e-3, "µs": 1e-6, "ns": 1e-9}


def points_from_cells(cells):
    """The figure's data from a run: one point per measured workload and size."""
    return [dict(key=c["key"], label=c["label"], n=c["n"], calls=c["calls"],
                 times={name: c["results"].get(name) for name, _, _ in SIMULATORS}) for c in cells]


def points_from_document(text):
    """(points, floor seconds per call) from the Results table of a benchmarks document."""
    lines = [line for line in text.split("## Results", 1)[1].splitlines() if line.startswith("|")]
    rows = [[cell.strip() for cell in line.strip().strip("|").split("|")] for line in lines]
    rows = [dict(zip(rows[0], row)) for row in rows[2:]]
    floor = parse_time(rows[0]["per call"])
    points = []
    for row in rows[1:]:
        key, label = row["workload"].split(". ", 1)
        points.append(dict(key=key, label=label, n=int(float(row["n"])), calls=int(row["calls"]),
                           times={name: parse_time(row[name]) for name, _, _ in SIMULATORS}))
    return points, floor


def parse_time(text):
    """Seconds of a time as the table prints it ("2.27 ms"); None for "—"."""
    if text == "—":
        return None
    value, unit = text.split()
    return float(value) * UNITS[unit]


def series(points, letters):
    """{(key, workload name): points} of the workloads with these letters, sizes in order; a code's
    sizes (", d = ...") make one series."""
    grouped = {}
    for point in points:
        if point["key"] in letters:
            grouped.setdefault((point["key"], point["label"].split(", d = ")[0]), []).append(point)
    return {name: sorted(group, key=lambda p: p["n"]) for name, group in grouped.items()}


def short(key, name):
    """A legend's name of a workload: its letter and its name up to the first colon or comma."""
    return f"{key}. {re.split('[:,]', name)[0]}"


def time_label(seconds, _position=None):
    for unit, scale in UNITS.items():
        if seconds >= scale * 0.999:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def panel(axes, title, groups, floor):
    """One family: each workload a marker, each simulator a colour and line style."""
    from matplotlib.lines import Line2D
    from matplotlib.ticker import FuncFormatter, LogLocator, NullFormatter

    handles = []
    for (key, name), marker in zip(groups, MARKERS):
        group = groups[key, name]
        for simulator, colour, style in SIMULATORS:
            shown = [(p["n"], p["times"][simulator] / p["calls"]) for p in group
                     if p["times"].get(simulator)]
            if shown:
                axes.plot(*zip(*shown), color=colour, linestyle=style, marker=marker, markersize=5)
        handles.append(Line2D([], [], color="0.2", marker=marker, linestyle="none",
                              label=short(key, name)))
    if floor:
        axes.axhline(floor, color="0.45", linestyle=":", linewidth=1.2)
    axes.set(xscale="log", yscale="log", title=title, xlabel="qubits n",
             ylabel="time per call (lower is faster)")
    axes.title.set_fontsize(10)
    axes.yaxis.set_major_locator(LogLocator(base=10))
    axes.yaxis.set_major_formatter(FuncFormatter(time_label))
    axes.yaxis.set_minor_formatter(NullFormatter())
    axes.grid(True, which="major", color="0.9", linewidth=0.6)
    axes.legend(handles=handles, fontsize=8, loc="best", title="workload", title_fontsize=8)


def draw(points, floor, path):
    """Draws the figure of points (floor: seconds per call of the floor) into path, in the format of
    its suffix. False when matplotlib is missing or no workload has a point to draw."""
    try:
        import matplotlib
    except ImportError:
        return False
    matplotlib.use("Agg")
    from matplotlib.figure import Figure
    from matplotlib.lines import Line2D

    families = [(title, series(points, letters)) for title, letters in FAMILIES]
    families = [(title, groups) for title, groups in families if groups]
    if not families:
        return False
    columns = min(2, len(families))
    rows = -(-len(families) // columns)
    with matplotlib.rc_context({"svg.hashsalt": "nodeweave-benchmarks", "font.size": 9}):
        figure = Figure(figsize=(5.2 * columns, 4.0 * rows + 0.5), layout="constrained")
        for axes, (title, groups) in zip(figure.subplots(rows, columns, squeeze=False).flat, families):
            panel(axes, title, groups, floor)
        for axes in figure.axes[len(families):]:
            axes.set_visible(False)
        keys = [Line2D([], [], color=colour, linestyle=style, label=name)
                for name, colour, style in SIMULATORS]
        keys.append(Line2D([], [], color="0.45", linestyle=":", label="call floor"))
        figure.legend(handles=keys, loc="outside upper center", ncols=len(keys), frameon=False)
        figure.savefig(path, metadata={"Date": None} if str(path).endswith(".svg") else None)
    return True


def main(arguments):
    source = Path(arguments[0] if arguments else Path(__file__).resolve().parent.parent /
                  "docs" / "benchmarks.md")
    points, floor = points_from_document(source.read_text())
    target = source.with_suffix(".svg")
    if not draw(points, floor, target):
        sys.exit("no figure drawn: matplotlib is missing or the table has no workload to draw")
    print(f"wrote {target}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
