#!/usr/bin/env python3
"""nodeweave benchmarks: CPython's call floor, nodeweave and stim measured side by side.

    python benchmarks/run.py                 # full run (about 20 minutes), prints the table and goals
    python benchmarks/run.py --write         # the same, and writes docs/benchmarks.md and .svg from it
    python benchmarks/run.py --quick
    python benchmarks/run.py --sizes 1e3,1e4 --workloads b,d
    python benchmarks/run.py --workloads f,h --sizes fh:300 --baseline none --no-memory

The floor comes from the test-support module `_nodeweave_testing`, which only a build configured with
NODEWEAVE_TESTING installs:

    pip install -C cmake.define.NODEWEAVE_TESTING=ON ".[bench]"

A --baseline build needs it as well (`pip install --no-deps --target DIR
-C cmake.define.NODEWEAVE_TESTING=ON <older checkout>`).

Every workload is a program: an untimed preparation and a timed part, each a list of segments
(gate, qubits) or (gate, (controls, targets)). Each simulator runs the same program through its own
Python interface, in a loop of bound-method calls (stim also as one precompiled stim.Circuit).
Times are medians over repeats of time.perf_counter(); each repeat starts from a fresh simulator.
The workloads i to k are stim circuits translated call by call (circuits.py): their measurements
are recorded, a reset is a measurement and, after MinusOne, a correcting Pauli; stim runs the
circuit itself. After each run their detectors and observables are checked against stim's
noiseless reference, and a mismatch is printed as a WARNING line.

  x floor: nodeweave time / the time of the same program with every call replaced by the floor:
           _nodeweave_testing.Floor.gate (or .gate2 for two-qubit calls), a method of the same
           calling convention that only converts its indices and updates bytes through the
           24x24 product table; the loop, the arguments and the number of calls are the same. Each
           nodeweave repeat is paired with floor runs just before and after it (on a shared
           machine the floor moves with the load); the column is the median of the paired ratios.
           For a circuit the floor replays the calls nodeweave made, a correction where it made
           one (the runs before a repeat replay the previous repeat's calls).
  x stim:  nodeweave time / stim time (below 1: nodeweave is faster).
  before:  the same nodeweave program on the build installed in the --baseline directory, timed
           in a child process that imports nodeweave from there (PYTHONPATH); x before: nodeweave
           time / before time (below 1: the current build is faster). Its own time cap applies.
  peak B/qubit: growth of the peak resident set of a fresh process while it builds and runs the
           workload in nodeweave, per qubit (page and allocator granularity dominate at small n);
           the harness's own list of calls is made before the first reading, and the outcomes
           are not kept.

A size is skipped for a simulator when the time of a whole run (preparation included) at its
smaller sizes, extrapolated with the exponent they show (2 when only one size is known), exceeds
that simulator's time cap.

After the table, each goal of the engine work (listed in goals.py) is checked against the rows: met or
not met for the current build and for the before build, with both builds' figures. The goals, the
before column and the literal column are for developers: --write leaves them out of the user
document (document.py, with its figure from figure.py).

The script is the entry point; the parts live beside it: workloads.py (the programs and their
sizes), circuits.py (stim circuits as programs), runners.py (how each simulator runs a program, and
the child processes), timing.py (repeats, the paired floor, memory, the time caps) and report.py
(the table and the document), with goals.py, document.py and figure.py.
Benchmarks are not tests: nothing here asserts a time.
"""

from __future__ import annotations

import argparse
import gc
import json
import statistics
import sys
import time
from pathlib import Path

import nodeweave

try:
    import _nodeweave_testing
except ImportError:
    sys.exit("benchmarks/run.py needs the test-support module _nodeweave_testing, which this "
             "nodeweave build lacks: reinstall with\n"
             "    pip install -C cmake.define.NODEWEAVE_TESTING=ON \".[bench]\"")

from goals import goal_lines, wants_memory
from report import (COLUMNS, ROOT, floor_row, fmt_n, fmt_time, print_report, row, table,
                    write_document)
from runners import (BeforeRunner, ChildError, LiteralRunner, NodeWeaveRunner, StimCallsRunner,
                     StimCircuitRunner, mismatches)
from timing import (floor_sampler, floor_samples, measure, memory_per_qubit, once,
                    peak_memory_probe, skip_reason, time_workload)
from workloads import DISTANCES, WORKLOADS, build, calls_in, default_sizes

CAPS = {"nodeweave": 60.0, "before": 30.0, "literal": 20.0, "stim calls": 15.0, "stim circuit": 30.0}


def log(message):
    print(message, file=sys.stderr, flush=True)


