"""The calling convention of NodeWeave: argument parsing, index and set conversion,
access control, and how refused calls and internal failures reach Python."""

import pytest

import _nodeweave_testing as testing
import nodeweave
from nodeweave import NodeWeave
from gates import TWO_QUBIT_GATES as TWO_QUBIT
from index_objects import Idx

EXCLUSIVE = {"h", "x", "cx", "measure_z"}
SAME = "control and target must be different qubits"
PANIC = "index out of bounds: the len is {} but the index is {}"
NOT_INT = "'{}' object cannot be interpreted as an integer"
CAST = "'{}' object cannot be cast as 'set'"


TypeErrorSub = type("TypeErrorSub", (TypeError,), {})


def with_cause(error):
    error.__cause__ = KeyError("inner")
    return error


def prepared():
    """Three qubits, an edge 0-1 and three different VOPs, loaded directly."""
    sim = NodeWeave(3)
    testing.load(sim, [0, 6, 10], [[1], [0], []])
    return sim


def method(sim, name):
    return getattr(sim, name) if name else NodeWeave


def raised(call):
    with pytest.raises(BaseException) as info:
        call()
    return info.value


PARSE = [  # (method, None for the constructor; args; kwargs; message after the full name)
    ("h", (0, 1), {}, "takes 1 positional arguments but 2 were given"),
    ("h", ("a", "b"), {"qubit": 0}, "takes 1 positional arguments but 2 were given"),
    ("cz", (0, 1, 2), {}, "takes 2 positional arguments but 3 were given"),
    (None, (1, 2), {}, "takes 1 positional arguments but 2 were given"),
    ("cz", (0,), {"control": 1}, "got multiple values for argument 'control'"),
    (None, (1,), {"qubit_amount": 1}, "got multiple values for argument 'qubit_amount'"),
    ("h", (), {"node": 0}, "got an unexpected keyword argument 'node'"),
    ("cz", (0,), {"bogus": 1, "control": 1}, "got an unexpected keyword argument 'bogus'"),
    ("cz", (0,), {"control": 1, "bogus": 1}, "got multiple values for argument 'control'"),
    (None, (), {"n": 1}, "got an unexpected keyword argument 'n'"),
    ("h", (), {}, "missing 1 required positional argument: 'qubit'"),
    ("peek_measure_set", (), {}, "missing 1 required positional argument: 'qubits'"),
    ("cz", (), {}, "missing 2 required positional arguments: 'control' and 'target'"),
    ("ycy", ("a",), {}, "missing 1 required positional argument: 'target'"),
    ("cx", (), {"target": "a"}, "missing 1 required positional argument: 'control'"),
    (None, (), {}, "missing 1 required positional argument: 'qubit_amount'"),
]


@pytest.mark.parametrize("name,args,kwargs,message", PARSE)
def test_argument_parsing_messages(name, args, kwargs, message):
    sim = prepared()
    before = testing.dump(sim)
    error = raised(lambda: method(sim, name)(*args, **kwargs))
    assert type(error) is TypeError and str(error) == f"NodeWeave.{name or '__new__'}() {message}"
    assert testing.dump(sim) == before


@pytest.mark.parametrize("call,entangled", [  # qubit 0 in |+>, qubit 1 in |0>: cx entangles them
    (lambda s: s.cx(target=1, control=0), True),      # only when qubit 0 is the control
    (lambda s: s.cx(0, target=1), True),
    (lambda s: s.cx(control=1, target=0), False),
    (lambda s: s.cx(1, 0), False),
])
def test_two_qubit_arguments_by_keyword(call, entangled):
    sim = NodeWeave(2)
    sim.h(0)
    call(sim)
    assert sim.get_entangled_group(0) == ({0, 1} if entangled else {0})


@pytest.mark.parametrize("call,vops", [  # qubit 0 carries Y, qubit 1 the identity
    (lambda s: s.h(qubit=True), [2, 10]),  # True is qubit 1
    (lambda s: s.x(Idx(1)), [2, 1]),
])
def test_arguments_by_keyword_and_index_objects(call, vops):
    sim = NodeWeave(2)
    testing.load(sim, [2, 0], [[], []])
    call(sim)
    assert testing.dump(sim)[0] == vops


