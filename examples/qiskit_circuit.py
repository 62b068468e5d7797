"""A Qiskit circuit run on nodeweave, its final state checked against Qiskit's own simulator.

`run(circuit, target)` walks a `QuantumCircuit` (built in Python or loaded from OpenQASM 2 text)
and drives a target with it, one call per operation. The nodeweave target translates Qiskit's
Clifford gates, `sx`, `sxdg`, `swap`, `iswap`, `ecr` and `dcx` included, into nodeweave's gate
methods; user-defined gates are unrolled through their definitions; `measure` writes the
classical bit, `reset` is a Z measurement and a flip, `barrier` does nothing, and `if_else`
blocks run on the classical bits the measurements wrote.

The check: the same walk drives Qiskit's `StabilizerState`, each measurement (and the
measurement inside each reset) forced to the outcome nodeweave drew; an outcome Qiskit finds
impossible fails the check. Every stabilizer
generator of Qiskit's final state is then measured on nodeweave by an ancilla meter, which reads
a Pauli product without disturbing the state: each must come out +1.

    pip install "nodeweave[qiskit]"
    python examples/qiskit_circuit.py [--qubits N] [--gates G] [--circuits C]
"""

import argparse
import random
import sys
import time
from dataclasses import dataclass, field

from nodeweave import MeasurementResult, NodeWeave

try:
    from qiskit import ClassicalRegister, QuantumCircuit, QuantumRegister, qasm2
    from qiskit.circuit import Clbit
    from qiskit.circuit.library import get_standard_gate_name_mapping
    from qiskit.quantum_info import Clifford, Pauli, StabilizerState
except ImportError:  # the module stays importable; main() says what to install
    QuantumCircuit = None
else:
    STANDARD_GATES = set(get_standard_gate_name_mapping())  # Qiskit's own, not to be unrolled

MINUS = MeasurementResult.MinusOne

# Qiskit's Clifford gates as nodeweave calls in time order, each (method, operand positions).
# They agree with Qiskit's gates up to a global phase, which no measurement sees.
GATES = {
    "id": (), "x": (("x", 0),), "y": (("y", 0),), "z": (("z", 0),), "h": (("h", 0),),
    "s": (("s", 0),), "sdg": (("sdag", 0),),
    "sx": (("h", 0), ("s", 0), ("h", 0)), "sxdg": (("h", 0), ("sdag", 0), ("h", 0)),
    "cx": (("cx", 0, 1),), "cy": (("cy", 0, 1),), "cz": (("cz", 0, 1),),
    "swap": (("cx", 0, 1), ("cx", 1, 0), ("cx", 0, 1)),
    "iswap": (("s", 0), ("s", 1), ("cz", 0, 1), ("cx", 0, 1), ("cx", 1, 0), ("cx", 0, 1)),
    "ecr": (("s", 0), ("h", 1), ("s", 1), ("h", 1), ("cx", 0, 1), ("x", 0)),
    "dcx": (("cx", 0, 1), ("cx", 1, 0)),
}
TWO_QUBIT = {"cx", "cy", "cz", "swap", "iswap", "ecr", "dcx"}
IGNORED = {"barrier", "delay", "global_phase"}


class NodeWeaveTarget:
    """A NodeWeave with one qubit more than the circuit: the ancilla of the meter."""

    def __init__(self, qubits: int) -> None:
        self.sim = NodeWeave(qubits + 1)
        self.ancilla = qubits
        self.outcomes: list[int] = []  # every measurement's bit, resets' included, in order

    def gate(self, operation, qubits: list[int]) -> None:
        for method, *operands in GATES[operation.name]:
            getattr(self.sim, method)(*(qubits[k] for k in operands))

    def measure(self, qubit: int) -> int:
        bit = int(self.sim.measure_z(qubit) == MINUS)
        self.outcomes.append(bit)
        return bit

    def reset(self, qubit: int) -> None:
        if self.measure(qubit):
            self.sim.x(qubit)


class QiskitTarget:
    """Qiskit's StabilizerState, each measurement forced to a given outcome."""

    def __init__(self, qubits: int, outcomes: list[int]) -> None:
        self.state = StabilizerState(QuantumCircuit(qubits))
        self.outcomes = iter(outcomes)

    def gate(self, operation, qubits: list[int]) -> None:
        self.state = self.state.evolve(operation, qubits)

    def measure(self, qubit: int) -> int:
        wanted = next(self.outcomes)
        for _ in range(64):  # a random outcome comes up with probability 1/2 each time
            got, state = self.state.measure([qubit])
            if int(got) == wanted:
                self.state = state
                return wanted
        raise AssertionError(f"nodeweave measured {wanted} on qubit {qubit}, which Qiskit's "
                             f"StabilizerState never gives")

    def reset(self, qubit: int) -> None:
        # Qiskit's own reset would draw its outcome afresh, and where the qubit is entangled the
        # rest of the state depends on which outcome the reset saw.
        if self.measure(qubit):
            self.state = self.state.evolve(Pauli("X"), [qubit])


