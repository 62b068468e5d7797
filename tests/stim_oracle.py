"""Independent reference for simulator states, built on stim.

A state dump `(vops, adjacency)` stands for C(vop_0) ⊗ ... ⊗ C(vop_n-1) |G>: |+> on every
qubit, a CZ on every edge of G, then each qubit's vertex operator. Each of the 24 vertex
operators is written below as a product of H and S, read left to right with the rightmost
factor acting first, so it is replayed right to left.
"""

import stim

from gates import VOP_WORDS


def vop_tableau(vop):
    """The single-qubit Clifford of a vertex operator as a stim.Tableau."""
    t = stim.Tableau(1)
    for g in reversed(VOP_WORDS[vop]):
        t = t.then(stim.Tableau.from_named_gate(g))
    return t


def to_stim(dump):
    """A stim.TableauSimulator holding the state that `dump` describes."""
    vops, adjacency = dump
    n = len(vops)
    lines = []
    if n:
        lines.append("H " + " ".join(map(str, range(n))))
    edges = [(u, v) for u, nbrs in enumerate(adjacency) for v in nbrs if u < v]
    if edges:
        lines.append("CZ " + " ".join(f"{u} {v}" for u, v in edges))
    for q, vop in enumerate(vops):
        lines.extend(f"{g} {q}" for g in reversed(VOP_WORDS[vop]))
    sim = stim.TableauSimulator()
    sim.set_num_qubits(n)
    sim.do_circuit(stim.Circuit("\n".join(lines)))
    return sim


def canonical(sim):
    """Canonical stabilizer generators of a stim simulator, signs included."""
    return [str(p) for p in sim.canonical_stabilizers()]


def same_state(a, b):
    return a.num_qubits == b.num_qubits and canonical(a) == canonical(b)


def assert_same_state(got, want, context=""):
    g, w = canonical(got), canonical(want)
    assert g == w, f"{context}\n got stabilizers:  {g}\n want stabilizers: {w}"


def check_invariants(dump, n=None):
    """Assert the structural rules every stored graph keeps."""
    vops, adjacency = dump
    if n is not None:
        assert len(vops) == n, (len(vops), n)
    assert len(adjacency) == len(vops), (len(adjacency), len(vops))
    for q, vop in enumerate(vops):
        assert isinstance(vop, int) and 0 <= vop < 24, f"qubit {q}: vop {vop!r}"
    for q, nbrs in enumerate(adjacency):
        assert len(set(nbrs)) == len(nbrs), f"qubit {q}: duplicate neighbour in {nbrs}"
        for v in nbrs:
            assert isinstance(v, int) and 0 <= v < len(vops), f"qubit {q}: index {v!r}"
            assert v != q, f"qubit {q} lists itself"
            assert q in adjacency[v], f"edge {q}-{v} missing from {v}'s list {adjacency[v]}"
