#include "orvane_native/linalg/pauli.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "orvane_native/linalg/pauli_simd.h"
#include "orvane_native/support/cpu.h"
#include "orvane_native/support/interrupt.h"

namespace orvane {

F64Array pauli_matrix(int64_t x, int64_t z) {
  F64Array m(8);
  if (x == 1 && z == 0) {
    m[2] = 1.0;
    m[4] = 1.0;
  } else if (x == 1 && z == 1) {
    m[3] = -1.0;
    m[5] = 1.0;
  } else if (x == 0 && z == 1) {
    m[0] = 1.0;
    m[6] = -1.0;
  } else {
    m[0] = 1.0;
    m[6] = 1.0;
  }
  return m;
}

Complex pauli_entry(int64_t p, int64_t a, int64_t b) {
  switch (p) {
    case 0:
      return a == b ? Complex{1.0, 0.0} : Complex{0.0, 0.0};
    case 1:
      return a == b ? Complex{0.0, 0.0} : Complex{1.0, 0.0};
    case 2:
      if (a == 0 && b == 1) return {0.0, -1.0};
      if (a == 1 && b == 0) return {0.0, 1.0};
      return {0.0, 0.0};
    default:
      if (a == 0 && b == 0) return {1.0, 0.0};
      if (a == 1 && b == 1) return {-1.0, 0.0};
      return {0.0, 0.0};
  }
}

namespace {

// The written sum: for each string, every entry of P_j times the matching
// entry of the matrix, columns outer, rows inner. Needed as it stands when
// the matrix is short (its bounds failure) or holds an infinity or NaN
// (0 * inf is NaN).
void expand_every_entry(F64Span matrix, int64_t n, F64Array& result) {
  const int64_t dim = int64_t{1} << n;
  const int64_t strings = result.size() / 2;
  const double scale = static_cast<double>(dim);
  InterruptPoll poll;
  for (int64_t j = 0; j < strings; ++j) {
    Complex acc{0.0, 0.0};
    for (int64_t c = 0; c < dim; ++c) {
      poll.tick(dim * (n + 1));
      for (int64_t r = 0; r < dim; ++r) {
        // e = P_j[c][r], qubit 0 (the highest bit) first.
        Complex e{1.0, 0.0};
        for (int64_t b = n - 1; b >= 0; --b) {
          e = mul(e, pauli_entry((j >> (2 * b)) & 3, (c >> b) & 1, (r >> b) & 1));
        }
        const Complex p = mul(e, read_complex(matrix, 2 * (r * dim + c)));
        acc = {acc.re + p.re, acc.im + p.im};
      }
    }
    result[2 * j] = acc.re / scale;
    result[2 * j + 1] = acc.im / scale;
  }
}

// The sums over the non-zero terms only, one string at a time (for states
// narrower than the vector lanes). Column c of P_j has its one non-zero
// entry in row c ^ x (x: the bits whose digit is X or Y), equal to
// i^k with k = 2 (#Y and #Z digits on set bits of c) - #Y digits (mod 4).
// On finite input the skipped terms are zeros of either sign, and adding
// them never changes acc (it starts at +0 and x + (-x) rounds to +0, so it
// is never -0); multiplying by 1, -1, i or -i is exact. So every acc takes
// the same values, in the same order, as in the written sum.
void expand_per_string(const double* m, int64_t n, F64Array& result) {
  const int64_t dim = int64_t{1} << n;
  const int64_t strings = result.size() / 2;
  const double scale = static_cast<double>(dim);
  InterruptPoll poll;
  for (int64_t j = 0; j < strings; ++j) {
    poll.tick(dim);
    uint64_t x = 0, y = 0, z = 0;
    for (int64_t b = 0; b < n; ++b) {
      const int64_t digit = (j >> (2 * b)) & 3;
      x |= static_cast<uint64_t>(digit == 1 || digit == 2) << b;
      y |= static_cast<uint64_t>(digit == 2) << b;
      z |= static_cast<uint64_t>(digit == 3) << b;
    }
    const int ny = std::popcount(y);
    Complex acc{0.0, 0.0};
    for (int64_t c = 0; c < dim; ++c) {
      const uint64_t cu = static_cast<uint64_t>(c);
      const int k = (2 * (std::popcount(y & cu) + std::popcount(z & cu)) - ny) & 3;
      const int64_t r = static_cast<int64_t>(cu ^ x);
      // i^k * m without a branch: odd k swaps the parts, and the sign bits
      // flip for the real part when k is 1 or 2, for the imaginary part when
      // k is 2 or 3 (negation is exact, and x + (-y) is x - y).
      const double* e = m + 2 * (r * dim + c);
      const uint64_t swap = static_cast<uint64_t>(k & 1);
      const double a = e[swap], b = e[1 - swap];
      const uint64_t flip_re = static_cast<uint64_t>(((k + 1) >> 1) & 1) << 63;
      const uint64_t flip_im = static_cast<uint64_t>(k >> 1) << 63;
      acc.re = acc.re + std::bit_cast<double>(std::bit_cast<uint64_t>(a) ^ flip_re);
      acc.im = acc.im + std::bit_cast<double>(std::bit_cast<uint64_t>(b) ^ flip_im);
    }
    result[2 * j] = acc.re / scale;
    result[2 * j + 1] = acc.im / scale;
  }
}

// The same sums over the non-zero terms only. Column c of P_j has its one
// non-zero entry in row c ^ x (x: the bits whose digit is X or Y), equal to
// i^k with k = 2 |s & c| - #Y (mod 4), where s marks the digits Y and Z and
// #Y = |x & s|. On finite input the skipped terms are zeros of either sign,
// and adding them never changes acc (it starts at +0 and x + (-x) rounds to
// +0, so it is never -0).
//
// i^k = (-1)^|s & c| * i^-#Y, and i^-#Y is the same for every term of a
// string. Multiplying by -1, i or -i only swaps parts and flips signs, and
// rounding is symmetric in sign, so each partial sum of the terms
// (-1)^|s & c| m[c ^ x][c] is the matching partial sum of the written terms
// times i^#Y exactly, zeros aside (both are +0 there). The strings that share
// x therefore read the same entries v[c] = m[c ^ x][c] and differ only in the
// sign pattern; they are summed side by side, each in the order c = 0, 1, ...
// as written, and turned by i^-#Y at the end (+0.0 turns a negated +0 back).

// Bit 63 set where |a| is odd.
inline uint64_t odd_mask(uint64_t a) { return static_cast<uint64_t>(std::popcount(a) & 1) << 63; }

inline double flip(double v, uint64_t mask) { return std::bit_cast<double>(std::bit_cast<uint64_t>(v) ^ mask); }

// Bit b of t moved to bit 2b.
inline uint64_t spread(uint64_t t) {
  uint64_t out = 0;
  for (int b = 0; t >> b; ++b) out |= ((t >> b) & 1) << (2 * b);
  return out;
}

void expand_nonzero_terms(const double* m, int64_t n, F64Array& result) {
  const int64_t dim = int64_t{1} << n;
  const double scale = static_cast<double>(dim);
  const auto [sums, lanes] = simd::pauli_sums_variant(cpu::variants().expansion);
  if (dim < lanes) {
    expand_per_string(m, n, result);
    return;
  }
  // Scratch: v (2 dim), the sums (2 dim), odd and spread (dim each), the lane masks.
  F64Array scratch(4 * dim);
  double *vre = scratch.data(), *vim = vre + dim, *sre = vim + dim, *sim = sre + dim;
  std::vector<uint64_t> odd(static_cast<size_t>(dim)), spreads(static_cast<size_t>(dim));
  for (int64_t t = 0; t < dim; ++t) {
    odd[t] = odd_mask(static_cast<uint64_t>(t));
    spreads[t] = spread(static_cast<uint64_t>(t));
  }
  uint64_t lane_masks[16 * 16];
  for (int c = 0; c < 16; ++c) {
    for (int l = 0; l < 16; ++l) lane_masks[16 * c + l] = odd_mask(static_cast<uint64_t>(c & l));
  }
  double* out = result.data();
  InterruptPoll poll;
  for (int64_t x = 0; x < dim; ++x) {
    for (int64_t c = 0; c < dim; ++c) {
      const double* e = m + 2 * ((c ^ x) * dim + c);
      vre[c] = e[0];
      vim[c] = e[1];
    }
    for (int64_t s0 = 0; s0 < dim; s0 += lanes) {
      poll.tick(dim * lanes / 2);
      sums(vre, vim, lane_masks, odd.data(), dim, s0, sre + s0, sim + s0);
    }
    for (int64_t s = 0; s < dim; ++s) {
      // String j: digit 1 (X) where only x is set, 2 (Y) where both are,
      // 3 (Z) where only s is: low digit bit x ^ s, high digit bit s.
      const uint64_t xs = static_cast<uint64_t>(x ^ s), su = static_cast<uint64_t>(s);
      const int64_t j = static_cast<int64_t>(spreads[xs] | (spreads[su] << 1));
      const int ny = std::popcount(static_cast<uint64_t>(x & s)) & 3;
      // times i^-#Y: 1, -i, -1, i.
      const double a = (ny & 1) ? sim[s] : sre[s], b = (ny & 1) ? sre[s] : sim[s];
      const uint64_t flip_a = static_cast<uint64_t>(ny >= 2) << 63;
      const uint64_t flip_b = static_cast<uint64_t>(ny == 1 || ny == 2) << 63;
      out[2 * j] = (flip(a, flip_a) + 0.0) / scale;
      out[2 * j + 1] = (flip(b, flip_b) + 0.0) / scale;
    }
  }
}

}  // namespace

F64Array pauli_expansion(F64Span matrix, int64_t num_qubits) {
  const int64_t n = num_qubits;
  if (n < 0 || n >= 32) return {};
  // 2 << 2n floats: n = 31 gives a negative length, n >= 29 cannot be
  // allocated (n = 30 overflows the byte count).
  F64Array result(static_cast<int64_t>(uint64_t{2} << (2 * n)));
  const int64_t floats = result.size();
  bool finite = matrix.size() >= floats;
  for (int64_t f = 0; finite && f < floats; ++f) finite = std::isfinite(matrix[f]);
  if (finite) {
    expand_nonzero_terms(matrix.data(), n, result);
  } else {
    expand_every_entry(matrix, n, result);
  }
  return result;
}

}  // namespace orvane

namespace orvane::simd {
namespace {

// 8 lanes in four 128-bit registers per part (SSE2 has 16 registers, NEON 32).
using D2 = double __attribute__((vector_size(16)));
using U2 = uint64_t __attribute__((vector_size(16)));
constexpr int64_t kPortableLanes = 8;

void pauli_sums_portable(const double* vre, const double* vim, const uint64_t* lane_masks, const uint64_t* odd,
                         int64_t dim, int64_t s0, double* sre, double* sim) {
  pauli_sums_lanes<D2, U2, kPortableLanes>(vre, vim, lane_masks, odd, dim, s0, sre, sim);
}

}  // namespace

PauliSumsVariant pauli_sums_variant(cpu::Isa isa) {
#if defined(ORVANE_X86_64)
  if (isa == cpu::Isa::kAvx2) return {pauli_sums_avx2, kPauliAvx2Lanes};
#endif
  (void)isa;
  return {pauli_sums_portable, kPortableLanes};
}

}  // namespace orvane::simd
