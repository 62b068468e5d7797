"""Controlled-Zs held back from the graph (a control collecting its R while the graph stays), checked
against stim. Under the DEFERRING thresholds every controlled-Z on a control with few edges and a
target off the Z axis is held back, so that random circuits keep several deferrals alive across
gates, measurements, peeks and group queries, and meet tableaux as well."""

import random

import pytest
import stim

import _nodeweave_testing as testing
from gates import SINGLE_QUBIT_GATES as SINGLE
from nodeweave import NodeWeave
from stim_oracle import assert_same_state, to_stim
from test_fault_injection import N, OPERATIONS, sweep
from test_tableau_form import check, load_circuits, peek_both, random_step, run_program
from thresholds import DEFERRING, EVERY_FORM, thresholds


@pytest.mark.parametrize("values", [DEFERRING, EVERY_FORM], ids=["graph", "with-tableaux"])
def test_random_circuits_with_held_back_gates_match_stim(values):
    held = settled_by_measurement = 0
    with thresholds(values):
        for seed in range(150):
            rng = random.Random(seed)
            n = rng.randint(3, 12)
            sim, ref = NodeWeave(n), stim.TableauSimulator()
            ref.set_num_qubits(n)
            for step in range(60):
                before = testing.deferrals(sim)
                kind, _ = random_step(sim, ref, rng, n, 0.5, lambda: peek_both(sim, ref, rng, n, (seed, step)))
                settled_by_measurement += kind == "measure" and testing.deferrals(sim) < before
                testing.check(sim)
                held += testing.deferrals(sim)
                if step % 20 == 19:  # reading the graph settles every deferral
                    check(sim, ref, f"seed {seed}, step {step}")
    assert held > 2000 and settled_by_measurement > 100, (held, settled_by_measurement)


def test_ancillas_measure_their_stabilisers_without_touching_the_graph():
    """Noiseless memory circuits under the DEFERRING thresholds keep every detector; after the first
    round the ancillas' measurements are certain and the data's graph stays as it was."""
    circuits = load_circuits()
    with thresholds(DEFERRING):
        for name, d in [("surface_code:rotated_memory_z", 5), ("color_code:memory_xyz", 5)]:
            program = circuits.translate(circuits.memory_circuit(stim, name, d))
            for shot in range(4):
                sim = NodeWeave(program.circuit.num_qubits)
                held = []
                outcomes = run_program(sim, program, circuits, lambda: held.append(testing.deferrals(sim)))
                peak = max(held)
                testing.check(sim)
                assert program.mismatches(outcomes) == 0, (name, d, shot)
                assert peak >= (d * d - 1) // 4, (name, peak)  # ancillas of a round held back at once


def test_a_held_back_gate_settles_into_the_graph_of_stim_s_state():
    """A control gathering Pauli terms from several targets, through gates on those targets and
    links with a second control, then read back: the same state as stim's at each step."""
    held = 0
    with thresholds(DEFERRING):
        for seed in range(40):
            rng = random.Random(seed)
            sim, ref = NodeWeave(8), stim.TableauSimulator()
            ref.set_num_qubits(8)
            for q in (0, 1):  # the controls in |+>
                testing.apply(sim, "h", q)
                ref.h(q)
            for a, b in [(2, 3), (3, 4), (4, 5), (5, 6), (6, 7), (2, 7)]:  # a ring of data
                for gate, args in [("h", (a,)), ("h", (b,)), ("cz", (a, b))]:
                    testing.apply(sim, gate, *args)
                    getattr(ref, gate)(*args)
            for step in range(12):
                control, target = rng.choice([0, 1]), rng.randrange(2, 8)
                gate = rng.choice(["cx", "cy", "cz", "h", "s"])
                args = (control, target) if gate[0] == "c" else (rng.randrange(2, 8),)
                testing.apply(sim, gate, *args)
                getattr(ref, gate)(*args)
                testing.check(sim)
            held += testing.deferrals(sim) > 0
            dump = testing.dump(sim)
            assert testing.deferrals(sim) == 0
            assert_same_state(to_stim(dump), ref, f"seed {seed}")
    assert held > 30, held


def held_back(seed):
    """Qubits 4 to N - 1 a ring with random VOPs; qubits 0 to 3 controls of deferrals over it, with
    overlapping targets (so that their Rs anticommute at times and links form)."""
    rng, sim = random.Random(seed), NodeWeave(N)
    with thresholds(DEFERRING):
        for q in range(N):
            testing.apply(sim, "h", q)
        for q in range(4, N):
            testing.apply(sim, "cz", q, 4 + (q - 3) % (N - 4))
            testing.apply(sim, rng.choice(SINGLE), q)
        for _ in range(10):
            testing.apply(sim, rng.choice(["cx", "cy", "cz"]), rng.randrange(4), rng.randrange(4, N))
        assert testing.deferrals(sim) >= 3, seed
    return sim


@pytest.mark.parametrize("name", [name for name in OPERATIONS if "local_complement" not in name and "pivot" not in name])
def test_failed_allocation_with_held_back_gates_leaves_the_state_whole(name):
    with thresholds(DEFERRING):
        for seed in range(3):
            sweep(name, lambda: held_back(seed))
