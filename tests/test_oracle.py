"""Random circuits and measurements checked against stim's tableau simulator."""

import random

import pytest
import stim

import nodeweave
import _nodeweave_testing as nwt
from gates import SINGLE_QUBIT_GATES as SINGLE, TWO_QUBIT_GATES as TWO, VOP_WORDS
from stim_oracle import assert_same_state, check_invariants, to_stim, vop_tableau

STIM_NAME = {"sdag": "s_dag"}  # every other gate has stim's name and operand order
AXES = "xyz"

def test_vertex_operator_words_match_their_pauli_images():
    images = ("+X +Y +Z|+X -Y -Z|-X +Y -Z|-X -Y +Z|-Y -X -Z|-Y +X +Z|+Y -X +Z|+Y +X -Z|"
              "-Z -Y -X|-Z +Y +X|+Z -Y +X|+Z +Y -X|-X -Z -Y|-X +Z +Y|+X -Z +Y|+X +Z -Y|"
              "+Y +Z +X|+Y -Z -X|-Y +Z -X|-Y -Z +X|+Z +X +Y|+Z -X -Y|-Z +X -Y|-Z -X +Y").split("|")
    assert len(VOP_WORDS) == len(images) == 24
    for v, want in enumerate(images):
        t = vop_tableau(v)
        assert [str(t.x_output(0)), str(t.y_output(0)), str(t.z_output(0))] == want.split(), v


TWO_QUBIT_ENTRIES = [(name, frame) for name, kind, frame in nwt.gates() if kind == "two_qubit"]


@pytest.mark.parametrize("gate, frame", TWO_QUBIT_ENTRIES, ids=[n for n, _ in TWO_QUBIT_ENTRIES])
def test_each_frame_around_cz_is_the_stim_gate_of_the_same_name(gate, frame):
    """The entry the gate is made from: its rotations F (operand 0 the control) before CZ; the gate
    is F, then CZ, then F undone. (The operand order of CZ changes the graph, not the state.)"""
    rotations, _ = frame
    turn = stim.Tableau(2)
    for operand, vop in rotations:
        turn.append(vop_tableau(vop), [operand])
    framed = turn.then(stim.Tableau.from_named_gate("CZ")).then(turn.inverse())
    assert framed == stim.Tableau.from_named_gate(gate.upper()), (gate, frame)


def fresh(n):
    ref = stim.TableauSimulator()
    ref.set_num_qubits(n)
    return nodeweave.NodeWeave(n), ref


def random_gate(rng, sim, ref, pool, history):
    """One random gate on both simulators; now and then equal operands, which must be refused."""
    gate, n, before = rng.choice(pool), ref.num_qubits, nwt.dump(sim)
    qubits = (rng.randrange(n),) if gate in SINGLE else tuple(rng.sample(range(n), 2))
    if gate in TWO and rng.random() < 0.03:
        with pytest.raises(ValueError, match="^control and target must be different qubits$"):
            getattr(sim, gate)(qubits[0], qubits[0])
        assert nwt.dump(sim) == before, f"refused {gate}{qubits[:1] * 2} changed the state"
        return
    getattr(sim, gate)(*qubits)
    getattr(ref, STIM_NAME.get(gate, gate))(*qubits)
    history.append((gate, *qubits))
    if gate in SINGLE:
        assert nwt.dump(sim)[1] == before[1], f"{gate}{qubits} changed the graph"


def check(sim, ref, history, seed):
    dump = nwt.dump(sim)
    check_invariants(dump, ref.num_qubits)
    assert_same_state(to_stim(dump), ref, f"seed {seed}, after {history[-6:]}")


@pytest.mark.parametrize("pool", [SINGLE + ["cz"], SINGLE + TWO], ids=["cz", "all"])
def test_random_circuits_match_stim(pool):
    for seed in range(400):
        rng = random.Random(seed)
        sim, ref = fresh(rng.randint(2, 8))
        history = []
        for _ in range(40):
            random_gate(rng, sim, ref, pool, history)
            check(sim, ref, history, seed)


