"""Fusion networks and GHZ states made by fusion (the programs of benchmarks/fusion.py), in lockstep
with stim under thresholds small enough that blocks form and go back to lists on a few qubits; and
the memory the engine holds after them, which must follow the edges, not the history."""

import importlib.util
import random
from pathlib import Path

import pytest
import stim

import _nodeweave_testing as testing
from nodeweave import NodeWeave
from stim_oracle import assert_same_state, to_stim
from thresholds import EVERY_FORM, TINY, thresholds

_spec = importlib.util.spec_from_file_location(
    "fusion_programs", Path(__file__).resolve().parent.parent / "benchmarks" / "fusion.py")
fusion = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(fusion)

RELEASING = dict(release_words=1)  # blocks of one row word go back to lists too


def calls(program):
    for gate, arguments in program:
        yield from ((gate, pair) for pair in zip(*arguments)) if gate in ("cx", "cz") else \
            ((gate, (q,)) for q in arguments)


def run_in_lockstep(n, program, rng, complement_rate=0.0):
    """The program on the checked engine and on stim, the outcomes nodeweave draws imposed on stim;
    with complement_rate, a local complementation about a random qubit after that share of calls
    (it keeps the state: dense blocks form about hubs and thin again)."""
    sim, ref = NodeWeave(n), stim.TableauSimulator()
    ref.set_num_qubits(n)
    for gate, qubits in calls(program):
        if gate == "measure_z":
            expect = ref.peek_z(qubits[0])
            bit = testing.apply(sim, gate, *qubits)
            assert not expect or bit == (expect == -1), f"certain {expect:+d}, got {bit}"
            ref.postselect_z(qubits[0], desired_value=bool(bit))
        else:
            testing.apply(sim, gate, *qubits)
            getattr(ref, gate)(*qubits)
        if rng.random() < complement_rate:
            testing.local_complement(sim, rng.randrange(n))
    testing.check(sim)
    assert_same_state(to_stim(testing.dump(sim)), ref)
    return sim


@pytest.mark.parametrize("values", [{**TINY, **RELEASING}, {**EVERY_FORM, **RELEASING}, {}],
                         ids=["tiny", "every-form", "default"])
def test_fusions_match_stim(values):
    with thresholds(values):
        for seed in range(12):
            rng = random.Random(seed)
            (n, prep, timed), _ = fusion.fusion_network(rng.choice([2, 3, 4]), rng.choice([0.3, 0.5, 0.8]), rng)
            run_in_lockstep(n, prep + timed, rng, complement_rate=0.05 * (seed % 3))
            n, prep, timed = fusion.ghz_fusion_chain(rng.randint(2, 6), rng.randint(2, 12))
            run_in_lockstep(n, prep + timed, rng, complement_rate=0.05 * (seed % 2))
            n, prep, timed = fusion.ghz_repeater(rng.choice([2, 4, 8]), 7)
            run_in_lockstep(n, prep + timed, rng, complement_rate=0.05 * (seed % 2))
            run_in_lockstep(*hub_and_stars(rng), rng)


def hub_and_stars(rng):
    """A hub of 10 to 40 leaves and a few outside qubits linked to some of them; then controlled-Zs
    from the hub to the outside qubits, off the Z axis, toggle small stars at the hub (edges to
    leaves it has go, to the others come)."""
    leaves, outside = rng.randint(10, 40), rng.randint(1, 4)
    n = 1 + leaves + outside
    program = [("h", range(n)), ("cz", ([0] * leaves, range(1, leaves + 1)))]
    for t in range(leaves + 1, n):
        linked = rng.sample(range(1, n), rng.randint(1, 3))
        program += [("cz", ([t] * len(linked), linked)) if t not in linked else ("h", [t])]
    for _ in range(3 * outside):
        t = rng.randrange(leaves + 1, n)
        program += [("h", [t]), ("cz", ([0], [t])), (rng.choice(["h", "s"]), [t])]
    return n, program


def stored_bytes(sim):
    held = testing.held(sim)
    return held["blocks"] + held["lists"] + held["indexes"] + held["tableaux"], held["edges"]


def run_program(n, program):
    sim = NodeWeave(n)
    for gate, qubits in calls(program):
        getattr(sim, gate)(*qubits)
    return sim


@pytest.mark.parametrize("seed", range(2))
def test_fusion_network_at_threshold_holds_memory_by_its_edges(seed):
    # At 120 x 120 stars, blocks formed by star toggles about hubs (4,300 and 3,787 members) held
    # 2.4 and 1.9 MB for 13,400 edges: three times this bound.
    (n, prep, timed), _ = fusion.fusion_network(120, 0.5, random.Random(seed))
    sim = run_program(n, prep + timed)
    held, edges = stored_bytes(sim)
    assert testing.layout(sim)["blocks"] == []
    assert held <= 40 * edges + 4 * n, (held, edges, n)


def test_a_clique_made_by_fusion_holds_memory_by_its_edges():
    # 50 GHZ states of 20 qubits fused into one star of 951; complementing about its hub makes it a
    # clique (a dense block: its edges pay for it), and complementing again a star, whose block
    # must go back to lists.
    n, prep, timed = fusion.ghz_fusion_chain(50, 20)
    sim = run_program(n, prep + timed)
    vops, adjacency = testing.dump(sim)
    hub = max(range(n), key=lambda q: len(adjacency[q]))
    m = len(adjacency[hub])
    assert m > 900
    for clique in (True, False):
        testing.local_complement(sim, hub)
        held, edges = stored_bytes(sim)
        assert edges == (m * (m + 1) // 2 if clique else m)
        assert held <= 40 * edges + 4 * n, (clique, held, edges)
    testing.check(sim)


@pytest.mark.parametrize("build", [lambda: fusion.ghz_fusion_chain(3000, 10),
                                   lambda: fusion.w_ghz_repeater(30000, None)], ids=["chain", "repeater"])
def test_a_ghz_state_made_by_fusion_is_one_star_held_in_about_twelve_bytes_a_leaf(build):
    # Every fusion succeeds, so the unmeasured qubits form one GHZ state: a star, up to local
    # Cliffords. Its hub's list and position index cost 4 and 5 to 11 bytes a leaf; with an index
    # of (key, position) pairs at most half full they cost 23 to 28.
    n, prep, timed = build()
    sim = run_program(n, prep + timed)
    measured = {q for gate, qubits in timed if gate == "measure_z" for q in qubits}
    group = sim.get_entangled_group(next(q for q in range(n) if q not in measured))
    assert group == set(range(n)) - measured
    held, edges = stored_bytes(sim)
    assert edges == len(group) - 1
    assert held <= 16 * edges, (held, edges)
