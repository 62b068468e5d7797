"""The engine's list-by-list rules against the step-by-step definitions, dump for dump.

Adjacency order is part of the state, so graphs, VOPs and the order of every list must agree.
"""

import random

import pytest

import _nodeweave_testing as testing
from nodeweave import NodeWeave


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


def random_operation(rng, n):
    a, b = rng.sample(range(n), 2)
    kind = rng.choice(["local_complement", "remove_vop", "cz", "measure"])
    if kind == "local_complement":
        return (testing.local_complement, testing.literal_local_complement, (a,))
    if kind == "remove_vop":
        return (testing.remove_vop, testing.literal_remove_vop, (a, b))
    if kind == "cz":
        return (testing.cz, testing.literal_cz, (a, b))
    words = [rng.choice([0, 2**31])]
    return (testing.measure, testing.literal_measure, (a, rng.randrange(3), words))


SHAPES = [  # (qubits, edge density, hubs)
    (4, 0.5, 0),
    (8, 0.3, 1),
    (12, 0.15, 2),
    (16, 0.7, 0),
    (30, 0.05, 3),
    (20, 0.0, 1),  # a star: hub reductions and pivots from a leaf
    (25, 0.02, 1),  # a star with a few extra edges among the leaves
]


@pytest.mark.parametrize("n,density,hubs", SHAPES)
def test_engine_matches_literal_definitions(n, density, hubs):
    rng = random.Random(n * 1000 + hubs)
    for _ in range(60):
        fast, literal = twins(*random_graph(rng, n, density, hubs))
        for _ in range(25):
            engine_op, literal_op, args = random_operation(rng, n)
            assert engine_op(fast, *args) == literal_op(literal, *args)
            assert testing.dump(fast) == testing.dump(literal), (engine_op.__name__, args)


def test_x_measurement_on_overlapping_neighbourhoods():
    # Many common neighbours of q and b, met from both sides: the pair rule decides the order.
    rng = random.Random(7)
    for _ in range(200):
        n = rng.randrange(5, 14)
        vops, adjacency = random_graph(rng, n, 0.6, 0)
        q = rng.randrange(n)
        if not adjacency[q]:
            continue
        fast, literal = twins(vops, adjacency)
        g = rng.choice([0, 2**31])
        # Axis X through VOP 0 is graph-level X.
        testing.load(fast, [0] * n, adjacency)
        testing.load(literal, [0] * n, adjacency)
        assert testing.measure(fast, q, 0, [g]) == testing.literal_measure(literal, q, 0, [g])
        assert testing.dump(fast) == testing.dump(literal)
