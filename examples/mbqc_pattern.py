"""A graphix measurement pattern run on nodeweave, checked against graphix's own simulator.

Measurement-based quantum computing writes a computation as a pattern: N prepares a qubit in
|+>, E entangles two by CZ, M measures one in a plane at an angle, its sign changed by the
outcomes of earlier measurements (the s and t domains), X and Z correct an output qubit when the
parity of their domain is odd, and C applies a single-qubit Clifford. `run(pattern)` drives a
NodeWeave through a graphix Pattern of a Clifford circuit, one call per command: every angle is
then a multiple of pi/2 and every measurement a Pauli measurement. Input nodes start in |+>, as
graphix's simulator starts them.

The check: graphix's statevector back end runs the same pattern; every element of its output
state's stabilizer group is measured on nodeweave by an ancilla meter, which reads a Pauli
product without disturbing the state: each must come out +1. A pattern's output does not depend
on the outcomes drawn, so the two runs may draw different ones.
Then a pattern far beyond any state vector: a GHZ state of thousands of qubits, prepared by the
pattern of a CNOT chain, checked by its stabilizers X...X and Z_k Z_k+1.

    pip install "nodeweave[graphix]"
    python examples/mbqc_pattern.py [--circuits C] [--gates G] [--ghz N]
"""

import argparse
import itertools
import random
import sys
import time

import numpy as np

from nodeweave import MeasurementResult, NodeWeave

try:
    from graphix import Circuit
    from graphix.command import CommandKind
    from graphix.clifford import Clifford
    import graphix.command
except ImportError:  # the module stays importable; main() says what to install
    Circuit = None

MINUS = MeasurementResult.MinusOne
MEASURE = {"X": "measure_x", "Y": "measure_y", "Z": "measure_z"}


class PatternRun:
    """Drives one NodeWeave through the commands of one pattern."""

    def __init__(self, pattern: "graphix.pattern.Pattern", extra: int = 1) -> None:
        self.qubit = {node: k for k, node in enumerate(sorted(all_nodes(pattern)))}
        self.sim = NodeWeave(len(self.qubit) + extra)  # extra qubits: ancillas for meters
        self.ancilla = len(self.qubit)
        self.outcome: dict[int, int] = {}  # node -> 0 or 1, as graphix writes outcomes
        for node in pattern.input_nodes:
            self.sim.h(self.qubit[node])

    def parity(self, domain) -> int:
        return sum(self.outcome[node] for node in domain) & 1

    def do(self, command) -> None:
        q = self.qubit.get(getattr(command, "node", None))
        if command.kind == CommandKind.N:
            self.sim.h(q)  # |+>: graphix's default preparation
        elif command.kind == CommandKind.E:
            self.sim.cz(self.qubit[command.nodes[0]], self.qubit[command.nodes[1]])
        elif command.kind == CommandKind.M:
            self.measure(command, q)
        elif command.kind in (CommandKind.X, CommandKind.Z):
            if self.parity(command.domain):
                getattr(self.sim, command.kind.name.lower())(q)
        elif command.kind == CommandKind.C:
            # hsz is a product of matrices: the rightmost acts first
            for factor in reversed(command.clifford.hsz):
                if factor != Clifford.I:
                    getattr(self.sim, {Clifford.H: "h", Clifford.S: "s", Clifford.Z: "z"}[factor])(q)
        else:
            raise ValueError(f"{command} is not supported: the commands are N, E, M, X, Z, C")

    def measure(self, command, q: int) -> None:
        pauli = command.measurement.to_pauli_or_none()
        if pauli is None:
            raise ValueError(f"{command}: not a Pauli measurement, so not a Clifford pattern")
        # The s domain flips the measurement by X, the t domain by Z: both act as byproducts
        # applied just before it.
        if self.parity(command.s_domain):
            self.sim.x(q)
        if self.parity(command.t_domain):
            self.sim.z(q)
        minus = getattr(self.sim, MEASURE[pauli.axis.name])(q) == MINUS
        self.outcome[command.node] = int(minus) ^ (str(pauli.sign) == "-")


def all_nodes(pattern) -> set[int]:
    nodes = set(pattern.input_nodes)
    for command in pattern:
        if command.kind == CommandKind.N:
            nodes.add(command.node)
    return nodes


def run(pattern, extra: int = 1) -> PatternRun:
    """Runs `pattern` on a fresh NodeWeave with `extra` spare qubits after the pattern's."""
    state = PatternRun(pattern, extra)
    for command in pattern:
        state.do(command)
    return state


def measure_pauli(sim: NodeWeave, pauli: dict[int, str], ancilla: int) -> int:
    """The eigenvalue, +1 or -1, of the product of `pauli` (qubit -> "X", "Y" or "Z"), measured
    through `ancilla` (in |0>, and returned to |0>), leaving a state it stabilizes as it was."""
    sim.h(ancilla)
    for qubit, letter in pauli.items():
        getattr(sim, "c" + letter.lower())(ancilla, qubit)
    minus = sim.measure_x(ancilla) == MINUS
    if minus:
        sim.z(ancilla)
    sim.h(ancilla)
    return -1 if minus else 1


