// State vector of a stabilizer state from its generators, on one vector.
//
// Column c of M = prod_f (I + s_f S_f) is M e_c, built by applying the
// factors to e_c one at a time, the rightmost first. Each factor has norm at
// most 2, so every value along the way is a Gaussian integer of magnitude at
// most 2^n: the arithmetic is exact and the column is the same floats as in
// the dense product (whose partial products are exact too, each entry a sum
// of at most two non-zero terms). The norm is then summed in the same order.
//
// For commuting, independent generators, M is 2^n times the projector on the
// state, so its first non-zero column is the lowest basis index in the
// state's support, which a little linear algebra over GF(2) finds directly.
// Other rows are searched column by column.
#include "orvane_native/stabilizer/state_vector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <vector>

#include "orvane_native/stabilizer/bits.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/panic.h"

namespace orvane {
namespace {

// A Hermitian Pauli string (-1)^sign prod P(x_q, z_q), with qubit q at bit
// n-1-q of the masks (the basis-index bit of that qubit).
struct Pauli {
  uint64_t x = 0;
  uint64_t z = 0;
  int sign = 0;
};

// Fails with the bounds failure for the first stabilizer-row entry that the
// row-by-row reading (x and z bit of each qubit in turn, then the sign)
// would find missing.
void require_stabilizer_rows(I64Span tableau, int64_t n) {
  // Beyond this size the row indices themselves leave 64 bits; no tableau
  // (or state) of that size can exist.
  if (n > 1'000'000'000) throw std::bad_alloc();
  const int64_t len = tableau.size();
  const int64_t width = 2 * n + 1;
  for (int64_t f = 0; f < n; ++f) {
    const int64_t row = (n + f) * width;
    if (row + 2 * n < len) continue;
    for (int64_t k = 0; k < n; ++k) {
      if (row + k >= len) panic_bounds_get(row + k, len);
      if (row + n + k >= len) panic_bounds_get(row + n + k, len);
    }
    panic_bounds_get(row + 2 * n, len);
  }
}

// The stabilizer rows as Pauli strings; (x, z) pairs other than (1,0),
// (0,1), (1,1) are the identity and any sign other than 1 is +.
std::vector<Pauli> read_generators(I64Span tableau, int64_t n) {
  std::vector<Pauli> gens(static_cast<size_t>(n));
  const int64_t width = 2 * n + 1;
  for (int64_t f = 0; f < n; ++f) {
    const int64_t row = (n + f) * width;
    Pauli& p = gens[f];
    for (int64_t k = 0; k < n; ++k) {
      const int64_t xb = tableau[row + k];
      const int64_t zb = tableau[row + n + k];
      const bool pauli = (xb == 1 && (zb == 0 || zb == 1)) || (xb == 0 && zb == 1);
      if (!pauli) continue;
      const uint64_t bit = uint64_t{1} << (n - 1 - k);
      if (xb == 1) p.x |= bit;
      if (zb == 1) p.z |= bit;
    }
    p.sign = tableau[row + 2 * n] == 1 ? 1 : 0;
  }
  return gens;
}

bool commute(const Pauli& a, const Pauli& b) {
  return parity64((a.x & b.z) ^ (a.z & b.x)) == 0;
}

// Whether the generators commute pairwise and their (x, z) bit vectors are
// linearly independent over GF(2): then they fix exactly one state.
bool is_generator_set(const std::vector<Pauli>& gens) {
  const size_t n = gens.size();
  for (size_t a = 0; a < n; ++a)
    for (size_t b = a + 1; b < n; ++b)
      if (!commute(gens[a], gens[b])) return false;
  std::vector<unsigned __int128> rows;
  for (const Pauli& p : gens) rows.push_back((static_cast<unsigned __int128>(p.x) << 64) | p.z);
  size_t rank = 0;
  for (int bit = 127; bit >= 0 && rank < n; --bit) {
    const unsigned __int128 mask = static_cast<unsigned __int128>(1) << bit;
    size_t pivot = rank;
    while (pivot < n && (rows[pivot] & mask) == 0) ++pivot;
    if (pivot == n) continue;
    std::swap(rows[rank], rows[pivot]);
    for (size_t r = 0; r < n; ++r)
      if (r != rank && (rows[r] & mask) != 0) rows[r] ^= rows[rank];
    ++rank;
  }
  return rank == n;
}

// Exponent of i in the single-qubit product P(x1, z1) P(x2, z2).
int phase_exponent(int x1, int z1, int x2, int z2) {
  if (x1 == 0 && z1 == 0) return 0;
  if (x1 == 1 && z1 == 1) return z2 - x2;
  if (x1 == 1) return z2 * (2 * x2 - 1);
  return x2 * (1 - 2 * z2);
}

// h becomes src * h; the two commute, so the product is Hermitian.
void multiply_into(Pauli& h, const Pauli& src) {
  int sum = 2 * h.sign + 2 * src.sign;
  for (uint64_t bits = src.x | src.z; bits != 0; bits &= bits - 1) {
    const uint64_t b = bits & (~bits + 1);
    sum += phase_exponent((src.x & b) != 0, (src.z & b) != 0, (h.x & b) != 0, (h.z & b) != 0);
  }
  h.sign = (sum & 3) == 0 ? 0 : 1;
  h.x ^= src.x;
  h.z ^= src.z;
}

// The lowest basis index in the support of the state fixed by `gens`.
// The group elements without X part, +/-Z^z, fix the parities z.b = sign
// of every basis state b in the support, and those parities define it.
uint64_t lowest_support_index(std::vector<Pauli> gens) {
  const size_t n = gens.size();
  // Eliminate X parts: afterwards rows rank.. have no X part.
  size_t rank = 0;
  for (int bit = 63; bit >= 0; --bit) {
    const uint64_t mask = uint64_t{1} << bit;
    size_t pivot = rank;
    while (pivot < n && (gens[pivot].x & mask) == 0) ++pivot;
    if (pivot == n) continue;
    std::swap(gens[rank], gens[pivot]);
    for (size_t r = 0; r < n; ++r)
      if (r != rank && (gens[r].x & mask) != 0) multiply_into(gens[r], gens[rank]);
    ++rank;
  }
  // Parity constraints z.b = sign, reduced so that each pivot is its row's
  // lowest bit and appears in no other row; with all free bits 0 (the free
  // bits of a row lie above its pivot) this is the smallest solution.
  std::vector<Pauli> cons(gens.begin() + static_cast<std::ptrdiff_t>(rank), gens.end());
  size_t done = 0;
  uint64_t b = 0;
  for (int bit = 0; bit < 64 && done < cons.size(); ++bit) {
    const uint64_t mask = uint64_t{1} << bit;
    size_t pivot = done;
    while (pivot < cons.size() && (cons[pivot].z & mask) == 0) ++pivot;
    if (pivot == cons.size()) continue;
    std::swap(cons[done], cons[pivot]);
    for (size_t r = 0; r < cons.size(); ++r) {
      if (r != done && (cons[r].z & mask) != 0) {
        cons[r].z ^= cons[done].z;
        cons[r].sign ^= cons[done].sign;
      }
    }
    ++done;
  }
  for (const Pauli& c : cons)
    if (c.sign != 0) b |= c.z & (~c.z + 1);
  return b;
}

// v = (I + s P) v in place, v holding dim interleaved complex entries.
// (P v)[m] = (-i)^(#Y) (-1)^popcount(m & z) v[m ^ x].
void apply_factor(double* v, uint64_t dim, const Pauli& p) {
  const bool negative = p.sign != 0;
  if (p.x == 0) {
    // Diagonal: 1 + (-1)^(sign + parity) doubles or clears each entry.
    for (uint64_t m = 0; m < dim; ++m) {
      const bool odd = parity64(m & p.z) != 0;
      if (odd == negative) {
        v[2 * m] = v[2 * m] + v[2 * m];
        v[2 * m + 1] = v[2 * m + 1] + v[2 * m + 1];
      } else {
        v[2 * m] = 0.0;
        v[2 * m + 1] = 0.0;
      }
    }
    return;
  }
  // Phase of P[m][m^x] as a power of i: 3 per Y, plus 2 for each odd
  // parity, plus 2 for a minus sign.
  const int base = static_cast<int>((3 * popcount64(p.x & p.z) + (negative ? 2 : 0)) & 3);
  const uint64_t top = uint64_t{1} << (63 - std::countl_zero(p.x));
  for (uint64_t m = 0; m < dim; ++m) {
    if ((m & top) != 0) continue;
    const uint64_t w = m ^ p.x;
    const int em = (base + 2 * static_cast<int>(parity64(m & p.z))) & 3;
    const int ew = (base + 2 * static_cast<int>(parity64(w & p.z))) & 3;
    const double mr = v[2 * m], mi = v[2 * m + 1];
    const double wr = v[2 * w], wi = v[2 * w + 1];
    // i^e * (re, im): e = 0 (re, im), 1 (-im, re), 2 (-re, -im), 3 (im, -re).
    auto rot_re = [](int e, double re, double im) { return e == 0 ? re : e == 1 ? -im : e == 2 ? -re : im; };
    auto rot_im = [](int e, double re, double im) { return e == 0 ? im : e == 1 ? re : e == 2 ? -im : -re; };
    v[2 * m] = mr + rot_re(em, wr, wi);
    v[2 * m + 1] = mi + rot_im(em, wr, wi);
    v[2 * w] = wr + rot_re(ew, mr, mi);
    v[2 * w + 1] = wi + rot_im(ew, mr, mi);
  }
}

}  // namespace

bool stabilizer_rows_form_generator_set(I64Span tableau, int64_t num_qubits) {
  if (num_qubits <= 0) return num_qubits == 0;
  require_stabilizer_rows(tableau, num_qubits);
  if (num_qubits >= 64) throw std::bad_alloc();
  return is_generator_set(read_generators(tableau, num_qubits));
}

F64Array clifford_state_vector(I64Span tableau, int64_t num_qubits) {
  const int64_t n = num_qubits;
  if (n < 0) return F64Array(0);
  require_stabilizer_rows(tableau, n);
  // 2^n amplitudes cannot be held at this size.
  if (n >= 62) throw std::bad_alloc();
  const std::vector<Pauli> gens = read_generators(tableau, n);
  const bool valid = is_generator_set(gens);
  // Other rows need a search over the columns, 2^n of them at worst.
  if (!valid && n > kColumnSearchMaxQubits) throw std::bad_alloc();

  const uint64_t dim = uint64_t{1} << n;
  F64Array out(2 * static_cast<int64_t>(dim));
  double* v = out.data();
  // Column c of M, M e_c, by applying the factors right to left, and its
  // squared norm summed over rows in order.
  InterruptPoll poll;
  auto column_norm = [&](uint64_t c) {
    std::fill(out.begin(), out.end(), 0.0);
    v[2 * c] = 1.0;
    for (int64_t f = n - 1; f >= 0; --f) {
      poll.tick(static_cast<int64_t>(dim));
      apply_factor(v, dim, gens[f]);
    }
    double norm = 0.0;
    for (uint64_t m = 0; m < dim; ++m) norm = norm + std::fma(v[2 * m], v[2 * m], v[2 * m + 1] * v[2 * m + 1]);
    return norm;
  };
  uint64_t c = valid ? lowest_support_index(gens) : 0;
  double norm = column_norm(c);
  while (!valid && !(norm > 1e-18) && ++c < dim) norm = column_norm(c);
  if (!(norm > 1e-18)) {
    std::fill(out.begin(), out.end(), 0.0);
    return out;
  }
  const double k = 1.0 / std::sqrt(norm);
  // No entry is ever -0.0 (entries start at +0.0 and only sums of them are
  // stored), so zeros scale to +0.0 as in the dense product.
  for (uint64_t e = 0; e < 2 * dim; ++e) v[e] = k * v[e];
  return out;
}

}  // namespace orvane
