"""Monte Carlo shots spread over worker processes: the repeater chain, in batches.

Every shot builds the entanglement-swapping chain of examples/repeater_chain.py: Bell pairs on
`links` segments, a Bell-basis measurement at each repeater, the Pauli-frame correction at Bob,
then Z on Alice's and Bob's qubits. Shots are independent, so batches of them can run in any
number of processes; concurrent.futures.ProcessPoolExecutor hands the batches out here. A worker
process draws its outcomes from a generator of its own, seeded afresh after the fork, so no batch
repeats another, nor the batch the parent ran before starting the pool.

Beyond one machine, the same batch function runs on the workers of a dask.distributed cluster:
--scheduler ADDRESS connects to a running scheduler (every worker needs nodeweave installed),
--dask starts a local cluster of W worker processes on the loopback interface instead.

    python examples/parallel_shots.py [--links L] [--shots S] [--workers W]
    python examples/parallel_shots.py --dask [--workers W] | --scheduler tcp://HOST:8786
    (pip install "nodeweave[cluster]" for dask.distributed)
"""

import argparse
import sys
from concurrent.futures import ProcessPoolExecutor
from contextlib import ExitStack
from itertools import combinations

from nodeweave import MeasurementResult, NodeWeave


def minus(result: MeasurementResult) -> bool:
    # By the class, not a module-level member: a function sent to dask workers takes the globals
    # it uses along, and a member object cannot be pickled, while the class goes by name.
    return result == MeasurementResult.MinusOne


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
        first, second = minus(sim.measure_z(left)), minus(sim.measure_z(right))
        flip_z ^= first
        flip_x ^= second
        bits += [first, second]
    bob = 2 * links - 1
    if flip_x:
        sim.x(bob)
    if flip_z:
        sim.z(bob)
    bits += [minus(sim.measure_z(0)), minus(sim.measure_z(bob))]
    return "".join("1" if bit else "0" for bit in bits)


def batch(links: int, shots: int) -> list[str]:
    """What one task of the pool computes: `shots` shots in this worker process."""
    return [shot(links) for _ in range(shots)]


def on_processes(links: int, batches: int, size: int, workers: int) -> tuple[list[list[str]], str]:
    with ProcessPoolExecutor(max_workers=workers) as pool:
        results = list(pool.map(batch, [links] * batches, [size] * batches))
    return results, f"{workers} worker processes"


def on_dask(links: int, batches: int, size: int, workers: int,
            address: str | None) -> tuple[list[list[str]], str]:
    """The batches on a dask.distributed cluster: the one at `address`, or a local one."""
    try:
        from dask.distributed import (  # type: ignore[import-not-found, unused-ignore]
            Client, LocalCluster)
    except ImportError:
        sys.exit('--dask and --scheduler need dask.distributed: pip install "nodeweave[cluster]"')
    with ExitStack() as stack:
        if address:
            connect = Client(address)  # type: ignore[no-untyped-call, unused-ignore]
            where = f"dask workers at {address}"
        else:
            cluster = LocalCluster(  # type: ignore[no-untyped-call, unused-ignore]
                n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                dashboard_address=None)
            stack.enter_context(cluster)
            connect = Client(cluster)  # type: ignore[no-untyped-call, unused-ignore]
            where = "dask workers (local cluster)"
        client = stack.enter_context(connect)
        # pure=False: the calls have equal arguments, and dask would otherwise run one of them
        # and hand its result to all.
        futures = client.map(batch, [links] * batches, [size] * batches, pure=False)
        results = client.gather(futures)
        used = len({worker for ws in client.who_has(futures).values() for worker in ws})
    return results, f"{used} {where}"


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--links", type=int, default=8)
    parser.add_argument("--shots", type=int, default=4000)
    parser.add_argument("--workers", type=int, default=4)
    cluster = parser.add_mutually_exclusive_group()
    cluster.add_argument("--dask", action="store_true", help="a local dask.distributed cluster")
    cluster.add_argument("--scheduler", metavar="ADDRESS", help="a dask.distributed scheduler")
    args = parser.parse_args(argv)
    links, workers = args.links, args.workers
    batches = 2 * workers
    size = -(-args.shots // batches)

    # The parent draws a batch of its own before the workers are forked from it. (One shot of a
    # short chain would not do: it has a few random bits, and some batch would start the same.)
    parents = batch(links, size)
    if args.dask or args.scheduler:
        results, where = on_dask(links, batches, size, workers, args.scheduler)
    else:
        results, where = on_processes(links, batches, size, workers)
    shots = [s for result in results for s in result]

    agree = sum(s[-2] == s[-1] for s in shots)
    repeater_bits = "".join(s[:-2] for s in shots)
    repeats = sum(a == b for a, b in combinations([parents, *results], 2))
    print(f"repeater chain of {links} links: {len(shots)} shots in {batches} batches over {where}")
    print(f"  Alice and Bob agree in Z after the Pauli-frame correction: {agree}/{len(shots)}")
    print(f"  repeater outcomes: {repeater_bits.count('1') / len(repeater_bits):.3f} ones "
          f"(fair coins: 0.5)")
    print(f"  batches that repeat another batch or the parent's: {repeats}")


if __name__ == "__main__":
    main()
