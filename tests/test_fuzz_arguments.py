"""Junk in every position and keyword of every method and of the constructor: only the documented
exceptions come out, a refused call leaves the state as it was, and the object stays usable."""

import math

import numpy as np
import pytest

import _nodeweave_testing as testing
from nodeweave import Axis, MeasurementResult, NodeWeave
from gates import MEASUREMENTS, SINGLE_QUBIT_GATES, TWO_QUBIT_GATES as TWO
from stim_oracle import check_invariants

ONE = SINGLE_QUBIT_GATES + MEASUREMENTS + ["get_entangled_group"]
PARAMS = {**{m: ["qubit"] for m in ONE}, **{m: ["control", "target"] for m in TWO},
          "peek_measure_set": ["qubits"], None: ["qubit_amount"]}  # None: the constructor
BORROWED = {"Already borrowed", "Already mutably borrowed"}
CALLS, TARGET = [0], [None]  # calls made; the simulator that callbacks in __index__ reach
JunkError, JunkAbort = type("JunkError", (Exception,), {}), type("JunkAbort", (BaseException,), {})
TypeErrorSub = type("TypeErrorSub", (TypeError,), {})


def boom(*_):
    raise JunkError("from a set's __iter__")


class Index:
    """__index__ raises `value`, returns it, or calls it on TARGET (catching refusals if asked)."""

    def __init__(self, value, catch=False):
        self.value, self.catch, self.depth = value, catch, 0

    def __index__(self):
        if isinstance(self.value, BaseException):
            raise self.value
        if not callable(self.value):
            return self.value
        self.depth += 1  # a shared call may convert this object again from inside: go ten deep
        try:
            self.value(TARGET[0], self) if self.depth < 10 else None
        except RuntimeError as e:
            if not (self.catch and str(e) in BORROWED):
                raise
        finally:
            self.depth -= 1
        return 1


class Mutates:
    """An element whose conversion changes the set being converted: grows it or empties it."""

    def __init__(self, home, grow):
        self.home, self.grow = home, grow
        home.add(self)

    def __index__(self):
        self.home.update(range(100, 140)) if self.grow else self.home.clear()
        return 0


def junk():
    def calls(f):
        return [Index(f), Index(f, catch=True), {Index(f, catch=True)}]
    return [
        None, 0.0, 1.5, math.nan, -math.inf, 1j, True, False, -1, -2**63, 2**63, 2**64 - 1, 2**64, -2**200,
        type("BadInt", (int,), {"__index__": lambda s: 1 / 0})(2), "", "0", b"0", bytearray(b"1"), [], [0],
        (0,), {}, {0: 0}, range(2), object(), Axis.X, MeasurementResult.MinusOne, np.int64(2), np.array(1),
        np.array([1]), np.float64(1.0), np.uint64(2**64 - 1), set(), {0}, frozenset({0, 1}), {None}, {-1},
        {2**64}, {1.5}, {"a"}, {0, 2**64 - 1}, {Index(JunkError())}, frozenset({Index(-1)}),
        type("IterRaises", (set,), {"__iter__": boom})({0}),
        Mutates({1}, grow=True).home, Mutates(set(), grow=False).home,
        Index(JunkError()), Index(JunkAbort()), Index(TypeError("t")), Index(TypeErrorSub("s")),
        Index(-5), Index(2**64), Index(2**64 - 1), Index(3), Index("1"), Index(1.0), Index(None),
        *calls(lambda s, me: s.h(0)), *calls(lambda s, me: s.peek_measure_set({0, 1})),
        *calls(lambda s, me: s.get_entangled_group(me)), *calls(lambda s, me: s.cx(0, me)),
    ]


def allowed(error):
    kind, text = type(error), str(error)
    return (kind in (TypeError, TypeErrorSub, OverflowError, JunkError, JunkAbort)
            or kind is ValueError and text == "control and target must be different qubits"
            or kind is RuntimeError and (text in BORROWED or text == "Set changed size during iteration")
            or kind.__name__ == "PanicException" and text.startswith(("index out of bounds: the len is 6 but",
                                                                       "capacity overflow")))


def prepared():
    sim = NodeWeave(6)
    testing.load(sim, [0, 6, 10, 3, 17, 21], [[1, 2, 3, 4, 5], [0, 2], [0, 1], [0], [0], [0]])
    return sim


def shapes(params):
    """Each junk value in each position, by position and by keyword, and in wrong shapes."""
    valid = [0, 2][:len(params)]
    for bad in junk():
        for i in range(len(params)):
            args = valid[:i] + [bad] + valid[i + 1:]
            yield args, {}
            yield args[:i], dict(zip(params[i:], args[i:]))
        yield [bad] * len(params), {}
        yield [bad] * (len(params) + 1), {}
        yield [], {"bogus": bad}
        yield valid, {params[0]: bad}


@pytest.mark.parametrize("name", list(PARAMS), ids=lambda name: name or "constructor")
def test_junk_arguments_are_refused_cleanly(name):
    sim = prepared()
    for args, kwargs in shapes(PARAMS[name]):
        CALLS[0] += 1
        before, TARGET[0] = testing.dump(sim), sim if name else prepared()
        try:
            (getattr(sim, name) if name else NodeWeave)(*args, **kwargs)
        except BaseException as error:  # PanicException derives from BaseException
            assert allowed(error), f"{name}{args}{kwargs}: {type(error).__name__}: {error}"
            if not (name in TWO and type(error).__name__ == "PanicException"):  # gate steps stay applied
                assert testing.dump(sim) == before, f"refused {name}{args}{kwargs} changed the state"
        check_invariants(testing.dump(sim), 6)
    sim.cx(0, 1), sim.h(qubit=2), sim.measure_z(3), sim.ycy(target=4, control=5)  # nothing left borrowed
    assert sim.get_entangled_group(0) >= {0} and set(sim.peek_measure_set({0, 5})) == {0, 5}
