"""A random walk through the public API (gates, measurements, peeks, group queries, refused calls),
checked after every step against stim. NODEWEAVE_LONG=1 selects the long profile for runs by hand."""

import itertools
import os

import stim
from hypothesis import settings, strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, rule

import _nodeweave_testing as testing
from nodeweave import Axis, MeasurementResult, NodeWeave, Outcome
from gates import MEASUREMENTS, SINGLE_QUBIT_GATES as SINGLE, TWO_QUBIT_GATES as TWO
from stim_oracle import assert_same_state, check_invariants, to_stim

settings.register_profile("nodeweave-bounded", max_examples=40, stateful_step_count=30, deadline=None)
settings.register_profile("nodeweave-long", max_examples=4000, stateful_step_count=200, deadline=None)
READS = MEASUREMENTS + ["get_entangled_group", "peek_measure_set"]
# refused arguments and what they raise; None stands for the first index past the end
BAD = [(-1, OverflowError), (2**64, OverflowError), ("0", TypeError), (1.0, TypeError), (None, TypeError),
       (Axis.X, TypeError), (None, "PanicException")]
STEPS = [0]
qubit = st.integers(0, 63)  # taken modulo the number of qubits


def splits_off(stabilizers, qubits):
    """Whether the state is a product of a state on `qubits` and one on the others: the
    stabilizers restricted to `qubits` have GF(2) rank len(qubits)."""
    basis = []
    for p in stabilizers:
        row = sum(((p[q] in (1, 2)) << 2 * i) | ((p[q] in (2, 3)) << 2 * i + 1) for i, q in enumerate(qubits))
        for b in basis:
            row = min(row, row ^ b)
        basis += [row] if row else []
    return len(basis) == len(qubits)


class Walk(RuleBasedStateMachine):
    @initialize(n=st.integers(1, 7))
    def start(self, n):
        self.n, self.sim, self.ref = n, NodeWeave(n), stim.TableauSimulator()
        self.ref.set_num_qubits(n)

    def step(self):
        STEPS[0] += 1
        return testing.dump(self.sim)

    @rule(gate=st.sampled_from(SINGLE), q=qubit, by_keyword=st.booleans())
    def single_qubit_gate(self, gate, q, by_keyword):
        self.step()
        q %= self.n
        getattr(self.sim, gate)(qubit=q) if by_keyword else getattr(self.sim, gate)(q)
        getattr(self.ref, "s_dag" if gate == "sdag" else gate)(q)

    @rule(gate=st.sampled_from(TWO), a=qubit, b=qubit)
    def two_qubit_gate(self, gate, a, b):
        before, a, b = self.step(), a % self.n, b % self.n
        if a != b:
            getattr(self.sim, gate)(target=b, control=a)
            getattr(self.ref, gate)(a, b)
            return
        try:
            getattr(self.sim, gate)(a, b)
            raise AssertionError(f"{gate}({a}, {a}) was accepted")
        except ValueError as e:
            assert str(e) == "control and target must be different qubits"
            assert testing.dump(self.sim) == before

    @rule(axis=st.sampled_from("xyz"), q=qubit)
    def measure(self, axis, q):
        self.step()
        q %= self.n
        certain, r = getattr(self.ref, "peek_" + axis)(q), getattr(self.sim, "measure_" + axis)(q)
        assert isinstance(r, MeasurementResult) and int(r) in (0, 1)
        assert testing.dump(self.sim)[1][q] == [], "the measured qubit keeps edges"
        assert not certain or int(r) == (certain == -1), f"certain {certain:+d} on {axis}{q}, got {r}"
        getattr(self.ref, "postselect_" + axis)(q, desired_value=bool(int(r)))  # follow a random branch

    @rule(qubits=st.sets(qubit, max_size=8), frozen=st.booleans())
    def peek(self, qubits, frozen):
        before, wanted = self.step(), {q % self.n for q in qubits}
        got = self.sim.peek_measure_set((frozenset if frozen else set)(wanted))
        assert testing.dump(self.sim) == before and type(got) is dict and set(got) == wanted
        trial = self.ref.copy()  # the outcomes must be a possible joint result on the axes used
        for q, o in sorted(got.items()):
            assert isinstance(o, Outcome) and isinstance(o.axis, Axis)
            axis, bit = "xyz"[int(o.axis)], int(o.result)
            expect = getattr(trial, "peek_" + axis)(q)
            assert expect != 0 or before[1][q], f"isolated {q} peeked on a random axis {axis}"
            assert expect == 0 or bit == (expect == -1), f"peek {q}: {axis} gave {bit}, certain {expect}"
            getattr(trial, "postselect_" + axis)(q, desired_value=bool(bit))

    @rule(q=qubit)
    def entangled_group(self, q):
        before, q = self.step(), q % self.n
        group = self.sim.get_entangled_group(q)
        assert testing.dump(self.sim) == before and type(group) is set and q in group
        stabilizers, others = self.ref.canonical_stabilizers(), sorted(group - {q})
        assert splits_off(stabilizers, sorted(group)), f"{group} is entangled with the rest"
        for k in range(len(others)):  # and no smaller set holding q splits off
            for part in itertools.combinations(others, k):
                assert not splits_off(stabilizers, [q, *part]), f"{[q, *part]} splits off from {group}"

    @rule(name=st.sampled_from(SINGLE + TWO + READS), bad=st.sampled_from(BAD), first=st.booleans())
    def refused_call(self, name, bad, first):
        before, (value, expected) = self.step(), bad
        if expected == "PanicException":
            if name in TWO:  # the steps before the failing check stay applied
                return
            value = self.n
        args = [value, 1 % self.n] if first else [0, value]
        if name not in TWO:
            args = [{0, value}] if name == "peek_measure_set" and value.__hash__ else [value]
        try:
            getattr(self.sim, name)(*args)
            raise AssertionError(f"{name}{args} was accepted")
        except BaseException as e:  # PanicException derives from BaseException
            assert expected in (type(e), type(e).__name__), f"{name}{args}: {type(e).__name__}: {e}"
        assert testing.dump(self.sim) == before, f"refused {name}{args} changed the state"

    @invariant()
    def same_state_as_stim(self):
        dump = testing.dump(self.sim)
        check_invariants(dump, self.n)
        assert_same_state(to_stim(dump), self.ref)


PROFILE = "nodeweave-long" if os.environ.get("NODEWEAVE_LONG") else "nodeweave-bounded"
Walk.TestCase.settings = settings.get_profile(PROFILE)
TestWalk = Walk.TestCase