SITES = [  # (parameter name, method, how the value is passed)
    ("qubit", "h", lambda m, v: m(v)), ("qubit", "measure_y", lambda m, v: m(v)),
    ("qubit", "get_entangled_group", lambda m, v: m(v)), ("qubit_amount", None, lambda m, v: m(v)),
    ("control", "cx", lambda m, v: m(v, 0)), ("target", "ycz", lambda m, v: m(0, v)),
    ("qubits", "peek_measure_set", lambda m, v: m({0, v})),
]
BAD_INDEX = [  # (make the value, exception type, message after the prefix, or None: passed on unchanged)
    (lambda: 1.0, TypeError, NOT_INT.format("float")), (lambda: "0", TypeError, NOT_INT.format("str")),
    (lambda: None, TypeError, NOT_INT.format("NoneType")),
    (lambda: Idx(1.5), TypeError, "__index__ returned non-int (type float)"),
    (lambda: Idx(TypeError("boom")), TypeError, "boom"),
    (lambda: Idx(with_cause(TypeError("boom"))), TypeError, "boom"),  # the cause is carried over
    (lambda: -1, OverflowError, None), (lambda: 2**64, OverflowError, None),
    (lambda: Idx(-5), OverflowError, None),
    (lambda: Idx(TypeErrorSub("boom")), TypeErrorSub, None),
    (lambda: Idx(ValueError("boom")), ValueError, None),
]


@pytest.mark.parametrize("param,name,call", SITES, ids=[s[1] or "constructor" for s in SITES])
@pytest.mark.parametrize("make,kind,text", BAD_INDEX)
def test_index_conversion_errors(param, name, call, make, kind, text):
    sim = prepared()
    before = testing.dump(sim)
    value = make()
    error = raised(lambda: call(method(sim, name), value))
    assert type(error) is kind
    if text is not None:
        assert str(error) == f"argument '{param}': {text}"
        assert error.__cause__ is getattr(getattr(value, "value", None), "__cause__", None)
    elif isinstance(getattr(value, "value", None), BaseException):
        assert error is value.value
    else:
        assert not str(error).startswith("argument") and param not in str(error)
    assert testing.dump(sim) == before
    sim.h(2)  # access was released


@pytest.mark.parametrize("gate", TWO_QUBIT)
@pytest.mark.parametrize("control,target,kind,message", [
    ("a", -1, TypeError, "argument 'control': " + NOT_INT.format("str")),
    (-1, "a", OverflowError, None),
    (7, "a", TypeError, "argument 'target': " + NOT_INT.format("str")),  # both converted before range checks
    ("a", "a", TypeError, "argument 'control': " + NOT_INT.format("str")),
    (1, 1, ValueError, SAME), (True, 1, ValueError, SAME), (Idx(2), 2, ValueError, SAME),
    (9, 9, ValueError, SAME), (2**64 - 1, 2**64 - 1, ValueError, SAME),  # equal before out of range
])
def test_two_qubit_conversion_order_and_equal_operands(gate, control, target, kind, message):
    sim = prepared()
    before = testing.dump(sim)
    error = raised(lambda: method(sim, gate)(control, target))
    assert type(error) is kind
    assert str(error) == message if message else "control" not in str(error)
    assert testing.dump(sim) == before
    method(sim, gate)(0, 2)


@pytest.mark.parametrize("qubits,answer", [  # answer: the keys of the result, or the message after the prefix
    ([0, 1], CAST.format("list")), ((0,), CAST.format("tuple")), ({0: 1}, CAST.format("dict")),
    (range(2), CAST.format("range")), (NodeWeave(1), CAST.format("NodeWeave")),
    (type("Seq", (list,), {"__qualname__": "Outer.Seq"})([0]), CAST.format("Outer.Seq")),
    ({0, "1"}, NOT_INT.format("str")),
    (set(), set()), (frozenset({0}), {0}), ({1, Idx(1), True}, {1}),  # equal indices count once
    (type("FrozenSub", (frozenset,), {})({0, 2}), {0, 2}), (type("SetSub", (set,), {})({2}), {2}),
])
def test_set_conversion(qubits, answer):
    peek = method(NodeWeave(3), "peek_measure_set")
    if isinstance(answer, str):
        error = raised(lambda: peek(qubits))
        assert type(error) is TypeError and str(error) == f"argument 'qubits': {answer}"
    else:
        assert set(peek(qubits)) == answer


