#pragma once
// The sizes at which the engine changes how it stores or rewrites the state; engine/policy/policy.h
// holds the rules that read them. None of them changes a result, only the cost of getting it.
// They are constants of the module; the test-support build compiles the engine with them as
// variables, so that its tests can shrink them and drive every path on small graphs.

#include <cstddef>
#include <cstdint>

namespace nodeweave {

struct Thresholds {
    // A neighbour list at least this long gets a position index on its first look-up.
    std::uint32_t index_min;
    // A complementation or pivot that toggles at least this many pairs works on bit rows.
    std::uint32_t row_pairs;
    // A pivot whose two ends would exchange more than this many list entries swaps the two qubits'
    // vertex records instead.
    std::uint32_t relabel_min;
    // Row length, in 64-bit words, of a newly formed dense block.
    std::uint32_t initial_row_words;
    // A controlled-Z whose target has more neighbours than this pivots the target onto the Z axis
    // instead of toggling the target's neighbourhood to the control.
    std::uint32_t star_max;
    // A component of at least this many qubits, whose average degree is at least (m - 1) / this
    // many (m qubits), is held in a tableau once graph-form preparations on it have cost enough.
    std::uint32_t tableau_min;
    std::uint32_t tableau_sparsity;
    // How much graph-form preparation work (in degrees) must pass, as a multiple of an estimate:
    // between two looks at a component, of what the last look cost; on a dense component before
    // it enters a tableau, and after a tableau went back to graph form, of what the trip costs.
    // 0 looks at every preparation and enters at once.
    std::uint32_t tableau_patience;
    // The largest component held in a tableau; never above TABLEAU_MAX.
    std::uint32_t tableau_max;
    // A controlled-Z that would toggle at least this many edges from a control with few edges of
    // its own is held back as a deferral instead (engine/deferral/deferral.h), once trials have shown that
    // deferrals pay in the circuit at hand. 0 holds back every such controlled-Z, without trials.
    std::uint32_t defer_min;
    // A dense block whose rows are at least this many words long goes back to lists once its
    // edges are few (engine/graph/graph.h: release_if_thin). Smaller blocks hold too little to
    // matter, and on the register of a few qubits that a tableau is made from they come and go.
    std::uint32_t release_words;
};

// The largest component ever held in a tableau: m qubits take m^2 / 4 bytes.
inline constexpr std::uint32_t TABLEAU_MAX = 4096;

// A light neighbour (a pivot partner) is sought among at most this many list entries, so that the
// choice stays O(1) at a hub.
inline constexpr int PARTNER_SCAN = 16;
// A controlled-Z target with more neighbours than PARTNER_SCAN (and at most star_max) is prepared
// through a leaf among its last RECENT_SCAN list entries when there is one: a vertex that has just
// gained its first edge, a fresh ancilla typically, stands at the end of the list.
inline constexpr std::uint32_t RECENT_SCAN = 4;

// The most edges a control may have when it becomes a deferral (its edges move into its R).
inline constexpr std::uint32_t DEFER_CONTROL_EDGES = 4;
// An R growing beyond this many qubits settles: a stabiliser being gathered stays small, while an
// R that random gates spread would only grow.
inline constexpr std::size_t DEFER_MAX_TERMS = 12;

// A dense block's edges are counted for release_if_thin once the row work done on it since the last
// count reaches this many times its issued rows. A count reads every row's edge count; at once per
// issued rows' worth of work it cost random dense circuits of 2000 qubits about 4% of their time.
inline constexpr std::uint64_t RELEASE_COUNT_EVERY = 16;

inline constexpr Thresholds DEFAULT_THRESHOLDS{512, 64, 8, 1, 96, 128, 8, 3, TABLEAU_MAX, 2, 2};

#ifdef NODEWEAVE_TUNABLE_THRESHOLDS
extern Thresholds thresholds;
#else
inline constexpr Thresholds thresholds = DEFAULT_THRESHOLDS;
#endif

}  // namespace nodeweave
