"""Fusion workloads, as programs in run.py's format: (n, preparation, timed part), each part a list
of segments (gate, qubits) or (gate, (controls, targets)).

A fusion is a Bell measurement of two qubits a, b: `cx(a, b)`, `h(a)`, `measure_z(a)`,
`measure_z(b)` when it succeeds, only the two `measure_z` when it fails. The fusions of one round act
on disjoint qubits, so a round is written as one segment per gate: the order among disjoint pairs
does not change the state.
"""

from __future__ import annotations

CENTRE, LEFT, RIGHT, UP, DOWN = range(5)


def star_sites(side):
    """Preparation of side x side 5-qubit stars, site (r, c) holding qubits 5 (r side + c) + k, k the
    centre and its four arms (left, right, up, down)."""
    n = 5 * side * side
    centres = range(0, n, 5)
    prep = [("h", range(n))]
    for arm in (LEFT, RIGHT, UP, DOWN):
        prep.append(("cz", (centres, range(arm, n, 5))))
    return n, prep


def fusion_round(pairs, succeeds):
    """Segments of one round of fusions over disjoint pairs; succeeds(pair) draws its success."""
    good = [pair for pair in pairs if succeeds(pair)]
    measured = [q for pair in pairs for q in pair]
    return [("cx", ([a for a, _ in good], [b for _, b in good])), ("h", [a for a, _ in good]),
            ("measure_z", measured)]


def fusion_pairs(side):
    """The fusion rounds of the lattice, row by row: the row's horizontal pairs (right arm of (r, c),
    left arm of (r, c + 1)), then its vertical pairs with the row below (down arm, up arm)."""
    def q(r, c, arm):
        return 5 * (r * side + c) + arm
    rounds = []
    for r in range(side):
        rounds.append([(q(r, c, RIGHT), q(r, c + 1, LEFT)) for c in range(side - 1)])
        if r + 1 < side:
            rounds.append([(q(r, c, DOWN), q(r + 1, c, UP)) for c in range(side)])
    return rounds


def fusion_network(side, p_success, rng):
    """Stars on a side x side lattice fused with every neighbour; each fusion succeeds with
    probability p_success (drawn from rng). Returns the program and the list of successful pairs."""
    n, prep = star_sites(side)
    timed, successes = [], []

    def succeeds(pair):
        if rng.random() < p_success:
            successes.append(pair)
            return True
        return False

    for pairs in fusion_pairs(side):
        timed += fusion_round(pairs, succeeds)
    return (n, prep, timed), successes


def ghz_states(count, size):
    """Preparation of count GHZ states of size qubits each (qubits size i .. size i + size - 1): h on
    the first, a cx chain along the rest."""
    n = count * size
    firsts = range(0, n, size)
    prep = [("h", firsts)]
    for k in range(1, size):
        prep.append(("cx", (range(k - 1, n, size), range(k, n, size))))
    return n, prep


def ghz_fusion_chain(count, size):
    """count GHZ states fused in a line: the last qubit of each with the first of the next, every
    fusion successful, in order along the line. What is left is one GHZ state."""
    n, prep = ghz_states(count, size)
    timed = []
    for i in range(count - 1):
        timed += fusion_round([(size * i + size - 1, size * (i + 1))], lambda pair: True)
    return n, prep, timed


def ghz_repeater(count, size):
    """A repeater tree: count GHZ states (size >= 2 * log2(count) + 1) merged pairwise in rounds, each
    merge fusing one spare qubit of either state, every fusion successful. The first round fuses
    states 2i and 2i + 1, the next the merged pairs, and so on; each round uses the next two
    qubits of each state."""
    n, prep = ghz_states(count, size)
    timed, step, level = [], 1, 0
    while step < count:
        pairs = [(size * i + 1 + 2 * level, size * (i + step) + 2 + 2 * level)
                 for i in range(0, count - step, 2 * step)]
        timed += fusion_round(pairs, lambda pair: True)
        step, level = 2 * step, level + 1
    return n, prep, timed


def side_for(qubits):
    """The side of the fusion lattice with about this many qubits."""
    return max(2, round((qubits / 5) ** 0.5))


# ---- builders for run.py's workload list: builder(n, rng) -> (qubits, preparation, timed part) ----


def w_fusion_network(p_success):
    def build(n, rng):
        program, _ = fusion_network(side_for(n), p_success, rng)
        return program
    build.__name__ = f"w_fusion_network_{p_success}"
    return build


w_fusion_threshold, w_fusion_certain = w_fusion_network(0.5), w_fusion_network(1.0)


def w_ghz_fusion_chain(n, rng):
    """10-qubit GHZ states fused in a line into one."""
    return ghz_fusion_chain(max(2, n // 10), 10)


def w_ghz_repeater(n, rng):
    """About n qubits in GHZ states of 2 log2(n) + 1 qubits (room for every round's fusions), merged
    pairwise in rounds."""
    size = 2 * n.bit_length() + 1
    return ghz_repeater(max(2, n // size), size)
