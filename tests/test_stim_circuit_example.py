"""examples/stim_circuit.py: stim circuits driven through nodeweave, their detectors checked
against stim's reference sample."""

import importlib.util
import random
import sys
from pathlib import Path

import pytest

stim = pytest.importorskip("stim")

PATH = Path(__file__).resolve().parent.parent / "examples" / "stim_circuit.py"
spec = importlib.util.spec_from_file_location("example_stim_circuit", PATH)
example = importlib.util.module_from_spec(spec)
spec.loader.exec_module(example)


@pytest.mark.parametrize("code", ["surface_code:rotated_memory_z", "surface_code:rotated_memory_x",
                                  "surface_code:unrotated_memory_x", "repetition_code:memory",
                                  "color_code:memory_xyz"])
def test_noiseless_memory_experiments_keep_every_detector_and_observable(code):
    circuit = stim.Circuit.generated(code, distance=3, rounds=3,
                                     after_clifford_depolarization=0.01).without_noise()
    run = example.run_circuit(circuit)
    assert len(run.record) == circuit.num_measurements
    assert run.detectors == [0] * circuit.num_detectors
    assert run.observables == [0] * circuit.num_observables


def test_errors_in_the_circuit_show_in_the_detectors_and_the_observable():
    circuit = stim.Circuit.generated("surface_code:rotated_memory_z", distance=3, rounds=3)
    reference = [int(bit) for bit in circuit.reference_sample()]
    final = [item for item in circuit if getattr(item, "name", None) == "M"][-1]
    data = [target.value for target in final.targets_copy()]  # the data qubits, read out at the end
    middle = [i for i, item in enumerate(circuit) if isinstance(item, stim.CircuitRepeatBlock)][0]

    def with_x(qubits):
        error = stim.Circuit(f"X {' '.join(map(str, qubits))}")
        return example.run_circuit(circuit[:middle] + error + circuit[middle:], reference=reference)

    assert sum(with_x(data[:1]).detectors) > 0  # one flipped data qubit
    logical = with_x(data)  # X on every data qubit: a logical X, invisible to the stabilizers
    assert logical.detectors == [0] * circuit.num_detectors and logical.observables == [1]


def random_clifford(rng, qubits, gates):
    lines = []
    for _ in range(12):
        name = rng.choice(gates)
        if name in example.TWO_QUBIT:
            a, b = rng.sample(range(qubits), 2)
            lines.append(f"{name} {a} {b}")
        else:
            lines.append(f"{name} {rng.randrange(qubits)}")
    return stim.Circuit("\n".join(lines))


@pytest.mark.parametrize("gate", sorted(example.SINGLE_QUBIT) + sorted(example.TWO_QUBIT))
def test_each_gate_undone_by_stims_inverse_returns_to_zero(gate):
    # U, then the gate, then the inverse of both as stim writes it: |000> again, so every Z
    # measurement gives 0, whatever random entangling U came first. A gate translated wrongly,
    # even by a Pauli, leaves a flip that some U turns into a Z outcome of 1.
    rng = random.Random(gate)
    gates = ["H", "S", "CX"]  # the preparation uses only these, so that a failure names its gate
    operands = "0 1" if gate in example.TWO_QUBIT else "1"
    for _ in range(12):
        forward = random_clifford(rng, 3, gates) + stim.Circuit(f"{gate} {operands}")
        circuit = forward + forward.inverse() + stim.Circuit(
            "M 0 1 2\nDETECTOR rec[-1]\nDETECTOR rec[-2]\nDETECTOR rec[-3]")
        run = example.run_circuit(circuit)
        assert run.record == [0, 0, 0], str(circuit)


def test_measurements_and_resets_in_every_basis_inside_a_repeat_block():
    # Each reset follows a state whose outcome in its basis is random, so about half the resets
    # must flip; the measurement after it is then certain. `!` inverts a recorded bit.
    circuit = stim.Circuit("""
        REPEAT 16 {
            H 0
            MR 0
            M 0
            RX 1
            S 1
            MRX 1
            MX 1
            MRY 2
            MY !2
            H 3
            R 3
            M 3
            RY 4
            MY 4
            RX 4
            MX 4
            TICK
            DETECTOR(1, 2) rec[-1]
            DETECTOR rec[-2]
            DETECTOR rec[-3]
            DETECTOR rec[-4]
            DETECTOR rec[-6]
            DETECTOR rec[-8]
            SHIFT_COORDS(0, 1)
        }
    """)
    run = example.run_circuit(circuit)
    assert len(run.record) == 16 * 9 and run.detectors == [0] * (16 * 6)
    assert run.record[5::9] == [1] * 16  # MY !2 of the +i state reset by MRY
    resets = run.record[0::9] + run.record[2::9] + run.record[4::9]  # MR, MRX, MRY: random
    assert 8 < sum(resets) < 40


@pytest.mark.parametrize("text, message", [
    ("X_ERROR(0.1) 0", "X_ERROR is a noise channel: strip the noise first"),
    ("M(0.1) 0", "M with a flip probability is noisy"),
    ("ISWAP 0 1", "ISWAP is not supported: the gates are"),
    ("MPP X0*X1", "MPP is not supported"),
    ("M 0\nCX rec[-1] 1", "classically controlled gates are not supported"),
])
def test_what_cannot_be_run_is_refused_by_name(text, message):
    with pytest.raises(ValueError, match=message):
        example.run_circuit(stim.Circuit(text), reference=[0])


def test_the_demonstration_prints_a_clean_distance_5_memory_experiment(capsys):
    example.main([])
    out = capsys.readouterr().out
    assert "distance 5, 5 rounds: " in out
    assert "detectors: 120, of which 1: 0" in out and "observables: 1, of which 1: 0" in out
