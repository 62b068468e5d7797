#pragma once
// The 24 single-qubit Clifford operators (up to phase) and the constant tables on them.
//
// VOP v = 4k + p stands for B_k * P_p: the Pauli P_p (0 I, 1 X, 2 Y, 3 Z) acts first, then B_k = VOP 4k.
// Named operators: 0 identity, 1 X, 2 Y, 3 Z, 5 S-dagger, 6 S, 9 sqrt(-iY), 10 H, 11 sqrt(iY),
// 14 sqrt(iX), 15 sqrt(-iX). Axes are numbered 0 = X, 1 = Y, 2 = Z; the Pauli of axis a is VOP a + 1.
//
// All algebra on vertex operators is a look-up in these tables; no matrix is ever formed at run time.

#include <cstdint>

namespace nodeweave {

using vop_t = std::uint8_t;
using axis_t = std::uint8_t;

inline constexpr vop_t VOP_IDENTITY = 0;
inline constexpr vop_t VOP_X = 1;
inline constexpr vop_t VOP_Y = 2;
inline constexpr vop_t VOP_Z = 3;
inline constexpr vop_t VOP_SDAG = 5;
inline constexpr vop_t VOP_S = 6;
inline constexpr vop_t VOP_SQRT_MINUS_IY = 9;
inline constexpr vop_t VOP_H = 10;
inline constexpr vop_t VOP_SQRT_IY = 11;
inline constexpr vop_t VOP_SQRT_IX = 14;

// The diagonal VOP diag(1, i^k).
inline constexpr vop_t PHASE_VOP[4] = {VOP_IDENTITY, VOP_S, VOP_Z, VOP_SDAG};

inline constexpr axis_t AXIS_X = 0;
inline constexpr axis_t AXIS_Y = 1;
inline constexpr axis_t AXIS_Z = 2;

// VOP_PRODUCT[a][b] is a*b: b acts first, then a. A gate g acts on a VOP v as VOP_PRODUCT[g][v];
// corrections multiply on the right, VOP_PRODUCT[v][c].
inline constexpr vop_t VOP_PRODUCT[24][24] = {
    { 0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23},
    { 1,  0,  3,  2,  6,  7,  4,  5, 11, 10,  9,  8, 13, 12, 15, 14, 19, 18, 17, 16, 22, 23, 20, 21},
    { 2,  3,  0,  1,  5,  4,  7,  6, 10, 11,  8,  9, 15, 14, 13, 12, 17, 16, 19, 18, 23, 22, 21, 20},
    { 3,  2,  1,  0,  7,  6,  5,  4,  9,  8, 11, 10, 14, 15, 12, 13, 18, 19, 16, 17, 21, 20, 23, 22},
    { 4,  5,  6,  7,  0,  1,  2,  3, 20, 21, 22, 23, 16, 17, 18, 19, 12, 13, 14, 15,  8,  9, 10, 11},
    { 5,  4,  7,  6,  2,  3,  0,  1, 23, 22, 21, 20, 17, 16, 19, 18, 15, 14, 13, 12, 10, 11,  8,  9},
    { 6,  7,  4,  5,  1,  0,  3,  2, 22, 23, 20, 21, 19, 18, 17, 16, 13, 12, 15, 14, 11, 10,  9,  8},
    { 7,  6,  5,  4,  3,  2,  1,  0, 21, 20, 23, 22, 18, 19, 16, 17, 14, 15, 12, 13,  9,  8, 11, 10},
    { 8,  9, 10, 11, 16, 17, 18, 19,  0,  1,  2,  3, 20, 21, 22, 23,  4,  5,  6,  7, 12, 13, 14, 15},
    { 9,  8, 11, 10, 18, 19, 16, 17,  3,  2,  1,  0, 21, 20, 23, 22,  7,  6,  5,  4, 14, 15, 12, 13},
    {10, 11,  8,  9, 17, 16, 19, 18,  2,  3,  0,  1, 23, 22, 21, 20,  5,  4,  7,  6, 15, 14, 13, 12},
    {11, 10,  9,  8, 19, 18, 17, 16,  1,  0,  3,  2, 22, 23, 20, 21,  6,  7,  4,  5, 13, 12, 15, 14},
    {12, 13, 14, 15, 20, 21, 22, 23, 16, 17, 18, 19,  0,  1,  2,  3,  8,  9, 10, 11,  4,  5,  6,  7},
    {13, 12, 15, 14, 22, 23, 20, 21, 19, 18, 17, 16,  1,  0,  3,  2, 11, 10,  9,  8,  6,  7,  4,  5},
    {14, 15, 12, 13, 21, 20, 23, 22, 18, 19, 16, 17,  3,  2,  1,  0,  9,  8, 11, 10,  7,  6,  5,  4},
    {15, 14, 13, 12, 23, 22, 21, 20, 17, 16, 19, 18,  2,  3,  0,  1, 10, 11,  8,  9,  5,  4,  7,  6},
    {16, 17, 18, 19,  8,  9, 10, 11, 12, 13, 14, 15,  4,  5,  6,  7, 20, 21, 22, 23,  0,  1,  2,  3},
    {17, 16, 19, 18, 10, 11,  8,  9, 15, 14, 13, 12,  5,  4,  7,  6, 23, 22, 21, 20,  2,  3,  0,  1},
    {18, 19, 16, 17,  9,  8, 11, 10, 14, 15, 12, 13,  7,  6,  5,  4, 21, 20, 23, 22,  3,  2,  1,  0},
    {19, 18, 17, 16, 11, 10,  9,  8, 13, 12, 15, 14,  6,  7,  4,  5, 22, 23, 20, 21,  1,  0,  3,  2},
    {20, 21, 22, 23, 12, 13, 14, 15,  4,  5,  6,  7,  8,  9, 10, 11,  0,  1,  2,  3, 16, 17, 18, 19},
    {21, 20, 23, 22, 14, 15, 12, 13,  7,  6,  5,  4,  9,  8, 11, 10,  3,  2,  1,  0, 18, 19, 16, 17},
    {22, 23, 20, 21, 13, 12, 15, 14,  6,  7,  4,  5, 11, 10,  9,  8,  1,  0,  3,  2, 19, 18, 17, 16},
    {23, 22, 21, 20, 15, 14, 13, 12,  5,  4,  7,  6, 10, 11,  8,  9,  2,  3,  0,  1, 17, 16, 19, 18}
};

// VOP_ADJOINT[v] is the inverse of v.
inline constexpr vop_t VOP_ADJOINT[24] = {0, 1, 2, 3, 4, 6, 5, 7, 8, 11, 10, 9, 12, 13, 15, 14, 20, 22, 23, 21, 16, 19, 17, 18};

// CONJUGATED_AXIS[a][w] is the axis b with w sigma_a w^dagger = +-sigma_b.
inline constexpr axis_t CONJUGATED_AXIS[3][24] = {
    {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2},
    {1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0},
    {2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1}
};

// CONJUGATED_SIGN[a][w] is 1 when w sigma_a w^dagger = -sigma_b: the sign that B_k contributes
// (k = 1, 2, 3) exclusive-or whether the Pauli factor P_p anticommutes with sigma_a.
inline constexpr std::uint8_t CONJUGATED_SIGN[3][24] = {
    {0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1},
    {0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1},
    {0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 0, 1, 1, 0}
};

// X_PREIMAGE_AXIS[w] is the axis a with w sigma_a w^dagger = +-X.
inline constexpr axis_t X_PREIMAGE_AXIS[24] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1};

