#include "engine/core/permutation.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace nodeweave {

namespace {

std::uint32_t* zeroed_offsets(std::size_t n) {
    void* memory = std::calloc(2 * n, sizeof(std::uint32_t));
    if (memory == nullptr) throw std::bad_alloc();
    return static_cast<std::uint32_t*>(memory);
}

}  // namespace

Permutation Permutation::identity(std::size_t n) {
    Permutation permutation;
    if (n == 0) return permutation;
    permutation.offsets_ = zeroed_offsets(n);
    permutation.size_ = n;
    return permutation;
}

Permutation::Permutation(const Permutation& other) {
    if (!other.kept()) return;
    offsets_ = zeroed_offsets(other.size_);
    size_ = other.size_;
    std::memcpy(offsets_, other.offsets_, 2 * size_ * sizeof(std::uint32_t));
}

Permutation::~Permutation() { std::free(offsets_); }

void Permutation::swap(Permutation& other) noexcept {
    std::swap(offsets_, other.offsets_);
    std::swap(size_, other.size_);
}

void Permutation::swap_slots(Slot a, Slot b) noexcept {
    const std::uint32_t qa = qubit(a), qb = qubit(b);
    set(qa, b);
    set(qb, a);
}

}  // namespace nodeweave
