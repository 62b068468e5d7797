#pragma once
// Rows of bits, as dense blocks store them, and the one way to walk the bits set in one.

#include <cstdint>

#include "engine/core/simd.h"

namespace nodeweave {

using row_word = std::uint64_t;

// The positions of the bits set in a row of `words` 64-bit words, in ascending order:
// `for (std::uint32_t k : set_bits(row, words))`. Each word is read when the walk reaches it, so
// changes to later words are seen, changes to the current one are not.
class SetBits {
public:
    class Iterator {
    public:
        Iterator(const row_word* row, std::uint32_t words, std::uint32_t w) noexcept
            : row_(row), words_(words), w_(w), bits_(w < words ? row[w] : 0) {
            skip_empty();
        }
        std::uint32_t operator*() const noexcept {
            return w_ * 64 + static_cast<std::uint32_t>(simd::lowest_bit(bits_));
        }
        Iterator& operator++() noexcept {
            bits_ &= bits_ - 1;
            skip_empty();
            return *this;
        }
        bool operator!=(const Iterator& other) const noexcept { return w_ != other.w_; }

    private:
        void skip_empty() noexcept {
            while (bits_ == 0 && w_ < words_) {
                if (++w_ < words_) bits_ = row_[w_];
            }
        }
        const row_word* row_;
        std::uint32_t words_;
        std::uint32_t w_;
        row_word bits_;
    };

    SetBits(const row_word* row, std::uint32_t words) noexcept : row_(row), words_(words) {}
    Iterator begin() const noexcept { return Iterator(row_, words_, 0); }
    Iterator end() const noexcept { return Iterator(row_, words_, words_); }

private:
    const row_word* row_;
    std::uint32_t words_;
};

inline SetBits set_bits(const row_word* row, std::uint32_t words) noexcept { return SetBits(row, words); }

inline void set_bit(row_word* row, std::uint32_t k) noexcept { row[k >> 6] |= row_word{1} << (k & 63); }
inline void clear_bit(row_word* row, std::uint32_t k) noexcept { row[k >> 6] &= ~(row_word{1} << (k & 63)); }
inline void flip_bit(row_word* row, std::uint32_t k) noexcept { row[k >> 6] ^= row_word{1} << (k & 63); }
inline bool test_bit(const row_word* row, std::uint32_t k) noexcept { return row[k >> 6] >> (k & 63) & 1; }

}  // namespace nodeweave
