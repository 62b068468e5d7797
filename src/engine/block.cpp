#include "engine/block.h"

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
    std::uint64_t new_words = std::max<std::uint64_t>(1, words);
    while (64 * new_words < wanted) new_words *= 2;
    if (64 * new_words > UINT32_MAX) throw std::bad_alloc();
    const std::uint32_t new_capacity = static_cast<std::uint32_t>(64 * new_words);
    // Everything is allocated before anything is swapped in.
    std::vector<row_word> new_bits(std::size_t{new_capacity} * new_words, 0);
    std::vector<slot_t> new_slot_at(new_capacity, NO_SLOT);
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

template <bool>
inline std::uint32_t xor_row_loop(row_word* dst, const row_word* src, std::uint32_t words) noexcept {
    std::uint32_t count = 0;
    for (std::uint32_t w = 0; w < words; ++w) {
        dst[w] ^= src[w];
        count += static_cast<std::uint32_t>(__builtin_popcountll(dst[w]));
    }
    return count;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same loop for processors with AVX2 and a popcount instruction, chosen at run time.
__attribute__((target("avx2,popcnt"))) std::uint32_t xor_row_avx2(row_word* dst, const row_word* src,
                                                                   std::uint32_t words) noexcept {
    return xor_row_loop<true>(dst, src, words);
}

bool has_avx2() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}
const bool HAS_AVX2 = has_avx2();
#endif

}  // namespace

std::uint32_t xor_row(row_word* dst, const row_word* src, std::uint32_t words) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    if (HAS_AVX2) return xor_row_avx2(dst, src, words);
#endif
    return xor_row_loop<false>(dst, src, words);
}

}  // namespace nodeweave
