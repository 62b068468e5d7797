#include "engine/tableau.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace nodeweave {

void Tableau::reserve(std::uint32_t wanted) {
    if (wanted <= room) return;
    const std::uint64_t new_words = std::max<std::uint64_t>((std::uint64_t{wanted} + 63) / 64, words + words / 2);
    if (64 * new_words > UINT32_MAX / 2) throw std::bad_alloc();
    const std::uint32_t new_room = static_cast<std::uint32_t>(64 * new_words);
    // Everything is allocated before anything is swapped in.
    std::vector<row_word> new_xs(std::size_t{new_room} * new_words, 0);
    std::vector<row_word> new_zs(std::size_t{new_room} * new_words, 0);
    std::vector<row_word> new_signs(new_words, 0);
    std::vector<Slot> new_slot_at;
    new_slot_at.reserve(new_room);
    new_slot_at.assign(slot_at.begin(), slot_at.end());
    for (std::uint32_t c = 0; c < qubits; ++c) {
        std::copy(x(c), x(c) + words, new_xs.data() + std::size_t{c} * new_words);
        std::copy(z(c), z(c) + words, new_zs.data() + std::size_t{c} * new_words);
    }
    std::copy(signs.begin(), signs.end(), new_signs.begin());
    words = static_cast<std::uint32_t>(new_words);
    room = new_room;
    xs.swap(new_xs);
    zs.swap(new_zs);
    signs.swap(new_signs);
    slot_at.swap(new_slot_at);
}

std::uint32_t Tableau::append(Slot s) noexcept {
    const std::uint32_t c = qubits++;
    set_bit(x(c), c);
    slot_at.push_back(s);  // room reserved
    return c;
}

void Tableau::append_tableau(const Tableau& other) noexcept {
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

// ---- graph form, by elimination --------------------------------------------------------------

namespace {

// Four words that the compiler treats as one vector.
constexpr std::uint32_t CHUNK_WORDS = 4;
using Chunk = row_word __attribute__((vector_size(CHUNK_WORDS * sizeof(row_word))));
__attribute__((always_inline)) inline Chunk load(const row_word* p) noexcept {
    Chunk c;
    std::memcpy(&c, p, sizeof c);
    return c;
}
__attribute__((always_inline)) inline void store(row_word* p, Chunk c) noexcept { std::memcpy(p, &c, sizeof c); }

// The generators one per row, each as x bits then z bits, for elimination.
struct Rows {
    std::uint32_t count = 0;
    std::uint32_t words = 0;  // per half
    std::vector<row_word> bits;
    std::vector<std::uint8_t> sign;
    std::vector<std::uint32_t> hits;  // scratch for elimination, one entry per row

    row_word* x(std::uint32_t k) noexcept { return bits.data() + std::size_t{k} * 2 * words; }
    row_word* z(std::uint32_t k) noexcept { return x(k) + words; }

    void swap_rows(std::uint32_t i, std::uint32_t j) noexcept {
        if (i == j) return;
        std::swap_ranges(x(i), x(i) + 2 * words, x(j));
        std::swap(sign[i], sign[j]);
    }

    // Generator i <- generator i times generator r. The two commute, so the product's phase is a
    // sign: i^k, k the sum over qubits of +1 or -1 where the two single-qubit Paulis anticommute.
    // Each such qubit gives +1 plus 2 when it gives -1, so k mod 4 is the count of anticommuting
    // qubits (even; counted mod 4 per bit position) plus twice the count of the -1 ones. Rows are
    // whole numbers of four-word chunks, each taken as one vector.
    __attribute__((always_inline)) void multiply(std::uint32_t i, std::uint32_t r) noexcept {
        row_word* xi = x(i);
        row_word* zi = z(i);
        const row_word* xr = x(r);
        const row_word* zr = z(r);
        Chunk ones{}, twos{}, minus{};
        for (std::uint32_t w = 0; w < words; w += CHUNK_WORDS) {
            const Chunk x1 = load(xi + w), z1 = load(zi + w), x2 = load(xr + w), z2 = load(zr + w);
            const Chunk anti = (x1 & z2) ^ (z1 & x2);
            // -1 for XZ, YX and ZY
            minus ^= anti & ((x1 & (x2 ^ z2)) ^ (z1 & z2));
            twos ^= ones & anti;
            ones ^= anti;
            store(xi + w, x1 ^ x2);
            store(zi + w, z1 ^ z2);
        }
        int k = 0;
        for (std::uint32_t lane = 0; lane < CHUNK_WORDS; ++lane) {
            k += __builtin_popcountll(ones[lane]) + 2 * __builtin_popcountll(twos[lane] ^ minus[lane]);
        }
        sign[i] ^= sign[r] ^ static_cast<std::uint8_t>((k & 3) >> 1);
    }

    // Clears column c's x bit from every row but r, which has it.
    void eliminate(std::uint32_t c, std::uint32_t r) noexcept;

    // The first row from `from` on with column c's x bit, or count.
    std::uint32_t find(std::uint32_t c, std::uint32_t from) noexcept {
        for (std::uint32_t k = from; k < count; ++k) {
            if (test_bit(x(k), c)) return k;
        }
        return count;
    }

    // |psi> <- H_c |psi>: X and Z exchange at c, Y turns into -Y.
    void hadamard(std::uint32_t c) noexcept {
        for (std::uint32_t k = 0; k < count; ++k) {
            const bool xb = test_bit(x(k), c), zb = test_bit(z(k), c);
            if (xb && zb) sign[k] ^= 1;
            if (xb != zb) {
                flip_bit(x(k), c);
                flip_bit(z(k), c);
            }
        }
    }
};

// Inlined into each of the two builds below, so that the popcount becomes an instruction where
// the processor has one.
inline void eliminate_loop(Rows& rows, std::uint32_t c, std::uint32_t r) noexcept {
    // The rows to change are gathered first without a branch: which rows have the bit is random,
    // and a mispredicted branch per row costs more than the gathering.
    std::uint32_t* hits = rows.hits.data();
    std::uint32_t found = 0;
    for (std::uint32_t i = 0; i < rows.count; ++i) {
        hits[found] = i;
        found += static_cast<std::uint32_t>(test_bit(rows.x(i), c)) & static_cast<std::uint32_t>(i != r);
    }
    for (std::uint32_t k = 0; k < found; ++k) rows.multiply(hits[k], r);
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2,popcnt"))) void eliminate_avx2(Rows& rows, std::uint32_t c, std::uint32_t r) noexcept {
    eliminate_loop(rows, c, r);
}

const bool HAS_AVX2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}();
#endif

void Rows::eliminate(std::uint32_t c, std::uint32_t r) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    if (HAS_AVX2) {
        eliminate_avx2(*this, c, r);
        return;
    }
#endif
    eliminate_loop(*this, c, r);
}

