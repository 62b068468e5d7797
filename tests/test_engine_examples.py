"""Engine operations on small hand-worked graph states: the step-by-step reference exact to VOPs and
adjacency order, the engine to the quantum state."""
import itertools
import random

import pytest

import _nodeweave_testing as nwt
from nodeweave import NodeWeave
from gates import SINGLE_QUBIT_GATES as SINGLE
from stim_oracle import assert_same_state, to_stim
from thresholds import TINY, thresholds

PANIC = "index out of bounds: the len is {} but the index is {}"
STAR = [[1, 2], [0], [0]]
STAR3 = [[1, 2, 3], [0], [0], [0]]
SHUFFLED = [[1, 2], [2, 0], [1, 0], []]  # triangle 0-1-2 whose lists are out of insertion order


def loaded(vops, adjacency):
    sim = NodeWeave(len(vops))
    nwt.load(sim, vops, adjacency)
    return sim


def assert_public_panic(call, n, index):
    with pytest.raises(BaseException) as info:
        call()
    assert type(info.value).__name__ == "PanicException" and not isinstance(info.value, Exception)
    assert str(info.value) == PANIC.format(n, index)


@pytest.mark.parametrize("gates, seen", [
    (["h"], [0]), (["x"], [9]), (["y"], [8]), (["z"], [11]), (["s"], [20]), (["sdag"], [21]),
    (["h", "s", "s"], [0, 6, 3]),
])
def test_single_qubit_gates_on_a_fresh_qubit(gates, seen):
    sim = NodeWeave(2)
    got = []
    for gate in gates:
        getattr(sim, gate)(1)
        got.append(nwt.dump(sim)[0][1])
    assert got == seen
    assert nwt.dump(sim) == ([10, seen[-1]], [[], []])


def test_single_qubit_gates_never_touch_the_lists():
    sim = loaded([0, 7, 13], SHUFFLED[:3])
    for gate, q in itertools.product(SINGLE, range(3)):
        getattr(sim, gate)(q)
    assert nwt.dump(sim)[1] == SHUFFLED[:3]


LC, RV, CZ = "local_complement", "remove_vop", "cz"
ENGINE_CASES = {  # id: (vops, adjacency, steps, vops after, adjacency after); "sim." steps are public
    "complement-star": ([0] * 4, STAR3, [(LC, 0)],
                        [14, 6, 6, 6], [[1, 2, 3], [0, 2, 3], [0, 1, 3], [0, 1, 2]]),
    "complement-star-twice": ([0] * 4, STAR3, [(LC, 0)] * 2, [1, 3, 3, 3], STAR3),
    "complement-isolated": ([5, 0], [[], []], [(LC, 0)], [19, 0], [[], []]),
    "complement-one-neighbour": ([0, 2], [[1], [0]], [(LC, 0)], [14, 7], [[1], [0]]),
    "reduce-identity-reorders": ([0] * 4, SHUFFLED, [(RV, 0, 3)], [0] * 4, [[1, 2], [0, 2], [0, 1], []]),
    "reduce-only-neighbour-is-b": ([2, 0], [[1], [0]], [(RV, 0, 1)], [0, 2], [[1], [0]]),
    "reduce-partner-skips-b": ([5, 0, 0], STAR, [(RV, 0, 1)], [0, 0, 14], STAR),
    "reduce-partner-first-entry": ([5, 0, 0], STAR, [(RV, 0, 2)], [0, 14, 0], STAR),
    "reduce-isolated-symbol-0": ([15, 0], [[], []], [(RV, 0, 1)], [0, 0], [[], []]),
    "reduce-isolated-symbol-1": ([5, 0, 0], [[], [2], [1]], [(RV, 0, 1)], [5, 14, 6], [[], [2], [1]]),
    "cz-fresh-pair": ([10, 10], [[], []], [(CZ, 0, 1)], [10, 10], [[], []]),
    "cz-adds-edge": ([0, 0], [[], []], [(CZ, 0, 1)], [0, 0], [[1], [0]]),
    "cz-twice-removes-edge": ([0, 0], [[], []], [(CZ, 0, 1)] * 2, [0, 0], [[], []]),
    "cz-order-0-1": ([2, 0], [[], []], [(CZ, 0, 1)], [2, 3], [[1], [0]]),
    "cz-order-1-0": ([2, 0], [[], []], [(CZ, 1, 0)], [3, 0], [[1], [0]]),
    "cz-reduces-identity-with-neighbours": ([0] * 4, SHUFFLED, [(CZ, 0, 3)],
                                            [0] * 4, [[1, 2, 3], [0, 2], [0, 1], [0]]),
    "cx-fresh-pair": ([10, 10], [[], []], [("sim.cx", 0, 1)], [10, 10], [[], []]),
    "cx-after-h": ([0, 10], [[], []], [("sim.cx", 0, 1)], [0, 10], [[1], [0]]),
}


@pytest.mark.parametrize("vops, adjacency, steps, vops_after, adjacency_after",
                         ENGINE_CASES.values(), ids=ENGINE_CASES)
