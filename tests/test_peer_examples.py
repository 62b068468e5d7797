"""examples/qiskit_circuit.py, cirq_circuit.py and mbqc_pattern.py: other libraries' programs run
on nodeweave, each final state checked against that library's own simulator. Each group skips
where its library is not installed (the [test] extra installs all three)."""

import importlib.util
import random
import re
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def load(name: str, peer: str):
    pytest.importorskip(peer)
    spec = importlib.util.spec_from_file_location(f"example_{name}", EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def assert_all_checks_pass(out: str, lines: int) -> None:
    counts = re.findall(r"(\d+) (?:stabilizer generators|generators|stabilizers) checked, wrong: (\d+)", out)
    assert len(counts) == lines and all(int(n) > 0 and w == "0" for n, w in counts), out


# Qiskit


@pytest.mark.parametrize("classical", [False, True], ids=["unitary", "measure-reset-if_else"])
def test_qiskit_random_circuits_agree_with_stabilizer_state(classical):
    qiskit = load("qiskit_circuit", "qiskit")
    rng = random.Random(classical)
    for _ in range(8):
        checked, wrong, _, _ = qiskit.compare(qiskit.random_circuit(rng, 5, 80, classical))
        assert (checked, wrong) == (5, 0)


def test_qiskit_openqasm_teleportation_delivers_its_state_on_both_branches():
    qiskit = load("qiskit_circuit", "qiskit")
    circuit = qiskit.qasm2.loads(qiskit.TELEPORTATION)
    seen = set()
    for _ in range(40):
        assert qiskit.compare(circuit)[:2] == (3, 0)
        target = qiskit.NodeWeaveTarget(3)
        bits = qiskit.run(circuit, target)
        seen.add(tuple(bits))
        # |+i> arrives on qubit 2 whatever was measured; the senders are reset to |0>
        for pauli in ({2: "Y"}, {0: "Z"}, {1: "Z"}):
            assert qiskit.measure_pauli(target.sim, pauli, target.ancilla) == 1
    assert len(seen) == 4


@pytest.mark.parametrize("gate, wrong_calls", [
    ("sx", (("h", 0), ("sdag", 0), ("h", 0))),
    ("iswap", (("s", 0), ("s", 1), ("cz", 0, 1))),
    ("ecr", (("s", 0), ("h", 1), ("s", 1), ("h", 1), ("cx", 0, 1))),
])
def test_qiskit_check_catches_a_mistranslated_gate(monkeypatch, gate, wrong_calls):
    qiskit = load("qiskit_circuit", "qiskit")
    monkeypatch.setitem(qiskit.GATES, gate, wrong_calls)
    rng = random.Random(gate)
    assert sum(qiskit.compare(qiskit.random_circuit(rng, 4, 40, False))[1] for _ in range(10)) > 0


def test_qiskit_refuses_what_it_cannot_run_by_name():
    qiskit = load("qiskit_circuit", "qiskit")
    circuit = qiskit.QuantumCircuit(2)
    circuit.h(0)
    circuit.t(1)
    with pytest.raises(ValueError, match="^t is not supported"):
        qiskit.run(circuit, qiskit.NodeWeaveTarget(2))


def test_qiskit_example_prints_agreement(capsys):
    load("qiskit_circuit", "qiskit").main(["--qubits", "4", "--gates", "40", "--circuits", "3",
                                           "--shots", "5"])
    assert_all_checks_pass(capsys.readouterr().out, 3)


# cirq


def test_cirq_every_single_qubit_clifford_acts_as_cirq_says():
    cirq_example = load("cirq_circuit", "cirq")
    cirq = cirq_example.cirq
    a, b = cirq.LineQubit.range(2)
    # On half of a Bell pair both images, of X and of Z, are stabilizers: they fix the gate.
    for gate in cirq_example.single_qubit_gates():
        circuit = cirq.Circuit([cirq.H(a), cirq.CNOT(a, b), gate.on(a)])
        result = cirq_example.compare(circuit, [a, b])
        assert (result["checked"], result["wrong"]) == (2, 0), gate


def test_cirq_random_circuits_agree_with_the_clifford_simulator():
    cirq_example = load("cirq_circuit", "cirq")
    qubits = cirq_example.cirq.LineQubit.range(5)
    rng = random.Random(5)
    for _ in range(6):
        result = cirq_example.compare(cirq_example.random_circuit(rng, qubits, 60), qubits)
        assert (result["checked"], result["wrong"]) == (5, 0)


def test_cirq_check_catches_a_mistranslated_quarter_turn(monkeypatch):
    cirq_example = load("cirq_circuit", "cirq")
    monkeypatch.setitem(cirq_example.QUARTER_TURNS, ("Y", 1), ("x", "h"))  # the order reversed
    cirq_example.single_qubit_calls.cache_clear()
    cirq = cirq_example.cirq
    a, b = cirq.LineQubit.range(2)
    circuit = cirq.Circuit([cirq.H(a), cirq.CNOT(a, b), (cirq.Y**0.5).on(a)])
    try:
        assert cirq_example.compare(circuit, [a, b])["wrong"] > 0
    finally:
        cirq_example.single_qubit_calls.cache_clear()


def test_cirq_example_prints_agreement(capsys):
    load("cirq_circuit", "cirq").main(["--qubits", "4", "--gates", "30", "--circuits", "3",
                                       "--large", "12"])
    assert_all_checks_pass(capsys.readouterr().out, 2)


# graphix


@pytest.mark.parametrize("standardize", [False, True], ids=["as-transpiled", "standardized"])
def test_graphix_patterns_agree_with_the_statevector_back_end(standardize):
    mbqc = load("mbqc_pattern", "graphix")
    rng = random.Random(standardize)
    for _ in range(6):
        result = mbqc.compare(mbqc.random_pattern(rng, 3, 12, standardize))
        assert (result["checked"], result["wrong"]) == (8, 0)  # the whole group of 3 qubits


def test_graphix_check_catches_ignored_feed_forward(monkeypatch):
    mbqc = load("mbqc_pattern", "graphix")
    monkeypatch.setattr(mbqc.PatternRun, "parity", lambda self, domain: 0)
    rng = random.Random(0)
    assert sum(mbqc.compare(mbqc.random_pattern(rng, 3, 12, True))["wrong"] for _ in range(6)) > 0


def test_graphix_ghz_pattern_beyond_a_state_vector():
    nodes, checked, wrong, _ = load("mbqc_pattern", "graphix").check_ghz(400)
    assert nodes > 1000 and (checked, wrong) == (400, 0)


def test_graphix_example_prints_agreement(capsys):
    load("mbqc_pattern", "graphix").main(["--circuits", "3", "--qubits", "3", "--gates", "8",
                                          "--ghz", "50"])
    assert_all_checks_pass(capsys.readouterr().out, 3)
