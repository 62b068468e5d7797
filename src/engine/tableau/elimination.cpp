// A tableau's state in graph form: Gaussian elimination of its generators into X_c Z_N(c), with
// the Hadamards, S gates and Zs that this needs as the local operators.

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/simd.h"
#include "engine/tableau/tableau.h"

namespace nodeweave {

namespace {

// Four words that the compiler treats as one vector.
constexpr std::uint32_t CHUNK_WORDS = 4;
using Chunk = simd::Words4;
NODEWEAVE_ALWAYS_INLINE Chunk load(const row_word* p) noexcept {
    Chunk c;
    std::memcpy(&c, p, sizeof c);
    return c;
}
NODEWEAVE_ALWAYS_INLINE void store(row_word* p, Chunk c) noexcept { std::memcpy(p, &c, sizeof c); }

// Columns are reduced GROUP at a time, through a table of all products of the group's pivots.
constexpr std::uint32_t GROUP = 8;
constexpr std::uint32_t TABLE_ROWS = 1u << GROUP;

// The generators one per row, each as x bits then z bits, and after them room for the table.
struct Rows {
    std::uint32_t count = 0;  // generators
    std::uint32_t words = 0;  // per half, a whole number of chunks
    std::vector<row_word> bits;
    std::vector<std::uint8_t> sign;

    row_word* x(std::uint32_t k) noexcept { return bits.data() + std::size_t{k} * 2 * words; }
    row_word* z(std::uint32_t k) noexcept { return x(k) + words; }
    bool x_bit(std::uint32_t k, std::uint32_t c) noexcept { return test_bit(x(k), c); }
    std::uint32_t table(std::uint32_t s) const noexcept { return count + s; }

    void swap_rows(std::uint32_t i, std::uint32_t j) noexcept {
        if (i == j) return;
        std::swap_ranges(x(i), x(i) + 2 * words, x(j));
        std::swap(sign[i], sign[j]);
    }
    void copy_row(std::uint32_t to, std::uint32_t from) noexcept {
        std::copy(x(from), x(from) + 2 * words, x(to));
        sign[to] = sign[from];
    }

