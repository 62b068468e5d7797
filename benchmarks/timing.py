"""Timing: repeats and their median, the call floor paired with each repeat, peak memory, and the
time caps that skip a size whose run, extrapolated from the smaller sizes, would take too long.

Times are medians over repeats of time.perf_counter(); each repeat starts from a fresh simulator,
with the garbage collector run before and held off during the timed part.
"""

from __future__ import annotations

import functools
import gc
import math
import statistics
import time

import _nodeweave_testing
import nodeweave

from circuits import CircuitProgram
from report import fmt_n, fmt_time
from runners import (GATE, ChildError, FloorRunner, NodeWeaveRunner, compile_calls, execute, mismatches,
                     run_child)
from workloads import DISTANCES, SINGLE, TWO, WORKLOADS, build


def timed_run(run):
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        run()
        return time.perf_counter() - start
    finally:
        gc.enable()


def repeats_for(first, quick):
    if quick:
        return 2
    return 7 if first < 0.05 else 5 if first < 0.5 else 3 if first < 3 else 1


def once(runner, n, prep, timed):
    """Time of the timed part and of the whole run (preparation included) of one repeat. The
    collection before the timed part is left out of both: it costs about the same at every size,
    and at small sizes it would flatten the growth that the size caps extrapolate."""
    start = time.perf_counter()
    run = runner.prepare(n, prep, timed)
    preparation = time.perf_counter() - start
    seconds = timed_run(run)
    return seconds, preparation + seconds


def measure(runner, n, prep, timed, quick, floor=None):
    """Median time of the timed part over repeats, and the whole first repeat (preparation
    included), which is what the size caps extrapolate. With floor (a sampler of the times of the
    same program on the floor), each repeat is paired with floor samples taken just before and
    after it, and the median of the paired ratios is returned as well: on a shared machine the
    floor moves with the load, and a pair sees the same load."""
    samples, ratios, total = [], [], None
    while len(samples) < (1 if total is None else repeats_for(total, quick)):
        around = floor() if floor else []
        seconds, whole = once(runner, n, prep, timed)
        samples.append(seconds)
        total = whole if total is None else total
        if floor:
            around += floor()
            ratios.append(seconds / statistics.median(around))
    return dict(median=statistics.median(samples), total=total,
                floor_ratio=statistics.median(ratios) if ratios else None)


def floor_samples(calls, repeats):
    floor = _nodeweave_testing.Floor(64)
    segments = [(GATE, floor.gate, [i % 64 for i in range(calls)], None)]
    return [timed_run(lambda: execute(segments)) / calls for _ in range(repeats)]


def floor_sampler(n, timed, runner):
    """Two floor runs of the program, for pairing with runner's runs. A circuit program replays the
    calls of runner's latest run of it (none before the first)."""
    def sample():
        outcomes = None
        if isinstance(timed, CircuitProgram):
            if runner.latest is not timed or len(runner.outcomes) != timed.outcomes:
                return []
            outcomes = runner.outcomes
        return [timed_run(FloorRunner().prepare(n, [], timed, outcomes)) for _ in range(2)]
    return sample


def predicted(history, n):
    """Extrapolated time of one run (preparation included) at size n from the sizes already
    measured."""
    if not history:
        return 0.0
    (n1, t1) = history[-1]
    exponent = 2.0
    if len(history) >= 2:
        (n0, t0) = history[-2]
        if t0 > 0 and t1 > 0 and n1 != n0:
            exponent = min(4.0, max(1.0, math.log(t1 / t0) / math.log(n1 / n0)))
    return t1 * (n / n1) ** exponent


def pilot(timer, index, size, history, cap, limit):
    """Single untabulated runs at 1/256 to 1/4 of the first size, so that even the first size of a
    workload is skipped when the growth they show would take it past the cap (the smallest first:
    each run is itself skipped when the ones before it predict too long a time). timer(size) is the
    time of a whole run at that size; limit is the runner's largest n, if any."""
    if WORKLOADS[index][4] in DISTANCES:  # no smaller codes: a quarter distance says little
        return
    for fraction in (256, 64, 16, 4):
        if size // fraction < 8:
            continue
        n = build(index, size // fraction)[0]
        if predicted(history, n) > cap or (limit is not None and n > limit):
            return
        history.append((n, timer(size // fraction)))


def skip_reason(runner, index, size, n, history, cap, timer):
    """Why runner skips this size of the workload, of n qubits (None: it runs it): n over the
    runner's largest (max_n), or a whole run predicted to exceed cap from history, the (n, seconds)
    of its whole runs at smaller sizes. Before the first size of a workload timed per run, pilot
    runs with timer fill the history."""
    limit = getattr(runner, "max_n", None)
    if not WORKLOADS[index][3] and not history and (limit is None or n <= limit):
        pilot(timer, index, size, history, cap, limit)
    guess = predicted(history, n)
    if limit is not None and n > limit:
        return f"n > {limit}: its tableau needs ~n²/2 bytes and O(n²) time per measurement"
    if guess > cap:
        last_n, last_t = history[-1]
        return (f"predicted {guess:.0f} s per run (preparation included) from {fmt_time(last_t)} "
                f"at n = {fmt_n(last_n)}, over its {cap:.0f} s cap")
    return None

def peak_memory_probe(index, size):
    """Runs in a fresh process: growth of the peak resident set while nodeweave runs the workload.
    The harness's own call list is compiled before the first reading, through stand-ins that find
    the simulator's methods when called, and the outcomes are dropped: only nodeweave's memory grows
    in between (a chain of single fusions has four tuples of calls per ten qubits, which counted as
    about 25 bytes a qubit when the list was compiled inside the window)."""
    n, prep, timed = build(index, size)
    bound = {}
    methods = {gate: functools.partial(call_bound, bound, gate) for gate in SINGLE | TWO}
    minus = nodeweave.MeasurementResult.MinusOne
    segments = compile_calls(methods, prep) + compile_calls(methods, timed, minus)
    gc.collect()

    def peak():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
        import resource
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024

    try:  # reset the high-water mark to the current resident set
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")
    except OSError:
        pass
    base = peak()
    sim = nodeweave.NodeWeave(n)
    bound.update({gate: getattr(sim, gate) for gate in methods})
    execute(segments, DroppedOutcomes)
    return dict(bytes_per_qubit=(peak() - base) / n)


def call_bound(bound, gate, *qubits):
    return bound[gate](*qubits)


class DroppedOutcomes:
    """An outcome record that keeps nothing."""
    @staticmethod
    def append(outcome):
        pass


def time_workload(index, size, quick, pilot):
    """Runs in a child process for the before column: this process's nodeweave on the program."""
    n, prep, timed = build(index, size)
    runner = NodeWeaveRunner()
    if pilot:
        return dict(total=once(runner, n, prep, timed)[1])
    timing = measure(runner, n, prep, timed, quick, floor_sampler(n, timed, runner))
    return timing | dict(mismatches=mismatches(runner, timed))


def memory_per_qubit(index, size, directory=None):
    """Peak bytes per qubit of the workload in a fresh process (with directory: that build's
    nodeweave); None when the probe fails."""
    try:
        return run_child(["--probe-memory", index, size], directory)["bytes_per_qubit"]
    except ChildError:
        return None