// The local complementations that reduce the VOP of a vertex with a partner c to the identity:
// symbol 0 complements about the vertex itself (its VOP times VOP 14 on the right), symbol 1 about c
// (its VOP times VOP 6 on the right). REDUCTION_WORDS[v] holds REDUCTION_WORD_LENGTH[v] symbols.
inline constexpr std::uint8_t REDUCTION_WORD_LENGTH[24] = {4, 2, 4, 2, 3, 1, 3, 3, 3, 5, 5, 5, 3, 3, 3, 1, 4, 4, 2, 4, 4, 4, 2, 4};
inline constexpr std::uint8_t REDUCTION_WORDS[24][5] = {
    {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},
    {0, 0, 1, 1, 0},
    {1, 1, 0, 0, 0},
    {0, 0, 1, 0, 0},
    {1, 0, 0, 0, 0},
    {1, 1, 1, 0, 0},
    {1, 0, 0, 0, 0},
    {0, 1, 0, 0, 0},
    {0, 0, 0, 1, 0},
    {0, 1, 1, 1, 0},
    {0, 1, 0, 0, 0},
    {1, 1, 0, 0, 0},
    {0, 1, 1, 0, 0},
    {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},
    {0, 1, 1, 1, 0},
    {0, 1, 0, 0, 0},
    {0, 1, 0, 0, 0},
    {0, 0, 0, 1, 0},
    {1, 0, 0, 0, 0},
    {1, 1, 1, 0, 0},
    {1, 0, 0, 0, 0},
    {0, 0, 1, 0, 0}
};

// The VOPs that commute with controlled-Z: identity, Z, S-dagger and S.
constexpr bool is_diagonal(vop_t v) { return v == 0 || v == 3 || v == 5 || v == 6; }

// The VOPs that map Z to +-Z: the diagonal ones and the diagonal ones times X (1, 2, 4, 7). A
// controlled-Z passes through such a VOP at the price of a Z on the other qubit when it holds an X.
constexpr bool keeps_z_axis(vop_t v) { return v < 8; }

// Measuring `axis` on a qubit with VOP v measures axis `axis` of the bare graph state below it,
// the observed result negated when `negated` is 1 (because v^dagger sigma v = +-sigma').
struct GraphAxis {
    axis_t axis;
    std::uint8_t negated;
};
constexpr GraphAxis through_vop(axis_t axis, vop_t v) {
    return {CONJUGATED_AXIS[axis][VOP_ADJOINT[v]], CONJUGATED_SIGN[axis][VOP_ADJOINT[v]]};
}

}  // namespace nodeweave
