"""Goals of the engine work, checked against a run's cells: met or not met for the current build
and for the --baseline build, with both builds' figures. For developers: the user document leaves
them out."""

from __future__ import annotations

from report import fmt_ratio, fmt_time
from workloads import (w_cluster1d, w_cluster2d, w_color, w_dense, w_dense_gates, w_ghz,
                       w_random_circuit, w_single_gate, w_star, w_surface)
import fusion

# Goals of the engine work: (workload, n or None for any, what, checks); for a memory circuit, n is
# the code's distance. A check (figure, bound) compares nodeweave time / peer time for a peer's name,
# the paired × floor for "floor", seconds for "seconds" (strictly below) and peak bytes per qubit for
# "memory"; no checks: reported only.
GOALS = [
    (w_star, 10**4, "star by cz, n = 1e4: no slower than stim's circuit run", [("stim circuit", 1)]),
    (w_star, 10**6, "star by cz, n = 1e6: ≤ 3× the floor per call", [("floor", 3)]),
    (w_ghz, 10**4, "GHZ by cx chain + measure_z, n = 1e4: ≤ stim's circuit run", [("stim circuit", 1)]),
    (w_ghz, 10**5, "GHZ by cx chain + measure_z, n = 1e5", []),
    (w_ghz, 10**6, "GHZ by cx chain + measure_z, n = 1e6: ≤ 3× the floor per call", [("floor", 3)]),
    (w_cluster2d, 100**2, "2D cluster, 100²: ≤ stim", [("stim circuit", 1), ("stim calls", 1)]),
    (w_cluster2d, 316**2, "2D cluster, 316²: < 1 s", [("seconds", 1)]),
    (w_cluster2d, 1000**2, "2D cluster, 1000²", []),
    (w_dense, 300, "random dense, n = 300: no slower than stim per call", [("stim calls", 1)]),
    (w_dense, 2000, "random dense, n = 2000: no slower than stim per call", [("stim calls", 1)]),
    (w_dense_gates, 300, "dense state, gates only, n = 300: ≤ 1× stim per call", [("stim calls", 1)]),
    (w_dense_gates, 1000, "dense state, gates only, n = 1000: ≤ 1× stim per call", [("stim calls", 1)]),
    (w_single_gate, None, "single-qubit gate: ≤ 1.1× the floor", [("floor", 1.1)]),
    (w_cluster1d, 10**6, "1D cluster, n = 1e6: ≤ 2× the floor", [("floor", 2)]),
    (w_cluster1d, 10**6, "memory, 1D cluster, n = 1e6: ≤ 33 B/qubit", [("memory", 33)]),
    (w_surface, 15, "surface code, d = 15: ≤ 3× stim's circuit run, ≤ 4× the floor",
     [("stim circuit", 3), ("floor", 4)]),
    (w_surface, 25, "surface code, d = 25: ≤ 2.5× stim's circuit run, ≤ 4× the floor",
     [("stim circuit", 2.5), ("floor", 4)]),
    (w_surface, 49, "surface code, d = 49: ≤ 1.5× stim's circuit run", [("stim circuit", 1.5)]),
    (w_surface, 75, "surface code, d = 75", []),
    (w_color, 25, "color code, d = 25: ≤ 3× stim's circuit run", [("stim circuit", 3)]),
    (w_random_circuit, 1000, "random CNOT/H/S, n = 1000: ≤ stim's circuit run", [("stim circuit", 1)]),
    (fusion.w_fusion_threshold, 10**6, "fusion network at p_s = 0.5, n = 1e6: ≤ 64 B/qubit",
     [("memory", 64)]),
    (fusion.w_fusion_certain, 10**6, "fusion network at p_s = 1.0, n = 1e6", []),
    (fusion.w_ghz_fusion_chain, 10**6, "GHZ chain by fusion, n = 1e6: ≤ 72 B/qubit (2× a star)",
     [("memory", 72)]),
    (fusion.w_ghz_repeater, 10**6, "GHZ repeater by fusion, n = 1e6: ≤ 72 B/qubit (2× a star)",
     [("memory", 72)]),
]


def goal_figure(cell, what, who):
    """(value, text) of one goal figure for who ("nodeweave" or "before"); value None when missing."""
    own = cell["results"].get(who)
    if what == "memory":
        value = cell["memory" if who == "nodeweave" else "before_memory"]
        return value, "—" if value is None else f"{value:.1f} B/qubit"
    if own is None:
        return None, f"— ({cell['skipped'].get(who, 'not run')})"
    if what == "seconds":
        return own, fmt_time(own)
    if what == "floor":
        value = cell["floor_ratio" if who == "nodeweave" else "before_floor_ratio"]
        return value, f"{fmt_time(own / cell['calls'])} per call, × floor {fmt_ratio(value)}"
    peer = cell["results"].get(what)
    if not peer:
        return None, f"× {what} — ({cell['skipped'].get(what, 'not run')})"
    return own / peer, f"{fmt_time(own)} / {what} {fmt_time(peer)} = {fmt_ratio(own / peer)}"


def verdict(cell, checks, who):
    """(verdict, figures as text) of one goal for who ("nodeweave" or "before")."""
    figures = [(goal_figure(cell, what, who), what, bound) for what, bound in checks] or \
              [(goal_figure(cell, "seconds", who), "seconds", None)]
    shown = "; ".join(f for (_, f), _, _ in figures)
    measured = [(value, what, bound) for (value, _), what, bound in figures if value is not None]
    if not checks:
        return "reported", shown
    if not measured or (who == "nodeweave" and cell["results"].get(who) is None):
        return "not measured", shown
    # peers that could not run leave their checks out (their figure says why)
    met = all(value < bound if what == "seconds" else value <= bound for value, what, bound in measured)
    return "met" if met else "NOT MET", shown


def goal_lines(cells, before):
    """One line per goal: met / not met (with the build of the before column in parentheses), the
    current build's figures, then the before figures of the same run."""
    lines = []
    for builder, n, text, checks in GOALS:
        cell = next((c for c in cells if c["builder"] is builder and n in (None, c["n"], c["size"])), None)
        if cell is None:
            lines.append(f"- not measured: {text} (not in this run)")
            continue
        ours, shown = verdict(cell, checks, "nodeweave")
        line = f"- {ours}"
        if before:
            theirs, shown_before = verdict(cell, checks, "before")
            line += f" (before: {theirs})" if checks else ""
        line += f": {text}: {shown}"
        if before:
            line += f" | before: {shown_before}"
        lines.append(line)
    return lines


def wants_memory(builder, n):
    """Whether a goal bounds the peak memory of this workload at n qubits (then the before build's
    is probed too)."""
    return any(b is builder and m == n and "memory" in dict(checks) for b, m, _, checks in GOALS)