def make_parser():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true", help="tiny sizes, two repeats (smoke test)")
    parser.add_argument("--sizes", action="append", metavar="[LETTERS:]SIZES",
                        help="comma-separated sizes (qubits) for workloads b to e, or for the workloads "
                             "LETTERS, e.g. 1e3,1e4 or fh:300; may be repeated")
    parser.add_argument("--workloads", help="comma-separated workload letters, e.g. a,b,g")
    parser.add_argument("--baseline", metavar="DIR",
                        help="directory holding a nodeweave build for the before column, e.g. made "
                             "by `pip install --no-deps --target DIR <older checkout>` (default: none)")
    parser.add_argument("--write", nargs="?", const=ROOT / "docs" / "benchmarks.md", metavar="FILE",
                        help="write the user document from this run (not with --quick), by default "
                             "docs/benchmarks.md, and its figure beside it (.svg)")
    parser.add_argument("--no-write", action="store_true", help=argparse.SUPPRESS)  # the default
    parser.add_argument("--no-memory", action="store_true", help="skip the peak memory probes")
    parser.add_argument("--probe-memory", nargs=2, type=int, help=argparse.SUPPRESS)
    parser.add_argument("--time-workload", nargs=2, type=int, help=argparse.SUPPRESS)
    parser.add_argument("--pilot", action="store_true", help=argparse.SUPPRESS)
    return parser


def child(args):
    """A child process: one figure of this process's nodeweave, as JSON."""
    gc.collect()
    gc.freeze()
    if args.probe_memory:
        result = peak_memory_probe(*args.probe_memory)
    else:
        result = time_workload(*args.time_workload, args.quick, args.pilot)
    print(json.dumps(dict(result, module=nodeweave.__file__)))
    return 0


def options(parser, args):
    """(sizes by workload letter from --sizes, the letters of --workloads or None, the --baseline
    directory or None); exits with a usage error on a bad option."""
    if args.quick and args.write:
        parser.error("--write documents a real run; --quick is a smoke test")
    overrides = {}
    for option in args.sizes or []:
        letters, _, values = option.rpartition(":")
        if not set(letters) <= set("bcdefghijkl"):
            parser.error(f"--sizes {option}: the letters before ':' must be among b to l")
        for letter in letters or "bcde":
            overrides[letter] = [int(float(value)) for value in values.split(",")]
    selected = set(args.workloads.split(",")) if args.workloads else None
    if args.baseline is None or args.baseline.lower() == "none":
        return overrides, selected, None
    if not Path(args.baseline).is_dir():
        parser.error(f"--baseline {args.baseline}: no such directory")
    return overrides, selected, Path(args.baseline)


class Session:
    """One run: its options and runners, and what it gathers: the cells of the table, notes for the
    terminal and stops (where nodeweave or stim did not run, and why) for the user document."""

    def __init__(self, args, overrides, selected, baseline):
        self.quick, self.no_memory, self.baseline = args.quick, args.no_memory, baseline
        self.sizes, self.overrides, self.selected = default_sizes(args.quick), overrides, selected
        self.caps = {name: 2.0 for name in CAPS} if args.quick else dict(CAPS)
        self.floor_calls = 2000 if args.quick else 1 << 17
        self.notes, self.stops, self.cells, self.probed = [], [], [], False
        self.peers, self.nodeweave, self.before, self.literal = [], NodeWeaveRunner(), None, None
        try:
            import stim
            self.peers += [StimCircuitRunner(stim), StimCallsRunner(stim)]
        except ImportError as error:
            self.note(f"stim skipped: cannot import it ({error}).", log_it=True)

    def note(self, message, log_it=False, stop=False):
        self.notes.append(message)
        if log_it:
            log(message)
        if stop:
            self.stops.append(message)

    def floor(self):
        """The floor's median time per call."""
        return statistics.median(floor_samples(self.floor_calls, 3 if self.quick else 21))

    def start_runners(self):
        """The before and literal runners, where they can run. One tiny run of the before build
        first, so that a directory without a usable build drops the column at once."""
        if self.baseline:
            self.before = BeforeRunner(self.baseline, self.quick)
            try:
                self.before.time(0, 8, pilot=True)
            except ChildError as error:
                self.note(f"no before column: {self.baseline} holds no nodeweave this script can "
                          f"time ({error}).", log_it=True)
                self.before = self.baseline = None
        if hasattr(_nodeweave_testing, "literal_cz"):
            self.literal = LiteralRunner()
        else:
            self.note("literal skipped: this build's _nodeweave_testing has no literal_cz.")

    def runners_for(self, key, per_call):
        runners = [self.nodeweave] + [self.before] * bool(self.before)
        runners += [p for p in self.peers if not (per_call and p.name == "stim circuit")]
        if key == "g" and self.literal:
            runners.append(self.literal)
        return runners

    def timer(self, runner, index):
        """timer(size): the time of one whole run of the workload (preparation included), for the
        pilot runs."""
        if runner is self.before:
            return lambda size: self.before.time(index, size, pilot=True)["total"]
        return lambda size: once(runner, *build(index, size))[1]

    def time_cell(self, runner, cell, program):
        """The timing of runner on the cell's program: median, whole first run, paired floor ratio
        and, for a circuit, the detectors and observables it got wrong."""
        n, prep, timed = program
        if runner is self.before:  # paired with the floor in the child
            timing = self.before.time(cell["index"], cell["size"])
            cell["before_floor_ratio"] = timing["floor_ratio"]
            return timing
        # Paired with the same program, each call replaced by the floor of its arity.
        paired = floor_sampler(n, timed, runner) if runner is self.nodeweave else None
        timing = measure(runner, n, prep, timed, self.quick, paired)
        timing["mismatches"] = mismatches(runner, timed)
        return timing

    def probe_memory(self, cell, per_call):
        """Peak memory per qubit of the cell (--quick probes one cell, to exercise the probe), and
        the before build's where a goal bounds it."""
        results, index, size = cell["results"], cell["index"], cell["size"]
        probe = not per_call and not self.no_memory and results.get("nodeweave") is not None
        if probe and not (self.quick and self.probed):
            cell["memory"] = memory_per_qubit(index, size)
            self.probed = True
        if wants_memory(cell["builder"], cell["n"]) and not self.no_memory \
                and results.get("before") is not None:
            cell["before_memory"] = memory_per_qubit(index, size, self.baseline)


