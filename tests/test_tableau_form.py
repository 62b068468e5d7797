"""Components held in a tableau instead of a graph, checked against stim: gates on them, components
and tableaux joining, measurements and peeks that bring them back to graph form, and the entangled
groups read from them. Under the TABLEAU thresholds every component whose preparation a gate needs
enters a tableau (of at most six qubits, or as large as the engine allows); at the engine's own
thresholds a dense register of a few hundred qubits does."""

import importlib.util
import random
from pathlib import Path

import pytest
import stim

import _nodeweave_testing as testing
from gates import SINGLE_QUBIT_GATES as SINGLE, TWO_QUBIT_GATES as TWO
from nodeweave import NodeWeave
from stim_oracle import assert_same_state, to_stim
from thresholds import LARGE_TABLEAUX, TABLEAU, thresholds

AXES = "xyz"
STIM_NAME = {"sdag": "s_dag"}


def components(adjacency):
    """The connected components of a dumped graph, as a qubit -> frozenset map."""
    group = {}
    for start in range(len(adjacency)):
        if start in group:
            continue
        seen, queue = {start}, [start]
        for v in queue:
            for w in adjacency[v]:
                if w not in seen:
                    seen.add(w)
                    queue.append(w)
        for v in seen:
            group[v] = frozenset(seen)
    return group


def check(sim, ref, context):
    testing.check(sim)
    dump = testing.dump(sim)
    assert_same_state(to_stim(dump), ref, context)
    groups = components(dump[1])
    for q in range(len(dump[0])):
        assert sim.get_entangled_group(q) == groups[q], (context, q)


def measure_both(sim, ref, q, axis, rng):
    """A measurement through the engine with a supplied word, mirrored on stim by post-selection."""
    expect = getattr(ref, "peek_" + AXES[axis])(q)
    bit, used = testing.measure(sim, q, axis, [rng.getrandbits(32)])
    assert used == (0 if expect else 1), (q, axis, expect, used)
    if expect:
        assert bit == (expect == -1)
    getattr(ref, "postselect_" + AXES[axis])(q, desired_value=bool(bit))
    return bit


def gate_both(sim, ref, rng, n, two_qubit):
    """A random gate of either kind through the engine and on stim."""
    if two_qubit:
        gate, (a, b) = rng.choice(TWO), rng.sample(range(n), 2)
        testing.apply(sim, gate, a, b)
        getattr(ref, gate)(a, b)
    else:
        gate, q = rng.choice(SINGLE), rng.randrange(n)
        testing.apply(sim, gate, q)
        getattr(ref, STIM_NAME.get(gate, gate))(q)


def peek_both(sim, ref, rng, n, context):
    """A peek at random qubits: each outcome possible for stim's state after the ones before it."""
    records, _ = testing.peek(sim, rng.sample(range(n), rng.randint(1, n)),
                              [rng.getrandbits(32) for _ in range(2 * n + 2)])
    trial = ref.copy()
    for q, bit, axis in records:
        expect = getattr(trial, "peek_" + AXES[axis])(q)
        assert expect == 0 or bit == (expect == -1), (context, q)
        getattr(trial, "postselect_" + AXES[axis])(q, desired_value=bool(bit))


def run_program(sim, program, circuits, after_layer):
    """A translated stim program through the engine, one call per operation, a reset as a
    measurement and a correction; after_layer() runs after each layer of two-qubit gates. Returns
    the recorded outcome bits."""
    outcomes = []
    for op, qubits in program:
        if isinstance(qubits, tuple):
            for a, b in zip(*qubits):
                testing.apply(sim, op, a, b)
            after_layer()
            continue
        measure, fix = circuits.RECORDED.get(op), None
        if measure is None and op in circuits.RESETTING:
            measure, fix = circuits.RESETTING[op]
        for q in qubits:
            if measure is None:
                testing.apply(sim, op, q)
                continue
            bit = testing.apply(sim, measure, q)
            outcomes.append(bit)
            if fix and bit:
                testing.apply(sim, fix, q)
    return outcomes


