"""The constant tables on the 24 vertex operators, proven by 2x2 matrix arithmetic.

Every operator is built from its product of H and S alone; every table is then
derived from those matrices and compared entry by entry with the compiled one.
"""

from functools import reduce

import numpy as np
import pytest

import _nodeweave_testing
from gates import VOP_WORDS as WORDS

H = np.array([[1, 1], [1, -1]]) / np.sqrt(2)
S = np.diag([1, 1j])
C = np.array([reduce(np.matmul, [{"H": H, "S": S}[f] for f in w], np.eye(2)) for w in WORDS])
PAULI = np.array([[[0, 1], [1, 0]], [[0, -1j], [1j, 0]], [[1, 0], [0, -1]]])
R = np.sqrt(0.5)


def same_up_to_phase(m, n):
    # both unitary: |tr(m^dagger n)| = 2 exactly when n = phase * m
    return abs(abs(np.vdot(m, n)) - 2) < 1e-9


def vop_of(m):
    found = [v for v in range(24) if same_up_to_phase(C[v], m)]
    assert len(found) == 1, f"matrix {m} matches VOPs {found}"
    return found[0]


def pauli_image(w, a):
    """(axis b, sign flag) with w sigma_a w^dagger = (-1)^flag sigma_b."""
    img = C[w] @ PAULI[a] @ C[w].conj().T
    hits = [(b, f) for b in range(3) for f in (0, 1) if np.allclose(img, (-1) ** f * PAULI[b])]
    assert len(hits) == 1, f"VOP {w} maps axis {a} to a non-Pauli"
    return hits[0]


@pytest.fixture(scope="module")
def tables():
    return _nodeweave_testing.tables()


def test_the_24_operators_are_distinct_up_to_phase():
    assert [vop_of(C[v]) for v in range(24)] == list(range(24))


@pytest.mark.parametrize("vop, matrix", [
    (0, [[1, 0], [0, 1]]), (1, [[0, 1], [1, 0]]), (2, [[0, -1j], [1j, 0]]),
    (3, [[1, 0], [0, -1]]), (5, [[1, 0], [0, -1j]]), (6, [[1, 0], [0, 1j]]),
    (9, [[R, -R], [R, R]]), (10, [[R, R], [R, -R]]), (11, [[R, R], [-R, R]]),
    (14, [[R, 1j * R], [1j * R, R]]), (15, [[R, -1j * R], [-1j * R, R]]),
])
def test_named_operators(vop, matrix):
    assert same_up_to_phase(C[vop], np.array(matrix))


def test_product_table_is_matrix_product(tables):
    expected = [[vop_of(C[a] @ C[b]) for b in range(24)] for a in range(24)]
    wrong = [(a, b, tables["VOP_PRODUCT"][a][b], expected[a][b])
             for a in range(24) for b in range(24) if tables["VOP_PRODUCT"][a][b] != expected[a][b]]
    assert not wrong, f"(a, b, got, expected): {wrong[:10]}"


def test_product_table_is_a_group(tables):
    p = np.array(tables["VOP_PRODUCT"])
    assert p.shape == (24, 24)
    assert (p[0] == np.arange(24)).all() and (p[:, 0] == np.arange(24)).all()
    assert all(sorted(row) == list(range(24)) for row in p)
    assert all(sorted(col) == list(range(24)) for col in p.T)
    # (a*b)*c == a*(b*c) for all 13,824 triples: both sides indexed [a, b, c]
    assert (p[p, :] == p[:, p]).all()


def test_adjoint_is_matrix_inverse(tables):
    assert tables["VOP_ADJOINT"] == [vop_of(C[v].conj().T) for v in range(24)]
    p = tables["VOP_PRODUCT"]
    assert all(p[v][w] == 0 == p[w][v] for v, w in enumerate(tables["VOP_ADJOINT"]))


def test_conjugated_axis_and_sign(tables):
    images = [[pauli_image(w, a) for w in range(24)] for a in range(3)]
    assert tables["CONJUGATED_AXIS"] == [[b for b, _ in row] for row in images]
    assert tables["CONJUGATED_SIGN"] == [[f for _, f in row] for row in images]


def test_x_preimage_axis(tables):
    expected = [next(a for a in range(3) if pauli_image(w, a)[0] == 0) for w in range(24)]
    assert tables["X_PREIMAGE_AXIS"] == expected


def test_reduction_words_bring_every_vop_to_identity(tables):
    factor = {0: C[14], 1: C[6]}  # about the vertex itself: sqrt(iX); about its partner: S
    words = tables["REDUCTION_WORDS"]
    assert len(words) == 24
    for v, word in enumerate(words):
        assert 1 <= len(word) <= 5 and set(word) <= {0, 1}, (v, word)
        product = reduce(np.matmul, [factor[s] for s in word], C[v])
        assert same_up_to_phase(product, np.eye(2)), f"VOP {v}, word {word}"


def test_index_is_base_times_pauli(tables):
    # v = 4k + p is B_k (VOP 4k) applied after the Pauli p
    for k in range(6):
        for p in range(4):
            assert vop_of(C[4 * k] @ C[p]) == 4 * k + p
            assert tables["VOP_PRODUCT"][4 * k][p] == 4 * k + p


def test_diagonal_vops_are_those_fixing_z(tables):
    fixing_z = [v for v in range(24) if pauli_image(v, 2) == (2, 0)]
    assert fixing_z == [0, 3, 5, 6]
    assert all(np.allclose(C[v], np.diag(np.diag(C[v]))) for v in fixing_z)
    from_tables = [v for v in range(24)
                   if tables["CONJUGATED_AXIS"][2][v] == 2 and tables["CONJUGATED_SIGN"][2][v] == 0]
    assert from_tables == fixing_z