Rows rows_of(const Tableau& t) {
    Rows rows;
    rows.count = t.qubits;
    rows.words = (t.qubits + 64 * CHUNK_WORDS - 1) / (64 * CHUNK_WORDS) * CHUNK_WORDS;
    rows.bits.assign(std::size_t{rows.count} * 2 * rows.words, 0);
    rows.sign.assign(rows.count, 0);
    rows.hits.assign(rows.count, 0);
    for (std::uint32_t c = 0; c < t.qubits; ++c) {
        for (std::uint32_t k : set_bits(t.x(c), t.words)) set_bit(rows.x(k), c);
        for (std::uint32_t k : set_bits(t.z(c), t.words)) set_bit(rows.z(k), c);
    }
    for (std::uint32_t k : set_bits(t.signs.data(), t.words)) rows.sign[k] = 1;
    return rows;
}

}  // namespace

GraphForm graph_form(const Tableau& tableau) {
    const std::uint32_t m = tableau.qubits;
    Rows rows = rows_of(tableau);
    GraphForm form;
    form.qubits = m;
    form.words = rows.words;
    form.adjacency.assign(std::size_t{m} * form.words, 0);
    form.local.assign(m, VOP_IDENTITY);
    std::vector<std::uint32_t> row_of(m, m);

    // Reduce the x bits. The columns left without a pivot are exactly those where a Hadamard
    // makes the x part invertible: a product of the generators without x bits that vanished off
    // the pivot columns would anticommute with some pivot row unless it were the identity.
    std::uint32_t pivots = 0;
    for (std::uint32_t c = 0; c < m; ++c) {
        const std::uint32_t k = rows.find(c, pivots);
        if (k == m) continue;
        rows.swap_rows(k, pivots);
        rows.eliminate(c, pivots);
        row_of[c] = pivots++;
    }
    for (std::uint32_t c = 0; c < m; ++c) {
        if (row_of[c] != m) continue;
        rows.hadamard(c);
        form.local[c] = VOP_H;
    }
    // The rows without x bits now have them only in those columns; they are not needed elsewhere.
    for (std::uint32_t c = 0; c < m; ++c) {
        if (row_of[c] != m) continue;
        const std::uint32_t k = rows.find(c, pivots);
        rows.swap_rows(k, pivots);
        rows.eliminate(c, pivots);
        row_of[c] = pivots++;
    }

    // Row row_of[c] is now +-X_c (or Y_c) times Zs: the graph state's generator for c, up to an
    // S-dagger that turns its Y into X and a Z that fixes its sign. No other row has an x bit at c,
    // so neither touches another row.
    for (std::uint32_t c = 0; c < m; ++c) {
        const std::uint32_t k = row_of[c];
        row_word* gamma = form.adjacency.data() + std::size_t{c} * form.words;
        std::copy(rows.z(k), rows.z(k) + form.words, gamma);
        vop_t fix = rows.sign[k] ? VOP_Z : VOP_IDENTITY;
        if (test_bit(gamma, c)) {
            clear_bit(gamma, c);
            fix = VOP_PRODUCT[VOP_S][fix];
        }
        // |Gamma> = Z^s S-dagger^y H^h |psi>, so |psi> = H^h S^y Z^s |Gamma>.
        form.local[c] = VOP_PRODUCT[form.local[c]][fix];
    }
    return form;
}

}  // namespace nodeweave