def random_step(sim, ref, rng, n, two_qubit_share, peek):
    """One random step on both simulators: a gate (85%, two-qubit with the given share), a
    measurement (10%) or `peek()` (5%). Returns the kind, and measure_both's count for a measurement."""
    draw = rng.random()
    if draw < 0.85:
        gate_both(sim, ref, rng, n, draw < two_qubit_share)
        return "gate", 0
    if draw < 0.95:
        return "measure", measure_both(sim, ref, rng.randrange(n), rng.randrange(3), rng)
    peek()
    return "peek", 0


@pytest.mark.parametrize("values", [TABLEAU, LARGE_TABLEAUX], ids=["six-qubit-tableaux", "large-tableaux"])
def test_random_circuits_through_tableaux_match_stim(values):
    """With tableaux of at most six qubits, many joins send tableaux back to graph form."""
    held = outcomes = 0
    with thresholds(values):
        for seed in range(150):
            rng = random.Random(seed)
            n = rng.randint(2, 12)
            sim, ref = NodeWeave(n), stim.TableauSimulator()
            ref.set_num_qubits(n)
            for step in range(50):
                def peek():
                    before = testing.dump(sim)
                    peek_both(sim, ref, rng, n, (seed, step))
                    assert testing.dump(sim) == before, "a peek changed the state"
                outcomes += random_step(sim, ref, rng, n, 0.45, peek)[1]
                held += bool(testing.layout(sim)["tableaux"])
                check(sim, ref, f"seed {seed}, step {step}")
    assert held > 300 and outcomes > 50, (held, outcomes)


def test_a_dense_register_enters_a_tableau_at_the_engine_thresholds():
    """200 qubits made dense by layers of gates: the register goes into a tableau, stays exact
    through further layers, and comes back as one graph when it is measured qubit by qubit."""
    rng, n = random.Random(7), 200
    sim, ref = NodeWeave(n), stim.TableauSimulator()
    ref.set_num_qubits(n)
    for q in range(n):
        testing.apply(sim, "h", q)
        ref.h(q)
    entered = False
    for layer in range(30):
        order = rng.sample(range(n), n)
        for a, b in zip(order[::2], order[1::2]):
            gate = rng.choice(["cz", "cx", "cy"])
            testing.apply(sim, gate, a, b)
            getattr(ref, gate)(a, b)
        for q in rng.sample(range(n), n // 2):
            testing.apply(sim, "s", q)
            ref.s(q)
        entered |= bool(testing.layout(sim)["tableaux"])
    assert entered, "a dense register of 200 qubits is held in a tableau"
    check(sim, ref, "dense register")
    for q in range(n):
        measure_both(sim, ref, q, rng.randrange(3), rng)
        assert not testing.layout(sim)["tableaux"]
    check(sim, ref, "measured register")


def load_circuits():
    path = Path(__file__).resolve().parent.parent / "benchmarks" / "circuits.py"
    spec = importlib.util.spec_from_file_location("benchmark_circuits", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_noiseless_memory_circuits_through_tableaux_keep_every_detector():
    """stim's surface- and color-code memory circuits, one engine call per operation, with every
    dense enough component held in a tableau: each detector and observable keeps the parity of
    stim's reference sample, shot after shot."""
    circuits = load_circuits()
    held = 0
    with thresholds(LARGE_TABLEAUX):
        for name, d in [("surface_code:rotated_memory_z", 3), ("color_code:memory_xyz", 3),
                        ("color_code:memory_xyz", 5)]:
            program = circuits.translate(circuits.memory_circuit(stim, name, d))
            for shot in range(5):
                sim = NodeWeave(program.circuit.num_qubits)
                layers = []
                outcomes = run_program(sim, program, circuits,
                                       lambda: layers.append(bool(testing.layout(sim)["tableaux"])))
                held += sum(layers)
                testing.check(sim)
                assert program.mismatches(outcomes) == 0, (name, d, shot)
    assert held > 20, held
