"""Failed allocations inside engine operations. For n = 0, 1, 2, ... the test-support module makes
its n-th allocation fail (throwing or not): each attempt that meets the failure must raise
MemoryError and leave the same quantum state behind (the engine may have changed how it stores it),
with every internal invariant intact, or, when the failed allocation was a cache that may go
without, get through with the answer it gives undisturbed. The start states are loaded ones (lists
only), ones shaped by gates under tiny thresholds (a dense block, swapped records, indexes) and,
under the TABLEAU thresholds, ones with part of the state held in a tableau."""

import itertools
import random

import pytest

import _nodeweave_testing as testing
from gates import TWO_QUBIT_GATES
from nodeweave import NodeWeave
from stim_oracle import check_invariants, same_state, to_stim
from thresholds import LARGE_TABLEAUX, TABLEAU, TINY, thresholds

N = 14
WORDS = [0x9E3779B9, 0x7F4A7C15, 0x80000000, 0x00000001, 0xDEADBEEF, 0x6A09E667] * 4


def hub_state(seed):
    """Qubit 0 with eight neighbours (a list on the heap), qubit 1 with four (a full inline list),
    a few more edges, qubit N - 1 isolated, and random VOPs."""
    rng, adjacency = random.Random(seed), [[] for _ in range(N)]
    edges = [(0, 1)] + [(0, v) for v in rng.sample(range(2, N - 1), 7)]
    edges += [(1, v) for v in rng.sample(range(2, N - 1), 3)]
    for u, v in edges + [tuple(rng.sample(range(2, N - 1), 2)) for _ in range(6)]:
        if v not in adjacency[u]:
            adjacency[u].append(v), adjacency[v].append(u)
    return [rng.randrange(24) for _ in range(N)], adjacency


def dense_state(seed):
    """Every pair joined with probability 0.6 but qubit N - 1 isolated, random VOPs."""
    rng, adjacency = random.Random(seed), [[] for _ in range(N)]
    for u, v in itertools.combinations(range(N - 1), 2):
        if rng.random() < 0.6:
            adjacency[u].append(v), adjacency[v].append(u)
    return [rng.randrange(24) for _ in range(N)], adjacency


def loaded(state):
    sim = NodeWeave(N)
    testing.load(sim, *state)
    return sim


def built(seed):
    """Under tiny thresholds: a star about qubit 0 whose list gets an index when a leaf is measured
    off, then random gates on qubits 5 to N - 2. The same state every time for a seed."""
    rng, sim = random.Random(seed), NodeWeave(N)
    with thresholds(TINY):
        for q in range(N - 1):
            testing.apply(sim, "h", q)
        for q in range(1, 8):
            testing.apply(sim, "cz", 0, q)
        testing.measure(sim, 7, 2, WORDS)
        for _ in range(12):
            testing.apply(sim, rng.choice(TWO_QUBIT_GATES), *rng.sample(range(5, N - 1), 2))
    return sim


def held_in_tableau(seed):
    """The dense state, gates on it until it is held in a tableau (one of up to 4096 qubits; the
    operations then run with tableaux of at most six, so that joins send it back to graph form)."""
    sim, rng = loaded(dense_state(seed)), random.Random(seed)
    with thresholds(LARGE_TABLEAUX):
        for _ in range(200):
            if testing.layout(sim)["tableaux"]:
                return sim
            testing.apply(sim, "cx", *rng.sample(range(N - 1), 2))
    raise AssertionError("the dense state never entered a tableau")


BUILT_SEEDS = [1, 3, 4]  # each holds a block, swapped records and an index (tested below)


def outsider(state, hub):
    return next(v for v in range(2, N - 1) if v not in state[1][hub])


