"""How each simulator runs a program: nodeweave, the call floor, stim (method by method and as one
circuit), the literal reference, and the --baseline build in a child process.

A runner's prepare(n, prep, timed) builds a fresh simulator, runs the preparation and returns a
function that runs the timed part; the programs are compiled into segments of bound methods first,
so that the timed loop is the same for every simulator.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

import _nodeweave_testing
import nodeweave

from circuits import RECORDED, RESETTING, CircuitProgram
from workloads import SEED, SINGLE, TWO

SCRIPT = Path(__file__).resolve().with_name("run.py")  # what a child process runs

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


class ChildError(Exception):
    pass


def run_child(arguments, directory=None, timeout=600):
    """benchmarks/run.py in a fresh process, with directory (if any) first on PYTHONPATH so that its
    nodeweave is imported from there; returns the JSON the child prints. The child names the file
    its nodeweave came from, and with a directory that file must lie in it."""
    environment = dict(os.environ)
    if directory is not None:
        environment["PYTHONPATH"] = os.pathsep.join(
            [str(directory)] + ([environment["PYTHONPATH"]] if environment.get("PYTHONPATH") else []))
    try:
        output = subprocess.run([sys.executable, str(SCRIPT), *map(str, arguments)], env=environment,
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

