#pragma once
// What the engine learns about the circuit at hand, to decide when a move between forms pays:
// the tableau watch (when a dense component should enter a tableau) and the deferral trials (when
// controlled-Zs should be held back). engine/policy/policy.h reads both.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace nodeweave {

// When a component should move into a tableau (engine/tableau/routing.h).
struct TableauWatch {
    static constexpr std::uint64_t NOT_SEEN = UINT64_MAX;
    // Work done by graph-form preparations (the prepared vertices' degrees), and the amount at
    // which the engine next looks at a component.
    std::uint64_t graph_work = 0;
    std::uint64_t next_look = 0;
    int short_stays = 0;   // tableaux in a row that were left soon after they were made
    int sparse_walks = 0;  // walks in a row that found a dense block's component sparse
    // graph_work when the component looked at was first seen dense (since the last measurement),
    // or NOT_SEEN; and its size then (0: it was not dense at the last look).
    std::uint64_t dense_since = NOT_SEEN;
    std::uint64_t dense_size = 0;
};

// How deferrals have paid off lately: +1 for each whose control, measured, came out unentangled
// (the ancilla of a certain stabiliser measurement: no edge was ever toggled), -1 for each that a
// gate or another qubit's measurement made settle first. Unless the score is above 0 only one
// candidate in `probe_gap` becomes a deferral, and each that settles early doubles the gap, so
// that circuits whose deferrals do not pay (random gates spread their Rs, and settling leaves a
// large star) soon make none.
struct DeferralTrials {
    static constexpr std::uint32_t NONE = UINT32_MAX;
    static constexpr int SCORE_LIMIT = 32;
    static constexpr std::uint32_t FIRST_GAP = 16, LAST_GAP = 1u << 24;
    int score = 0;
    std::uint32_t refused = 0;
    std::uint32_t probe_gap = FIRST_GAP;
    // The qubits measured last. Trials are made only with one of them as the control: an ancilla
    // measured, reset and put to work again, as in error correction; a circuit that measures only
    // at its end never makes one.
    static constexpr std::size_t RECENT = 64;
    std::array<std::uint32_t, RECENT> measured_last = filled_with_none();
    std::size_t measured_next = 0;
    // Set when a dense component found a deferral's R on it and stayed out of a tableau: the
    // deferrals settle after the gate.
    bool tableau_waits = false;

    void note_measured(std::uint32_t qubit) noexcept {
        measured_last[measured_next] = qubit;
        measured_next = (measured_next + 1) % RECENT;
    }
    bool measured_lately(std::uint32_t qubit) const noexcept {
        return std::find(measured_last.begin(), measured_last.end(), qubit) != measured_last.end();
    }
    // A deferral settled as its control was measured; `paid` when it left no edge.
    void settled_when_measured(bool paid) noexcept {
        if (!paid) return;
        score = std::min(score + 1, SCORE_LIMIT);
        if (score > 0) probe_gap = FIRST_GAP;
    }
    // A deferral settled before its control was measured.
    void settled_too_soon() noexcept {
        score = std::max(score - 1, -SCORE_LIMIT);
        if (score <= 0) probe_gap = std::min(2 * probe_gap, LAST_GAP);
    }

    static constexpr std::array<std::uint32_t, RECENT> filled_with_none() noexcept {
        std::array<std::uint32_t, RECENT> none{};
        none.fill(NONE);
        return none;
    }
};

}  // namespace nodeweave