def new_cell(index, size, program):
    key, label, builder, _, size_key = WORKLOADS[index]
    n, _, timed = program
    return dict(index=index, key=key, label=label.format(size=size), builder=builder, n=n, size=size,
                distance=size if size_key in DISTANCES else None, calls=calls_in(timed), results={},
                skipped={}, floor_ratio=None, before_floor_ratio=None, memory=None, before_memory=None)


def measure_workload(session, index):
    """The cells of one workload, size after size; a runner that stops at a size (over its cap or
    its largest n) skips the larger ones too."""
    key, _, _, per_call, size_key = WORKLOADS[index]
    runners = session.runners_for(key, per_call)
    history = {runner.name: [] for runner in runners}  # (n, seconds of a whole run) by runner
    stopped = {}  # runner name -> why it stopped
    for size in session.overrides.get(key, session.sizes[size_key]):
        try:
            program = build(index, size)
        except ImportError as error:  # the circuits come from stim
            session.note(f"{key}. skipped: cannot import stim to make its circuits ({error}).",
                         log_it=True)
            break
        cell = new_cell(index, size, program)
        for runner in runners:
            measure_runner(session, cell, runner, program, history[runner.name], stopped)
        session.probe_memory(cell, per_call)
        session.cells.append(cell)


def measure_runner(session, cell, runner, program, history, stopped):
    """One runner on one cell: skipped, stopped (noted) or timed into the cell's results."""
    name, n, title = runner.name, program[0], cell["label"]
    if name in stopped:
        cell["skipped"][name] = stopped[name]
        return
    timing = {}
    try:
        reason = skip_reason(runner, cell["index"], cell["size"], n, history, session.caps[name],
                             session.timer(runner, cell["index"]))
        if reason:
            stopped[name] = reason
        else:
            timing = session.time_cell(runner, cell, program)
    except ChildError as error:
        stopped[name] = f"its child process failed: {error}"
    if timing.get("mismatches"):
        session.note(f"WARNING: {title}: {name}: {timing['mismatches']} detectors or observables "
                     "differ from stim's noiseless reference.", log_it=True, stop=True)
    if name in stopped:
        session.note(f"{title}: {name} stops at n = {fmt_n(n)}: {stopped[name]}", log_it=True,
                     stop=name not in ("before", "literal"))
        cell["skipped"][name] = stopped[name]
        return
    if runner is session.nodeweave:
        cell["floor_ratio"] = timing["floor_ratio"]
    history.append((n, timing["total"]))
    cell["results"][name] = timing["median"]
    log(f"{title} n={fmt_n(n)} {name}: {fmt_time(timing['median'])}")


def finish(session, args, floor, started):
    """Prints the table, the goals and the notes; with --write, writes the user document."""
    columns = [c for c in COLUMNS if session.before or c not in ("before", "× before")]
    first = floor_row(columns, floor, session.floor_calls)
    text = table(columns, [first] + [row(cell) for cell in session.cells])
    elapsed = time.perf_counter() - started
    session.notes.append(f"floor per call: {fmt_time(floor)} at the start, "
                         f"{fmt_time(session.floor())} at the end.")
    if session.before:
        session.notes.insert(0, f"before: nodeweave from {session.before.module}, timed in child "
                                f"processes (PYTHONPATH={session.baseline}), with a cap of "
                                f"{session.caps['before']:.0f} s per run.")
    print_report(text, goal_lines(session.cells, bool(session.before)), session.notes, elapsed)
    if args.write:
        path = Path(args.write)
        write_document(path, arguments=sys.argv[1:], elapsed=elapsed,
                       reduced=bool(args.sizes or args.workloads), first=first, cells=session.cells,
                       stops=session.stops + [session.notes[-1]], floor=floor)
        log(f"wrote {path}")


def main():
    parser = make_parser()
    args = parser.parse_args()
    if args.probe_memory or args.time_workload:
        return child(args)
    session = Session(args, *options(parser, args))
    gc.collect()
    gc.freeze()  # the modules' own objects: keeps the collection before each timed run short
    started = time.perf_counter()
    floor = session.floor()
    log(f"floor: {fmt_time(floor)} per call")
    session.start_runners()
    for index, (key, *_) in enumerate(WORKLOADS):
        if not session.selected or key in session.selected:
            measure_workload(session, index)
    finish(session, args, floor, started)
    return 0


if __name__ == "__main__":
    sys.exit(main())
