"""The benchmark workloads: each a program at a size, with the sizes a run measures.

A program is an untimed preparation and a timed part, each a list of segments (gate, qubits) or
(gate, (controls, targets)); the workloads i to k are stim circuits translated call by call
(circuits.py). build() makes the program of a workload at a size, the same one every time.
"""

from __future__ import annotations

import functools
import math
import random

import circuits
import fusion

SEED = 20240611

SINGLE = {"h", "s", "sdag", "x", "y", "z", "measure_x", "measure_y", "measure_z"}
TWO = {"cz", "cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"}


def lattice_edges(side):
    """cz segments of a side x side square lattice, qubit (r, c) = r * side + c."""
    n = side * side
    segments = [("cz", (range(r * side, r * side + side - 1), range(r * side + 1, r * side + side)))
                for r in range(side)]
    segments.append(("cz", (range(0, n - side), range(side, n))))
    return segments


def diagonal_pairs(side, rng):
    """Pairs (q, q + side + 1) of diagonal neighbours, not joined in the lattice, one per 4 x 4 block
    and in random order. Sparser pairs keep the degrees small: each reduction complements about a
    neighbour, and denser pairs let those complementations percolate into a dense graph."""
    pairs = [(r * side + c, r * side + c + side + 1)
             for r in range(0, side - 1, 4) for c in range(0, side - 1, 4)]
    rng.shuffle(pairs)
    return [a for a, _ in pairs], [b for _, b in pairs]


def w_single_gate(n, rng, calls):
    return 64, [], [("h", [i % 64 for i in range(calls)])]


def w_cz_pair(n, rng, calls):
    controls = [2 * (i % 32) for i in range(calls)]
    return 64, [("h", range(64))], [("cz", (controls, [c + 1 for c in controls]))]


def w_cz_small_degree(reduce):
    def build(n, rng, calls):
        side = n
        prep = [("h", range(side * side))] + lattice_edges(side)
        if reduce:  # every VOP becomes H, so each cz first reduces both operands' VOPs
            prep.append(("h", range(side * side)))
        return side * side, prep, [("cz", diagonal_pairs(side, rng))]
    return build


def w_cluster1d(n, rng):
    return n, [], [("h", range(n)), ("cz", (range(n - 1), range(1, n))), ("measure_x", range(n))]


def w_cluster2d(n, rng):
    side = max(2, math.isqrt(n))
    n = side * side
    timed = [("h", range(n))] + lattice_edges(side)
    for c in range(side):  # column by column, a checkerboard of Y and X measurements
        timed.append(("measure_y" if c % 2 == 0 else "measure_x", range(c, n, 2 * side)))
        timed.append(("measure_x" if c % 2 == 0 else "measure_y", range(c + side, n, 2 * side)))
    return n, [], timed


def w_ghz(n, rng):
    return n, [], [("h", range(1)), ("cx", (range(n - 1), range(1, n))), ("measure_z", range(n))]


def random_pairs(n, count, rng, reach):
    controls, targets = [], []
    for _ in range(count):
        a = rng.randrange(n - reach)
        controls.append(a)
        targets.append(a + rng.randint(1, reach))
    return controls, targets


