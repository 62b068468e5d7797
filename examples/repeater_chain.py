"""Entanglement swapping along a quantum repeater chain.

Alice and Bob are `links` segments apart. Every segment holds a Bell pair (|00> + |11>)/sqrt(2)
between neighbouring stations; each repeater station makes a Bell-basis measurement (cx, h, two Z
measurements) on its two qubits. Bob then applies the Pauli-frame correction X^(xor of the second
bits) Z^(xor of the first bits), and Alice and Bob share |Phi+>.

    python examples/repeater_chain.py [--links L] [--shots S]
"""

import argparse

from nodeweave import MeasurementResult, NodeWeave

MINUS = MeasurementResult.MinusOne


def swapped_chain(links: int, correct: bool) -> tuple[NodeWeave, int]:
    """Qubits 2k and 2k+1 are the two ends of segment k; Alice holds 0, Bob holds 2*links - 1."""
    sim = NodeWeave(2 * links)
    for k in range(links):
        sim.h(2 * k)
        sim.cx(2 * k, 2 * k + 1)
    flip_x = flip_z = False
    for station in range(1, links):
        left, right = 2 * station - 1, 2 * station
        sim.cx(left, right)
        sim.h(left)
        flip_z ^= sim.measure_z(left) == MINUS
        flip_x ^= sim.measure_z(right) == MINUS
    bob = 2 * links - 1
    if correct and flip_x:
        sim.x(bob)
    if correct and flip_z:
        sim.z(bob)
    return sim, bob


def correlation(links: int, shots: int, basis: str, correct: bool) -> float:
    """<P_Alice P_Bob> for the Pauli P named by `basis`, estimated from `shots` runs."""
    agree = 0
    for _ in range(shots):
        sim, bob = swapped_chain(links, correct)
        measure = {"X": sim.measure_x, "Y": sim.measure_y, "Z": sim.measure_z}[basis]
        agree += measure(0) == measure(bob)
    return (2 * agree - shots) / shots


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--links", type=int, default=8)
    parser.add_argument("--shots", type=int, default=500)
    args = parser.parse_args(argv)
    links, shots = args.links, args.shots

    sim, bob = swapped_chain(links, correct=True)
    print(f"repeater chain of {links} links, {links - 1} Bell-basis measurements at the repeaters")
    print(f"  entangled group of Alice's qubit 0: {sorted(sim.get_entangled_group(0))}")
    print(f"  entangled group of Bob's qubit {bob}: {sorted(sim.get_entangled_group(bob))}")
    print(f"correlations of Alice and Bob over {shots} shots per basis (|Phi+>: +1, -1, +1):")
    for correct in (False, True):
        row = "  ".join(f"<{b}{b}> = {correlation(links, shots, b, correct):+.3f}" for b in "XYZ")
        print(f"  {'with' if correct else 'without':>7} Pauli-frame correction: {row}")


if __name__ == "__main__":
    main()
