#pragma once
// Which qubit lives in which slot once pivots have swapped records (engine/core/index.h).
//
// Both directions are stored as XOR offsets from the identity (slot = qubit ^ offset), so a fresh
// permutation is all zeros and comes zeroed from the allocator: a large block is then fresh pages
// that the kernel supplies on first touch, and the first swap in a state of 10^6 or 10^7 qubits
// costs no pass over every qubit (it did: 1.5 to 6 ms at 10^6, the slowest call of a fusion run).

#include <cstddef>
#include <cstdint>

#include "engine/core/index.h"

namespace nodeweave {

class Permutation {
public:
    Permutation() noexcept = default;
    Permutation(const Permutation& other);
    Permutation(Permutation&& other) noexcept { swap(other); }
    Permutation& operator=(Permutation other) noexcept {
        swap(other);
        return *this;
    }
    ~Permutation();
    void swap(Permutation& other) noexcept;

    // The identity on n qubits. Throws std::bad_alloc.
    static Permutation identity(std::size_t n);

    // Whether any record was ever swapped; while not, slot q holds qubit q.
    bool kept() const noexcept { return offsets_ != nullptr; }
    std::size_t size() const noexcept { return size_; }
    Slot slot(std::uint64_t qubit) const noexcept {
        return Slot(static_cast<std::uint32_t>(qubit) ^ offsets_[qubit]);
    }
    std::uint32_t qubit(Slot s) const noexcept { return index_of(s) ^ offsets_[size_ + index_of(s)]; }
    // Exchanges the qubits living in slots a and b.
    void swap_slots(Slot a, Slot b) noexcept;

private:
    void set(std::uint32_t qubit, Slot s) noexcept {
        offsets_[qubit] = qubit ^ index_of(s);
        offsets_[size_ + index_of(s)] = qubit ^ index_of(s);
    }

    std::uint32_t* offsets_ = nullptr;  // by qubit in [0, size), by slot in [size, 2 size)
    std::size_t size_ = 0;
};

}  // namespace nodeweave
