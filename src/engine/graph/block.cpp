#include "engine/graph/block.h"

#include "engine/core/square_rows.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/core/simd.h"

namespace nodeweave {

Block Block::with_capacity(std::uint32_t capacity) {
    Block block;
    block.reserve(capacity);
    return block;
}

void Block::reserve(std::uint32_t wanted) {
    if (wanted <= capacity()) return;
    const std::uint32_t new_words = grown_words(wanted, words, UINT32_MAX);
    const std::uint32_t new_capacity = 64 * new_words;
    // Everything is allocated before anything is swapped in.
    std::vector<row_word> new_bits = widened_rows(bits, issued, words, new_words);
    std::vector<Slot> new_slot_at(new_capacity, NO_SLOT);
    std::vector<std::uint32_t> new_row_count(new_capacity, 0);
    std::vector<std::uint32_t> new_free;
    new_free.reserve(new_capacity);
    std::copy(slot_at.begin(), slot_at.begin() + issued, new_slot_at.begin());
    std::copy(row_count.begin(), row_count.begin() + issued, new_row_count.begin());
    new_free.assign(free_locals.begin(), free_locals.end());
    words = new_words;
    bits.swap(new_bits);
    slot_at.swap(new_slot_at);
    row_count.swap(new_row_count);
    free_locals.swap(new_free);
}

namespace {

// Inlined into each of its two builds, so that the popcount becomes an instruction where the
// processor has one.
inline void xor_rows_loop(Block& block, const row_word* which, const row_word* mask) noexcept {
    for (std::uint32_t local : set_bits(which, block.words)) block.xor_row(local, mask);
}

}  // namespace

void xor_rows(Block& block, const row_word* which, const row_word* mask) noexcept {
    simd::dispatch<xor_rows_loop>(block, which, mask);
}

}  // namespace nodeweave
