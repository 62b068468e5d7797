"""Pauli measurement and peek on hand-worked graph states, plus outcome statistics."""
import itertools
import math

import pytest

import _nodeweave_testing as nwt
from nodeweave import Axis, MeasurementResult, NodeWeave
from stim_oracle import assert_same_state, to_stim
from thresholds import TINY, thresholds

X, Y, Z = 0, 1, 2
WORDS = {0: [0, 2**31 - 1], 1: [2**31, 2**32 - 1]}  # words whose top bit is g
STAR = [[1, 2], [0], [0]]
STAR3 = [[1, 2, 3], [0], [0], [0]]
LINE = [[1], [0, 2], [1]]
PENDANT = [[1, 2], [0, 2, 3], [0, 1], [1]]
TWO_COMMON = [[1, 2, 3], [0, 2, 3], [0, 1], [0, 1]]  # 0 and 1 share the neighbours 2 and 3


def loaded(vops, adjacency):
    sim = NodeWeave(len(vops))
    nwt.load(sim, vops, adjacency)
    return sim


def entangled_pair():
    sim = NodeWeave(2)
    sim.h(0)
    sim.h(1)
    sim.cz(0, 1)
    return sim


MEASUREMENTS = [  # vops, adjacency, qubit, axis, adjacency after, (result, vops after) for g = 0, for g = 1
    ([10], [[]], 0, X, [[]], (0, [0]), (1, [3])),
    ([10], [[]], 0, Y, [[]], (1, [19]), (0, [16])),
    ([0] * 3, STAR, 0, Z, [[], [], []], (0, [10, 0, 0]), (1, [9, 3, 3])),
    ([0] * 3, STAR, 0, Y, [[], [2], [1]], (0, [6, 6, 6]), (1, [5, 5, 5])),
    ([0] * 4, STAR3, 0, Y, [[], [2, 3], [1, 3], [1, 2]], (0, [6] * 4), (1, [5] * 4)),
    ([0] * 3, LINE, 1, X, [[2], [], [0]], (0, [11, 0, 3]), (1, [9, 3, 0])),
    ([0] * 4, PENDANT, 0, X, [[], [2], [3, 1], [2]], (0, [0, 11, 0, 0]), (1, [3, 9, 0, 3])),
    # the pair 2-3 is met from both sides of the cross toggles and toggled only once there
    ([0] * 4, TWO_COMMON, 0, X, [[], [2, 3], [1], [1]], (0, [0, 11, 0, 0]), (1, [3, 9, 0, 0])),
]


@pytest.mark.parametrize("case", MEASUREMENTS)
@pytest.mark.parametrize("g", [0, 1])
def test_random_measurement_updates(case, g):
    """The step-by-step reference follows each worked example exactly; the engine gives the same
    result for the same word and the same quantum state, with every representation threshold."""
    vops, adjacency, qubit, axis, adjacency_after = case[:5]
    result, vops_after = case[5 + g]
    expected = to_stim((vops_after, adjacency_after))
    for word in WORDS[g]:
        literal = loaded(vops, adjacency)
        assert nwt.literal_measure(literal, qubit, axis, [word, 0, 2**31]) == (result, 1)
        assert nwt.dump(literal) == (vops_after, adjacency_after)
        for values in (None, TINY):
            with thresholds(values):
                sim = loaded(vops, adjacency)
                assert nwt.measure(sim, qubit, axis, [word, 0, 2**31]) == (result, 1)
                nwt.check(sim)
                assert nwt.dump(sim)[1][qubit] == []
                assert_same_state(to_stim(nwt.dump(sim)), expected)
                # the measured qubit is isolated and repeating the measurement is certain
                assert nwt.measure(sim, qubit, axis, []) == (result, 0)


def test_only_the_eigen_axis_of_an_isolated_qubit_is_certain():
    tables = nwt.tables()
    for vop, axis in itertools.product(range(24), (X, Y, Z)):
        sim = loaded([vop], [[]])
        certain = axis == tables["X_PREIMAGE_AXIS"][tables["VOP_ADJOINT"][vop]]
        assert nwt.measure(sim, 0, axis, [0])[1] == (0 if certain else 1), (vop, axis)
        assert not certain or nwt.dump(sim) == ([vop], [[]])
    fresh = NodeWeave(1)
    assert nwt.measure(fresh, 0, Z, []) == (0, 0) and fresh.measure_z(0) == MeasurementResult.PlusOne