@dataclass
class Walk:
    target: object
    bits: list[int] = field(default_factory=list)  # the circuit's classical bits


def run(circuit: "QuantumCircuit", target) -> list[int]:
    """Runs `circuit` on `target`; returns its classical bits (clbit k at index k)."""
    walk = Walk(target, [0] * circuit.num_clbits)
    walk_block(walk, circuit, list(range(circuit.num_qubits)), list(range(circuit.num_clbits)))
    return walk.bits


def walk_block(walk: Walk, circuit, qubits: list[int], clbits: list[int]) -> None:
    """Runs the instructions of `circuit`, whose qubit k is the target's qubits[k] and whose
    clbit k is the walk's bit clbits[k]."""
    qubit_of = dict(zip(circuit.qubits, qubits))
    clbit_of = dict(zip(circuit.clbits, clbits))
    for instruction in circuit.data:
        operation = instruction.operation
        name = operation.name
        inner_qubits = [qubit_of[q] for q in instruction.qubits]
        inner_clbits = [clbit_of[c] for c in instruction.clbits]
        if name in GATES:
            walk.target.gate(operation, inner_qubits)
        elif name == "measure":
            walk.bits[inner_clbits[0]] = walk.target.measure(inner_qubits[0])
        elif name == "reset":
            walk.target.reset(inner_qubits[0])
        elif name == "if_else":
            true_body, false_body = (*operation.blocks, None)[:2]  # the else is optional
            taken = true_body if condition_holds(walk, clbit_of, operation) else false_body
            if taken is not None:
                walk_block(walk, taken, inner_qubits, inner_clbits)
        elif name in IGNORED:
            continue
        elif name not in STANDARD_GATES and operation.definition is not None:
            walk_block(walk, operation.definition, inner_qubits, inner_clbits)  # a gate of yours
        else:
            raise ValueError(f"{name} is not supported: the gates are {', '.join(GATES)} and "
                             f"gates defined from them; also measure, reset, barrier, if_else")


def condition_holds(walk: Walk, clbit_of: dict, operation) -> bool:
    """An if_else condition on one classical bit or on a register's value."""
    condition = operation.condition
    if not isinstance(condition, tuple):
        raise ValueError(f"only (bit, value) and (register, value) conditions are supported, "
                         f"not {condition}")
    what, value = condition
    bits = [what] if isinstance(what, Clbit) else list(what)
    number = sum(walk.bits[clbit_of[b]] << k for k, b in enumerate(bits))
    return number == int(value)


def measure_pauli(sim: NodeWeave, pauli: dict[int, str], ancilla: int) -> int:
    """The eigenvalue, +1 or -1, of the product of `pauli` (qubit -> "X", "Y" or "Z"), measured
    through `ancilla` (in |0>, and returned to |0>). A state that the product stabilizes, up to
    sign, is left as it was; any other is projected, as by a measurement of the product."""
    sim.h(ancilla)
    for qubit, letter in pauli.items():
        getattr(sim, "c" + letter.lower())(ancilla, qubit)  # controlled-P from the ancilla
    minus = sim.measure_x(ancilla) == MINUS
    if minus:
        sim.z(ancilla)
    sim.h(ancilla)
    return -1 if minus else 1


def check_stabilizers(target: NodeWeaveTarget, clifford: "Clifford") -> tuple[int, int]:
    """Measures every stabilizer generator of `clifford` (Qiskit labels such as "-XIZ", qubit 0
    rightmost) on nodeweave. Returns (generators checked, how many came out wrong)."""
    wrong = 0
    labels = clifford.to_labels(mode="S")
    for label in labels:
        sign = -1 if label[0] == "-" else 1
        pauli = {q: p for q, p in enumerate(reversed(label[1:])) if p != "I"}
        wrong += measure_pauli(target.sim, pauli, target.ancilla) != sign
    return len(labels), wrong


def compare(circuit: "QuantumCircuit") -> tuple[int, int, float, float]:
    """Runs `circuit` on nodeweave and, with the same outcomes, on Qiskit's StabilizerState.
    Returns (generators checked, wrong, nodeweave seconds, Qiskit seconds)."""
    began = time.perf_counter()
    ours = NodeWeaveTarget(circuit.num_qubits)
    bits = run(circuit, ours)
    middle = time.perf_counter()
    if circuit.num_clbits == 0:  # a unitary circuit: Qiskit's own path for a whole circuit
        state = StabilizerState(circuit)
    else:
        theirs = QiskitTarget(circuit.num_qubits, ours.outcomes)
        if run(circuit, theirs) != bits:
            raise AssertionError("the classical bits differ")
        state = theirs.state
    ended = time.perf_counter()
    checked, wrong = check_stabilizers(ours, state.clifford)
    return checked, wrong, middle - began, ended - middle


