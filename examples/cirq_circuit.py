"""A cirq circuit run on nodeweave, its final state checked against cirq's own Clifford simulation.

`run(circuit)` drives a NodeWeave through a cirq Circuit, one call per gate. Every single-qubit
Clifford gate is translated, however cirq writes it (cirq.S, cirq.X**0.5, cirq.Y**-0.5, any of
the 24 `cirq.SingleQubitCliffordGate`s): cirq decomposes it into quarter turns about X, Y and Z,
and each quarter turn is one to three nodeweave calls. The two-qubit gates are CNOT, CZ, CY,
SWAP, ISWAP and ISWAP**-1.

The check: cirq's Clifford tableau of the circuit gives the final state's stabilizer generators;
on small registers each one is first confirmed on the state vector of cirq.CliffordSimulator's
final state. Each generator is then measured on nodeweave by an ancilla meter, which reads a
Pauli product without disturbing the state: it must come out +1 (with the generator's sign).

    pip install "nodeweave[cirq]"
    python examples/cirq_circuit.py [--qubits N] [--gates G] [--circuits C]
"""

import argparse
import functools
import random
import sys
import time

import numpy as np

from nodeweave import MeasurementResult, NodeWeave

try:
    import cirq
except ImportError:  # the module stays importable; main() says what to install
    cirq = None

MINUS = MeasurementResult.MinusOne

# A quarter turn about an axis, by its number of quarters, as nodeweave calls in time order
# (equal up to a global phase).
QUARTER_TURNS = {
    ("X", 1): ("h", "s", "h"), ("X", 2): ("x",), ("X", -1): ("h", "sdag", "h"),
    ("Y", 1): ("h", "x"), ("Y", 2): ("y",), ("Y", -1): ("h", "z"),
    ("Z", 1): ("s",), ("Z", 2): ("z",), ("Z", -1): ("sdag",),
}
SWAP = (("cx", 0, 1), ("cx", 1, 0), ("cx", 0, 1))


def two_qubit_gates() -> dict:
    """cirq's two-qubit Clifford gates as nodeweave calls, each (method, operand positions)."""
    return {
        cirq.CNOT: (("cx", 0, 1),), cirq.CZ: (("cz", 0, 1),), cirq.SWAP: SWAP,
        cirq.Y.controlled(): (("cy", 0, 1),), cirq.ControlledGate(cirq.Y): (("cy", 0, 1),),
        # iSWAP = SWAP CZ (S x S); its inverse the same with S^dagger
        cirq.ISWAP: (("s", 0), ("s", 1), ("cz", 0, 1)) + SWAP,
        cirq.ISWAP**-1: (("sdag", 0), ("sdag", 1), ("cz", 0, 1)) + SWAP,
    }


@functools.lru_cache(maxsize=None)
def single_qubit_calls(gate: "cirq.Gate") -> tuple[str, ...]:
    """The nodeweave calls of a single-qubit Clifford gate, whatever cirq class it has."""
    clifford = cirq.SingleQubitCliffordGate.from_unitary(cirq.unitary(gate))
    if clifford is None:
        raise ValueError(f"{gate} is not a Clifford gate")
    calls: tuple[str, ...] = ()
    for axis, quarters in clifford.decompose_rotation():
        calls += QUARTER_TURNS[str(axis), (quarters + 1) % 4 - 1]
    return calls


def run(circuit: "cirq.Circuit", qubits: list, sim: NodeWeave) -> None:
    """Runs the gates of `circuit` on `sim`, cirq's qubits[k] being nodeweave's qubit k."""
    index = {qubit: k for k, qubit in enumerate(qubits)}
    two = two_qubit_gates()
    for operation in circuit.all_operations():
        operands = [index[q] for q in operation.qubits]
        if len(operands) == 1:
            for method in single_qubit_calls(operation.gate):
                getattr(sim, method)(operands[0])
        elif operation.gate in two:
            for method, *positions in two[operation.gate]:
                getattr(sim, method)(*(operands[p] for p in positions))
        else:
            raise ValueError(f"{operation} is not supported: the two-qubit gates are CNOT, CZ, "
                             f"CY, SWAP, ISWAP and ISWAP**-1")


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


