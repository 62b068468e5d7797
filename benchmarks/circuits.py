"""Circuits from stim turned into benchmark programs: one nodeweave call per instruction target.

A program is a list of segments (op, qubits) or (op, (controls, targets)). Besides the method names
of nodeweave, a circuit program uses two kinds of recorded measurement:

  m_x, m_y, m_z     measure in that basis and record the outcome;
  mr_x, mr_y, mr_z  measure, record the outcome, and on MinusOne apply the Pauli that flips it
                    back (x after a Z measurement, z after an X or Y one): the qubit is left in
                    the +1 eigenstate. A reset is this with its outcome kept out of the circuit's
                    measurement record.

Noise is stripped, REPEAT blocks are flattened, and annotations (TICK, coordinates, detectors,
observables) cost nothing; the detectors and observables are kept to check the outcomes.
"""

from __future__ import annotations

RECORDED = {"m_x": "measure_x", "m_y": "measure_y", "m_z": "measure_z"}
RESETTING = {"mr_x": ("measure_x", "z"), "mr_y": ("measure_y", "z"), "mr_z": ("measure_z", "x")}

# stim instruction -> (op, whether its outcomes enter the measurement record)
MEASUREMENTS = {"M": ("m_z", True), "MX": ("m_x", True), "MY": ("m_y", True),
                "MR": ("mr_z", True), "MRX": ("mr_x", True), "MRY": ("mr_y", True),
                "R": ("mr_z", False), "RX": ("mr_x", False), "RY": ("mr_y", False)}
# stim instruction -> nodeweave calls on each target, in order (C_XYZ maps X to Y to Z to X)
SINGLE_QUBIT = {"H": ["h"], "S": ["s"], "S_DAG": ["sdag"], "X": ["x"], "Y": ["y"], "Z": ["z"],
                "C_XYZ": ["sdag", "h"], "C_ZYX": ["h", "s"], "I": []}
TWO_QUBIT = {"CX": "cx", "CY": "cy", "CZ": "cz", "XCX": "xcx", "XCY": "xcy", "XCZ": "xcz",
             "YCX": "ycx", "YCY": "ycy", "YCZ": "ycz"}
ANNOTATIONS = {"TICK", "QUBIT_COORDS", "SHIFT_COORDS", "DETECTOR", "OBSERVABLE_INCLUDE"}


class CircuitProgram(list):
    """The segments of a translated circuit, with the circuit itself (for stim's do_circuit) and what
    is needed to check a run's outcomes against it."""

    def __init__(self, circuit):  # circuit: noiseless
        super().__init__()
        self.circuit = circuit
        self.outcomes = 0         # outcomes a run appends (resets included)
        self.record = []          # position in a run's outcomes of each measurement record entry
        self.parities = []        # record indices of each detector, then of each observable
        self.detectors = 0
        self._expected = None

    def expected(self):
        """Each parity's value in stim's noiseless reference sample (deterministic by definition)."""
        if self._expected is None:
            reference = self.circuit.reference_sample()
            self._expected = [sum(bool(reference[i]) for i in indices) % 2 for indices in self.parities]
        return self._expected

    def mismatches(self, outcomes):
        """Detectors and observables whose parity over this run's recorded outcomes (int() of each
        outcome: 1 for MinusOne or True) differs from stim's reference."""
        bits = [int(outcomes[position]) for position in self.record]
        return sum(sum(bits[i] for i in indices) % 2 != want
                   for indices, want in zip(self.parities, self.expected()))


def translate(circuit):
    """The program of a stim circuit, noise stripped and loops flattened."""
    circuit = circuit.without_noise()
    program = CircuitProgram(circuit)
    observables = {}
    for instruction in circuit.flattened():
        name, targets = instruction.name, instruction.targets_copy()
        if name in ANNOTATIONS:
            if name == "DETECTOR":
                program.parities.append(record_indices(program, targets))
            elif name == "OBSERVABLE_INCLUDE":
                index = int(instruction.gate_args_copy()[0])
                observables.setdefault(index, []).extend(record_indices(program, targets))
            continue
        if any(not t.is_qubit_target or t.is_inverted_result_target for t in targets):
            raise ValueError(f"{name}: only plain qubit targets are translated: {instruction}")
        qubits = [t.value for t in targets]
        if name in MEASUREMENTS:
            op, recorded = MEASUREMENTS[name]
            if recorded:
                program.record += range(program.outcomes, program.outcomes + len(qubits))
            program.outcomes += len(qubits)
            program.append((op, qubits))
        elif name in TWO_QUBIT:
            program.append((TWO_QUBIT[name], (qubits[0::2], qubits[1::2])))
        elif name in SINGLE_QUBIT:
            program += single_qubit_segments(SINGLE_QUBIT[name], qubits)
        else:
            raise ValueError(f"{name}: no translation to nodeweave calls")
    program.detectors = len(program.parities)
    program.parities += [observables[k] for k in sorted(observables)]
    return program


def single_qubit_segments(calls, qubits):
    """Segments applying calls to each qubit in turn. Distinct qubits commute, so a gate of several
    calls becomes one segment per call; a repeated qubit keeps the exact order target by target."""
    if len(set(qubits)) == len(qubits):
        return [(call, qubits) for call in calls]
    return [(call, [q]) for q in qubits for call in calls]


def record_indices(program, targets):
    """Absolute measurement record indices of rec[-k] targets at this point of the circuit."""
    count = len(program.record)
    return [count + t.value for t in targets]


def memory_circuit(stim, task, distance):
    """stim's generated memory experiment, noiseless, with as many rounds as the distance."""
    return stim.Circuit.generated(task, distance=distance, rounds=distance)


def random_cnot_h_s(stim, n, gates, rng):
    """gates random gates on n qubits (CX on two distinct qubits with probability 0.6, H 0.2, S
    0.2), then M on every qubit."""
    circuit = stim.Circuit()
    for _ in range(gates):
        draw = rng.random()
        if draw < 0.6:
            circuit.append("CX", rng.sample(range(n), 2))
        else:
            circuit.append("H" if draw < 0.8 else "S", [rng.randrange(n)])
    circuit.append("M", range(n))
    return circuit
