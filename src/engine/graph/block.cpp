#include "engine/graph/block.h"

#include "engine/core/square_rows.h"

#include <algorithm>
#include <cstring>
#include <new>

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

// Inlined into each of the two builds below, so that the popcount becomes an instruction where
// the processor has one.
inline void xor_rows_loop(Block& block, const row_word* which, const row_word* mask) noexcept {
    for (std::uint32_t local : set_bits(which, block.words)) block.xor_row(local, mask);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same loop for processors with AVX2 and a popcount instruction, chosen at run time.
__attribute__((target("avx2,popcnt"))) void xor_rows_avx2(Block& block, const row_word* which,
                                                           const row_word* mask) noexcept {
    xor_rows_loop(block, which, mask);
}

bool has_avx2() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}
const bool HAS_AVX2 = has_avx2();
#endif

}  // namespace

void xor_rows(Block& block, const row_word* which, const row_word* mask) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    if (HAS_AVX2) {
        xor_rows_avx2(block, which, mask);
        return;
    }
#endif
    xor_rows_loop(block, which, mask);
}

}  // namespace nodeweave