@pytest.mark.parametrize("g", [0, 1])
def test_leaves_follow_the_measured_centre(g):
    sim = NodeWeave(3)
    for q in range(3):
        sim.h(q)
    sim.cz(0, 1)
    sim.cz(0, 2)
    assert nwt.dump(sim) == ([0] * 3, STAR)
    assert nwt.measure(sim, 0, Z, WORDS[g]) == (g, 1)
    assert [nwt.measure(sim, q, X, []) for q in (1, 2)] == [(g, 0), (g, 0)]


def test_public_measurements_of_an_entangled_pair():
    for _ in range(20):
        sim = entangled_pair()
        first = sim.measure_z(0)
        assert nwt.measure(sim, 1, X, []) == (int(first), 0) and sim.measure_x(1) == first
    sim = entangled_pair()
    with pytest.raises(nwt.PanicException, match="^index out of bounds: the len is 2 but the index is 2$"):
        nwt.measure(sim, 2, X, [0])
    with pytest.raises(BaseException, match="^index out of bounds: the len is 2 but the index is 7$") as info:
        sim.measure_x(7)
    assert type(info.value).__name__ == "PanicException"
    assert nwt.dump(sim) == ([0, 0], [[1], [0]])


@pytest.mark.parametrize("axis_words, axis", [
    ([0], X), ([0x55555554], X), ([0x55555556], Y), ([0xAAAAAAAB], Z), ([0xFFFFFFFF], Z),
    ([0x55555555, 0], X), ([0x55555555, 0x55555556], Y),  # low half of 3x above 2**32 - 3: second word
    ([0xAAAAAAAA, 0x55555556], Y), ([0xAAAAAAAA, 0xAAAAAAAB], Z),
])
@pytest.mark.parametrize("g", [0, 1])
def test_peek_draws_the_axis_then_the_outcome(axis_words, axis, g):
    sim = entangled_pair()
    assert nwt.peek(sim, [0], axis_words + WORDS[g][:1] + [0]) == ([(0, g, axis)], len(axis_words) + 1)
    assert nwt.dump(sim) == ([0, 0], [[1], [0]])


@pytest.mark.parametrize("g", [0, 1])
def test_peek_of_both_halves_of_a_pair(g):
    sim = entangled_pair()
    records, used = nwt.peek(sim, [0, 1], [0] + WORDS[g][:1])
    assert used == 2 and records == [(records[0][0], g, X), (1 - records[0][0], g, Z)]
    assert nwt.dump(sim) == ([0, 0], [[1], [0]])


def test_peek_of_isolated_qubits_draws_nothing():
    sim = NodeWeave(2)
    assert nwt.peek(sim, [], []) == ([], 0)
    records, used = nwt.peek(sim, [0, 1], [])
    assert (sorted(records), used) == ([(0, 0, Z), (1, 0, Z)], 0)
    sim.h(0)
    assert nwt.peek(sim, [0], []) == ([(0, 0, X)], 0)
    with pytest.raises(nwt.PanicException, match="the len is 2 but the index is 5$"):
        nwt.peek(sim, [5], [0, 0])
    assert nwt.dump(sim) == ([0, 10], [[], []])


def test_public_peek_examples():
    sim = NodeWeave(2)
    for _ in range(3):
        out = sim.peek_measure_set({0, 1})
        assert sorted(out) == [0, 1]
        assert all(o.result == MeasurementResult.PlusOne and o.axis == Axis.Z for o in out.values())
    sim.h(0)
    out = sim.peek_measure_set(frozenset({0}))
    assert list(out) == [0] and out[0].result == MeasurementResult.PlusOne and out[0].axis == Axis.X
    pair, partner = entangled_pair(), {X: Z, Y: Y, Z: X}
    for _ in range(200):
        out = pair.peek_measure_set({0, 1})
        assert int(out[1].axis) == partner[int(out[0].axis)] and out[0].result == out[1].result
    assert nwt.dump(pair) == ([0, 0], [[1], [0]])


def within_four_sd(count, trials, p):
    return abs(count - trials * p) <= 4 * math.sqrt(trials * p * (1 - p))


def test_random_outcomes_are_fair():
    n = 100_000
    sim = NodeWeave(n)
    plus = sum(sim.measure_x(q) == MeasurementResult.PlusOne for q in range(n))
    assert within_four_sd(plus, n, 0.5)


def test_public_peek_axis_is_uniform():
    sim, trials, axes = entangled_pair(), 30_000, [0, 0, 0]
    for _ in range(trials):
        axes[int(sim.peek_measure_set({0})[0].axis)] += 1
    assert all(within_four_sd(count, trials, 1 / 3) for count in axes)
    assert nwt.dump(sim) == ([0, 0], [[1], [0]])