PANICS = [  # (qubits, method or None for the constructor, argument, message)
    (3, "h", 3, PANIC.format(3, 3)), (0, "z", 0, PANIC.format(0, 0)),
    (3, "sdag", 2**64 - 1, PANIC.format(3, 2**64 - 1)), (3, "measure_x", 4, PANIC.format(3, 4)),
    (3, "get_entangled_group", 3, PANIC.format(3, 3)), (3, "peek_measure_set", {5}, PANIC.format(3, 5)),
    (3, None, 2**64 - 1, "capacity overflow"),
]


@pytest.mark.parametrize("n,name,argument,message", PANICS)
def test_panics(n, name, argument, message):
    reference = type(raised(lambda: NodeWeave(0).h(0)))
    sim = prepared() if n else NodeWeave(0)
    before = testing.dump(sim)
    error = raised(lambda: method(sim, name)(argument))
    assert not isinstance(error, Exception)  # `except Exception` lets it pass
    assert type(error) is reference and error.args == (message,)
    assert reference.__mro__[1] is BaseException
    assert f"{reference.__module__}.{reference.__qualname__}" == "nodeweave.PanicException"
    assert "PanicException" not in vars(nodeweave)
    assert testing.dump(sim) == before
    if n:
        sim.h(0)  # still usable


def test_object_shape():
    assert testing.dump(NodeWeave(0)) == ([], [])
    assert testing.dump(NodeWeave(qubit_amount=True)) == ([10], [[]])
    sim = NodeWeave(1)
    with pytest.raises(TypeError):
        type("Sub", (NodeWeave,), {})
    for name in ("attr", "h"):
        with pytest.raises(AttributeError):
            setattr(sim, name, 0)


OUTER = {  # how each method is entered with an index-like probe
    "h": lambda s, p: s.h(p), "cx": lambda s, p: s.cx(2, p), "measure_z": lambda s, p: s.measure_z(p),
    "get_entangled_group": lambda s, p: s.get_entangled_group(p),
    "peek_measure_set": lambda s, p: s.peek_measure_set({p}),
}
INNER = {
    "x": lambda s: s.x(0), "h": lambda s: s.h(0),
    "get_entangled_group": lambda s: s.get_entangled_group(0),
    "peek_measure_set": lambda s: s.peek_measure_set({0}),
}


@pytest.mark.parametrize("outer", OUTER)
@pytest.mark.parametrize("inner", INNER)
def test_reentry_from_index(outer, inner):
    sim, other, seen = prepared(), prepared(), []

    def callback():
        INNER[inner](other)  # a different object never conflicts
        try:
            seen.append(INNER[inner](sim))
        except RuntimeError as error:
            seen.append(error)
        return 1

    OUTER[outer](sim, Idx(callback))
    if outer in EXCLUSIVE or inner in EXCLUSIVE:
        expected = "Already borrowed" if inner in EXCLUSIVE else "Already mutably borrowed"
        assert type(seen[0]) is RuntimeError and str(seen[0]) == expected
    else:
        assert not isinstance(seen[0], BaseException)  # shared inside shared is allowed
    sim.h(1)  # free again


@pytest.mark.parametrize("outer,inner,kind,message", [
    ("h", lambda s: s.h(0), RuntimeError, "Already borrowed"),
    ("cx", lambda s: s.get_entangled_group(0), RuntimeError, "Already mutably borrowed"),
    ("peek_measure_set", lambda s: s.h(0), RuntimeError, "Already borrowed"),
    ("get_entangled_group", lambda s: s.get_entangled_group(99), BaseException, PANIC.format(3, 99)),
    ("get_entangled_group", lambda s: s.peek_measure_set([0]),
     TypeError, "argument 'qubit': argument 'qubits': 'list' object cannot be cast as 'set'"),
])
def test_error_escaping_index_leaves_object_usable(outer, inner, kind, message):
    sim = prepared()
    before = testing.dump(sim)
    error = raised(lambda: OUTER[outer](sim, Idx(lambda: inner(sim))))
    assert isinstance(error, kind) and str(error) == message
    assert testing.dump(sim) == before
    sim.h(0)
