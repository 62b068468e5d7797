"""Monte Carlo shots spread over worker processes: the repeater chain, in batches.

Every shot builds the entanglement-swapping chain of examples/repeater_chain.py: Bell pairs on
`links` segments, a Bell-basis measurement at each repeater, the Pauli-frame correction at Bob,
then Z on Alice's and Bob's qubits. Shots are independent, so batches of them can run in any
number of processes; concurrent.futures.ProcessPoolExecutor hands the batches out here. A worker
process draws its outcomes from a generator of its own, seeded afresh after the fork, so no batch
repeats another, nor the shot the parent ran before starting the pool.

    python examples/parallel_shots.py [--links L] [--shots S] [--workers W]
"""

import argparse
from concurrent.futures import ProcessPoolExecutor
from itertools import combinations

from nodeweave import MeasurementResult, NodeWeave

MINUS = MeasurementResult.MinusOne


def shot(links: int) -> str:
    """One corrected chain: the repeaters' outcome bits, then Alice's and Bob's Z bits."""
    sim = NodeWeave(2 * links)
    for k in range(links):
        sim.h(2 * k)
        sim.cx(2 * k, 2 * k + 1)
    bits, flip_x, flip_z = [], False, False
    for station in range(1, links):
        left, right = 2 * station - 1, 2 * station
        sim.cx(left, right)
        sim.h(left)
        first, second = sim.measure_z(left) == MINUS, sim.measure_z(right) == MINUS
        flip_z ^= first
        flip_x ^= second
        bits += [first, second]
    bob = 2 * links - 1
    if flip_x:
        sim.x(bob)
    if flip_z:
        sim.z(bob)
    bits += [sim.measure_z(0) == MINUS, sim.measure_z(bob) == MINUS]
    return "".join("1" if bit else "0" for bit in bits)


def batch(links: int, shots: int) -> list[str]:
    """What one task of the pool computes: `shots` shots in this worker process."""
    return [shot(links) for _ in range(shots)]


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--links", type=int, default=8)
    parser.add_argument("--shots", type=int, default=4000)
    parser.add_argument("--workers", type=int, default=4)
    args = parser.parse_args(argv)
    links, workers = args.links, args.workers
    batches = 2 * workers
    size = -(-args.shots // batches)

    first = shot(links)  # the parent draws before the workers are forked from it
    with ProcessPoolExecutor(max_workers=workers) as pool:
        results = list(pool.map(batch, [links] * batches, [size] * batches))
    shots = [s for result in results for s in result]

    agree = sum(s[-2] == s[-1] for s in shots)
    repeater_bits = "".join(s[:-2] for s in shots)
    repeats = sum(a == b for a, b in combinations(results, 2)) + sum(r[0] == first for r in results)
    print(f"repeater chain of {links} links: {len(shots)} shots in {batches} batches "
          f"over {workers} worker processes")
    print(f"  Alice and Bob agree in Z after the Pauli-frame correction: {agree}/{len(shots)}")
    print(f"  repeater outcomes: {repeater_bits.count('1') / len(repeater_bits):.3f} ones "
          f"(fair coins: 0.5)")
    print(f"  batches that repeat another batch or the parent's shot: {repeats}")


if __name__ == "__main__":
    main()
