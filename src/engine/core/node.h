#pragma once
// One vertex record of the graph, 32 bytes: the vertex's neighbours outside its dense block, its
// place in that block when it has one (or its tableau and column when a tableau holds it), its
// vertex operator (VOP) and a scratch mark.

#include <cstdint>

#include "clifford/tables.h"
#include "engine/graph/neighbour_list.h"
#include "engine/policy/thresholds.h"

namespace nodeweave {

inline constexpr std::uint16_t NO_BLOCK = UINT16_MAX;
// The top bit of `member` marks a qubit held in a tableau; below it stand the tableau's id and, in
// the low COLUMN_BITS bits, the qubit's column there.
inline constexpr std::uint32_t TABLEAU_MEMBER = 0x80000000u;
inline constexpr std::uint32_t COLUMN_BITS = 12;
static_assert(TABLEAU_MAX <= 1u << COLUMN_BITS && NO_BLOCK < 1u << (31 - COLUMN_BITS));

struct Node {
    NeighbourList list;
    // Local index + 1 in the dense block `block`; 0 when the vertex is in no block. For a qubit
    // held in a tableau: TABLEAU_MEMBER with the tableau's id and the column, and `block` is
    // NO_BLOCK.
    std::uint32_t member = 0;
    std::uint16_t block = NO_BLOCK;
    vop_t vop = VOP_H;
    // Scratch for operations on many vertices at once; 0 between operations.
    std::uint8_t mark = 0;

    bool in_block() const noexcept { return static_cast<std::int32_t>(member) > 0; }
    std::uint32_t local() const noexcept { return member - 1; }
    bool in_tableau() const noexcept { return static_cast<std::int32_t>(member) < 0; }
    std::uint32_t column() const noexcept { return member & ((1u << COLUMN_BITS) - 1); }
    std::uint16_t tableau() const noexcept { return static_cast<std::uint16_t>((member & ~TABLEAU_MEMBER) >> COLUMN_BITS); }
    void hold_in_tableau(std::uint16_t id, std::uint32_t column) noexcept {
        member = TABLEAU_MEMBER | std::uint32_t{id} << COLUMN_BITS | column;
        block = NO_BLOCK;
    }
};
static_assert(sizeof(Node) == 32);

}  // namespace nodeweave
