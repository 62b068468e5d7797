"""A 1D cluster state of a million qubits, and a measurement of its stabilizers.

h on every qubit and cz between neighbours give the cluster state, stabilized by
K_i = Z_(i-1) X_i Z_(i+1). Measuring the pattern Z X Z | Z X Z | ... measures disjoint K_i at once:
every single outcome is a fair coin, yet every product z xor x xor z is 0 (eigenvalue +1).
The graph has one edge per neighbour pair, so the state takes about 32 bytes per qubit where a
stabilizer tableau would take at least n^2/4 bytes (250 GB for a million qubits). The example
reports the process's peak resident memory, and what the Python set returned by
get_entangled_group costs: for the whole cluster it is larger than the simulator's state.

    python examples/million_qubits.py [--qubits N]
    (pip install "nodeweave[progress]" for a progress bar)
"""

import argparse
import sys
import time
from collections.abc import Callable

from nodeweave import MeasurementResult, NodeWeave

try:
    from tqdm import tqdm  # type: ignore[import-untyped, import-not-found, unused-ignore]
except ImportError:  # the progress bar is optional
    tqdm = None

CHUNK = 10_000


def peak_resident_mb() -> float | None:
    """The peak resident memory of this process so far, in MB (None where it cannot be read)."""
    try:
        import resource
    except ImportError:  # Windows
        return None
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    return peak / 2**20 if sys.platform == "darwin" else peak / 2**10  # bytes there, KiB elsewhere


def set_mb(numbers: set[int]) -> float:
    """What a set of ints occupies: its hash table and the int objects it holds."""
    return (sys.getsizeof(numbers) + sum(map(sys.getsizeof, numbers))) / 1e6


def in_steps(label: str, total: int, work: Callable[[int], None]) -> None:
    """Runs work(i) for i in range(total), reporting progress with tqdm or, without it, as text."""
    bar = tqdm(total=total, desc=label, unit="op", unit_scale=True) if tqdm else None
    next_report = 1  # in quarters of the total
    for start in range(0, total, CHUNK):
        for i in range(start, min(start + CHUNK, total)):
            work(i)
        done = min(start + CHUNK, total)
        if bar is not None:
            bar.update(done - start)
        elif done * 4 >= next_report * total:
            print(f"  {label}: {done}/{total} ({100 * done // total}%)", flush=True)
            next_report = done * 4 // total + 1
    if bar is not None:
        bar.close()


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--qubits", type=int, default=1_000_000)
    n = parser.parse_args(argv).qubits
    if n < 3:
        parser.error("--qubits must be at least 3")
    triples = n // 3
    began = time.perf_counter()

    sim = NodeWeave(n)
    in_steps("h on every qubit", n, sim.h)
    in_steps("cz between neighbours", n - 1, lambda i: sim.cz(i, i + 1))
    before = peak_resident_mb()
    so_far = "" if before is None else f"; peak resident memory so far {before:.0f} MB"
    print(f"1D cluster state of {n} qubits: the simulator's state is about {32 * n / 1e6:.0f} MB "
          f"at 32 bytes per qubit{so_far}")
    middle = n // 2
    group = sim.get_entangled_group(middle)
    after = peak_resident_mb()
    print(f"qubit {middle} is entangled with {len(group)} qubits; the answer is a Python set of "
          f"{len(group)} ints: {set_mb(group):.2f} MB while it is kept", end="")
    print("" if before is None or after is None else
          f", and making it raised the peak resident memory by {after - before:.0f} MB")
    del group

    minus = bytearray(3 * triples)
    measure = (sim.measure_z, sim.measure_x, sim.measure_z)

    def measure_one(i: int) -> None:
        minus[i] = measure[i % 3](i) == MeasurementResult.MinusOne

    in_steps("measure Z X Z on each triple", 3 * triples, measure_one)
    violated = sum(minus[i] ^ minus[i + 1] ^ minus[i + 2] for i in range(0, 3 * triples, 3))
    print(f"stabilizers Z X Z measured: {triples}, with eigenvalue +1: {triples - violated}, "
          f"-1: {violated}")
    print(f"single outcomes -1: X {sum(minus[1::3]) / max(triples, 1):.3f}, "
          f"Z {sum(minus[0::3]) / max(triples, 1):.3f} (fair coins)")
    print(f"took {time.perf_counter() - began:.1f} s")
    peak = peak_resident_mb()
    if peak is not None:
        print(f"peak resident memory of this process: {peak:.0f} MB (the interpreter, the state, "
              f"the set above and the outcome buffer)")


if __name__ == "__main__":
    main()
