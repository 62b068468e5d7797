#pragma once
// The two kinds of index the engine deals in, kept apart by type.
//
// A `Qubit` is an index as the caller names it: the qubit's position in the register, possibly out
// of range. A `Slot` is where a vertex record lives in the state. Qubit q lives in slot q until a
// pivot swaps two records; from then on only the state knows which is where, and `State::slot` and
// `State::qubit` are the one place that converts. Edges, lists, blocks and every graph rewrite deal
// in slots; whatever reaches the caller is a qubit.

#include <cstdint>
#include <vector>

namespace nodeweave {

enum class Slot : std::uint32_t {};
enum class Qubit : std::uint64_t {};

inline constexpr Slot NO_SLOT{UINT32_MAX};

constexpr std::uint32_t index_of(Slot s) noexcept { return static_cast<std::uint32_t>(s); }
constexpr std::uint64_t index_of(Qubit q) noexcept { return static_cast<std::uint64_t>(q); }

// A vector addressed by slots only: indexing it with a qubit or a plain number does not compile.
template <class T>
class BySlot : public std::vector<T> {
public:
    using std::vector<T>::vector;
    T& operator[](Slot s) noexcept { return std::vector<T>::operator[](index_of(s)); }
    const T& operator[](Slot s) const noexcept { return std::vector<T>::operator[](index_of(s)); }
};

}  // namespace nodeweave
