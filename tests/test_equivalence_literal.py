"""The engine against the step-by-step reference of the test-support module: the same operations on
the same graphs must give the same quantum states, however differently the two store them, and the
same certain measurement results. (Which result a given random word gives depends on the VOPs, so a
random measurement is compared with the reference's measurement that gave the same result.) Run with the engine's own thresholds and with tiny
ones, so that dense blocks, position indexes and record swaps are all used."""

import random

import pytest

import _nodeweave_testing as testing
from nodeweave import NodeWeave
from stim_oracle import assert_same_state, to_stim
from thresholds import TABLEAU, TINY, thresholds


def random_graph(rng, n, density, hubs):
    edges = {(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < density}
    for hub in rng.sample(range(n), hubs):
        edges |= {tuple(sorted((hub, j))) for j in range(n) if j != hub and rng.random() < 0.8}
    edges = list(edges)
    rng.shuffle(edges)  # list orders then differ from numeric order
    adjacency = [[] for _ in range(n)]
    for i, j in edges:
        adjacency[i].append(j)
        adjacency[j].append(i)
    return [rng.randrange(24) for _ in range(n)], adjacency


def twins(vops, adjacency):
    pair = NodeWeave(len(vops)), NodeWeave(len(vops))
    for sim in pair:
        testing.load(sim, vops, adjacency)
    return pair


def pivot_steps(sim, p, r):
    """A pivot for the reference: three complementations (which keep the state about any pair)."""
    for v in (p, r, p):
        testing.literal_local_complement(sim, v)


def random_operation(rng, n, adjacency):
    a, b = rng.sample(range(n), 2)
    kind = rng.choice(["local_complement", "pivot", "cz", "measure"])
    if kind == "local_complement":
        return testing.local_complement, testing.literal_local_complement, (a,)
    if kind == "pivot" and adjacency[a]:
        return testing.pivot, pivot_steps, (a, rng.choice(adjacency[a]))
    if kind in ("cz", "pivot"):
        return testing.cz, testing.literal_cz, (a, b)
    return testing.measure, testing.literal_measure, (a, rng.randrange(3), [rng.choice([0, 2**31])])


SHAPES = [  # (qubits, edge density, hubs)
    (4, 0.5, 0),
    (8, 0.3, 1),
    (12, 0.15, 2),
    (16, 0.7, 0),
    (30, 0.05, 3),
    (20, 0.0, 1),  # a star: hub reductions and pivots from a leaf
    (25, 0.02, 1),  # a star with a few extra edges among the leaves
    (40, 0.5, 0),  # dense enough for blocks at the engine's own thresholds
]


@pytest.mark.parametrize("values", [None, TINY, TABLEAU], ids=["default", "tiny-thresholds", "tableau"])
@pytest.mark.parametrize("n,density,hubs", SHAPES)
def test_engine_matches_the_step_by_step_reference(n, density, hubs, values):
    rng = random.Random(n * 1000 + hubs)
    with thresholds(values):
        for _ in range(12 if n > 30 else 30):
            fast, literal = twins(*random_graph(rng, n, density, hubs))
            for _ in range(20):
                before = testing.dump(literal)
                engine_op, literal_op, args = random_operation(rng, n, testing.dump(fast)[1])
                got, want = engine_op(fast, *args), literal_op(literal, *args)
                if engine_op is testing.measure and got != want:
                    assert got[1] == want[1] == 1, f"certain outcomes differ: {got} {want}"
                    testing.load(literal, *before)
                    want = literal_op(literal, *args[:2], [args[2][0] ^ 2**31])
                assert got == want, (engine_op.__name__, args)
                testing.check(fast)
                assert_same_state(to_stim(testing.dump(fast)), to_stim(testing.dump(literal)),
                                  f"{engine_op.__name__}{args}")
