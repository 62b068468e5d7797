#pragma once
// Single-qubit Pauli operators as the bits of X^x Z^z, and their products with the phase they
// leave, in quarter turns (powers of i). The Hermitian Pauli of bits (x, z) is i^(x z) X^x Z^z:
// X = (1, 0), Y = (1, 1), Z = (0, 1), and (0, 0) is the identity.

#include <cstdint>

#include "clifford/tables.h"

namespace nodeweave {

struct PauliBits {
    std::uint8_t x = 0;
    std::uint8_t z = 0;

    constexpr bool identity() const noexcept { return (x | z) == 0; }
};

constexpr PauliBits bits_of(axis_t axis) noexcept {
    return {static_cast<std::uint8_t>(axis != AXIS_Z), static_cast<std::uint8_t>(axis != AXIS_X)};
}
// The axis of a non-identity Pauli.
constexpr axis_t axis_of(PauliBits p) noexcept { return p.x ? (p.z ? AXIS_Y : AXIS_X) : AXIS_Z; }

constexpr bool anticommute(PauliBits a, PauliBits b) noexcept { return ((a.x & b.z) ^ (a.z & b.x)) != 0; }

// a * b = i^turns * (the Hermitian Pauli of the returned bits); `turns` is increased by that power.
constexpr PauliBits multiply(PauliBits a, PauliBits b, unsigned& turns) noexcept {
    const PauliBits p{static_cast<std::uint8_t>(a.x ^ b.x), static_cast<std::uint8_t>(a.z ^ b.z)};
    // i^(ax az) X^ax Z^az i^(bx bz) X^bx Z^bz = i^(ax az + bx bz) (-1)^(az bx) X^px Z^pz
    turns += a.x * a.z + b.x * b.z + 2u * a.z * b.x + 3u * p.x * p.z;
    return p;
}

// g P g^dagger for the gate (VOP) g.
constexpr PauliBits conjugate(PauliBits p, vop_t g, unsigned& turns) noexcept {
    if (p.identity()) return p;
    const axis_t axis = axis_of(p);
    turns += 2u * CONJUGATED_SIGN[axis][g];
    return bits_of(CONJUGATED_AXIS[axis][g]);
}

// CZ (a ⊗ b) CZ: an X on either side brings a Z onto the other.
constexpr void conjugate_by_cz(PauliBits& a, PauliBits& b, unsigned& turns) noexcept {
    const PauliBits na{a.x, static_cast<std::uint8_t>(a.z ^ b.x)};
    const PauliBits nb{b.x, static_cast<std::uint8_t>(b.z ^ a.x)};
    // Through the non-Hermitian forms: X_a^ax Z_a^az X_b^bx Z_b^bz picks up (-1)^(ax bx).
    turns += a.x * a.z + b.x * b.z + 2u * a.x * b.x + 3u * (na.x * na.z + nb.x * nb.z);
    a = na;
    b = nb;
}

}  // namespace nodeweave
