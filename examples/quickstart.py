"""Bell pairs: prepare, measure, and count how often the two halves agree."""

from collections import Counter

from nodeweave import MeasurementResult, NodeWeave

SHOTS = 1000


def bell_pair_shot() -> tuple[int, int]:
    sim = NodeWeave(2)
    sim.h(0)
    sim.cx(0, 1)
    first = sim.measure_z(0)
    second = sim.measure_z(1)
    return int(first), int(second)


def main() -> None:
    counts = Counter(bell_pair_shot() for _ in range(SHOTS))
    print(f"Bell pair (|00> + |11>)/sqrt(2), {SHOTS} shots of Z on both qubits:")
    for outcome in [(0, 0), (0, 1), (1, 0), (1, 1)]:
        print(f"  {outcome[0]}{outcome[1]}: {counts[outcome]}")
    print(f"  agreement: {(counts[(0, 0)] + counts[(1, 1)]) / SHOTS:.3f}")
    sim = NodeWeave(3)
    sim.h(0)
    sim.cx(0, 1)
    print(f"entangled group of qubit 0 after h(0), cx(0, 1): {sorted(sim.get_entangled_group(0))}")
    print(f"a fresh qubit measured in Z: {sim.measure_z(2)!r}")
    assert MeasurementResult.PlusOne == 0


if __name__ == "__main__":
    main()
