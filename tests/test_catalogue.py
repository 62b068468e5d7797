"""The places that list the gates by hand agree with the entries the module is made from: the class's
methods, the type stubs, the README and the test catalogue in gates.py."""

import ast
import re
from pathlib import Path

import pytest

import _nodeweave_testing as nwt
from nodeweave import NodeWeave
import gates

ROOT = Path(__file__).resolve().parent.parent
QUERIES = ["get_entangled_group", "peek_measure_set"]
ENTRIES = nwt.gates()
KINDS = {"single_qubit": gates.SINGLE_QUBIT_GATES, "two_qubit": gates.TWO_QUBIT_GATES,
         "measurement": gates.MEASUREMENTS}


def named(kind):
    return [name for name, k, _ in ENTRIES if k == kind]


def methods():
    """The public methods of NodeWeave in registration order, with their parameter names."""
    return {name: f.__text_signature__.removeprefix("($self, ").removesuffix(")").split(", ")
            for name, f in vars(NodeWeave).items() if not name.startswith("_")}


def test_the_class_has_a_method_per_entry_then_the_queries():
    assert list(methods()) == [name for name, _, _ in ENTRIES] + QUERIES
    for name, kind, _ in ENTRIES:
        assert methods()[name] == (["control", "target"] if kind == "two_qubit" else ["qubit"]), name


@pytest.mark.parametrize("kind", KINDS)
def test_gates_py_lists_the_entries(kind):
    assert KINDS[kind] == named(kind)


def stub_methods():
    tree = ast.parse((ROOT / "nodeweave-stubs" / "__init__.pyi").read_text())
    cls = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "NodeWeave")
    return {f.name: f for f in cls.body if isinstance(f, ast.FunctionDef) and f.name != "__new__"}


def test_stubs_declare_each_method_with_its_parameters_and_result():
    stubs = stub_methods()
    assert list(stubs) == list(methods())
    returns = {"single_qubit": "None", "two_qubit": "None", "measurement": "MeasurementResult"}
    kinds = {name: kind for name, kind, _ in ENTRIES}
    for name, parameters in methods().items():
        arguments = stubs[name].args.args
        assert [a.arg for a in arguments] == ["self"] + parameters, name
        if name in kinds:
            assert [ast.unparse(a.annotation) for a in arguments[1:]] == ["SupportsIndex"] * len(parameters)
            assert ast.unparse(stubs[name].returns) == returns[kinds[name]], name


def readme_section(title):
    text = (ROOT / "README.md").read_text()
    start = text.index(f"\n### {title}\n")
    return text[start:text.index("\n### ", start + 1)]


def test_readme_names_every_gate_and_measurement():
    table = [line.split("|")[1] for line in readme_section("Gates").splitlines()
             if line.startswith("| `")]
    listed = [name for cell in table for name in re.findall(r"`(\w+)", cell)]
    assert sorted(listed) == sorted(named("single_qubit") + named("two_qubit"))
    for call in re.findall(r"`(\w+)\(([\w, ]+)\)`", "".join(table)):
        assert methods()[call[0]] == call[1].split(", "), call
    measured = re.findall(r"`(\w+)\(qubit\)`", readme_section("Measurements"))
    assert measured == named("measurement")


def test_apply_runs_entries_only_with_their_operand_count():
    sim = NodeWeave(2)
    for call in [("cx", 0), ("h", 0, 1), ("measure_q", 0), ("\ud800", 0)]:
        with pytest.raises((ValueError, UnicodeEncodeError)):
            nwt.apply(sim, *call)
    assert nwt.dump(sim) == ([10, 10], [[], []])
