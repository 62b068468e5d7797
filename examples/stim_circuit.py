"""A stim circuit run on nodeweave, one call per operation, with its detectors checked.

Circuits for quantum error correction are often written for stim. This example walks any
noiseless stim circuit instruction by instruction and drives a NodeWeave with it: gates become
gate calls, measurements measurement calls, and a reset is a measurement followed by a flip when
the outcome is -1. It keeps the measurement record, and evaluates every DETECTOR and
OBSERVABLE_INCLUDE on it. In a noiseless circuit each of them is deterministic, so its parity must
equal the parity in stim's reference sample: a detector is reported as 1 when it does not.
The demonstration is a rotated surface-code memory experiment (distance 5, 5 rounds), timed beside
stim's own TableauSimulator running the same circuit.

    pip install "nodeweave[stim]"
    python examples/stim_circuit.py [--distance D] [--rounds R] [--file CIRCUIT.stim]

From Python: run_circuit(circuit) returns a StimRun with the record, detectors and observables.
Noise channels are refused; strip them first with circuit.without_noise(). Between steps you can
inspect or change the simulator (run_circuit(circuit, sim=...)).
"""

import argparse
import sys
import time
from collections.abc import Callable, Iterator
from dataclasses import dataclass, field

from nodeweave import MeasurementResult, NodeWeave

try:
    import stim  # type: ignore[import-untyped, import-not-found, unused-ignore]
except ImportError:  # the module stays importable; main() says what to install
    stim = None

MINUS = MeasurementResult.MinusOne

# Single-qubit gates as sequences of nodeweave calls in time order (equal as Clifford operations,
# signs included).
SINGLE_QUBIT = {
    "I": (), "X": ("x",), "Y": ("y",), "Z": ("z",), "H": ("h",), "S": ("s",), "S_DAG": ("sdag",),
    "SQRT_X": ("h", "s", "h"), "SQRT_X_DAG": ("h", "sdag", "h"),
    "SQRT_Y": ("h", "x"), "SQRT_Y_DAG": ("h", "z"),
    "C_XYZ": ("sdag", "h"), "C_ZYX": ("h", "s"), "H_XY": ("s", "y"), "H_YZ": ("sdag", "h", "s"),
}
# Two-qubit gates: each a sequence of (method, swap the operands?) in time order.
TWO_QUBIT = {
    "CX": (("cx", False),), "CY": (("cy", False),), "CZ": (("cz", False),),
    "XCX": (("xcx", False),), "XCY": (("xcy", False),), "XCZ": (("xcz", False),),
    "YCX": (("ycx", False),), "YCY": (("ycy", False),), "YCZ": (("ycz", False),),
    "SWAP": (("cx", False), ("cx", True), ("cx", False)),
}
# Measurements and resets by basis: the measurement method and the flip that turns -1 into +1.
MEASURE = {"X": ("measure_x", "z"), "Y": ("measure_y", "z"), "Z": ("measure_z", "x")}
MEASUREMENTS = {"M": "Z", "MX": "X", "MY": "Y"}  # record the outcome
RESETS = {"R": "Z", "RX": "X", "RY": "Y"}  # measure, then flip: nothing is recorded
MEASURE_RESETS = {"MR": "Z", "MRX": "X", "MRY": "Y"}  # record the outcome, then flip
ANNOTATIONS = {"TICK", "QUBIT_COORDS", "SHIFT_COORDS", "MPAD"}


@dataclass
class StimRun:
    """What a circuit gave: the measurement bits (1 for -1), and for each detector and observable
    its parity compared with stim's reference sample (0: as the noiseless circuit requires)."""

    record: list[int] = field(default_factory=list)
    detectors: list[int] = field(default_factory=list)
    observables: list[int] = field(default_factory=list)


def instructions(circuit: "stim.Circuit") -> Iterator["stim.CircuitInstruction"]:
    """The circuit's instructions in order, REPEAT blocks unrolled as they are reached."""
    for item in circuit:
        if isinstance(item, stim.CircuitRepeatBlock):
            body = item.body_copy()
            for _ in range(item.repeat_count):
                yield from instructions(body)
        else:
            yield item


def parity(record: list[int], end: int, targets: list["stim.GateTarget"], name: str) -> int:
    """The parity of the bits rec[-k] of the targets, counted back from record[end]."""
    bits = 0
    for target in targets:
        if not target.is_measurement_record_target:
            raise ValueError(f"{name} with a target other than rec[-k] is not supported: {target}")
        bits ^= record[end + target.value]
    return bits