def test_worked_examples(vops, adjacency, steps, vops_after, adjacency_after):
    """The step-by-step reference reproduces each worked example exactly, to list order; the engine
    reaches the same quantum state, with every representation threshold."""
    if not any(name.startswith("sim.") for name, *_ in steps):
        literal = loaded(vops, adjacency)
        for name, *args in steps:
            getattr(nwt, "literal_" + name)(literal, *args)
        assert nwt.dump(literal) == (vops_after, adjacency_after)
    if any(name == RV for name, *_ in steps):
        return  # the engine has no reduction to the identity
    for values in (None, TINY):
        with thresholds(values):
            sim = loaded(vops, adjacency)
            for name, *args in steps:
                if name.startswith("sim."):
                    getattr(sim, name[4:])(*args)
                else:
                    getattr(nwt, name)(sim, *args)
            nwt.check(sim)
            assert_same_state(to_stim(nwt.dump(sim)), to_stim((vops_after, adjacency_after)))


def random_entangled(n, rng):
    sim = NodeWeave(n)
    for q in range(n):
        sim.h(q)
    for _ in range(3 * n):
        sim.cz(*rng.sample(range(n), 2))
        getattr(sim, rng.choice(SINGLE))(rng.randrange(n))
    return sim


@pytest.mark.parametrize("gate, mirror", [("xcz", "cx"), ("ycz", "cy"), ("xcy", "ycx")])
@pytest.mark.parametrize("seed", range(15))
def test_mirrored_gates_leave_identical_states(gate, mirror, seed):
    rng = random.Random(seed)
    one = random_entangled(7, rng)
    two = loaded(*nwt.dump(one))
    assert any(len(neighbours) > 1 for neighbours in nwt.dump(one)[1])
    for _ in range(6):
        control, target = rng.sample(range(7), 2)
        getattr(one, gate)(control, target)
        getattr(two, mirror)(target, control)
        assert nwt.dump(one) == nwt.dump(two)


# gate: (rotations reaching target when control is out of range,
#        rotations reaching control when target is out of range, operand checked first)
FAILED_CHECKS = {
    "cz": ([], [], "control"), "cx": ([10], [], "target"), "cy": ([5, 10], [], "target"),
    "xcx": ([], [10], "control"), "xcy": ([5, 10], [], "target"), "xcz": ([], [10], "control"),
    "ycx": ([], [5, 10], "control"), "ycy": ([5], [], "target"), "ycz": ([], [5, 10], "control"),
}


@pytest.mark.parametrize("gate", FAILED_CHECKS)
@pytest.mark.parametrize("bad", ["control", "target", "both"])
def test_rotations_before_a_failed_index_check_stay_applied(gate, bad):
    on_target, on_control, first = FAILED_CHECKS[gate]
    args = {"control": (5, 0), "target": (0, 5), "both": (5, 6)}[bad]
    rotations = {"control": on_target, "target": on_control, "both": []}[bad]
    reported = 6 if bad == "both" and first == "target" else 5
    sim = loaded([7, 13, 0], [[1], [0], []])
    assert_public_panic(lambda: getattr(sim, gate)(*args), 3, reported)
    product, vop = nwt.tables()["VOP_PRODUCT"], 7
    for rotation in rotations:
        vop = product[rotation][vop]
    assert nwt.dump(sim) == ([vop, 13, 0], [[1], [0], []])


def components(adjacency):
    groups = [{q} for q in range(len(adjacency))]
    for u, neighbours in enumerate(adjacency):
        for w in neighbours:
            merged = groups[u] | groups[w]
            for q in merged:
                groups[q] = merged
    return groups


@pytest.mark.parametrize("seed", range(12))
def test_entangled_group_is_the_connected_component(seed):
    rng, n = random.Random(seed), 12
    sim = NodeWeave(n)
    for q in range(n):
        sim.h(q)
    for _ in range(rng.randrange(2, 14)):
        sim.cz(*rng.sample(range(n), 2))
    expected = components(nwt.dump(sim)[1])
    assert [sim.get_entangled_group(q) for q in range(n)] == expected
    for q in range(n):
        getattr(sim, rng.choice(SINGLE))(q)
    assert [sim.get_entangled_group(qubit=q) for q in range(n)] == expected


def test_entangled_group_examples():
    sim = loaded([0] * 5, [[1], [0, 2], [1], [4], [3]])
    assert [sim.get_entangled_group(q) for q in (0, 4)] == [{0, 1, 2}, {3, 4}]
    assert_public_panic(lambda: sim.get_entangled_group(5), 5, 5)
    assert_public_panic(lambda: NodeWeave(0).get_entangled_group(0), 0, 0)
    pair = NodeWeave(2)
    assert pair.get_entangled_group(1) == {1}
    pair.h(0)
    pair.cx(0, 1)
    assert pair.get_entangled_group(0) == pair.get_entangled_group(1) == {0, 1}