def user_gates() -> list["QuantumCircuit"]:
    """Two gates a user might define: one from the awkward gates, one nesting the first."""
    mixer = QuantumCircuit(2, name="mixer")
    mixer.sx(0)
    mixer.ecr(0, 1)
    mixer.iswap(1, 0)
    mixer.sxdg(1)
    nested = QuantumCircuit(3, name="nested")
    nested.append(mixer.to_gate(), [2, 0])
    nested.dcx(1, 2)
    nested.swap(0, 1)
    return [mixer, nested]


def random_circuit(rng: random.Random, qubits: int, gates: int, classical: bool) -> "QuantumCircuit":
    """Every translated gate and two user-defined ones at random; with `classical`, also
    measurements, resets, barriers and if_else blocks conditioned on bits and registers."""
    register = ClassicalRegister(qubits, "c")
    circuit = QuantumCircuit(QuantumRegister(qubits, "q"), *([register] if classical else []))
    custom = {gate.name: gate.to_gate() for gate in user_gates()}
    choices = list(GATES) + list(custom) + ["barrier"]
    if classical:
        choices += 4 * ["measure", "reset", "if"]
    for _ in range(gates):
        name = rng.choice(choices)
        if name == "if":
            add_conditional(rng, circuit, register)
        elif name in ("measure", "reset"):
            q = rng.randrange(qubits)
            circuit.measure(q, q) if name == "measure" else circuit.reset(q)
        elif name == "barrier":
            circuit.barrier()
        elif name in custom:
            circuit.append(custom[name], rng.sample(range(qubits), custom[name].num_qubits))
        else:
            getattr(circuit, name)(*rng.sample(range(qubits), 2 if name in TWO_QUBIT else 1))
    return circuit


def add_conditional(rng: random.Random, circuit, register) -> None:
    """An if_else on one bit, with an else branch, or an if on the value of two bits' register."""
    a, b = rng.sample(range(circuit.num_qubits), 2)
    if rng.random() < 0.5:
        with circuit.if_test((register[a], 1)) as otherwise:
            circuit.sx(b)
            circuit.cx(b, a)
        with otherwise:
            circuit.iswap(a, b)
    else:
        with circuit.if_test((register, rng.randrange(4))):
            circuit.ecr(a, b)


TELEPORTATION = """OPENQASM 2.0;
include "qelib1.inc";
gate bell a, b { h a; cx a, b; }
qreg q[3];
creg m0[1];
creg m1[1];
h q[0]; s q[0];              // the state to send: |+i>
bell q[1], q[2];
barrier q;
cx q[0], q[1]; h q[0];
measure q[0] -> m0[0];
measure q[1] -> m1[0];
if (m1 == 1) x q[2];
if (m0 == 1) z q[2];
reset q[0]; reset q[1];
"""


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--qubits", type=int, default=12)
    parser.add_argument("--gates", type=int, default=300)
    parser.add_argument("--circuits", type=int, default=20)
    parser.add_argument("--shots", type=int, default=50, help="of the OpenQASM teleportation")
    args = parser.parse_args(argv)
    if QuantumCircuit is None:
        sys.exit('this example needs Qiskit: pip install "nodeweave[qiskit]"')
    rng = random.Random()
    for classical in (False, True):
        totals = [0, 0, 0.0, 0.0]
        for _ in range(args.circuits):
            circuit = random_circuit(rng, args.qubits, args.gates, classical)
            totals = [t + r for t, r in zip(totals, compare(circuit))]
        kind = "with measure, reset, if_else" if classical else "unitary"
        print(f"{args.circuits} random circuits ({kind}), {args.qubits} qubits, {args.gates} "
              f"operations: {totals[0]} stabilizer generators checked, wrong: {totals[1]}")
        how = ", each outcome forced by retries" if classical else " of the whole circuit"
        print(f"  time per circuit: nodeweave {totals[2] / args.circuits * 1e3:.2f} ms, "
              f"Qiskit StabilizerState{how} {totals[3] / args.circuits * 1e3:.2f} ms")
    teleportation = qasm2.loads(TELEPORTATION)
    results = [compare(teleportation) for _ in range(args.shots)]
    print(f"OpenQASM 2 teleportation, {args.shots} shots: "
          f"{sum(r[0] for r in results)} stabilizer generators checked, "
          f"wrong: {sum(r[1] for r in results)}")
    print(f"  time per shot: nodeweave {sum(r[2] for r in results) / args.shots * 1e3:.3f} ms, "
          f"Qiskit StabilizerState, each outcome forced by retries "
          f"{sum(r[3] for r in results) / args.shots * 1e3:.3f} ms")


if __name__ == "__main__":
    main()
