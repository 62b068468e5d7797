#pragma once
// Hot loops built twice, once for the baseline processor and once with AVX2 and a popcount
// instruction, the second chosen at run time where the processor has them. Only GCC and clang on
// x86 can build a function for another instruction set; every other compiler (MSVC) and
// processor (ARM) gets the baseline build alone, and the portable spellings below.
// NODEWEAVE_PORTABLE defined chooses those on GCC and clang too, to test them there.

#include <bit>
#include <cstdint>
#include <utility>

#if defined(__GNUC__) && !defined(NODEWEAVE_PORTABLE)
#define NODEWEAVE_GNU 1
#else
#define NODEWEAVE_GNU 0
#endif

#if NODEWEAVE_GNU && (defined(__x86_64__) || defined(__i386__))
#define NODEWEAVE_AVX2_DISPATCH 1
#else
#define NODEWEAVE_AVX2_DISPATCH 0
#endif

#if NODEWEAVE_GNU
#define NODEWEAVE_ALWAYS_INLINE __attribute__((always_inline)) inline
#elif defined(_MSC_VER)
#define NODEWEAVE_ALWAYS_INLINE __forceinline
#else
#define NODEWEAVE_ALWAYS_INLINE inline
#endif

namespace nodeweave::simd {

inline int popcount(std::uint64_t word) noexcept { return std::popcount(word); }

// The position of the lowest set bit; `word` is not zero.
inline int lowest_bit(std::uint64_t word) noexcept {
#if NODEWEAVE_GNU
    return __builtin_ctzll(word);  // no test for zero, which std::countr_zero adds
#else
    return std::countr_zero(word);
#endif
}

// Four 64-bit words that the compiler treats as one vector where it can. Load and store them with
// memcpy, inside a file's unnamed namespace: a function of external linkage that passes a vector
// by value has an ABI that depends on the instruction set.
#if NODEWEAVE_GNU
using Words4 = std::uint64_t __attribute__((vector_size(4 * sizeof(std::uint64_t))));
#else
struct Words4 {
    std::uint64_t lane[4];
    std::uint64_t operator[](int k) const noexcept { return lane[k]; }
    friend Words4 operator&(Words4 a, Words4 b) noexcept {
        for (int k = 0; k < 4; ++k) a.lane[k] &= b.lane[k];
        return a;
    }
    friend Words4 operator^(Words4 a, Words4 b) noexcept {
        for (int k = 0; k < 4; ++k) a.lane[k] ^= b.lane[k];
        return a;
    }
    Words4& operator^=(Words4 b) noexcept { return *this = *this ^ b; }
};
#endif

#if NODEWEAVE_AVX2_DISPATCH
inline const bool HAS_AVX2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}();

// Loop, inlined into a function built for AVX2: every call of it gets the wider instructions.
template <auto Loop, class... Args>
__attribute__((target("avx2,popcnt"))) void with_avx2(Args&&... args) noexcept {
    Loop(std::forward<Args>(args)...);
}
#endif

// Calls Loop(args...) in its AVX2 build where the processor has AVX2, else in the baseline one.
// Loop is a function (inline, so that each build inlines it) that does not throw.
template <auto Loop, class... Args>
inline void dispatch(Args&&... args) noexcept {
#if NODEWEAVE_AVX2_DISPATCH
    if (HAS_AVX2) {
        with_avx2<Loop>(std::forward<Args>(args)...);
        return;
    }
#endif
    Loop(std::forward<Args>(args)...);
}

}  // namespace nodeweave::simd
