#pragma once
// The sizes at which the engine changes how it stores or rewrites the graph. None of them changes
// a result, only the cost of getting it. They are constants of the module; the test-support build
// compiles the engine with them as variables, so that its tests can shrink them and drive every
// path on small graphs.

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
};

inline constexpr Thresholds DEFAULT_THRESHOLDS{32, 64, 8, 1, 96};

#ifdef NODEWEAVE_TUNABLE_THRESHOLDS
extern Thresholds thresholds;
#else
inline constexpr Thresholds thresholds = DEFAULT_THRESHOLDS;
#endif

}  // namespace nodeweave
