#include "engine/block.h"

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
    // Half as large again, or what is wanted: rows stay close to the members' count, which is what
    // every row operation pays for, and growing stays amortised.
    const std::uint64_t new_words = std::max<std::uint64_t>((std::uint64_t{wanted} + 63) / 64, words + words / 2);
    if (64 * new_words > UINT32_MAX) throw std::bad_alloc();
    const std::uint32_t new_capacity = static_cast<std::uint32_t>(64 * new_words);
    // Everything is allocated before anything is swapped in.
    std::vector<row_word> new_bits(std::size_t{new_capacity} * new_words, 0);
    std::vector<Slot> new_slot_at(new_capacity, NO_SLOT);
    std::vector<std::uint32_t> new_row_count(new_capacity, 0);
    std::vector<std::uint32_t> new_free;
    new_free.reserve(new_capacity);
    for (std::uint32_t i = 0; i < issued; ++i) {
        std::memcpy(new_bits.data() + std::size_t{i} * new_words, row(i), words * sizeof(row_word));
    }
    std::copy(slot_at.begin(), slot_at.begin() + issued, new_slot_at.begin());
    std::copy(row_count.begin(), row_count.begin() + issued, new_row_count.begin());
    new_free.assign(free_locals.begin(), free_locals.end());
    words = static_cast<std::uint32_t>(new_words);
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