def stabilizers(circuit: "cirq.Circuit", qubits: list) -> list["cirq.DensePauliString"]:
    """The final state's stabilizer generators, from cirq's Clifford tableau of the circuit."""
    gate = cirq.CliffordGate.from_op_list(list(circuit.all_operations()), qubits)
    return gate.clifford_tableau.stabilizers()


def confirmed_on_state_vector(generators, vector: np.ndarray) -> bool:
    """Each generator has expectation exactly its sign on the state vector (qubit 0 the most
    significant bit, as cirq orders it)."""
    for generator in generators:
        if not np.isclose(np.vdot(vector, cirq.unitary(generator) @ vector), 1):
            return False
    return True


def compare(circuit: "cirq.Circuit", qubits: list, vector_up_to: int = 10) -> dict:
    """Runs the circuit on nodeweave and on cirq.CliffordSimulator and checks every stabilizer
    generator on nodeweave. Returns the counts and the times."""
    began = time.perf_counter()
    sim = NodeWeave(len(qubits) + 1)  # the last qubit is the meter's ancilla
    run(circuit, qubits, sim)
    middle = time.perf_counter()
    result = cirq.CliffordSimulator().simulate(circuit, qubit_order=qubits)
    ended = time.perf_counter()
    generators = stabilizers(circuit, qubits)
    if len(qubits) <= vector_up_to and not confirmed_on_state_vector(
            generators, result.final_state.state_vector()):
        raise AssertionError("cirq's tableau and its CliffordSimulator disagree")
    wrong = 0
    for generator in generators:
        pauli = {k: "IXYZ"[p] for k, p in enumerate(generator.pauli_mask) if p}
        sign = int(np.real(generator.coefficient))
        wrong += measure_pauli(sim, pauli, len(qubits)) != sign
    return {"checked": len(generators), "wrong": wrong, "ours": middle - began,
            "theirs": ended - middle}


def single_qubit_gates() -> list:
    """The 24 single-qubit Cliffords as cirq's SingleQubitCliffordGate, and as cirq writes the
    common ones."""
    return list(cirq.SingleQubitCliffordGate.all_single_qubit_cliffords) + [
        cirq.I, cirq.X, cirq.Y, cirq.Z, cirq.H, cirq.S, cirq.S**-1, cirq.X**0.5, cirq.X**-0.5,
        cirq.Y**0.5, cirq.Y**-0.5, cirq.Z**0.5, cirq.Z**-0.5]


def random_circuit(rng: random.Random, qubits: list, gates: int) -> "cirq.Circuit":
    """Every translated gate at random, single-qubit and two-qubit gates about equally often."""
    singles, doubles = single_qubit_gates(), list(two_qubit_gates())
    operations = []
    for _ in range(gates):
        if rng.random() < 0.5:
            operations.append(rng.choice(singles).on(rng.choice(qubits)))
        else:
            operations.append(rng.choice(doubles).on(*rng.sample(qubits, 2)))
    return cirq.Circuit(operations)


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--qubits", type=int, default=8)
    parser.add_argument("--gates", type=int, default=200)
    parser.add_argument("--circuits", type=int, default=35)
    parser.add_argument("--large", type=int, default=60, help="qubits of the timed circuit")
    args = parser.parse_args(argv)
    if cirq is None:
        sys.exit('this example needs cirq: pip install "nodeweave[cirq]"')
    rng = random.Random()
    qubits = cirq.LineQubit.range(args.qubits)
    results = [compare(random_circuit(rng, qubits, args.gates), qubits)
               for _ in range(args.circuits)]
    print(f"{args.circuits} random circuits, {args.qubits} qubits, {args.gates} gates: "
          f"{sum(r['checked'] for r in results)} stabilizer generators checked, "
          f"wrong: {sum(r['wrong'] for r in results)}")
    large = cirq.LineQubit.range(args.large)
    result = compare(random_circuit(rng, large, 10 * args.gates), large)
    print(f"{args.large} qubits, {10 * args.gates} gates: {result['checked']} generators "
          f"checked, wrong: {result['wrong']}; nodeweave {result['ours'] * 1e3:.1f} ms, "
          f"cirq.CliffordSimulator {result['theirs'] * 1e3:.1f} ms")


if __name__ == "__main__":
    main()