OPERATIONS = {  # the peek's records come in a random order, so only their qubits are compared
    "local_complement-hub": lambda sim, st: testing.local_complement(sim, 0),
    "local_complement-leaf": lambda sim, st: testing.local_complement(sim, st[1][1][-1]),
    "pivot-hub": lambda sim, st: testing.pivot(sim, 0, st[1][0][0]),
    "pivot-other": lambda sim, st: testing.pivot(sim, 1, st[1][1][-1]),
    "cz-hub-isolated": lambda sim, st: testing.cz(sim, 0, N - 1),
    "cz-isolated-hub": lambda sim, st: testing.cz(sim, N - 1, 1),
    "cz-hub-outsider": lambda sim, st: testing.cz(sim, outsider(st, 0), 0),
    **{f"{gate}-hubs": (lambda gate: lambda sim, st: testing.apply(sim, gate, 0, 1))(gate) for gate in TWO_QUBIT_GATES},
    **{f"{gate}-pair": (lambda gate: lambda sim, st: testing.apply(sim, gate, 2, 3))(gate) for gate in TWO_QUBIT_GATES},
    "measure-x": lambda sim, st: testing.measure(sim, 0, 0, WORDS),
    "measure-y": lambda sim, st: testing.measure(sim, 0, 1, WORDS),
    "measure-z": lambda sim, st: testing.measure(sim, 1, 2, WORDS),
    "measure-x-leaf": lambda sim, st: testing.measure(sim, st[1][1][-1], 0, WORDS),
    "peek": lambda sim, st: sorted(record[0] for record in testing.peek(sim, [0, 1, 2, 3, 4], WORDS)[0]),
}


def sweep(name, start, operation=None):
    """Runs the operation on a fresh state from `start()` with its first, second, ... allocation
    failing, until it meets no failure (a state that survived a failure would allocate less)."""
    operation, reference = operation or OPERATIONS[name], start()
    state = testing.dump(reference)
    before = to_stim(state)
    want = operation(reference, state), to_stim(testing.dump(reference))
    for n in itertools.count():
        sim = start()
        testing.fail_allocation_after(n)
        try:
            got = operation(sim, state)
        except MemoryError:
            assert testing.fail_allocation_after(-1) == -1, "MemoryError without an injected failure"
            testing.check(sim)
            after = testing.dump(sim)
            check_invariants(after, len(state[0]))
            assert same_state(to_stim(after), before), f"{name}: allocation {n} failed and the state changed"
            continue
        left = testing.fail_allocation_after(-1)  # -1: a failed cache was done without
        testing.check(sim)
        assert got == want[0] and same_state(to_stim(testing.dump(sim)), want[1]), (
            f"{name}: another answer with allocation {n} failing")
        if left >= 0:  # this attempt met no failure: every allocation has had its turn
            return


@pytest.mark.parametrize("values", [None, TINY, TABLEAU], ids=["default", "tiny-thresholds", "tableau"])
@pytest.mark.parametrize("name", OPERATIONS)
def test_failed_allocation_leaves_the_state_whole(name, values):
    with thresholds(values):
        for seed in range(3):
            sweep(name, lambda: loaded(hub_state(seed)))
            sweep(name, lambda: loaded(dense_state(seed)))
            sweep(name, lambda: built(BUILT_SEEDS[seed]))
            if values is TABLEAU:
                assert testing.layout(held_in_tableau(seed))["tableaux"]
                sweep(name, lambda: held_in_tableau(seed))


@pytest.mark.parametrize("seed", BUILT_SEEDS)
def test_built_start_states_hold_every_representation(seed):
    sim, layout = built(seed), testing.layout(built(seed))
    assert layout["blocks"] and layout["relabelled"] and layout["indexed"]
    adjacency = testing.dump(sim)[1]
    assert adjacency[0] and adjacency[1] and not adjacency[N - 1] and outsider((None, adjacency), 0)


def big_star():
    """Qubit 0 joined to 600 others by gates: its neighbourhood outgrows the engine's stack buffers."""
    sim = NodeWeave(601)
    for q in range(601):
        sim.h(q)
    for q in range(1, 601):
        sim.cz(0, q)
    return sim


@pytest.mark.parametrize("name, operation", [
    ("local_complement-hub", lambda sim, st: testing.local_complement(sim, 0)),
    ("peek-hub", lambda sim, st: testing.peek(sim, [0, 1], WORDS)),
])
def test_failed_allocation_in_a_large_neighbourhood(name, operation):
    sweep(name, big_star, operation)