def w_sparse(n, rng, layers=4):
    timed = [("h", range(n))]
    for _ in range(layers):
        timed.append(("s", sorted(rng.sample(range(n), n // 4))))
        timed.append(("h", sorted(rng.sample(range(n), n // 4))))
        timed.append(("cz", random_pairs(n, n // 4, rng, 3)))
        timed.append(("cx", random_pairs(n, n // 4, rng, 3)))
    timed += [("measure_z", range(0, n, 2)), ("measure_x", range(1, n, 2))]
    return n, [], timed


def dense_layers(n, rng, layers):
    """Layers of s and h on random halves and a random perfect matching, half cz and half cx."""
    segments = []
    for _ in range(layers):
        segments.append(("s", rng.sample(range(n), n // 2)))
        segments.append(("h", rng.sample(range(n), n // 2)))
        order = list(range(n))
        rng.shuffle(order)
        half = n // 4 * 2
        segments.append(("cz", (order[0:half:2], order[1:half:2])))
        segments.append(("cx", (order[half::2], order[half + 1::2])))
    return segments


def w_dense(n, rng, layers=20):
    timed = [("h", range(n))] + dense_layers(n, rng, layers)
    third = n // 3
    timed += [("measure_x", range(third)), ("measure_y", range(third, 2 * third)),
              ("measure_z", range(2 * third, n))]
    return n, [], timed


def w_dense_gates(n, rng, layers=20):
    """Gates only on a state made dense first: the preparation is the random dense circuit
    without its measurements."""
    prep = [("h", range(n))] + dense_layers(n, rng, 20)
    return n, prep, dense_layers(n, rng, layers)


def w_star(n, rng):
    return n, [("h", range(n))], [("cz", ([0] * (n - 1), range(1, n)))]


def w_ghz_chain(n, rng):
    return n, [("h", range(1))], [("cx", (range(n - 1), range(1, n)))]


def w_surface(d, rng):
    import stim
    program = circuits.translate(circuits.memory_circuit(stim, "surface_code:rotated_memory_z", d))
    return program.circuit.num_qubits, [], program


def w_color(d, rng):
    import stim
    program = circuits.translate(circuits.memory_circuit(stim, "color_code:memory_xyz", d))
    return program.circuit.num_qubits, [], program


def w_random_circuit(n, rng):
    import stim
    return n, [], circuits.translate(circuits.random_cnot_h_s(stim, n, 10 * n, rng))


# (key, label, builder, per_call, sizes key); {size} in a label is the size (a code's distance)
WORKLOADS = [
    ("a", "single-qubit gate h, isolated qubit", w_single_gate, True, "calls"),
    ("a", "cz on an isolated pair", w_cz_pair, True, "calls"),
    ("a", "cz, lattice diagonal, VOPs identity", w_cz_small_degree(False), True, "side"),
    ("a", "cz, lattice diagonal, VOPs H (reduced)", w_cz_small_degree(True), True, "side"),
    ("b", "1D cluster: h, cz chain, measure_x", w_cluster1d, False, "scale"),
    ("c", "2D cluster, X/Y checkerboard", w_cluster2d, False, "scale"),
    ("d", "GHZ: cx chain, measure_z", w_ghz, False, "scale"),
    ("e", "random sparse, 4 layers, reach 3", w_sparse, False, "scale"),
    ("f", "random dense, 20 layers", w_dense, False, "dense"),
    ("g", "star by cz from a hub (per cz)", w_star, False, "hub"),
    ("g", "GHZ build by cx chain (per cx)", w_ghz_chain, False, "hub"),
    ("h", "dense state, gates only, 20 layers", w_dense_gates, False, "gates"),
    ("i", "surface-code memory circuit, d = {size}", w_surface, False, "surface"),
    ("j", "color-code memory circuit, d = {size}", w_color, False, "color"),
    ("k", "random CNOT/H/S circuit, 10n gates, M all", w_random_circuit, False, "random"),
    ("l", "fusion network of 5-qubit stars, p_s = 0.5", fusion.w_fusion_threshold, False, "scale"),
    ("l", "fusion network of 5-qubit stars, p_s = 1.0", fusion.w_fusion_certain, False, "scale"),
    ("l", "GHZ by fusion: chain of 10-qubit GHZ states", fusion.w_ghz_fusion_chain, False, "scale"),
    ("l", "GHZ by fusion: repeater tree of GHZ states", fusion.w_ghz_repeater, False, "scale"),
]
DISTANCES = {"surface", "color"}  # sizes that are a code's distance, not a number of qubits

WORKLOAD_NOTES = """
- a. Per-call costs. `h` on 64 isolated qubits in turn; `cz` on 32 isolated pairs in turn (each pair
  alternately gains and loses its edge); `cz` between diagonal neighbours (q, q + side + 1) of a
  100 x 100 cluster state, one pair per 4 x 4 block in random order, with every VOP the identity
  (no reduction) or H (both operands reduced first; degrees stay at most about 9).
- b. 1D cluster: `h` on every qubit, `cz(q, q + 1)` for every q, `measure_x` on every qubit.
- c. 2D cluster on a side x side lattice (side = isqrt(n)): `h`, the lattice's `cz`s row by row, then
  column by column a checkerboard of `measure_y` / `measure_x`.
- d. GHZ: `h(0)`, `cx(q, q + 1)` for every q, `measure_z` on every qubit.
- e. Random sparse: `h` on all, then 4 layers of `s` and `h` on random quarters of the qubits and
  n/4 `cz` and n/4 `cx` between q and q + 1..3 (random q), then `measure_z` / `measure_x` alternately.
- b to e run at n = 1e3 to 1e6 (the 2D cluster at sides 31, 100, 316 and 1000).
- f. Random dense: `h` on all, then 20 layers of `s` and `h` on random halves and a random perfect
  matching (half `cz`, half `cx`), then thirds measured in X, Y and Z; n = 100, 300, 2000.
- g. Star: `h` on all (untimed), then `cz(0, q)` for every q. GHZ build: `h(0)` (untimed), then
  `cx(q, q + 1)` for every q, no measurement; n = 1e2 to 1e6.
- h. Dense state, gates only: the preparation (untimed) is f without its measurements (`h` on all,
  20 layers), which leaves a dense graph; the timed part is 20 further layers of the same gates
  (`s`, `h` on random halves, a random perfect matching of `cz` and `cx`), no measurement;
  n = 300, 1000.
- i to k are circuits in stim's format, translated call by call: each target of an instruction becomes
  one method call (`H` -> `h`, `CX` -> `cx`, `M` -> `measure_z`, `MX` -> `measure_x`, `MY` ->
  `measure_y`, `C_XYZ` -> `sdag` then `h`); a reset `R` is `measure_z` followed by `x` when the
  outcome is MinusOne (`RX`: `measure_x`, then `z`), and `MR` the same with its outcome recorded.
  TICK, DETECTOR, OBSERVABLE_INCLUDE and coordinates cost nothing; REPEAT blocks are unrolled. The
  recorded outcomes are kept in a Python list. `stim circuit` runs the circuit itself.
- i. Surface-code memory: stim's `surface_code:rotated_memory_z` circuit without noise, d rounds of
  stabilizer measurements (2d² − 1 qubits; n is stim's qubit count, which includes unused indices);
  d = 15, 25, 49, 75.
- j. Color-code memory: stim's `color_code:memory_xyz` circuit without noise, d rounds; d = 25.
- k. Random circuit: 10n gates, each a `cx` on two distinct random qubits (probability 0.6), an `h`
  (0.2) or an `s` (0.2) on a random qubit, then `measure_z` on every qubit; n = 1000.
- l. Fusion (fusion.py): side x side 5-qubit stars (side = round(sqrt(n / 5)); `h` on all and `cz`
  from each centre to its four arms, untimed), then row by row each neighbouring pair of arms fused:
  with probability p_s `cx(a, b)`, `h(a)`, `measure_z(a)`, `measure_z(b)`, otherwise the two
  `measure_z` only; p_s = 0.5 is the percolation threshold. GHZ by fusion: n / 10 GHZ states of 10
  qubits (untimed) fused end to end in a line; and n / 16 GHZ states merged pairwise in rounds
  (a repeater tree), every fusion successful.
- After each run of i to k, every detector and observable of the circuit is checked over the recorded
  outcomes: its parity must be the one of stim's noiseless reference sample.
"""



def calls_in(program):
    """Method calls of a program; a resetting measurement counts once (its corrections vary)."""
    return sum(min(map(len, arguments)) if gate in TWO else len(arguments)
               for gate, arguments in program)


@functools.lru_cache(maxsize=2)
def build(index, size):
    """The program of workload WORKLOADS[index] at this size: (n, preparation, timed part)."""
    per_call, builder = WORKLOADS[index][3], WORKLOADS[index][2]
    rng = random.Random(SEED + index)
    return builder(size, rng, size) if per_call else builder(size, rng)


def default_sizes(quick):
    """The sizes of each sizes key of WORKLOADS: the full run's, or tiny ones for --quick."""
    return {
        "calls": [2000 if quick else 1 << 17],
        "side": [8 if quick else 100],
        "scale": [100, 300] if quick else [10**3, 10**4, 10**5, 10**6],
        "dense": [16] if quick else [100, 300, 2000],
        "gates": [16] if quick else [300, 1000],
        "hub": [20, 50] if quick else [10**2, 10**3, 10**4, 10**5, 10**6],
        "surface": [3] if quick else [15, 25, 49, 75],
        "color": [3] if quick else [25],
        "random": [16] if quick else [1000],
    }
