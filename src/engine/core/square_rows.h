#pragma once
// Growing a square matrix of bit rows (a dense block's rows, a tableau's generator columns): one
// rule for how much, one copy of the rows that are kept.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "engine/core/bits.h"

namespace nodeweave {

// Words per row once a matrix of `words` words per row grows to hold at least `wanted` rows: half
// as large again, or what is wanted, so that rows stay close to the count in use (which every row
// operation pays for) and growing stays amortised. Throws std::bad_alloc past `max_rows` rows.
inline std::uint32_t grown_words(std::uint64_t wanted, std::uint32_t words, std::uint64_t max_rows) {
    const std::uint64_t new_words = std::max<std::uint64_t>((wanted + 63) / 64, words + words / 2);
    if (64 * new_words > max_rows) throw std::bad_alloc();
    return static_cast<std::uint32_t>(new_words);
}

// The first `rows` rows of `bits` (`words` words each) in a zeroed matrix of 64 * `new_words` rows
// of `new_words` words. Throws std::bad_alloc.
inline std::vector<row_word> widened_rows(const std::vector<row_word>& bits, std::uint32_t rows, std::uint32_t words,
                                          std::uint32_t new_words) {
    std::vector<row_word> wider(std::size_t{64} * new_words * new_words, 0);
    for (std::uint32_t i = 0; i < rows; ++i) {
        std::copy(bits.begin() + std::size_t{i} * words, bits.begin() + std::size_t{i + 1} * words,
                  wider.begin() + std::size_t{i} * new_words);
    }
    return wider;
}

}  // namespace nodeweave
