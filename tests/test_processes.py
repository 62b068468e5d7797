"""nodeweave at the edges of a process's life: forked children, interpreter exit while a daemon
thread is inside a call, and a second interpreter in the same process."""

import importlib.util
import multiprocessing
import os
import subprocess
import sys
import time

import pytest

from nodeweave import MeasurementResult, NodeWeave


def x_outcomes(_=None):
    """64 fresh qubits measured in X: 64 fair coins, as a bit string."""
    sim = NodeWeave(64)
    time.sleep(0.01)  # lets a pool hand its tasks to all of its workers
    return "".join("1" if sim.measure_x(q) == MeasurementResult.MinusOne else "0" for q in range(64))


def test_children_of_fork_measure_independently_of_each_other_and_the_parent():
    x_outcomes()  # the parent has drawn: its generator would be copied into each child
    children = []
    for _ in range(3):
        read, write = os.pipe()
        pid = os.fork()
        if pid == 0:
            try:
                os.write(write, x_outcomes().encode())
            finally:
                os._exit(0)
        os.close(write)
        with os.fdopen(read) as pipe:
            children.append(pipe.read())
        assert os.waitpid(pid, 0)[1] == 0
    outcomes = children + [x_outcomes()]
    assert all(len(bits) == 64 for bits in outcomes) and len(set(outcomes)) == 4, outcomes


def test_workers_of_a_forking_pool_measure_independently():
    x_outcomes()
    with multiprocessing.get_context("fork").Pool(3) as pool:
        outcomes = pool.map(x_outcomes, range(12), chunksize=1)
    outcomes.append(x_outcomes())
    assert len(set(outcomes)) == 13, outcomes

# A daemon thread enters a call and stays in Python code the call runs (an argument's __index__)
# while the main thread exits. The interpreter ends such a thread by unwinding it without the
# interpreter lock; the call must let that pass and touch nothing of the interpreter's.
STUCK_AT_EXIT = """
import sys, threading, time
from nodeweave import Axis, NodeWeave

inside = threading.Event()

class Stuck:
    def __hash__(self):
        return 7

    def __index__(self):
        inside.set()
        while True:
            time.sleep(0.001)

sim = NodeWeave(4)
calls = {
    "gate index": lambda: sim.cx(0, Stuck()),
    "set element": lambda: sim.peek_measure_set({0, Stuck(), 2}),  # the set's iterator is alive
    "comparison operand": lambda: Axis.X == Stuck(),
}
threading.Thread(target=calls[sys.argv[1]], daemon=True).start()
inside.wait()
print("exiting", flush=True)
"""


def child_environment():
    # Objects the ended thread held are never freed, by the interpreter's choice: not a leak of ours.
    env = dict(os.environ)
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":detect_leaks=0"
    return env


@pytest.mark.parametrize("inside", ["gate index", "set element", "comparison operand"])
def test_exit_with_a_daemon_thread_inside_a_call(inside):
    # The crash this guards against depended on timing: repeat it.
    for attempt in range(6):
        run = subprocess.run([sys.executable, "-c", STUCK_AT_EXIT, inside], capture_output=True,
                             text=True, timeout=60, env=child_environment())
        assert (run.returncode, run.stdout) == (0, "exiting\n"), f"attempt {attempt}: {run.stderr}"


SECOND_INTERPRETER = """
import os
import sys
try:
    import _interpreters as interpreters  # CPython 3.13 on
    interpreter = interpreters.create(sys.argv[1])
    run = interpreters.exec
except ImportError:
    import _xxsubinterpreters as interpreters  # up to 3.12 (3.11 ignores the flag)
    interpreter = interpreters.create(isolated=sys.argv[1] == "isolated")
    run = interpreters.run_string
import nodeweave

read, write = os.pipe()
run(interpreter, f'''
import os
try:
    import nodeweave
    answer = "imported"
except ImportError as error:
    answer = "ImportError: " + str(error)
os.write({write}, answer.encode())
''')
interpreters.destroy(interpreter)
print(os.read(read, 1000).decode())
sim = nodeweave.NodeWeave(2)
sim.h(0)
sim.cx(0, 1)
print(sim.measure_z(0) == sim.measure_z(1), sorted(sim.get_entangled_group(0)))
"""
REFUSALS = [
    "ImportError: nodeweave can be loaded by only one interpreter per process",  # the module's own
    # CPython 3.12 on, in an interpreter with its own GIL, before the module's code runs
    "ImportError: module nodeweave does not support loading in subinterpreters",
]


# An interpreter of the kind "legacy" shares the main interpreter's GIL and lets any extension be
# imported: there the module refuses by itself. An "isolated" one has its own GIL, and from 3.12
# CPython refuses the import first.
@pytest.mark.parametrize("kind", ["isolated", "legacy"])
def test_a_second_interpreter_cannot_import_and_the_first_goes_on(kind):
    if importlib.util.find_spec("_interpreters") is None:
        pytest.importorskip("_xxsubinterpreters")  # CPython's interface to interpreters
    run = subprocess.run([sys.executable, "-c", SECOND_INTERPRETER, kind], capture_output=True,
                         text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    refusal, rest = run.stdout.split("\n", 1)
    assert refusal in REFUSALS and rest == "True [0]\n", run.stdout
