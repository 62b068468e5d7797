#pragma once
// A dense block: a set of vertices, each with a local index, whose edges among themselves are kept
// as a bit matrix instead of lists. A complementation about a vertex of degree d then costs d
// word-wide XORs of one row each, not d^2 list edits. Blocks form where complementations meet
// high degree (the frontier of a measured lattice, a densely entangled register); a vertex leaves
// its block when it has no edges left.
//
// The matrix is square: `capacity()` rows of `words` 64-bit words, row i at bits[i * words].

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/bits.h"
#include "engine/core/index.h"

namespace nodeweave {

struct Block {
    Block() = default;
    // A copy keeps the room that releasing members needs.
    Block(const Block& other)
        : words(other.words), members(other.members), issued(other.issued), bits(other.bits),
          slot_at(other.slot_at), row_count(other.row_count), work(other.work) {
        free_locals.reserve(other.capacity());
        free_locals = other.free_locals;
    }
    Block(Block&&) noexcept = default;
    Block& operator=(Block&&) noexcept = default;
    Block& operator=(const Block&) = delete;

    std::uint32_t words = 0;    // per row; the block holds up to 64 * words members
    std::uint32_t members = 0;
    std::uint32_t issued = 0;   // local indices handed out so far; the free ones are listed below
    std::vector<row_word> bits;
    std::vector<Slot> slot_at;                // local index -> slot, NO_SLOT when free
    std::vector<std::uint32_t> row_count;     // edges in each row
    std::vector<std::uint32_t> free_locals;   // room for capacity() entries
    // Row work (in words) done on the block since its edges were last counted (graph.h:
    // release_if_thin).
    std::uint64_t work = 0;

    std::uint32_t capacity() const noexcept { return 64 * words; }
    row_word* row(std::uint32_t local) noexcept { return bits.data() + std::size_t{local} * words; }
    const row_word* row(std::uint32_t local) const noexcept {
        return bits.data() + std::size_t{local} * words;
    }
    bool test(std::uint32_t i, std::uint32_t j) const noexcept { return test_bit(row(i), j); }
    void flip(std::uint32_t i, std::uint32_t j) noexcept { flip_bit(row(i), j); }
    // Adds (change +1) or removes (change -1) the edge between members i and j.
    void change_edge(std::uint32_t i, std::uint32_t j, int change) noexcept {
        flip(i, j);
        flip(j, i);
        row_count[i] += change;
        row_count[j] += change;
    }
    // Member i's row ^= mask, its row count brought up to date. `mask` is not that row.
    void xor_row(std::uint32_t i, const row_word* mask) noexcept {
        row_word* bits_of_i = row(i);
        std::uint32_t count = 0;
        for (std::uint32_t w = 0; w < words; ++w) {
            bits_of_i[w] ^= mask[w];
            count += static_cast<std::uint32_t>(simd::popcount(bits_of_i[w]));
        }
        row_count[i] = count;
    }
    // A free local index; the block has room for one more member.
    std::uint32_t take_local() noexcept {
        if (!free_locals.empty()) {
            const std::uint32_t local = free_locals.back();
            free_locals.pop_back();
            return local;
        }
        return issued++;
    }

    // A block with room for `capacity` members (rounded up to whole words). Throws std::bad_alloc.
    static Block with_capacity(std::uint32_t capacity);
    // Grows to room for `wanted` members in all; all or nothing. Throws std::bad_alloc.
    void reserve(std::uint32_t wanted);
};

// For every member whose local index is set in `which`: its row ^= mask, and its row count is
// brought up to date. Neither `which` nor `mask` may be the row of such a member.
void xor_rows(Block& block, const row_word* which, const row_word* mask) noexcept;

}  // namespace nodeweave