PAULI_MATRICES = {"I": np.eye(2), "X": np.array([[0, 1], [1, 0]]),
                  "Y": np.array([[0, -1j], [1j, 0]]), "Z": np.diag([1, -1])}


def stabilizer_group(vector: np.ndarray) -> list[tuple[str, int]]:
    """Every Pauli product with expectation +1 or -1 on a small state vector, as (letters, sign),
    letter k for qubit k of the vector (qubit 0 the most significant bit)."""
    n = int(np.log2(len(vector)))
    group = []
    for letters in itertools.product("IXYZ", repeat=n):
        matrix = np.array([[1]])
        for letter in letters:
            matrix = np.kron(matrix, PAULI_MATRICES[letter])
        value = np.vdot(vector, matrix @ vector).real
        if abs(abs(value) - 1) < 1e-9:
            group.append(("".join(letters), 1 if value > 0 else -1))
    return group


def compare(pattern) -> dict:
    """Runs the pattern on nodeweave and on graphix's statevector back end; measures every
    element of the output's stabilizer group on nodeweave."""
    began = time.perf_counter()
    ours = run(pattern)
    middle = time.perf_counter()
    state = pattern.simulate(backend="statevector", rng=np.random.default_rng())
    ended = time.perf_counter()
    group = stabilizer_group(np.asarray(state.flatten()))
    outputs = [ours.qubit[node] for node in pattern.output_nodes]
    wrong = 0
    for letters, sign in group:
        pauli = {outputs[k]: p for k, p in enumerate(letters) if p != "I"}
        wrong += measure_pauli(ours.sim, pauli, ours.ancilla) != sign
    return {"checked": len(group), "wrong": wrong, "ours": middle - began, "theirs": ended - middle}


def random_pattern(rng: random.Random, qubits: int, gates: int, standardize: bool):
    """The pattern of a random Clifford circuit, standardized and signal-shifted or as it is
    made, with a random Clifford command on each output."""
    circuit = Circuit(qubits)
    for _ in range(gates):
        name = rng.choice(["h", "s", "x", "y", "z", "cnot", "cz", "swap"])
        operands = rng.sample(range(qubits), 2 if name in ("cnot", "cz", "swap") else 1)
        getattr(circuit, name)(*operands)
    pattern = circuit.transpile().pattern
    if standardize:
        pattern.standardize()
        pattern.shift_signals()
    for node in pattern.output_nodes:
        pattern.add(graphix.command.C(node, rng.choice(list(Clifford))))
    return pattern


def ghz_pattern(qubits: int):
    """Inputs in |+>; H on all but the first gives |+0...0>, a CNOT chain the GHZ state."""
    circuit = Circuit(qubits)
    for k in range(1, qubits):
        circuit.h(k)
    for k in range(qubits - 1):
        circuit.cnot(k, k + 1)
    return circuit.transpile().pattern


def check_ghz(qubits: int) -> tuple[int, int, int, float]:
    """Runs the GHZ pattern; returns (nodes, stabilizers checked, wrong, seconds)."""
    pattern = ghz_pattern(qubits)
    began = time.perf_counter()
    state = run(pattern)
    seconds = time.perf_counter() - began
    outputs = [state.qubit[node] for node in pattern.output_nodes]
    checks = [{q: "X" for q in outputs}]
    checks += [{a: "Z", b: "Z"} for a, b in zip(outputs, outputs[1:])]
    wrong = sum(measure_pauli(state.sim, pauli, state.ancilla) != 1 for pauli in checks)
    return len(state.qubit), len(checks), wrong, seconds


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--circuits", type=int, default=40)
    parser.add_argument("--qubits", type=int, default=4)
    parser.add_argument("--gates", type=int, default=20)
    parser.add_argument("--ghz", type=int, default=5000, help="qubits of the large GHZ pattern")
    args = parser.parse_args(argv)
    if Circuit is None:
        sys.exit('this example needs graphix: pip install "nodeweave[graphix]"')
    rng = random.Random()
    for standardize in (False, True):
        results = [compare(random_pattern(rng, args.qubits, args.gates, standardize))
                   for _ in range(args.circuits)]
        kind = "standardized, signals shifted" if standardize else "as transpiled"
        print(f"{args.circuits} patterns of random Clifford circuits ({kind}), {args.qubits} "
              f"qubits, {args.gates} gates: {sum(r['checked'] for r in results)} stabilizers "
              f"checked, wrong: {sum(r['wrong'] for r in results)}")
        print(f"  time per pattern: nodeweave {sum(r['ours'] for r in results) / len(results) * 1e3:.2f} ms, "
              f"graphix statevector {sum(r['theirs'] for r in results) / len(results) * 1e3:.2f} ms")
    nodes, checked, wrong, seconds = check_ghz(args.ghz)
    print(f"GHZ pattern of {args.ghz} output qubits, {nodes} nodes: {checked} stabilizers "
          f"checked, wrong: {wrong}; run in {seconds * 1e3:.1f} ms")


if __name__ == "__main__":
    main()
