#pragma once
// The ChaCha block function and a ChaCha12 keystream generator of 32-bit words.

#include <array>
#include <cstddef>
#include <cstdint>

namespace nodeweave {

// One ChaCha block: `key` is the 256-bit key as eight little-endian words, `tail` the state words
// 12..15 (block counter and nonce), `rounds` an even number of rounds (12 here, 20 in RFC 8439).
std::array<std::uint32_t, 16> chacha_block(const std::array<std::uint32_t, 8>& key,
                                           const std::array<std::uint32_t, 4>& tail, int rounds);

// ChaCha12 with a 64-bit block counter (words 12, 13) and a zero nonce, producing 64 words
// (four blocks) at a time.
class ChaCha12Stream {
public:
    static constexpr std::size_t BUFFER_WORDS = 64;

    explicit ChaCha12Stream(const std::array<std::uint32_t, 8>& key) { rekey(key); }

    // Starts a fresh keystream under `key`; the words still buffered are dropped.
    void rekey(const std::array<std::uint32_t, 8>& key) {
        key_ = key;
        counter_ = 0;
        position_ = BUFFER_WORDS;
    }

    // Whether the next word needs a refill (so a caller can reseed between buffers).
    bool buffer_empty() const { return position_ == BUFFER_WORDS; }

    std::uint32_t next() {
        if (position_ == BUFFER_WORDS) refill();
        return buffer_[position_++];
    }

private:
    void refill();

    std::array<std::uint32_t, 8> key_{};
    std::uint64_t counter_ = 0;
    std::array<std::uint32_t, BUFFER_WORDS> buffer_{};
    std::size_t position_ = BUFFER_WORDS;
};

}  // namespace nodeweave
