"""The engine's ways of storing the graph (position indexes on long lists, dense blocks of bit rows,
qubits swapping vertex records) checked against stim: on small graphs with thresholds so small that
every path is taken, on dense states at the engine's own thresholds, and on the shapes they exist
for (hubs, GHZ states)."""

import random

import pytest
import stim

import _nodeweave_testing as testing
from gates import SINGLE_QUBIT_GATES, TWO_QUBIT_GATES
from nodeweave import NodeWeave
from stim_oracle import assert_same_state, check_invariants, to_stim
from thresholds import TINY, TINY_UNDEFERRED, thresholds

SINGLE, TWO = SINGLE_QUBIT_GATES, TWO_QUBIT_GATES
STIM_NAME = {"sdag": "s_dag"}  # every other gate has stim's name and operand order
SMALL = [TINY, dict(index_min=2, row_pairs=3, relabel_min=2, initial_row_words=1, star_max=4),
         dict(index_min=4, row_pairs=10, relabel_min=1, initial_row_words=1, star_max=96)]


def fresh(n):
    ref = stim.TableauSimulator()
    ref.set_num_qubits(n)
    return NodeWeave(n), ref


def step(rng, sim, ref, run):
    """One random gate, measurement or state-keeping rewrite on both simulators; `run(sim, name,
    *qubits)` performs gates and measurements on nodeweave (returning a measurement's bit)."""
    n, r = ref.num_qubits, rng.random()
    if r < 0.2:
        gate, q = rng.choice(SINGLE), rng.randrange(n)
        run(sim, gate, q), getattr(ref, STIM_NAME.get(gate, gate))(q)
        return gate, q
    if r < 0.75:
        gate, (a, b) = rng.choice(TWO), rng.sample(range(n), 2)
        run(sim, gate, a, b), getattr(ref, gate)(a, b)
        return gate, a, b
    if r < 0.88:
        q, neighbours = rng.randrange(n), testing.dump(sim)[1]
        if neighbours[q] and rng.random() < 0.5:
            p = rng.choice(neighbours[q])
            testing.pivot(sim, q, p)
            return "pivot", q, p
        testing.local_complement(sim, q)
        return "local_complement", q
    q, basis = rng.randrange(n), rng.choice("xyz")
    expect = getattr(ref, "peek_" + basis)(q)
    bit = int(run(sim, "measure_" + basis, q))
    assert not expect or bit == (expect == -1), f"certain {expect:+d}, got {bit}"
    getattr(ref, "postselect_" + basis)(q, desired_value=bool(bit))
    return "measure_" + basis, q, bit


def check(sim, ref, history):
    testing.check(sim)
    dump = testing.dump(sim)
    check_invariants(dump, ref.num_qubits)
    assert_same_state(to_stim(dump), ref, f"after {history[-5:]}")


def engine_of_the_test_module(sim, name, *qubits):
    return testing.apply(sim, name, *qubits)


def public_module(sim, name, *qubits):
    return getattr(sim, name)(*qubits)


@pytest.mark.parametrize("values", SMALL, ids=["tiny", "small", "mixed"])
def test_small_thresholds_match_stim(values):
    with thresholds(values):
        for seed in range(120):
            rng = random.Random(seed)
            sim, ref = fresh(rng.randint(2, 16))
            history = []
            for _ in range(60):
                history.append(step(rng, sim, ref, engine_of_the_test_module))
                check(sim, ref, history)


def test_states_shaped_by_small_thresholds_work_in_the_public_module():
    # The public module's engine meets indexes, blocks and swapped records it would not have made
    # itself at such sizes.
    with thresholds(TINY):
        for seed in range(80):
            rng = random.Random(7000 + seed)
            sim, ref = fresh(rng.randint(2, 16))
            history = []
            for _ in range(60):
                run = public_module if rng.random() < 0.5 else engine_of_the_test_module
                history.append(step(rng, sim, ref, run))
                check(sim, ref, history)


