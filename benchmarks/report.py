"""The report of a run: the terminal table with its goals and notes, and the user document that
--write makes of it (document.py) with its figure (figure.py)."""

from __future__ import annotations

import datetime
import importlib.metadata
import math
import os
import platform
import subprocess
import sys
from pathlib import Path

import document
import figure
from workloads import WORKLOAD_NOTES

ROOT = Path(__file__).resolve().parent.parent

COLUMNS = ["workload", "n", "calls", "before", "nodeweave", "× before", "per call", "× floor",
           "stim circuit", "× stim circuit", "stim calls", "× stim calls", "literal", "peak B/qubit"]


def fmt_time(seconds):
    if seconds is None:
        return "—"
    for unit, scale in (("s", 1), ("ms", 1e-3), ("µs", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def fmt_ratio(value):
    return "—" if value is None else f"{value:.3g}"


def fmt_n(n):
    exponent = math.log10(n) if n > 0 else 0
    return f"1e{round(exponent)}" if n >= 1000 and abs(exponent - round(exponent)) < 1e-9 else str(n)


def row(cell):
    """The table row of a measured cell, keyed by column."""
    results = cell["results"]
    own = results.get("nodeweave")

    def ratio(other):
        other = results.get(other)
        return fmt_ratio(None if own is None or not other else own / other)

    return {"workload": f"{cell['key']}. {cell['label']}", "n": fmt_n(cell["n"]),
            "calls": str(cell["calls"]), "before": fmt_time(results.get("before")),
            "nodeweave": fmt_time(own), "× before": ratio("before"),
            "per call": fmt_time(None if own is None else own / cell["calls"]),
            "× floor": fmt_ratio(cell["floor_ratio"] if own is not None else None),
            "stim circuit": fmt_time(results.get("stim circuit")), "× stim circuit": ratio("stim circuit"),
            "stim calls": fmt_time(results.get("stim calls")), "× stim calls": ratio("stim calls"),
            "literal": fmt_time(results.get("literal")),
            "peak B/qubit": "—" if cell["memory"] is None else f"{cell['memory']:.1f}"}


def floor_row(columns, floor, calls):
    """The first row: calls to the floor, floor seconds per call."""
    return dict.fromkeys(columns, "—") | {
        "workload": "floor: Floor.gate(qubit)", "calls": str(calls),
        "nodeweave": fmt_time(floor * calls), "per call": fmt_time(floor), "× floor": "1"}


def table(columns, rows):
    """A markdown table of rows (dicts keyed by column)."""
    lines = ["| " + " | ".join(columns) + " |", "|" + "---|" * len(columns)]
    return "\n".join(lines + ["| " + " | ".join(r[c] for c in columns) + " |" for r in rows])


def print_report(text, goals, notes, elapsed):
    print(text)
    print("\nGoals:\n" + "\n".join(goals))
    if notes:
        print("\nNotes:\n" + "\n".join(f"- {note}" for note in notes))
    print(f"\nTotal {elapsed:.0f} s.")


def write_document(path, *, arguments, elapsed, reduced, first, cells, stops, floor):
    """Writes the user document of this run to path, and its figure beside it (same name, .svg)
    when matplotlib is there. first: the floor's row; floor: seconds per call of the floor."""
    shown, shared = machine(), os.getloadavg()[1] > (os.cpu_count() or 1)
    image = path.with_suffix(".svg")
    drawn = figure.draw(figure.points_from_cells(cells), floor, image)
    if not drawn:
        print("no figure: it needs matplotlib (pip install \".[bench]\") and a workload other than a",
              file=sys.stderr)
    path.write_text(document.document(
        command=user_command(arguments), elapsed=elapsed, reduced=reduced, machine=shown,
        rows=[first | {"workload": "floor: a bare method call"}] + list(map(row, cells)),
        cells=cells, workloads=WORKLOAD_NOTES, shared=shared, stops=stops,
        figure=image.name if drawn else None))


def machine():
    cpu = "unknown"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    versions = []
    for package in ("nodeweave", "stim"):
        try:
            versions.append(f"{package} {importlib.metadata.version(package)}")
        except importlib.metadata.PackageNotFoundError:
            versions.append(f"{package} not installed")
    try:
        commit = subprocess.run(["git", "-C", str(ROOT), "describe", "--always", "--dirty"],
                                capture_output=True, text=True).stdout.strip() or "unknown"
    except OSError:
        commit = "unknown"
    memory = "unknown"
    try:
        for line in open("/proc/meminfo"):
            if line.startswith("MemTotal"):
                memory = f"{int(line.split()[1]) / 2**20:.1f} GiB"
    except OSError:
        pass
    return [f"CPU: {cpu}, {os.cpu_count()} logical cores, {memory} memory",
            f"OS: {platform.system()} {platform.release()}",
            f"Python {platform.python_version()} ({platform.python_implementation()})",
            "Packages: " + ", ".join(versions),
            f"Source tree: {commit}",
            "Load average (1, 5, 15 min) at the end: " + ", ".join(f"{x:.2f}" for x in os.getloadavg()),
            f"Date: {datetime.datetime.now().astimezone().strftime('%Y-%m-%d %H:%M %Z')}"]


def user_command(arguments):
    """The command line of this run as the document shows it: without the before build's directory
    and with the document at its usual place."""
    shown, skip = [], False
    for argument in arguments:
        if skip:  # the value of --baseline, or the file of --write if one follows
            skip = False
            if not argument.startswith("-"):
                continue
        if argument.startswith("--baseline"):
            skip = argument == "--baseline"
        elif argument.startswith("--write"):
            shown.append("--write")
            skip = argument == "--write"
        else:
            shown.append(argument)
    return " ".join(["python benchmarks/run.py"] + shown)

