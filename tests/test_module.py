"""The nodeweave module: exported names, re-import, class shape and documentation."""

import importlib
import sys

import pytest

import nodeweave
from nodeweave import NodeWeave
from gates import MEASUREMENTS, SINGLE_QUBIT_GATES, TWO_QUBIT_GATES

ALL = ["MeasurementResult", "Outcome", "Axis", "NodeWeave"]
NODE = "\n\n`node` is the index of the qubit."
MEASURE = ("Perform a projective measurement of `qubit` in the {} basis.\n\n"
           "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`.")
METHODS = {  # in registration order: (parameters, docstring after the signature)
    "x": ("qubit", "Apply an X (Pauli-X) gate to the given qubit." + NODE),
    "y": ("qubit", "Apply a Y (Pauli-Y) gate to the given qubit." + NODE),
    "z": ("qubit", "Apply a Z (Pauli-Z) gate to the given qubit." + NODE),
    "h": ("qubit", "Apply an H (Hadamard) gate to the given qubit." + NODE),
    "s": ("qubit", "Apply an S (phase) gate to the given qubit." + NODE),
    "sdag": ("qubit", "Apply an S\u2020 (inverse phase) gate to the given qubit." + NODE),
    "cz": ("control, target", "Apply a controlled-Z (CZ) gate with `control` and `target` qubits."),
    "cx": ("control, target", "Apply a controlled-X (CX) / CNOT gate with `control` and `target`."),
    "xcx": ("control, target", "Apply an X-controlled X gate (CX in the X basis)."),
    "ycx": ("control, target", "Apply a Y-controlled X gate (control qubit in the Y basis)."),
    "xcz": ("control, target", "Apply an X-controlled Z gate (target in X basis)."),
    "ycz": ("control, target", "Apply a Y-controlled Z gate (target in Y basis)."),
    "cy": ("control, target", "Apply a controlled-Y (CY) gate with `control` and `target`."),
    "xcy": ("control, target", "Apply an X-controlled Y gate (control in X basis)."),
    "ycy": ("control, target", "Apply a Y-controlled Y gate (both in Y basis)."),
    "measure_x": ("qubit", MEASURE.format("X")),
    "measure_y": ("qubit", MEASURE.format("Y")),
    "measure_z": ("qubit", MEASURE.format("Z")),
    "get_entangled_group": ("qubit", "Return the set of qubits that are entangled with `qubit`.\n\n"
                            "This follows adjacency in the underlying graph."),
    "peek_measure_set": ("qubits", "Simulate measurements on a set of `qubits` without modifying the real "
                         "state.\n\nReturns a map from qubit index to `Outcome` (result and axis used)."),
}
CLASS_DOCS = {
    "MeasurementResult": "Result of a single-qubit measurement.\n\n"
                         "Exposed to Python as `nodeweave.MeasurementResult`.",
    "Outcome": "Measurement outcome and the axis that was measured.\n\n"
               "Returned in the values of `peek_measure_set`.",
    "Axis": None,
    "NodeWeave": "Simulator for graph states over a fixed number of qubits.\n\n"
                 "Use this class from Python to apply gates and perform measurements.",
}


def test_module_surface():
    assert nodeweave.__doc__ == ("Graph-state based quantum circuit simulator exposed as the "
                                 "`nodeweave` Python module.")
    assert nodeweave.__all__ == ALL
    # no functions and no exception class besides the four classes
    assert {n for n in vars(nodeweave) if not n.startswith("__")} == set(ALL)


def test_second_import_returns_the_same_module():
    first = sys.modules.pop("nodeweave")
    try:
        again = importlib.import_module("nodeweave")
    finally:
        sys.modules["nodeweave"] = first
    assert again is first and again.__all__ == ALL and again.NodeWeave is NodeWeave


@pytest.mark.parametrize("name", ALL)
def test_class_shape(name):
    cls = getattr(nodeweave, name)
    assert (cls.__module__, cls.__qualname__, cls.__bases__) == ("nodeweave", name, (object,))
    assert cls.__doc__ == CLASS_DOCS[name]
    assert cls.__text_signature__ == ("(qubit_amount)" if name == "NodeWeave" else None)
    assert not cls.__flags__ & (1 << 10)  # not an acceptable base type
    assert not cls.__flags__ & (1 << 14)  # outside cyclic garbage collection
    assert cls.__dictoffset__ == 0 and cls.__weakrefoffset__ == 0


def test_methods_in_registration_order():
    assert [n for n in vars(NodeWeave) if not n.startswith("_")] == list(METHODS)
    # the lists the other tests take their gates from name every method
    assert list(METHODS) == (SINGLE_QUBIT_GATES + TWO_QUBIT_GATES + MEASUREMENTS
                             + ["get_entangled_group", "peek_measure_set"])


@pytest.mark.parametrize("name,parameters,doc", [(n, *v) for n, v in METHODS.items()])
def test_method_documentation(name, parameters, doc):
    function = vars(NodeWeave)[name]
    assert function.__doc__ == doc
    assert function.__text_signature__ == f"($self, {parameters})"
    assert function.__qualname__ == f"NodeWeave.{name}"
