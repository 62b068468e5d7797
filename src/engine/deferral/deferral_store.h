#pragma once
// Controlled Paulis held back from the graph ("deferrals").
//
// A deferral stands for the gate C_c(R) = |0><0|_c ⊗ I + |1><1|_c ⊗ R, where the control c is a
// qubit whose bare vertex is |+> with no edges (its VOP still acts on top) and R = i^turns times a
// product of Paulis on other qubits, each given as seen from outside those qubits' VOPs. With
// deferrals d_1 ... d_k, newest first, the state is
//
//     V_controls · CZ_links · C_d1(R_1) ... C_dk(R_k) · (|+> on the controls ⊗ the graph state),
//
// where CZ_links are controlled-Zs between pairs of controls (a deferral's `linked` list). A gate
// on a control's operand joins its R; a gate on the other qubits passes every deferral by
// conjugating its R. An error-correction ancilla thus collects its stabiliser without the graph
// changing, and when it is measured a check of the stabiliser against the graph, reading edges
// only, usually finds the outcome certain and the ancilla unentangled.
//
// Invariants (engine/check/): a control has no edges, is in no block or tableau, and is in no
// deferral's R; R's qubits are distinct and are not controls; a qubit's touch list (threaded
// through `touch_links`) holds exactly the deferrals with a term on it, one entry each, and that
// entry holds the term's Pauli; links are symmetric.

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "clifford/tables.h"
#include "engine/policy/adaptive.h"
#include "engine/core/bits.h"
#include "engine/core/index.h"
#include "engine/deferral/pauli.h"

namespace nodeweave {

struct DeferredTerm {
    std::uint32_t qubit;
    std::uint32_t link;  // the term's entry in the qubit's touch list, which holds its Pauli
};

struct Deferral {
    static constexpr std::uint32_t NO_CONTROL = UINT32_MAX;
    std::uint32_t control = NO_CONTROL;  // NO_CONTROL: the id is free
    std::int64_t order = 0;              // larger: applied later (further left above)
    unsigned turns = 0;                  // R's phase is i^turns times that of its touch entries
    std::vector<DeferredTerm> terms;
    std::vector<std::uint32_t> linked;   // ids of the deferrals joined to this one by a CZ
};

// One entry of a qubit's list of the deferrals that hold a term on it, with the term itself: a
// gate on the qubit conjugates every term there without reaching the deferrals' records.
struct TouchLink {
    std::uint32_t id;
    std::uint32_t next;
    PauliBits pauli{};         // never the identity while in a list
    std::uint8_t turns = 0;    // the phase the term's conjugations left, i^turns (mod 4)
};

struct Deferrals {
    static constexpr std::uint32_t NONE = UINT32_MAX;
    std::vector<Deferral> by_id;
    std::vector<std::uint32_t> free_ids;     // room for every id, so that freeing never allocates
    // By qubit, sized at the first deferral: the id it controls, and the head of its touch list.
    std::vector<std::uint32_t> control_of;
    std::vector<std::uint32_t> touch_head;
    std::vector<TouchLink> touch_links;
    std::vector<std::uint32_t> free_links;   // likewise with room for every link
    // Scratch for one operation at a time, kept for its room: deferrals met, and those of them
    // that an operator anticommutes with an odd number of times.
    std::vector<std::uint32_t> met;
    std::vector<std::uint32_t> odd;
    // The deferrals holding an operand of a CZ made in the graph, whose terms it then conjugates.
    std::vector<std::uint32_t> passing;
    // Scratch of a settling: R's qubits with an X part and with a Z part, the vertices whose
    // parity was flipped, and the star's ends.
    std::vector<Slot> x_part, z_part, flipped, ends;
    // By slot, sized with the tables above, 0 between settlings: a settling's marks.
    using Marks = std::uint8_t;
    static constexpr Marks IN_X = 1, PARITY = 2, SEEN = 4;
    std::vector<Marks> marks;
    std::vector<row_word> row_sum;  // a settling's XOR of dense-block rows
    DeferralTrials trials;  // when to hold controlled-Zs back (engine/policy/adaptive.h)
    std::int64_t oldest = 0;  // the order last handed out: a new or settling deferral goes next to the graph
    std::size_t live = 0;

    // The id of the deferral whose control is `qubit`, or NONE.
    std::uint32_t control_id(std::uint32_t qubit) const noexcept {
        return live == 0 ? NONE : control_of[qubit];
    }
    bool touched(std::uint32_t qubit) const noexcept { return live != 0 && touch_head[qubit] != NONE; }
    // Calls f(entry) for each touch-list entry of `qubit`: one per deferral with a term there.
    template <class F>
    void for_each_touch(std::uint32_t qubit, F&& f) const {
        if (live == 0) return;
        for (std::uint32_t link = touch_head[qubit]; link != NONE; link = touch_links[link].next) {
            f(touch_links[link]);
        }
    }
    template <class F>
    void for_each_touch(std::uint32_t qubit, F&& f) {
        std::as_const(*this).for_each_touch(qubit, [&](const TouchLink& entry) { f(const_cast<TouchLink&>(entry)); });
    }
    // Calls f(id) for each deferral with a term on `qubit`.
    template <class F>
    void for_each_touching(std::uint32_t qubit, F&& f) const {
        for_each_touch(qubit, [&](const TouchLink& entry) { f(entry.id); });
    }
    PauliBits pauli_of(const DeferredTerm& term) const noexcept { return touch_links[term.link].pauli; }
};

// The term of `deferral` on `qubit`, or nullptr.
inline DeferredTerm* term_on(Deferral& deferral, std::uint32_t qubit) noexcept {
    for (DeferredTerm& term : deferral.terms) {
        if (term.qubit == qubit) return &term;
    }
    return nullptr;
}
inline const DeferredTerm* term_on(const Deferral& deferral, std::uint32_t qubit) noexcept {
    return term_on(const_cast<Deferral&>(deferral), qubit);
}

// The gate g has acted on `qubit` (not a control): every R holding it is conjugated. Out of line,
// so that a single-qubit gate stays a table look-up and one test while no deferral is live.
[[gnu::noinline]] void conjugate_terms(Deferrals& deferrals, std::uint32_t qubit, vop_t g) noexcept;

}  // namespace nodeweave
