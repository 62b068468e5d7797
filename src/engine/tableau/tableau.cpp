#include "engine/tableau/tableau.h"

#include "engine/core/square_rows.h"

#include <algorithm>
#include <new>
#include <utility>

namespace nodeweave {

void Tableau::reserve(std::uint32_t wanted) {
    if (wanted <= room) return;
    const std::uint32_t new_words = grown_words(wanted, words, UINT32_MAX / 2);
    const std::uint32_t new_room = 64 * new_words;
    // Everything is allocated before anything is swapped in.
    std::vector<row_word> new_xs = widened_rows(xs, qubits, words, new_words);
    std::vector<row_word> new_zs = widened_rows(zs, qubits, words, new_words);
    std::vector<row_word> new_signs(new_words, 0);
    std::vector<Slot> new_slot_at;
    new_slot_at.reserve(new_room);
    new_slot_at.assign(slot_at.begin(), slot_at.end());
    std::copy(signs.begin(), signs.end(), new_signs.begin());
    words = new_words;
    room = new_room;
    xs.swap(new_xs);
    zs.swap(new_zs);
    signs.swap(new_signs);
    slot_at.swap(new_slot_at);
}

std::uint32_t Tableau::append(Slot s) noexcept {
    groups_known = false;
    const std::uint32_t c = qubits++;
    set_bit(x(c), c);
    slot_at.push_back(s);  // room reserved
    return c;
}

void Tableau::append_tableau(const Tableau& other) noexcept {
    groups_known = false;
    const std::uint32_t offset = qubits;
    for (std::uint32_t c = 0; c < other.qubits; ++c) {
        for (std::uint32_t k : set_bits(other.x(c), other.words)) set_bit(x(offset + c), offset + k);
        for (std::uint32_t k : set_bits(other.z(c), other.words)) set_bit(z(offset + c), offset + k);
        slot_at.push_back(other.slot_at[c]);  // room reserved
    }
    for (std::uint32_t k : set_bits(other.signs.data(), other.words)) set_bit(signs.data(), offset + k);
    qubits += other.qubits;
}

namespace {

// The Pauli of an axis as (x, z) bits.
constexpr bool AXIS_HAS_X[3] = {true, true, false};
constexpr bool AXIS_HAS_Z[3] = {false, true, true};

constexpr row_word all_if(bool b) { return b ? ~row_word{0} : 0; }

}  // namespace

void Tableau::apply(std::uint32_t c, vop_t v) noexcept {
    groups_known = false;
    // Where each of X, Y, Z goes (v P v^dagger = +-P'), as masks over the three kinds of entry.
    row_word to_x[3], to_z[3], flip[3];
    for (axis_t a = 0; a < 3; ++a) {
        const axis_t b = CONJUGATED_AXIS[a][v];
        to_x[a] = all_if(AXIS_HAS_X[b]);
        to_z[a] = all_if(AXIS_HAS_Z[b]);
        flip[a] = all_if(CONJUGATED_SIGN[a][v]);
    }
    row_word* xc = x(c);
    row_word* zc = z(c);
    for (std::uint32_t w = 0; w < words; ++w) {
        const row_word is_x = xc[w] & ~zc[w], is_y = xc[w] & zc[w], is_z = ~xc[w] & zc[w];
        xc[w] = (is_x & to_x[0]) | (is_y & to_x[1]) | (is_z & to_x[2]);
        zc[w] = (is_x & to_z[0]) | (is_y & to_z[1]) | (is_z & to_z[2]);
        signs[w] ^= (is_x & flip[0]) | (is_y & flip[1]) | (is_z & flip[2]);
    }
}

void Tableau::cz(std::uint32_t a, std::uint32_t b) noexcept {
    groups_known = false;
    // CZ X_a CZ = X_a Z_b and CZ X_b CZ = Z_a X_b; X_a X_b becomes Y_a Y_b, X_a Y_b becomes -Y_a X_b.
    row_word* xa = x(a);
    row_word* za = z(a);
    row_word* xb = x(b);
    row_word* zb = z(b);
    for (std::uint32_t w = 0; w < words; ++w) {
        signs[w] ^= xa[w] & xb[w] & (za[w] ^ zb[w]);
        za[w] ^= xb[w];
        zb[w] ^= xa[w];
    }
}

}  // namespace nodeweave
