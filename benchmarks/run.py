#!/usr/bin/env python3
"""nodeweave benchmarks: CPython's call floor, nodeweave and stim measured side by side.

    python benchmarks/run.py                 # full run (about 20 minutes), prints the table and goals
    python benchmarks/run.py --write         # the same, and writes docs/benchmarks.md from it
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
           workload in nodeweave, per qubit (page and allocator granularity dominate at small n).

A size is skipped for a simulator when the time of a whole run (preparation included) at its
smaller sizes, extrapolated with the exponent they show (2 when only one size is known), exceeds
that simulator's time cap.

After the table, each goal of the engine work (listed in GOALS) is checked against the rows: met or
not met for the current build and for the before build, with both builds' figures. The goals, the
before column and the literal column are for developers: --write leaves them out of the user
document (document.py).
Benchmarks are not tests: nothing here asserts a time.
"""

from __future__ import annotations

import argparse
import datetime
import functools
import gc
import importlib.metadata
import json
import math
import os
import platform
import random
import statistics
import subprocess
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

import circuits
import document
import fusion
from circuits import RECORDED, RESETTING, CircuitProgram

ROOT = Path(__file__).resolve().parent.parent
SEED = 20240611

SINGLE = {"h", "s", "sdag", "x", "y", "z", "measure_x", "measure_y", "measure_z"}
TWO = {"cz", "cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"}

# ---- workloads -------------------------------------------------------------------------------


def lattice_edges(side):
    """cz segments of a side x side square lattice, qubit (r, c) = r * side + c."""
    n = side * side
    segments = [("cz", (range(r * side, r * side + side - 1), range(r * side + 1, r * side + side)))
                for r in range(side)]
    segments.append(("cz", (range(0, n - side), range(side, n))))
    return segments


def diagonal_pairs(side, rng):
    """Pairs (q, q + side + 1) of diagonal neighbours, not joined in the lattice, one per 4 x 4 block
    and in random order. Sparser pairs keep the degrees small: each reduction complements about a
    neighbour, and denser pairs let those complementations percolate into a dense graph."""
    pairs = [(r * side + c, r * side + c + side + 1)
             for r in range(0, side - 1, 4) for c in range(0, side - 1, 4)]
    rng.shuffle(pairs)
    return [a for a, _ in pairs], [b for _, b in pairs]


def w_single_gate(n, rng, calls):
    return 64, [], [("h", [i % 64 for i in range(calls)])]


def w_cz_pair(n, rng, calls):
    controls = [2 * (i % 32) for i in range(calls)]
    return 64, [("h", range(64))], [("cz", (controls, [c + 1 for c in controls]))]


def w_cz_small_degree(reduce):
    def build(n, rng, calls):
        side = n
        prep = [("h", range(side * side))] + lattice_edges(side)
        if reduce:  # every VOP becomes H, so each cz first reduces both operands' VOPs
            prep.append(("h", range(side * side)))
        return side * side, prep, [("cz", diagonal_pairs(side, rng))]
    return build


def w_cluster1d(n, rng):
    return n, [], [("h", range(n)), ("cz", (range(n - 1), range(1, n))), ("measure_x", range(n))]


def w_cluster2d(n, rng):
    side = max(2, math.isqrt(n))
    n = side * side
    timed = [("h", range(n))] + lattice_edges(side)
    for c in range(side):  # column by column, a checkerboard of Y and X measurements
        timed.append(("measure_y" if c % 2 == 0 else "measure_x", range(c, n, 2 * side)))
        timed.append(("measure_x" if c % 2 == 0 else "measure_y", range(c + side, n, 2 * side)))
    return n, [], timed


def w_ghz(n, rng):
    return n, [], [("h", range(1)), ("cx", (range(n - 1), range(1, n))), ("measure_z", range(n))]


def random_pairs(n, count, rng, reach):
    controls, targets = [], []
    for _ in range(count):
        a = rng.randrange(n - reach)
        controls.append(a)
        targets.append(a + rng.randint(1, reach))
    return controls, targets