def measure_both(sim, ref, q, axis, stats):
    """Measures q on both; a random outcome is also forced both ways on a scratch copy."""
    dump, basis = nwt.dump(sim), AXES[axis]
    expect = getattr(ref, "peek_" + basis)(q)
    r = getattr(sim, "measure_" + basis)(q)
    assert isinstance(r, nodeweave.MeasurementResult)
    bit = int(r == nodeweave.MeasurementResult.MinusOne)
    assert int(r) == bit and nwt.dump(sim)[1][q] == [], (r, nwt.dump(sim))
    forced_bits = set()
    for words in ([],) if expect else ([0], [2**31]):  # top bit of the word decides the branch
        scratch = nodeweave.NodeWeave(len(dump[0]))
        nwt.load(scratch, *dump)
        forced, used = nwt.measure(scratch, q, axis, words)
        assert used == len(words), f"{basis} on {q} of {dump} drew {used} words"
        forced_bits.add(forced)
        alt = ref.copy()
        getattr(alt, "postselect_" + basis)(q, desired_value=bool(forced))
        assert_same_state(to_stim(nwt.dump(scratch)), alt, f"{basis} on {q} of {dump}, words {words}")
    if expect:
        assert bit == (expect == -1), f"certain {expect:+d}: {basis} on {q} of {dump} gave {r}"
    else:
        assert forced_bits == {0, 1}, f"{basis} on {q} of {dump}: both branches gave {forced_bits}"
        getattr(ref, "postselect_" + basis)(q, desired_value=bool(bit))
        stats[bit] += 1


def test_random_measurements_match_stim():
    stats = [0, 0]
    for seed in range(300):
        rng = random.Random(1000 + seed)
        sim, ref = fresh(rng.randint(1, 8))
        history = []
        for _ in range(40):
            if ref.num_qubits > 1 and rng.random() < 0.65:
                random_gate(rng, sim, ref, SINGLE + TWO, history)
            else:
                q, axis = rng.randrange(ref.num_qubits), rng.randrange(3)
                measure_both(sim, ref, q, axis, stats)
                history.append(("measure_" + AXES[axis], q))
            check(sim, ref, history, seed)
    total = sum(stats)  # random outcomes are fair coins
    assert total > 500 and abs(stats[0] - total / 2) < 3 * total**0.5, stats


def peek_and_check(sim, ref, wanted):
    """Peeks at `wanted`; the outcomes must be a possible joint result of the reference."""
    before = nwt.dump(sim)
    got = sim.peek_measure_set(wanted)
    assert nwt.dump(sim) == before, f"peek of {wanted} changed the state"
    assert isinstance(got, dict) and set(got) == set(wanted), (wanted, got)
    trial = ref.copy()
    for q in sorted(got):
        o = got[q]
        assert isinstance(o, nodeweave.Outcome) and isinstance(o.axis, nodeweave.Axis)
        assert isinstance(o.result, nodeweave.MeasurementResult)
        axis, bit = int(o.axis), int(o.result)
        expect = getattr(trial, "peek_" + AXES[axis])(q)
        # a qubit without edges stays isolated whatever else is measured: its axis is the certain one
        assert expect != 0 or before[1][q], f"isolated {q} peeked on uncertain axis {axis}: {before}"
        assert expect == 0 or bit == (expect == -1), f"peek {q}: axis {axis} bit {bit}, state {before}"
        getattr(trial, "postselect_" + AXES[axis])(q, desired_value=bool(bit))
    return got


def test_peek_measure_set_matches_stim_and_changes_nothing():
    axes, results = [0, 0, 0], [0, 0]
    for seed in range(250):
        rng = random.Random(5000 + seed)
        sim, ref = fresh(rng.randint(1, 8))
        n, history = ref.num_qubits, []
        for step in range(24):
            if n > 1:
                random_gate(rng, sim, ref, SINGLE + TWO, history)
            if step % 6 == 2:
                measure_both(sim, ref, rng.randrange(n), rng.randrange(3), [0, 0])
            if step % 4 == 3:
                chosen = [rng.randrange(n) for _ in range(rng.randint(0, n + 2))]
                peek_and_check(sim, ref, (frozenset if rng.random() < 0.3 else set)(chosen))
                linked = [q for q, nbrs in enumerate(nwt.dump(sim)[1]) if nbrs]
                if linked:
                    q = rng.choice(linked)
                    o = peek_and_check(sim, ref, {q})[q]
                    axes[int(o.axis)] += 1
                    results[int(o.result)] += 1
    # a qubit with edges is peeked on a uniformly random axis and gives a fair result
    total = sum(axes)
    assert total > 300 and min(axes) > total / 3 - 3 * total**0.5, axes
    assert abs(results[0] - total / 2) < 3 * total**0.5, results
