"""docs/benchmarks.md: the user's account of one benchmark run (what ran, on what, and what it says)."""

from __future__ import annotations

# Columns of the terminal table that the user document leaves out: the before column compares two
# builds of nodeweave during its development, and literal is an internal reference implementation.
USER_COLUMNS = ["workload", "n", "calls", "nodeweave", "per call", "× floor", "stim circuit",
                "× stim circuit", "stim calls", "× stim calls", "peak B/qubit"]

LEGEND = """\
- `nodeweave`, `stim circuit`, `stim calls`: time of the timed part of the workload, per run (the
  median over repeats, each from a fresh simulator; preparation is not timed). `—`: not run (see
  the last section).
- `calls`: method calls of the timed part; for the circuits, a reset counts once, without the
  corrections that follow half of its outcomes. `per call`: nodeweave's time divided by `calls`.
- `× floor`: nodeweave's time over the time of the same calls made to a method of a C extension that
  does next to nothing (it converts its arguments and updates one byte), through the same Python
  loop: the cost of calling from Python at all. 1 would mean nodeweave's work is free; the floor of
  one call is the first row. Each run is paired with floor runs just before and after it.
- `stim circuit`: stim's `TableauSimulator.do_circuit` on the same program as one `stim.Circuit`,
  compiled, with no Python call per gate. `stim calls`: stim's `TableauSimulator` called method by
  method through the same loop as nodeweave (an X or Y measurement is a basis change, `measure`,
  and the change back). `× stim …`: nodeweave's time over stim's; below 1 nodeweave is faster.
- `peak B/qubit`: growth of the peak resident memory of a fresh process that builds the workload and
  runs it in nodeweave, per qubit (the benchmark's own list of calls is made before, and the
  outcomes are not kept); at small n page granularity dominates."""

GUIDANCE = """\
nodeweave keeps a graph of the entanglement, so its cost follows the edges a gate touches. On
sparsely entangled states (chains, lattices, stars, GHZ states, repeater networks; workloads b to
e and g) a gate or a measurement costs a small multiple of a bare Python call (`× floor`), and
nodeweave runs at sizes where a tableau simulator cannot: stim's tableau needs about n²/2 bytes,
so it was not run past n = 20000 here. Its interface suits programs that decide each next gate
from earlier outcomes: one method call per operation, no circuit to compile.

A tableau simulator is the better tool when the state is densely entangled (f, h and the random
circuit k): there a gate can cost nodeweave O(n²/64) word operations and a tableau O(n/64). It
also wins when a fixed circuit runs as a whole, as the error-correction circuits i and j do:
`do_circuit` pays no Python call per gate. For sampling many shots of a noisy error-correction
circuit, stim's compiled samplers (not measured here) are far faster than any gate-by-gate
simulation."""


def summary(cells):
    """One line per workload: nodeweave's time relative to stim's over the sizes both ran."""
    lines, seen = [], {}
    for cell in cells:
        seen.setdefault(cell["label"].split(", d = ")[0], []).append(cell)
    for name, group in seen.items():
        parts = []
        for peer, what in (("stim circuit", "stim's circuit run"), ("stim calls", "stim's calls")):
            ratios = [(c, c["results"]["nodeweave"] / c["results"][peer]) for c in group
                      if c["results"].get("nodeweave") and c["results"].get(peer)]
            if ratios:
                low, high = min(r for _, r in ratios), max(r for _, r in ratios)
                span = f"{ratio(low)}×" if len(ratios) == 1 else f"{ratio(low)}× to {ratio(high)}×"
                unit = "d" if group[0]["distance"] else "n"
                sizes = sorted({c["distance"] or c["n"] for c, _ in ratios})
                where = f"{unit} = {sizes[0]}" + (f" to {sizes[-1]}" if len(sizes) > 1 else "")
                parts.append(f"{span} the time of {what} ({where})")
        lines.append(f"- {group[0]['key']}. {name}: " + ("; ".join(parts) if parts else "stim not run"))
    return lines


def ratio(value):
    return f"{value:.2g}" if value < 100 else f"{value:.0f}"


def table(rows):
    lines = ["| " + " | ".join(USER_COLUMNS) + " |", "|" + "---|" * len(USER_COLUMNS)]
    return "\n".join(lines + ["| " + " | ".join(r[c] for c in USER_COLUMNS) + " |" for r in rows])


def image(figure):
    """The lines that show the figure (a file name beside the document), if there is one."""
    if not figure:
        return []
    return [f"![Time per call against qubits, log–log: nodeweave, stim and the call floor]({figure})",
            "",
            "Time per call against qubits for the workloads run at several sizes (the per-call",
            "workloads a are in the table only); stim's times are divided by the same number of calls.",
            ""]


def document(*, command, elapsed, reduced, machine, rows, cells, workloads, stops, shared=False,
             figure=None):
    """The text of docs/benchmarks.md. rows: table rows keyed by column (the floor's first); stops:
    notes on where a simulator was not run; shared: other work loaded the machine during the run;
    figure: the file name of the figure beside the document, if one was drawn."""
    scope = ("This run measured a reduced set (the options above); without options every\n"
             "workload runs at every size listed under Workloads." if reduced else
             "This is the full run: every workload at every size listed under\nWorkloads.")
    took = f"{elapsed / 60:.0f} minutes" if elapsed >= 120 else f"{elapsed:.0f} s"
    return "\n".join([
        "# Benchmarks", "",
        "How long nodeweave takes on typical workloads when driven from Python, next to stim's",
        "tableau simulator on the same programs, measured on one machine.", "",
        "## Reproducing", "",
        "The call floor comes from the test-support module, which only a build configured for it",
        "installs; stim is the peer:", "",
        "```sh",
        'pip install -C cmake.define.NODEWEAVE_TESTING=ON ".[bench]"',
        command,
        "```", "",
        f"{scope} It took {took}.",
        "The script prints the same table to the terminal; `--write` also writes this file.", "",
        "## Machine", "", *[f"- {line}" for line in machine], "",
        *(["Other work shared the machine during this run (its load average exceeded its cores):",
           "single figures can be off by tens of percent, and the ratios, taken from runs close in",
           "time, less.", ""] if shared else []),
        "## What the figures say", "", GUIDANCE, "",
        "Measured here, nodeweave's time relative to stim's on each workload:", "",
        *summary(cells), "",
        "## Results", "", *image(figure), table(rows), "",
        "## How to read the table", "", LEGEND, "",
        "## Workloads", "", workloads.strip(), "",
        "## Where a simulator was not run", "",
        "A size is skipped for a simulator when its time at the smaller sizes, extrapolated, exceeds",
        "its time cap, or when n exceeds the largest tableau it is given.", "",
        *[f"- {note}" for note in stops], "",
    ])