def w_sparse(n, rng, layers=4):
    timed = [("h", range(n))]
    for _ in range(layers):
        timed.append(("s", sorted(rng.sample(range(n), n // 4))))
        timed.append(("h", sorted(rng.sample(range(n), n // 4))))
        timed.append(("cz", random_pairs(n, n // 4, rng, 3)))
        timed.append(("cx", random_pairs(n, n // 4, rng, 3)))
    timed += [("measure_z", range(0, n, 2)), ("measure_x", range(1, n, 2))]
    return n, [], timed


def dense_layers(n, rng, layers):
    """Layers of s and h on random halves and a random perfect matching, half cz and half cx."""
    segments = []
    for _ in range(layers):
        segments.append(("s", rng.sample(range(n), n // 2)))
        segments.append(("h", rng.sample(range(n), n // 2)))
        order = list(range(n))
        rng.shuffle(order)
        half = n // 4 * 2
        segments.append(("cz", (order[0:half:2], order[1:half:2])))
        segments.append(("cx", (order[half::2], order[half + 1::2])))
    return segments


def w_dense(n, rng, layers=20):
    timed = [("h", range(n))] + dense_layers(n, rng, layers)
    third = n // 3
    timed += [("measure_x", range(third)), ("measure_y", range(third, 2 * third)),
              ("measure_z", range(2 * third, n))]
    return n, [], timed


def w_dense_gates(n, rng, layers=20):
    """Gates only on a state made dense first: the preparation is the random dense circuit
    without its measurements."""
    prep = [("h", range(n))] + dense_layers(n, rng, 20)
    return n, prep, dense_layers(n, rng, layers)


def w_star(n, rng):
    return n, [("h", range(n))], [("cz", ([0] * (n - 1), range(1, n)))]


def w_ghz_chain(n, rng):
    return n, [("h", range(1))], [("cx", (range(n - 1), range(1, n)))]


def w_surface(d, rng):
    import stim
    program = circuits.translate(circuits.memory_circuit(stim, "surface_code:rotated_memory_z", d))
    return program.circuit.num_qubits, [], program


def w_color(d, rng):
    import stim
    program = circuits.translate(circuits.memory_circuit(stim, "color_code:memory_xyz", d))
    return program.circuit.num_qubits, [], program


def w_random_circuit(n, rng):
    import stim
    return n, [], circuits.translate(circuits.random_cnot_h_s(stim, n, 10 * n, rng))


# (key, label, builder, per_call, sizes key); {size} in a label is the size (a code's distance)
WORKLOADS = [
    ("a", "single-qubit gate h, isolated qubit", w_single_gate, True, "calls"),
    ("a", "cz on an isolated pair", w_cz_pair, True, "calls"),
    ("a", "cz, lattice diagonal, VOPs identity", w_cz_small_degree(False), True, "side"),
    ("a", "cz, lattice diagonal, VOPs H (reduced)", w_cz_small_degree(True), True, "side"),
    ("b", "1D cluster: h, cz chain, measure_x", w_cluster1d, False, "scale"),
    ("c", "2D cluster, X/Y checkerboard", w_cluster2d, False, "scale"),
    ("d", "GHZ: cx chain, measure_z", w_ghz, False, "scale"),
    ("e", "random sparse, 4 layers, reach 3", w_sparse, False, "scale"),
    ("f", "random dense, 20 layers", w_dense, False, "dense"),
    ("g", "star by cz from a hub (per cz)", w_star, False, "hub"),
    ("g", "GHZ build by cx chain (per cx)", w_ghz_chain, False, "hub"),
    ("h", "dense state, gates only, 20 layers", w_dense_gates, False, "gates"),
    ("i", "surface-code memory circuit, d = {size}", w_surface, False, "surface"),
    ("j", "color-code memory circuit, d = {size}", w_color, False, "color"),
    ("k", "random CNOT/H/S circuit, 10n gates, M all", w_random_circuit, False, "random"),
    ("l", "fusion network of 5-qubit stars, p_s = 0.5", fusion.w_fusion_threshold, False, "scale"),
    ("l", "fusion network of 5-qubit stars, p_s = 1.0", fusion.w_fusion_certain, False, "scale"),
    ("l", "GHZ by fusion: chain of 10-qubit GHZ states", fusion.w_ghz_fusion_chain, False, "scale"),
    ("l", "GHZ by fusion: repeater tree of GHZ states", fusion.w_ghz_repeater, False, "scale"),
]
DISTANCES = {"surface", "color"}  # sizes that are a code's distance, not a number of qubits

WORKLOAD_NOTES = """
- a. Per-call costs. `h` on 64 isolated qubits in turn; `cz` on 32 isolated pairs in turn (each pair
  alternately gains and loses its edge); `cz` between diagonal neighbours (q, q + side + 1) of a
  100 x 100 cluster state, one pair per 4 x 4 block in random order, with every VOP the identity
  (no reduction) or H (both operands reduced first; degrees stay at most about 9).
- b. 1D cluster: `h` on every qubit, `cz(q, q + 1)` for every q, `measure_x` on every qubit.
- c. 2D cluster on a side x side lattice (side = isqrt(n)): `h`, the lattice's `cz`s row by row, then
  column by column a checkerboard of `measure_y` / `measure_x`.
- d. GHZ: `h(0)`, `cx(q, q + 1)` for every q, `measure_z` on every qubit.
- e. Random sparse: `h` on all, then 4 layers of `s` and `h` on random quarters of the qubits and
  n/4 `cz` and n/4 `cx` between q and q + 1..3 (random q), then `measure_z` / `measure_x` alternately.
- b to e run at n = 1e3 to 1e6 (the 2D cluster at sides 31, 100, 316 and 1000).
- f. Random dense: `h` on all, then 20 layers of `s` and `h` on random halves and a random perfect
  matching (half `cz`, half `cx`), then thirds measured in X, Y and Z; n = 100, 300, 2000.
- g. Star: `h` on all (untimed), then `cz(0, q)` for every q. GHZ build: `h(0)` (untimed), then
  `cx(q, q + 1)` for every q, no measurement; n = 1e2 to 1e6.
- h. Dense state, gates only: the preparation (untimed) is f without its measurements (`h` on all,
  20 layers), which leaves a dense graph; the timed part is 20 further layers of the same gates
  (`s`, `h` on random halves, a random perfect matching of `cz` and `cx`), no measurement;
  n = 300, 1000.
- i to k are circuits in stim's format, translated call by call: each target of an instruction becomes
  one method call (`H` -> `h`, `CX` -> `cx`, `M` -> `measure_z`, `MX` -> `measure_x`, `MY` ->
  `measure_y`, `C_XYZ` -> `sdag` then `h`); a reset `R` is `measure_z` followed by `x` when the
  outcome is MinusOne (`RX`: `measure_x`, then `z`), and `MR` the same with its outcome recorded.
  TICK, DETECTOR, OBSERVABLE_INCLUDE and coordinates cost nothing; REPEAT blocks are unrolled. The
  recorded outcomes are kept in a Python list. `stim circuit` runs the circuit itself.
- i. Surface-code memory: stim's `surface_code:rotated_memory_z` circuit without noise, d rounds of
  stabilizer measurements (2d² − 1 qubits; n is stim's qubit count, which includes unused indices);
  d = 15, 25, 49, 75.
- j. Color-code memory: stim's `color_code:memory_xyz` circuit without noise, d rounds; d = 25.
- k. Random circuit: 10n gates, each a `cx` on two distinct random qubits (probability 0.6), an `h`
  (0.2) or an `s` (0.2) on a random qubit, then `measure_z` on every qubit; n = 1000.
- l. Fusion (fusion.py): side x side 5-qubit stars (side = round(sqrt(n / 5)); `h` on all and `cz`
  from each centre to its four arms, untimed), then row by row each neighbouring pair of arms fused:
  with probability p_s `cx(a, b)`, `h(a)`, `measure_z(a)`, `measure_z(b)`, otherwise the two
  `measure_z` only; p_s = 0.5 is the percolation threshold. GHZ by fusion: n / 10 GHZ states of 10
  qubits (untimed) fused end to end in a line; and n / 16 GHZ states merged pairwise in rounds
  (a repeater tree), every fusion successful.
- After each run of i to k, every detector and observable of the circuit is checked over the recorded
  outcomes: its parity must be the one of stim's noiseless reference sample.
"""


# ---- simulators ------------------------------------------------------------------------------


GATE, GATE2, MEASURE, RESET, REPLAY = range(5)


def execute(segments, outcomes=None):
    """Runs compiled segments (kind, function, arguments, extra); recorded measurements append their
    outcomes to outcomes."""
    append = outcomes.append if outcomes is not None else None
    for kind, function, arguments, extra in segments:
        if kind == GATE:
            for q in arguments:
                function(q)
        elif kind == GATE2:
            for a, b in zip(*arguments):
                function(a, b)
        elif kind == MEASURE:
            for q in arguments:
                append(function(q))
        elif kind == RESET:  # extra: the correction and the outcome that calls for it
            fix, minus = extra
            for q in arguments:
                outcome = function(q)
                append(outcome)
                if outcome == minus:
                    fix(q)
        else:  # REPLAY, the floor's reset: (qubit, corrected) pairs, extra the correction's stand-in
            for q, fixed in arguments:
                append(function(q))
                if fixed:
                    extra(q)


def compile_calls(methods, program, minus=None):
    """Segments of bound methods; methods maps each gate and measure_* name to a callable, and minus
    is the outcome after which a resetting measurement corrects its qubit."""
    segments = []
    for gate, arguments in program:
        if gate in TWO:
            segments.append((GATE2, methods[gate], arguments, None))
        elif gate in RECORDED:
            segments.append((MEASURE, methods[RECORDED[gate]], arguments, None))
        elif gate in RESETTING:
            measure, fix = RESETTING[gate]
            segments.append((RESET, methods[measure], arguments, (methods[fix], minus)))
        else:
            segments.append((GATE, methods[gate], arguments, None))
    return segments


def calls_in(program):
    """Method calls of a program; a resetting measurement counts once (its corrections vary)."""
    return sum(min(map(len, arguments)) if gate in TWO else len(arguments)
               for gate, arguments in program)


class NodeWeaveRunner:
    """nodeweave; outcomes holds the recorded outcomes of the latest run, of the program latest."""
    name = "nodeweave"
    latest = outcomes = None

    def prepare(self, n, prep, timed):
        sim = nodeweave.NodeWeave(n)
        methods = {gate: getattr(sim, gate) for gate in SINGLE | TWO}
        execute(compile_calls(methods, prep))
        segments = compile_calls(methods, timed, nodeweave.MeasurementResult.MinusOne)
        outcomes = []
        self.latest, self.outcomes = timed, outcomes
        return lambda: execute(segments, outcomes)


class FloorRunner:
    """The same program with every call replaced by the call floor of the same arity. For a circuit
    program, the calls are those nodeweave made in a run whose outcomes are given: a resetting
    measurement's correction becomes a floor call where nodeweave applied one."""
    name = "floor"

    def prepare(self, n, prep, timed, outcomes=None):
        floor = _nodeweave_testing.Floor(n)
        methods = {gate: floor.gate for gate in SINGLE} | {gate: floor.gate2 for gate in TWO}
        segments = compile_calls(methods, timed)
        if isinstance(timed, CircuitProgram):
            segments = replay(segments, outcomes, floor.gate)
        record = []
        return lambda: execute(segments, record)


def replay(segments, outcomes, stand_in):
    """Resetting segments turned into (qubit, corrected) pairs from a run's outcomes."""
    minus, position, replayed = nodeweave.MeasurementResult.MinusOne, 0, []
    for kind, function, arguments, extra in segments:
        if kind == RESET:
            fixed = [outcome == minus for outcome in outcomes[position:position + len(arguments)]]
            replayed.append((REPLAY, function, list(zip(arguments, fixed)), stand_in))
        else:
            replayed.append((kind, function, arguments, extra))
        if kind in (MEASURE, RESET):
            position += len(arguments)
    return replayed


def mismatches(runner, timed):
    """Detectors and observables that runner's latest run of a circuit program got wrong (None for
    another program)."""
    if not isinstance(timed, CircuitProgram) or getattr(runner, "latest", None) is not timed:
        return None
    return timed.mismatches(runner.outcomes)


def floor_sampler(n, timed, runner):
    """Two floor runs of the program, for pairing with runner's runs. A circuit program replays the
    calls of runner's latest run of it (none before the first)."""
    def sample():
        outcomes = None
        if isinstance(timed, CircuitProgram):
            if runner.latest is not timed or len(runner.outcomes) != timed.outcomes:
                return []
            outcomes = runner.outcomes
        return [timed_run(FloorRunner().prepare(n, [], timed, outcomes)) for _ in range(2)]
    return sample


class LiteralRunner:
    """nodeweave with every controlled-Z done by the test-support module's step-by-step reference."""
    name = "literal"

    def prepare(self, n, prep, timed):
        sim = nodeweave.NodeWeave(n)
        methods = {gate: getattr(sim, gate) for gate in SINGLE}
        literal_cz, h = _nodeweave_testing.literal_cz, sim.h

        def cz(a, b):
            literal_cz(sim, a, b)

        def cx(a, b):
            h(b)
            literal_cz(sim, a, b)
            h(b)

        methods.update(cz=cz, cx=cx)
        execute(compile_calls(methods, prep))
        segments = compile_calls(methods, timed)
        return lambda: execute(segments)


class StimCallsRunner:
    """stim's TableauSimulator called method by method; outcomes as for NodeWeaveRunner."""
    name = "stim calls"
    max_n = 20000
    latest = outcomes = None

    def __init__(self, stim):
        self.stim = stim

    def prepare(self, n, prep, timed):
        sim = self.stim.TableauSimulator(seed=SEED)
        sim.set_num_qubits(n)
        h, measure, h_yz = sim.h, sim.measure, sim.h_yz

        # stim measures in Z only: a basis change, then back, so that the qubit is left in the
        # eigenstate found (a reset's correction and any later gate act on it)
        def measure_x(q):
            h(q)
            outcome = measure(q)
            h(q)
            return outcome

        def measure_y(q):
            h_yz(q)
            outcome = measure(q)
            h_yz(q)
            return outcome

        methods = {gate: getattr(sim, gate) for gate in TWO} | dict(
            h=h, s=sim.s, sdag=sim.s_dag, x=sim.x, y=sim.y, z=sim.z,
            measure_x=measure_x, measure_y=measure_y, measure_z=measure)
        execute(compile_calls(methods, prep))
        segments = compile_calls(methods, timed, True)
        outcomes = []
        self.latest, self.outcomes = timed, outcomes
        return lambda: execute(segments, outcomes)


class StimCircuitRunner:
    """stim's TableauSimulator.do_circuit on the program as one circuit: for a circuit program the
    circuit it was translated from, noise stripped."""
    name = "stim circuit"
    max_n = 20000
    NAMES = dict(h="H", s="S", sdag="S_DAG", x="X", y="Y", z="Z", cz="CZ", cx="CX",
                 measure_x="MX", measure_y="MY", measure_z="M")

    def __init__(self, stim):
        self.stim = stim

    def circuit(self, program):
        if isinstance(program, CircuitProgram):
            return program.circuit
        circuit = self.stim.Circuit()
        for gate, arguments in program:
            if gate in TWO:
                targets = [q for pair in zip(*arguments) for q in pair]
            else:
                targets = list(arguments)
            if targets:
                circuit.append(self.NAMES[gate], targets)
        return circuit

    def prepare(self, n, prep, timed):
        sim = self.stim.TableauSimulator(seed=SEED)
        sim.set_num_qubits(n)
        sim.do_circuit(self.circuit(prep))
        circuit = self.circuit(timed)
        return lambda: sim.do_circuit(circuit)


# ---- timing ----------------------------------------------------------------------------------


def timed_run(run):
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        run()
        return time.perf_counter() - start
    finally:
        gc.enable()


def repeats_for(first, quick):
    if quick:
        return 2
    return 7 if first < 0.05 else 5 if first < 0.5 else 3 if first < 3 else 1


def once(runner, n, prep, timed):
    """Time of the timed part and of the whole run (preparation included) of one repeat. The
    collection before the timed part is left out of both: it costs about the same at every size,
    and at small sizes it would flatten the growth that the size caps extrapolate."""
    start = time.perf_counter()
    run = runner.prepare(n, prep, timed)
    preparation = time.perf_counter() - start
    seconds = timed_run(run)
    return seconds, preparation + seconds


def measure(runner, n, prep, timed, quick, floor=None):
    """Median time of the timed part over repeats, and the whole first repeat (preparation
    included), which is what the size caps extrapolate. With floor (a sampler of the times of the
    same program on the floor), each repeat is paired with floor samples taken just before and
    after it, and the median of the paired ratios is returned as well: on a shared machine the
    floor moves with the load, and a pair sees the same load."""
    samples, ratios, total = [], [], None
    while len(samples) < (1 if total is None else repeats_for(total, quick)):
        around = floor() if floor else []
        seconds, whole = once(runner, n, prep, timed)
        samples.append(seconds)
        total = whole if total is None else total
        if floor:
            around += floor()
            ratios.append(seconds / statistics.median(around))
    return dict(median=statistics.median(samples), total=total,
                floor_ratio=statistics.median(ratios) if ratios else None)


def floor_samples(calls, repeats):
    floor = _nodeweave_testing.Floor(64)
    segments = [(GATE, floor.gate, [i % 64 for i in range(calls)], None)]
    return [timed_run(lambda: execute(segments)) / calls for _ in range(repeats)]


@functools.lru_cache(maxsize=2)
def build(index, size):
    """The program of workload WORKLOADS[index] at this size: (n, preparation, timed part)."""
    per_call, builder = WORKLOADS[index][3], WORKLOADS[index][2]
    rng = random.Random(SEED + index)
    return builder(size, rng, size) if per_call else builder(size, rng)


def peak_memory_probe(index, size):
    """Runs in a fresh process: growth of the peak resident set while nodeweave runs the workload."""
    n, prep, timed = build(index, size)
    gc.collect()

    def peak():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
        import resource
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024

    try:  # reset the high-water mark to the current resident set
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")
    except OSError:
        pass
    base = peak()
    NodeWeaveRunner().prepare(n, prep, timed)()
    return dict(bytes_per_qubit=(peak() - base) / n)


def time_workload(index, size, quick, pilot):
    """Runs in a child process for the before column: this process's nodeweave on the program."""
    n, prep, timed = build(index, size)
    runner = NodeWeaveRunner()
    if pilot:
        return dict(total=once(runner, n, prep, timed)[1])
    timing = measure(runner, n, prep, timed, quick, floor_sampler(n, timed, runner))
    return timing | dict(mismatches=mismatches(runner, timed))


class ChildError(Exception):
    pass


def run_child(arguments, directory=None, timeout=600):
    """This script in a fresh process, with directory (if any) first on PYTHONPATH so that its
    nodeweave is imported from there; returns the JSON the child prints. The child names the file
    its nodeweave came from, and with a directory that file must lie in it."""
    environment = dict(os.environ)
    if directory is not None:
        environment["PYTHONPATH"] = os.pathsep.join(
            [str(directory)] + ([environment["PYTHONPATH"]] if environment.get("PYTHONPATH") else []))
    try:
        output = subprocess.run([sys.executable, __file__, *map(str, arguments)], env=environment,
                                capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise ChildError(f"no answer within {timeout:.0f} s") from None
    if output.returncode != 0:
        lines = output.stderr.strip().splitlines()
        raise ChildError(lines[-1] if lines else f"exit status {output.returncode}")
    result = json.loads(output.stdout)
    module = Path(result["module"]).resolve()
    if directory is not None and not module.is_relative_to(Path(directory).resolve()):
        raise ChildError(f"its nodeweave came from {module}, not from {directory}")
    return result


def memory_per_qubit(index, size, directory=None):
    try:
        return run_child(["--probe-memory", index, size], directory)["bytes_per_qubit"]
    except ChildError:
        return None


class BeforeRunner:
    """The same nodeweave programs on the nodeweave installed in another directory, each timed in
    a child process (the two builds cannot share one interpreter)."""
    name = "before"

    def __init__(self, directory, quick):
        self.directory, self.quick, self.module = Path(directory).resolve(), quick, None

    def time(self, index, size, pilot=False):
        arguments = ["--time-workload", index, size] + ["--quick"] * self.quick + ["--pilot"] * pilot
        result = run_child(arguments, self.directory)
        self.module = result["module"]
        return result


# ---- the run ---------------------------------------------------------------------------------


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


def predicted(history, n):
    """Extrapolated time of one run (preparation included) at size n from the sizes already
    measured."""
    if not history:
        return 0.0
    (n1, t1) = history[-1]
    exponent = 2.0
    if len(history) >= 2:
        (n0, t0) = history[-2]
        if t0 > 0 and t1 > 0 and n1 != n0:
            exponent = min(4.0, max(1.0, math.log(t1 / t0) / math.log(n1 / n0)))
    return t1 * (n / n1) ** exponent


def pilot(timer, index, size, history, cap, limit):
    """Single untabulated runs at 1/256 to 1/4 of the first size, so that even the first size of a
    workload is skipped when the growth they show would take it past the cap (the smallest first:
    each run is itself skipped when the ones before it predict too long a time). timer(size) is the
    time of a whole run at that size; limit is the runner's largest n, if any."""
    if WORKLOADS[index][4] in DISTANCES:  # no smaller codes: a quarter distance says little
        return
    for fraction in (256, 64, 16, 4):
        if size // fraction < 8:
            continue
        n = build(index, size // fraction)[0]
        if predicted(history, n) > cap or (limit is not None and n > limit):
            return
        history.append((n, timer(size // fraction)))


COLUMNS = ["workload", "n", "calls", "before", "nodeweave", "× before", "per call", "× floor",
           "stim circuit", "× stim circuit", "stim calls", "× stim calls", "literal", "peak B/qubit"]


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


def figure(cell, what, who):
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


def goal_lines(cells, before):
    """One line per goal: met / not met (with the build of the before column in parentheses), the
    current build's figures, then the before figures of the same run."""
    lines = []
    for builder, n, text, checks in GOALS:
        cell = next((c for c in cells if c["builder"] is builder and n in (None, c["n"], c["size"])), None)
        if cell is None:
            lines.append(f"- not measured: {text} (not in this run)")
            continue
        whos = ["nodeweave"] + ["before"] * before
        verdicts, shown = {}, {}
        for who in whos:
            figures = [(figure(cell, what, who), what, bound) for what, bound in checks] or \
                      [(figure(cell, "seconds", who), "seconds", None)]
            shown[who] = "; ".join(f for (_, f), _, _ in figures)
            measured = [(value, what, bound) for (value, _), what, bound in figures if value is not None]
            if not checks:
                verdicts[who] = "reported"
            elif not measured or (who == "nodeweave" and cell["results"].get(who) is None):
                verdicts[who] = "not measured"
            else:  # peers that could not run leave their checks out (their figure says why)
                met = all(value < bound if what == "seconds" else value <= bound
                          for value, what, bound in measured)
                verdicts[who] = "met" if met else "NOT MET"
        line = f"- {verdicts['nodeweave']}"
        if before and checks:
            line += f" (before: {verdicts['before']})"
        line += f": {text}: {shown['nodeweave']}"
        if before:
            line += f" | before: {shown['before']}"
        lines.append(line)
    return lines


def main():
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
                             "docs/benchmarks.md")
    parser.add_argument("--no-write", action="store_true", help=argparse.SUPPRESS)  # the default
    parser.add_argument("--no-memory", action="store_true", help="skip the peak memory probes")
    parser.add_argument("--probe-memory", nargs=2, type=int, help=argparse.SUPPRESS)
    parser.add_argument("--time-workload", nargs=2, type=int, help=argparse.SUPPRESS)
    parser.add_argument("--pilot", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.probe_memory or args.time_workload:  # a child process: one figure as JSON
        gc.collect()
        gc.freeze()
        if args.probe_memory:
            result = peak_memory_probe(*args.probe_memory)
        else:
            result = time_workload(*args.time_workload, args.quick, args.pilot)
        print(json.dumps(dict(result, module=nodeweave.__file__)))
        return 0

    quick = args.quick
    if quick and args.write:
        parser.error("--write documents a real run; --quick is a smoke test")
    sizes = {
        "calls": [2000 if quick else 1 << 17],
        "side": [8 if quick else 100],
        "scale": [100, 300] if quick else [10**3, 10**4, 10**5, 10**6],
        "dense": [16] if quick else [100, 300, 2000],
        "gates": [16] if quick else [300, 1000],
        "hub": [20, 50] if quick else [10**2, 10**3, 10**4, 10**5, 10**6],
        "surface": [3] if quick else [15, 25, 49, 75],
        "color": [3] if quick else [25],
        "random": [16] if quick else [1000],
    }
    overrides = {}  # workload letter -> sizes
    for option in args.sizes or []:
        letters, _, values = option.rpartition(":")
        if not set(letters) <= set("bcdefghijkl"):
            parser.error(f"--sizes {option}: the letters before ':' must be among b to l")
        for letter in letters or "bcde":
            overrides[letter] = [int(float(value)) for value in values.split(",")]
    selected = set(args.workloads.split(",")) if args.workloads else None
    caps = {"nodeweave": 60.0, "before": 30.0, "literal": 20.0, "stim calls": 15.0, "stim circuit": 30.0}
    if quick:
        caps = {name: 2.0 for name in caps}

    def log(message):
        print(message, file=sys.stderr, flush=True)

    if args.baseline is None or args.baseline.lower() == "none":
        baseline = None
    elif not Path(args.baseline).is_dir():
        parser.error(f"--baseline {args.baseline}: no such directory")
    else:
        baseline = Path(args.baseline)

    peers = []
    notes = []
    try:
        import stim
        peers += [StimCircuitRunner(stim), StimCallsRunner(stim)]
    except ImportError as error:
        notes.append(f"stim skipped: cannot import it ({error}).")
    for note in notes:
        log(note)
    gc.collect()
    gc.freeze()  # the modules' own objects: keeps the collection before each timed run short

    started = time.perf_counter()
    floor_calls = 2000 if quick else 1 << 17
    floor = statistics.median(floor_samples(floor_calls, 3 if quick else 21))
    log(f"floor: {fmt_time(floor)} per call")
    nodeweave_runner, floor_runner = NodeWeaveRunner(), FloorRunner()
    before_runner = BeforeRunner(baseline, quick) if baseline else None
    try:  # one tiny run first, so that a directory without a usable build drops the column at once
        if before_runner:
            before_runner.time(0, 8, pilot=True)
    except ChildError as error:
        notes.append(f"no before column: {baseline} holds no nodeweave this script can time ({error}).")
        log(notes[-1])
        before_runner = baseline = None
    literal_runner = LiteralRunner() if hasattr(_nodeweave_testing, "literal_cz") else None
    if literal_runner is None:
        notes.append("literal skipped: this build's _nodeweave_testing has no literal_cz.")
    cells = []
    stops = []  # notes for the user document: where nodeweave or stim did not run, and why
    probed = False

    for index, (key, label, builder, per_call, size_key) in enumerate(WORKLOADS):
        if selected and key not in selected:
            continue
        runners = [nodeweave_runner] + [before_runner] * bool(before_runner)
        runners += [p for p in peers if not (per_call and p.name == "stim circuit")]
        if key == "g" and literal_runner:
            runners.append(literal_runner)
        history = {runner.name: [] for runner in runners}
        stopped = {}
        for size in overrides.get(key, sizes[size_key]):
            try:
                n, prep, timed = build(index, size)
            except ImportError as error:  # the circuits come from stim
                notes.append(f"{key}. skipped: cannot import stim to make its circuits ({error}).")
                log(notes[-1])
                break
            title = label.format(size=size)
            cell = dict(index=index, key=key, label=title, builder=builder, n=n, size=size,
                        distance=size if size_key in DISTANCES else None,
                        calls=calls_in(timed), results={}, skipped={}, floor_ratio=None,
                        before_floor_ratio=None, memory=None, before_memory=None)
            results = cell["results"]
            for runner in runners:
                name = runner.name
                if name in stopped:
                    cell["skipped"][name] = stopped[name]
                    continue
                if runner is before_runner:
                    timer = lambda size: before_runner.time(index, size, pilot=True)["total"]
                else:
                    timer = lambda size: once(runner, *build(index, size))[1]
                limit = getattr(runner, "max_n", None)
                timing = {}
                try:
                    if not per_call and not history[name] and (limit is None or n <= limit):
                        pilot(timer, index, size, history[name], caps[name], limit)
                    guess = predicted(history[name], n)
                    if limit is not None and n > limit:
                        stopped[name] = (f"n > {limit}: its tableau needs ~n²/2 bytes and "
                                         "O(n²) time per measurement")
                    elif guess > caps[name]:
                        last_n, last_t = history[name][-1]
                        stopped[name] = (f"predicted {guess:.0f} s per run (preparation included) "
                                         f"from {fmt_time(last_t)} at n = {fmt_n(last_n)}, over "
                                         f"its {caps[name]:.0f} s cap")
                    elif runner is before_runner:  # paired with the floor in the child
                        timing = before_runner.time(index, size)
                        cell["before_floor_ratio"] = timing["floor_ratio"]
                    else:
                        # Paired with the same program, each call replaced by the floor of its arity.
                        paired = floor_sampler(n, timed, runner) if runner is nodeweave_runner else None
                        timing = measure(runner, n, prep, timed, quick, paired)
                        timing["mismatches"] = mismatches(runner, timed)
                except ChildError as error:
                    stopped[name] = f"its child process failed: {error}"
                if timing.get("mismatches"):
                    notes.append(f"WARNING: {title}: {name}: {timing['mismatches']} detectors or "
                                 "observables differ from stim's noiseless reference.")
                    log(notes[-1])
                    stops.append(notes[-1])
                if name in stopped:
                    message = f"{title}: {name} stops at n = {fmt_n(n)}: {stopped[name]}"
                    log(message)
                    notes.append(message)
                    if name not in ("before", "literal"):
                        stops.append(message)
                    cell["skipped"][name] = stopped[name]
                    continue
                if runner is nodeweave_runner:
                    cell["floor_ratio"] = timing["floor_ratio"]
                history[name].append((n, timing["total"]))
                results[name] = timing["median"]
                log(f"{title} n={fmt_n(n)} {name}: {fmt_time(timing['median'])}")
            probe = not per_call and not args.no_memory and results.get("nodeweave") is not None
            if probe and not (quick and probed):  # --quick probes one cell, to exercise the probe
                cell["memory"] = memory_per_qubit(index, size)
                probed = True
            memory_goal = any(b is builder and m == n and "memory" in dict(checks) for b, m, _, checks in GOALS)
            if memory_goal and not args.no_memory and results.get("before") is not None:
                cell["before_memory"] = memory_per_qubit(index, size, baseline)
            cells.append(cell)

    columns = [c for c in COLUMNS if before_runner or c not in ("before", "× before")]
    floor_row = dict.fromkeys(columns, "—") | {
        "workload": "floor: Floor.gate(qubit)", "calls": str(floor_calls),
        "nodeweave": fmt_time(floor * floor_calls), "per call": fmt_time(floor), "× floor": "1"}
    lines = ["| " + " | ".join(columns) + " |", "|" + "---|" * len(columns)]
    lines += ["| " + " | ".join(r[c] for c in columns) + " |" for r in [floor_row] + list(map(row, cells))]
    table = "\n".join(lines)
    elapsed = time.perf_counter() - started
    final_floor = statistics.median(floor_samples(floor_calls, 3 if quick else 21))
    notes.append(f"floor per call: {fmt_time(floor)} at the start, {fmt_time(final_floor)} at the end.")
    if before_runner:
        notes.insert(0, f"before: nodeweave from {before_runner.module}, timed in child "
                        f"processes (PYTHONPATH={baseline}), with a cap of {caps['before']:.0f} s per run.")
    goals = goal_lines(cells, bool(before_runner))
    print(table)
    print("\nGoals:\n" + "\n".join(goals))
    if notes:
        print("\nNotes:\n" + "\n".join(f"- {note}" for note in notes))
    print(f"\nTotal {elapsed:.0f} s.")

    if args.write:
        path = Path(args.write)
        path.write_text(document.document(
            command=user_command(sys.argv[1:]), elapsed=elapsed,
            reduced=bool(args.sizes or args.workloads), machine=machine(),
            rows=[floor_row | {"workload": "floor: a bare method call"}] + list(map(row, cells)),
            cells=cells, workloads=WORKLOAD_NOTES, shared=os.getloadavg()[1] > (os.cpu_count() or 1),
            stops=stops + [notes[-1]]))
        log(f"wrote {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
