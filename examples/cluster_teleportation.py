"""Teleportation along a 1D cluster state by X measurements (measurement-based quantum wire).

The input state sits on qubit 0; qubits 1..n-1 start in |+>; cz joins neighbours. Measuring
qubits 0..n-2 in X moves the state to qubit n-1 as X^x Z^z H^(n-1)|psi>. Each X outcome m updates
the byproduct: (x, z) -> (z xor m, x), because H X^x Z^z H = X^z Z^x up to phase. Undoing the
byproduct and the Hadamards returns |psi>, which is then measured along its own axis: +1 always.

    python examples/cluster_teleportation.py [--qubits N] [--shots S]
"""

import argparse

from nodeweave import MeasurementResult, NodeWeave

# Each input: its name, the gates preparing it from |0>, the measurement with certain outcome +1.
INPUTS = {
    "|0>": ([], "measure_z"),
    "|+>": (["h"], "measure_x"),
    "|+i>": (["h", "s"], "measure_y"),
}


def teleport(qubits: int, prepare: list[str], correct: bool) -> tuple[NodeWeave, int]:
    sim = NodeWeave(qubits)
    for gate in prepare:
        getattr(sim, gate)(0)
    for qubit in range(1, qubits):
        sim.h(qubit)
    for qubit in range(1, qubits):
        sim.cz(qubit - 1, qubit)
    x = z = False
    for qubit in range(qubits - 1):
        x, z = z ^ (sim.measure_x(qubit) == MeasurementResult.MinusOne), x
    out = qubits - 1
    if correct:
        if x:
            sim.x(out)
        if z:
            sim.z(out)
        if (qubits - 1) % 2:
            sim.h(out)
    return sim, out


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--qubits", type=int, default=9)
    parser.add_argument("--shots", type=int, default=500)
    args = parser.parse_args(argv)
    n, shots = args.qubits, args.shots

    print(f"teleportation through a {n}-qubit cluster wire, {n - 1} X measurements, {shots} shots")
    for name, (prepare, measure) in INPUTS.items():
        plus = {False: 0, True: 0}
        for correct in plus:
            for _ in range(shots):
                sim, out = teleport(n, prepare, correct)
                plus[correct] += getattr(sim, measure)(out) == MeasurementResult.PlusOne
        sim, out = teleport(n, prepare, correct=True)
        peek = sim.peek_measure_set({out})[out]
        print(f"  input {name:5} output {measure}: +1 in {plus[True]}/{shots} with byproduct "
              f"correction, {plus[False]}/{shots} without; peek: {peek}")


if __name__ == "__main__":
    main()