@pytest.mark.parametrize("seed", range(4))
def test_dense_random_circuits_match_stim(seed):
    rng, n = random.Random(seed), 90
    sim, ref = fresh(n)
    for q in range(n):
        sim.h(q), ref.h(q)
    for layer in range(12):
        for q in rng.sample(range(n), n // 2):
            gate = rng.choice(SINGLE)
            getattr(sim, gate)(q), getattr(ref, STIM_NAME.get(gate, gate))(q)
        order = rng.sample(range(n), n)
        for a, b in zip(order[::2], order[1::2]):
            gate = rng.choice(TWO)
            getattr(sim, gate)(a, b), getattr(ref, gate)(a, b)
        if layer == 8:
            assert testing.layout(sim)["blocks"], "a dense state is kept in a block"
        testing.check(sim)
    assert_same_state(to_stim(testing.dump(sim)), ref)
    history = []
    for q in rng.sample(range(n), n // 2):
        basis = rng.choice("xyz")
        bit = int(getattr(sim, "measure_" + basis)(q))
        getattr(ref, "postselect_" + basis)(q, desired_value=bool(bit))
        history.append((basis, q))
    check(sim, ref, history)


def edges(sim):
    return sum(map(len, testing.dump(sim)[1])) // 2


def star(n):
    sim = NodeWeave(n)
    for q in range(n):
        sim.h(q)
    for q in range(1, n):
        sim.cz(0, q)
    return sim


def test_a_star_stays_a_star():
    n = 3000
    sim = star(n)
    assert edges(sim) == n - 1
    sim.measure_z(5)  # a leaf leaves; the hub's list finds it through its index
    assert edges(sim) == n - 2 and 0 in testing.layout(sim)["indexed"]
    sim.measure_y(0)  # not a complete graph on the leaves: a star about one of them
    assert edges(sim) < 2 * n and len(sim.get_entangled_group(1)) == n - 2
    testing.check(sim)


def test_a_hub_keeps_every_edge_while_its_list_grows_and_shrinks():
    # Leaves join and leave a hub in random order: its list is searched at every length, short,
    # scanned in blocks of entries, indexed, then shrinking back, with the hit at every position.
    rng, n = random.Random(5), 700
    sim = NodeWeave(n)
    for q in range(n):
        sim.h(q)
    leaves = list(range(1, n))
    for joining in (True, False):
        order = rng.sample(leaves, len(leaves))
        for count, q in enumerate(order, 1):
            sim.cz(0, q)
            if count % 37 == 0 or count == len(order):
                expected = set(order[:count]) if joining else set(order[count:])
                assert set(testing.dump(sim)[1][0]) == expected, (joining, count)
                testing.check(sim)
    assert edges(sim) == 0


def test_a_ghz_chain_stays_a_star():
    n = 2000
    sim = NodeWeave(n)
    sim.h(0)
    for q in range(n - 1):
        sim.cx(q, q + 1)
    assert edges(sim) == n - 1
    ref = stim.TableauSimulator()
    ref.set_num_qubits(40)
    small = NodeWeave(40)
    small.h(0), ref.h(0)
    for q in range(39):
        small.cx(q, q + 1), ref.cx(q, q + 1)
    assert_same_state(to_stim(testing.dump(small)), ref)
    first = sim.measure_z(n // 2)
    assert all(sim.measure_z(q) == first for q in range(0, n, 97))
    assert edges(sim) == 0


def test_peeking_at_the_hub_of_a_large_star_keeps_it_sparse():
    sim = star(20_000)
    before = testing.dump(sim)
    axes = set()
    for _ in range(40):  # each peek measures on a copy, which must not fill in
        outcome = sim.peek_measure_set({0, 1})
        axes.add(int(outcome[0].axis))
    assert axes == {0, 1, 2} and testing.dump(sim) == before


def components(adjacency):
    """The connected component of each qubit, as a set."""
    groups = [{q} for q in range(len(adjacency))]
    for u, neighbours in enumerate(adjacency):
        for w in neighbours:
            if groups[u] is not groups[w]:
                merged = groups[u] | groups[w]
                for q in merged:
                    groups[q] = merged
    return groups


@pytest.mark.parametrize("run", [engine_of_the_test_module, public_module], ids=["tiny", "public"])
def test_entangled_groups_follow_swapped_records(run):
    # A cz on a star's hub that has left the Z axis pivots the hub with a leaf, and the pivots of
    # measurements do the same: qubits trade vertex records, and every group is then read through
    # the permutation.
    with thresholds(TINY_UNDEFERRED):
        for seed in range(12):
            rng = random.Random(seed)
            n = rng.randint(20, 50)
            sim = NodeWeave(n)
            order = rng.sample(range(n), n)
            start = 0
            while start < n - 1:
                end = min(n, start + rng.randint(12, 20))
                hub, leaves = order[start], order[start + 1:end]
                for q in order[start:end]:
                    run(sim, "h", q)
                for q in leaves:
                    run(sim, "cz", hub, q)
                for q in leaves[1:5]:  # a control with this many edges is not held back
                    run(sim, "cz", leaves[0], q)
                run(sim, "h", hub)
                run(sim, "cz", hub, leaves[0])
                start = end
            assert testing.layout(sim)["relabelled"]
            for _ in range(3 * n):
                if rng.random() < 0.2:
                    run(sim, "measure_" + rng.choice("xyz"), rng.randrange(n))
                else:
                    run(sim, rng.choice(TWO), *rng.sample(range(n), 2))
                expected = components(testing.dump(sim)[1])
                assert [set(sim.get_entangled_group(q)) for q in range(n)] == expected


def assert_members_have_edges(sim):
    """Every member of a dense block has an edge (and check() agrees)."""
    testing.check(sim)
    adjacency = testing.dump(sim)[1]
    for block in testing.layout(sim)["blocks"]:
        assert all(adjacency[q] for q in block), (block, adjacency)


@pytest.mark.parametrize("run", [engine_of_the_test_module, public_module], ids=["tiny", "public"])
def test_blocks_are_freed_when_their_members_leave(run):
    # Dense blocks form under complementations (tiny thresholds) or by themselves in a dense
    # register (the engine's own); measuring every qubit leaves no edges, so no block may remain.
    rng, n = random.Random(5), 12 if run is engine_of_the_test_module else 80
    sim = NodeWeave(n)
    with thresholds(TINY):
        for q in range(n):
            run(sim, "h", q)
        for _ in range(4 * n):
            run(sim, rng.choice(TWO), *rng.sample(range(n), 2))
        assert testing.layout(sim)["blocks"]
        for q in rng.sample(range(n), n):
            run(sim, "measure_" + rng.choice("xyz"), q)
            assert_members_have_edges(sim)
    assert testing.layout(sim)["blocks"] == [] and not any(testing.dump(sim)[1])
