#pragma once
// A stabilizer tableau: the second form in which a dense entangled component can be held.
//
// In graph form a gate on a dense component pays for a complementation or pivot, d rows of bits
// for a vertex of degree d. A tableau pays a few word-wide operations over its m generators: each
// qubit is a column, and a column's x bits, z bits (over all generators) are whole words, as are
// the generators' signs. A generator's Pauli at a qubit is I, X, Z or Y for (x, z) = (0, 0),
// (1, 0), (0, 1), (1, 1); its sign bit is 1 for -1.
//
// The tableau stands for the state |psi> that its generators stabilise, below the qubits' VOPs,
// just as |G> does in graph form. Generator k was made together with column k (a new qubit enters
// as the graph state's generator X_k Z_N(k)), and a component leaves this form as a whole, so
// there are always as many generators as columns.

#include <cstdint>
#include <vector>

#include "clifford/tables.h"
#include "engine/core/bits.h"
#include "engine/core/index.h"

namespace nodeweave {

struct Tableau {
    Tableau() = default;
    // A copy keeps the room that appending qubits needs.
    Tableau(const Tableau& other)
        : qubits(other.qubits), words(other.words), room(other.room), xs(other.xs), zs(other.zs),
          signs(other.signs), gates(other.gates) {
        slot_at.reserve(other.room);
        slot_at = other.slot_at;
    }
    Tableau(Tableau&&) noexcept = default;
    Tableau& operator=(Tableau&&) noexcept = default;
    Tableau& operator=(const Tableau&) = delete;

    std::uint32_t qubits = 0;   // columns, and generators
    std::uint32_t words = 0;    // per column: room for 64 * words generators
    std::uint32_t room = 0;     // columns allocated
    std::vector<row_word> xs;   // column c at [c * words, (c + 1) * words)
    std::vector<row_word> zs;
    std::vector<row_word> signs;
    std::vector<Slot> slot_at;  // column -> slot
    std::uint64_t gates = 0;    // controlled-Zs applied since the tableau was made
    // The entangled group of each column (a label per column) as last worked out, valid while
    // `groups_known`: entangled-group queries read the state without changing it, and every change
    // of the tableau clears the flag. (Queries run under the interpreter lock, one at a time.)
    mutable std::vector<std::uint32_t> group_of;
    mutable bool groups_known = false;

    row_word* x(std::uint32_t c) noexcept { return xs.data() + std::size_t{c} * words; }
    row_word* z(std::uint32_t c) noexcept { return zs.data() + std::size_t{c} * words; }
    const row_word* x(std::uint32_t c) const noexcept { return xs.data() + std::size_t{c} * words; }
    const row_word* z(std::uint32_t c) const noexcept { return zs.data() + std::size_t{c} * words; }

    // Room for `wanted` qubits in all; all or nothing. Throws std::bad_alloc.
    void reserve(std::uint32_t wanted);

    // A new qubit in slot s, in |+> (generator X on its own column); room has been reserved.
    // Returns its column.
    std::uint32_t append(Slot s) noexcept;
    // For qubits a and b appended as parts of one graph state: the edge a-b, which puts Z_b in
    // generator a and Z_a in generator b.
    void add_graph_edge(std::uint32_t a, std::uint32_t b) noexcept {
        groups_known = false;
        flip_bit(z(b), a);
        flip_bit(z(a), b);
    }
    // Appends all of `other`'s qubits and generators (a product state of the two); room has been
    // reserved.
    void append_tableau(const Tableau& other) noexcept;

    // |psi> <- v |psi> on column c: every generator is conjugated by v there.
    void apply(std::uint32_t c, vop_t v) noexcept;
    // |psi> <- CZ_ab |psi>.
    void cz(std::uint32_t a, std::uint32_t b) noexcept;
};

// The graph form of a tableau's state: |psi> = (local_0 ⊗ ... ⊗ local_m-1) |Gamma>, with the
// adjacency of Gamma as m rows of `words` words, over the tableau's columns.
struct GraphForm {
    std::uint32_t qubits = 0;
    std::uint32_t words = 0;
    std::vector<row_word> adjacency;
    std::vector<vop_t> local;

    const row_word* row(std::uint32_t c) const noexcept { return adjacency.data() + std::size_t{c} * words; }
};

// Brings the generators into graph-state form by Gaussian elimination, O(m^3 / 64) word
// operations. Throws std::bad_alloc; the tableau is only read.
GraphForm graph_form(const Tableau& tableau);

}  // namespace nodeweave