    // Row i <- row i times row r. The two commute, so the product's phase is a sign: i^k, k the
    // sum over qubits of +1 or -1 where the two single-qubit Paulis anticommute. Each such qubit
    // gives +1 plus 2 when it gives -1, so k mod 4 is the count of anticommuting qubits (even;
    // counted mod 4 per bit position) plus twice the count of the -1 ones.
    NODEWEAVE_ALWAYS_INLINE void multiply(std::uint32_t i, std::uint32_t r) noexcept {
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
            k += simd::popcount(ones[lane]) + 2 * simd::popcount(twos[lane] ^ minus[lane]);
        }
        sign[i] ^= sign[r] ^ static_cast<std::uint8_t>((k & 3) >> 1);
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

// Transposes a 64 x 64 bit matrix in place: bit j of a[i] trades places with bit i of a[j]. Each
// round swaps the off-diagonal blocks of every 2j x 2j block on the diagonal.
void transpose64(row_word (&a)[64]) noexcept {
    row_word mask = 0x00000000FFFFFFFFull;
    for (std::uint32_t j = 32; j != 0; j >>= 1, mask ^= mask << j) {
        for (std::uint32_t k = 0; k < 64; k = ((k | j) + 1) & ~j) {
            const row_word t = ((a[k] >> j) ^ a[k | j]) & mask;
            a[k] ^= t << j;
            a[k | j] ^= t;
        }
    }
}

Rows rows_of(const Tableau& t) {
    Rows rows;
    rows.count = t.qubits;
    rows.words = (t.qubits + 64 * CHUNK_WORDS - 1) / (64 * CHUNK_WORDS) * CHUNK_WORDS;
    rows.bits.assign(std::size_t{rows.count + TABLE_ROWS} * 2 * rows.words, 0);
    rows.sign.assign(rows.count + TABLE_ROWS, 0);
    // The tableau keeps each column's bits over the generators; the rows want each generator's
    // bits over the columns: a transpose, 64 x 64 bits at a time.
    const std::uint32_t blocks = (t.qubits + 63) / 64;
    for (std::uint32_t half = 0; half < 2; ++half) {
        for (std::uint32_t cb = 0; cb < blocks; ++cb) {
            for (std::uint32_t gb = 0; gb < blocks; ++gb) {
                row_word a[64] = {};
                for (std::uint32_t i = 0; i < 64 && cb * 64 + i < t.qubits; ++i) {
                    a[i] = (half == 0 ? t.x(cb * 64 + i) : t.z(cb * 64 + i))[gb];
                }
                transpose64(a);
                for (std::uint32_t k = 0; k < 64 && gb * 64 + k < t.qubits; ++k) {
                    (half == 0 ? rows.x(gb * 64 + k) : rows.z(gb * 64 + k))[cb] = a[k];
                }
            }
        }
    }
    for (std::uint32_t k : set_bits(t.signs.data(), t.words)) rows.sign[k] = 1;
    return rows;
}

// Pivots for up to GROUP of `columns` among the rows from `next` on, each moved to the next row and
// reduced against the others: pivot j has its column's x bit and none of the other pivots'.
// Returns how many were found; their columns go to `pivot_columns`.
NODEWEAVE_ALWAYS_INLINE std::uint32_t find_pivots(Rows& rows, const std::uint32_t* columns, std::uint32_t n, std::uint32_t next,
                          std::uint32_t* pivot_columns) noexcept {
    std::uint32_t k = 0;
    for (std::uint32_t t = 0; t < n; ++t) {
        const std::uint32_t c = columns[t], r = next + k;
        // A row whose bit c is set once the pivots so far are taken out of it. The pivots carry
        // no bit in each other's columns, so which ones come out is read off the row itself.
        std::uint32_t found = rows.count;
        for (std::uint32_t i = r; i < rows.count && found == rows.count; ++i) {
            bool bit = rows.x_bit(i, c);
            for (std::uint32_t j = 0; j < k; ++j) {
                if (rows.x_bit(i, pivot_columns[j])) bit ^= rows.x_bit(next + j, c);
            }
            if (bit) found = i;
        }
        if (found == rows.count) continue;
        rows.swap_rows(found, r);
        for (std::uint32_t j = 0; j < k; ++j) {
            if (rows.x_bit(r, pivot_columns[j])) rows.multiply(r, next + j);
        }
        for (std::uint32_t j = 0; j < k; ++j) {
            if (rows.x_bit(next + j, c)) rows.multiply(next + j, r);
        }
        pivot_columns[k++] = c;
    }
    return k;
}

// Gauss-Jordan on the x bits of `columns`, taken in order: a column that finds a pivot among the
// rows from `next` on gets row `next` (then next + 1, ...), recorded in row_of, and its bit is
// cleared from every other row. Four Russians: with the pivots of a group of columns made, each
// other row is cleared of all of them by one product from a table of their combinations.
NODEWEAVE_ALWAYS_INLINE void reduce_loop(Rows& rows, const std::vector<std::uint32_t>& columns, std::uint32_t& next,
                        std::vector<std::uint32_t>& row_of) noexcept {
    for (std::size_t g = 0; g < columns.size(); g += GROUP) {
        const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(GROUP, columns.size() - g));
        std::uint32_t pivot_columns[GROUP];
        const std::uint32_t k = find_pivots(rows, columns.data() + g, n, next, pivot_columns);
        if (k == 0) continue;
        std::fill(rows.x(rows.table(0)), rows.x(rows.table(0)) + 2 * rows.words, 0);
        rows.sign[rows.table(0)] = 0;
        for (std::uint32_t s = 1; s < (1u << k); ++s) {
            rows.copy_row(rows.table(s), rows.table(s & (s - 1)));
            rows.multiply(rows.table(s), next + static_cast<std::uint32_t>(simd::lowest_bit(s)));
        }
        for (std::uint32_t i = 0; i < rows.count; ++i) {
            if (i >= next && i < next + k) continue;
            std::uint32_t s = 0;
            for (std::uint32_t j = 0; j < k; ++j) s |= static_cast<std::uint32_t>(rows.x_bit(i, pivot_columns[j])) << j;
            if (s != 0) rows.multiply(i, rows.table(s));
        }
        for (std::uint32_t j = 0; j < k; ++j) row_of[pivot_columns[j]] = next + j;
        next += k;
    }
}

void reduce(Rows& rows, const std::vector<std::uint32_t>& columns, std::uint32_t& next,
            std::vector<std::uint32_t>& row_of) noexcept {
    simd::dispatch<reduce_loop>(rows, columns, next, row_of);
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
    std::vector<std::uint32_t> columns(m);
    for (std::uint32_t c = 0; c < m; ++c) columns[c] = c;

    // Reduce the x bits. The columns left without a pivot are exactly those where a Hadamard
    // makes the x part invertible: a product of the generators without x bits that vanished off
    // the pivot columns would anticommute with some pivot row unless it were the identity.
    std::uint32_t pivots = 0;
    reduce(rows, columns, pivots, row_of);
    columns.clear();
    for (std::uint32_t c = 0; c < m; ++c) {
        if (row_of[c] != m) continue;
        rows.hadamard(c);
        form.local[c] = VOP_H;
        columns.push_back(c);
    }
    // The rows without x bits now have them only in those columns; they are not needed elsewhere.
    reduce(rows, columns, pivots, row_of);

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
