#include "measure/chacha.h"

namespace nodeweave {

static inline std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

static inline void quarter_round(std::uint32_t* s, int a, int b, int c, int d) {
    s[a] += s[b]; s[d] ^= s[a]; s[d] = rotl(s[d], 16);
    s[c] += s[d]; s[b] ^= s[c]; s[b] = rotl(s[b], 12);
    s[a] += s[b]; s[d] ^= s[a]; s[d] = rotl(s[d], 8);
    s[c] += s[d]; s[b] ^= s[c]; s[b] = rotl(s[b], 7);
}

std::array<std::uint32_t, 16> chacha_block(const std::array<std::uint32_t, 8>& key,
                                           const std::array<std::uint32_t, 4>& tail, int rounds) {
    // "expand 32-byte k"
    std::array<std::uint32_t, 16> input{0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};
    for (int i = 0; i < 8; ++i) input[4 + i] = key[i];
    for (int i = 0; i < 4; ++i) input[12 + i] = tail[i];

    std::array<std::uint32_t, 16> x = input;
    for (int i = 0; i < rounds; i += 2) {
        quarter_round(x.data(), 0, 4, 8, 12);
        quarter_round(x.data(), 1, 5, 9, 13);
        quarter_round(x.data(), 2, 6, 10, 14);
        quarter_round(x.data(), 3, 7, 11, 15);
        quarter_round(x.data(), 0, 5, 10, 15);
        quarter_round(x.data(), 1, 6, 11, 12);
        quarter_round(x.data(), 2, 7, 8, 13);
        quarter_round(x.data(), 3, 4, 9, 14);
    }
    for (int i = 0; i < 16; ++i) x[i] += input[i];
    return x;
}

void ChaCha12Stream::refill() {
    for (std::size_t block = 0; block < BUFFER_WORDS / 16; ++block) {
        const std::array<std::uint32_t, 4> tail{static_cast<std::uint32_t>(counter_),
                                                static_cast<std::uint32_t>(counter_ >> 32), 0, 0};
        const auto words = chacha_block(key_, tail, 12);
        for (std::size_t i = 0; i < 16; ++i) buffer_[16 * block + i] = words[i];
        ++counter_;
    }
    position_ = 0;
}

}  // namespace nodeweave
