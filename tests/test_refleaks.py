"""Leaks: each success and failure path, repeated, must leave the number of allocated blocks where
it was after warm-up. (Leaks of C++ memory are the sanitizer run's to find.)"""

import gc
import itertools
import os
import subprocess
import sys
import weakref

import pytest

import _nodeweave_testing as testing
from nodeweave import Axis, MeasurementResult, NodeWeave, Outcome
from gates import MEASUREMENTS, SINGLE_QUBIT_GATES, TWO_QUBIT_GATES as TWO
from index_objects import Idx

SINGLE = SINGLE_QUBIT_GATES + MEASUREMENTS + ["get_entangled_group"]
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")  # its allocator can't fail an allocation


def hub():
    """Eight qubits, qubit 0 joined to six others (a list on the heap), mixed VOPs."""
    sim = NodeWeave(8)
    testing.load(sim, [0, 6, 10, 3, 17, 1, 22, 10],
                 [[1, 2, 3, 4, 5, 6], [0, 7], [0], [0], [0], [0], [0], [1]])
    return sim


def fails(call, *args, **kwargs):
    try:
        call(*args, **kwargs)
    except BaseException:  # PanicException derives from BaseException
        return
    raise AssertionError(f"{call} {args} {kwargs} was accepted")


def successes():
    for g in SINGLE:
        getattr(hub(), g)(3), getattr(hub(), g)(qubit=Idx(0))
    for g in TWO:
        getattr(hub(), g)(0, 7), getattr(hub(), g)(target=2, control=Idx(1))
    hub().peek_measure_set({0, 1, 2, 7}), hub().peek_measure_set(frozenset({Idx(3)})), NodeWeave(0)


def calling_convention_errors():
    sim = hub()
    for name in SINGLE + TWO + ["peek_measure_set"]:
        m = getattr(sim, name)
        fails(m, 0, 1, 2), fails(m), fails(m, bogus=1), fails(m, 0, qubit=0, control=0, qubits=0)
    fails(NodeWeave, 1, 2), fails(NodeWeave), fails(NodeWeave, n=1)
    for bad in ["a", None, 1.5, -1, 2**64, Idx(KeyError()), Idx(TypeError()), Idx("no"), Idx(-3), Axis.X]:
        fails(sim.h, bad), fails(sim.cz, 0, bad), fails(sim.measure_y, bad), fails(NodeWeave, bad)
        fails(sim.get_entangled_group, bad), fails(sim.peek_measure_set, {0, bad} if bad.__hash__ else bad)
    for bad in [[0], (0,), {0: 1}, range(2)]:
        fails(sim.peek_measure_set, bad)
    fails(sim.h, Idx(lambda: sim.h(0))), fails(sim.peek_measure_set, {Idx(lambda: sim.measure_z(0))})
    fails(sim.cz, 0, Idx(lambda: sim.get_entangled_group(0)))


def engine_errors():
    sim = hub()
    for name in SINGLE:
        fails(getattr(sim, name), 8)
    for name in TWO:
        fails(getattr(sim, name), 0, 8), fails(getattr(sim, name), 2, 2)
    fails(sim.peek_measure_set, {0, 1, 2**64 - 1}), fails(NodeWeave(0).h, 0), fails(NodeWeave, 2**63)
    state = testing.dump(sim)
    testing.fail_allocation_after(0)
    fails(testing.load, sim, *state)
    assert testing.fail_allocation_after(-1) == -1


def out_of_memory():
    fails(NodeWeave, 2**50)


def value_slots():
    o = hub().peek_measure_set({2})[2]
    for v in [Axis.X, MeasurementResult.MinusOne, o.axis, o.result]:
        repr(v), str(v), int(v), str(o)
        for other in [v, 1, True, 2**70, 1.0, "X", None, Idx(1), Idx(KeyError()), Idx(2**70)]:
            v == other, v != other, other == v  # errors of other.__index__ are swallowed
        fails(lambda: v < Axis.Y), fails(hash, v), fails(setattr, v, "attr", 1)
    fails(setattr, o, "axis", Axis.X), fails(Axis), fails(MeasurementResult, 0), fails(Outcome)


def settled():
    sys._clear_type_cache()  # the attribute cache keeps the last looked-up names alive
    gc.collect()
    return sys.getallocatedblocks()


def growth(path, warmup=5, rounds=20):
    for _ in range(warmup):
        path()
    before = settled()
    for _ in range(rounds):
        path(), path(), path(), path(), path()
        gc.collect()
    return settled() - before


@pytest.mark.parametrize("path", [
    successes, calling_convention_errors, engine_errors, value_slots,
    pytest.param(out_of_memory, marks=pytest.mark.skipif(SANITIZED, reason="the sanitizer aborts instead"))])
def test_repeated_calls_do_not_grow_memory(path):
    # one leaked block per call would add 100 or more; the best of three attempts absorbs the
    # interpreter's free lists, which keep a few blocks now and then
    attempts = [growth(path) for _ in range(3)]
    assert min(attempts) <= 5, f"{path.__name__}: allocated blocks grew by {attempts}"


class Qubits(set):
    """A set that can be watched through a weak reference."""


def test_set_conversion_gives_the_set_back_when_memory_runs_out():
    # The test-support module holds the same conversion as peek_measure_set, with allocations
    # that fail on demand: each growth of the index list fails in turn.
    qubits = Qubits(range(300))
    watch, count, failures = weakref.ref(qubits), sys.getrefcount(qubits), 0
    for n in itertools.count():
        testing.fail_allocation_after(n)
        try:
            got = testing.index_set(qubits)
        except MemoryError:
            failures += 1
            assert sys.getrefcount(qubits) == count, f"allocation {n} failed and the set is held"
            continue
        if testing.fail_allocation_after(-1) >= 0:
            break
    assert got == list(range(300)) and failures > 5
    del qubits
    assert watch() is None


# The same through peek_measure_set: the address space is capped just above what the process uses,
# so the list of a million indices cannot grow while the set is converted.
OUT_OF_ADDRESS_SPACE = """
import resource, sys
from nodeweave import NodeWeave

qubits = type("Qubits", (set,), {})(range(1 << 20))
before, sim = sys.getrefcount(qubits), NodeWeave(1)
with open("/proc/self/statm") as statm:
    used = int(statm.read().split()[0]) * resource.getpagesize()
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
resource.setrlimit(resource.RLIMIT_AS, (used + (4 << 20), hard))
try:
    sim.peek_measure_set(qubits)
    outcome = "accepted"
except MemoryError:
    outcome = "MemoryError"
finally:
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
print(outcome, sys.getrefcount(qubits) - before)
"""


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's shadow memory needs an unlimited address space")
def test_peek_measure_set_gives_the_set_back_when_memory_runs_out():
    run = subprocess.run([sys.executable, "-c", OUT_OF_ADDRESS_SPACE], capture_output=True, text=True,
                         timeout=60)
    assert (run.returncode, run.stdout) == (0, "MemoryError 0\n"), run.stderr
