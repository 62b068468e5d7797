"""GHZ state (|00...0> + |11...1>)/sqrt(2): all Z outcomes agree, X outcomes have even parity.

    python examples/ghz.py [--qubits N] [--shots S]
"""

import argparse
from collections import Counter

from nodeweave import MeasurementResult, NodeWeave


def ghz(qubits: int) -> NodeWeave:
    sim = NodeWeave(qubits)
    sim.h(0)
    for qubit in range(1, qubits):
        sim.cx(qubit - 1, qubit)
    return sim


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--qubits", type=int, default=20)
    parser.add_argument("--shots", type=int, default=1000)
    args = parser.parse_args(argv)
    n, shots = args.qubits, args.shots

    patterns: Counter[str] = Counter()
    ends_agree = 0
    for _ in range(shots):
        sim = ghz(n)
        bits = "".join(str(int(sim.measure_z(q))) for q in range(n))
        patterns["all 0" if bits == "0" * n else "all 1" if bits == "1" * n else "mixed"] += 1
        ends_agree += bits[0] == bits[-1]
    print(f"{n}-qubit GHZ state, {shots} shots of Z on every qubit:")
    for name in ("all 0", "all 1", "mixed"):
        print(f"  {name}: {patterns[name]}")
    print(f"  <Z_0 Z_{n - 1}> = {(2 * ends_agree - shots) / shots:+.3f}")

    # X on every qubit: each outcome is a fair coin, but their product is the stabilizer X...X = +1.
    even = first_plus = 0
    for _ in range(shots):
        sim = ghz(n)
        results = [sim.measure_x(q) for q in range(n)]
        even += sum(r == MeasurementResult.MinusOne for r in results) % 2 == 0
        first_plus += results[0] == MeasurementResult.PlusOne
    print(f"{shots} shots of X on every qubit: <X_0> = {(2 * first_plus - shots) / shots:+.3f}, "
          f"<X_0 X_1 ... X_{n - 1}> = {(2 * even - shots) / shots:+.3f}")


if __name__ == "__main__":
    main()
