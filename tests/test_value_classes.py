"""Axis, MeasurementResult and Outcome: comparisons, hashing, conversions and text forms."""

import operator
import signal
import time

import pytest

from nodeweave import Axis, MeasurementResult, NodeWeave, Outcome
from index_objects import Idx

PLUS, MINUS = MeasurementResult.PlusOne, MeasurementResult.MinusOne
NOT_INT = "object cannot be interpreted as an integer"


def outcome(*gates):
    """The outcome of peeking at a lone qubit prepared by the gates: its one certain axis."""
    sim = NodeWeave(1)
    for gate in gates:
        getattr(sim, gate)(0)
    (result,) = sim.peek_measure_set({0}).values()
    return result


@pytest.mark.parametrize("a,b,equal", [  # b may be a maker of a fresh object
    (Axis.Y, Axis.Y, True), (Axis.Y, lambda: outcome("h", "s").axis, True), (Axis.Y, Axis.Z, False),
    (MINUS, lambda: outcome("x").result, True), (PLUS, MINUS, False),
    (Axis.X, PLUS, False), (Axis.Y, MINUS, False),  # same stored value, other class
    (Axis.Y, 1, True), (Axis.Y, True, True), (MINUS, 1, True), (PLUS, False, True), (Axis.Y, 2, False),
    (Axis.Y, Idx(1), True), (Axis.Y, Idx(0), False), (Axis.Y, Idx(2**70), False),
    (Axis.Y, Idx(ValueError()), False), (Axis.Y, Idx(TypeError()), False),  # the error is swallowed
    (Axis.Y, 2**70, False), (Axis.Y, 2**64 + 1, False), (Axis.Y, 1 - 2**64, False),  # no wrap-around
    (Axis.Y, 1.0, False), (PLUS, 0.0, False), (Axis.Y, "Y", False), (Axis.Y, None, False),
])
def test_equality(a, b, equal):
    b = b() if callable(b) else b
    assert (a == b) is equal and (b == a) is equal
    assert (a != b) is not equal and (b != a) is not equal


class Reflected:
    def __lt__(self, other):
        return "reflected"

    __le__ = __gt__ = __ge__ = __lt__


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("a,b,answer", [
    (Axis.X, Axis.Y, None), (Axis.Y, 1, None), (1, Axis.Y, None), (PLUS, MINUS, None), (MINUS, Idx(0), None),
    (Axis.X, Reflected(), "reflected"),  # the other operand may still answer
])
def test_ordering(op, a, b, answer):
    if answer is None:
        with pytest.raises(TypeError):
            op(a, b)
    else:
        assert op(a, b) == answer


@pytest.mark.parametrize("member,value,text", [
    (Axis.X, 0, "Axis.X"), (Axis.Y, 1, "Axis.Y"), (Axis.Z, 2, "Axis.Z"),
    (PLUS, 0, "MeasurementResult.PlusOne"), (MINUS, 1, "MeasurementResult.MinusOne"),
])
def test_members(member, value, text):
    cls = type(member)
    assert type(int(member)) is int and int(member) == value
    assert bool(member) is True
    assert repr(member) == str(member) == text
    assert cls.__hash__ is None
    for use in (hash, lambda m: {m}, lambda m: {m: 1}, operator.index, NodeWeave(3).h):  # h last
        with pytest.raises(TypeError) as info:
            use(member)
    assert str(info.value) == f"argument 'qubit': 'nodeweave.{cls.__name__}' {NOT_INT}"
    assert not hasattr(cls, "__members__") and not hasattr(member, "name") and not hasattr(member, "value")
    with pytest.raises(AttributeError):
        member.extra = 1


def test_members_are_shared_and_results_are_new():
    assert [n for n in vars(Axis) if not n.startswith("_")] == ["X", "Y", "Z"]
    assert [n for n in vars(MeasurementResult) if not n.startswith("_")] == ["PlusOne", "MinusOne"]
    assert Axis.X is Axis.X and vars(Axis)["Z"] is Axis.Z
    sim = NodeWeave(1)
    first, second = sim.measure_z(0), sim.measure_z(0)
    assert type(first) is MeasurementResult and first == second == PLUS
    assert first is not second and first is not PLUS


@pytest.mark.parametrize("gates,text,axis,result", [
    ((), "(Z, +1)", Axis.Z, PLUS), (("x",), "(Z, -1)", Axis.Z, MINUS),
    (("h",), "(X, +1)", Axis.X, PLUS), (("x", "h"), "(X, -1)", Axis.X, MINUS),
    (("h", "s"), "(Y, +1)", Axis.Y, PLUS), (("h", "sdag"), "(Y, -1)", Axis.Y, MINUS),
])
def test_outcome(gates, text, axis, result):
    o = outcome(*gates)
    assert type(o) is Outcome and str(o) == text
    assert repr(o).startswith("<nodeweave.Outcome object at 0x")
    assert type(o.axis) is Axis and o.axis == axis and o.axis is not axis and o.axis is not o.axis
    assert type(o.result) is MeasurementResult and o.result == result and o.result is not o.result
    for name in ("result", "axis", "extra"):
        with pytest.raises(AttributeError):
            setattr(o, name, axis)
    twin = outcome(*gates)
    assert o == o and o != twin and hash(o) != hash(twin) and len({o, twin}) == 2
    assert [n for n in vars(Outcome) if not n.startswith("_")] == ["result", "axis"]
    assert Outcome.result.__doc__ is None and Outcome.axis.__doc__ is None


@pytest.mark.parametrize("cls", [Axis, MeasurementResult, Outcome])
@pytest.mark.parametrize("args,kwargs", [((), {}), ((0,), {}), ((0, 1), {"axis": 0})])
def test_classes_cannot_be_made_or_extended(cls, args, kwargs):
    with pytest.raises(TypeError) as info:
        cls(*args, **kwargs)
    assert str(info.value) == f"cannot create 'nodeweave.{cls.__name__}' instances"
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def panic_from_index():
    NodeWeave(1).h(5)


@pytest.mark.parametrize("error", [KeyboardInterrupt(), SystemExit(3), GeneratorExit(),
                                   type("Abort", (BaseException,), {})(), panic_from_index],
                         ids=["KeyboardInterrupt", "SystemExit", "GeneratorExit", "BaseException",
                              "PanicException"])
@pytest.mark.parametrize("compare", [operator.eq, operator.ne, lambda a, b: b == a, lambda a, b: b != a],
                         ids=["eq", "ne", "reflected-eq", "reflected-ne"])
def test_equality_lets_other_than_ordinary_errors_through(compare, error):
    # Ordinary errors of the other operand's conversion are swallowed (test_equality); an
    # interrupt, an exit or an internal failure is not.
    for member in (Axis.X, MINUS):
        with pytest.raises(BaseException) as info:
            compare(member, Idx(error))
        assert not isinstance(info.value, Exception)
        if isinstance(error, BaseException):
            assert info.value is error
        else:
            assert type(info.value).__name__ == "PanicException"


def test_equality_keeps_a_keyboard_interrupt_from_a_signal():
    class Waits:
        def __index__(self):
            time.sleep(10)  # cut short by the alarm's handler
            return 0

    previous = signal.signal(signal.SIGALRM, signal.default_int_handler)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.05)
        with pytest.raises(KeyboardInterrupt):
            Axis.X == Waits()
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