class Translator:
    """Drives one simulator through the instructions of one circuit."""

    def __init__(self, sim: NodeWeave, reference: list[int]) -> None:
        self.sim = sim
        self.reference = reference
        self.run = StimRun()
        self.observables: dict[int, int] = {}

    def measure(self, basis: str, qubit: int, reset: bool) -> int:
        method, flip = MEASURE[basis]
        minus = getattr(self.sim, method)(qubit) == MINUS
        if reset and minus:
            getattr(self.sim, flip)(qubit)
        return int(minus)

    def do(self, instruction: "stim.CircuitInstruction") -> None:
        name = stim.gate_data(instruction.name).name  # canonical: CNOT -> CX, MZ -> M, ...
        targets = instruction.targets_copy()
        if name in ANNOTATIONS:
            if name == "MPAD":
                self.run.record += [int(t.value) for t in targets]
        elif name in SINGLE_QUBIT:
            for target in targets:
                for method in SINGLE_QUBIT[name]:
                    getattr(self.sim, method)(target.value)
        elif name in TWO_QUBIT:
            for a, b in zip(targets[::2], targets[1::2]):
                if not (a.is_qubit_target and b.is_qubit_target):
                    raise ValueError(f"{name} {a} {b}: classically controlled gates are not "
                                     f"supported")
                for method, swapped in TWO_QUBIT[name]:
                    first, second = (b, a) if swapped else (a, b)
                    getattr(self.sim, method)(first.value, second.value)
        elif name in MEASUREMENTS or name in RESETS or name in MEASURE_RESETS:
            self.measure_all(name, instruction, targets)
        elif name == "DETECTOR":
            self.run.detectors.append(self.compare(targets, name))
        elif name == "OBSERVABLE_INCLUDE":
            index = int(instruction.gate_args_copy()[0])
            self.observables[index] = self.observables.get(index, 0) ^ self.compare(targets, name)
        else:
            raise self.unsupported(name)

    def measure_all(self, name: str, instruction: "stim.CircuitInstruction",
                    targets: list["stim.GateTarget"]) -> None:
        if any(instruction.gate_args_copy()):
            raise ValueError(f"{name} with a flip probability is noisy: strip the noise first "
                             f"(circuit.without_noise())")
        basis = MEASUREMENTS.get(name) or RESETS.get(name) or MEASURE_RESETS[name]
        for target in targets:
            bit = self.measure(basis, target.value, reset=name not in MEASUREMENTS)
            if name not in RESETS:
                self.run.record.append(bit ^ target.is_inverted_result_target)

    def compare(self, targets: list["stim.GateTarget"], name: str) -> int:
        """The parity of the targets in this run's record against the reference's."""
        end = len(self.run.record)
        ours = parity(self.run.record, end, targets, name)
        return ours ^ parity(self.reference, end, targets, name)

    @staticmethod
    def unsupported(name: str) -> ValueError:
        gate = stim.gate_data(name)
        if gate.is_noisy_gate and not gate.produces_measurements:
            return ValueError(f"{name} is a noise channel: strip the noise first "
                              f"(circuit.without_noise())")
        gates = ", ".join(sorted(SINGLE_QUBIT) + sorted(TWO_QUBIT))
        return ValueError(f"{name} is not supported: the gates are {gates}; the measurements and "
                          f"resets M, MX, MY, R, RX, RY, MR, MRX, MRY")


def run_circuit(circuit: "stim.Circuit", sim: NodeWeave | None = None,
                reference: list[int] | None = None) -> StimRun:
    """Runs a noiseless stim circuit on `sim` (a fresh simulator by default), one call per gate,
    measurement or reset. `reference` is the measurement record the detectors and observables are
    compared with: by default stim's reference sample of the circuit."""
    if reference is None:
        reference = [int(bit) for bit in circuit.reference_sample()]
    translator = Translator(sim if sim is not None else NodeWeave(circuit.num_qubits), reference)
    for instruction in instructions(circuit):
        translator.do(instruction)
    translator.run.observables = [translator.observables.get(k, 0)
                                  for k in range(circuit.num_observables)]
    return translator.run


def best_time(work: Callable[[], object], repeats: int = 5) -> float:
    """The shortest of a few runs, in seconds: the least disturbed by whatever else runs."""
    times = []
    for _ in range(repeats):
        began = time.perf_counter()
        work()
        times.append(time.perf_counter() - began)
    return min(times)


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--distance", type=int, default=5)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--file", help="a stim circuit file instead of the surface code")
    args = parser.parse_args(argv)
    if stim is None:
        sys.exit('this example needs stim: pip install "nodeweave[stim]"')
    if args.file:
        with open(args.file) as source:
            circuit = stim.Circuit(source.read()).without_noise()
        label = args.file
    else:
        circuit = stim.Circuit.generated("surface_code:rotated_memory_z", distance=args.distance,
                                         rounds=args.rounds).without_noise()
        label = f"rotated surface code, memory Z, distance {args.distance}, {args.rounds} rounds"
    reference = [int(bit) for bit in circuit.reference_sample()]

    run = run_circuit(circuit, reference=reference)
    ours = best_time(lambda: run_circuit(circuit, reference=reference))
    theirs = best_time(lambda: stim.TableauSimulator().do_circuit(circuit))

    print(f"{label}: {circuit.num_qubits} qubits, {len(run.record)} measurements")
    print(f"  detectors: {len(run.detectors)}, of which 1: {sum(run.detectors)}")
    print(f"  observables: {len(run.observables)}, of which 1: {sum(run.observables)}")
    print(f"  time per run (best of 5): nodeweave, one call per operation, {ours * 1e3:.2f} ms "
          f"(detector checks included); stim TableauSimulator.do_circuit, "
          f"{theirs * 1e3:.2f} ms")


if __name__ == "__main__":
    main()
