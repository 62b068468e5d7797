"""Every entry of the controlled-Z lookup table, proven on explicit state vectors.

Qubits in Kronecker order (c, a, b, d): a and b are the two operands; c and d are
bystanders that become extra neighbours of an operand carrying a diagonal VOP, the
only case in which the engine looks an entry up for an operand with other neighbours.
"""

from functools import reduce

import numpy as np
import pytest

import _nodeweave_testing
from gates import VOP_WORDS as WORDS

H = np.array([[1, 1], [1, -1]]) / np.sqrt(2)
S = np.diag([1, 1j])
C = [reduce(np.matmul, [{"H": H, "S": S}[f] for f in w], np.eye(2)) for w in WORDS]
DIAGONAL = {0, 3, 5, 6}

BITS = (np.arange(16)[:, None] >> np.arange(3, -1, -1)) & 1  # BITS[index, qubit]
PLUS = np.full(16, 0.25)


def cz_phases(i, j):
    return (-1.0) ** (BITS[:, i] & BITS[:, j])


def state(edge, a, b, bystander_c, bystander_d):
    """C(a) on qubit 1, C(b) on qubit 2, applied to the graph state with the given edges."""
    graph = PLUS * cz_phases(1, 2) ** edge
    graph = graph * cz_phases(0, 1) ** bystander_c * cz_phases(2, 3) ** bystander_d
    return reduce(np.kron, [np.eye(2), C[a], C[b], np.eye(2)]) @ graph


@pytest.fixture(scope="module")
def lookup():
    table = np.array(_nodeweave_testing.tables()["CZ_LOOKUP"])
    assert table.shape == (2, 24, 24, 3)
    assert set(table[..., 0].flat) <= {0, 1}
    assert table[..., 1:].min() >= 0 and table[..., 1:].max() < 24
    return table


@pytest.mark.parametrize(
    "bystander_c, bystander_d", [(0, 0), (1, 0), (0, 1), (1, 1)],
    ids=["operands-alone", "first-has-neighbour", "second-has-neighbour", "both"])
def test_every_entry_applies_controlled_z(lookup, bystander_c, bystander_d):
    wrong = []
    for edge in (0, 1):
        for a in range(24):
            if bystander_c and a not in DIAGONAL:
                continue
            for b in range(24):
                if bystander_d and b not in DIAGONAL:
                    continue
                new_edge, new_a, new_b = (int(x) for x in lookup[edge, a, b])
                after_gate = cz_phases(1, 2) * state(edge, a, b, bystander_c, bystander_d)
                claimed = state(new_edge, new_a, new_b, bystander_c, bystander_d)
                if abs(abs(np.vdot(claimed, after_gate)) - 1) > 1e-9:
                    wrong.append(((edge, a, b), (new_edge, new_a, new_b)))
    assert not wrong, f"{len(wrong)} wrong entries, (edge, a, b) -> entry: {wrong[:10]}"


def test_worked_entries(lookup):
    # fresh |00>: nothing to do; |++>: the edge appears, and a second gate removes it
    assert tuple(lookup[0, 10, 10]) == (0, 10, 10)
    assert tuple(lookup[0, 0, 0]) == (1, 0, 0)
    assert tuple(lookup[1, 0, 0]) == (0, 0, 0)
    # the table is not symmetric: Y then identity and identity then Y land on different VOPs
    assert tuple(lookup[0, 2, 0]) == (1, 2, 3)
    assert tuple(lookup[0, 0, 2]) == (1, 0, 3)
