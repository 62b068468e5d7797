"""Fusion-based percolation: 5-qubit star states on a square lattice, every neighbouring pair of
arms fused by a Bell measurement that succeeds with probability p_s. Successful fusions join the
stars' entangled groups; at p_s = 0.5 (bond percolation's threshold on the square lattice) a
spanning group appears. The groups read from the simulator (get_entangled_group) are checked against
a union-find over the successful fusions.

    python examples/fusion_percolation.py [--side L] [--seed S] [--plot FILE]

With matplotlib (pip install ".[plot]") and --plot, the largest group against p_s and the
group-size distribution at the threshold are drawn into FILE; the numbers are printed either way.
"""

import argparse
import random
from collections import Counter

from nodeweave import NodeWeave

CENTRE, LEFT, RIGHT, UP, DOWN = range(5)
SWEEP = [0.3, 0.4, 0.45, 0.5, 0.55, 0.6, 0.7, 0.8, 1.0]


class UnionFind:
    def __init__(self, n: int) -> None:
        self.parent = list(range(n))

    def find(self, x: int) -> int:
        while self.parent[x] != x:
            self.parent[x] = self.parent[self.parent[x]]
            x = self.parent[x]
        return x

    def union(self, a: int, b: int) -> None:
        self.parent[self.find(a)] = self.find(b)


def fuse(sim: NodeWeave, a: int, b: int, success: bool) -> None:
    """A Bell measurement of a and b; a failed fusion only measures both in Z."""
    if success:
        sim.cx(a, b)
        sim.h(a)
    sim.measure_z(a)
    sim.measure_z(b)


def fusion_network(side: int, p_success: float, rng: random.Random) -> tuple[NodeWeave, UnionFind, set[int]]:
    """The fused lattice, the union-find over its sites' successful fusions, and the arms that were
    fused (the others, at the lattice's edge, stay with their centre)."""
    def qubit(r: int, c: int, arm: int) -> int:
        return 5 * (r * side + c) + arm

    sim = NodeWeave(5 * side * side)
    for site in range(side * side):
        sim.h(5 * site)
        for arm in (LEFT, RIGHT, UP, DOWN):
            sim.h(5 * site + arm)
            sim.cz(5 * site, 5 * site + arm)
    sites, fused = UnionFind(side * side), set()
    for r in range(side):
        pairs = [((r, c, RIGHT), (r, c + 1, LEFT)) for c in range(side - 1)]
        pairs += [((r, c, DOWN), (r + 1, c, UP)) for c in range(side) if r + 1 < side]
        for (r1, c1, arm1), (r2, c2, arm2) in pairs:
            success = rng.random() < p_success
            fuse(sim, qubit(r1, c1, arm1), qubit(r2, c2, arm2), success)
            fused |= {qubit(r1, c1, arm1), qubit(r2, c2, arm2)}
            if success:
                sites.union(r1 * side + c1, r2 * side + c2)
    return sim, sites, fused


def groups_checked(side: int, sim: NodeWeave, sites: UnionFind, fused: set[int]) -> list[int]:
    """Sizes of the groups holding the stars' centres, in sites; each group must be exactly the
    centres and unfused arms of one union-find cluster (and every fused arm alone)."""
    expected: dict[int, set[int]] = {}
    for site in range(side * side):
        qubits = {5 * site + arm for arm in range(5)} - fused
        expected.setdefault(sites.find(site), set()).update(qubits)
    sizes = []
    for root, qubits in expected.items():
        group = sim.get_entangled_group(5 * root)
        if group != qubits:
            raise AssertionError(f"group of site {root}: {len(group)} qubits, union-find: {len(qubits)}")
        sizes.append(sum(1 for q in qubits if q % 5 == CENTRE))
    for q in sorted(fused)[:: max(1, len(fused) // 100)]:
        if sim.get_entangled_group(q) != {q}:
            raise AssertionError(f"the measured qubit {q} is still entangled")
    return sizes


def size_bins(histogram: Counter[int], side: int) -> list[tuple[int, int, int]]:
    """(low, high, groups with low <= size < high) over doubling bins, empty bins left out."""
    bins, edges = [], [1 << k for k in range((side * side).bit_length() + 1)]
    for low, high in zip(edges, edges[1:]):
        count = sum(n for s, n in histogram.items() if low <= s < high)
        if count:
            bins.append((low, high, count))
    return bins


def plot(path: str, sweep: list[tuple[float, float]], histogram: Counter[int], side: int) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, (left, right) = plt.subplots(1, 2, figsize=(10, 4))
    left.plot([p for p, _ in sweep], [f for _, f in sweep], "o-")
    left.axvline(0.5, color="grey", linestyle=":")
    left.set(xlabel="fusion success probability $p_s$", ylabel="largest group / sites",
             title=f"{side} x {side} stars")
    binned = [(low, count / (high - low)) for low, high, count in size_bins(histogram, side)]
    right.loglog([low for low, _ in binned], [density for _, density in binned], "o")
    right.set(xlabel="group size s (sites)", ylabel="groups per unit of s", title="at $p_s$ = 0.5")
    figure.tight_layout()
    figure.savefig(path)
    print(f"figure written to {path}")


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--side", type=int, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--plot", metavar="FILE", help="draw the figure into FILE (needs matplotlib)")
    args = parser.parse_args(argv)
    side, rng = args.side, random.Random(args.seed)

    print(f"{side} x {side} stars of 5 qubits ({5 * side * side} qubits), groups checked against union-find:")
    sweep, histogram = [], Counter()
    for p in SWEEP:
        sim, sites, fused = fusion_network(side, p, rng)
        sizes = groups_checked(side, sim, sites, fused)
        largest = max(sizes) / (side * side)
        sweep.append((p, largest))
        print(f"  p_s = {p:.2f}: largest group {largest:.3f} of the sites, {len(sizes)} groups, all match")
        if p == 0.5:
            histogram = Counter(sizes)
    print("group sizes at p_s = 0.5 (sites: groups):")
    for low, high, count in size_bins(histogram, side):
        print(f"  {low}-{high - 1}: {count}")
    if args.plot:
        try:
            plot(args.plot, sweep, histogram, side)
        except ImportError:
            print("no figure: matplotlib is not installed (pip install \".[plot]\")")


if __name__ == "__main__":
    main()
