"""Threads: one simulator shared by six threads whose index arguments re-enter it, and separate
simulators on separate threads."""

import random
import sys
import threading
import time

import stim

import _nodeweave_testing as testing
from nodeweave import NodeWeave
from gates import SINGLE_QUBIT_GATES, TWO_QUBIT_GATES
from stim_oracle import assert_same_state, check_invariants, to_stim

BORROWED = {"Already borrowed", "Already mutably borrowed"}


def run_threads(count, work):
    """Runs work(0) .. work(count - 1) on threads started together, switching every microsecond."""
    barrier, failures, interval = threading.Barrier(count), [], sys.getswitchinterval()

    def body(i):
        try:
            barrier.wait()
            work(i)
        except BaseException as e:  # collected, and reported by the main thread
            failures.append(e)
    threads = [threading.Thread(target=body, args=(i,)) for i in range(count)]
    sys.setswitchinterval(1e-6)
    try:
        [t.start() for t in threads], [t.join() for t in threads]
    finally:
        sys.setswitchinterval(interval)
    assert not failures, failures


class Index:
    """An index whose conversion yields the thread and may call `callback` on the way."""

    def __init__(self, value, callback=None):
        self.value, self.callback = value, callback

    def __index__(self):
        time.sleep(0)
        self.callback and self.callback()
        return self.value


def commuting_call(rng, n):
    """A diagonal gate, a Z measurement or a read: whatever order they run in, the end is the same."""
    a, b = rng.sample(range(n), 2)
    return rng.choice([("cz", (a, b)), ("z", (a,)), ("s", (b,)), ("sdag", (a,)), ("measure_z", (a,)),
                       ("get_entangled_group", (b,)), ("peek_measure_set", ({a, b},))])


def test_one_simulator_shared_by_six_threads():
    n, sim, done, refused = 6, NodeWeave(6), [], {"Already borrowed": 0, "Already mutably borrowed": 0}
    [sim.h(q) for q in range(n)]

    def call(rng, reenter):
        name, args = commuting_call(rng, n)
        if reenter:  # the index objects call back into the same simulator while it is held
            wrap = lambda q: Index(q, lambda: call(rng, rng.random() < 0.3))  # noqa: E731
            args = tuple({wrap(q) for q in a} if isinstance(a, set) else wrap(a) for a in args)
        try:
            result = getattr(sim, name)(*args)
        except RuntimeError as e:
            assert str(e) in BORROWED, e
            refused[str(e)] += 1
            return
        done.append((name, [getattr(q, "value", q) for q in args if not isinstance(q, set)], result))

    run_threads(6, lambda i: [call(rng, step % 3 != 0) for rng in [random.Random(i)] for step in range(400)])
    assert min(refused.values()) > 0, refused
    check_invariants(testing.dump(sim), n)
    ref = stim.TableauSimulator()  # each call that returned acted once: replay them in any order
    ref.set_num_qubits(n)
    ref.h(*range(n))
    for name, args, _ in done:
        name in ("cz", "z", "s", "sdag") and getattr(ref, "s_dag" if name == "sdag" else name)(*args)
    for name, args, result in done:
        name == "measure_z" and ref.postselect_z(args[0], desired_value=bool(int(result)))
    assert_same_state(to_stim(testing.dump(sim)), ref, f"after {len(done)} calls on six threads")
    sim.cx(0, 1), sim.measure_x(2)  # nothing is left borrowed


def test_separate_simulators_on_separate_threads_do_not_interfere():
    n, sims, plans = 9, {}, {}
    for i in range(4):
        rng = random.Random(100 + i)
        plans[i] = [(rng.choice(SINGLE_QUBIT_GATES), (rng.randrange(n),)) if rng.random() < 0.4
                    else (rng.choice(TWO_QUBIT_GATES), tuple(rng.sample(range(n), 2))) for _ in range(600)]

    def work(i):
        sim = sims[i] = NodeWeave(n)
        for gate, qubits in plans[i]:
            getattr(sim, gate)(*map(Index, qubits))
            sim.get_entangled_group(qubits[0]), sim.peek_measure_set({Index(qubits[0])})
    run_threads(4, work)
    for i, plan in plans.items():
        alone = NodeWeave(n)  # the same calls (a group query settles held-back gates into the graph)
        [(getattr(alone, gate)(*qubits), alone.get_entangled_group(qubits[0])) for gate, qubits in plan]
        assert testing.dump(sims[i]) == testing.dump(alone), f"thread {i}"
